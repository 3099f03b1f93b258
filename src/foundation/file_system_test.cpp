#include "foundation/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "support/fault_fixtures.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::randomBytes;
using testing::TempDir;
using testing::UnwritableFolder;
using Names = std::vector<std::string>;

TEST(ReasonForErrno, GivesChineseReasonsAndFallsBackToTheSystemText) {
  struct Case {
    int error;
    std::string_view reason;
  };
  constexpr Case kCases[] = {
      {ENOSPC, "磁盘已满"},     {EDQUOT, "磁盘已满"},     {EACCES, "权限不足"},
      {EPERM, "权限不足"},      {ENOENT, "文件不存在"},   {EROFS, "只读文件系统"},
      {EEXIST, "文件已存在"},   {ENOTDIR, "路径不是文件夹"}, {EISDIR, "路径是文件夹"},
      {ENAMETOOLONG, "文件名过长"},
  };
  for (const Case& c : kCases) EXPECT_EQ(reasonForErrno(c.error), c.reason) << c.error;
  const std::string fallback = reasonForErrno(EHOSTDOWN);
  EXPECT_FALSE(fallback.empty());
  EXPECT_NE(fallback, reasonForErrno(EPROTO));
  EXPECT_FALSE(reasonForErrno(987654).empty());
}

TEST(RenamePath, WithoutReplaceNeverTouchesAnExistingTarget) {
  TempDir dir;
  testing::writeBytes(dir / "a.txt", "a");
  testing::writeBytes(dir / "b.txt", "b");
  std::string error;
  EXPECT_FALSE(renamePath(dir / "a.txt", dir / "b.txt", false, &error));
  EXPECT_EQ(error, "文件已存在");
  EXPECT_EQ(testing::readBytes(dir / "a.txt"), "a");
  EXPECT_EQ(testing::readBytes(dir / "b.txt"), "b");

  EXPECT_TRUE(renamePath(dir / "a.txt", dir / "c.txt", false, &error)) << error;
  EXPECT_EQ(testing::listNames(dir.path()), (Names{"b.txt", "c.txt"}));
  EXPECT_TRUE(renamePath(dir / "c.txt", dir / "b.txt", true, &error)) << error;
  EXPECT_EQ(testing::listNames(dir.path()), Names{"b.txt"});
  EXPECT_EQ(testing::readBytes(dir / "b.txt"), "a");

  EXPECT_FALSE(renamePath(dir / "gone.txt", dir / "d.txt", false, &error));
  EXPECT_EQ(error, "文件不存在");
}

TEST(CopyFile, CopiesInChunksKeepsTheTimeAndRespectsReplace) {
  TempDir dir;
  const std::string data = randomBytes((size_t{17} << 20) + 3, 5);
  testing::writeBytes(dir / "src.bin", data);
  const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "src.bin").c_str(), times, 0), 0);

  std::string error;
  ASSERT_TRUE(copyFile(dir / "src.bin", dir / "copy.bin", false, &error)) << error;
  EXPECT_TRUE(testing::readBytes(dir / "copy.bin") == data);
  EXPECT_EQ(modifiedTime(dir / "copy.bin"), 1000000000);

  testing::writeBytes(dir / "other.bin", "other");
  EXPECT_FALSE(copyFile(dir / "src.bin", dir / "other.bin", false, &error));
  EXPECT_EQ(error, "文件已存在");
  EXPECT_EQ(testing::readBytes(dir / "other.bin"), "other");
  ASSERT_TRUE(copyFile(dir / "src.bin", dir / "other.bin", true, &error)) << error;
  EXPECT_TRUE(testing::readBytes(dir / "other.bin") == data);

  // Onto itself: nothing changes.
  EXPECT_TRUE(copyFile(dir / "src.bin", dir / "src.bin", true, &error)) << error;
  EXPECT_TRUE(testing::readBytes(dir / "src.bin") == data);
  EXPECT_FALSE(copyFile(dir / "missing.bin", dir / "x.bin", true, &error));
  EXPECT_EQ(error, "文件不存在");
  EXPECT_EQ(testing::listNames(dir.path()), (Names{"copy.bin", "other.bin", "src.bin"}));
}

TEST(MakeDirectories, CreatesLevelByLevelAndStopsAtTheFirstFailure) {
  TempDir dir;
  testing::writeBytes(dir / "file", "x");
  struct Case {
    std::string folder;
    bool ok;
    std::string_view reason;
    std::string mustExist;
  };
  const Case kCases[] = {
      {dir / "a/b/c/", true, "", dir / "a/b/c"},
      {dir / "a/b/c", true, "", dir / "a/b/c"},
      {dir / "x//y/z", true, "", dir / "x/y/z"},
      {dir / "file/sub/", false, "路径不是文件夹", ""},
      {dir / "d/e/file", true, "", dir / "d/e/file"},
      // The levels before the failing one stay.
      {dir / "p/q/../../file/r/", false, "路径不是文件夹", dir / "p/q"},
      {"/", true, "", "/"},
  };
  for (const Case& c : kCases) {
    std::string error;
    EXPECT_EQ(MakeDirectories(c.folder, &error), c.ok) << c.folder;
    EXPECT_EQ(error, c.reason) << c.folder;
    if (!c.mustExist.empty()) {
      EXPECT_TRUE(IsDirectory(c.mustExist) && pathExists(c.mustExist)) << c.mustExist;
    }
  }
  EXPECT_FALSE(testing::exists(dir / "file/sub"));
}

