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


// One of the table loops (fromUtf8, toUtf8) over `input` into exactly the room it asks for (2 bytes
// per input byte), with guard bytes behind it: what it took, what it wrote, and whether it wrote past
// its room.
struct LoopRun {
  size_t consumed = 0;
  std::string output;
  bool overran = false;
};

template <typename Loop>
LoopRun runLoop(Loop loop, std::string_view input) {
  constexpr size_t kGuard = 32;
  std::string room(input.size() * 2 + kGuard, '\x5A');
  size_t produced = 0;
  LoopRun run;
  run.consumed = loop(reinterpret_cast<const unsigned char*>(input.data()), input.size(),
                      reinterpret_cast<unsigned char*>(room.data()), produced);
  run.output = room.substr(0, produced);
  run.overran = room.substr(input.size() * 2) != std::string(kGuard, '\x5A');
  return run;
}

// The loops copy ASCII sixteen bytes at a time and take characters two at a time: every case stands
// behind ASCII runs of every length up to past two blocks, with ASCII or nothing after it, so that
// each block and each pair of characters ends at every place. A loop takes the input up to the
// first character it does not handle (`taken` bytes of the case; -1: all of it) and writes what
// iconv writes for that much.
TEST(Gb18030Table, LoopsAgreeWithTheCharsetConverterAtEveryOffsetOfTheirBlocks) {
  struct Case {
    std::string bytes;
    int taken;
    bool last = false;  // only at the end of the input
  };
  const std::string kRun = "\xD6\xD0\xCE\xC4\xA3\xAC\xB0\xA1\xD7\xD6\xB7\xFB\xB4\xAE\xB3\xA4\xB6\xC8\xB2\xE2"
                           "\xCA\xD4\xD6\xD0\xCE\xC4\xA1\xA3\xB5\xDA\xB6\xFE\xD0\xD0\xC8\xFD\xCB\xC4";  // 19 characters
  const std::string kUtf8Run = testing::iconvBytes(kRun, "GB18030", "UTF-8");                  // 57 bytes
  const Case kGb18030[] = {
      {"\xD6\xD0", -1},                          // 中
      {"\xD6\xD0\xCE\xC4\xD6\xD0", -1},          // 中文中: pairs at either alignment
      {"\xA1\xE8\xD6\xD0", -1},                  // ¤, two bytes of UTF-8, before 中
      {"\xD6\xD0" "a\xCE\xC4", -1},              // an ASCII byte between the two of a pair
      {"\x81\x30\x81\x30\xD6\xD0", -1},          // four bytes (U+0080) then two
      {"\xD6\xD0\x95\x32\x82\x36", -1},          // two bytes then four beyond the BMP
      {"\xFE\x51\xD6\xD0", -1},                  // two bytes beyond the BMP
      {"\xD6\xD0\x80\xD6\xD0", 2},               // a byte that starts nothing
      {"\xD6\xD0\xD6\x7F", 2},                   // a lead before a byte that trails nothing
      {"\xD6\xD0\xFF\xA1", 2},
      {"\xD6\xD0\x84\x31\xA5\x30", 2},           // a four-byte form between the BMP and U+10000
      {"\xD6\xD0\xD6", 2, true},                 // a lead cut off by the end
      // Runs long enough for blocks of eight characters, ended or broken by each kind of character.
      {kRun, -1},
      {kRun + std::string("\xA1\xE8") + kRun, -1},  // a form of two bytes inside a block
      {kRun + std::string("\xFE\x51") + kRun, -1},  // beyond the BMP
      {kRun + std::string("\xD6\x80") + kRun, -1},  // a trail byte of 0x80
      {kRun + std::string("\x80") + kRun, 38},       // a byte that starts nothing
      {kRun + std::string("\xFF\xA1") + kRun, 38},
      {kRun + std::string("\x81\x30\x81\x30") + kRun, -1},
  };
  const Case kUtf8[] = {
      {"\xE4\xB8\xAD", -1},                                // 中
      {"\xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD", -1},        // 中文中
      {"\xC3\xA9\xE4\xB8\xAD", -1},                        // é, two bytes
      {"\xC2\x80\xE4\xB8\xAD", -1},                        // U+0080: four bytes of GB18030
      {"\xEF\xBF\xBD\xE2\x82\xAC", -1},                    // U+FFFD (four bytes), euro (two)
      {"\xE4\xB8\xAD" "a\xE6\x96\x87", -1},
      {"\xE4\xB8\xAD\xF0\x9F\x98\x80", 3},                 // beyond the BMP: left to the converter
      {"\xE4\xB8\xAD\xE0\x82\xA9", 3},                     // an overlong form of U+00A9
      {"\xE4\xB8\xAD\xED\xA0\x80\xE4\xB8\xAD", 3},         // a surrogate
      {"\xE4\xB8\xAD\xE4\x41\x41", 3},                     // a lead without its continuations
      {"\xE4\xB8\xAD\xE4\xB8", 3, true},                   // cut off by the end
      {"\xE4\xB8\xAD\x80\xE4\xB8\xAD", 3},                 // a stray continuation
      // Runs long enough for blocks of eight forms, ended or broken by each kind of character.
      {kUtf8Run, -1},
      {kUtf8Run + "\xC3\xA9" + kUtf8Run, -1},             // a form of two bytes inside a block
      {kUtf8Run + "\xEF\xBF\xBD" + kUtf8Run, -1},         // U+FFFD: four bytes of GB18030
      {kUtf8Run + "a" + kUtf8Run, -1},
      {kUtf8Run + "\xE0\x82\xB7" + kUtf8Run, 57},         // overlong, of a character with two bytes
      {kUtf8Run + "\xED\xA0\x80" + kUtf8Run, 57},         // a surrogate
      {kUtf8Run + "\xF0\x9F\x98\x80" + kUtf8Run, 57},     // beyond the BMP
      {kUtf8Run + "\xE4\xB8" "a" + kUtf8Run, 57},          // a form cut short
      {kUtf8Run + "\x80" + kUtf8Run, 57},
  };
  struct Direction {
    const char* from;
    const char* to;
    size_t (*loop)(const unsigned char*, size_t, unsigned char*, size_t&);
    const Case* cases;
    size_t count;
  };
  const Direction kDirections[] = {
      {"GB18030", "UTF-8", gb18030::toUtf8, kGb18030, std::size(kGb18030)},
      {"UTF-8", "GB18030", gb18030::fromUtf8, kUtf8, std::size(kUtf8)},
  };
  for (const Direction& direction : kDirections) {
    for (size_t i = 0; i < direction.count; ++i) {
      const Case& c = direction.cases[i];
      for (size_t before = 0; before <= 40; ++before) {
        for (std::string_view after : {"", "x", "0123456789abcdefghij"}) {
          if (c.last && !after.empty()) continue;
          const std::string ascii(before, static_cast<char>('A' + before % 26));
          const std::string input = ascii + std::string(c.bytes) + std::string(after);
          const size_t taken = c.taken < 0 ? input.size() : before + static_cast<size_t>(c.taken);
          const LoopRun run = runLoop(direction.loop, input);
          SCOPED_TRACE(std::string(direction.from) + " " + hex(input));
          ASSERT_EQ(run.consumed, taken);
          ASSERT_EQ(hex(run.output), hex(testing::iconvBytes(input.substr(0, taken), direction.from, direction.to)));
          ASSERT_FALSE(run.overran);
        }
      }
    }
  }
}

}  // namespace
}  // namespace chengling
