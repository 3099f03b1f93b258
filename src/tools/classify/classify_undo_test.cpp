#include "tools/classify/classify_undo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "tools/classify/classify_engine.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::TempDir;

struct Fixture {
  TempDir dir;
  TempDir home;
  PlainRunContext ctx;
  ClassifyOptions options;

  Fixture() { options.logFolder = home.path(); }
  std::string in(std::string_view relative) const { return dir / relative; }
  UndoOutcome undo() { return ClassifyUndo(home.path(), ctx); }
};

TEST(ClassifyUndo, PutsAMoveRunBackAndSkipsWhatItMustNotTouch) {
  Fixture f;
  for (int i = 0; i < 5; ++i) testing::writeBytes(f.in("src/f" + std::to_string(i) + ".txt"), std::to_string(i));
  testing::writeBytes(f.in("src/1/f4.txt"), "there before");  // makes f4 fail
  f.options.entryFolder = f.in("src");
  f.options.keepSources = false;
  f.options.perBatch = 2;
  const ClassifyOutcome run = ClassifyRun(f.options, f.ctx);
  ASSERT_EQ(run.failed, 0);  // f4 goes to batch 3
  ASSERT_FALSE(testing::exists(f.in("src/f0.txt")));
  EXPECT_TRUE(ClassifyUndoAvailable(f.home.path()));

  // Another file now sits where f3 came from: that one stays where the run put it.
  testing::writeBytes(f.in("src/f3.txt"), "new");
  const UndoOutcome outcome = f.undo();
  ASSERT_TRUE(outcome.error.empty()) << outcome.error;
  EXPECT_EQ(outcome.restored, 4);
  EXPECT_EQ(outcome.skipped, 1);
  EXPECT_EQ(outcome.failed, 0);
  for (int i : {0, 1, 2, 4}) {
    EXPECT_EQ(testing::readBytes(f.in("src/f" + std::to_string(i) + ".txt")), std::to_string(i)) << i;
  }
  EXPECT_EQ(testing::readBytes(f.in("src/2/f3.txt")), "3");
  EXPECT_EQ(testing::readBytes(f.in("src/f3.txt")), "new");
  EXPECT_EQ(testing::readBytes(f.in("src/1/f4.txt")), "there before");
  // Last file of the run first.
  ASSERT_EQ(outcome.steps.size(), 5u);
  EXPECT_EQ(outcome.steps[0].before, f.in("src/f4.txt"));
  EXPECT_EQ(outcome.steps[1].action, UndoAction::SkippedOccupied);
  EXPECT_EQ(undoStepLine(outcome.steps[0]), "已移回：" + f.in("src/3/f4.txt") + " → " + f.in("src/f4.txt"));
  EXPECT_EQ(undoStepLine(outcome.steps[1]),
            "跳过：" + f.in("src/2/f3.txt") + " → " + f.in("src/f3.txt") + "（原位置已有文件）");
  // src/1 was there before the run; src/2 still holds f3.
  EXPECT_EQ(outcome.removedFolders, std::vector<std::string>{f.in("src/3")});
  EXPECT_EQ(testing::listNames(f.in("src")),
            (std::vector<std::string>{"1", "2", "f0.txt", "f1.txt", "f2.txt", "f3.txt", "f4.txt"}));
  EXPECT_EQ(undoSummary(outcome), "撤销归类：移回 4 个，跳过 1 个，失败 0 个，删除空文件夹 1 个");
  EXPECT_FALSE(ClassifyUndoAvailable(f.home.path())) << "only the occupied one is left";

  // A second undo finds nothing left to do.
  const UndoOutcome again = f.undo();
  EXPECT_EQ(again.restored, 0);
  EXPECT_EQ(again.failed, 0);
}

// The paths of a log of this version.
std::vector<std::string> logPaths(const Fixture& f, const char* name) {
  std::vector<std::string> lines = splitText(testing::readBytes(nativeFromInternal(f.home / name)), "\n");
  for (std::string& line : lines) line = internalFromNative(line);
  return lines;
}

