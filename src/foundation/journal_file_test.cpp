#include "foundation/journal_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/test_support.h"

namespace chengling {
namespace {

using testing::TempDir;

TEST(JournalFile, AppendsRestartsAndRemoves) {
  const TempDir dir;
  const std::string path = dir / "journal.txt";
  JournalFile journal;
  EXPECT_EQ(journal.open(path, false), JournalFile::Open::Missing);
  EXPECT_FALSE(testing::exists(path));
  ASSERT_EQ(journal.open(path, true), JournalFile::Open::Opened);
  ASSERT_TRUE(journal.append("one\n"));
  ASSERT_TRUE(journal.append("two\n"));
  EXPECT_EQ(testing::readBytes(path), "one\ntwo\n") << "each append is in the file at once";
  ASSERT_TRUE(journal.restart("fresh\n"));
  ASSERT_TRUE(journal.append("three\n"));
  std::string bytes;
  ASSERT_TRUE(journal.read(bytes));
  EXPECT_EQ(bytes, "fresh\nthree\n");

  // A second holder, in this process too, is turned away until the first lets go.
  JournalFile other;
  EXPECT_EQ(other.open(path, true), JournalFile::Open::Busy);
  journal.close();
  ASSERT_EQ(other.open(path, false), JournalFile::Open::Opened);
  ASSERT_TRUE(other.read(bytes));
  EXPECT_EQ(bytes, "fresh\nthree\n");
  ASSERT_TRUE(other.remove());
  EXPECT_FALSE(other.isOpen());
  EXPECT_FALSE(testing::exists(path));
  EXPECT_FALSE(other.append("x"));

  std::string error;
  EXPECT_EQ(journal.open(dir / "missing/journal.txt", true, &error), JournalFile::Open::Failed);
  EXPECT_EQ(error, "文件不存在");
}

// What a killed writer appended is all there, and its lock goes with it.
TEST(JournalFile, AKilledWriterLeavesEveryAppendAndNoLock) {
  const TempDir dir;
  const std::string path = dir / "journal.txt";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    JournalFile journal;
    if (journal.open(path, true) != JournalFile::Open::Opened) _exit(1);
    for (int i = 0; i < 1000; ++i) {
      if (!journal.append("record " + std::to_string(i) + "\n")) _exit(1);
    }
    if (::write(ready[1], "x", 1) != 1) _exit(1);
    ::pause();
    _exit(0);
  }
  ::close(ready[1]);
  char signal = 0;
  ASSERT_EQ(::read(ready[0], &signal, 1), 1);
  ::close(ready[0]);
  JournalFile journal;
  EXPECT_EQ(journal.open(path, false), JournalFile::Open::Busy) << "the writer is alive";
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(journal.open(path, false), JournalFile::Open::Opened);
  std::string bytes;
  ASSERT_TRUE(journal.read(bytes));
  std::string want;
  for (int i = 0; i < 1000; ++i) want += "record " + std::to_string(i) + "\n";
  EXPECT_EQ(bytes, want);
}

}  // namespace
}  // namespace chengling
