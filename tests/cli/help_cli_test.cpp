// The command line as a user meets it first: help, version, and usage errors.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace chengling::testing {
namespace {

const std::string kCli = CHENGLING_CLI;

TEST(CliHelp, ListsTheSixToolsAndTheVersionFlag) {
  std::string out;
  ASSERT_EQ(runCommand(kCli + " --help", &out), 0);
  for (const char* tool : {"split", "merge", "transcode", "classify", "csv", "resolve"}) {
    EXPECT_NE(out.find(std::string("  ") + tool), std::string::npos) << tool << " missing in\n" << out;
  }
  EXPECT_NE(out.find("--version"), std::string::npos);
  // The terminal speaks UTF-8, not the internal encoding.
  const std::u8string title = u8"澄岭工具箱的命令行";
  EXPECT_NE(out.find(reinterpret_cast<const char*>(title.c_str())), std::string::npos) << out;
}

TEST(CliHelp, VersionPrintsTheProductVersion) {
  std::string out;
  ASSERT_EQ(runCommand(kCli + " --version", &out), 0);
  EXPECT_NE(out.find("1.0.0.0"), std::string::npos) << out;
}

TEST(CliHelp, UsageErrorsExitWithTwo) {
  EXPECT_EQ(runCommand(kCli + " 2>/dev/null"), 2);
  EXPECT_EQ(runCommand(kCli + " no-such-tool 2>/dev/null"), 2);
  EXPECT_EQ(runCommand(kCli + " --no-such-flag 2>/dev/null"), 2);
}

}  // namespace
}  // namespace chengling::testing
