#include "foundation/charset_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "foundation/utf8.h"
#include "support/test_support.h"

// Plain "..." literals here are internal text (GB18030); u8"..." literals are UTF-8 bytes.
namespace chengling {
namespace {

using testing::hex;
using testing::utf8;
using namespace std::string_literals;

// Large texts between UTF-8 and GB18030 are converted from tables; small ones by iconv alone. The two
// must agree byte for byte, on ordinary text and on every kind of input the tables leave to iconv.

// About `size` bytes of UTF-8: mostly Chinese and ASCII, with Latin, symbols, private-use and
// supplementary characters, and ill-formed bytes of every kind.
std::string mixedUtf8(size_t size, unsigned seed) {
  struct Range {
    unsigned below;  // the kinds (out of 100) up to here draw from this range
    char32_t first;
    uint32_t count;
  };
  static constexpr Range kRanges[] = {
      {40, 0x4E00, 0x5200}, {75, 0x20, 0x5F},    {80, 0x80, 0x780},     {85, 0x2000, 0x2000},
      {88, 0xE000, 0x1900}, {91, 0x10000, 0x20000}, {94, 0xFF00, 0xF0},
  };
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) {
    const unsigned kind = random() % 100;
    const Range* range = std::find_if(std::begin(kRanges), std::end(kRanges), [&](const Range& r) { return kind < r.below; });
    if (range != std::end(kRanges)) {
      appendUtf8(range->first + random() % range->count, text);
    } else if (kind < 96) {
      text += static_cast<char>(0x80 + random() % 0x80);  // a stray byte
    } else if (kind < 98) {
      text += "\xE4\xB8";  // cut short
    } else {
      text += "\r\n";
    }
  }
  return text;
}

// The conversion of `text` in pieces small enough for iconv alone, cut where `restart` says a
// piece may end and the next begin without changing what either converts to.
template <typename Restart>
std::string convertInSmallPieces(const std::string& text, std::string_view from, std::string_view to,
                                 Restart restart) {
  std::string result;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = std::min(text.size(), start + 4096);
    while (end < text.size() && !restart(static_cast<unsigned char>(text[end - 1]),
                                         static_cast<unsigned char>(text[end]))) {
      ++end;
    }
    result += ConvertCharset(std::string_view(text).substr(start, end - start), from, to);
    start = end;
  }
  return result;
}

TEST(TableConversion, AgreesWithIconvOnMixedAndIllFormedUtf8) {
  for (unsigned seed : {1u, 2u, 3u}) {
    const std::string utf8 = mixedUtf8(size_t{3} << 20, seed);
    bool lossy = false;
    const std::string whole = ConvertCharset(utf8, "UTF-8", "GB18030", &lossy);
    EXPECT_TRUE(lossy);
    const std::string pieces = convertInSmallPieces(utf8, "UTF-8", "GB18030",
                                                    [](unsigned char previous, unsigned char next) {
      // A piece must not end inside a character: ConvertCharset drops a cut-off one at its end.
      return previous < 0x80 && next < 0x80;
    });
    ASSERT_EQ(whole.size(), pieces.size()) << seed;
    EXPECT_TRUE(whole == pieces) << seed;

    // And back: GB18030 with stray bytes of its own.
    std::string gb = whole;
    for (size_t i = 1000; i < gb.size(); i += 7919) gb[i] = static_cast<char>(0x80 + (i % 3) * 0x7F);
    const std::string back = ConvertCharset(gb, "GB18030", "UTF-8");
    const std::string backPieces = convertInSmallPieces(
        gb, "GB18030", "UTF-8", [](unsigned char previous, unsigned char) { return previous < 0x30; });
    ASSERT_EQ(back.size(), backPieces.size()) << seed;
    EXPECT_TRUE(back == backPieces) << seed;
  }
}

TEST(TableConversion, WellFormedTextRoundTripsWithoutLoss) {
  std::string utf8;
  for (uint32_t point = 0x20; utf8.size() < (size_t{1} << 20); point = point == 0xD7FF ? 0xE000 : point + 1) {
    if (point > 0xFFFD) point = 0x20;
    if (point >= 0xE000 && point < 0xF900) continue;  // private use: glibc leaves some unmapped
    appendUtf8(point, utf8);
  }
  bool lossy = true;
  const std::string gb = ConvertCharset(utf8, "UTF-8", "GB18030", &lossy);
  EXPECT_FALSE(lossy);
  const std::string back = ConvertCharset(gb, "GB18030", "UTF-8", &lossy);
  EXPECT_FALSE(lossy);
  EXPECT_EQ(back.size(), utf8.size());
  EXPECT_TRUE(back == utf8);
}

