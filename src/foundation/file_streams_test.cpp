#include "foundation/file_streams.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/native_text.h"
#include "support/fault_fixtures.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::randomBytes;
using testing::SmallFileSystem;
using testing::TempDir;
using testing::UnwritableFolder;
using Names = std::vector<std::string>;

mode_t modeOf(const std::string& path) {
  struct stat st{};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
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

// Writes 9 MiB through small and large writes (the buffer and the direct path) and commits; `during`
// gets the folder's names before the commit. Empty when all went as it should, else what did not.
std::string writeAndCommit(const std::string& folder, Names& during) {
  const std::string big = randomBytes((size_t{9} << 20) + 5, 3);
  AtomicFile file;
  if (!file.open(folder + "/out.bin")) return "open";
  for (size_t pos = 0; pos < big.size();) {
    const size_t piece = std::min(big.size() - pos, pos % 3 == 0 ? size_t{5} << 20 : size_t{777});
    if (!file.write(std::string_view(big).substr(pos, piece))) return "write";
    pos += piece;
  }
  if (file.written() != static_cast<int64_t>(big.size())) return "written";
  during = testing::listNames(folder);
  if (!file.commit() || file.isOpen()) return "commit";
  if (testing::listNames(folder) != Names{"out.bin"}) return "names after";
  if (testing::readBytes(folder + "/out.bin") != big) return "contents";
  return {};
}

// Nothing appears under the target's name before the commit, and nothing else stays: the file has
// no name meanwhile, or, where it cannot be named later (no /proc), a hidden temporary one.
TEST(AtomicFile, WritesThroughATemporaryFileThatIsGoneAfterwards) {
  TempDir dir;
  Names during;
  EXPECT_EQ(writeAndCommit(dir.path(), during), "");
  EXPECT_EQ(during, Names{});

  // The same in a process that sees no /proc.
  TempDir other;
  const pid_t child = fork();
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/proc", "tmpfs", 0, "size=64k") != 0) {
      _exit(77);
    }
    Names names;
    const std::string failed = writeAndCommit(other.path(), names);
    const bool hidden = names.size() == 1 && names[0][0] == '.' && isOwnTemporaryName(names[0]);
    _exit(failed.empty() && hidden ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no mount namespace (needs root)";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Leftovers of a killed run go when the next run writes into their folder; a file another instance
// is still writing (it holds the lock) stays, and so does anything that is not ours.
TEST(AtomicFile, RemovesStaleTemporaryFilesOfKilledRunsInItsFolder) {
  TempDir dir;
  const std::string stale = dir / ".a.txt.abcd1234.chengling.tmp";
  const std::string busy = dir / ".b.txt.efgh5678.chengling.tmp";
  const std::string foreign = dir / ".c.txt.abcd1234.tmp";
  for (const std::string& path : {stale, busy, foreign}) {
    testing::writeBytes(path, "left over");
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
  }
  const int held = ::open(busy.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

  AtomicFile file;
  ASSERT_TRUE(file.open(dir / "new.txt"));
  ASSERT_TRUE(file.write("new"));
  ASSERT_TRUE(file.commit());
  ::close(held);
  EXPECT_FALSE(testing::exists(stale));
  EXPECT_TRUE(testing::exists(busy));
  EXPECT_TRUE(testing::exists(foreign));
  EXPECT_EQ(testing::readBytes(dir / "new.txt"), "new");
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

// A piece of a split takes a stretch of its source: the length bounds the copy, the end of the file
// cuts it short, and the reader is left right after what was taken. A source on another file system
// makes the kernel refuse the copy, so the bytes go through the buffer instead; both must agree.
TEST(AtomicFile, AppendWithALengthTakesThatStretchOfTheSource) {
  struct Case {
    int64_t start;
    int64_t length;
  };
  const int64_t kSize = (int64_t{1} << 20) + 333;
  const Case kCases[] = {{0, 0},           {0, 1},           {5, 200000}, {7, kSize - 7},
                         {kSize - 10, 1000}, {kSize - 10, kSize}, {kSize, 5}};
  TempDir dir;
  const std::string source = randomBytes(static_cast<size_t>(kSize), 11);
  SmallFileSystem other(dir / "other", size_t{4} << 20);
  std::vector<std::string> places = {dir / "source.bin"};
  if (other.mounted()) places.push_back(dir / "other/source.bin");
  for (const std::string& place : places) {
    testing::writeBytes(place, source);
    for (const Case& c : kCases) {
      SCOPED_TRACE(place + " from " + std::to_string(c.start) + " for " + std::to_string(c.length));
      AtomicFile file;
      ASSERT_TRUE(file.open(dir / "out.bin"));
      ASSERT_TRUE(file.write("<"));
      FileReader reader;
      ASSERT_TRUE(reader.open(place));
      ASSERT_TRUE(reader.seek(c.start));
      bool readFailed = true;
      ASSERT_TRUE(file.append(reader, readFailed, nullptr, c.length));
      const std::string taken = source.substr(static_cast<size_t>(c.start), static_cast<size_t>(c.length));
      EXPECT_EQ(file.written(), static_cast<int64_t>(1 + taken.size()));
      std::string next;
      ASSERT_GE(reader.read(next, 4), 0);
      EXPECT_TRUE(next == source.substr(static_cast<size_t>(c.start) + taken.size(), 4));
      ASSERT_TRUE(file.write(">"));
      ASSERT_TRUE(file.commit());
      EXPECT_TRUE(testing::readBytes(dir / "out.bin") == "<" + taken + ">");
      // Disk room asked for a length the source did not have is given back.
      struct stat st{};
      ASSERT_EQ(::stat((dir / "out.bin").c_str(), &st), 0);
      EXPECT_LT(st.st_blocks * 512, st.st_size + 65536);
    }
  }
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

// What stands at the target stays what it is: a link stays a link to the new contents, a pipe stays a
// pipe that received them, and every name of a hard-linked file sees the new contents.
TEST(AtomicFile, ReplacingKeepsLinksPipesAndHardLinks) {
  TempDir dir;
  testing::writeBytes(dir / "real.txt", "old");
  ::mkdir((dir / "sub").c_str(), 0755);
  struct Link { std::string name; std::string to; std::string realFile; };
  const Link kLinks[] = {
      {"absolute.txt", dir / "real.txt", dir / "real.txt"},
      {"sub/relative.txt", "../real.txt", dir / "real.txt"},
      {"chain.txt", "sub/relative.txt", dir / "real.txt"},
      {"dangling.txt", "sub/new.txt", dir / "sub/new.txt"},
  };
  for (const Link& link : kLinks) {
    ASSERT_EQ(::symlink(link.to.c_str(), (dir / link.name).c_str()), 0) << link.name;
    std::string error;
    EXPECT_TRUE(writeFileAtomic(dir / link.name, "via " + link.name, &error)) << link.name << error;
    struct stat st{};
    ASSERT_EQ(::lstat((dir / link.name).c_str(), &st), 0) << link.name;
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << link.name << " is still a link";
    EXPECT_EQ(testing::readBytes(link.realFile), "via " + link.name) << link.name;
  }
  EXPECT_EQ(testing::listNames(dir / "sub"), (Names{"new.txt", "relative.txt"}));

  ASSERT_EQ(::symlink("loop.txt", (dir / "loop.txt").c_str()), 0);
  std::string error;
  EXPECT_FALSE(writeFileAtomic(dir / "loop.txt", "x", &error));
  EXPECT_FALSE(error.empty());

  const std::string pipe = dir / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = testing::readBytes(pipe); });
  EXPECT_TRUE(writeFileAtomic(pipe, "through the pipe", &error)) << error;
  reader.join();
  EXPECT_EQ(received, "through the pipe");
  struct stat st{};
  ASSERT_EQ(::lstat(pipe.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  testing::writeBytes(dir / "one.txt", "the shared contents, longer than the new");
  ASSERT_EQ(::link((dir / "one.txt").c_str(), (dir / "two.txt").c_str()), 0);
  struct stat before{};
  ASSERT_EQ(::stat((dir / "one.txt").c_str(), &before), 0);
  for (const std::string& contents : {std::string("short"), randomBytes(size_t{3} << 20, 5)}) {
    EXPECT_TRUE(writeFileAtomic(dir / "one.txt", contents, &error)) << error;
    EXPECT_EQ(testing::readBytes(dir / "two.txt"), contents);
    struct stat after{};
    ASSERT_EQ(::stat((dir / "two.txt").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
  }
  for (const std::string& name : testing::listNames(dir.path())) EXPECT_FALSE(isOwnTemporaryName(name)) << name;
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

}  // namespace
}  // namespace chengling
