#include "foundation/encoding_detection.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/internal_text.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

std::vector<std::string> patternParts(std::string_view patterns) {
  std::vector<std::string> parts = splitText(patterns, "[fg]");
  for (std::string& part : parts) part = replaceAll(part, "''", "\"");
  return parts;
}

bool containsParts(std::string_view text, const std::vector<std::string>& parts, bool any) {
  for (const std::string& part : parts) {
    const bool found = findIgnoringCase(text, part, 0) != std::string_view::npos;
    if (any && found) return true;
    if (!any && !found) return false;
  }
  return !any;
}

}  // namespace

// The walk over 2- and 3-byte forms accepts exactly the texts in which a byte is a continuation
// (10xxxxxx) if and only if the byte before it is a lead (11xxxxxx) or the byte two before is a
// 3-byte lead (1110xxxx), no byte is F0 or above, and no form is cut off at the end. That holds per
// position, so it is checked sixteen bytes at a time, in one pass, and a piece needs only the two
// bytes before it.
void Utf8Scan::feed(std::string_view piece) {
  if (failed_ || piece.empty()) return;
  const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
  const size_t n = piece.size();
  Utf8Block::Mask errors = {};
  Utf8Block::Bytes seen = {};
  auto check = [&](const unsigned char* at, const unsigned char* before1, const unsigned char* before2,
                   Utf8Block::Mask lanes) {
    const Utf8Block block(at, before1, before2);
    errors |= (block.misplaced() | (block.b >= 0xF0)) & lanes;
    seen |= block.b;
  };
  constexpr Utf8Block::Mask kEveryLane = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  const auto any = [](auto vector) { return Utf8Block::any(vector); };

  size_t i = 0;
  if (n >= 16) {
    unsigned char head[18] = {};
    std::memcpy(head, before_, 2);
    std::memcpy(head + 2, p, 16);
    check(head + 2, head + 1, head, kEveryLane);
    for (i = 16; i + 16 <= n; i += 16) {
      check(p + i, p + i - 1, p + i - 2, kEveryLane);
      if ((i & 4095) == 0 && any(errors)) break;
    }
  }
  if (!any(errors) && i < n) {
    // The rest, padded with zeros that are never judged: only the first n - i lanes count.
    unsigned char tail[18 + 16] = {};
    if (i >= 2) {
      std::memcpy(tail, p + i - 2, 2);
    } else if (i == 1) {
      tail[0] = before_[1];
      tail[1] = p[0];
    } else {
      std::memcpy(tail, before_, 2);
    }
    std::memcpy(tail + 2, p + i, n - i);
    Utf8Block::Mask lanes = {};
    for (size_t k = 0; k < n - i; ++k) lanes[k] = -1;
    check(tail + 2, tail + 1, tail, lanes);
  }
  if (any(errors)) failed_ = true;
  if (any(seen & 0x80)) seenHigh_ = true;
  before_[0] = n >= 2 ? p[n - 2] : before_[1];
  before_[1] = p[n - 1];
}

// The end: a form cut off there expects a continuation that never comes.
bool Utf8Scan::result() const {
  return !failed_ && seenHigh_ && before_[1] < 0xC0 && before_[0] < 0xE0;
}

bool LooksLikeUtf8(std::string_view bytes) {
  Utf8Scan scan;
  scan.feed(bytes);
  return scan.result();
}

bool ContainsPatterns(std::string_view text, std::string_view patterns, bool any) {
  return containsParts(text, patternParts(patterns), any);
}

int DetectHtmlCharset(std::string_view text) {
  static const std::vector<std::string> kUtf8 = patternParts("charset=UTF-8[fg]charset=''UTF-8''[fg]charset='UTF-8'");
  static const std::vector<std::string> kBig5 = patternParts("charset=Big5[fg]charset=''Big5''[fg]charset='Big5'");
  static const std::vector<std::string> kBig5Hkscs =
      patternParts("charset=Big5-HKSCS[fg]charset=''Big5-HKSCS''[fg]charset='Big5-HKSCS'");

  std::string_view section = text;
  const size_t head = findIgnoringCase(text, "<head>", 0);
  if (head != std::string_view::npos) {
    const size_t start = head + 6;
    const size_t end = findIgnoringCase(text, "</head>", start);
    if (end != std::string_view::npos && end > start) section = text.substr(start, end - start);
  }
  for (size_t pos = 0;;) {
    const size_t meta = findIgnoringCase(section, "<meta", pos);
    if (meta == std::string_view::npos) break;
    const size_t start = meta + 5;
    const size_t close = section.find('>', start);
    if (close == std::string_view::npos || close == start) break;  // an empty fragment ends the walk
    const std::string_view fragment = section.substr(start, close - start);
    if (containsParts(fragment, kUtf8, true)) return 1;
    if (containsParts(fragment, kBig5Hkscs, true)) return 3;
    if (containsParts(fragment, kBig5, true)) return 2;
    pos = close + 1;
  }
  return 0;
}

}  // namespace chengling
