#include "foundation/file_collector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/path_helpers.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::TempDir;

std::vector<std::string> namesOf(const PathList& list, const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& path : list) {
    EXPECT_EQ(path.substr(0, folder.size() + 1), folder + "/") << path;
    names.push_back(path.substr(folder.size() + 1));
  }
  return names;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
  return text;
}

class ListFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"c.txt", "a.txt", "B.txt", "d.TXT", "e.htm", "f.html", "noext", "z.t?t",
                             "p.txt|q.htm", "_under.txt"}) {
      testing::writeBytes(dir_ / name, name);
    }
    testing::writeBytes(dir_ / "sub0.txt/inner.txt", "x");
    testing::writeBytes(dir_ / "Sub1/inner.txt", "x");
  }
  std::string folder() const { return dir_.path(); }
  TempDir dir_;
};

TEST_F(ListFolderTest, EachMatcherListsInNameOrderWithCaseIgnored) {
  struct Case {
    std::string_view patterns;
    ListingKind kind;
    Matcher matcher;
    std::string_view want;
  };
  constexpr auto F = ListingKind::Files;
  constexpr auto D = ListingKind::Folders;
  constexpr auto S = Matcher::Standard;
  constexpr auto A = Matcher::Alternative;
  const Case kCases[] = {
      {"*.txt", F, S, "_under.txt a.txt B.txt c.txt d.TXT"},
      {"*.txt|*.TXT", F, S, "_under.txt a.txt B.txt c.txt d.TXT _under.txt a.txt B.txt c.txt d.TXT"},
      {"", F, S, "_under.txt a.txt B.txt c.txt d.TXT e.htm f.html noext p.txt|q.htm z.t?t"},
      {"*.*", F, S, "_under.txt a.txt B.txt c.txt d.TXT e.htm f.html noext p.txt|q.htm z.t?t"},
      // Patterns list in their own order, not merged.
      {"*.htm|?.txt", F, S, "e.htm p.txt|q.htm a.txt B.txt c.txt d.TXT"},
      {"*.t?t", F, S, "_under.txt a.txt B.txt c.txt d.TXT z.t?t"},
      {"*.txt||", F, S, "_under.txt a.txt B.txt c.txt d.TXT"},
      {"*", D, S, "sub0.txt Sub1"},
      {"*.txt", D, S, "sub0.txt"},
      {"nothing*", F, S, ""},
      // The alternative matcher takes the whole list as one pattern.
      {"", F, A, "_under.txt a.txt B.txt c.txt d.TXT e.htm f.html noext p.txt|q.htm z.t?t"},
      {"*", F, A, "_under.txt a.txt B.txt c.txt d.TXT e.htm f.html noext p.txt|q.htm z.t?t"},
      {"*.*", F, A, "_under.txt a.txt B.txt c.txt d.TXT e.htm f.html noext p.txt|q.htm z.t?t"},
      {"*.txt|*.htm", F, A, "p.txt|q.htm"},
      {"*.TXT", F, A, "_under.txt a.txt B.txt c.txt d.TXT"},
      // "*." with no other star compares the end as text: "?" is just a character there.
      {"*.t?t", F, A, "z.t?t"},
      {"*.htm", F, A, "e.htm p.txt|q.htm"},
      {"*.HTM", F, A, "e.htm p.txt|q.htm"},
      {"?.txt", F, A, "a.txt B.txt c.txt d.TXT"},
      {"*", D, A, "sub0.txt Sub1"},
  };
  for (const Case& c : kCases) {
    PathList list;
    const int count = ListFolder(folder(), c.patterns, c.kind, false, c.matcher, list);
    EXPECT_EQ(joined(namesOf(list, folder())), c.want)
        << "patterns \"" << c.patterns << "\" kind " << int(c.kind) << " matcher " << int(c.matcher);
    EXPECT_EQ(count, static_cast<int>(list.size())) << c.patterns;
  }
}

TEST_F(ListFolderTest, AppendKeepsTheListAndAMissingFolderAddsNothing) {
  PathList list{"/kept"};
  EXPECT_EQ(ListFolder(folder() + "/", "a.txt", ListingKind::Files, true, Matcher::Standard, list), 2);
  EXPECT_EQ(list, (PathList{"/kept", folder() + "/a.txt"}));  // a trailing separator is not doubled

  EXPECT_EQ(ListFolder(folder() + "/missing", "*.*", ListingKind::Files, true, Matcher::Standard, list), 2);
  EXPECT_EQ(ListFolder(folder() + "/a.txt", "*.*", ListingKind::Files, true, Matcher::Standard, list), 2);
  EXPECT_EQ(ListFolder("", "*.*", ListingKind::Files, true, Matcher::Standard, list), 2);
  EXPECT_EQ(ListFolder(folder() + "/missing", "*.*", ListingKind::Files, false, Matcher::Alternative, list), 0);
  EXPECT_TRUE(list.empty());
}

