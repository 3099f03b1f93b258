#pragma once
// Sniffing: what the bytes of a text say about their encoding before anything is decoded. Each
// check is one linear pass; none fails on any input.

#include <cstddef>
#include <string_view>

namespace chengling {

// Detection of the bytes that have no mark, no declaration and are no UTF-8 (where GBK is the
// answer unless the bytes say otherwise) looks at this many bytes from the start at most: past
// leading ASCII up to the first byte that could start something else, then a window from there.
inline constexpr size_t kGuessPrefix = size_t{64} << 10;
inline constexpr size_t kGuessWindow = size_t{16} << 10;

enum class UnmarkedGuess { Gbk, Big5, Utf16Le, Utf16Be };

// GBK (GB18030) unless the bytes are strong evidence of BIG5 or of UTF-16 without a mark: every
// byte valid in that encoding, and the text it gives far likelier as Chinese (how common its
// characters are, and for UTF-16 where the zero bytes fall) than the GBK reading. Binary content is
// never UTF-16: a NUL or control unit, or a lone surrogate, rules it out. Looks at `bytes` up to
// kGuessPrefix + kGuessWindow only.
UnmarkedGuess GuessUnmarkedEncoding(std::string_view bytes);
// The same from the start of a longer text of `totalSize` bytes (SIZE_MAX: not known), of which
// `prefix` holds at least the first kGuessPrefix + kGuessWindow or all.
UnmarkedGuess GuessUnmarkedEncoding(std::string_view prefix, size_t totalSize);

// One linear pass: true when every byte is ASCII or part of a 2- or 3-byte UTF-8 form and at least
// one byte is 0x80 or above. Four-byte forms and truncated sequences answer false.
bool LooksLikeUtf8(std::string_view bytes);

// LooksLikeUtf8 of a text that arrives in pieces, cut anywhere: feed() every piece in order, then
// result() gives what LooksLikeUtf8 gives for the whole. Once failed() it stays so.
class Utf8Scan {
 public:
  void feed(std::string_view piece);
  bool failed() const { return failed_; }
  bool result() const;

 private:
  unsigned char before_[2] = {0, 0};  // the last two bytes fed; ASCII before the start
  bool failed_ = false;
  bool seenHigh_ = false;
};

// Charset declared in a meta tag of the head (or of the whole text when there is no head):
// 0 none, 1 UTF-8, 2 BIG5, 3 BIG5-HKSCS.
int DetectHtmlCharset(std::string_view text);

// Patterns joined by "[fg]"; two apostrophes stand for a double quote. `any`: true when one pattern
// occurs; otherwise true when all occur. ASCII case ignored; an empty pattern matches any text.
bool ContainsPatterns(std::string_view text, std::string_view patterns, bool any);

}  // namespace chengling
