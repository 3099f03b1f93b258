#include "tools/classify/classify_journal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "tools/classify/classify_engine.h"
#include "tools/classify/classify_log.h"
#include "tools/classify/classify_undo.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::TempDir;

std::string identityText(const std::string& path) {
  const FileIdentity identity = fileIdentity(path);
  return std::to_string(identity.device) + ":" + std::to_string(identity.inode);
}

std::string line(std::string_view path) {
  std::string text = logLine(path);
  text.pop_back();
  return text;
}

// Each pair of a journal as the files left it, with what the recovered logs must say of it.
TEST(RecoverJournal, SettledPairsAsRecordedUnsettledOnesFromTheFiles) {
  const TempDir dir;
  auto at = [&](const char* name) { return dir / name; };
  // a moved and b failed in a settled block. In the block a kill cut short: c moved; d did not
  // yet; e's target is someone else's file and its source was never there; f was copied to another
  // file system and killed before its source went; g was copied and its source removed; i was
  // copied and killed before the copy was recorded; j began a copy, and what stands at its target
  // now is not that copy.
  testing::writeBytes(at("out/a"), "a");
  testing::writeBytes(at("src/b"), "b");
  testing::writeBytes(at("out/c"), "c");
  testing::writeBytes(at("src/d"), "d");
  testing::writeBytes(at("out/e"), "not the run's");
  testing::writeBytes(at("src/f"), "f");
  testing::writeBytes(at("out/f"), "f");
  testing::writeBytes(at("out/g"), "g");
  testing::writeBytes(at("src/i"), "i");
  testing::writeBytes(at("out/i"), "i");
  testing::writeBytes(at("src/j"), "j");
  testing::writeBytes(at("out/j"), "not j");
  std::filesystem::create_directories(at("out/made"));
  const std::string journal =
      "# chengling classify journal 1 move\n"
      "/" + line(at("out")) + "\n/" + line(at("out/made")) + "\n/" + line(at("out/gone")) + "\n" +
      ">1:1 " + line(at("src/a")) + "\n<" + line(at("out/a")) + "\n" +
      ">1:2 " + line(at("src/b")) + "\n<" + line(at("out/b")) + "\n" +
      "!1\n=2\n" +
      ">" + identityText(at("out/c")) + " " + line(at("src/c")) + "\n<" + line(at("out/c")) + "\n" +
      ">" + identityText(at("src/d")) + " " + line(at("src/d")) + "\n<" + line(at("out/d")) + "\n" +
      ">- " + line(at("src/e")) + "\n<" + line(at("out/e")) + "\n" +
      ">" + identityText(at("src/f")) + " " + line(at("src/f")) + "\n<" + line(at("out/f")) + "\n" +
      "+5 " + identityText(at("out/f")) + "\n" +
      ">7:7 " + line(at("src/g")) + "\n<" + line(at("out/g")) + "\n" +
      "+6 " + identityText(at("out/g")) + "\n" +
      "/" + line(at("out/made")) + "\n" +
      ">" + identityText(at("src/i")) + " " + line(at("src/i")) + "\n<" + line(at("out/i")) + "\n~7\n" +
      ">" + identityText(at("src/j")) + " " + line(at("src/j")) + "\n<" + line(at("out/j")) + "\n~8\n" +
      ">1:9 " + line(at("src/h"));  // cut short by the kill
  const RecoveredRun run = recoverJournal(journal);
  EXPECT_EQ(run.pairs, 4);
  EXPECT_EQ(run.beforeLog, at("src/a") + "\n" + at("src/b") + "\n" + at("src/c") + "\n" + at("src/g") + "\n");
  EXPECT_EQ(run.afterLog, at("out/a") + "\n" + at("out/b") + "\n" + at("out/c") + "\n" + at("out/g") + "\n");
  EXPECT_EQ(run.failureLog, at("src/b") + "\n");
  EXPECT_EQ(run.madeFoldersLog, at("out") + "\n" + at("out/made") + "\n");
  ASSERT_EQ(run.strayCopies.size(), 2u);
  EXPECT_EQ(run.strayCopies[0].source, at("src/f"));
  EXPECT_EQ(run.strayCopies[0].copy, at("out/f"));
  EXPECT_TRUE(fileIdentity(at("out/f")).sameAs(run.strayCopies[0].identity));
  EXPECT_EQ(run.strayCopies[1].copy, at("out/i"));
  EXPECT_TRUE(fileIdentity(at("out/i")).sameAs(run.strayCopies[1].identity));

  // A copy run's unsettled pair counts where its target is a file; nothing is a stray there.
  const RecoveredRun copies = recoverJournal(
      "# chengling classify journal 1 copy\n>" + identityText(at("src/d")) + " " + line(at("src/d")) + "\n<" +
      line(at("out/c")) + "\n>" + identityText(at("src/d")) + " " + line(at("src/d")) + "\n<" + line(at("out/x")) + "\n");
  EXPECT_EQ(copies.afterLog, at("out/c") + "\n");

  // Without its whole first line a journal accounts for no file.
  const std::string pair = ">" + identityText(at("out/c")) + " " + line(at("src/c")) + "\n<" + line(at("out/c")) + "\n";
  for (const std::string& first : {std::string(), std::string("# chengling classify jour"), std::string("garbage\n"),
                                   std::string("# chengling classify journal 2 move\n")}) {
    const RecoveredRun nothing = recoverJournal(first + pair);
    EXPECT_EQ(nothing.pairs, 0) << first;
    EXPECT_EQ(nothing.beforeLog + nothing.afterLog + nothing.failureLog + nothing.madeFoldersLog, "") << first;
  }
  EXPECT_EQ(recoverJournal("# chengling classify journal 1 move\n" + pair).pairs, 1);
}

