#include "foundation/html_charset_scan.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace chengling {
namespace {

// Bytes of the previous text kept for the next piece: the longest needle (charset="Big5-HKSCS") less
// one, rounded up.
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

bool HtmlCharsetScan::oddRunBefore(uint64_t at) const {
  uint64_t run = 0;
  while (at - run > keptStart_ && byteAt(at - run - 1) >= 0x80) ++run;
  const bool odd = run % 2 == 1;
  return at - run == keptStart_ ? odd != oddRunBeforeKept_ : odd;
}

bool HtmlCharsetScan::matchesAt(std::string_view needle, uint64_t at) const {
  for (size_t i = 0; i < needle.size(); ++i) {
    if (lower(byteAt(at + i)) != static_cast<unsigned char>(needle[i])) return false;
  }
  return !oddRunBefore(at);
}

uint64_t HtmlCharsetScan::find(std::string_view needle, uint64_t from, uint64_t limit) const {
  limit = std::min(limit, pieceStart_ + piece_.size());
  from = std::max(from, keptStart_);
  if (limit < from + needle.size()) return kUnknown;
  const uint64_t last = limit - needle.size();  // last start
  // Starts among the kept bytes: few, tried one by one.
  for (; from <= last && from < pieceStart_; ++from) {
    if (matchesAt(needle, from)) return from;
  }
  if (from > last) return kUnknown;
  // Starts in the piece: candidates by memchr of the first byte in either case.
  const char* base = piece_.data();
  const auto first = static_cast<unsigned char>(needle[0]);
  const unsigned char upper = first >= 'a' && first <= 'z' ? static_cast<unsigned char>(first - 32) : first;
  const size_t end = static_cast<size_t>(last - pieceStart_);
  auto next = [&](unsigned char c, size_t pos) {
    const void* hit = std::memchr(base + pos, c, end - pos + 1);
    return hit == nullptr ? end + 1 : static_cast<size_t>(static_cast<const char*>(hit) - base);
  };
  for (size_t pos = static_cast<size_t>(from - pieceStart_); pos <= end; ++pos) {
    pos = upper == first ? next(first, pos) : std::min(next(first, pos), next(upper, pos));
    if (pos > end) return kUnknown;
    if (matchesAt(needle, pieceStart_ + pos)) return pieceStart_ + pos;
  }
  return kUnknown;
}

uint64_t HtmlCharsetScan::findByte(char c, uint64_t from, uint64_t limit) const {
  limit = std::min(limit, pieceStart_ + piece_.size());
  from = std::max(from, keptStart_);
  for (; from < limit && from < pieceStart_; ++from) {
    if (byteAt(from) == static_cast<unsigned char>(c)) return from;
  }
  if (from >= limit) return kUnknown;
  const void* hit = std::memchr(piece_.data() + (from - pieceStart_), c, static_cast<size_t>(limit - from));
  return hit == nullptr ? kUnknown : pieceStart_ + static_cast<uint64_t>(static_cast<const char*>(hit) - piece_.data());
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
    // Patterns lie wholly inside the fragment; those seen in an earlier piece are seen again
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
  piece_ = piece;
  pieceStart_ = fed_;
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

  // The last kKeep bytes stay for the next piece.
  const uint64_t keepFrom = fed_ - std::min<uint64_t>(fed_ - keptStart_, kKeep);
  const bool odd = oddRunBefore(keepFrom);
  std::string kept;
  for (uint64_t at = keepFrom; at < fed_; ++at) kept.push_back(static_cast<char>(byteAt(at)));
  kept_ = std::move(kept);
  keptStart_ = keepFrom;
  oddRunBeforeKept_ = odd;
  pieceStart_ = fed_;
  piece_ = {};
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