TEST(ClassifyUndo, TakesAwayTheFoldersTheRunMadeOnceTheyAreEmpty) {
  Fixture f;
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) testing::writeBytes(f.in("src/") + name, name);
  // There before the run: the output folder, an empty batch folder the run writes into, and an
  // empty folder of the user's beside them.
  std::filesystem::create_directories(f.in("out/2"));
  std::filesystem::create_directories(f.in("out/mine"));
  f.options.entryFolder = f.in("src");
  f.options.keepSources = false;
  f.options.perBatch = 1;
  f.options.templateText = f.in("out/[批次名]/深/[主名]/[文件名]");
  const ClassifyOutcome run = ClassifyRun(f.options, f.ctx);
  ASSERT_EQ(run.failed, 0);
  ASSERT_EQ(testing::readBytes(nativeFromInternal(f.in("out/3/深/c/c.txt"))), "c.txt");
  // The run notes what it made, outermost first, and nothing that was there.
  EXPECT_EQ(logPaths(f, kMadeFoldersLogName),
            (std::vector<std::string>{f.in("out/1"), f.in("out/1/深"), f.in("out/1/深/a"), f.in("out/2/深"),
                                      f.in("out/2/深/b"), f.in("out/3"), f.in("out/3/深"), f.in("out/3/深/c")}));
  // Something of the user's lands in one of the run's folders after the run.
  testing::writeBytes(nativeFromInternal(f.in("out/3/深/note.txt")), "mine");

  const UndoOutcome outcome = f.undo();
  ASSERT_TRUE(outcome.error.empty()) << outcome.error;
  EXPECT_EQ(outcome.restored, 3);
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) EXPECT_EQ(testing::readBytes(f.in("src/") + name), name);
  // Deepest first; the folder holding the note stays, and so does the one above it.
  EXPECT_EQ(outcome.removedFolders, (std::vector<std::string>{f.in("out/1/深/a"), f.in("out/2/深/b"),
                                                              f.in("out/3/深/c"), f.in("out/1/深"),
                                                              f.in("out/2/深"), f.in("out/1")}));
  EXPECT_EQ(testing::listNames(f.in("out")), (std::vector<std::string>{"2", "3", "mine"}));
  EXPECT_TRUE(testing::listNames(f.in("out/2")).empty()) << "there before the run";
  EXPECT_TRUE(testing::listNames(f.in("out/mine")).empty());
  EXPECT_EQ(testing::listNames(nativeFromInternal(f.in("out/3/深"))), std::vector<std::string>{"note.txt"});
  EXPECT_EQ(undoSummary(outcome), "撤销归类：移回 3 个，跳过 0 个，失败 0 个，删除空文件夹 6 个");
  EXPECT_EQ(undoFolderLine(outcome.removedFolders[0]), "已删除空文件夹：" + f.in("out/1/深/a"));

  // What was removed is off the list: a folder made anew under one of those names is the user's.
  EXPECT_EQ(logPaths(f, kMadeFoldersLogName), (std::vector<std::string>{f.in("out/3"), f.in("out/3/深")}));
  std::filesystem::create_directories(f.in("out/1"));
  std::filesystem::remove(nativeFromInternal(f.in("out/3/深/note.txt")));
  const UndoOutcome again = f.undo();
  EXPECT_EQ(again.removedFolders, (std::vector<std::string>{f.in("out/3/深"), f.in("out/3")}));
  EXPECT_EQ(testing::listNames(f.in("out")), (std::vector<std::string>{"1", "2", "mine"}));
}

// Names with line breaks, or bytes that are no UTF-8, go back where they came from: the lines of
// the before and after logs stay paired.
TEST(ClassifyUndo, NamesThatBreakLinesOrAreNoUtf8) {
  Fixture f;
  const std::string odd[] = {"line\nbreak.txt", "cr\r\nlf.txt", "\xff\xfe.txt", "plain.txt"};
  for (const std::string& name : odd) testing::writeBytes(f.dir / ("src/" + name), name);
  f.options.entryFolder = f.in("src");
  f.options.keepSources = false;
  f.options.templateText = f.in("out/[文件名]");
  ASSERT_EQ(ClassifyRun(f.options, f.ctx).failed, 0);
  ASSERT_EQ(testing::listNames(f.in("src")), std::vector<std::string>{});
  const UndoOutcome outcome = f.undo();
  EXPECT_EQ(outcome.restored, 4);
  for (const std::string& name : odd) EXPECT_EQ(testing::readBytes(f.dir / ("src/" + name)), name) << name;
  EXPECT_FALSE(testing::exists(f.in("out")));
}