TEST(ListFolder, NumberedPiecesComeInNameOrder) {
  TempDir dir;
  for (int i = 12; i >= 1; --i) testing::writeBytes(dir / ("book_" + std::to_string(i) + ".txt"), "x");
  PathList list;
  ListFolder(dir.path(), "book_*.txt", ListingKind::Files, false, Matcher::Standard, list);
  EXPECT_EQ(joined(namesOf(list, dir.path())),
            "book_1.txt book_10.txt book_11.txt book_12.txt book_2.txt book_3.txt book_4.txt "
            "book_5.txt book_6.txt book_7.txt book_8.txt book_9.txt");
}

// A temporary file left by a killed run is nobody's input: listings pass it by, whatever the pattern,
// while a name that only looks similar is listed.
TEST(ListFolder, SkipsTheProgramsOwnTemporaryFiles) {
  TempDir dir;
  testing::writeBytes(dir / "book.txt", "kept");
  testing::writeBytes(dir / ".book.txt.k3x9q2ab.chengling.tmp", "half written");
  testing::writeBytes(dir / ".notes.chengling.tmp", "not ours: no random part");
  testing::writeBytes(dir / ".book.txt.k3x9q2ab.tmp", "not ours: another program's");
  for (const char* patterns : {"*.*", "*", "*.tmp|*.txt"}) {
    PathList list;
    ListFolder(dir.path(), patterns, ListingKind::Files, false, Matcher::Standard, list);
    for (const std::string& path : list) EXPECT_EQ(path.find("k3x9q2ab.chengling"), std::string::npos) << patterns;
    EXPECT_NE(std::find(list.begin(), list.end(), dir / ".notes.chengling.tmp"), list.end()) << patterns;
  }
  AtomicFile file;
  ASSERT_TRUE(file.open(dir / "new.txt"));
  PathList during;
  ListFolder(dir.path(), "*", ListingKind::Files, false, Matcher::Standard, during);
  EXPECT_EQ(during.size(), 3u) << "the open temporary file is not listed either";
}

TEST(ListFolder, ChineseNamesAreListedAsInternalText) {
  TempDir dir;
  testing::writeBytes(dir / std::string(reinterpret_cast<const char*>(u8"归类前文件路径.txt")), "x");
  testing::writeBytes(dir / std::string(reinterpret_cast<const char*>(u8"表格.csv")), "x");
  PathList list;
  ListFolder(dir.path(), "*.txt|??.csv", ListingKind::Files, false, Matcher::Standard, list);
  EXPECT_EQ(namesOf(list, dir.path()), (std::vector<std::string>{"归类前文件路径.txt", "表格.csv"}));
}

TEST(ListFolder, NameThatIsNotUtf8IsListedReadWrittenAndRenamed) {
  TempDir dir;
  testing::writeBytes(dir / "\xff\xfe.txt", "original");
  testing::writeBytes(dir / "plain.txt", "other");
  PathList list;
  ListFolder(internalFromNative(dir.path()), "*.txt", ListingKind::Files, false, Matcher::Standard, list);
  ASSERT_EQ(list.size(), 2u);
  const std::string& odd = list[0] == internalFromNative(dir / "plain.txt") ? list[1] : list[0];

  std::string bytes;
  ASSERT_TRUE(readWholeFile(odd, bytes));
  EXPECT_EQ(bytes, "original");
  ASSERT_TRUE(writeFileAtomic(odd, "rewritten"));
  EXPECT_EQ(testing::readBytes(dir / "\xff\xfe.txt"), "rewritten");

  const std::string renamed = joinPath(PathDirectory(odd), PathBaseName(odd) + "-2." + PathExtension(odd));
  std::string error;
  ASSERT_TRUE(renamePath(odd, renamed, false, &error)) << error;
  EXPECT_EQ(testing::listNames(dir.path()), (std::vector<std::string>{"plain.txt", "\xff\xfe-2.txt"}));
  EXPECT_EQ(testing::readBytes(dir / "\xff\xfe-2.txt"), "rewritten");
}

