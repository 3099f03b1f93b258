#include "tools/split_merge/split_merge_workflow.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace chengling {
namespace {

using testing::TempDir;
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

TEST(SplitStart, FolderListsItsMatchingFilesAndListUsesTheFirstFolder) {
  TempDir dir;
  writeBytes(dir / "in/B.txt", "");
  writeBytes(dir / "in/a.txt", "");
  writeBytes(dir / "in/c.htm", "");
  writeBytes(dir / "in/sub/d.txt", "");
  const SplitStart fromFolder = splitStartFromFolder(dir / "in", "*.txt", Matcher::Standard);
  EXPECT_EQ(fromFolder.sources, (PathList{dir / "in/a.txt", dir / "in/B.txt"}));
  EXPECT_EQ(fromFolder.resultFolder, dir / "in");
  const SplitStart fromList = splitStartFromList({dir / "in/c.htm", dir / "x.txt"});
  EXPECT_EQ(fromList.resultFolder, dir / "in");
  EXPECT_EQ(fromList.sources.size(), 2u);
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
  const MergeOutcome outcome = mergeFolders({dir / "p", dir / "q", dir / "r"}, options, ctx);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outputs, (std::vector<std::string>{dir / "p/a等1个文件.txt", dir / "q/b等1个文件.txt"}));
}

TEST(Questions, NameTheFolderToOpen) {
  EXPECT_EQ(splitDoneQuestion("/d/x"), "分割完毕！是否打开保存目录：/d/x");
  EXPECT_EQ(mergeDoneQuestion("/d"), "合并完毕！是否打开保存目录：/d");
  EXPECT_EQ(mergeFolderTitle("*.txt"),
            "选择一个文件夹，将读入文件夹下的所有 *.txt 文件进行合并。你也可以直接拖放要合并的文件或文件夹到软件");
}

}  // namespace
}  // namespace chengling