// The logs of an earlier version: GBK, CR LF after every line, and no list of made folders.
TEST(ClassifyUndo, AnOldGbkLogWithCrLfStillUndoes) {
  Fixture f;
  // Internal text is GBK: these are the bytes the earlier version wrote.
  const std::string moved = f.in("源/文档.txt");
  const std::string movedTo = f.in("归档/1/文档.txt");
  const std::string failed = f.in("源/重名.txt");
  const std::string failedTo = f.in("归档/1/重名.txt");
  testing::writeBytes(nativeFromInternal(movedTo), "moved");
  testing::writeBytes(nativeFromInternal(failed), "stayed");
  testing::writeBytes(nativeFromInternal(failedTo), "not the run's");
  auto oldLog = [&](const char* name, const std::string& bytes) {
    testing::writeBytes(nativeFromInternal(f.home / name), bytes);
  };
  oldLog(kBeforeLogName, moved + "\r\n" + failed + "\r\n");
  oldLog(kAfterLogName, movedTo + "\r\n" + failedTo + "\r\n");
  oldLog(kFailureLogName, failed + "\r\n");
  ASSERT_NE(nativeFromInternal(moved), moved) << "the test needs a name whose GBK and UTF-8 differ";
  EXPECT_TRUE(ClassifyUndoAvailable(f.home.path()));

  const UndoOutcome outcome = f.undo();
  ASSERT_TRUE(outcome.error.empty()) << outcome.error;
  EXPECT_EQ(outcome.restored, 1);
  EXPECT_EQ(outcome.skipped, 1);
  EXPECT_EQ(testing::readBytes(nativeFromInternal(moved)), "moved");
  EXPECT_EQ(testing::readBytes(nativeFromInternal(failed)), "stayed");
  EXPECT_EQ(testing::readBytes(nativeFromInternal(failedTo)), "not the run's");
  ASSERT_EQ(outcome.steps.size(), 2u);
  EXPECT_EQ(outcome.steps[0].action, UndoAction::SkippedFailed);
  EXPECT_EQ(outcome.steps[1].after, movedTo);
  // Such a run noted no folders: none is taken away, even an empty one.
  EXPECT_TRUE(outcome.removedFolders.empty());
  EXPECT_TRUE(testing::exists(nativeFromInternal(f.in("归档/1"))));
}

TEST(ClassifyUndo, CopyRunUndoesNothing) {
  Fixture f;
  testing::writeBytes(f.in("src/a.txt"), "a");
  f.options.entryFolder = f.in("src");
  ASSERT_EQ(ClassifyRun(f.options, f.ctx).failed, 0);
  EXPECT_FALSE(ClassifyUndoAvailable(f.home.path()));
  const UndoOutcome outcome = f.undo();
  EXPECT_EQ(outcome.restored, 0);
  ASSERT_EQ(outcome.steps.size(), 1u);
  EXPECT_EQ(outcome.steps[0].action, UndoAction::SkippedOccupied);
  EXPECT_EQ(testing::readBytes(f.in("src/1/a.txt")), "a");
  EXPECT_TRUE(outcome.removedFolders.empty()) << "the copy still fills its folder";
}

TEST(ClassifyUndo, FailedFilesAndChainsInAFileListRun) {
  Fixture f;
  testing::writeBytes(f.in("a.txt"), "A");
  testing::writeBytes(f.in("c.txt"), "C");
  testing::writeBytes(f.in("taken/b.txt"), "not ours");
  // a.txt moves to out/b.txt; then out/b.txt (a's content) moves on to out2/b.txt; c.txt fails on
  // the taken name; a.txt listed again fails because it has gone.
  f.options.source = ClassifySource::FileList;
  f.options.keepSources = false;
  f.options.fileList = {f.in("a.txt"), f.in("out/b.txt"), f.in("c.txt"), f.in("a.txt")};
  f.options.templateText = f.in("[批次名]/b.txt");
  f.options.batchMode = BatchNameMode::NamedList;
  f.options.batchNames = {"out", "out2", "taken"};
  f.options.perBatch = 1;
  const ClassifyOutcome run = ClassifyRun(f.options, f.ctx);
  ASSERT_EQ(run.failed, 2);
  ASSERT_EQ(testing::readBytes(f.in("out2/b.txt")), "A");
  EXPECT_TRUE(ClassifyUndoAvailable(f.home.path()));

  const UndoOutcome outcome = f.undo();
  EXPECT_EQ(outcome.restored, 2);
  EXPECT_EQ(outcome.failed, 0);
  EXPECT_EQ(testing::readBytes(f.in("a.txt")), "A");
  EXPECT_FALSE(testing::exists(f.in("out/b.txt")));
  EXPECT_FALSE(testing::exists(f.in("out2/b.txt")));
  // The failed pairs never moved anything: the taken name keeps its own file.
  EXPECT_EQ(testing::readBytes(f.in("taken/b.txt")), "not ours");
  EXPECT_EQ(testing::readBytes(f.in("c.txt")), "C");
  int failedSkips = 0;
  for (const UndoStep& step : outcome.steps) failedSkips += step.action == UndoAction::SkippedFailed;
  EXPECT_EQ(failedSkips, 2);
  EXPECT_FALSE(ClassifyUndoAvailable(f.home.path()));
}

TEST(ClassifyUndo, WithoutLogsNothingHappens) {
  Fixture f;
  const UndoOutcome outcome = f.undo();
  EXPECT_FALSE(outcome.error.empty());
  EXPECT_TRUE(outcome.steps.empty());
  EXPECT_FALSE(ClassifyUndoAvailable(f.home.path()));
}

}  // namespace
}  // namespace chengling
