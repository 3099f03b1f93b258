// The adapter over a file system that breaks on purpose: what AtomicFile, FileReader and the path
// operations do when the Nth call fails, the room runs out, reads come back short, a folder is
// read-only or another file system, and when the machine loses what was not synced.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "foundation/file_system.h"
#include "support/faulty_file_system.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::FaultyFileSystem;
using testing::listNames;
using testing::randomBytes;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;
using Names = std::vector<std::string>;

// Each fault against a replacement of an existing file and the making of a new one: the call fails
// with the fault's reason, the old file is untouched, the new name never appears, nothing is left.
TEST(FaultyFileSystem, AFailedWriteLeavesTheOldFileAndNoTrace) {
  struct Case {
    const char* label;
    void (*arm)(FaultyFileSystem& fs, const std::string& folder);
    const char* reason;
  };
  const Case cases[] = {
      {"every write fails", [](FaultyFileSystem& fs, const std::string&) { fs.failCall(FaultyFileSystem::kWrite, 0, EIO); },
       "读写错误"},
      {"the disk fills", [](FaultyFileSystem& fs, const std::string& folder) { fs.limitRoom(folder, 1000); }, "磁盘已满"},
      {"the folder is read-only", [](FaultyFileSystem& fs, const std::string& folder) { fs.readOnly(folder); },
       "只读文件系统"},
      {"the commit's rename fails",
       [](FaultyFileSystem& fs, const std::string&) {
         fs.failCall(FaultyFileSystem::kRename | FaultyFileSystem::kLink, 0, EIO);
       },
       "读写错误"},
  };
  const std::string content = randomBytes(300000, 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const TempDir dir;
    writeBytes(dir / "old.bin", "old");
    FaultyFileSystem fs;
    c.arm(fs, dir.path());
    for (const char* name : {"old.bin", "new.bin"}) {
      std::string error;
      EXPECT_FALSE(writeFileAtomic(fs, dir / name, content, &error)) << name;
      EXPECT_EQ(error, c.reason) << name;
    }
    EXPECT_EQ(readBytes(dir / "old.bin"), "old");
    EXPECT_EQ(listNames(dir.path()), Names{"old.bin"});
  }
}

// A replacement is synced before its rename: when that sync fails nothing is replaced.
TEST(FaultyFileSystem, AReplacementWhoseSyncFailsIsNotPutInPlace) {
  const TempDir dir;
  writeBytes(dir / "a.txt", "old");
  FaultyFileSystem fs;
  fs.failCall(FaultyFileSystem::kSync, 0, EIO);
  std::string error;
  EXPECT_FALSE(writeFileAtomic(fs, dir / "a.txt", "new", &error));
  EXPECT_EQ(error, "读写错误");
  EXPECT_EQ(readBytes(dir / "a.txt"), "old");
  EXPECT_EQ(fs.count(FaultyFileSystem::kRename), 0);
  // A new name is not synced one by one, so the same fault does not stop it.
  EXPECT_TRUE(writeFileAtomic(fs, dir / "b.txt", "new", &error)) << error;
  EXPECT_EQ(readBytes(dir / "b.txt"), "new");
}

// Only the Nth call of a kind fails; the ones before and after go through.
TEST(FaultyFileSystem, OnlyTheNthCallFails) {
  const TempDir dir;
  FaultyFileSystem fs;
  fs.failCall(FaultyFileSystem::kLink | FaultyFileSystem::kRename, 2, ENOSPC);
  std::string error;
  EXPECT_TRUE(writeFileAtomic(fs, dir / "1.txt", "one", &error)) << error;
  EXPECT_FALSE(writeFileAtomic(fs, dir / "2.txt", "two", &error));
  EXPECT_EQ(error, "磁盘已满");
  EXPECT_TRUE(writeFileAtomic(fs, dir / "3.txt", "three", &error)) << error;
  EXPECT_EQ(listNames(dir.path()), (Names{"1.txt", "3.txt"}));
  EXPECT_EQ(fs.count(FaultyFileSystem::kLink | FaultyFileSystem::kRename), 3);
}

// Reads that come back a few bytes at a time still give every byte, through each reader.
TEST(FaultyFileSystem, ShortReadsLoseNothing) {
  const TempDir dir;
  const std::string content = randomBytes(70001, 4);
  writeBytes(dir / "in.bin", content);
  FaultyFileSystem fs;
  fs.shortReads(7);
  std::string bytes;
  ASSERT_TRUE(readWholeFile(fs, dir / "in.bin", bytes));
  EXPECT_EQ(bytes, content);

  FileReader reader(fs);
  ASSERT_TRUE(reader.open(dir / "in.bin"));
  std::string pieces;
  while (reader.read(pieces, 4096) > 0) {
  }
  EXPECT_EQ(pieces, content);

  ASSERT_TRUE(copyFile(fs, dir / "in.bin", dir / "copy.bin", false));
  EXPECT_EQ(readBytes(dir / "copy.bin"), content);
  EXPECT_GT(fs.count(FaultyFileSystem::kRead), int64_t{70001 / 7});
}

