#pragma once
// UTF-8 read as internal text without converting it first. Text kept in its UTF-8 bytes (the cells of
// a table read from a UTF-8 file, so that an export back to UTF-8 writes them untouched) is read as
// internal text (by the grid, the sorts, the titles) through these helpers, which agree with the
// whole-text conversion of TextCodec to the byte. Read-only tables behind them; safe from any thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace chengling {

// One character of well-formed UTF-8 as it is in internal text.
struct Utf8Char {
  size_t length = 0;          // UTF-8 bytes; 0 when no well-formed, convertible character starts here
  size_t internalLength = 0;  // GB18030 bytes
  bool endsInBackslash = false;  // its GB18030 form ends in byte 5C, which the line parser reads as an escape
};

// Length and code point of the well-formed UTF-8 character at `p` (`p` < `end`); 0 when there is
// none.
size_t utf8LengthAt(const unsigned char* p, const unsigned char* end, char32_t& point);
// True when the GB18030 form of `point` is two bytes ending in 5C.
bool endsInBackslash(char32_t point);
// The same as 0x10000 bits, for loops that test every character.
const uint64_t* backslashBits();

// The character at `p` (`p` < `end`, *p >= 0x80).
Utf8Char utf8CharAt(const unsigned char* p, const unsigned char* end);

// True when every character of `text` is well-formed UTF-8 that internal text can hold.
bool utf8FitsInternal(std::string_view text);

// Appends `utf8` (which utf8FitsInternal accepts) converted to internal text.
void appendUtf8AsInternal(std::string_view utf8, std::string& out);

// The length `utf8` has as internal text.
size_t internalLengthOfUtf8(std::string_view utf8);

// True when some byte is 0x80 or above: text without one reads the same in both encodings.
bool hasHighByte(std::string_view text);

}  // namespace chengling
