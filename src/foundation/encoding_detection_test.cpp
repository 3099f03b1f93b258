#include "foundation/encoding_detection.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/test_support.h"

// Plain "..." literals here are internal text (GB18030); u8"..." literals are UTF-8 bytes.
namespace chengling {
namespace {

using testing::hex;
using testing::utf8;

TEST(LooksLikeUtf8, FollowsTheTwoAndThreeByteForms) {
  struct Case {
    std::string bytes;
    bool want;
  };
  const Case kCases[] = {
      {"", false},
      {"only ascii here", false},
      {utf8(u8"中"), true},
      {utf8(u8"é"), true},
      {"\xC0\x80", true},       // overlong forms are not examined
      {"\xED\xA0\x80", true},   // nor surrogates
      {utf8(u8"😀"), false},     // four-byte forms answer false
      {utf8(u8"中").substr(0, 2), false},
      {"abc\xE4", false},
      {"\x80", false},
      {"\xC3", false},
      {utf8(u8"中") + "0123456789abcdef" + "\xFF", false},
      {"0123456789abcdef" + utf8(u8"中") + "0123456789", true},
      {"中文", false},  // GBK text
  };
  for (const Case& c : kCases) EXPECT_EQ(LooksLikeUtf8(c.bytes), c.want) << hex(c.bytes);
}

// The walk exactly as stated, one byte at a time: the reference for the vectorised check.
bool walkLooksLikeUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  bool high = false;
  for (size_t i = 0; i < n;) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    high = true;
    if (i + 1 < n && (p[i] & 0xE0) == 0xC0 && (p[i + 1] & 0xC0) == 0x80) {
      i += 2;
    } else if (i + 2 < n && (p[i] & 0xF0) == 0xE0 && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80) {
      i += 3;
    } else {
      return false;
    }
  }
  return high;
}

TEST(LooksLikeUtf8, AgreesWithTheByteByByteWalk) {
  std::mt19937 random(5);
  const std::string pieces[] = {"a", "0123456789abcdef", utf8(u8"中"), utf8(u8"é"), "\xE4", "\xB8", "\xC3", "\xF0", "\xFF", "\x80"};
  int utf8Answers = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    const int count = static_cast<int>(random() % 40);
    // Mostly well-formed pieces, so that both answers come up often.
    for (int k = 0; k < count; ++k) text += pieces[random() % 10 < 8 ? random() % 4 : random() % std::size(pieces)];
    const bool want = walkLooksLikeUtf8(text);
    utf8Answers += want;
    ASSERT_EQ(LooksLikeUtf8(text), want) << hex(text);
  }
  EXPECT_GT(utf8Answers, 2000);
  // Long texts: an error far from the start, and a form cut off right at the end.
  std::string longText;
  for (int i = 0; i < 100000; ++i) longText += i % 7 == 0 ? "x" : utf8(u8"文");
  EXPECT_TRUE(LooksLikeUtf8(longText));
  EXPECT_FALSE(LooksLikeUtf8(longText + "\xE6\x96"));
  EXPECT_FALSE(LooksLikeUtf8(longText + "\xE6\x96\x87\xF0\x9F\x98\x80" + longText));
}

TEST(DetectHtmlCharset, FindsTheFirstDeclaringMetaTag) {
  struct Case {
    std::string text;
    int want;
  };
  const Case kCases[] = {
      {"", 0},
      {"<meta charset=UTF-8>", 1},
      {"<META CHARSET=\"utf-8\">", 1},
      {"<meta charset='UTF-8'>", 1},
      {"<meta charset=Big5>", 2},
      {"<meta charset=\"Big5\">", 2},
      {"<meta charset=big5-hkscs>", 3},
      {"<meta charset='Big5-HKSCS'>", 3},
      {"<meta charset=gb2312>", 0},
      {"<meta charset = UTF-8>", 0},
      {"<head><meta charset=big5></head><meta charset=utf-8>", 2},
      {"<head></head><meta charset=utf-8>", 1},  // an empty head section: the whole text
      {"<head><title>x</title></head><meta charset=utf-8>", 0},
      {"<head><meta charset=utf-8>", 1},  // no end of the head: the whole text
      {"<meta name=x><meta charset=big5>", 2},
      {"<meta><meta charset=big5>", 0},  // an empty fragment ends the walk
      {"<meta charset=big5", 0},
      {"<meta http-equiv=refresh><meta charset=big5><meta charset=utf-8>", 2},
      {"<head lang=zh><meta charset=utf-8></head>", 1},
  };
  for (const Case& c : kCases) EXPECT_EQ(DetectHtmlCharset(c.text), c.want) << c.text;
}

TEST(ContainsPatterns, MatchesAnyOrAllIgnoringAsciiCase) {
  struct Case {
    std::string text;
    std::string patterns;
    bool any;
    bool want;
  };
  const Case kCases[] = {
      {"Charset=\"UTF-8\"", "charset=''utf-8''", true, true},
      {"charset=utf-8", "x[fg]CHARSET=UTF-8", true, true},
      {"charset=utf-8", "x[fg]CHARSET=UTF-8", false, false},
      {"abc def", "ABC[fg]Def", false, true},
      {"abc", "[fg]zzz", true, true},  // an empty part matches any text
      {"abc", "", true, false},        // an empty list has no parts
      {"abc", "", false, true},
      {"中文abc", "文A", true, true},
      {"\x81" "charset=utf-8", "charset=utf-8", true, false},  // 0x81 0x63 is one character
      {"\x81\x81" "charset=utf-8", "charset=utf-8", true, true},
      {"\x81" "cc", "c", true, true},
      {"\x81" "C", "c", true, false},
      {"a\x81" "\x81\x81" "c", "c", true, false},
  };
  for (const Case& c : kCases) EXPECT_EQ(ContainsPatterns(c.text, c.patterns, c.any), c.want) << hex(c.text) << " / " << c.patterns;
}

}  // namespace
}  // namespace chengling
