#pragma once
// Finds the ordinary ("…" or '…') string and character literals of a C++ source that hold bytes
// beyond ASCII. In code built without Qt such a literal is internal text (GB18030), in Qt code it is
// UTF-8: the same characters are two different byte strings, so Qt code spells Chinese as u"…"_s
// (or u8"…") and never as an ordinary literal. Comments, raw strings and the prefixed literals
// (u, U, L, u8) are read past; a digit separator (1'000) is no character literal.

#include <string>
#include <string_view>
#include <vector>

namespace chengling::source_check {

struct NarrowLiteral {
  int line = 0;       // 1-based
  std::string text;   // the literal as written, with its prefix and quotes
};

std::vector<NarrowLiteral> narrowNonAsciiLiterals(std::string_view source);

}  // namespace chengling::source_check