// Everything under `root` (native paths relative to it): files with their bytes, folders as "/".
std::map<std::string, std::string> tree(const std::string& root) {
  std::map<std::string, std::string> all;
  if (!std::filesystem::exists(root)) return all;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string relative = std::filesystem::relative(entry.path(), root).string();
    all[relative] = entry.is_directory() ? "/" : testing::readBytes(entry.path().string());
  }
  return all;
}

struct Fixture {
  TempDir dir;
  TempDir home;
  std::string in(std::string_view relative) const { return dir / relative; }
  ClassifyOptions moveRun(std::string_view folder) const {
    ClassifyOptions options;
    options.entryFolder = in(folder);
    options.keepSources = false;
    options.logFolder = home.path();
    return options;
  }
  bool journalThere() const { return testing::exists(nativeFromInternal(home / kJournalName)); }
};

// Between any two files of a move run, the journal accounts for exactly the files that have moved
// so far and the folders made for them: a kill at that moment loses nothing of the record.
TEST(ClassifyJournal, BetweenAnyTwoFilesTheRecordIsExactlyWhatHasMoved) {
  Fixture f;
  for (int i = 0; i < 300; ++i) testing::writeBytes(f.in("src/f" + std::to_string(1000 + i)), std::to_string(i));
  testing::writeBytes(f.in("out/2/f1150"), "there before");  // that one fails
  ClassifyOptions options = f.moveRun("src");
  options.templateText = f.in("out/[批次名]/[文件名]");
  PlainRunContext ctx;
  int64_t checked = 0;
  ctx.onCheckpointHook = [&](PlainRunContext&, int64_t) {
    const RecoveredRun run = recoverJournal(testing::readBytes(nativeFromInternal(f.home / kJournalName)));
    ASSERT_TRUE(f.journalThere());
    const std::vector<std::string> before = readLogLines(run.beforeLog);
    const std::vector<std::string> failures = readLogLines(run.failureLog);
    std::set<std::string> recorded(before.begin(), before.end());
    for (const std::string& failed : failures) recorded.erase(failed);
    std::set<std::string> moved;
    for (int i = 0; i < 300; ++i) {
      const std::string source = f.in("src/f" + std::to_string(1000 + i));
      if (!testing::exists(source)) moved.insert(source);
    }
    EXPECT_EQ(recorded, moved) << "at file " << checked + 1;
    std::set<std::string> made;
    for (const std::string& folder : readLogLines(run.madeFoldersLog)) made.insert(folder);
    std::set<std::string> there;
    for (const char* folder : {"out/1", "out/3"}) {
      if (testing::exists(f.in(folder))) there.insert(f.in(folder));
    }
    EXPECT_EQ(made, there) << "at file " << checked + 1;
    ++checked;
  };
  const ClassifyOutcome outcome = ClassifyRun(options, ctx);
  EXPECT_EQ(checked, 300);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_FALSE(f.journalThere()) << "a run that ends leaves its logs, not its journal";
}

