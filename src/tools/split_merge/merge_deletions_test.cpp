#include "tools/split_merge/merge_deletions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "foundation/held_record.h"
#include "foundation/native_text.h"
#include "support/test_support.h"
#include "tools/split_merge/merge_engine.h"

namespace chengling {
namespace {

using testing::exists;
using testing::listNames;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

TEST(MergeDeletions, ARecordReadsBackWholeWithAnyPathAndNothingLessReads) {
  MergeDeletions deletions;
  deletions.output = {"/d/合并等2个文件.txt", {~uint64_t{0}, 2, 3, 1700000000123456789, 5}};
  deletions.inputs = {{"/d/a b\nc.txt", {7, 8, 0, -1, 11}}, {"/d/\xFF\x01 12 end\n", {1, 1, 1, 1, 1}}};
  const std::string text = mergeDeletionsText(deletions);
  MergeDeletions back;
  ASSERT_TRUE(parseMergeDeletions(text, back));
  EXPECT_EQ(back.output.path, deletions.output.path);
  EXPECT_EQ(back.output.stamp, deletions.output.stamp);
  ASSERT_EQ(back.inputs.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(back.inputs[i].path, deletions.inputs[i].path);
    EXPECT_EQ(back.inputs[i].stamp, deletions.inputs[i].stamp);
  }
  for (size_t cut = 0; cut < text.size(); ++cut) EXPECT_FALSE(parseMergeDeletions(text.substr(0, cut), back)) << cut;
  EXPECT_FALSE(parseMergeDeletions(text + "I", back));
}

// A merge of out.txt from a.txt and b.txt in `dir`, killed before it deleted anything: its record is
// left in dir/records.
void leaveKilledMerge(const TempDir& dir) {
  writeBytes(dir / "a.txt", "a");
  writeBytes(dir / "b.txt", "b");
  writeBytes(dir / "out.txt", "ab");
  MergeDeletions deletions;
  deletions.output.path = dir / "out.txt";
  ASSERT_TRUE(fileStamp(deletions.output.path, deletions.output.stamp));
  for (const char* name : {"a.txt", "b.txt"}) {
    deletions.inputs.push_back({dir / name, {}});
    ASSERT_TRUE(fileStamp(deletions.inputs.back().path, deletions.inputs.back().stamp));
  }
  HeldRecord record;
  ASSERT_TRUE(record.create(dir / "records", mergeDeletionsText(deletions)));
}

class KilledMerge : public ::testing::Test {
 protected:
  void SetUp() override { leaveKilledMerge(dir_); }
  std::string records() const { return dir_ / "records"; }
  size_t recordsLeft() const { return listNames(records()).size(); }

