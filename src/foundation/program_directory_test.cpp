#include "foundation/program_directory.h"

#include <gtest/gtest.h>
#include <stdlib.h>

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
      {"override wins over a portable copy", {"/data/home/", "/opt/app", true, "/xdg", "/home/u"}, "/data/home"},
      {"portable copy", {"", "/media/stick/app", true, "/xdg", "/home/u"}, "/media/stick/app"},
      {"installed copy", {"", "/usr/bin", false, "/xdg/", "/home/u"}, "/xdg/chengling"},
      {"no XDG folder", {"", "/usr/bin", false, "", "/home/u"}, "/home/u/.config/chengling"},
      {"relative XDG folder is ignored", {"", "/usr/bin", false, "cfg", "/home/u/"},
       "/home/u/.config/chengling"},
      {"portable copy at the root", {"", "/", true, "/xdg", "/home/u"}, "/"},
  };
  for (const Case& c : cases) EXPECT_EQ(resolveProgramDirectory(c.inputs), c.want) << c.name;
}

TEST(ProgramDirectory, ReadsThisProcess) {
  const testing::TempDir dir;  // the first one also sets CHENGLING_HOME
  const std::string home = getenv("CHENGLING_HOME");
  EXPECT_EQ(programDirectory(), home);

  // Without the override, this test binary's build folder (writable, but with no "portable" file
  // beside it) is not the answer: the user's configuration folder is.
  unsetenv("CHENGLING_HOME");
  const char* xdg = getenv("XDG_CONFIG_HOME");
  const std::string savedXdg = xdg ? xdg : "";
  setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  EXPECT_EQ(programDirectory(), dir / "chengling");
  if (xdg) {
    setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  setenv("CHENGLING_HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace chengling
