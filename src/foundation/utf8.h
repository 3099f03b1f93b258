#pragma once
// The one reader and writer of UTF-8 forms. Well-formed means as iconv has it: no overlong forms, no
// surrogates, nothing past U+10FFFF. The readers are inline because the table-driven conversions
// call them once per character.

#include <cstddef>
#include <string>
#include <string_view>

namespace chengling {

enum class Utf8Form : unsigned char {
  Complete,  // a well-formed character of `length` bytes
  CutOff,    // the start of one that the input ends before
  Invalid,   // a byte that starts no well-formed character
};

// What starts at `p` (`left` >= 1 bytes). `length` receives the bytes of the form the first byte
// announces (1 for a byte that announces none).
inline Utf8Form utf8FormAt(const unsigned char* p, size_t left, size_t& length) {
  const unsigned char c = p[0];
  length = 1;
  if (c < 0x80) return Utf8Form::Complete;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return Utf8Form::Invalid;
  }
  if (left < 2) return Utf8Form::CutOff;
  if (p[1] < low || p[1] > high) return Utf8Form::Invalid;
  for (size_t i = 2; i < length; ++i) {
    if (i >= left) return Utf8Form::CutOff;
    if ((p[i] & 0xC0) != 0x80) return Utf8Form::Invalid;
  }
  return Utf8Form::Complete;
}

// The well-formed character at `p` (`left` >= 1): its length, 0 when there is none.
inline size_t readUtf8(const unsigned char* p, size_t left, char32_t& codePoint) {
  size_t length = 0;
  if (utf8FormAt(p, left, length) != Utf8Form::Complete) return 0;
  switch (length) {
    case 1: codePoint = p[0]; break;
    case 2: codePoint = (char32_t{p[0]} & 0x1F) << 6 | (p[1] & 0x3F); break;
    case 3: codePoint = (char32_t{p[0]} & 0x0F) << 12 | (char32_t{p[1]} & 0x3F) << 6 | (p[2] & 0x3F); break;
    default:
      codePoint = (char32_t{p[0]} & 0x07) << 18 | (char32_t{p[1]} & 0x3F) << 12 | (char32_t{p[2]} & 0x3F) << 6 |
                  (p[3] & 0x3F);
      break;
  }
  return length;
}

// The same at `pos` (< text.size()) of a text.
inline size_t readUtf8(std::string_view text, size_t pos, char32_t& codePoint) {
  return readUtf8(reinterpret_cast<const unsigned char*>(text.data()) + pos, text.size() - pos, codePoint);
}

// Bytes of the UTF-8 form of a Unicode scalar.
constexpr size_t utf8Length(char32_t codePoint) {
  return codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
}

// Writes the UTF-8 form of a Unicode scalar at `out` (room for 4 bytes); returns the end.
inline char* putUtf8(char32_t codePoint, char* out) {
  if (codePoint < 0x80) {
    *out++ = static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    *out++ = static_cast<char>(0xC0 | (codePoint >> 6));
    *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (codePoint >> 12));
    *out++ = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (codePoint >> 18));
    *out++ = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
  }
  return out;
}

inline void appendUtf8(char32_t codePoint, std::string& out) {
  char bytes[4];
  out.append(bytes, static_cast<size_t>(putUtf8(codePoint, bytes) - bytes));
}

}  // namespace chengling
