#include "tools/split_merge/line_reader.h"

#include <algorithm>
#include <cstring>

#include "foundation/internal_text.h"
#include "foundation/text_lines.h"

namespace chengling {
namespace {

// Sixteen bytes compared at once; the compiler turns these into the processor's vector registers.
using Bytes16 = unsigned char __attribute__((vector_size(16)));

bool endsLine(unsigned char c) { return c == '\n' || c == 0 || c == 0x1A; }

// The first byte of [p, e) that ends a line (LF, NUL or 1A); e when there is none. Sixteen bytes at
// a time: a matching byte becomes FF in the mask, and the lowest one in memory order is the lowest
// set byte of the two little-endian halves.
const char* findLineEnd(const char* p, const char* e) {
  while (e - p >= 16) {
    Bytes16 v;
    std::memcpy(&v, p, 16);
    const auto hits = (v == 0x0A) | (v == 0x00) | (v == 0x1A);
    uint64_t half[2];
    std::memcpy(half, &hits, 16);
    if ((half[0] | half[1]) != 0) {
      return half[0] != 0 ? p + __builtin_ctzll(half[0]) / 8 : p + 8 + __builtin_ctzll(half[1]) / 8;
    }
    p += 16;
  }
  while (p < e && !endsLine(static_cast<unsigned char>(*p))) ++p;
  return p;
}

}  // namespace

LineReader::LineReader(std::string_view memory, bool checkBlank)
    : memoryMode_(true), opened_(true), checkBlank_(checkBlank), data_(memory), atEof_(true) {}

LineReader::LineReader(std::string_view path, bool checkBlank, std::string* error, FileSystem& fs)
    : checkBlank_(checkBlank), path_(path), file_(fs), reread_(fs) {
  opened_ = file_.open(path, error);
}

bool LineReader::fill(int64_t at, int64_t keepFrom) {
  while (at >= windowStart_ + static_cast<int64_t>(data_.size())) {
    if (atEof_ || memoryMode_ || !opened_) return false;
    if (!window_) window_ = std::make_unique_for_overwrite<char[]>(kWindow);
    // Keep what the current line still needs, unless it has grown too long to hold.
    const int64_t windowEnd = windowStart_ + static_cast<int64_t>(held_);
    int64_t keep = keepFrom;
    if (windowEnd - keep > static_cast<int64_t>(kLongLine)) keep = windowEnd;
    keep = std::max(keep, windowStart_);
    // The kept bytes move to the front when they are few (the next chunk then lands where the last
    // one was, still in the cache) or when a chunk would not fit after them.
    const size_t kept = static_cast<size_t>(windowEnd - keep);
    if (kept <= kChunk || kWindow - held_ < kChunk) {
      std::memmove(window_.get(), window_.get() + (held_ - kept), kept);
      held_ = kept;
      windowStart_ = keep;
    }
    std::string error;
    const int64_t n = file_.read(window_.get() + held_, kChunk, &error);
    if (n > 0) held_ += static_cast<size_t>(n);
    data_ = std::string_view(window_.get(), held_);
    if (n < 0) {
      error_ = error;
      return false;
    }
    if (n == 0) {
      atEof_ = true;
      return false;
    }
  }
  return true;
}

void LineReader::scanBlank(std::string_view bytes) {
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  if (lead_ >= 0 && p < end) {  // the trail of a character that the window cut
    if (!(lead_ == 0xA1 && static_cast<unsigned char>(*p) == 0xA1)) blank_ = false;
    lead_ = -1;
    ++p;
  }
  for (; blank_ && p < end; p += byteUnitLength(p, end)) {
    if (crPending_) {
      blank_ = false;  // a CR that is not the end of the line
      return;
    }
    const auto c = static_cast<unsigned char>(*p);
    if (byteUnitLength(p, end) == 2) {
      if (!(c == 0xA1 && static_cast<unsigned char>(p[1]) == 0xA1)) blank_ = false;
    } else if (c >= 0x80) {
      lead_ = c;  // its trail comes with the next bytes
    } else if (c == '\r') {
      crPending_ = true;
    } else if (c != ' ' && c != '\t') {
      blank_ = false;
    }
  }
}

size_t LineReader::takeLines(size_t most, std::string& out, size_t room) {
  if (checkBlank_ || !opened_ || failed() || pos_ < windowStart_) return 0;
  const char* const end = data_.data() + data_.size();
  const char* const start = data_.data() + (pos_ - windowStart_);
  const char* p = start;
  size_t taken = 0;
  while (taken < most && p < end) {
    const char* const hit = findLineEnd(p, end);
    if (hit == end || *hit != '\n') break;
    const char* const lineEnd = lineBytesEnd(p, hit);
    const auto length = static_cast<size_t>(lineEnd - p);
    if (length + 2 > room) break;
    room -= length + 2;
    out.append("\r\n", 2).append(p, length);
    ++taken;
    p = hit + 1;
  }
  pos_ += p - start;
  return taken;
}

bool LineReader::next(LineSpan& line) {
  if (!opened_ || failed()) return false;
  const int64_t begin = pos_;
  // fill() only when the window runs out: most lines are found within it.
  const auto available = [this, begin](int64_t at) {
    return at < windowStart_ + static_cast<int64_t>(data_.size()) || fill(at, begin);
  };
  if (!available(begin)) return false;
  blank_ = true;
  lead_ = -1;
  crPending_ = false;

  int64_t scan = begin;
  int64_t terminator = -1;
  unsigned char terminatorByte = 0;
  char lastByte = 0;
  while (true) {
    if (!available(scan)) {
      if (failed()) return false;
      break;  // the end of the input ends the line
    }
    const char* windowBytes = data_.data();
    const char* from = windowBytes + (scan - windowStart_);
    const char* to = windowBytes + data_.size();
    const char* hit = findLineEnd(from, to);
    if (checkBlank_ && blank_) scanBlank(std::string_view(from, static_cast<size_t>(hit - from)));
    if (hit != from) lastByte = hit[-1];
    scan += hit - from;
    if (hit != to) {
      terminator = scan;
      terminatorByte = static_cast<unsigned char>(*hit);
      break;
    }
  }

  int64_t end = scan;
  int64_t after = scan;
  if (terminator >= 0 && terminatorByte == '\n') {
    after = terminator + 1;
    // The CR before the LF belongs to the break, not to the line.
    if (end > begin && lastByte == '\r') --end;
    crPending_ = false;
  }
  if (crPending_ || lead_ >= 0) blank_ = false;  // a CR or a lone lead byte at the very end
  if (after == begin) ++after;                   // nothing consumed: step over the NUL or 1A
  pos_ = after;
  line.begin = begin;
  line.end = end;
  line.blank = checkBlank_ && blank_;
  return true;
}

bool LineReader::emit(const LineSpan& line, const std::function<bool(std::string_view)>& sink) {
  if (line.end <= line.begin) return true;
  std::string_view bytes;
  if (held(line, bytes)) return sink(bytes);
  // The line outgrew the window: read its bytes again, a chunk at a time.
  if (!rereadOpen_) rereadOpen_ = reread_.open(path_, &error_);
  if (!rereadOpen_ || !reread_.seek(line.begin)) {
    if (error_.empty()) error_ = "读写错误";
    return false;
  }
  int64_t left = line.end - line.begin;
  while (left > 0) {
    rereadBuffer_.clear();
    const int64_t n = reread_.read(rereadBuffer_, static_cast<size_t>(std::min<int64_t>(left, kChunk)), &error_);
    if (n <= 0) {
      if (error_.empty()) error_ = "文件在读取中被改变";
      return false;
    }
    left -= n;
    if (!sink(rereadBuffer_)) return false;
  }
  return true;
}

std::string correctLineEndings(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 16);
  const char* p = text.data();
  const char* e = p + text.size();
  while (p < e) {
    const char* q = p;
    while (q < e && *q != '\r' && *q != '\n') ++q;
    out.append(p, q);
    if (q == e) break;
    if (*q == '\r' && q + 1 < e && q[1] == '\n') {
      p = q + 2;
    } else {
      p = q + 1;
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace chengling
