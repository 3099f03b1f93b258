#include "foundation/program_directory.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "support/test_support.h"

namespace chengling {
namespace {

TEST(ProgramDirectory, FollowsTheOrderOfChoice) {
  struct Case {
    const char* name;
    ProgramDirectoryInputs inputs;
    std::string want;
  };
  const Case cases[] = {
      {"override wins", {"/data/home/", "/opt/app", true, "/xdg", "/home/u"}, "/data/home"},
      {"writable executable folder", {"", "/opt/app", true, "/xdg", "/home/u"}, "/opt/app"},
      {"read-only executable folder", {"", "/usr/bin", false, "/xdg/", "/home/u"}, "/xdg/chengling"},
      {"no XDG folder", {"", "/usr/bin", false, "", "/home/u"}, "/home/u/.config/chengling"},
      {"relative XDG folder is ignored", {"", "/usr/bin", false, "cfg", "/home/u/"},
       "/home/u/.config/chengling"},
  };
  for (const Case& c : cases) EXPECT_EQ(resolveProgramDirectory(c.inputs), c.want) << c.name;
}

TEST(ProgramDirectory, ReadsThisProcess) {
  const testing::TempDir dir;  // the first one also sets CHENGLING_HOME
  const std::string home = getenv("CHENGLING_HOME");
  EXPECT_EQ(programDirectory(), home);

  // Without the override, this test binary's folder (a writable build folder) is the answer.
  unsetenv("CHENGLING_HOME");
  char exe[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  std::string folder(exe);
  folder.resize(folder.rfind('/'));
  EXPECT_EQ(programDirectory(), folder);
  setenv("CHENGLING_HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace chengling
