#include "source_check/narrow_literals.h"

#include <algorithm>
#include <cctype>

namespace chengling::source_check {
namespace {

bool identifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

bool beyondAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

int linesIn(std::string_view text) {
  int lines = 0;
  for (char c : text) lines += c == '\n' ? 1 : 0;
  return lines;
}

}  // namespace

std::vector<NarrowLiteral> narrowNonAsciiLiterals(std::string_view source) {
  std::vector<NarrowLiteral> found;
  int line = 1;
  size_t i = 0;
  const size_t n = source.size();
  while (i < n) {
    const char c = source[i];
    if (c == '\n') {
      ++line;
      ++i;
      continue;
    }
    if (source.substr(i, 2) == "//") {
      const size_t end = source.find('\n', i);
      i = end == std::string_view::npos ? n : end;
      continue;
    }
    if (source.substr(i, 2) == "/*") {
      size_t end = source.find("*/", i + 2);
      end = end == std::string_view::npos ? n : end + 2;
      line += linesIn(source.substr(i, end - i));
      i = end;
      continue;
    }
    if (c != '"' && c != '\'') {
      ++i;
      continue;
    }
    // The prefix is the identifier right before the quote: u, U, L, u8, R, uR, u8R, ...
    size_t start = i;
    while (start > 0 && identifierChar(source[start - 1])) --start;
    const std::string_view prefix = source.substr(start, i - start);
    if (c == '\'' && !prefix.empty() && std::isdigit(static_cast<unsigned char>(prefix.front())) != 0) {
      ++i;  // 1'000
      continue;
    }
    const bool raw = !prefix.empty() && prefix.back() == 'R' && c == '"';
    const std::string_view encoding = raw ? prefix.substr(0, prefix.size() - 1) : prefix;
    size_t end = 0;
    std::string_view body;
    if (raw) {
      const size_t open = source.find('(', i);
      if (open == std::string_view::npos) break;
      const std::string closing = ")" + std::string(source.substr(i + 1, open - i - 1)) + "\"";
      const size_t close = source.find(closing, open);
      if (close == std::string_view::npos) break;
      body = source.substr(open + 1, close - open - 1);
      end = close + closing.size();
    } else {
      size_t j = i + 1;
      while (j < n && source[j] != c && source[j] != '\n') j += source[j] == '\\' ? 2 : 1;
      end = j < n ? j + 1 : n;
      body = source.substr(i + 1, std::min(j, n) - i - 1);
    }
    const bool plain = encoding.empty() || !(encoding == "u" || encoding == "U" || encoding == "L" || encoding == "u8");
    if (plain && beyondAscii(body)) found.push_back({line, std::string(source.substr(start, end - start))});
    line += linesIn(source.substr(i, end - i));
    i = end;
  }
  return found;
}

}  // namespace chengling::source_check