  TempDir dir_;
  PlainRunContext ctx_;
};

TEST(MergeDeletions, TheNextMergeOfAKilledOnesFilesFinishesOnlyWhatItsOutputStillHolds) {
  using Names = std::vector<std::string>;
  struct Case {
    const char* label;
    std::function<void(const TempDir&)> meanwhile;
    Names list;  // names in the folder
    Names wantList;
    int64_t wantDeleted;
    Names wantFiles;
    size_t wantRecords;
  };
  const auto none = [](const TempDir&) {};
  const Case kCases[] = {
      {"the same files again", none, {"a.txt", "b.txt"}, {}, 2, {"out.txt", "records"}, 0},
      {"its output among them and a new file", none, {"a.txt", "b.txt", "out.txt", "new.txt"}, {"new.txt"}, 2,
       {"new.txt", "out.txt", "records"}, 0},
      {"the first one deleted already", [](const TempDir& d) { std::remove((d / "a.txt").c_str()); }, {"b.txt"}, {},
       1, {"out.txt", "records"}, 0},
      {"an input written to since", [](const TempDir& d) { writeBytes(d / "b.txt", "changed"); },
       {"a.txt", "b.txt"}, {"b.txt"}, 1, {"b.txt", "out.txt", "records"}, 0},
      {"the output written to since", [](const TempDir& d) { writeBytes(d / "out.txt", "other"); },
       {"a.txt", "b.txt"}, {"a.txt", "b.txt"}, 0, {"a.txt", "b.txt", "out.txt", "records"}, 0},
      {"the output gone", [](const TempDir& d) { std::remove((d / "out.txt").c_str()); }, {"a.txt", "b.txt"},
       {"a.txt", "b.txt"}, 0, {"a.txt", "b.txt", "records"}, 0},
      {"another merge", none, {"a.txt", "new.txt"}, {"a.txt", "new.txt"}, 0,
       {"a.txt", "b.txt", "new.txt", "out.txt", "records"}, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    const TempDir dir;
    leaveKilledMerge(dir);
    c.meanwhile(dir);
    PathList list;
    for (const std::string& name : c.list) {
      if (!exists(dir / name)) writeBytes(dir / name, "n");
      list.push_back(dir / name);
    }
    PathList wantList;
    for (const std::string& name : c.wantList) wantList.push_back(dir / name);
    PlainRunContext ctx;
    const FinishedDeletions finished = finishInterruptedDeletions(dir / "records", list, ctx);
    EXPECT_EQ(list, wantList);
    EXPECT_EQ(finished.deleted, c.wantDeleted);
    EXPECT_EQ(finished.failures, 0);
    EXPECT_EQ(listNames(dir.path()), c.wantFiles);
    EXPECT_EQ(listNames(dir / "records").size(), c.wantRecords);
    if (c.wantDeleted > 0) {
      ASSERT_EQ(ctx.warnings.size(), 1u);
      EXPECT_EQ(ctx.warnings[0].item, dir / "out.txt");
      EXPECT_EQ(ctx.warnings[0].reason, finishedDeletionsNote(c.wantDeleted));
      EXPECT_EQ(readBytes(dir / "out.txt"), "ab");
    } else {
      EXPECT_TRUE(ctx.warnings.empty());
    }
  }
}

TEST_F(KilledMerge, ARecordThatARunStillHoldsIsLeftAlone) {
  HeldRecord live;
  MergeDeletions deletions;
  deletions.output.path = dir_ / "out.txt";
  ASSERT_TRUE(fileStamp(deletions.output.path, deletions.output.stamp));
  deletions.inputs.push_back({dir_ / "b.txt", {}});
  ASSERT_TRUE(fileStamp(dir_ / "b.txt", deletions.inputs.back().stamp));
  const std::string others = dir_ / "others";
  ASSERT_TRUE(live.create(others, mergeDeletionsText(deletions)));
  PathList list = {dir_ / "b.txt"};
  EXPECT_EQ(finishInterruptedDeletions(others, list, ctx_).deleted, 0);
  EXPECT_TRUE(exists(dir_ / "b.txt"));
  EXPECT_EQ(listNames(others).size(), 1u);
}

// The merge run itself: deleting its inputs, it finishes the killed run's deletions and writes no
// second output; without deletion it merges as asked and leaves the record.
TEST_F(KilledMerge, AMergeThatDeletesFinishesItAndOneThatKeepsItsInputsMergesAgain) {
  MergeOptions options;
  options.intoParent = false;
  options.deletionRecords = records();
  const PathList list = {dir_ / "a.txt", dir_ / "b.txt"};
  MergeOutcome outcome = MergeFiles(list, options, ctx_);
  EXPECT_EQ(outcome.outputsWritten, 1);
  EXPECT_EQ(readBytes(nativeFromInternal(dir_ / "a等2个文件.txt")), "ab");
  EXPECT_EQ(recordsLeft(), 1u);

  options.deleteInputs = true;
  outcome = MergeFiles(list, options, ctx_);
  EXPECT_EQ(outcome.outputsWritten, 0);
  EXPECT_EQ(outcome.inputsDeleted, 2);
  EXPECT_EQ(outcome.failures, 0);
  EXPECT_EQ(listNames(dir_.path()), (std::vector<std::string>{nativeFromInternal("a等2个文件.txt"), "out.txt", "records"}));
  EXPECT_EQ(recordsLeft(), 0u);
}

// A merge that deletes its inputs leaves no record behind when it ends by itself.
TEST(MergeDeletions, ACompleteMergeLeavesNoRecord) {
  const TempDir dir;
  writeBytes(dir / "in/1.txt", "1");
  writeBytes(dir / "in/2.txt", "2");
  MergeOptions options;
  options.deleteInputs = true;
  options.deletionRecords = dir / "records";
  PlainRunContext ctx;
  const MergeOutcome outcome = MergeFiles({dir / "in/1.txt", dir / "in/2.txt"}, options, ctx);
  EXPECT_EQ(outcome.inputsDeleted, 2);
  EXPECT_EQ(listNames(dir / "records"), std::vector<std::string>{});
  EXPECT_EQ(listNames(dir / "in"), std::vector<std::string>{});
}

}  // namespace
}  // namespace chengling
