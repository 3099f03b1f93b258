#include "foundation/created_folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace chengling {
namespace {

using testing::exists;
using testing::listNames;
using testing::TempDir;
using testing::writeBytes;

TEST(CreatedFolders, RemovesOnlyTheEmptyFoldersItMade) {
  TempDir dir;
  writeBytes(dir / "old/file.txt", "mine");

  CreatedFolders first;
  ASSERT_TRUE(first.make(dir / "old/new/deeper"));
  first.removeEmpty();
  EXPECT_EQ(listNames(dir / "old"), std::vector<std::string>{"file.txt"}) << "a folder it found stays";

  CreatedFolders kept;
  ASSERT_TRUE(kept.make(dir / "out/a"));
  writeBytes(dir / "out/a/done.txt", "written");
  kept.keep();
  kept.removeEmpty();
  CreatedFolders second;
  ASSERT_TRUE(second.make(dir / "out/b/c"));
  second.removeEmpty();
  EXPECT_EQ(listNames(dir / "out"), std::vector<std::string>{"a"}) << "a folder holding an output stays";
  EXPECT_TRUE(exists(dir / "out/a/done.txt"));
}

TEST(CreatedFolders, AFolderThatCannotBeMadeLeavesNoLevelsBehind) {
  TempDir dir;
  std::string deep = dir / "top";
  while (deep.size() < 5000) deep += "/level";  // longer than a path may be
  CreatedFolders made;
  EXPECT_FALSE(made.make(deep));
  made.removeEmpty();
  EXPECT_TRUE(listNames(dir.path()).empty());
}

TEST(RemoveEmptyFolders, DeepestFirstAndNeverOneThatHoldsAnything) {
  TempDir dir;
  for (const char* folder : {"a/b/c", "a/d", "e/f"}) std::filesystem::create_directories(dir / folder);
  writeBytes(dir / "e/f/file.txt", "mine");
  writeBytes(dir / "plain", "a file, not a folder");
  // In any order, a parent before its child, a name twice, a file and a path that is not there.
  const std::vector<std::string> removed = removeEmptyFolders(
      {dir / "a", dir / "a/b", dir / "e", dir / "a/b/c", dir / "plain", dir / "e/f", dir / "a/d", dir / "gone",
       dir / "a/b"});
  EXPECT_EQ(removed, (std::vector<std::string>{dir / "a/b/c", dir / "a/b", dir / "a/d", dir / "a"}));
  EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"e", "plain"}));
  EXPECT_TRUE(exists(dir / "e/f/file.txt"));
}

}  // namespace
}  // namespace chengling
