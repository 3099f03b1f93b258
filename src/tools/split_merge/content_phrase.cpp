#include "tools/split_merge/content_phrase.h"

#include <array>

#include "foundation/internal_text.h"

namespace chengling {
namespace {

// Double-byte separators, each two bytes of internal text.
constexpr std::string_view kWideSeparators[] = {
    "，", "。", "！", "？", "；", "：", "《", "》", "（", "）", "、", "‘", "’", "“", "”",
};

constexpr std::array<bool, 128> makeNarrowSeparators() {
  std::array<bool, 128> table{};
  for (const char c : std::string_view(",!?;<>/:()='{}- \"\r\n")) table[static_cast<unsigned char>(c)] = true;
  return table;
}
constexpr std::array<bool, 128> kNarrowSeparators = makeNarrowSeparators();

// Bytes of the separator at `pos`, 0 when there is none.
size_t separatorAt(std::string_view text, size_t pos) {
  const auto c = static_cast<unsigned char>(text[pos]);
  if (c < 0x80) {
    if (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') return 2;
    if (c == '.' && pos + 1 < text.size() && text[pos + 1] == ' ') return 2;
    return kNarrowSeparators[c] ? 1 : 0;
  }
  if (pos + 1 >= text.size()) return 0;
  const std::string_view wide = text.substr(pos, 2);
  for (const std::string_view s : kWideSeparators) {
    if (wide == s) return 2;
  }
  return 0;
}

// Without spaces and ideographic spaces at both ends.
std::string_view trimWideSpaces(std::string_view text) {
  while (true) {
    if (!text.empty() && text.front() == ' ') {
      text.remove_prefix(1);
    } else if (text.size() >= 2 && text.substr(0, 2) == "　") {
      text.remove_prefix(2);
    } else {
      break;
    }
  }
  while (true) {
    if (!text.empty() && text.back() == ' ') {
      text.remove_suffix(1);
    } else if (text.size() >= 2 && text.substr(text.size() - 2) == "　") {
      // Only a whole character: the byte before the pair must not be a lead byte waiting for its trail.
      size_t pos = 0;
      while (pos + 2 < text.size()) pos += byteUnitLength(text.data() + pos, text.data() + text.size());
      if (pos != text.size() - 2) break;
      text.remove_suffix(2);
    } else {
      break;
    }
  }
  return text;
}

}  // namespace

std::string removeMarkup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('<', pos);
    if (open == std::string_view::npos) break;
    const size_t stop = text.find_first_of("<>", open + 1);
    if (stop == std::string_view::npos) break;
    if (text[stop] == '<') {
      out.append(text.substr(pos, stop - pos));
      pos = stop;
      continue;
    }
    out.append(text.substr(pos, open - pos));
    pos = stop + 1;
  }
  out.append(text.substr(pos));
  return out;
}

std::string ContentPhrase(std::string_view source, int64_t n, std::mt19937_64& random) {
  const std::string text = removeMarkup(source);
  const std::string_view view = text;
  // Choosing uniformly among the qualifying candidates is what drawing all of them in random
  // order and taking the first that qualifies amounts to; reservoir sampling keeps it to one pass.
  std::string_view chosenLong;
  std::string_view chosenAny;
  uint64_t longSeen = 0;
  uint64_t anySeen = 0;
  const auto consider = [&](std::string_view candidate) {
    ++anySeen;
    if (random() % anySeen == 0) chosenAny = candidate;
    const std::string_view trimmed = trimWideSpaces(candidate);
    if (!trimmed.empty() && CharCount(trimmed) >= n) {
      ++longSeen;
      if (random() % longSeen == 0) chosenLong = trimmed;
    }
  };
  if (view.empty()) return {};
  size_t start = 0;
  size_t pos = 0;
  while (pos < view.size()) {
    const size_t separator = separatorAt(view, pos);
    if (separator > 0) {
      consider(view.substr(start, pos - start));
      pos += separator;
      start = pos;
    } else {
      pos += byteUnitLength(view.data() + pos, view.data() + view.size());
    }
  }
  // A trailing empty piece is no candidate, as in every split of a text at separators.
  if (start < view.size()) consider(view.substr(start));
  return std::string(longSeen > 0 ? chosenLong : chosenAny);
}

}  // namespace chengling
