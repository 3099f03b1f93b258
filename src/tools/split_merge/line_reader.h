#pragma once
// Reads the lines of a line split, from bytes in memory or streamed from a file.
//
// Lines are cut as foundation/text_lines.h cuts them, with one rule more: a NUL or 1A byte also ends
// a line but is not consumed; a read that consumed nothing moves on one byte, so such a byte yields
// the line before it and then one empty line.
//
// A file is read in chunks small enough to stay in the processor's cache, into a window of a few MiB:
// a line longer than the window is not held whole; its bytes are read a second time from the file
// when they are handed over.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/file_system.h"

namespace chengling {

// One line: the byte range of its content in the input, and whether it is blank (only TAB, space
// and ideographic space characters) when the reader was asked to tell.
struct LineSpan {
  int64_t begin = 0;
  int64_t end = 0;
  bool blank = false;
};

class LineReader {
 public:
  // Reads `memory`, which must outlive the reader.
  explicit LineReader(std::string_view memory, bool checkBlank);
  // Streams the file at `path`; check opened() / error().
  LineReader(std::string_view path, bool checkBlank, std::string* error, FileSystem& fs = posixFileSystem());
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool opened() const { return opened_; }

  // The next line; false at the end of the input or on a read error (failed() tells which).
  bool next(LineSpan& line);
  // The lines that follow, as long as the window holds them whole with their LF and they hold no NUL
  // or 1A byte: each appended to `out` after a CR LF, up to `most` lines and `room` bytes. Returns
  // how many were taken (0 when next() must read the next one). Not when blank lines are told.
  size_t takeLines(size_t most, std::string& out, size_t room);
  // Hands the bytes of `line` to `sink` in one or more parts, in order. False on a read error or
  // when the sink returns false.
  bool emit(const LineSpan& line, const std::function<bool(std::string_view)>& sink);
  // The bytes of `line` when the window still holds them whole (always after next() returned it,
  // unless it outgrew the window); valid until the next call of next().
  bool held(const LineSpan& line, std::string_view& bytes) const {
    if (line.begin < windowStart_ || line.end > windowStart_ + static_cast<int64_t>(data_.size())) return false;
    bytes = data_.substr(static_cast<size_t>(line.begin - windowStart_), static_cast<size_t>(line.end - line.begin));
    return true;
  }

  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

  // Window limits of the file mode (bytes): a read takes kChunk, a line is held up to kLongLine.
  static constexpr size_t kChunk = size_t{128} << 10;
  static constexpr size_t kLongLine = size_t{4} << 20;
  static constexpr size_t kWindow = kLongLine + kChunk;

 private:
  // Makes bytes at `at` available in the window; false at the end of the file or on an error.
  bool fill(int64_t at, int64_t keepFrom);
  void scanBlank(std::string_view bytes);

  bool memoryMode_ = false;
  bool opened_ = false;
  bool checkBlank_ = false;
  std::string path_;
  FileReader file_;
  FileReader reread_;
  bool rereadOpen_ = false;
  std::unique_ptr<char[]> window_;  // kWindow bytes, allocated on the first read
  size_t held_ = 0;                 // bytes of window_ in use
  std::string_view data_;    // the window's bytes (or the whole memory)
  int64_t windowStart_ = 0;  // input position of data_[0]
  bool atEof_ = false;       // nothing beyond the window
  int64_t pos_ = 0;
  std::string error_;
  std::string rereadBuffer_;

  // Blank scan state of the current line.
  bool blank_ = true;
  int lead_ = -1;        // a pending lead byte of a double-byte character
  bool crPending_ = false;
};

// Line-ending correction: every CR not followed by LF and every LF not preceded by CR becomes CR LF.
std::string correctLineEndings(std::string_view text);

}  // namespace chengling