TEST(WildcardMatch, StarsQuestionMarksAndCase) {
  struct Case {
    std::string_view name, pattern;
    bool want;
  };
  const Case kCases[] = {
      {"a.txt", "*.txt", true},       {"A.TXT", "*.txt", true},        {"a.txt", "*.TXT", true},
      {"a.txt.bak", "*.txt", false},  {"noext", "*.*", true},          {"noext", "*.", false},
      {"a.b", "*.*", true},           {"", "*", true},                 {"", "?", false},
      {"a", "", false},               {"", "", true},                  {"abc", "a?c", true},
      {"ac", "a?c", false},           {"abc", "a*", true},             {"aXbXc", "*X*c", true},
      {"aXbXd", "*X*c", false},       {"mississippi", "*sip*", true},  {"abc", "*d", false},
      {"abc", "**c", true},           {"abc", "a**?", true},           {"abcd", "a*c", false},
      // Double-byte characters count as one for "?" and are never case-folded.
      {"归类.txt", "??.txt", true},   {"归类.txt", "?.txt", false},    {"归类.txt", "???.txt", false},
      {"归类.txt", "归*", true},      {"归类.txt", "*类.TXT", true},   {"归类.txt", "类*", false},
      {"\x81\x41", "?", true},        {"\x81\x41", "??", false},       {"\x81\x41", "\x81\x61", false},
      {"\x81\x41" "A", "\x81\x41" "a", true},
      // A trail byte that looks like "a" must not match a single "a" after "?".
      {"\x81" "a", "?a", false},
      // A GB18030 four-byte character is one character as well.
      {"\x81\x30\x81\x30" "x", "?x", true},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(wildcardMatch(c.name, c.pattern), c.want) << "\"" << c.name << "\" ~ \"" << c.pattern << "\"";
  }
}

TEST(NameLess, AgreesWithFoldedThenBytewiseOrder) {
  struct Case {
    std::string_view a, b;
    bool want;
  };
  constexpr Case kCases[] = {
      {"a.txt", "B.txt", true}, {"B.txt", "c.txt", true},  {"B.txt", "b.txt", true},
      {"b.txt", "B.txt", false}, {"book_1", "book_10", true}, {"book_12", "book_2", true},
      {"_x", "a", true},         {"Z", "_", false},          {"a", "a", false},
      // Trail bytes are compared as bytes, not folded: 0x81 0x41 ("A") before 0x81 0x5B.
      {"\x81\x41", "\x81\x5b", true},
  };
  for (const Case& c : kCases) EXPECT_EQ(nameLess(c.a, c.b), c.want) << c.a << " < " << c.b;

  // An independent order: the folded texts, then the raw bytes.
  std::mt19937 random(7);
  const std::string alphabet[] = {"a", "A", "b", "B", "_", "[", "1", "归", "类", "\x81\x41", "\x81\x61", "."};
  std::vector<std::string> names(400);
  for (std::string& name : names) {
    const int length = static_cast<int>(random() % 5);
    for (int i = 0; i < length; ++i) name += alphabet[random() % std::size(alphabet)];
  }
  for (size_t i = 0; i + 1 < names.size(); ++i) {
    const std::string& a = names[i];
    const std::string& b = names[i + 1];
    const std::string fa = asciiLower(a);
    const std::string fb = asciiLower(b);
    EXPECT_EQ(nameLess(a, b), fa != fb ? fa < fb : a < b) << a << " / " << b;
  }
}

TEST(PathListText, CutsAtLineBreaksAndJoinsWithCrLf) {
  struct Case {
    std::string_view text;
    std::vector<std::string> want;
  };
  const Case kCases[] = {
      {"", {}},
      {"/a/1.txt", {"/a/1.txt"}},
      {"/a/1.txt\r\n/a/2.txt", {"/a/1.txt", "/a/2.txt"}},
      {"/a/1.txt\r\n", {"/a/1.txt"}},
      {"/a/1.txt\r\n\r\n/a/2.txt", {"/a/1.txt", "", "/a/2.txt"}},
      {"/a/1.txt\r\n\r\n", {"/a/1.txt", ""}},
      {"/a/1.txt\n/a/2.txt\n", {"/a/1.txt", "/a/2.txt"}},
      {"\r\n", {""}},
      {"/归类/文件.txt\r\n/b", {"/归类/文件.txt", "/b"}},
  };
  for (const Case& c : kCases) EXPECT_EQ(pathListFromText(c.text), c.want) << c.text;

  EXPECT_EQ(pathListToText({}), "");
  EXPECT_EQ(pathListToText({"/a/1.txt"}), "/a/1.txt");
  EXPECT_EQ(pathListToText({"/a/1.txt", "", "/a/2.txt"}), "/a/1.txt\r\n\r\n/a/2.txt");
  for (std::string_view text : {"/a\r\n\r\n/b", "/x/归类.txt\r\n/y", "\r\n/a"}) {
    EXPECT_EQ(pathListToText(pathListFromText(text)), text);
  }
}

TEST(ListFileLines, CutAtLfAndDropTheCrOfABreakOrOfTheLastLine) {
  struct Case {
    std::string_view bytes;
    std::vector<std::string> want;
  };
  const Case kCases[] = {
      {"", {}},
      {"\r\n", {""}},
      {"a\r\nb\n", {"a", "b"}},
      {"a\r", {"a"}},
      {"a\n\r", {"a", ""}},
      {"a\r\r\n", {"a\r"}},
      {"a\rb", {"a\rb"}},
  };
  for (const Case& c : kCases) EXPECT_EQ(listFileLines(c.bytes), c.want) << c.bytes;
}

}  // namespace
}  // namespace chengling
