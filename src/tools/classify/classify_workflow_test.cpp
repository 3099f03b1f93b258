#include "tools/classify/classify_workflow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace chengling {
namespace {

TEST(DroppedFileList, ReplacesOrAppendsOnePathALine) {
  struct Case {
    const char* list;
    PathList dropped;
    bool append;
    const char* want;
  };
  const Case kCases[] = {
      {"/old/a\r\n", {"/x/一", "/x/二"}, false, "/x/一\r\n/x/二\r\n"},
      {"/old/a\r\n", {"/x/一"}, true, "/old/a\r\n/x/一\r\n"},
      {"", {"/x/一"}, true, "/x/一\r\n"},
      // A list typed by hand may end without a line break: its last path stays a path of its own.
      {"/old/a\r\n/old/b", {"/x/一"}, true, "/old/a\r\n/old/b\r\n/x/一\r\n"},
      {"/old/a\r", {"/x/一"}, true, "/old/a\r\r\n/x/一\r\n"},
      // Empty lines in the list stay: they are entries that fail in the run.
      {"/old/a\r\n\r\n", {"/x/一"}, true, "/old/a\r\n\r\n/x/一\r\n"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(droppedFileList(c.list, c.dropped, c.append), c.want) << c.list << " append " << c.append;
  }
}

TEST(UndoAvailableAfter, AMoveRunCanBeUndoneACopyRunNot) {
  testing::TempDir dir;
  testing::TempDir home;
  testing::writeBytes(dir / "src/a.txt", "a");
  ClassifyOptions options;
  options.logFolder = home.path();
  options.entryFolder = dir / "src";
  options.templateText = dir / "out/[文件名]";
  options.keepSources = false;
  PlainRunContext ctx;
  EXPECT_TRUE(undoAvailableAfter(options, ClassifyRun(options, ctx))) << "a move run";

  // A copy run that cannot start leaves the move run's logs, and its file can still go back.
  options.keepSources = true;
  options.entryFolder = dir / "missing";
  const ClassifyOutcome refused = ClassifyRun(options, ctx);
  ASSERT_FALSE(refused.error.empty());
  EXPECT_TRUE(undoAvailableAfter(options, refused));

  testing::writeBytes(dir / "src/b.txt", "b");
  options.entryFolder = dir / "src";
  EXPECT_FALSE(undoAvailableAfter(options, ClassifyRun(options, ctx))) << "a copy run";
  EXPECT_TRUE(testing::exists(dir / "out/a.txt"));
}

TEST(PlanText, ListsAtMostTheGivenNumberOfFiles) {
  std::vector<PlannedFile> plan;
  for (const char* name : {"a", "b", "c"}) plan.push_back(PlannedFile{std::string("/s/") + name, std::string("/t/") + name});
  plan[1].targetExists = true;
  EXPECT_EQ(planText(plan, false, 10), "/s/a → /t/a\r\n/s/b → /t/b  [目标已存在，将失败]\r\n/s/c → /t/c\r\n");
  EXPECT_EQ(planText(plan, true, 1), "/s/a → /t/a\r\n……另有 2 个文件未列出\r\n");
  EXPECT_EQ(planText({}, true, 10), "");
}

TEST(UnknownWords, NoticeAndQuestionNameEveryWordUpToFive) {
  struct Case {
    std::vector<std::string> words;
    const char* notice;
  };
  const Case kCases[] = {
      {{}, ""},
      {{"[文名]"}, "[文名] 不是元符，将作为文字保留。"},
      {{"[文名]", "[Year]"}, "[文名]、[Year] 不是元符，将作为文字保留。"},
      {{"[1]", "[2]", "[3]", "[4]", "[5]"}, "[1]、[2]、[3]、[4]、[5] 不是元符，将作为文字保留。"},
      {{"[1]", "[2]", "[3]", "[4]", "[5]", "[6]", "[7]"}, "[1]、[2]、[3]、[4]、[5] 等 7 个不是元符，将作为文字保留。"},
  };
  for (const Case& c : kCases) EXPECT_EQ(unknownWordsNotice(c.words), c.notice) << c.notice;
  EXPECT_EQ(unknownWordsQuestion(unknownBracketWords("/out/[文名]")), "[文名] 不是元符，将作为文字保留。继续吗？");
}

}  // namespace
}  // namespace chengling
