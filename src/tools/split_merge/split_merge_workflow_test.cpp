#include "tools/split_merge/split_merge_workflow.h"

#include <gtest/gtest.h>

#include "foundation/native_text.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::TempDir;
using testing::exists;
using testing::readBytes;
using testing::writeBytes;

TEST(SplitDrop, OneFolderAsksAboutTheFolderElseAboutThePaths) {
  TempDir dir;
  writeBytes(dir / "f1/a.txt", "a");
  writeBytes(dir / "f2/b.txt", "b");
  writeBytes(dir / "c.txt", "c");

  const SplitDrop folder = planSplitDrop({dir / "f1"});
  EXPECT_TRUE(folder.isFolder);
  EXPECT_EQ(folder.folder, dir / "f1");
  EXPECT_EQ(folder.question, kSplitFolderQuestion);

  const SplitDrop two = planSplitDrop({dir / "f1", dir / "f2"});
  EXPECT_FALSE(two.isFolder);
  EXPECT_EQ(two.question, "确定分割被拖放的 2 个文件吗？");
  EXPECT_EQ(two.paths, (PathList{dir / "f1", dir / "f2"}));

  const SplitDrop file = planSplitDrop({dir / "c.txt"});
  EXPECT_FALSE(file.isFolder);
  EXPECT_EQ(file.question, "确定分割被拖放的 1 个文件吗？");
}

TEST(SplitStart, FolderSplitsItsMatchingFilesAndListOffersTheFirstFolder) {
  TempDir dir;
  writeBytes(dir / "in/B.txt", "bb");
  writeBytes(dir / "in/a.txt", "aa");
  writeBytes(dir / "in/c.htm", "cc");
  writeBytes(dir / "in/sub/d.txt", "dd");
  SplitOptions options;
  options.pieceCount = 2;
  PlainRunContext ctx;
  const SplitReport fromFolder = SplitDropped(planSplitDrop({dir / "in"}), "*.txt", Matcher::Standard, options, ctx);
  EXPECT_EQ(fromFolder.sourceCount, 2u);
  EXPECT_EQ(fromFolder.resultFolder, dir / "in");
  EXPECT_EQ(fromFolder.outcome.piecesWritten, 4);
  EXPECT_EQ(testing::listNames(dir / "in"), (std::vector<std::string>{"B", "B.txt", "a", "a.txt", "c.htm", "sub"}));

  const SplitReport fromList = SplitFiles({dir / "in/c.htm", dir / "in/sub/d.txt"}, options, ctx);
  EXPECT_EQ(fromList.resultFolder, dir / "in");
  EXPECT_EQ(fromList.sourceCount, 2u);
  EXPECT_TRUE(exists(dir / "in/c/c_1.htm")) << testing::listNames(dir / "in/c").size();
  EXPECT_TRUE(exists(dir / "in/sub/d"));

  const SplitReport none = SplitFolder(dir / "in", "*.doc", Matcher::Standard, options, ctx);
  EXPECT_EQ(none.sourceCount, 0u);
  EXPECT_EQ(none.outcome.piecesWritten, 0);
}

TEST(MergeDrop, FilesInDropOrderFoldersReversed) {
  TempDir dir;
  writeBytes(dir / "one/x.txt", "");
  writeBytes(dir / "two/y.txt", "");
  writeBytes(dir / "a.txt", "");
  writeBytes(dir / "b.txt", "");
  writeBytes(dir / "c.txt", "");
  const MergeDrop drop = planMergeDrop({dir / "one", dir / "b.txt", dir / "two", dir / "a.txt", dir / "c.txt"});
  EXPECT_EQ(drop.files, (PathList{dir / "b.txt", dir / "a.txt", dir / "c.txt"}));
  EXPECT_EQ(drop.folders, (PathList{dir / "two", dir / "one"}));
  EXPECT_EQ(drop.question, "确定合并被拖放的 5 个吗？");
  EXPECT_TRUE(drop.filesQuestionSuppressed);
  EXPECT_FALSE(planMergeDrop({dir / "a.txt"}).filesQuestionSuppressed);
}

TEST(MergeResult, FolderOfferedAfterAMerge) {
  struct Case { PathList list; bool folders; bool parent; const char* want; };
  const Case kCases[] = {
      {{"/d/novel/ch01.txt", "/e/x.txt"}, false, false, "/d/novel"},
      {{"/d/novel/ch01.txt"}, false, true, "/d"},
      {{"/d/novel", "/e"}, true, false, "/d/novel"},
      {{"/d/novel"}, true, true, "/d"},
      {{"/top"}, true, true, "/top"},
      {{}, false, true, ""},
  };
  for (const Case& c : kCases) EXPECT_EQ(mergeResultFolder(c.list, c.folders, c.parent), c.want) << c.want;
}

TEST(MergeFolders, EachFolderInOrderUntilAStop) {
  TempDir dir;
  writeBytes(dir / "p/a.txt", "A");
  writeBytes(dir / "q/b.txt", "B");
  writeBytes(dir / "r/c.txt", "C");
  MergeOptions options;
  options.intoParent = false;
  std::vector<std::string> outputs;
  PlainRunContext ctx;
  options.onOutputWritten = [&](std::string_view path) {
    outputs.emplace_back(path);
    if (outputs.size() == 2) ctx.requestStop();
  };
  const MergeOutcome outcome = MergeFolders({dir / "p", dir / "q", dir / "r"}, options, ctx);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outputs, (std::vector<std::string>{dir / "p/a等1个文件.txt", dir / "q/b等1个文件.txt"}));
}

