#include "foundation/path_helpers.h"

#include <gtest/gtest.h>

#include <string_view>

namespace chengling {
namespace {

TEST(PathHelpers, SplitAPathIntoItsParts) {
  struct Case {
    std::string_view path, fileName, directory, baseName, extension;
  };
  constexpr Case kCases[] = {
      {"/C/a/b.c.txt", "b.c.txt", "/C/a", "b.c", "txt"},
      {"/C/a/readme", "readme", "/C/a", "readme", ""},
      // A dot in a folder name is not an extension of the file.
      {"/C/a.d/readme", "readme", "/C/a.d", "readme", ""},
      {"b.c.txt", "b.c.txt", "", "b.c", "txt"},
      {"/C/a/", "", "/C/a", "", ""},
      {"/top.txt", "top.txt", "", "top", "txt"},
      {"/C/a/.hidden", ".hidden", "/C/a", "", "hidden"},
      {"/C/a/name.", "name.", "/C/a", "name", ""},
      {"", "", "", "", ""},
      // Double-byte names: the bytes of a character never count as a separator or a dot.
      {"/文件/归类前文件路径.txt", "归类前文件路径.txt", "/文件", "归类前文件路径", "txt"},
      {"/数据/表格", "表格", "/数据", "表格", ""},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(PathFileName(c.path), c.fileName) << c.path;
    EXPECT_EQ(PathDirectory(c.path), c.directory) << c.path;
    EXPECT_EQ(PathBaseName(c.path), c.baseName) << c.path;
    EXPECT_EQ(PathExtension(c.path), c.extension) << c.path;
  }
}

TEST(PathHelpers, JoinWithExactlyOneSeparator) {
  struct Case {
    std::string_view base, name, joined;
  };
  constexpr Case kCases[] = {
      {"/C/a", "b.txt", "/C/a/b.txt"},   {"/C/a/", "b.txt", "/C/a/b.txt"},
      {"/C/a", "/b.txt", "/C/a/b.txt"},  {"/C/a/", "//b.txt", "/C/a/b.txt"},
      {"", "b.txt", "b.txt"},            {"/", "b.txt", "/b.txt"},
      {"/C/a", "x/y.txt", "/C/a/x/y.txt"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(joinPath(c.base, c.name), c.joined) << c.base << " + " << c.name;
  }
  EXPECT_EQ(withTrailingSeparator("/C/a"), "/C/a/");
  EXPECT_EQ(withTrailingSeparator("/C/a/"), "/C/a/");
  EXPECT_EQ(withTrailingSeparator(""), "");
}

TEST(AbsolutePath, ResolvesAgainstTheCurrentFolder) {
  struct Case { const char* path; const char* here; const char* want; };
  const Case kCases[] = {
      {"a.txt", "/home/u", "/home/u/a.txt"}, {"./x/../b/", "/home/u", "/home/u/b"},
      {"/abs//c.txt", "/home/u", "/abs/c.txt"}, {".", "/home/u", "/home/u"},
      {"../..", "/home", "/"}, {"书/名.txt", "/中", "/中/书/名.txt"},
  };
  for (const Case& c : kCases) EXPECT_EQ(absolutePath(c.path, c.here), c.want) << c.path;
}

}  // namespace
}  // namespace chengling
