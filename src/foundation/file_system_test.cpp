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

#include "foundation/native_text.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::TempDir;
using Names = std::vector<std::string>;

std::string randomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

mode_t modeOf(const std::string& path) {
  struct stat st{};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Makes an existing folder unwritable for the rest of the scope: by permissions where they bind, or
// (as root, who ignores them) by mounting a read-only file system over it. `reason` is what a write
// into it must report; empty when neither is possible here.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const std::string& folder) : folder_(folder) {
    ::chmod(folder.c_str(), 0555);
    if (::access(folder.c_str(), W_OK) != 0) {
      reason = "权限不足";
      return;
    }
    ::chmod(folder.c_str(), 0755);
    if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0) {
      mounted_ = true;
      reason = "只读文件系统";
    }
  }
  ~UnwritableFolder() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    ::chmod(folder_.c_str(), 0755);
  }
  std::string reason;

 private:
  std::string folder_;
  bool mounted_ = false;
};

// A tiny file system mounted over an empty folder, so that writes run out of room. Needs root.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::string& folder) : folder_(folder) {
    ::mkdir(folder.c_str(), 0755);
    mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

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

TEST(ReadWholeFile, ReadsEveryByteAndNamesTheReasonOfAFailure) {
  TempDir dir;
  const std::string big = randomBytes((size_t{3} << 20) + 17, 1);
  testing::writeBytes(dir / "big.bin", big);
  testing::writeBytes(dir / "nul.txt", std::string("a\0b\0", 4));
  testing::writeBytes(dir / "empty.txt", "");

  std::string bytes = "stale";
  ASSERT_TRUE(readWholeFile(dir / "big.bin", bytes));
  EXPECT_TRUE(bytes == big);
  ASSERT_TRUE(readWholeFile(dir / "nul.txt", bytes));
  EXPECT_EQ(bytes, std::string("a\0b\0", 4));
  ASSERT_TRUE(readWholeFile(dir / "empty.txt", bytes));
  EXPECT_EQ(bytes, "");

  struct Case {
    std::string path;
    std::string_view reason;
  };
  const Case kCases[] = {
      {dir / "missing.txt", "文件不存在"},
      {dir.path(), "路径是文件夹"},
      {dir / "big.bin/inside", "路径不是文件夹"},
  };
  for (const Case& c : kCases) {
    std::string error;
    bytes = "stale";
    EXPECT_FALSE(readWholeFile(c.path, bytes, &error)) << c.path;
    EXPECT_EQ(error, c.reason) << c.path;
    EXPECT_EQ(bytes, "") << c.path;
  }
}

TEST(FileReader, ReadsInChunksSeeksAndKnowsItsSize) {
  TempDir dir;
  const std::string data = randomBytes(100000, 2);
  testing::writeBytes(dir / "data.bin", data);
  FileReader reader;
  ASSERT_TRUE(reader.open(dir / "data.bin"));
  EXPECT_EQ(reader.size(), 100000);
  std::string out;
  int64_t n;
  while ((n = reader.read(out, 30000)) > 0) EXPECT_LE(n, 30000);
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(out == data);
  ASSERT_TRUE(reader.seek(99990));
  out.clear();
  EXPECT_EQ(reader.read(out, 100), 10);
  EXPECT_EQ(out, data.substr(99990));

  std::string error;
  EXPECT_FALSE(reader.open(dir / "missing.bin", &error));
  EXPECT_EQ(error, "文件不存在");
  EXPECT_EQ(reader.read(out, 10), -1);
}

TEST(AtomicFile, WritesThroughAHiddenTemporaryFileThatIsGoneAfterwards) {
  TempDir dir;
  const std::string big = randomBytes((size_t{9} << 20) + 5, 3);
  AtomicFile file;
  ASSERT_TRUE(file.open(dir / "out.bin"));
  // Small and large writes, so that both the buffer and the direct path are used.
  for (size_t pos = 0; pos < big.size();) {
    const size_t piece = std::min(big.size() - pos, pos % 3 == 0 ? size_t{5} << 20 : size_t{777});
    ASSERT_TRUE(file.write(std::string_view(big).substr(pos, piece)));
    pos += piece;
  }
  EXPECT_EQ(file.written(), static_cast<int64_t>(big.size()));
  EXPECT_FALSE(testing::exists(dir / "out.bin"));  // nothing appears before the commit
  ASSERT_EQ(testing::listNames(dir.path()).size(), 1u);
  EXPECT_EQ(testing::listNames(dir.path())[0][0], '.');
  ASSERT_TRUE(file.commit());
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(testing::listNames(dir.path()), Names{"out.bin"});
  EXPECT_TRUE(testing::readBytes(dir / "out.bin") == big);
}

TEST(AtomicFile, AppendTakesTheRestOfAFileAfterWhatWasWritten) {
  TempDir dir;
  const std::string source = randomBytes((size_t{3} << 20) + 11, 5);
  testing::writeBytes(dir / "source.bin", source);
  AtomicFile file;
  ASSERT_TRUE(file.open(dir / "out.bin"));
  ASSERT_TRUE(file.write("head"));  // still in the buffer: must land before the appended bytes
  FileReader reader;
  ASSERT_TRUE(reader.open(dir / "source.bin"));
  ASSERT_TRUE(reader.seek(7));
  bool readFailed = true;
  ASSERT_TRUE(file.append(reader, readFailed));
  ASSERT_TRUE(file.write("tail"));
  EXPECT_EQ(file.written(), static_cast<int64_t>(4 + source.size() - 7 + 4));
  ASSERT_TRUE(file.commit());
  EXPECT_TRUE(testing::readBytes(dir / "out.bin") == "head" + source.substr(7) + "tail");
}

