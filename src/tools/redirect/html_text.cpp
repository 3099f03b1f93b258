#include "tools/redirect/html_text.h"

#include <algorithm>
#include <array>

#include "foundation/internal_text.h"

namespace chengling {
namespace {

constexpr size_t kMaxBlanks = 10;

// Bytes of the blank character at `pos`: ASCII white space (1) or the full-width space A1 A1 (2);
// 0 for anything else. `pos` is on a character boundary.
size_t blankAt(std::string_view text, size_t pos) {
  switch (text[pos]) {
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r':
      return 1;
    default:
      break;
  }
  if (static_cast<unsigned char>(text[pos]) == 0xA1 && pos + 1 < text.size() &&
      static_cast<unsigned char>(text[pos + 1]) == 0xA1) {
    return 2;
  }
  return 0;
}

bool isNameEnd(std::string_view text, size_t pos) {
  if (pos >= text.size()) return true;
  switch (text[pos]) {
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r': case '>': case '/':
      return true;
    default:
      return false;
  }
}

// `tag` at `pos`, ASCII case ignored, followed by the end of a tag name.
bool tagNameAt(std::string_view text, size_t pos, std::string_view tag) {
  if (pos + tag.size() > text.size()) return false;
  if (asciiLower(text.substr(pos, tag.size())) != asciiLower(tag)) return false;
  return isNameEnd(text, pos + tag.size());
}

struct Span {
  size_t start = 0;    // its "<"
  size_t openEnd = 0;  // just after the ">" of its opening tag
  size_t end = 0;      // just after the ">" of its closing tag, or openEnd
};

// Every element named `tag`, in document order, in one pass: opening tags are matched to closing
// tags with a stack, which pairs them exactly as counting nested openings would. "<" is never the
// trail byte of a double-byte character, so a byte scan for it is GBK-safe.
std::vector<Span> elementSpans(std::string_view text, std::string_view tag) {
  std::vector<Span> done;
  std::vector<Span> open;
  // A tag ends after its ">", or, when another "<" comes first (or there is no ">"), just before
  // that "<" or at the end: an unfinished tag never swallows the tags after it.
  size_t nextClose = text.find('>');
  auto tagEnd = [&](size_t pos) {
    if (nextClose != std::string_view::npos && nextClose < pos) nextClose = text.find('>', pos);
    const size_t nextOpen = text.find('<', pos + 1);
    if (nextClose != std::string_view::npos && nextClose < nextOpen) return nextClose + 1;
    return nextOpen == std::string_view::npos ? text.size() : nextOpen;
  };
  for (size_t pos = text.find('<'); pos != std::string_view::npos; pos = text.find('<', pos + 1)) {
    if (pos + 1 < text.size() && text[pos + 1] == '/') {
      if (!tagNameAt(text, pos + 2, tag)) continue;
      const size_t end = tagEnd(pos);
      if (!open.empty()) {
        Span span = open.back();
        open.pop_back();
        span.end = end;
        done.push_back(span);
      }
      continue;
    }
    if (!tagNameAt(text, pos + 1, tag)) continue;
    Span span;
    span.start = pos;
    span.openEnd = tagEnd(pos);
    span.end = span.openEnd;
    const bool selfClosing = span.openEnd >= 2 && text[span.openEnd - 1] == '>' &&
                             text[span.openEnd - 2] == '/';
    if (selfClosing) {
      done.push_back(span);
    } else {
      open.push_back(span);
    }
  }
  done.insert(done.end(), open.begin(), open.end());  // never closed: they end at their own ">"
  std::sort(done.begin(), done.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
  return done;
}

bool contains(std::string_view text, std::string_view needle) {
  return findIgnoringCase(text, needle) != std::string_view::npos;
}

// One pass of AttributeValue for the marker `key` (prefix + name).
std::string attributePass(std::string_view text, const std::string& key) {
  const std::string assign = key + "=";
  // A quoted value ends the pass, even when it is empty ("" or '').
  for (const char* quote : {"\"", "'"}) {
    if (contains(text, assign + quote)) return TextBetween(text, assign + quote, quote);
  }
  const std::string spaceEnded = TextBetween(text, assign, " ");
  const std::string bracketEnded = TextBetween(text, assign, ">");
  std::string value = spaceEnded;
  if ((spaceEnded.empty() || bracketEnded.size() < spaceEnded.size()) && !bracketEnded.empty()) {
    value = bracketEnded;
  }
  if (value == "\"\"" || value == "''") return {};
  return value;
}

}  // namespace

std::string TextBetween(std::string_view text, std::string_view left, std::string_view right) {
  const size_t found = findIgnoringCase(text, left);
  if (found == std::string_view::npos) return {};
  const size_t start = found + left.size();
  if (right.empty()) return std::string(text.substr(start));
  const size_t stop = findIgnoringCase(text, right, start);
  if (stop == std::string_view::npos) return {};
  return std::string(text.substr(start, stop - start));
}

std::string HtmlText::collapseEquals(std::string_view text) const {
  std::string out;
  out.reserve(text.size());
  // Byte lengths of the last blanks written, newest last; only the last kMaxBlanks can be dropped.
  std::array<unsigned char, kMaxBlanks> blanks{};
  size_t blankCount = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == '=') {
      for (; blankCount > 0; --blankCount) out.resize(out.size() - blanks[blankCount - 1]);
      out += '=';
      ++pos;
      for (size_t skipped = 0; skipped < kMaxBlanks && pos < text.size(); ++skipped) {
        const size_t length = blankAt(text, pos);
        if (length == 0) break;
        pos += length;
      }
      continue;
    }
    if (const size_t length = blankAt(text, pos); length > 0) {
      if (blankCount == kMaxBlanks) {
        std::copy(blanks.begin() + 1, blanks.end(), blanks.begin());
        --blankCount;
      }
      blanks[blankCount++] = static_cast<unsigned char>(length);
      out.append(text.substr(pos, length));
      pos += length;
      continue;
    }
    const size_t length = std::max<size_t>(charLengthAt(text, pos), 1);
    out.append(text.substr(pos, length));
    pos += length;
    blankCount = 0;
  }
  return out;
}

std::string HtmlText::RemoveElements(std::string_view text, std::string_view tag) const {
  std::string out;
  size_t copied = 0;
  for (const Span& span : elementSpans(text, tag)) {
    if (span.start < copied) continue;  // inside an element already removed
    out.append(text.substr(copied, span.start - copied));
    copied = span.end;
  }
  out.append(text.substr(std::min(copied, text.size())));
  return out;
}

std::string HtmlText::FindElement(std::string_view text, std::string_view tag,
                                  const std::vector<std::string>& names,
                                  const std::vector<std::string>& values) const {
  if (tag.empty()) return {};
  const size_t pairs = std::min(names.size(), values.size());
  for (const Span& span : elementSpans(text, tag)) {
    bool matches = true;
    if (pairs > 0) {
      const std::string opening = collapseEquals(text.substr(span.start, span.openEnd - span.start));
      for (size_t i = 0; i < pairs && matches; ++i) {
        matches = contains(AttributeValue(opening, names[i]), values[i]);
      }
    }
    if (matches) return collapseEquals(text.substr(span.start, span.end - span.start));
  }
  return {};
}

std::string HtmlText::AttributeValue(std::string_view text, std::string_view name) const {
  for (const char* prefix : {" ", ""}) {
    const std::string value = attributePass(text, prefix + std::string(name));
    if (!value.empty()) return std::string(trimSpaces(value));
  }
  return {};
}

}  // namespace chengling
