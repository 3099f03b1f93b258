#pragma once
// Internal text: a std::string of GB18030 bytes (GBK for every GBK character). Lengths and positions
// count bytes. Every helper here works on those bytes and never fails: bad input gives a defined
// result, never an exception.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace chengling {

// The text before its first NUL byte: internal text ends there.
std::string_view cutAtNul(std::string_view text);

// Pieces of `text` between occurrences of `separator`. Empty pieces between two separators stay, a
// trailing empty piece is dropped, an empty text gives no pieces. An empty separator gives the
// whole text as one piece.
std::vector<std::string> splitText(std::string_view text, std::string_view separator);

// Every occurrence of `from` replaced by `to`, left to right, non-overlapping, case-sensitive.
// An empty `from` leaves the text unchanged.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

// Integers in plain decimal; other numbers with at most 13 significant digits, without trailing
// zeros or a trailing point.
std::string numberToText(double value);
std::string numberToText(int64_t value);

// Leading blanks skipped, optional sign, decimal digits up to the first non-digit, read into a 32-bit
// signed result that wraps around. Full-width digits and signs (０-９, ＋, －) count as ASCII.
// No digits give 0.
int32_t textToInteger(std::string_view text);

// The text with every full-width form of an ASCII character (A3 xx) and the ideographic space made
// ASCII, so that a number typed with a Chinese input method reads as one.
std::string narrowFullWidth(std::string_view text);

// Rounds halves away from zero; 0.000000000001 is added before the fraction is compared with 0.5.
double roundTo(double value, int decimals);

// `text` without spaces (0x20) at either end.
inline std::string_view trimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The character rule, walked here and nowhere else: a byte of 0x80 or above and the byte after it
// form one character (a lone lead byte at the end counts 1), CR LF forms one, every other byte is
// one. Inline: the character modes of the split engine walk whole files with it.

// True for a byte that leads a double-byte character (when a byte follows it).
inline bool leadsDoubleByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// Bytes of the double-byte unit at `p` (< `end`): the rule without CR LF, for searches that must
// be able to stop between a CR and its LF.
inline size_t byteUnitLength(const char* p, const char* end) { return leadsDoubleByte(*p) && end - p >= 2 ? 2 : 1; }

// The same at `pos` (< text.size()) of a text.
inline size_t byteUnitLengthAt(std::string_view text, size_t pos) {
  return byteUnitLength(text.data() + pos, text.data() + text.size());
}

// Bytes taken by the character at `p` (< `end`).
inline size_t charLength(const char* p, const char* end) {
  if (*p == '\r' && end - p >= 2 && p[1] == '\n') return 2;
  return byteUnitLength(p, end);
}

// The same at `pos` of a text; 0 at or past its end.
inline size_t charLengthAt(std::string_view text, size_t pos) {
  return pos < text.size() ? charLength(text.data() + pos, text.data() + text.size()) : 0;
}

// Number of characters under the character rule.
int64_t CharCount(std::string_view text);

// The first `n` characters; the whole text when it has fewer; empty for 0; for a negative `n`, all
// but the last -n characters.
std::string FirstChars(std::string_view text, int64_t n);

// \ / : * ? | < > become ＼ ／ ： ＊ ？ ｜ ＜ ＞; double quotes, CR, LF and TAB go. With `cut` the first
// 200 characters are kept; with `trim` spaces at both ends are removed.
std::string SanitizeFileName(std::string_view text, bool cut, bool trim);

// ASCII-only case folding, safe on double-byte text (trail bytes are never folded).
std::string asciiLower(std::string_view text);

// Position of `needle` in `haystack` ignoring ASCII case, starting at `from`, on character
// boundaries only (never inside a double-byte character); npos when absent.
size_t findIgnoringCase(std::string_view haystack, std::string_view needle, size_t from = 0);

}  // namespace chengling
