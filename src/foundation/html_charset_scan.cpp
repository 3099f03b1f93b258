#include "foundation/html_charset_scan.h"

#include <algorithm>
#include <cstring>

namespace chengling {
namespace {

// Bytes of the previous text kept before a piece: the longest needle (charset="Big5-HKSCS") less one,
// rounded up.
constexpr size_t kKeep = 32;

unsigned char lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// The charset patterns of a meta fragment, by group: 1 UTF-8, 3 BIG5-HKSCS, 2 BIG5.
struct Pattern {
  std::string_view text;
  int group;
};
constexpr Pattern kPatterns[] = {
    {"charset=utf-8", 1},      {"charset=\"utf-8\"", 1},      {"charset='utf-8'", 1},
    {"charset=big5-hkscs", 3}, {"charset=\"big5-hkscs\"", 3}, {"charset='big5-hkscs'", 3},
    {"charset=big5", 2},       {"charset=\"big5\"", 2},       {"charset='big5'", 2},
};

int rank(int group) { return group == 1 ? 3 : group == 3 ? 2 : group == 2 ? 1 : 0; }

}  // namespace

bool HtmlCharsetScan::oddRunBefore(size_t index) const {
  size_t run = 0;
  while (index > run && static_cast<unsigned char>(window_[index - run - 1]) >= 0x80) ++run;
  const bool odd = run % 2 == 1;
  return run == index ? odd != oddRunBeforeWindow_ : odd;
}

uint64_t HtmlCharsetScan::find(std::string_view needle, uint64_t from, uint64_t limit) const {
  const uint64_t windowEnd = windowStart_ + window_.size();
  limit = std::min(limit, windowEnd);
  from = std::max(from, windowStart_);
  if (limit < from + needle.size()) return kUnknown;
  const char* base = window_.data();
  const size_t last = static_cast<size_t>(limit - windowStart_ - needle.size());  // last start
  const auto first = static_cast<unsigned char>(needle[0]);
  const unsigned char upper = first >= 'a' && first <= 'z' ? static_cast<unsigned char>(first - 32) : first;
  auto next = [&](unsigned char c, size_t pos) {
    const void* hit = std::memchr(base + pos, c, last - pos + 1);
    return hit == nullptr ? last + 1 : static_cast<size_t>(static_cast<const char*>(hit) - base);
  };
  for (size_t pos = static_cast<size_t>(from - windowStart_); pos <= last; ++pos) {
    pos = upper == first ? next(first, pos) : std::min(next(first, pos), next(upper, pos));
    if (pos > last) return kUnknown;
    bool same = true;
    for (size_t i = 1; i < needle.size() && same; ++i) {
      same = lower(static_cast<unsigned char>(base[pos + i])) == static_cast<unsigned char>(needle[i]);
    }
    if (same && !oddRunBefore(pos)) return windowStart_ + pos;
  }
  return kUnknown;
}

uint64_t HtmlCharsetScan::findByte(char c, uint64_t from, uint64_t limit) const {
  limit = std::min(limit, windowStart_ + window_.size());
  from = std::max(from, windowStart_);
  if (from >= limit) return kUnknown;
  const void* hit = std::memchr(window_.data() + (from - windowStart_), c, static_cast<size_t>(limit - from));
  return hit == nullptr ? kUnknown : windowStart_ + static_cast<uint64_t>(static_cast<const char*>(hit) - window_.data());
}

void HtmlCharsetScan::Walk::advance(const HtmlCharsetScan& scan, uint64_t limit) {
  while (state != State::Done) {
    if (state == State::SeekMeta) {
      // "<meta" starts with '<', which folds to itself; the search needle is otherwise lower case.
      const uint64_t meta = scan.find("<meta", from, limit);
      if (meta == kUnknown) return;
      state = State::InFragment;
      from = meta + 5;
      found = 0;
      continue;
    }
    const uint64_t close = scan.findByte('>', from, limit);
    const uint64_t fragmentEnd = close == kUnknown ? limit : close;
    // Patterns lie wholly inside the fragment; those seen in an earlier window are seen again
    // (harmlessly) in the bytes kept from it.
    for (uint64_t at = from;;) {
      const uint64_t hit = scan.find("charset=", at, fragmentEnd);
      if (hit == kUnknown) break;
      for (const Pattern& pattern : kPatterns) {
        if (rank(pattern.group) > rank(found) && scan.find(pattern.text, hit, fragmentEnd) == hit) found = pattern.group;
      }
      at = hit + 1;
    }
    if (close == kUnknown) return;
    if (close == from) {
      state = State::Done;
      result = 0;
      return;
    }
    if (found != 0) {
      state = State::Done;
      result = found;
      return;
    }
    state = State::SeekMeta;
    from = close + 1;
  }
}

void HtmlCharsetScan::Walk::end() {
  if (state != State::Done) result = 0;
  state = State::Done;
}

void HtmlCharsetScan::feed(std::string_view piece) {
  if (piece.empty()) return;
  // The window: the last kKeep bytes so far, then the piece.
  if (window_.size() > kKeep) {
    const size_t drop = window_.size() - kKeep;
    oddRunBeforeWindow_ = oddRunBefore(drop);
    window_.erase(0, drop);
    windowStart_ += drop;
  }
  window_.append(piece);
  fed_ += piece.size();

  if (head_ == kUnknown) head_ = find("<head>", 0, fed_);
  if (head_ != kUnknown && headEnd_ == kUnknown) headEnd_ = find("</head>", head_ + 6, fed_);
  whole_.advance(*this, fed_);
  if (head_ != kUnknown) {
    if (!sectionStarted_) {
      sectionStarted_ = true;
      section_.from = head_ + 6;
    }
    // Within "</head>" nothing of the walk can start or end but its '>', which lies beyond the end.
    section_.advance(*this, headEnd_ == kUnknown ? fed_ : headEnd_);
    if (headEnd_ != kUnknown) section_.end();
  }
}

bool HtmlCharsetScan::settled() const {
  return headEnd_ != kUnknown && (headEnd_ > head_ + 6 ? section_.state == Walk::State::Done : whole_.state == Walk::State::Done);
}

int HtmlCharsetScan::result() const {
  const bool inSection = head_ != kUnknown && headEnd_ != kUnknown && headEnd_ > head_ + 6;
  const Walk& walk = inSection ? section_ : whole_;
  return walk.state == Walk::State::Done ? walk.result : 0;
}

}  // namespace chengling
