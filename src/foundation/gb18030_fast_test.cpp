// Large texts between UTF-8 and GB18030 are converted from tables; small ones by iconv alone. The two
// must agree byte for byte, on ordinary text and on every kind of input the tables leave to iconv.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "foundation/text_codec.h"

namespace chengling {
namespace {

void appendUtf8(std::string& out, uint32_t point) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

// About `size` bytes of UTF-8: mostly Chinese and ASCII, with Latin, symbols, private-use and
// supplementary characters, and ill-formed bytes of every kind.
std::string mixedUtf8(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) {
    const unsigned kind = random() % 100;
    if (kind < 40) {
      appendUtf8(text, 0x4E00 + random() % 0x5200);
    } else if (kind < 75) {
      appendUtf8(text, 0x20 + random() % 0x5F);
    } else if (kind < 80) {
      appendUtf8(text, 0x80 + random() % 0x780);
    } else if (kind < 85) {
      appendUtf8(text, 0x2000 + random() % 0x2000);
    } else if (kind < 88) {
      appendUtf8(text, 0xE000 + random() % 0x1900);
    } else if (kind < 91) {
      appendUtf8(text, 0x10000 + random() % 0x20000);
    } else if (kind < 94) {
      appendUtf8(text, 0xFF00 + random() % 0xF0);
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
    appendUtf8(utf8, point);
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
