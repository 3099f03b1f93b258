#pragma once
// Sniffing: what the bytes of a text say about their encoding before anything is decoded. Each
// check is one linear pass; none fails on any input.

#include <string_view>

namespace chengling {

// One linear pass: true when every byte is ASCII or part of a 2- or 3-byte UTF-8 form and at least
// one byte is 0x80 or above. Four-byte forms and truncated sequences answer false.
bool LooksLikeUtf8(std::string_view bytes);

// Charset declared in a meta tag of the head (or of the whole text when there is no head):
// 0 none, 1 UTF-8, 2 BIG5, 3 BIG5-HKSCS.
int DetectHtmlCharset(std::string_view text);

// Patterns joined by "[fg]"; two apostrophes stand for a double quote. `any`: true when one pattern
// occurs; otherwise true when all occur. ASCII case ignored; an empty pattern matches any text.
bool ContainsPatterns(std::string_view text, std::string_view patterns, bool any);

}  // namespace chengling
