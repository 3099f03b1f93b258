#include "foundation/gbk_table.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/text_codec.h"

namespace chengling {
namespace {

std::string utf8Of(std::string_view text) {
  std::string out;
  for (size_t pos = 0; pos < text.size();) {
    const GbUnit unit = gbUnitAt(text, pos);
    appendUtf8(unit.codePoint, out);
    pos += unit.length;
  }
  return out;
}

TEST(GbkTable, EveryTwoByteCharacterAgreesWithTheCharsetConverter) {
  std::string all;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const char32_t cp = gbkToUnicode(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
      ASSERT_NE(static_cast<uint32_t>(cp), 0u) << std::hex << lead << ' ' << trail;
      EXPECT_EQ(unicodeToGbk(cp), lead << 8 | trail) << std::hex << lead << ' ' << trail;
      all += static_cast<char>(lead);
      all += static_cast<char>(trail);
    }
  }
  EXPECT_EQ(utf8Of(all), ConvertCharset(all, "GB18030", "UTF-8"));
}

TEST(GbkTable, EveryScalarSurvivesGb18030BothWays) {
  std::string text;
  std::string missing;  // as UTF-8: what the table lacks, the charset converter must lack as well
  for (char32_t cp = 1; cp <= 0x10FFFF; cp += (cp < 0x10000 ? 1 : 97)) {
    const size_t before = text.size();
    if (!appendGb18030(cp, text)) {
      if (cp < 0xD800 || cp > 0xDFFF) appendUtf8(cp, missing);
      continue;
    }
    const GbUnit unit = gbUnitAt(text, before);
    ASSERT_EQ(unit.length, text.size() - before) << std::hex << static_cast<uint32_t>(cp);
    ASSERT_EQ(static_cast<uint32_t>(unit.codePoint), static_cast<uint32_t>(cp)) << std::hex << static_cast<uint32_t>(cp);
  }
  EXPECT_EQ(utf8Of(text), ConvertCharset(text, "GB18030", "UTF-8"));
  EXPECT_LT(missing.size(), 3u * 64);
  for (size_t pos = 0; pos < missing.size();) {
    char32_t cp;
    const size_t length = readUtf8(missing, pos, cp);
    bool lossy = false;
    ConvertCharset(missing.substr(pos, length), "UTF-8", "GB18030", &lossy);
    EXPECT_TRUE(lossy) << std::hex << static_cast<uint32_t>(cp);
    pos += length;
  }
}

TEST(GbkTable, WalksUnitsOfEveryKind) {
  struct Case {
    std::string_view bytes;
    GbUnit::Kind kind;
    int length;
    char32_t codePoint;
  };
  const Case kCases[] = {
      {"A", GbUnit::Kind::Ascii, 1, 'A'},
      {std::string_view("\0", 1), GbUnit::Kind::Ascii, 1, 0},
      {"\xB0\xA1", GbUnit::Kind::Double, 2, 0x554A},            // 啊
      {"\xA2\xE3", GbUnit::Kind::Double, 2, 0x20AC},            // euro sign
      {"\x81\x30\x81\x30", GbUnit::Kind::Quad, 4, 0x80},
      {"\x90\x30\x81\x30", GbUnit::Kind::Quad, 4, 0x10000},
      {"\xE3\x32\x9A\x35", GbUnit::Kind::Quad, 4, 0x10FFFF},
      {"\x80", GbUnit::Kind::Invalid, 1, 0xFFFD},
      {"\xFF\xA1", GbUnit::Kind::Invalid, 1, 0xFFFD},
      {"\xB0", GbUnit::Kind::Invalid, 1, 0xFFFD},               // lead byte cut off at the end
      {"\xB0\x7F", GbUnit::Kind::Invalid, 1, 0xFFFD},
      {"\x81\x30\x81", GbUnit::Kind::Invalid, 1, 0xFFFD},
      {"\xFE\x39\xFE\x39", GbUnit::Kind::Invalid, 1, 0xFFFD},   // beyond U+10FFFF
  };
  for (const Case& c : kCases) {
    const GbUnit unit = gbUnitAt(c.bytes, 0);
    EXPECT_EQ(unit.kind, c.kind) << testing::PrintToString(c.bytes);
    EXPECT_EQ(unit.length, c.length) << testing::PrintToString(c.bytes);
    EXPECT_EQ(static_cast<uint32_t>(unit.codePoint), static_cast<uint32_t>(c.codePoint))
        << testing::PrintToString(c.bytes);
  }
}

TEST(GbkTable, ReadsOnlyWellFormedUtf8) {
  struct Case {
    std::string_view bytes;
    size_t length;
    char32_t codePoint;
  };
  const Case kCases[] = {
      {"a", 1, 'a'},           {"\xC3\xA9", 2, 0xE9},  {"\xE5\x95\x8A", 3, 0x554A},
      {"\xF0\x9F\x98\x80", 4, 0x1F600},
      {"\xC0\xAF", 0, 0},      // overlong
      {"\xED\xA0\x80", 0, 0},  // surrogate
      {"\xE5\x95", 0, 0},      // cut off
      {"\xF4\x90\x80\x80", 0, 0},
      {"\x80", 0, 0},
  };
  for (const Case& c : kCases) {
    char32_t cp = 0;
    const size_t length = readUtf8(c.bytes, 0, cp);
    EXPECT_EQ(length, c.length) << testing::PrintToString(c.bytes);
    if (c.length != 0) {
      EXPECT_EQ(static_cast<uint32_t>(cp), static_cast<uint32_t>(c.codePoint)) << testing::PrintToString(c.bytes);
    }
  }
}

}  // namespace
}  // namespace chengling
