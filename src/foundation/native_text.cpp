#include "foundation/native_text.h"

#include <cstdint>
#include <cstring>

#include "foundation/charset_conversion.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

// Escapes are U+F780 + (byte - 0x80): in UTF-8 EF 9E 80..EF 9E BF stand for the bytes 80..BF and
// EF 9F 80..EF 9F BF for C0..FF.
constexpr char32_t kEscapeFirst = 0xF780;
constexpr char32_t kEscapeLast = 0xF7FF;

bool isAscii(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ULL) return false;
  }
  for (; i < text.size(); ++i) {
    if (p[i] >= 0x80) return false;
  }
  return true;
}

void appendEscape(std::string& utf8, unsigned char byte) { appendUtf8(kEscapeFirst + (byte - 0x80), utf8); }

// The native bytes as UTF-8 in which every byte outside a well-formed sequence, and every byte of a
// character in the escape range, is an escape. With `checkEach`, a character that GB18030 cannot
// hold is escaped byte by byte as well (slow: one conversion per character).
std::string escapedUtf8(std::string_view native, bool checkEach) {
  std::string utf8;
  utf8.reserve(native.size() + native.size() / 2);
  const auto* p = reinterpret_cast<const unsigned char*>(native.data());
  for (size_t i = 0; i < native.size();) {
    char32_t code = 0;
    const size_t length = readUtf8(p + i, native.size() - i, code);
    if (length == 0) {
      appendEscape(utf8, p[i]);
      ++i;
      continue;
    }
    bool escape = code >= kEscapeFirst && code <= kEscapeLast;
    if (!escape && checkEach && length > 1) {
      bool lossy = false;
      ConvertCharset(native.substr(i, length), "UTF-8", kInternalCharset, &lossy);
      escape = lossy;
    }
    if (escape) {
      for (size_t k = 0; k < length; ++k) appendEscape(utf8, p[i + k]);
    } else {
      utf8.append(native.substr(i, length));
    }
    i += length;
  }
  return utf8;
}

}  // namespace

std::string internalFromNative(std::string_view native) {
  if (isAscii(native)) return std::string(native);
  bool lossy = false;
  std::string internal = ConvertCharset(escapedUtf8(native, false), "UTF-8", kInternalCharset, &lossy);
  // A few private-use characters have no GB18030 form; such a name goes the slow way.
  if (lossy) internal = ConvertCharset(escapedUtf8(native, true), "UTF-8", kInternalCharset);
  return internal;
}

std::string nativeFromInternal(std::string_view internal) {
  if (isAscii(internal)) return std::string(internal);
  std::string utf8 = ConvertCharset(internal, kInternalCharset, "UTF-8");
  // Escapes back to their bytes, compacting in place.
  size_t out = 0;
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c == 0xEF && i + 2 < utf8.size()) {
      const auto second = static_cast<unsigned char>(utf8[i + 1]);
      const auto third = static_cast<unsigned char>(utf8[i + 2]);
      if ((second == 0x9E || second == 0x9F) && (third & 0xC0) == 0x80) {
        utf8[out++] = static_cast<char>(second == 0x9E ? third : third + 0x40);
        i += 3;
        continue;
      }
    }
    utf8[out++] = utf8[i++];
  }
  utf8.resize(out);
  return utf8;
}

std::string utf8FromInternal(std::string_view internal) {
  if (isAscii(internal)) return std::string(internal);
  return ConvertCharset(internal, kInternalCharset, "UTF-8");
}

std::string internalFromUtf8(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
  return ConvertCharset(utf8, "UTF-8", kInternalCharset);
}

}  // namespace chengling