// A run killed at any file is undone exactly, and the run before it keeps its files where it put
// them, at once and after another undo.
TEST(ClassifyJournal, AKilledRunIsUndoneExactlyAndTheRunBeforeItStays) {
  for (const int killAt : {1, 2, 129, 250}) {
    SCOPED_TRACE("killed before file " + std::to_string(killAt));
    Fixture f;
    for (int i = 0; i < 5; ++i) testing::writeBytes(f.in("old/o" + std::to_string(i)), "old");
    PlainRunContext ctx;
    ASSERT_EQ(ClassifyRun(f.moveRun("old"), ctx).failed, 0);
    const auto older = tree(f.in("old"));
    ASSERT_EQ(older.count("1/o0"), 1u);

    for (int i = 0; i < 250; ++i) testing::writeBytes(f.in("new/src/n" + std::to_string(1000 + i)), std::to_string(i));
    const auto before = tree(f.in("new"));
    ClassifyOptions options = f.moveRun("new/src");
    options.templateText = f.in("new/out/[批次名]/[文件名]");
    options.perBatch = 20;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      PlainRunContext killing;
      killing.onCheckpointHook = [killAt](PlainRunContext&, int64_t count) {
        if (count == killAt) ::raise(SIGKILL);
      };
      ClassifyRun(options, killing);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_TRUE(f.journalThere());
    EXPECT_EQ(ClassifyUndoAvailable(f.home.path()), killAt > 1);

    const UndoOutcome undone = ClassifyUndo(f.home.path(), ctx);
    ASSERT_TRUE(undone.error.empty()) << undone.error;
    EXPECT_EQ(undone.restored, killAt - 1);
    EXPECT_EQ(undone.failed, 0);
    EXPECT_EQ(tree(f.in("new")), before);
    EXPECT_EQ(tree(f.in("old")), older);
    EXPECT_FALSE(f.journalThere());
    const UndoOutcome again = ClassifyUndo(f.home.path(), ctx);
    EXPECT_EQ(again.restored, 0);
    EXPECT_EQ(tree(f.in("old")), older);
  }
}

// One run at a time: while a run holds the journal, another run and an undo are turned away and
// touch nothing.
TEST(ClassifyJournal, AnotherRunOrAnUndoWaitsForTheLiveRun) {
  Fixture f;
  testing::writeBytes(f.in("old/a"), "a");
  PlainRunContext ctx;
  ASSERT_EQ(ClassifyRun(f.moveRun("old"), ctx).failed, 0);
  testing::writeBytes(f.in("src/b"), "b");
  JournalFile live;
  ASSERT_EQ(live.open(f.home / kJournalName, true), JournalFile::Open::Opened);
  ASSERT_TRUE(live.append("# chengling classify journal 1 move\n"));

  const ClassifyOutcome refused = ClassifyRun(f.moveRun("src"), ctx);
  EXPECT_EQ(refused.error, "另一个归类正在进行，等它结束后再开始");
  EXPECT_EQ(refused.processed, 0);
  EXPECT_TRUE(testing::exists(f.in("src/b")));
  EXPECT_FALSE(ClassifyUndoAvailable(f.home.path()));
  const UndoOutcome undo = ClassifyUndo(f.home.path(), ctx);
  EXPECT_EQ(undo.error, "另一个归类正在进行，等它结束后才能撤销");
  EXPECT_TRUE(testing::exists(f.in("old/1/a")));

  // Once it is gone (killed before it recorded a file), its journal stands for it: it is the last
  // run, and it moved nothing.
  live.close();
  EXPECT_FALSE(ClassifyUndoAvailable(f.home.path())) << "the newest run moved nothing";
  EXPECT_EQ(ClassifyUndo(f.home.path(), ctx).restored, 0);
  EXPECT_TRUE(testing::exists(f.in("old/1/a")));
  EXPECT_FALSE(f.journalThere());
}

}  // namespace
}  // namespace chengling
