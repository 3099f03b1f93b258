#include "tools/classify/classify_undo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/internal_text.h"
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
  EXPECT_EQ(undoSummary(outcome), "撤销归类：移回 4 个，跳过 1 个，失败 0 个");
  EXPECT_FALSE(ClassifyUndoAvailable(f.home.path())) << "only the occupied one is left";

  // A second undo finds nothing left to do.
  const UndoOutcome again = f.undo();
  EXPECT_EQ(again.restored, 0);
  EXPECT_EQ(again.failed, 0);
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
