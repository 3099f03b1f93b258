#pragma once
// The characters of GB18030, the charset of internal text: one table in both directions, read from
// the C library's converter on first use (a few ms) and read-only afterwards (any thread), so that
// everything built on it agrees with iconv to the byte. It serves the walk over internal text
// character by character and the table-driven conversions between GB18030 and UTF-8 that carry
// large texts; what the table does not hold (ill-formed input, the few characters iconv lacks) is
// left to the caller, which hands it to iconv.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace chengling {

// One character of internal text at a position.
struct GbUnit {
  enum class Kind : uint8_t {
    Ascii,    // one byte below 0x80 (NUL included)
    Double,   // a two-byte GBK character with a Unicode mapping
    Quad,     // a well-formed four-byte GB18030 character
    Invalid,  // one byte that starts no valid character
  };
  Kind kind = Kind::Invalid;
  uint8_t length = 1;      // bytes taken: 1, 2 or 4
  char32_t codePoint = 0;  // 0xFFFD for Invalid
};

// The character starting at `pos` (< text.size()).
GbUnit gbUnitAt(std::string_view text, size_t pos);

// Unicode of a two-byte code, 0 when the pair is not a mapped GBK character. Six codes (FE51 ...)
// stand for characters beyond the BMP.
char32_t gbkToUnicode(unsigned char lead, unsigned char trail);

// The two-byte code (lead << 8 | trail) of a character, 0 when GBK has none. ASCII is not covered:
// it is its own byte.
uint16_t unicodeToGbk(char32_t codePoint);

// Appends the GB18030 bytes of a code point (1, 2 or 4 bytes); false for a value that is not a
// Unicode scalar or one the converter lacks.
bool appendGb18030(char32_t codePoint, std::string& out);

namespace gb18030 {

inline constexpr size_t kTrailSpan = 0xFF - 0x40;                   // trail bytes 0x40..0xFE
inline constexpr size_t kTwoByteCodes = (0xFF - 0x81) * kTrailSpan;  // lead bytes 0x81..0xFE
inline constexpr uint32_t kFourByteBmpCodes = 39420;                 // 81 30 81 30 .. 84 31 A4 39
inline constexpr uint32_t kFourByteSupplementaryStart = 189000;      // 90 30 81 30 = U+10000

// The four bytes `p` .. `p + 3` (all present) have the form of a four-byte character.
inline bool isFourByteForm(const unsigned char* p) {
  auto lead = [](unsigned char b) { return b >= 0x81 && b <= 0xFE; };
  auto digit = [](unsigned char b) { return b >= 0x30 && b <= 0x39; };
  return lead(p[0]) && digit(p[1]) && lead(p[2]) && digit(p[3]);
}

// Index of a four-byte form in the order of the code space.
inline uint32_t fourByteIndex(const unsigned char* p) {
  return (p[0] - 0x81u) * 12600u + (p[1] - 0x30u) * 1260u + (p[2] - 0x81u) * 10u + (p[3] - 0x30u);
}

// Both directions of the code space of GB18030. Built once, on the first get(); the loops that
// cannot afford a call per character hold a reference and decode inline.
class Table {
 public:
  // The one table of the process.
  static const Table& get();

  // The character at `p` (`p` < `end`): its length (1, 2 or 4) and code point, 0 when no valid
  // character starts there.
  size_t decode(const unsigned char* p, const unsigned char* end, char32_t& codePoint) const {
    const unsigned c = p[0];
    if (c < 0x80) {
      codePoint = c;
      return 1;
    }
    if (end - p < 2 || c - 0x81 > 0xFE - 0x81) return 0;
    const unsigned c1 = p[1];
    if (c1 - 0x40 <= 0xFE - 0x40 && c1 != 0x7F) {
      codePoint = twoByte_[(c - 0x81) * kTrailSpan + (c1 - 0x40)];
      if (codePoint == 0) codePoint = supplementaryOf(static_cast<uint16_t>(c << 8 | c1));
      return codePoint != 0 ? 2 : 0;
    }
    if (end - p < 4 || !isFourByteForm(p)) return 0;
    const uint32_t index = fourByteIndex(p);
    if (index < kFourByteBmpCodes) {
      codePoint = fourByte_[index];
    } else if (index - kFourByteSupplementaryStart < 0x100000) {  // wraps below the start
      codePoint = 0x10000 + (index - kFourByteSupplementaryStart);
    } else {
      codePoint = 0;
    }
    return codePoint != 0 ? 4 : 0;
  }

  // The GB18030 bytes of a BMP code point of 0x80 or above, first byte lowest, and their number
  // (2 or 4; 0 when the converter lacks the character).
  uint32_t encoded(char16_t codePoint) const { return encoded_[codePoint]; }
  // All of them, by code point, for a loop that looks up several at once.
  const uint32_t* encodedAll() const { return encoded_; }
  size_t encodedLength(char16_t codePoint) const { return encodedLength_[codePoint]; }

  // The two-byte code of a character beyond the BMP, 0 when it has none.
  uint16_t supplementaryCode(char32_t codePoint) const;

  // The UTF-8 form of the two-byte character whose bytes are `first` and `second`, ready to store:
  // its bytes from the lowest, and their number (2 or 3) in the top byte. 0 for every pair that is
  // no two-byte character of the BMP (the conversion loops then take the general way).
  uint32_t utf8OfPair(unsigned char first, unsigned char second) const { return utf8OfPair_[first | second << 8]; }
  // All of them, by first | second << 8, for a loop that looks up several at once.
  const uint32_t* utf8OfPairs() const { return utf8OfPair_; }

 private:
  friend struct TableBuilder;
  char32_t supplementaryOf(uint16_t code) const;

  char16_t twoByte_[kTwoByteCodes] = {};  // 0: unmapped, or beyond the BMP (supplementaryDoubles_)
  char16_t fourByte_[kFourByteBmpCodes] = {};
  uint32_t encoded_[0x10000] = {};
  uint8_t encodedLength_[0x10000] = {};
  uint32_t utf8OfPair_[0x10000] = {};  // by first | second << 8
  std::vector<std::pair<char32_t, uint16_t>> supplementaryDoubles_;  // FE51 = U+20087, ...
};

// Converts from the start of `in` and stops before the first character it does not handle.
// `out` must have room for 2 output bytes per input byte. Returns the input bytes consumed;
// `produced` receives the output bytes written.
// fromUtf8 takes the one- to three-byte forms of the characters in the table; toUtf8 takes every
// valid GB18030 character.
size_t fromUtf8(const unsigned char* in, size_t size, unsigned char* out, size_t& produced);
size_t toUtf8(const unsigned char* in, size_t size, unsigned char* out, size_t& produced);

// The first position after `from` where a character starts whatever came before it (an ASCII byte
// in UTF-8; the byte after one below 0x30 in GB18030, which no multi-byte character contains);
// `size` when there is none. A piece of input between two such positions converts on its own
// exactly as it does inside the whole.
size_t nextUtf8Restart(const unsigned char* in, size_t size, size_t from);
size_t nextGb18030Restart(const unsigned char* in, size_t size, size_t from);

}  // namespace gb18030
}  // namespace chengling
