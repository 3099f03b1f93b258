#pragma once
// Sniffing: what the bytes of a text say about their encoding before anything is decoded. Each
// check is one linear pass; none fails on any input.

#include <string_view>

namespace chengling {

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
