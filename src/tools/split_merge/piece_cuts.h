#pragma once
// Where a split by count or size cuts when a piece may not end inside a line or a character.
//
// A cut at byte t moves forward: to the first line end at or after t (the byte after an LF), or to
// the first character start at or after t that does not fall between CR and LF. Only the bytes
// around each cut are read, through a handle of their own and in small chunks, so the split still
// streams: memory stays small whatever the size of the file or the length of its lines.
//
// Characters are those of the encoding that detection finds on the start of the file (its first
// kTextProbeBytes, as text_check.h judges whether it is text at all): a byte-order mark (UTF-8, UTF-16LE/BE), a charset declared in an HTML meta tag
// (UTF-8, BIG5, BIG5-HKSCS), UTF-8 when every byte above ASCII there belongs to a UTF-8 character,
// else GBK with the four-byte forms of GB18030. Unlike the decode's detection, a four-byte UTF-8
// form counts as UTF-8 here: taking such a file as GBK would put cuts inside its characters. A start
// of ASCII alone decides nothing, so then each cut looks at the bytes around it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_streams.h"
#include "foundation/text_check.h"
#include "foundation/text_codec.h"

namespace chengling {

// Where a count or size split may cut.
enum class SplitCut {
  Bytes,       // at the exact byte offsets
  WholeLines,  // after the next LF: no line is cut in two, a CR LF pair never separated
  WholeChars,  // at the next character start of the file's encoding (and never inside a CR LF)
};

// What a cut needs to know of a source's characters.
struct CutText {
  TextEncoding encoding = TextEncoding::Ansi;  // Ansi (GB18030), Utf8, Utf16Le/Be, Big5, Big5Hkscs
  int64_t bodyStart = 0;    // bytes of the byte-order mark
  bool isText = true;       // false: a NUL, or more unreadable bytes than text holds (text_check.h)
  bool asciiStart = false;  // Ansi only by default: the probe held nothing but ASCII
};

// What the start of a source says, `probe` being its first bytes (all of them when `whole`).
CutText probeCutText(std::string_view probe, bool whole);

// Finds cut positions in one source. Positions are byte offsets from the start of the file.
class CutFinder {
 public:
  explicit CutFinder(FileSystem& fs = posixFileSystem()) : file_(fs) {}
  // Opens `path` and probes its start; false with the reason when it cannot be read.
  bool open(std::string_view path, std::string* error);
  const CutText& text() const { return text_; }
  int64_t size() const { return size_; }
  // The reason of the last read failure.
  const std::string& error() const { return error_; }

  // The first line end e with `at` <= e <= `limit`, or `limit` when none comes before it (`at` >= 1).
  // -1 on a read error.
  int64_t lineEndFrom(int64_t at, int64_t limit);
  // The first character start s with `at` <= s <= `limit` that is not between CR and LF, or `limit`.
  // `floor` <= `at` must be a character start (the previous cut). -1 on a read error.
  int64_t charStartFrom(int64_t at, int64_t floor, int64_t limit);
  // The line ends before the end of the file, last first, at most `most` of them; fewer means that
  // the file has no more. False on a read error.
  bool lastLineEnds(size_t most, std::vector<int64_t>& ends);
  // Makes every later read fail, so that a search under way on another thread ends soon.
  void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  // The bytes read so far, the probe included.
  int64_t bytesRead() const { return bytesRead_; }

 private:
  // The bytes [at, at + n) as far as the file has them, in chunk_; false on a read error.
  bool readAt(int64_t at, size_t n);
  bool wide() const {
    return text_.encoding == TextEncoding::Utf16Le || text_.encoding == TextEncoding::Utf16Be;
  }
  bool isLineFeedUnit(const char* unit) const;
  // The first character start at or after `at` (before the CR LF rule), for each kind of encoding.
  int64_t utf8StartFrom(int64_t at);
  int64_t utf16StartFrom(int64_t at);
  int64_t doubleByteStartFrom(int64_t at, int64_t floor, bool big5);

  FileReader file_;
  int64_t size_ = 0;
  CutText text_;
  std::string chunk_;
  std::string error_;
  std::atomic<bool> cancelled_{false};
  int64_t bytesRead_ = 0;
};

// The ends of the pieces of one source split by count or by size, one piece at a time. Cuts are
// the byte-exact split's (k x size / count, or the previous end + length), moved forward by `cut`.
// By count, every piece is one line or character at least, and with whole lines the count is kept
// whenever the file has that many lines: a cut goes no further than leaves a line for each piece
// after it. Fewer lines than pieces give one piece per line.
//
// Once a cut has needed a long search (a text of Chinese without an ASCII byte, where a cut walks from
// the one before; one long line), and where a second core is to be had, the end of the piece after
// the one handed out is found on it while the caller copies, and that walk then costs no time.
class PieceEnds {
 public:
  // `count` pieces (`byCount`) or pieces of `length` bytes (at least 1); `cut` is not Bytes.
  PieceEnds(CutFinder& finder, SplitCut cut, bool byCount, int64_t count, int64_t length);
  // Cancels and waits for a search under way; `finder` reads nothing after.
  ~PieceEnds();
  PieceEnds(const PieceEnds&) = delete;
  PieceEnds& operator=(const PieceEnds&) = delete;
  // The end of the next piece (the file's size for the last), 0 when every byte has its piece, -1
  // on a read error (finder.error() says why).
  int64_t next();

 private:
  struct Ahead;
  void startAhead();
  int64_t endAfterLast();
  int64_t nextCut();

  CutFinder& finder_;
  SplitCut cut_;
  bool byCount_;
  int64_t count_;
  int64_t length_;
  int64_t size_;
  int64_t made_ = 0;  // pieces ended so far
  int64_t end_ = 0;   // where the last one ended
  bool tailRead_ = false;
  std::vector<int64_t> tail_;  // by count with whole lines: the last line ends, last first
  std::unique_ptr<Ahead> ahead_;  // the search on the second core, once started
  bool aheadTried_ = false;
};

}  // namespace chengling
