#include "foundation/gb18030_table.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "foundation/utf8.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::hex;

std::string utf8Of(std::string_view text) {
  std::string out;
  for (size_t pos = 0; pos < text.size();) {
    const GbUnit unit = gbUnitAt(text, pos);
    appendUtf8(unit.codePoint, out);
    pos += unit.length;
  }
  return out;
}

// What iconv makes of one code point in GB18030; empty when it has no form for it.
std::string iconvEncoded(char32_t cp) {
  static const iconv_t cd = iconv_open("GB18030", "UTF-32LE");
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = reinterpret_cast<char*>(&cp);
  size_t inLeft = 4;
  char out[8];
  char* outPtr = out;
  size_t outLeft = sizeof out;
  const bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
  return ok ? std::string(out, static_cast<size_t>(outPtr - out)) : std::string();
}

TEST(Gb18030Table, EveryTwoByteCharacterAgreesWithTheCharsetConverter) {
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
  EXPECT_TRUE(utf8Of(all) == testing::iconvBytes(all, "GB18030", "UTF-8"));
}

TEST(Gb18030Table, EveryScalarEncodesAsTheCharsetConverterEncodesIt) {
  std::string text;
  std::string missing;  // as UTF-8: what the table lacks, the charset converter must lack as well
  for (char32_t cp = 1; cp <= 0x10FFFF; cp += (cp < 0x10000 ? 1 : 97)) {
    const size_t before = text.size();
    if (!appendGb18030(cp, text)) {
      if (cp < 0xD800 || cp > 0xDFFF) appendUtf8(cp, missing);
      ASSERT_EQ(iconvEncoded(cp), "") << std::hex << static_cast<uint32_t>(cp);
      continue;
    }
    const std::string_view encoded = std::string_view(text).substr(before);
    ASSERT_EQ(encoded, iconvEncoded(cp)) << std::hex << static_cast<uint32_t>(cp);
    const GbUnit unit = gbUnitAt(text, before);
    ASSERT_EQ(unit.length, encoded.size()) << std::hex << static_cast<uint32_t>(cp);
    ASSERT_EQ(static_cast<uint32_t>(unit.codePoint), static_cast<uint32_t>(cp)) << std::hex << static_cast<uint32_t>(cp);
  }
  EXPECT_TRUE(utf8Of(text) == testing::iconvBytes(text, "GB18030", "UTF-8"));
  EXPECT_LT(missing.size(), 3u * 64);
}

TEST(Gb18030Table, WalksUnitsOfEveryKind) {
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
      {"\xFE\x51", GbUnit::Kind::Double, 2, 0x20087},           // beyond the BMP in two bytes
      {"\x81\x30\x81\x30", GbUnit::Kind::Quad, 4, 0x80},
      {"\x84\x31\xA4\x39", GbUnit::Kind::Quad, 4, 0xFFFF},
      {"\x90\x30\x81\x30", GbUnit::Kind::Quad, 4, 0x10000},
      {"\xE3\x32\x9A\x35", GbUnit::Kind::Quad, 4, 0x10FFFF},
      {"\x80", GbUnit::Kind::Invalid, 1, 0xFFFD},
      {"\xFF\xA1", GbUnit::Kind::Invalid, 1, 0xFFFD},
      {"\xB0", GbUnit::Kind::Invalid, 1, 0xFFFD},               // lead byte cut off at the end
      {"\xB0\x7F", GbUnit::Kind::Invalid, 1, 0xFFFD},
      {"\x81\x30\x81", GbUnit::Kind::Invalid, 1, 0xFFFD},
      {"\x84\x31\xA5\x30", GbUnit::Kind::Invalid, 1, 0xFFFD},   // between the BMP and U+10000
      {"\xFE\x39\xFE\x39", GbUnit::Kind::Invalid, 1, 0xFFFD},   // beyond U+10FFFF
  };
  for (const Case& c : kCases) {
    const GbUnit unit = gbUnitAt(c.bytes, 0);
    EXPECT_EQ(unit.kind, c.kind) << hex(c.bytes);
    EXPECT_EQ(unit.length, c.length) << hex(c.bytes);
    EXPECT_EQ(static_cast<uint32_t>(unit.codePoint), static_cast<uint32_t>(c.codePoint)) << hex(c.bytes);
  }
}

}  // namespace
}  // namespace chengling
