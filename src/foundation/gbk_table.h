#pragma once
// The characters of internal text one by one: a GB18030 walker and the two-byte (GBK) table in both
// directions. The table is taken once from the C library's GB18030 converter, so everything built on
// it agrees with iconv to the byte; it is built on first use and read-only afterwards (any thread).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// The whole two-byte table for loops that cannot afford a call per character: the entry of lead L
// and trail T (both valid) is table[(L - 0x81) * kGbkTrailSpan + (T - 0x40)], 0 when unmapped.
inline constexpr int kGbkTrailSpan = 0xFF - 0x40;
const char32_t* gbkDoubleTable();

// The two-byte code (lead << 8 | trail) of a character, 0 when GBK has none. ASCII is not covered:
// it is its own byte.
uint16_t unicodeToGbk(char32_t codePoint);

// Appends the GB18030 bytes of a code point (1, 2 or 4 bytes); false for a value that is not a
// Unicode scalar.
bool appendGb18030(char32_t codePoint, std::string& out);

// Appends the UTF-8 form of a Unicode scalar.
void appendUtf8(char32_t codePoint, std::string& out);

// Reads one UTF-8 character at `pos`; 0 when the bytes there are not a valid UTF-8 form.
size_t readUtf8(std::string_view text, size_t pos, char32_t& codePoint);

}  // namespace chengling
