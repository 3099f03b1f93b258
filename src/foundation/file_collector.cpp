#include "foundation/file_collector.h"

#include <algorithm>

#include "foundation/file_system.h"
#include "foundation/gb18030_table.h"
#include "foundation/internal_text.h"
#include "foundation/path_helpers.h"
#include "foundation/text_codec.h"
#include "foundation/text_lines.h"

namespace chengling {
namespace {

unsigned char foldByte(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c; }

// Bytes of the character at `pos` for wildcard matching: a GB18030 four-byte character, or a unit
// of the character rule without CR LF.
size_t unitLength(std::string_view text, size_t pos) {
  if (text.size() - pos >= 4 && gb18030::isFourByteForm(reinterpret_cast<const unsigned char*>(text.data()) + pos)) {
    return 4;
  }
  return byteUnitLength(text.data() + pos, text.data() + text.size());
}

// True when the character of `name` at `n` equals the one of `pattern` at `p` (both `length` bytes).
bool sameUnit(std::string_view name, size_t n, std::string_view pattern, size_t p, size_t length) {
  if (length == 1) {
    return foldByte(static_cast<unsigned char>(name[n])) == foldByte(static_cast<unsigned char>(pattern[p]));
  }
  return name.compare(n, length, pattern, p, length) == 0;
}

bool endsWithIgnoringCase(std::string_view name, std::string_view tail) {
  if (tail.size() > name.size()) return false;
  // The tail must start on a character boundary of the name.
  const size_t start = name.size() - tail.size();
  size_t pos = 0;
  while (pos < start) pos += unitLength(name, pos);
  if (pos != start) return false;
  return asciiLower(name.substr(start)) == asciiLower(tail);
}

// Whether `name` is taken by the alternative matcher's single pattern.
bool alternativeMatch(std::string_view name, std::string_view pattern) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (pattern.size() >= 2 && pattern.substr(0, 2) == "*." && pattern.find('*', 1) == std::string_view::npos &&
      pattern != "*.htm") {
    return endsWithIgnoringCase(name, pattern.substr(1));
  }
  return wildcardMatch(name, pattern);
}

void appendMatches(std::string_view folderText, const std::vector<std::string>& names,
                   std::string_view pattern, bool alternative, PathList& list) {
  for (const std::string& name : names) {
    if (alternative ? alternativeMatch(name, pattern) : wildcardMatch(name, pattern)) {
      std::string path;
      path.reserve(folderText.size() + name.size());
      path.append(folderText).append(name);
      list.push_back(std::move(path));
    }
  }
}

}  // namespace

bool nameLess(std::string_view a, std::string_view b) {
  // While the names agree they hold the same characters, so the walk over `a` serves both. The
  // trail byte of a double-byte character is never folded.
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common;) {
    const size_t length = byteUnitLength(a.data() + i, a.data() + common);
    for (size_t k = i; k < i + length; ++k) {
      unsigned char ca = static_cast<unsigned char>(a[k]);
      unsigned char cb = static_cast<unsigned char>(b[k]);
      if (k == i) {
        ca = foldByte(ca);
        cb = foldByte(cb);
      }
      if (ca != cb) return ca < cb;
    }
    i += length;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

bool wildcardMatch(std::string_view name, std::string_view pattern) {
  if (pattern == "*.*") return true;
  // Greedy matching with one backtrack point (the last *): linear for patterns with one star and
  // never worse than O(name * pattern).
  size_t n = 0;
  size_t p = 0;
  size_t starP = std::string_view::npos;
  size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = ++p;
      starN = n;
      continue;
    }
    if (p < pattern.size()) {
      const size_t nameLength = unitLength(name, n);
      if (pattern[p] == '?') {
        n += nameLength;
        ++p;
        continue;
      }
      const size_t patternLength = unitLength(pattern, p);
      if (nameLength == patternLength && sameUnit(name, n, pattern, p, nameLength)) {
        n += nameLength;
        p += patternLength;
        continue;
      }
    }
    if (starP == std::string_view::npos) return false;
    starN += unitLength(name, starN);
    n = starN;
    p = starP;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

int ListFolder(FileSystem& fs, std::string_view folder, std::string_view patterns, ListingKind kind, bool append,
               Matcher matcher, PathList& list) {
  if (!append) list.clear();
  std::vector<std::string> names = folderEntries(fs, folder, kind == ListingKind::Folders);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return nameLess(a, b); });
  const std::string folderText = withTrailingSeparator(folder);
  if (matcher == Matcher::Alternative) {
    appendMatches(folderText, names, patterns.empty() ? std::string_view("*") : patterns, true, list);
  } else {
    // Each pattern lists in turn, so a name that two patterns take is listed twice. An empty piece
    // between two "|" takes nothing.
    for (const std::string& pattern : splitText(patterns.empty() ? std::string_view("*.*") : patterns, "|")) {
      if (!pattern.empty()) appendMatches(folderText, names, pattern, false, list);
    }
  }
  return static_cast<int>(list.size());
}

PathList pathListFromText(std::string_view text) {
  PathList list;
  for (size_t pos = 0; pos < text.size();) list.emplace_back(nextLine(text, pos));
  return list;
}

std::string pathListToText(const PathList& list) {
  std::string text;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += list[i];
  }
  return text;
}

std::vector<std::string> listFileLines(std::string_view bytes) {
  const std::string text = DecodeBuffer(bytes, TextEncoding::Detect);
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < text.size();) lines.emplace_back(nextLine(text, pos));
  // A list file's last line loses a CR at its end too.
  if (!text.empty() && text.back() == '\r') lines.back().pop_back();
  return lines;
}

}  // namespace chengling
