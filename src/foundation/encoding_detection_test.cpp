#include "foundation/encoding_detection.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "foundation/charset_conversion.h"
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

// Texts that have no mark, no declaration and are no UTF-8: GBK unless the bytes show BIG5 or UTF-16.
namespace guess {

const char8_t kSimplified[] =
    u8"我们今天下午去图书馆借了几本关于历史的书，回来的路上下起了大雨。"
    u8"这个问题其实并不复杂，只要把文件的编码弄清楚，就能正确地显示内容。"
    u8"他说明天会把会议的记录整理好，发给每一位参加的同事。";
const char8_t kTraditional[] =
    u8"我們今天下午去圖書館借了幾本關於歷史的書，回來的路上下起了大雨。"
    u8"這個問題其實並不複雜，只要把文件的編碼弄清楚，就能正確地顯示內容。"
    u8"他說明天會把會議的記錄整理好，發給每一位參加的同事。";

// The first `count` characters of a UTF-8 text.
std::string firstCharacters(std::u8string_view text, size_t count) {
  const std::string bytes = utf8(text);
  size_t at = 0;
  for (size_t n = 0; n < count && at < bytes.size(); ++n) {
    at += (static_cast<unsigned char>(bytes[at]) >= 0xE0) ? 3 : (static_cast<unsigned char>(bytes[at]) >= 0xC0 ? 2 : 1);
  }
  return bytes.substr(0, at);
}

std::string encoded(const std::string& utf8Text, const char* charset) {
  return ConvertCharset(utf8Text, "UTF-8", charset);
}

const char* name(UnmarkedGuess guess) {
  switch (guess) {
    case UnmarkedGuess::Gbk: return "GBK";
    case UnmarkedGuess::Big5: return "BIG5";
    case UnmarkedGuess::Utf16Le: return "UTF-16LE";
    case UnmarkedGuess::Utf16Be: return "UTF-16BE";
  }
  return "?";
}

}  // namespace guess

// Each encoding at each length, in running text and in text that is mostly ASCII.
TEST(GuessUnmarkedEncoding, ReadsEachEncodingAtEachLength) {
  struct Encoding {
    const char* charset;
    bool traditional;
    UnmarkedGuess want;
  };
  const Encoding kEncodings[] = {
      {"GBK", false, UnmarkedGuess::Gbk},         {"GB18030", false, UnmarkedGuess::Gbk},
      {"GBK", true, UnmarkedGuess::Gbk},  // traditional characters in GBK stay GBK
      {"BIG5", true, UnmarkedGuess::Big5},        {"UTF-16LE", false, UnmarkedGuess::Utf16Le},
      {"UTF-16BE", false, UnmarkedGuess::Utf16Be}, {"UTF-16LE", true, UnmarkedGuess::Utf16Le},
      {"UTF-16BE", true, UnmarkedGuess::Utf16Be},
  };
  for (const Encoding& e : kEncodings) {
    const std::u8string_view text = e.traditional ? guess::kTraditional : guess::kSimplified;
    for (size_t length : {8, 16, 32, 64}) {
      const std::string sample = guess::firstCharacters(text, length);
      const std::string bytes = guess::encoded(sample, e.charset);
      EXPECT_STREQ(guess::name(GuessUnmarkedEncoding(bytes)), guess::name(e.want))
          << e.charset << (e.traditional ? " traditional " : " simplified ") << length;
      // Mostly ASCII: a line of a program's output with a few characters in it.
      const std::string mixed = guess::encoded("Error 404 at line 17: " + sample + " (see README.txt)\n", e.charset);
      EXPECT_STREQ(guess::name(GuessUnmarkedEncoding(mixed)), guess::name(e.want))
          << e.charset << " mixed " << length;
    }
  }
}

// Two to four characters that are valid both in GBK and in BIG5: a GBK text never turns into BIG5
// on such slight evidence, and BIG5 is taken where its reading is far likelier.
TEST(GuessUnmarkedEncoding, ShortTextsValidInGbkAndBig5StayGbkUnlessBig5IsClear) {
  struct Case {
    const char8_t* text;
    const char* charset;
    UnmarkedGuess want;
  };
  const Case kCases[] = {
      {u8"中文", "GBK", UnmarkedGuess::Gbk},
      {u8"我们", "GBK", UnmarkedGuess::Gbk},
      {u8"图书", "GBK", UnmarkedGuess::Gbk},
      {u8"问题", "GBK", UnmarkedGuess::Gbk},
      {u8"今天下午", "GBK", UnmarkedGuess::Gbk},
      {u8"大雨", "GBK", UnmarkedGuess::Gbk},
      {u8"的书", "GBK", UnmarkedGuess::Gbk},
      {u8"这个问题", "GBK", UnmarkedGuess::Gbk},
      {u8"时间", "GBK", UnmarkedGuess::Gbk},
      // A rule of box drawing reads in BIG5 as one common character repeated.
      {u8"软件包） │\n    ├──────────────────┼──────┼────┤", "GBK", UnmarkedGuess::Gbk},
      {u8"有渰萋萋，興雨祁祁", "BIG5", UnmarkedGuess::Big5},  // classical, rare characters
      {u8"圖書館借了", "BIG5", UnmarkedGuess::Big5},
      {u8"這個問題", "BIG5", UnmarkedGuess::Big5},
  };
  for (const Case& c : kCases) {
    const std::string bytes = guess::encoded(utf8(c.text), c.charset);
    ASSERT_FALSE(bytes.empty());
    EXPECT_STREQ(guess::name(GuessUnmarkedEncoding(bytes)), guess::name(c.want)) << hex(bytes);
  }
}

