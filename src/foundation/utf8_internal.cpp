#include "foundation/utf8_internal.h"

#include <cstdint>
#include <cstring>

#include "foundation/charset_conversion.h"
#include "foundation/gb18030_table.h"
#include "foundation/utf8.h"

namespace chengling {

namespace {

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length and code point of the well-formed UTF-8 form at `p`; 0 when there is none.
size_t readUtf8(const unsigned char* p, const unsigned char* end, char32_t& point) {
  const size_t left = static_cast<size_t>(end - p);
  const unsigned char b = p[0];
  if (b >= 0xC2 && b <= 0xDF) {
    if (left < 2 || !isContinuation(p[1])) return 0;
    point = (b & 0x1Fu) << 6 | (p[1] & 0x3Fu);
    return 2;
  }
  if (b >= 0xE0 && b <= 0xEF) {
    if (left < 3 || !isContinuation(p[1]) || !isContinuation(p[2])) return 0;
    point = (b & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
    if (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    return 3;
  }
  if (b >= 0xF0 && b <= 0xF4) {
    if (left < 4 || !isContinuation(p[1]) || !isContinuation(p[2]) || !isContinuation(p[3])) return 0;
    point = (b & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
    if (point < 0x10000 || point > 0x10FFFF) return 0;
    return 4;
  }
  return 0;
}

// Code points whose GB18030 form is two bytes ending in 5C, one bit each.
struct BackslashSet {
  uint64_t bits[0x10000 / 64] = {};
  BackslashSet() {
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      const char32_t point = gbkToUnicode(static_cast<unsigned char>(lead), 0x5C);
      if (point != 0 && point < 0x10000) bits[point / 64] |= uint64_t{1} << (point % 64);
    }
  }
  bool has(char32_t point) const { return point < 0x10000 && (bits[point / 64] >> (point % 64) & 1u); }
};

const BackslashSet& backslashSet() {
  static const BackslashSet set;
  return set;
}

// Lead bytes of two- and three-byte forms under which some character has no internal form: only
// those need a look into the table (a few private-use characters, as the converter has it).
struct UncoveredLeads {
  bool lead[256] = {};
  unsigned char list[4] = {};
  int listed = 0;  // -1: more than the list holds
  UncoveredLeads() {
    const gb18030::Table& table = gb18030::Table::get();
    for (char32_t point = 0x80; point < 0x10000; ++point) {
      if (point >= 0xD800 && point <= 0xDFFF) continue;  // not well-formed anyway
      if (table.encodedLength(static_cast<char16_t>(point)) != 0) continue;
      const unsigned b = point < 0x800 ? 0xC0 | point >> 6 : 0xE0 | point >> 12;
      if (lead[b]) continue;
      lead[b] = true;
      if (listed >= 0 && listed < 4) {
        list[listed++] = static_cast<unsigned char>(b);
      } else {
        listed = -1;
      }
    }
  }
};

const UncoveredLeads& uncoveredLeads() {
  static const UncoveredLeads leads;
  return leads;
}

}  // namespace

bool endsInBackslash(char32_t point) { return backslashSet().has(point); }

const uint64_t* backslashBits() { return backslashSet().bits; }

size_t utf8LengthAt(const unsigned char* p, const unsigned char* end, char32_t& point) {
  return readUtf8(p, end, point);
}

Utf8Char utf8CharAt(const unsigned char* p, const unsigned char* end) {
  Utf8Char c;
  char32_t point = 0;
  const size_t length = readUtf8(p, end, point);
  if (length == 0) return c;
  const gb18030::Table& table = gb18030::Table::get();
  if (point >= 0x10000) {
    c.internalLength = table.supplementaryCode(point) != 0 ? 2 : 4;  // no such code ends in 5C
  } else {
    c.internalLength = table.encodedLength(static_cast<char16_t>(point));
    if (c.internalLength == 0) return c;
    // encoded() holds the first byte lowest.
    c.endsInBackslash = c.internalLength == 2 && (table.encoded(static_cast<char16_t>(point)) >> 8 & 0xFF) == 0x5C;
  }
  c.length = length;
  return c;
}

bool hasHighByte(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  for (; end - p >= 8; p += 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if (word & 0x8080808080808080ull) return true;
  }
  for (; p != end; ++p) {
    if (static_cast<unsigned char>(*p) >= 0x80) return true;
  }
  return false;
}

namespace {

// Sixteen bytes at a time: true when `text` is well-formed UTF-8 of one- to three-byte forms with
// no surrogate and no byte of `leads`, so that every character has an internal form. False only
// says that the text needs a closer look.
bool plainlyFits(std::string_view text, const UncoveredLeads& leads) {
  if (leads.listed < 0) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  Utf8Block::Mask bad = {};
  auto check = [&](const unsigned char* at, const unsigned char* before1, const unsigned char* before2) {
    const Utf8Block block(at, before1, before2);
    const auto& b = block.b;
    const auto& b1 = block.b1;
    bad |= block.misplaced() | (b >= 0xF0) | (b == 0xC0) | (b == 0xC1) | ((b1 == 0xE0) & (b < 0xA0)) |
           ((b1 == 0xED) & (b >= 0xA0));
    for (int i = 0; i < leads.listed; ++i) bad |= b == leads.list[i];
  };
  size_t i = 0;
  if (n >= 16) {
    unsigned char head[18] = {};  // two ASCII bytes stand before the start
    std::memcpy(head + 2, p, 16);
    check(head + 2, head + 1, head);
    for (i = 16; i + 16 <= n; i += 16) check(p + i, p + i - 1, p + i - 2);
  }
  // The rest, followed by ASCII: a form cut off at the end expects a continuation there.
  unsigned char tail[18] = {};
  if (i >= 2) std::memcpy(tail, p + i - 2, 2);
  if (n > i) std::memcpy(tail + 2, p + i, n - i);
  check(tail + 2, tail + 1, tail);
  return !Utf8Block::any(bad);
}

}  // namespace

bool utf8FitsInternal(std::string_view text) {
  if (plainlyFits(text, uncoveredLeads())) return true;
  const gb18030::Table& table = gb18030::Table::get();
  const bool* const uncovered = uncoveredLeads().lead;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  while (p != end) {
    const unsigned b = *p;
    if (b < 0x80) {
      ++p;
      if (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if ((word & 0x8080808080808080ull) == 0) p += 8;
      }
      continue;
    }
    // The three-byte forms (most CJK text) are checked inline; the table only under a few leads.
    if (b >= 0xE0 && b <= 0xEF && end - p >= 3) {
      const unsigned c1 = p[1], c2 = p[2];
      if ((c1 & 0xC0) != 0x80 || (c2 & 0xC0) != 0x80) return false;
      if ((b == 0xE0 && c1 < 0xA0) || (b == 0xED && c1 >= 0xA0)) return false;  // overlong, surrogate
      if (uncovered[b]) {
        const char32_t point = (b & 0x0Fu) << 12 | (c1 & 0x3Fu) << 6 | (c2 & 0x3Fu);
        if (table.encodedLength(static_cast<char16_t>(point)) == 0) return false;
      }
      p += 3;
      continue;
    }
    char32_t point = 0;
    const size_t length = readUtf8(p, end, point);
    if (length == 0 || (point < 0x10000 && table.encodedLength(static_cast<char16_t>(point)) == 0)) return false;
    p += length;
  }
  return true;
}

size_t internalLengthOfUtf8(std::string_view utf8) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* const end = p + utf8.size();
  size_t total = 0;
  while (p != end) {
    if (*p < 0x80) {
      ++p;
      ++total;
      continue;
    }
    const Utf8Char c = utf8CharAt(p, end);
    if (c.length == 0) {  // not held by a table of ours: counted as it stands
      ++p;
      ++total;
      continue;
    }
    total += c.internalLength;
    p += c.length;
  }
  return total;
}

void appendUtf8AsInternal(std::string_view utf8, std::string& out) {
  const auto* in = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t size = utf8.size();
  size_t at = 0;
  while (at < size) {
    const size_t old = out.size();
    out.resize(old + 2 * (size - at) + 4);  // fromUtf8 writes up to 2 bytes per input byte, 4 at a time
    size_t produced = 0;
    at += gb18030::fromUtf8(in + at, size - at, reinterpret_cast<unsigned char*>(out.data() + old), produced);
    out.resize(old + produced);
    if (at < size) {
      // Four-byte forms are beyond the table: iconv takes them, up to where a character restarts.
      const size_t next = gb18030::nextUtf8Restart(in, size, at);
      out += ConvertCharset(utf8.substr(at, next - at), "UTF-8", kInternalCharset);
      at = next;
    }
  }
}

}  // namespace chengling
