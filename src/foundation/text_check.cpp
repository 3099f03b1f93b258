#include "foundation/text_check.h"

#include <cstring>

#include "foundation/gb18030_table.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

// The end of the run of ASCII bytes from `i`, taken eight at a time (a few bytes of the run may be
// left for the caller).
size_t skipAscii(const unsigned char* p, size_t i, size_t n) {
  while (i + 8 <= n) {
    uint64_t word = 0;
    std::memcpy(&word, p + i, 8);
    if ((word & 0x8080808080808080ull) != 0) break;
    i += 8;
  }
  return i;
}

bool isLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// GB18030 as the converter reads it (its table): a byte that starts no character it knows is one
// unreadable byte, and the next one is read again on its own, as the converter does.
int64_t unreadableGb18030(const unsigned char* p, size_t n, bool atEnd) {
  const gb18030::Table& table = gb18030::Table::get();
  int64_t bad = 0;
  size_t i = 0;
  while (i < n) {
    i = skipAscii(p, i, n);
    if (i >= n) break;
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    const size_t length = table.decode(p + i, p + n, codePoint);
    if (length != 0) {
      i += length;
      continue;
    }
    // A character the end cuts off: a lead byte alone, or the start of a four-byte form.
    const size_t left = n - i;
    const bool cut = isLead(p[i]) &&
                     (left == 1 || (left <= 3 && p[i + 1] >= 0x30 && p[i + 1] <= 0x39 && (left == 2 || isLead(p[i + 2]))));
    if (cut) {
      if (atEnd) bad += static_cast<int64_t>(left);
      break;
    }
    ++bad;
    ++i;
  }
  return bad;
}

int64_t unreadableUtf8(const unsigned char* p, size_t n, bool atEnd) {
  int64_t bad = 0;
  size_t i = 0;
  while (i < n) {
    i = skipAscii(p, i, n);
    if (i >= n) break;
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    switch (utf8FormAt(p + i, n - i, length)) {
      case Utf8Form::Complete: i += length; break;
      case Utf8Form::CutOff:
        if (atEnd) bad += static_cast<int64_t>(n - i);
        return bad;
      case Utf8Form::Invalid:
        ++bad;
        ++i;
        break;
    }
  }
  return bad;
}

// A unit that is a surrogate without its partner is unreadable, and so is an odd byte at the end.
int64_t unreadableUtf16(const unsigned char* p, size_t n, bool little, bool atEnd) {
  const auto unitAt = [&](size_t i) -> unsigned {
    return little ? p[i] | unsigned{p[i + 1]} << 8 : unsigned{p[i]} << 8 | p[i + 1];
  };
  int64_t bad = 0;
  size_t i = 0;
  while (i + 2 <= n) {
    const unsigned unit = unitAt(i);
    if (unit < 0xD800 || unit > 0xDFFF) {
      i += 2;
      continue;
    }
    if (unit <= 0xDBFF) {
      if (i + 4 > n) {
        if (atEnd) bad += static_cast<int64_t>(n - i);
        return bad;
      }
      const unsigned next = unitAt(i + 2);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        i += 4;
        continue;
      }
    }
    bad += 2;
    i += 2;
  }
  if (i < n && atEnd) ++bad;
  return bad;
}

// BIG5 and BIG5-HKSCS: a lead byte 81..FE with a trail byte 40..7E or A1..FE.
int64_t unreadableBig5(const unsigned char* p, size_t n, bool atEnd) {
  int64_t bad = 0;
  size_t i = 0;
  while (i < n) {
    i = skipAscii(p, i, n);
    if (i >= n) break;
    const unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (!isLead(c)) {
      ++bad;
      ++i;
      continue;
    }
    if (i + 1 >= n) {
      if (atEnd) ++bad;
      break;
    }
    const unsigned char t = p[i + 1];
    if ((t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE)) {
      i += 2;
      continue;
    }
    ++bad;
    ++i;
  }
  return bad;
}

bool isWide(TextEncoding encoding) {
  return encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be;
}

}  // namespace

bool TextVerdict::isText() const {
  return !nul && !tooManyUnreadable(probeUnreadable, probeBytes) && !tooManyUnreadable(replacements, bodyBytes);
}

bool tooManyUnreadable(int64_t bad, int64_t total) {
  return bad > kBrokenCharacterBytes && bad * kUnreadableShare > total;
}

int64_t unreadableBytes(std::string_view bytes, TextEncoding encoding, bool atEnd) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  switch (encoding) {
    case TextEncoding::Utf8:
    case TextEncoding::Utf8NoMark: return unreadableUtf8(p, n, atEnd);
    case TextEncoding::Utf16Le: return unreadableUtf16(p, n, true, atEnd);
    case TextEncoding::Utf16Be: return unreadableUtf16(p, n, false, atEnd);
    case TextEncoding::Big5:
    case TextEncoding::Big5Hkscs: return unreadableBig5(p, n, atEnd);
    case TextEncoding::Detect:
    case TextEncoding::Ansi: break;
  }
  return unreadableGb18030(p, n, atEnd);
}

bool holdsNul(std::string_view body, TextEncoding encoding) {
  if (!isWide(encoding)) return std::memchr(body.data(), 0, body.size()) != nullptr;
  for (size_t i = 0; i + 1 < body.size(); i += 2) {
    if (body[i] == '\0' && body[i + 1] == '\0') return true;
  }
  return false;
}

TextVerdict judgeBody(std::string_view body, TextEncoding encoding, int64_t replacements) {
  TextVerdict verdict;
  verdict.nul = holdsNul(body, encoding);
  const std::string_view probe = body.substr(0, kTextProbeBytes);
  verdict.probeBytes = static_cast<int64_t>(probe.size());
  verdict.probeUnreadable = unreadableBytes(probe, encoding, probe.size() == body.size());
  verdict.bodyBytes = static_cast<int64_t>(body.size());
  verdict.replacements = replacements;
  return verdict;
}

}  // namespace chengling