TEST(MergeDropped, FilesFirstThenFoldersAndOnlyTheLastMergeAsks) {
  TempDir dir;
  writeBytes(dir / "top/f/x.txt", "X");
  writeBytes(dir / "top/g/y.txt", "Y");
  writeBytes(dir / "top/h/z.txt", "Z");
  MergeOptions options;
  PlainRunContext ctx;
  const MergeReport both = MergeDropped(planMergeDrop({dir / "top/f/x.txt", dir / "top/g"}), options, ctx);
  EXPECT_EQ(both.outcome.outputsWritten, 2);
  EXPECT_TRUE(both.ask);
  EXPECT_EQ(both.resultFolder, dir / "top");
  EXPECT_EQ(readBytes(nativeFromInternal(dir / "top/x等1个文件.txt")), "X");
  EXPECT_EQ(readBytes(nativeFromInternal(dir / "top/y等1个文件.txt")), "Y");

  options.intoParent = false;
  const MergeReport files = MergeDropped(planMergeDrop({dir / "top/h/z.txt"}), options, ctx);
  EXPECT_TRUE(files.ask);
  EXPECT_EQ(files.resultFolder, dir / "top/h");
  EXPECT_EQ(readBytes(nativeFromInternal(dir / "top/h/z等1个文件.txt")), "Z");
}

TEST(MergeChosenFolder, MergesTheFolderAndAsksNothingAfterACleanRun) {
  TempDir dir;
  writeBytes(dir / "top/p/1.txt", "1");
  writeBytes(dir / "top/p/2.txt", "2");
  MergeOptions options;
  PlainRunContext ctx;
  const MergeReport report = MergeChosenFolder(dir / "top/p", options, ctx);
  EXPECT_EQ(report.outcome.outputsWritten, 1);
  EXPECT_FALSE(report.ask);
  EXPECT_EQ(readBytes(nativeFromInternal(dir / "top/1等2个文件.txt")), "12");
  EXPECT_EQ(mergeEnd(report).text, "");
}

TEST(RunEnds, StoppedAndFailedRunsSaySoAndOnlyAFolderWrittenInIsOffered) {
  TempDir dir;
  const std::string folder = dir.path();
  const std::string gone = dir / "gone";
  const auto split = [](SplitEnd end, int64_t pieces, int64_t failures, const std::string& folder) {
    SplitReport report;
    report.outcome.end = end;
    report.outcome.piecesWritten = pieces;
    report.outcome.failures = failures;
    report.resultFolder = folder;
    report.sourceCount = 2;
    return splitEnd(report);
  };
  struct Case {
    const char* label;
    RunEnd got;
    std::string text;
    std::string folder;
  };
  const Case kCases[] = {
      {"clean split", split(SplitEnd::Finished, 3, 0, folder), "分割完毕！是否打开保存目录：" + folder, folder},
      {"stopped split", split(SplitEnd::Stopped, 3, 0, folder), "已停止。写出 3 个分割文件。是否打开保存目录：" + folder,
       folder},
      {"stopped split with failures", split(SplitEnd::Stopped, 3, 1, folder),
       "已停止。写出 3 个分割文件，失败 1 个。是否打开保存目录：" + folder, folder},
      {"split with failures", split(SplitEnd::Finished, 3, 2, folder),
       "分割完毕：写出 3 个分割文件，失败 2 个。是否打开保存目录：" + folder, folder},
      {"split that wrote nothing", split(SplitEnd::Finished, 0, 2, folder), "分割完毕：写出 0 个分割文件，失败 2 个", ""},
      {"stopped before a piece", split(SplitEnd::Stopped, 0, 0, folder), "已停止。写出 0 个分割文件", ""},
      {"clean split of nothing", split(SplitEnd::Finished, 0, 0, folder), "分割完毕：没有写出分割文件", ""},
      {"a folder that is not there", split(SplitEnd::Finished, 3, 0, gone), "分割完毕：没有写出分割文件", ""},
      {"invalid settings", split(SplitEnd::Invalid, 0, 0, folder), "", ""},
      {"clean merge", mergeEnd({{1, 0, 0, false}, true, folder}), "合并完毕！是否打开保存目录：" + folder, folder},
      {"stopped merge", mergeEnd({{2, 0, 0, true}, true, folder}), "已停止。写出 2 个合并文件。是否打开保存目录：" + folder,
       folder},
      {"merge with failures", mergeEnd({{1, 1, 0, false}, true, folder}),
       "合并完毕：写出 1 个合并文件，失败 1 个。是否打开保存目录：" + folder, folder},
      // A merge that asks no question offers nothing; it says only what went wrong.
      {"quiet clean merge", mergeEnd({{1, 0, 0, false}, false, folder}), "", ""},
      {"quiet stopped merge", mergeEnd({{1, 0, 0, true}, false, folder}), "已停止。写出 1 个合并文件", ""},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(c.got.text, c.text) << c.label;
    EXPECT_EQ(c.got.folder, c.folder) << c.label;
  }
  EXPECT_EQ(split(SplitEnd::Stopped, 3, 1, folder).summary, "已停止。写出 3 个分割文件，失败 1 个");
  EXPECT_EQ(split(SplitEnd::Finished, 3, 0, folder).summary, "");
}

TEST(Questions, NameTheFolderToOpen) {
  EXPECT_EQ(splitDoneQuestion("/d/x"), "分割完毕！是否打开保存目录：/d/x");
  EXPECT_EQ(mergeDoneQuestion("/d"), "合并完毕！是否打开保存目录：/d");
}

}  // namespace
}  // namespace chengling
