#pragma once
// The one reader and writer of UTF-8 forms. Well-formed means as iconv has it: no overlong forms, no
// surrogates, nothing past U+10FFFF. The readers are inline because the table-driven conversions
// call them once per character.

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace chengling {

enum class Utf8Form : unsigned char {
  Complete,  // a well-formed character of `length` bytes
  CutOff,    // the start of one that the input ends before
  Invalid,   // a byte that starts no well-formed character
};

// True for a byte 10xxxxxx, which only continues a form.
constexpr bool utf8Continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The well-formed character at `p` (`left` >= 1): its length, 0 when there is none.
inline size_t readUtf8(const unsigned char* p, size_t left, char32_t& codePoint) {
  const unsigned char c = p[0];
  constexpr auto continuation = utf8Continuation;
  if (c < 0x80) {
    codePoint = c;
    return 1;
  }
  if (c >= 0xC2 && c <= 0xDF) {
    if (left < 2 || !continuation(p[1])) return 0;
    codePoint = (char32_t{c} & 0x1F) << 6 | (p[1] & 0x3F);
    return 2;
  }
  if (c >= 0xE0 && c <= 0xEF) {
    if (left < 3 || !continuation(p[1]) || !continuation(p[2])) return 0;
    codePoint = (char32_t{c} & 0x0F) << 12 | (char32_t{p[1]} & 0x3F) << 6 | (p[2] & 0x3F);
    return codePoint < 0x800 || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ? 0 : 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (left < 4 || !continuation(p[1]) || !continuation(p[2]) || !continuation(p[3])) return 0;
    codePoint = (char32_t{c} & 0x07) << 18 | (char32_t{p[1]} & 0x3F) << 12 | (char32_t{p[2]} & 0x3F) << 6 |
                (p[3] & 0x3F);
    return codePoint < 0x10000 || codePoint > 0x10FFFF ? 0 : 4;
  }
  return 0;
}

// What starts at `p` (`left` >= 1 bytes). `length` receives the bytes of the form the first byte
// announces (1 for a byte that announces none).
inline Utf8Form utf8FormAt(const unsigned char* p, size_t left, size_t& length) {
  char32_t codePoint = 0;
  length = readUtf8(p, left, codePoint);
  if (length != 0) return Utf8Form::Complete;
  const unsigned char c = p[0];
  length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 1;
  if (length == 1 || left >= length) return Utf8Form::Invalid;
  // Cut off when the bytes there are the start of some character: completed with continuation
  // bytes, they read as one. The range the second byte may take always holds 80 or BF.
  for (const unsigned char second : {0x80, 0xBF}) {
    unsigned char whole[4] = {c, second, 0x80, 0x80};
    for (size_t i = 1; i < left; ++i) whole[i] = p[i];
    if (readUtf8(whole, length, codePoint) != 0) return Utf8Form::CutOff;
  }
  return Utf8Form::Invalid;
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
  if (codePoint >= 0x800) {  // first: Chinese text is mostly three-byte forms
    if (codePoint >= 0x10000) {
      *out++ = static_cast<char>(0xF0 | (codePoint >> 18));
      *out++ = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    } else {
      *out++ = static_cast<char>(0xE0 | (codePoint >> 12));
    }
    *out++ = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint >= 0x80) {
    *out++ = static_cast<char>(0xC0 | (codePoint >> 6));
    *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    *out++ = static_cast<char>(codePoint);
  }
  return out;
}

inline void appendUtf8(char32_t codePoint, std::string& out) {
  char bytes[4];
  out.append(bytes, static_cast<size_t>(putUtf8(codePoint, bytes) - bytes));
}

// Sixteen bytes of UTF-8 at once, for checks that walk a text in blocks. Holds the block and the
// blocks one and two bytes before it, which the caller provides (padding before the text's start).
struct Utf8Block {
  using Bytes = unsigned char __attribute__((vector_size(16)));
  using Mask = signed char __attribute__((vector_size(16)));

  explicit Utf8Block(const unsigned char* at, const unsigned char* before1, const unsigned char* before2) {
    std::memcpy(&b, at, 16);
    std::memcpy(&b1, before1, 16);
    std::memcpy(&b2, before2, 16);
  }

  // Lanes that break the structure of forms of up to three bytes: a continuation byte (10xxxxxx)
  // stands exactly where the byte before is a lead (11xxxxxx) or the one two before a three-byte
  // lead (1110xxxx). Four-byte leads are left to the caller.
  Mask misplaced() const {
    const Mask continuation = (b >= 0x80) & (b < 0xC0);
    const Mask expected = (b1 >= 0xC0) | (b2 >= 0xE0);
    return continuation ^ expected;
  }

  template <typename Vector>
  static bool any(Vector vector) {
    unsigned long long halves[2];
    std::memcpy(halves, &vector, 16);
    return (halves[0] | halves[1]) != 0;
  }

  Bytes b, b1, b2;
};

}  // namespace chengling
