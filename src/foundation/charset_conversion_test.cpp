// Large texts between UTF-8 and GB18030 are converted from tables; small ones by iconv alone. The two
// must agree byte for byte, on ordinary text and on every kind of input the tables leave to iconv.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "foundation/text_codec.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

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

}  // namespace
}  // namespace chengling
