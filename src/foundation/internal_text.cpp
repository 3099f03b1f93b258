#include "foundation/internal_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace chengling {
namespace {

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// Reads one full-width form (A3 xx in GBK) of an ASCII character at `pos`; 0 when there is none.
char fullWidthAscii(std::string_view text, size_t pos) {
  if (pos + 1 >= text.size() || static_cast<unsigned char>(text[pos]) != 0xA3) return 0;
  const unsigned char trail = static_cast<unsigned char>(text[pos + 1]);
  if (trail < 0xA1 || trail > 0xFE) return 0;
  return static_cast<char>(trail - 0x80);
}

void stripTrailingZeros(std::string& text) {
  if (text.find('.') == std::string::npos) return;
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
}

}  // namespace

std::string_view cutAtNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::vector<std::string> splitText(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  size_t start = 0;
  while (true) {
    const size_t hit = text.find(separator, start);
    if (hit == std::string_view::npos) {
      if (start < text.size()) pieces.emplace_back(text.substr(start));
      break;
    }
    pieces.emplace_back(text.substr(start, hit - start));
    start = hit + separator.size();
  }
  return pieces;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string result;
  result.reserve(text.size());
  size_t start = 0;
  for (size_t hit; (hit = text.find(from, start)) != std::string_view::npos; start = hit + from.size()) {
    result.append(text.substr(start, hit - start));
    result.append(to);
  }
  result.append(text.substr(start));
  return result;
}

std::string numberToText(int64_t value) { return std::to_string(value); }

std::string numberToText(double value) {
  if (std::isnan(value)) return "0";
  if (std::isinf(value)) return value > 0 ? "1e+308" : "-1e+308";
  if (value == std::trunc(value) && std::fabs(value) < 9.2e18) {
    return numberToText(static_cast<int64_t>(value));
  }
  // to_chars: the decimal point is "." whatever the process's locale says.
  const double magnitude = std::fabs(value);
  char buffer[400];
  if (magnitude >= 1e15 || magnitude < 1e-30) {
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
    return std::string(buffer, end.ptr);
  }
  const int integerDigits = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
  int decimals = 13 - integerDigits;
  if (decimals < 0) decimals = 0;
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, end.ptr);
  stripTrailingZeros(text);
  if (text == "-0") text = "0";
  return text;
}

std::string narrowFullWidth(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    if (const char narrow = fullWidthAscii(text, pos)) {
      out += narrow;
      pos += 2;
    } else if (text.substr(pos, 2) == "\xA1\xA1") {
      out += ' ';
      pos += 2;
    } else {
      const size_t length = charLengthAt(text, pos);
      out.append(text.substr(pos, length));
      pos += length;
    }
  }
  return out;
}

int32_t textToInteger(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ' ' || text[pos] == '\t') {
      ++pos;
    } else if (pos + 1 < text.size() && static_cast<unsigned char>(text[pos]) == 0xA1 &&
               static_cast<unsigned char>(text[pos + 1]) == 0xA1) {
      pos += 2;  // full-width space
    } else {
      break;
    }
  }
  auto charAt = [&](size_t at, size_t& width) -> char {
    if (at >= text.size()) return 0;
    if (const char wide = fullWidthAscii(text, at)) {
      width = 2;
      return wide;
    }
    width = 1;
    return text[at];
  };
  size_t width = 0;
  bool negative = false;
  char c = charAt(pos, width);
  if (c == '+' || c == '-') {
    negative = c == '-';
    pos += width;
  }
  uint32_t value = 0;
  while ((c = charAt(pos, width)) >= '0' && c <= '9') {
    value = value * 10u + static_cast<uint32_t>(c - '0');
    pos += width;
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

double roundTo(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  const double scaled = value * scale;
  double whole = std::trunc(scaled);
  const double fraction = std::fabs(scaled - whole) + 0.000000000001;
  if (fraction >= 0.5) whole += scaled < 0 ? -1.0 : 1.0;
  return whole / scale;
}

int64_t CharCount(std::string_view text) {
  int64_t count = 0;
  for (size_t pos = 0; pos < text.size(); pos += charLengthAt(text, pos)) ++count;
  return count;
}

std::string FirstChars(std::string_view text, int64_t n) {
  if (n < 0) {
    n += CharCount(text);
    if (n <= 0) return {};
  }
  size_t pos = 0;
  for (int64_t i = 0; i < n && pos < text.size(); ++i) pos += charLengthAt(text, pos);
  return std::string(text.substr(0, pos));
}

std::string SanitizeFileName(std::string_view text, bool cut, bool trim) {
  std::string result;
  result.reserve(text.size() + 16);
  int64_t kept = 0;
  for (size_t pos = 0; pos < text.size();) {
    size_t length = charLengthAt(text, pos);
    // A stray lead byte before a byte that no character continues with (below 0x40 and not a digit
    // of a four-byte GB18030 character: "/", ":", "*" and the like) stands alone, so that the byte
    // after it is cleaned like any other.
    if (length == 2 && static_cast<unsigned char>(text[pos]) >= 0x80) {
      const auto next = static_cast<unsigned char>(text[pos + 1]);
      if (next < 0x40 && (next < '0' || next > '9')) length = 1;
    }
    const std::string_view ch = text.substr(pos, length);
    pos += length;
    if (cut && kept >= 200) break;
    if (length == 1 && static_cast<unsigned char>(ch[0]) < 0x80) {
      switch (ch[0]) {
        case '\\': result += "＼"; ++kept; continue;
        case '/': result += "／"; ++kept; continue;
        case ':': result += "："; ++kept; continue;
        case '*': result += "＊"; ++kept; continue;
        case '?': result += "？"; ++kept; continue;
        case '|': result += "｜"; ++kept; continue;
        case '<': result += "＜"; ++kept; continue;
        case '>': result += "＞"; ++kept; continue;
        case '"': case '\r': case '\n': case '\t': continue;
        default: break;
      }
    } else if (ch == "\r\n") {
      continue;
    }
    result.append(ch);
    ++kept;
  }
  if (trim) {
    const size_t first = result.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    result = result.substr(first, result.find_last_not_of(' ') - first + 1);
  }
  return result;
}

std::string asciiLower(std::string_view text) {
  std::string result(text);
  for (size_t pos = 0; pos < result.size();) {
    const size_t length = charLengthAt(result, pos);
    if (length == 1) result[pos] = foldAscii(result[pos]);
    pos += length;
  }
  return result;
}

static unsigned char lowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }
static bool isAsciiLetter(unsigned char c) { return lowerAscii(c) >= 'a' && lowerAscii(c) <= 'z'; }

