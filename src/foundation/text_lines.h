#pragma once
// Lines of a text, as every reader of lines here cuts them: a line is the bytes up to the next LF;
// the LF, and a CR right before it, are its break and not part of it. The last line needs no break,
// and a break at the very end adds no empty line after it: "" has no line, "\n" one empty line,
// "a\r" one line "a\r". Inline: readers of whole files call them once per line.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace chengling {

// Where the bytes of a line that starts at `begin` end when its break is the LF at `lf`.
inline const char* lineBytesEnd(const char* begin, const char* lf) {
  return lf > begin && lf[-1] == '\r' ? lf - 1 : lf;
}

// The line of `text` that starts at `pos` (< text.size()), without its break; `pos` moves to the
// start of the next line (text.size() after the last).
inline std::string_view nextLine(std::string_view text, size_t& pos) {
  const char* const begin = text.data() + pos;
  const void* const lf = std::memchr(begin, '\n', text.size() - pos);
  if (lf == nullptr) {
    pos = text.size();
    return {begin, static_cast<size_t>(text.data() + text.size() - begin)};
  }
  const char* const stop = static_cast<const char*>(lf);
  pos = static_cast<size_t>(stop - text.data()) + 1;
  return {begin, static_cast<size_t>(lineBytesEnd(begin, stop) - begin)};
}

// How many lines nextLine finds in `text`.
inline size_t countLines(std::string_view text) {
  if (text.empty()) return 0;
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + (text.back() == '\n' ? 0 : 1);
}

}  // namespace chengling