TEST(ConvertCharset, ReplacesWhatItCannotConvertAndSaysSo) {
  const std::string fffdGb = "\x84\x31\xA4\x37";
  struct Case {
    const char* name;
    std::string bytes;
    const char* from;
    const char* to;
    std::string want;
    bool lossy;
  };
  const Case kCases[] = {
      {"clean", utf8(u8"中文"), "UTF-8", "GB18030", "中文", false},
      {"names ignore case", utf8(u8"中文"), "utf-8", "gb18030", "中文", false},
      {"invalid utf-8 byte", "a\xFF" "b", "UTF-8", "GB18030", "a" + fffdGb + "b", true},
      {"invalid utf-8 into utf-16le", "\xFF", "UTF-8", "UTF-16LE", "\xFD\xFF", true},
      {"invalid utf-8 into big5", "a\xFF", "UTF-8", "BIG5", "a?", true},
      {"utf-8 surrogate", "\xED\xA0\x80" "a", "UTF-8", "GB18030", fffdGb + fffdGb + fffdGb + "a", true},
      {"truncated at the end is dropped", "a" + utf8(u8"中").substr(0, 2), "UTF-8", "GB18030", "a", true},
      {"a lead byte nothing could complete is no cut-off", "a\xFB", "UTF-8", "GB18030", "a" + fffdGb, true},
      {"the same after a replacement", "\xFF\xFB", "UTF-8", "GB18030", fffdGb + fffdGb, true},
      {"odd utf-16 length", "A\0B"s, "UTF-16LE", "GB18030", "A", true},
      {"unpaired surrogate", "\x00\xD8" "A\0"s, "UTF-16LE", "GB18030", fffdGb + "A", true},
      {"unrepresentable in big5", "中们文", "GB18030", "BIG5", "\xA4\xA4?\xA4\xE5", true},
      {"unrepresentable in big5-hkscs", "们", "GB18030", "BIG5-HKSCS", "?", true},
      {"invalid gb18030", "a\xFF" "b", "GB18030", "UTF-8", "a\xEF\xBF\xBD" "b", true},
      {"invalid gb18030 into big5", "\xFF", "GB18030", "BIG5", "?", true},
      {"no mark in utf-8", "中", "GB18030", "UTF-8", utf8(u8"中"), false},
      {"no mark in utf-16le", "中", "GB18030", "UTF-16LE", "\x2D\x4E", false},
      {"a leading U+FEFF of the text stays", "\x84\x31\x95\x33" "a", "GB18030", "UTF-8", "\xEF\xBB\xBF" "a", false},
      {"unknown charset", "abc", "NO-SUCH-CHARSET", "UTF-8", "", false},
      {"empty", "", "UTF-8", "GB18030", "", false},
  };
  for (const Case& c : kCases) {
    bool lossy = !c.lossy;
    EXPECT_EQ(hex(ConvertCharset(c.bytes, c.from, c.to, &lossy)), hex(c.want)) << c.name;
    EXPECT_EQ(lossy, c.lossy) << c.name;
  }
  // Replacements longer than what they replace make the output outgrow its first reservation.
  std::string many;
  for (int i = 0; i < 100000; ++i) many += fffdGb;
  EXPECT_TRUE(ConvertCharset(std::string(100000, '\xFF'), "UTF-8", "GB18030") == many);
}

// Large inputs are converted in rounds and halves cut where a character starts. Cut anywhere such a
// cut cannot change the outcome (after an ASCII byte in UTF-8, a byte below 0x30 in GB18030, a
// UTF-16 unit that is no leading surrogate), pieces small enough to go in one piece must give the
// very same bytes.
TEST(ConvertCharset, LargeInputsGiveWhatTheirPiecesGive) {
  std::mt19937 random(11);
  struct Source {
    const char* charset;
    std::string alphabet[6];
    unsigned char cutAfterBelow;  // for single-byte units: a piece may end after a byte below this
    std::vector<const char*> targets;
  };
  const Source kSources[] = {
      {"UTF-8", {"a ", utf8(u8"中文"), utf8(u8"€"), "\xE4\xB8", "\xFF", "\x80"}, 0x80, {"GB18030", "BIG5"}},
      {"GB18030", {"a ", "中文", "\x81", "\xFF", "\x95\x32\x82\x36", "\x81\x30"}, 0x30, {"UTF-8", "UTF-16BE"}},
      {"UTF-16LE", {"a\0"s, "\x2D\x4E"s, "\x3D\xD8\x00\xDE"s, "\x00\xD8"s, "\x00\xDC"s, "\n\0"s}, 0, {"GB18030"}},
  };
  for (const Source& source : kSources) {
    std::string input;
    while (input.size() < (size_t{9} << 19)) input += source.alphabet[random() % 20 < 19 ? random() % 2 : random() % 6];
    // Where the halves meet, a UTF-8 form cut off by the next character: replaced, not dropped.
    if (source.cutAfterBelow == 0x80) input.replace(input.size() / 2 - 2, 3, "\xE4\xB8" "a");
    for (const char* target : source.targets) {
      bool lossy = false;
      const std::string whole = ConvertCharset(input, source.charset, target, &lossy);
      EXPECT_TRUE(lossy);
      std::string pieces;
      const size_t unit = std::string_view(source.charset) == "UTF-16LE" ? 2 : 1;
      for (size_t start = 0; start < input.size();) {
        size_t end = std::min(input.size(), start + 300000 + random() % 1000 * unit);
        if (unit == 2) {
          while (end < input.size() && (static_cast<unsigned char>(input[end - 1]) & 0xFC) == 0xD8) end += 2;
        } else {
          while (end < input.size() && static_cast<unsigned char>(input[end - 1]) >= source.cutAfterBelow) ++end;
        }
        pieces += ConvertCharset(std::string_view(input).substr(start, end - start), source.charset, target);
        start = end;
      }
      EXPECT_TRUE(whole == pieces) << source.charset << " to " << target;
    }
  }
}

}  // namespace
}  // namespace chengling