// Position of `needle` in `haystack` at or after `from` (a character boundary), ignoring ASCII case
// of the needle's single-byte characters, and starting only on a character boundary: the trail byte
// of a double-byte character may look like a letter. Candidates are found with memchr, so a scan of
// a large text without hits runs at memory speed; boundaries are checked by looking back over the
// bytes of 0x80 and above before a hit, never further than the last boundary known.
size_t findIgnoringCase(std::string_view haystack, std::string_view needle, size_t from) {
  if (from > haystack.size()) return std::string_view::npos;
  if (needle.empty()) return from;
  if (needle.size() > haystack.size() - from) return std::string_view::npos;

  // Which needle bytes fold: single-byte characters only.
  std::vector<bool> folds(needle.size(), false);
  const char* const needleEnd = needle.data() + needle.size();
  for (size_t i = 0; i < needle.size();) {
    const size_t length = byteUnitLength(needle.data() + i, needleEnd);
    if (length == 1) folds[i] = isAsciiLetter(static_cast<unsigned char>(needle[i]));
    i += length;
  }
  auto matchesAt = [&](size_t pos) {
    for (size_t i = 0; i < needle.size(); ++i) {
      const auto h = static_cast<unsigned char>(haystack[pos + i]);
      const auto n = static_cast<unsigned char>(needle[i]);
      if (folds[i] ? lowerAscii(h) != lowerAscii(n) : h != n) return false;
    }
    return true;
  };

  const char* base = haystack.data();
  const size_t last = haystack.size() - needle.size();  // last possible start
  const auto first = static_cast<unsigned char>(needle[0]);
  const unsigned char lower = folds[0] ? lowerAscii(first) : first;
  const unsigned char upper = folds[0] ? static_cast<unsigned char>(lower - 32) : first;
  size_t nextLower = std::string_view::npos;  // cached candidates of each case, >= pos when set
  size_t nextUpper = std::string_view::npos;
  auto nextOf = [&](unsigned char c, size_t pos, size_t& cached) {
    if (cached == std::string_view::npos || cached < pos) {
      const void* hit = std::memchr(base + pos, c, last - pos + 1);
      cached = hit ? static_cast<size_t>(static_cast<const char*>(hit) - base) : haystack.size();
    }
    return cached;
  };

  size_t boundary = from;  // a known character boundary at or before every later candidate
  for (size_t pos = from; pos <= last;) {
    size_t hit = nextOf(lower, pos, nextLower);
    if (upper != lower) hit = std::min(hit, nextOf(upper, pos, nextUpper));
    if (hit > last) return std::string_view::npos;
    if (matchesAt(hit)) {
      // An even run of bytes >= 0x80 before the hit (back to a byte below 0x80 or to the known
      // boundary) pairs up into whole characters: the hit starts a character.
      size_t run = 0;
      while (hit - run > boundary && static_cast<unsigned char>(base[hit - run - 1]) >= 0x80) ++run;
      if (run % 2 == 0) return hit;
      boundary = hit + 1;  // the hit is a trail byte, so a character starts right after it
    }
    pos = hit + 1;
  }
  return std::string_view::npos;
}

}  // namespace chengling
