#pragma once
// A conversion between charsets of an input that arrives in pieces: the output of all pieces
// together is exactly appendConverted's of the whole input, replacements and lossy flag included.
// Each piece is converted up to the last position where a character starts whatever came before it;
// the rest waits for the next piece (so a character or a CR LF cut by a piece boundary is never
// split). A text with no such position for a long way is held until one comes.

#include <string>
#include <string_view>

namespace chengling {

class CharsetStream {
 public:
  // iconv names; the source must be one of UTF-8, UTF-16LE, UTF-16BE, GB18030, BIG5, BIG5-HKSCS.
  CharsetStream(std::string_view from, std::string_view to);

  // Appends the conversion of what can be converted so far to `out`.
  void feed(std::string_view piece, std::string& out);
  // Appends the rest; the stream starts over afterwards.
  void finish(std::string& out);

  bool lossy() const { return lossy_; }
  // Input bytes held back, waiting for a position to cut at.
  size_t held() const { return held_.size(); }

 private:
  enum class Rule { Utf8, Utf16Le, Utf16Be, AfterLowByte };
  // The last / first position in `bytes` (which starts where a character starts) at which a piece
  // may end; 0 when there is none.
  size_t lastCut(std::string_view bytes) const;
  size_t firstCut(std::string_view bytes) const;
  void convert(std::string_view bytes, bool atEnd, std::string& out);

  std::string from_;
  std::string to_;
  Rule rule_;
  std::string held_;
  bool lossy_ = false;
};

}  // namespace chengling
