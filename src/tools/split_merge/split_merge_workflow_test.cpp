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

TEST(Questions, NameTheFolderToOpen) {
  EXPECT_EQ(splitDoneQuestion("/d/x"), "分割完毕！是否打开保存目录：/d/x");
  EXPECT_EQ(mergeDoneQuestion("/d"), "合并完毕！是否打开保存目录：/d");
  EXPECT_EQ(mergeFolderTitle("*.txt"),
            "选择一个文件夹，将读入文件夹下的所有 *.txt 文件进行合并。你也可以直接拖放要合并的文件或文件夹到软件");
}

}  // namespace
}  // namespace chengling