TEST(MakeDirectories, FailsBelowAnUnwritableParent) {
  TempDir dir;
  ::mkdir((dir / "parent").c_str(), 0755);
  UnwritableFolder locked(dir / "parent");
  if (locked.reason.empty()) GTEST_SKIP() << "cannot make a folder unwritable here";
  std::string error;
  EXPECT_FALSE(MakeDirectories(dir / "parent/new/deeper/", &error));
  EXPECT_EQ(error, locked.reason);
  EXPECT_FALSE(testing::exists(dir / "parent/new"));
}

// An identity names the node of a name: it moves with a rename, a copy has another, a link is itself.
TEST(FileIdentity, NamesTheNodeARenameCarries) {
  TempDir dir;
  testing::writeBytes(dir / "a.txt", "a");
  ASSERT_EQ(::symlink("b.txt", (dir / "link").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);
  const FileIdentity before = fileIdentity(dir / "a.txt");
  EXPECT_TRUE(before.exists && before.regular);
  ASSERT_TRUE(renamePath(dir / "a.txt", dir / "b.txt", false));
  EXPECT_TRUE(fileIdentity(dir / "b.txt").sameAs(before));
  EXPECT_FALSE(fileIdentity(dir / "a.txt").exists);
  ASSERT_TRUE(copyFile(dir / "b.txt", dir / "c.txt", false));
  EXPECT_FALSE(fileIdentity(dir / "c.txt").sameAs(before));
  // A link is a node of its own that leads to a regular file, or to nothing.
  const FileIdentity link = fileIdentity(dir / "link");
  EXPECT_TRUE(link.exists && link.regular);
  EXPECT_FALSE(link.sameAs(before));
  const FileIdentity dangling = fileIdentity(dir / "dangling");
  EXPECT_TRUE(dangling.exists && !dangling.regular);
  EXPECT_FALSE(fileIdentity(dir.path()).regular);
  EXPECT_FALSE(fileIdentity("").exists);
  EXPECT_FALSE(FileIdentity{}.sameAs(FileIdentity{}));
}

TEST(Attributes, FoldersFilesAndMissingPaths) {
  TempDir dir;
  testing::writeBytes(dir / "file.txt", "12345");
  ::mkdir((dir / "folder").c_str(), 0755);
  ASSERT_EQ(::symlink("folder", (dir / "link").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);
  struct Case {
    std::string path;
    bool exists, regular, directory;
    int64_t size;
  };
  const Case kCases[] = {
      {dir / "file.txt", true, true, false, 5},
      {dir / "folder", true, false, true, -2},
      {dir / "link", true, false, true, -2},
      // A path whose attributes cannot be read counts as a folder.
      {dir / "missing", false, false, true, -1},
      {dir / "dangling", true, false, true, -1},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(pathExists(c.path), c.exists) << c.path;
    EXPECT_EQ(isRegularFile(c.path), c.regular) << c.path;
    EXPECT_EQ(IsDirectory(c.path), c.directory) << c.path;
    if (c.size != -2) {
      EXPECT_EQ(fileSize(c.path), c.size) << c.path;
    }
  }
  EXPECT_NEAR(static_cast<double>(modifiedTime(dir / "file.txt")), static_cast<double>(time(nullptr)), 600);
  EXPECT_EQ(modifiedTime(dir / "missing"), -1);
  EXPECT_TRUE(sameFile(dir / "folder", dir / "link"));
  EXPECT_FALSE(sameFile(dir / "folder", dir / "file.txt"));
  EXPECT_FALSE(sameFile(dir / "missing", dir / "missing"));

  std::vector<std::string> folders = folderEntries(dir.path(), true);
  std::vector<std::string> files = folderEntries(dir.path(), false);
  std::sort(folders.begin(), folders.end());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(folders, (Names{"folder", "link"}));
  EXPECT_EQ(files, (Names{"dangling", "file.txt"}));
  EXPECT_EQ(folderEntries(dir / "missing", false), Names{});

  std::string error;
  EXPECT_TRUE(syncFileSystem(dir.path(), &error)) << error;
  EXPECT_TRUE(syncFileSystem(dir / "file.txt", &error)) << error;
  EXPECT_FALSE(syncFileSystem(dir / "missing", &error));
  EXPECT_EQ(error, "文件不存在");

  EXPECT_TRUE(removeFile(dir / "file.txt", &error)) << error;
  EXPECT_FALSE(removeFile(dir / "file.txt", &error));
  EXPECT_EQ(error, "文件不存在");
}

}  // namespace
}  // namespace chengling
