#include "foundation/text_check.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/charset_conversion.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::binaryWithoutNul;
using testing::pngLikeBytes;

int64_t replacementsIn(std::string_view utf8) {
  int64_t count = 0;
  for (size_t at = utf8.find("\xEF\xBF\xBD"); at != std::string_view::npos; at = utf8.find("\xEF\xBF\xBD", at + 3)) {
    ++count;
  }
  return count;
}

TEST(UnreadableBytes, CountsWhatEachEncodingCannotRead) {
  struct Case {
    const char* name;
    std::string bytes;
    TextEncoding encoding;
    bool atEnd;
    int64_t want;
  };
  const Case kCases[] = {
      {"GBK text", "中文，ABC\r\n", TextEncoding::Ansi, true, 0},
      {"GB18030 four-byte form", "\x81\x30\x81\x30\x95\x32\x82\x36", TextEncoding::Ansi, true, 0},
      {"80 and FF start nothing", "a\x80" "b\xFF", TextEncoding::Ansi, true, 2},
      {"a lead byte before a blank", "\xB0 \xB0\x0A", TextEncoding::Ansi, true, 2},
      {"a lead byte cut off at the end", "ab\xB0", TextEncoding::Ansi, true, 1},
      {"...or only at the end of a probe", "ab\xB0", TextEncoding::Ansi, false, 0},
      {"a four-byte form cut off", "ab\x81\x30\x81", TextEncoding::Ansi, false, 0},
      {"UTF-8 text", "\xE4\xB8\xAD\xE6\x96\x87 abc", TextEncoding::Utf8, true, 0},
      {"UTF-8 overlong and surrogate forms", "\xC0\xAF\xED\xA0\x80", TextEncoding::Utf8, true, 5},
      {"UTF-8 cut off", "a\xE4\xB8", TextEncoding::Utf8, true, 2},
      {"UTF-8 cut off by the probe", "a\xE4\xB8", TextEncoding::Utf8, false, 0},
      {"GBK read as UTF-8", "中文", TextEncoding::Utf8, true, 4},
      {"UTF-16LE pair and lone surrogates", std::string("\x3D\xD8\x00\xDE" "\x00\xD8" "A\x00" "\x00\xDC", 10),
       TextEncoding::Utf16Le, true, 4},
      {"UTF-16BE odd byte at the end", std::string("\x00" "A\x00", 3), TextEncoding::Utf16Be, true, 1},
      {"UTF-16 zero bytes are no fault", std::string("A\x00\x00\x42", 4), TextEncoding::Utf16Le, true, 0},
      {"BIG5 text and a bad trail", "\xA4\xA4\xA4\xE5\xA4\x80", TextEncoding::Big5, true, 2},
  };
  for (const Case& c : kCases) EXPECT_EQ(unreadableBytes(c.bytes, c.encoding, c.atEnd), c.want) << c.name;
}

// Random bytes without a U+FFFD of their own in any of the encodings compared.
std::string withoutReplacementCharacter(std::string bytes) {
  for (const std::string_view form : {"\xEF\xBF\xBD", "\x84\x31\xA4\x37"}) {
    for (size_t at = bytes.find(form); at != std::string::npos; at = bytes.find(form, at)) bytes[at] = 'x';
  }
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (bytes[i] == '\xFD' && bytes[i + 1] == '\xFF') bytes[i] = 'x';
  }
  return bytes;
}

TEST(UnreadableBytes, AgreesWithTheConvertersReplacements) {
  // The converter puts one U+FFFD for every byte (UTF-16: unit) it cannot read and drops a
  // character cut off by the end, which the count leaves out when the end is not the body's.
  for (unsigned seed = 1; seed <= 20; ++seed) {
    const std::string bytes = withoutReplacementCharacter(binaryWithoutNul(4000, seed));
    EXPECT_EQ(unreadableBytes(bytes, TextEncoding::Ansi, false),
              replacementsIn(ConvertCharset(bytes, "GB18030", "UTF-8")))
        << seed;
    EXPECT_EQ(unreadableBytes(bytes, TextEncoding::Utf8, false),
              replacementsIn(ConvertCharset(ConvertCharset(bytes, "UTF-8", "GB18030"), "GB18030", "UTF-8")))
        << seed;
    EXPECT_EQ(unreadableBytes(bytes, TextEncoding::Utf16Le, false),
              2 * replacementsIn(ConvertCharset(bytes, "UTF-16LE", "UTF-8")))
        << seed;
  }
}

TEST(TextVerdict, MachineDataIsNoTextWhileDamagedTextStaysText) {
  std::string gbk;
  while (gbk.size() < 100000) gbk += "简体中文，第二行 abc\r\n";
  std::string utf8 = ConvertCharset(gbk, "GB18030", "UTF-8");
  struct Case {
    const char* name;
    std::string body;
    TextEncoding encoding;
    int64_t replacements;
    bool text;
  };
  const Case kCases[] = {
      {"GBK text", gbk, TextEncoding::Ansi, 0, true},
      {"UTF-8 text", utf8, TextEncoding::Utf8, 0, true},
      {"empty", "", TextEncoding::Ansi, 0, true},
      {"a few stray bytes", gbk.substr(0, 1000) + "\x80\x80\x80\x80" + gbk.substr(0, 1000), TextEncoding::Ansi, 0,
       true},
      // A short text with one broken character is damaged text, not machine data.
      {"one broken four-byte character", "ab\x81\x30\xFF\x30", TextEncoding::Ansi, 0, true},
      {"a picture", pngLikeBytes(100000, 1), TextEncoding::Ansi, 0, false},
      {"a NUL at the very end", gbk + std::string("\0", 1), TextEncoding::Ansi, 0, false},
      {"machine data", binaryWithoutNul(100000, 2), TextEncoding::Ansi, 0, false},
      {"machine data as UTF-8", binaryWithoutNul(100000, 2), TextEncoding::Utf8, 0, false},
      {"machine data as UTF-16", binaryWithoutNul(100000, 2), TextEncoding::Utf16Be, 0, false},
      {"junk beyond the probe, raw", gbk + binaryWithoutNul(20000, 3), TextEncoding::Ansi, 0, true},
      // ...converted, the decode's replacements tell.
      {"junk beyond the probe, converted", utf8 + binaryWithoutNul(20000, 3), TextEncoding::Utf8, 15000, false},
      {"a few replacements", utf8, TextEncoding::Utf8, 100, true},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(judgeBody(c.body, c.encoding, c.replacements).isText(), c.text) << c.name;
  }
  // The share: more than one byte in a hundred, and more than one broken character's worth.
  EXPECT_FALSE(tooManyUnreadable(4, 10));
  EXPECT_TRUE(tooManyUnreadable(5, 10));
  EXPECT_FALSE(tooManyUnreadable(10, 1000));
  EXPECT_TRUE(tooManyUnreadable(11, 1000));
}

}  // namespace
}  // namespace chengling
