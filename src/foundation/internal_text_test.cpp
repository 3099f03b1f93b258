#include "foundation/internal_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace chengling {
namespace {

using Pieces = std::vector<std::string>;

TEST(SplitText, KeepsInnerEmptyPiecesAndDropsTheTrailingOne) {
  struct Case {
    std::string text;
    std::string separator;
    Pieces want;
  };
  const Case kCases[] = {
      {"", "\r\n", {}},
      {"a", "\r\n", {"a"}},
      {"a\r\nb", "\r\n", {"a", "b"}},
      {"a\r\nb\r\n", "\r\n", {"a", "b"}},
      {"a\r\n\r\nb", "\r\n", {"a", "", "b"}},
      {"\r\n", "\r\n", {""}},
      {"\r\n\r\n", "\r\n", {"", ""}},
      {"###a###b###", "###", {"", "a", "b"}},
      {"abc", "", {"abc"}},
  };
  for (const Case& c : kCases) EXPECT_EQ(splitText(c.text, c.separator), c.want) << c.text;
}

TEST(ReplaceAll, IsLeftToRightNonOverlappingAndCaseSensitive) {
  EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(replaceAll("aAa", "a", "x"), "xAx");
  EXPECT_EQ(replaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(replaceAll("中文中", "中", "人"), "人文人");
  EXPECT_EQ(replaceAll("", "a", "b"), "");
}

TEST(NumberToText, PrintsIntegersPlainAndOthersWithThirteenSignificantDigits) {
  struct Case {
    double value;
    std::string want;
  };
  const Case kCases[] = {
      {0, "0"},           {42, "42"},         {-7, "-7"},           {3350074368.0, "3350074368"},
      {1.5, "1.5"},       {0.1, "0.1"},       {117.7375, "117.7375"}, {1.0 / 3, "0.3333333333333"},
      {2.0 / 3, "0.6666666666667"}, {-0.25, "-0.25"}, {123456.789, "123456.789"},
  };
  for (const Case& c : kCases) EXPECT_EQ(numberToText(c.value), c.want) << c.value;
  EXPECT_EQ(numberToText(int64_t{-9007199254740993}), "-9007199254740993");
}

TEST(TextToInteger, ReadsSignAndDigitsIncludingFullWidthAndWraps) {
  struct Case {
    std::string text;
    int32_t want;
  };
  const Case kCases[] = {
      {"", 0},
      {"abc", 0},
      {"  42abc", 42},
      {"-17", -17},
      {"+5", 5},
      {"１２３", 123},
      {"－１２", -12},
      {"＋７x", 7},
      {"　 ９", 9},
      {"12.9", 12},
      {"2147483647", 2147483647},
      {"2147483648", -2147483647 - 1},
      {"4294967297", 1},
      {"- 5", 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(textToInteger(c.text), c.want) << c.text;
}

TEST(RoundTo, RoundsHalvesAwayFromZeroWithTheSmallNudge) {
  struct Case {
    double value;
    int decimals;
    double want;
  };
  const Case kCases[] = {
      {1.5, 0, 2}, {2.5, 0, 3}, {-2.5, 0, -3}, {1.4999999999999, 0, 2}, {1.49, 0, 1},
      {117.7375, 2, 117.74}, {1.005, 2, 1.01}, {-1.234, 1, -1.2}, {0, 3, 0},
  };
  for (const Case& c : kCases) EXPECT_DOUBLE_EQ(roundTo(c.value, c.decimals), c.want) << c.value;
}

TEST(CharacterRule, CountsDoubleByteAndCrLfAsOne) {
  struct Case {
    std::string text;
    int64_t count;
  };
  const Case kCases[] = {
      {"", 0},       {"abc", 3},          {"中文", 2},   {"a\r\nb", 3},
      {"a\rb\nc", 5}, {"\n\r", 2},          {"中\r\n文x", 4}, {std::string("\x81", 1), 1},
  };
  for (const Case& c : kCases) EXPECT_EQ(CharCount(c.text), c.count) << c.text;
}

TEST(FirstChars, CutsByCharactersNeverInsideOne) {
  const std::string chinese = "中文字";  // six bytes
  struct Case {
    std::string text;
    int64_t n;
    std::string want;
  };
  const Case kCases[] = {
      {chinese, 2, "中文"},   {chinese, 0, ""},      {chinese, 5, chinese}, {chinese, -1, "中文"},
      {chinese, -3, ""},      {chinese, -9, ""},     {"a\r\nb", 2, "a\r\n"}, {"a\r\nb", -1, "a\r\n"},
      {"a中b", 2, "a中"},
  };
  for (const Case& c : kCases) EXPECT_EQ(FirstChars(c.text, c.n), c.want) << c.text << " " << c.n;
  EXPECT_EQ(FirstChars(chinese, 2).size(), 4u);
}

TEST(SanitizeFileName, ReplacesReservedCharactersByFullWidthForms) {
  EXPECT_EQ(SanitizeFileName("a:b?c", false, false), "a：b？c");
  EXPECT_EQ(SanitizeFileName("\\/:*?|<>", false, false), "＼／：＊？｜＜＞");
  EXPECT_EQ(SanitizeFileName("a\"b\r\nc\rd\ne\tf", false, false), "abcdef");
  EXPECT_EQ(SanitizeFileName("  x  ", false, true), "x");
  EXPECT_EQ(SanitizeFileName("  x  ", false, false), "  x  ");
  EXPECT_EQ(SanitizeFileName("   ", false, true), "");
}

TEST(SanitizeFileName, LeavesTrailBytesThatLookLikeReservedCharacters) {
  // 乗 is 81 5C and 乗's neighbour 亅 is 81 7C in GBK: their trail bytes are "\" and "|".
  const std::string text = "\x81\x5C\x81\x7C";
  EXPECT_EQ(SanitizeFileName(text, false, false), text);
}

TEST(SanitizeFileName, AStrayLeadByteLetsNoSeparatorThrough) {
  struct Case { std::string text; std::string want; };
  const Case kCases[] = {
      {"X\x81/..\x81/ESC", "X\x81／..\x81／ESC"},
      {"\x81:\xFE*\x90?", "\x81：\xFE＊\x90？"},
      {"a\x81\r\nb\xA0\"", "a\x81" "b\xA0"},
      {"\x81\x30\x81\x30", "\x81\x30\x81\x30"},  // a four-byte character stays whole
  };
  for (const Case& c : kCases) EXPECT_EQ(SanitizeFileName(c.text, false, false), c.want) << c.text;
}

TEST(SanitizeFileName, CutKeepsTwoHundredCharacters) {
  std::string text;
  for (int i = 0; i < 150; ++i) text += "中a";
  const std::string cut = SanitizeFileName(text, true, false);
  EXPECT_EQ(CharCount(cut), 200);
  EXPECT_EQ(cut, FirstChars(text, 200));
}

TEST(FindIgnoringCase, FoldsAsciiOnlyAndStaysOnCharacterBoundaries) {
  EXPECT_EQ(findIgnoringCase("<HEAD><Meta", "<meta"), 6u);
  EXPECT_EQ(findIgnoringCase("abc", "d"), std::string_view::npos);
  EXPECT_EQ(findIgnoringCase("abcabc", "ABC", 1), 3u);
  // "\x81\x41" holds the byte "A" as its trail: a search for "a" must not land inside it.
  EXPECT_EQ(findIgnoringCase("\x81\x41x", "a"), std::string_view::npos);
  EXPECT_EQ(findIgnoringCase("\x81\x41x", "X"), 2u);
  EXPECT_EQ(asciiLower("AbC\x81\x41"), "abc\x81\x41");
}

}  // namespace
}  // namespace chengling
