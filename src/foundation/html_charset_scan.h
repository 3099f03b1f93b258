#pragma once
// DetectHtmlCharset over a text that arrives in pieces, cut anywhere, without holding it: the
// first "<head>", the first "</head>" after it and the meta tags are followed as the pieces pass,
// the meta walk both over the whole text and over the head section, and the one that applies is
// chosen at the end.

#include <cstdint>
#include <string>
#include <string_view>

namespace chengling {

class HtmlCharsetScan {
 public:
  // The pieces of the text in order (the text ends at its first NUL: the caller stops there).
  void feed(std::string_view piece);
  // DetectHtmlCharset of everything fed: 0 none, 1 UTF-8, 2 BIG5, 3 BIG5-HKSCS.
  int result() const;
  // Whether more text could still change the result.
  bool settled() const;

 private:
  static constexpr uint64_t kUnknown = UINT64_MAX;

  // The meta walk over one section: from `start` up to `end` (exclusive; kUnknown while open).
  struct Walk {
    enum class State { SeekMeta, InFragment, Done };
    State state = State::SeekMeta;
    uint64_t from = 0;       // where the next "<meta" may start, or where the fragment starts
    int found = 0;           // best pattern group seen in the fragment: 1, 3, 2 in that order of rank
    int result = 0;
    void advance(const HtmlCharsetScan& scan, uint64_t limit);
    void end();
  };

  // Position (absolute) of `needle` at or after `from` whose whole length ends at or before
  // `limit`, ignoring ASCII case and starting on a character boundary; kUnknown if none. Only the
  // kept bytes and the current piece are searched.
  uint64_t find(std::string_view needle, uint64_t from, uint64_t limit) const;
  uint64_t findByte(char c, uint64_t from, uint64_t limit) const;
  // Whether an odd run of bytes of 0x80 and above stands right before position `at`.
  bool oddRunBefore(uint64_t at) const;
  unsigned char byteAt(uint64_t at) const {
    return static_cast<unsigned char>(at < pieceStart_ ? kept_[at - keptStart_] : piece_[at - pieceStart_]);
  }
  bool matchesAt(std::string_view needle, uint64_t at) const;

  std::string kept_;           // the last few bytes of the text before the current piece
  uint64_t keptStart_ = 0;     // absolute position of kept_[0]
  bool oddRunBeforeKept_ = false;
  std::string_view piece_;     // the piece being fed
  uint64_t pieceStart_ = 0;
  uint64_t fed_ = 0;
  uint64_t head_ = kUnknown;     // start of the first "<head>"
  uint64_t headEnd_ = kUnknown;  // start of the first "</head>" after it
  Walk whole_;
  Walk section_;
  bool sectionStarted_ = false;
};

}  // namespace chengling