// UTF-16 with and without ASCII, of either byte order; binary content and odd lengths never.
TEST(GuessUnmarkedEncoding, TakesUtf16OnlyForText) {
  struct Case {
    const char* name;
    std::string bytes;
    UnmarkedGuess want;
  };
  std::mt19937 random(5);
  std::string noise(4096, '\0');
  for (char& b : noise) b = static_cast<char>(random());
  std::string sparse(4096, '\0');  // mostly zeros: a table of numbers, an image
  for (size_t i = 0; i < sparse.size(); i += 7) sparse[i] = static_cast<char>(random() % 200 + 1);
  std::string records;  // little-endian counters and short fields, as a binary file holds them
  for (uint16_t i = 0; i < 600; ++i) {
    records += std::string{static_cast<char>(i & 0xFF), static_cast<char>(i >> 8), 'A', '\0', '\x01', '\0'};
  }
  const Case kCases[] = {
      {"ascii le", guess::encoded("plain words, and a line\r\nmore of them\r\n", "UTF-16LE"), UnmarkedGuess::Utf16Le},
      {"ascii be", guess::encoded("plain words, and a line\r\nmore of them\r\n", "UTF-16BE"), UnmarkedGuess::Utf16Be},
      {"chinese le", guess::encoded(utf8(guess::kSimplified), "UTF-16LE"), UnmarkedGuess::Utf16Le},
      {"chinese be", guess::encoded(utf8(guess::kSimplified), "UTF-16BE"), UnmarkedGuess::Utf16Be},
      {"mixed le", guess::encoded("name=" + utf8(u8"文件的编码") + "; size=12\n", "UTF-16LE"), UnmarkedGuess::Utf16Le},
      {"terminal colours le", guess::encoded("\x1B[33m" + guess::firstCharacters(guess::kSimplified, 16) + "\x1B[m\n", "UTF-16LE"),
       UnmarkedGuess::Utf16Le},
      {"random bytes", noise, UnmarkedGuess::Gbk},
      {"mostly zeros", sparse, UnmarkedGuess::Gbk},
      {"binary records", records, UnmarkedGuess::Gbk},
      {"odd length", guess::encoded("plain words, and a line\r\n", "UTF-16LE") + "x", UnmarkedGuess::Gbk},
      {"nul units", std::string(64, '\0'), UnmarkedGuess::Gbk},
      {"english as gbk", "The quick brown fox jumps over the lazy dog " + guess::encoded(utf8(u8"中文"), "GBK"),
       UnmarkedGuess::Gbk},
  };
  for (const Case& c : kCases) {
    EXPECT_STREQ(guess::name(GuessUnmarkedEncoding(c.bytes)), guess::name(c.want)) << c.name;
  }
}

// Detection looks at a bounded prefix: what follows it changes nothing, and leading ASCII is
// passed over to the first byte that says something.
TEST(GuessUnmarkedEncoding, LooksAtABoundedPrefixPastLeadingAscii) {
  const std::string big5 = guess::encoded(utf8(guess::kTraditional), "BIG5");
  const std::string gbk = guess::encoded(utf8(guess::kSimplified), "GBK");
  EXPECT_EQ(GuessUnmarkedEncoding(std::string(4000, 'a') + big5), UnmarkedGuess::Big5);
  std::string longBig5;
  while (longBig5.size() < kGuessPrefix + kGuessWindow) longBig5 += big5;
  EXPECT_EQ(GuessUnmarkedEncoding(longBig5 + gbk), UnmarkedGuess::Big5);
  EXPECT_EQ(GuessUnmarkedEncoding(std::string(kGuessPrefix, 'a') + big5), UnmarkedGuess::Gbk);
  EXPECT_EQ(GuessUnmarkedEncoding(""), UnmarkedGuess::Gbk);
  EXPECT_EQ(GuessUnmarkedEncoding("plain ASCII"), UnmarkedGuess::Gbk);
}

}  // namespace
}  // namespace chengling
