#include "foundation/held_record.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace chengling {
namespace {

using testing::listNames;
using testing::TempDir;
using testing::writeBytes;

std::vector<std::string> leftContents(const std::string& folder, bool remove) {
  std::vector<std::string> seen;
  visitLeftRecords(folder, [&](std::string_view content) {
    seen.emplace_back(content);
    return remove;
  });
  return seen;
}

// A record is left for a later run only once the run that holds it is gone, and goes only when the
// run that finishes it says so.
TEST(HeldRecord, IsLeftOnlyWhenItsHolderIsGoneWithoutRemovingIt) {
  const TempDir dir;
  const std::string folder = dir / "records";
  {
    HeldRecord done;
    ASSERT_TRUE(done.create(folder, "done"));
    HeldRecord live;
    ASSERT_TRUE(live.create(folder, std::string("live\0\n", 6)));
    EXPECT_TRUE(live.held());
    EXPECT_EQ(leftContents(folder, true), std::vector<std::string>{}) << "both are held";
    EXPECT_EQ(listNames(folder).size(), 2u);
    done.remove();
    EXPECT_FALSE(done.held());
    EXPECT_EQ(listNames(folder).size(), 1u);
  }
  // The holder of "live" went without removing it, as a killed run would.
  EXPECT_EQ(leftContents(folder, false), std::vector<std::string>{std::string("live\0\n", 6)});
  EXPECT_EQ(leftContents(folder, true), std::vector<std::string>{std::string("live\0\n", 6)});
  EXPECT_EQ(listNames(folder), std::vector<std::string>{});
}

TEST(HeldRecord, ARecordItsWriterLeftUnfinishedIsNeverReadAndGoesWhenOld) {
  const TempDir dir;
  const std::string folder = dir / "records";
  writeBytes(folder + "/.fresh.writing", "half");
  writeBytes(folder + "/.old.writing", "half");
  const timespec old[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (folder + "/.old.writing").c_str(), old, 0), 0);
  writeBytes(folder + "/other.txt", "not a record");
  EXPECT_EQ(leftContents(folder, true), std::vector<std::string>{});
  EXPECT_EQ(listNames(folder), (std::vector<std::string>{".fresh.writing", "other.txt"}));
}

TEST(HeldRecord, ARecordThatCannotBeWrittenSaysWhy) {
  const TempDir dir;
  writeBytes(dir / "file", "x");
  HeldRecord record;
  std::string error;
  EXPECT_FALSE(record.create(dir / "file/records", "x", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(record.held());
}

}  // namespace
}  // namespace chengling