// The room runs out part way: what fits is written, then ENOSPC; removing a file gives room back.
TEST(FaultyFileSystem, TheRoomRunsOutAndComesBack) {
  const TempDir dir;
  writeBytes(dir / "big.bin", randomBytes(5000, 5));
  FaultyFileSystem fs;
  fs.limitRoom(dir.path(), 4096);
  std::string error;
  EXPECT_TRUE(writeFileAtomic(fs, dir / "small.bin", randomBytes(3000, 6), &error)) << error;
  EXPECT_FALSE(writeFileAtomic(fs, dir / "more.bin", randomBytes(3000, 7), &error));
  EXPECT_EQ(error, "磁盘已满");
  ASSERT_TRUE(removeFile(fs, dir / "big.bin"));
  EXPECT_TRUE(writeFileAtomic(fs, dir / "more.bin", randomBytes(3000, 7), &error)) << error;
  EXPECT_EQ(readBytes(dir / "more.bin"), randomBytes(3000, 7));
}

// A folder of another file system: a rename across its border fails as the kernel's would, a copy
// goes through.
TEST(FaultyFileSystem, ASeparateFileSystemRefusesRenamesAcrossItsBorder) {
  const TempDir dir;
  writeBytes(dir / "in/a.txt", "a");
  writeBytes(dir / "out/keep.txt", "k");
  FaultyFileSystem fs;
  fs.separate(dir / "out");
  std::string error;
  EXPECT_FALSE(renamePath(fs, dir / "in/a.txt", dir / "out/a.txt", false, &error));
  EXPECT_EQ(error, "不能跨文件系统移动");
  EXPECT_TRUE(renamePath(fs, dir / "out/keep.txt", dir / "out/kept.txt", false, &error)) << error;
  EXPECT_TRUE(copyFile(fs, dir / "in/a.txt", dir / "out/a.txt", false, &error)) << error;
  EXPECT_EQ(readBytes(dir / "out/a.txt"), "a");
}

// A crash keeps what was synced and drops the rest: a replaced file was synced before its rename
// and holds the new contents; a new file was not and comes back empty; after a sync of the whole
// file system everything stays.
TEST(FaultyFileSystem, ACrashDropsWhatWasNotSynced) {
  const TempDir dir;
  writeBytes(dir / "replaced.txt", "old");
  FaultyFileSystem fs;
  ASSERT_TRUE(writeFileAtomic(fs, dir / "replaced.txt", "replacement"));
  ASSERT_TRUE(writeFileAtomic(fs, dir / "new.txt", "unsynced"));
  fs.crash();
  EXPECT_EQ(readBytes(dir / "replaced.txt"), "replacement");
  EXPECT_TRUE(testing::exists(dir / "new.txt"));
  EXPECT_EQ(readBytes(dir / "new.txt"), "");

  ASSERT_TRUE(writeFileAtomic(fs, dir / "new.txt", "again"));
  ASSERT_TRUE(writeFileAtomic(fs, dir / "other.txt", "other"));
  ASSERT_TRUE(syncFileSystem(fs, dir.path()));
  fs.crash();
  EXPECT_EQ(readBytes(dir / "new.txt"), "again");
  EXPECT_EQ(readBytes(dir / "other.txt"), "other");
}

// A process that dies at a chosen call dies for real there; with a power cut its unsynced writes
// go with it.
TEST(FaultyFileSystem, DiesAtTheChosenCall) {
  const TempDir dir;
  EXPECT_EXIT(
      {
        FaultyFileSystem fs;
        fs.dieAt(FaultyFileSystem::kOpen, 2, true);
        writeFileAtomic(fs, dir / "first.txt", "first");
        writeFileAtomic(fs, dir / "second.txt", "second");
        _exit(0);
      },
      ::testing::KilledBySignal(SIGKILL), "");
  EXPECT_EQ(readBytes(dir / "first.txt"), "");
  EXPECT_FALSE(testing::exists(dir / "second.txt"));
  std::filesystem::create_directories(dir / "a");
  std::filesystem::create_directories(dir / "b");
  EXPECT_EXIT(
      {
        FaultyFileSystem fs;
        fs.dieAt(FaultyFileSystem::kRename | FaultyFileSystem::kLink, 1, false, dir / "b");
        writeFileAtomic(fs, dir / "a/kept.txt", "kept");
        writeFileAtomic(fs, dir / "b/lost.txt", "lost");
        _exit(0);
      },
      ::testing::KilledBySignal(SIGKILL), "");
  EXPECT_EQ(readBytes(dir / "a/kept.txt"), "kept");
  EXPECT_EQ(listNames(dir / "b"), Names{});
}

}  // namespace
}  // namespace chengling