TEST(AtomicFile, NamesAtTheLengthLimitStillGetATemporaryNeighbour) {
  TempDir dir;
  std::string chinese;
  for (int i = 0; i < 84; ++i) chinese += "归";  // 252 bytes once it is UTF-8 on disk
  for (const std::string& name : {std::string(255, 'n'), chinese}) {
    std::string error;
    EXPECT_TRUE(writeFileAtomic(internalFromNative(dir.path()) + "/" + name, "x", &error)) << error;
  }
  EXPECT_EQ(testing::listNames(dir.path()).size(), 2u);
}

TEST(AtomicFile, AnUncommittedWriteLeavesThePreviousTargetAndNoTemporaryFile) {
  TempDir dir;
  testing::writeBytes(dir / "target.txt", "previous");
  {
    AtomicFile file;
    ASSERT_TRUE(file.open(dir / "target.txt"));
    ASSERT_TRUE(file.write(randomBytes(size_t{6} << 20, 4)));
  }
  EXPECT_EQ(testing::readBytes(dir / "target.txt"), "previous");
  EXPECT_EQ(testing::listNames(dir.path()), Names{"target.txt"});

  AtomicFile file;
  ASSERT_TRUE(file.open(dir / "target.txt"));
  ASSERT_TRUE(file.write("new"));
  file.abort();
  EXPECT_FALSE(file.isOpen());
  EXPECT_FALSE(file.commit());
  EXPECT_EQ(testing::readBytes(dir / "target.txt"), "previous");
  EXPECT_EQ(testing::listNames(dir.path()), Names{"target.txt"});
}

TEST(AtomicFile, CommitWithoutReplaceRefusesAnExistingFile) {
  TempDir dir;
  testing::writeBytes(dir / "taken.txt", "mine");
  AtomicFile file;
  ASSERT_TRUE(file.open(dir / "taken.txt"));
  ASSERT_TRUE(file.write("theirs"));
  std::string error;
  EXPECT_FALSE(file.commit(&error, false));
  EXPECT_EQ(error, "文件已存在");
  EXPECT_EQ(testing::readBytes(dir / "taken.txt"), "mine");
  EXPECT_EQ(testing::listNames(dir.path()), Names{"taken.txt"});

  ASSERT_TRUE(file.open(dir / "free.txt"));
  ASSERT_TRUE(file.write("fresh"));
  EXPECT_TRUE(file.commit(&error, false)) << error;
  EXPECT_EQ(testing::readBytes(dir / "free.txt"), "fresh");
}

TEST(AtomicFile, NewFilesFollowTheUmaskAndReplacedFilesKeepTheirMode) {
  TempDir dir;
  const mode_t saved = ::umask(022);
  ASSERT_TRUE(writeFileAtomic(dir / "a.txt", "a"));
  EXPECT_EQ(modeOf(dir / "a.txt"), 0644u);
  ::umask(027);
  ASSERT_TRUE(writeFileAtomic(dir / "b.txt", "b"));
  EXPECT_EQ(modeOf(dir / "b.txt"), 0640u);
  ::umask(saved);

  ::chmod((dir / "a.txt").c_str(), 0751);
  ASSERT_TRUE(writeFileAtomic(dir / "a.txt", "again"));
  EXPECT_EQ(modeOf(dir / "a.txt"), 0751u);
  EXPECT_EQ(testing::readBytes(dir / "a.txt"), "again");
}

TEST(AtomicFile, ChineseNamesBecomeUtf8OnDisk) {
  TempDir dir;
  ASSERT_TRUE(writeFileAtomic(internalFromNative(dir.path()) + "/归类前文件路径.txt", "x"));
  EXPECT_EQ(testing::listNames(dir.path()),
            Names{std::string(reinterpret_cast<const char*>(u8"归类前文件路径.txt"))});
}

TEST(AtomicFile, AWriteIntoAnUnwritableFolderFailsWithTheReason) {
  TempDir dir;
  ::mkdir((dir / "locked").c_str(), 0755);
  UnwritableFolder locked(dir / "locked");
  if (locked.reason.empty()) GTEST_SKIP() << "cannot make a folder unwritable here";
  std::string error;
  EXPECT_FALSE(writeFileAtomic(dir / "locked/out.txt", "x", &error));
  EXPECT_EQ(error, locked.reason);
  EXPECT_EQ(testing::listNames(dir / "locked"), Names{});

  EXPECT_FALSE(writeFileAtomic(dir / "missing/out.txt", "x", &error));
  EXPECT_EQ(error, "目标文件夹不存在");
}

TEST(AtomicFile, AFullFileSystemLeavesTheOldTargetAndNoTemporaryFile) {
  TempDir dir;
  SmallFileSystem small(dir / "small");
  if (!small.mounted()) GTEST_SKIP() << "mounting a small file system needs root";
  const std::string target = dir / "small/target.txt";
  ASSERT_TRUE(writeFileAtomic(target, "the old contents"));
  std::string error;
  {
    AtomicFile file;
    ASSERT_TRUE(file.open(target, &error)) << error;
    bool ok = true;
    for (int i = 0; i < 64 && ok; ++i) ok = file.write(randomBytes(size_t{64} << 10, i), &error);
    if (ok) ok = file.commit(&error);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "磁盘已满");
  }
  EXPECT_EQ(testing::readBytes(target), "the old contents");
  EXPECT_EQ(testing::listNames(dir / "small"), Names{"target.txt"});
  EXPECT_FALSE(writeFileAtomic(dir / "small/big.bin", randomBytes(size_t{1} << 20, 9), &error));
  EXPECT_EQ(error, "磁盘已满");
  EXPECT_FALSE(testing::exists(dir / "small/big.bin"));
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
