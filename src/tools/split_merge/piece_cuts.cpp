#include "tools/split_merge/piece_cuts.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "foundation/file_system.h"
#include "foundation/gb18030_table.h"
#include "foundation/text_check.h"
#include "foundation/two_cores.h"

namespace chengling {
namespace {

// A line end is looked for in reads that start small (most lines are short) and double up to
// kChunk (a long line costs few calls).
constexpr size_t kFirstRead = size_t{4} << 10;
constexpr size_t kChunk = size_t{64} << 10;
// How far back from a cut a GBK or BIG5 text is searched for a byte that can only end a character.
constexpr int64_t kSyncReach = 4096;
// The bytes on either side of a cut that decide between UTF-8 and GBK after a start of ASCII alone.
constexpr int64_t kLocalReach = 4096;
// The bytes a cut's search must have read before the next searches go to the second core.
constexpr int64_t kLongSearch = int64_t{256} << 10;

bool hasHighByte(std::string_view bytes) {
  return std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// A byte that, wherever it stands, is the last byte of a character. In GB18030 that is every byte
// that is neither a lead (81..FE) nor a digit (30..39, the second and fourth byte of a four-byte
// form): an ASCII byte or the trail of a two-byte form. In BIG5 every byte below 81.
bool endsCharacter(unsigned char b, bool big5) {
  if (b == 0xFF) return true;  // neither lead nor trail: a byte of its own
  if (big5) return b < 0x81;
  return b < 0x30 || (b > 0x39 && b < 0x81);
}

// The length of the character at `p` as the converter reads it: a byte that starts none is one.
size_t doubleByteLength(const unsigned char* p, const unsigned char* end, bool big5) {
  if (big5) {
    if (p[0] < 0x81 || p[0] == 0xFF || end - p < 2) return 1;
    const unsigned char t = p[1];
    return (t >= 0x40 && t <= 0x7E) || (t >= 0xA1 && t <= 0xFE) ? 2 : 1;
  }
  char32_t codePoint = 0;
  const size_t length = gb18030::Table::get().decode(p, end, codePoint);
  return length == 0 ? 1 : length;
}

// Whether the eight bytes at `p` are all lead bytes (81..FE): in GB18030 four two-byte characters
// when `p` is a character start, since no digit follows a lead to make a four-byte form.
bool eightLeads(const unsigned char* p) {
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  constexpr uint64_t kLow = 0x0101010101010101ull;
  uint64_t word = 0;
  std::memcpy(&word, p, 8);
  const auto hasZeroByte = [](uint64_t v) { return ((v - kLow) & ~v & kHigh) != 0; };
  return (word & kHigh) == kHigh && !hasZeroByte(word ^ kHigh) && !hasZeroByte(~word);
}

// The same for the 32 bytes at `p`, in a loop the compiler turns into a few vector instructions.
bool thirtyTwoLeads(const unsigned char* p) {
  unsigned notLead = 0;
  for (int i = 0; i < 32; ++i) notLead |= static_cast<unsigned char>(p[i] - 0x81) > 0x7D ? 1u : 0u;
  return notLead == 0;
}

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

CutText probeCutText(std::string_view probe, bool whole) {
  CutText text;
  size_t start = 0;
  const TextEncoding declared = declaredEncoding(probe, start);
  text.bodyStart = static_cast<int64_t>(start);
  const std::string_view body = probe.substr(start);
  if (declared != TextEncoding::Detect) {
    text.encoding = declared;
  } else if (!hasHighByte(body)) {
    text.asciiStart = !whole;
  } else if (unreadableBytes(body, TextEncoding::Utf8, whole) == 0) {
    text.encoding = TextEncoding::Utf8;
  }
  text.isText = !holdsNul(body, text.encoding) &&
                !tooManyUnreadable(unreadableBytes(body, text.encoding, whole), static_cast<int64_t>(body.size()));
  return text;
}

bool CutFinder::open(std::string_view path, std::string* error) {
  if (!file_.open(path, error)) return false;
  size_ = std::max<int64_t>(0, file_.size());
  if (!readAt(0, kTextProbeBytes)) {
    if (error != nullptr) *error = error_;
    return false;
  }
  text_ = probeCutText(chunk_, static_cast<int64_t>(chunk_.size()) >= size_);
  return true;
}

bool CutFinder::readAt(int64_t at, size_t n) {
  chunk_.clear();
  if (cancelled_.load(std::memory_order_relaxed)) {
    error_ = "已取消";
    return false;
  }
  if (at >= size_ || n == 0) return true;
  n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size_ - at));
  if (!file_.seek(at)) {
    error_ = reasonForErrno(errno);
    return false;
  }
  bytesRead_ += static_cast<int64_t>(n);
  return file_.read(chunk_, n, &error_) >= 0;
}

bool CutFinder::isLineFeedUnit(const char* unit) const {
  return text_.encoding == TextEncoding::Utf16Le ? unit[0] == '\n' && unit[1] == '\0'
                                                 : unit[0] == '\0' && unit[1] == '\n';
}

int64_t CutFinder::lineEndFrom(int64_t at, int64_t limit) {
  assert(at >= 1);
  if (at >= limit) return limit;
  if (!wide()) {
    // An LF never stands inside a character of a byte-oriented encoding.
    size_t step = kFirstRead;
    for (int64_t pos = at - 1; pos < limit; step = std::min(2 * step, kChunk)) {
      const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(step), limit - pos));
      if (!readAt(pos, n)) return -1;
      if (const void* hit = std::memchr(chunk_.data(), '\n', chunk_.size())) {
        return pos + (static_cast<const char*>(hit) - chunk_.data()) + 1;
      }
      if (chunk_.size() < n) break;
      pos += static_cast<int64_t>(n);
    }
    return limit;
  }
  // UTF-16: an LF unit at a unit boundary, counted from the end of the mark.
  int64_t pos = std::max(at - 2, text_.bodyStart);
  pos += (pos - text_.bodyStart) % 2;
  for (size_t step = kFirstRead; pos + 2 <= limit; step = std::min(2 * step, kChunk)) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(step), limit - pos) & ~int64_t{1});
    if (!readAt(pos, n)) return -1;
    for (size_t i = 0; i + 2 <= chunk_.size(); i += 2) {
      if (isLineFeedUnit(chunk_.data() + i)) return pos + static_cast<int64_t>(i) + 2;
    }
    if (chunk_.size() < n) break;
    pos += static_cast<int64_t>(n);
  }
  return limit;
}

int64_t CutFinder::utf8StartFrom(int64_t at) {
  if (!readAt(at, 4)) return -1;
  // At most three continuation bytes follow a lead; more are no text, and any cut serves.
  size_t skip = 0;
  while (skip < 3 && skip < chunk_.size() && isContinuation(chunk_[skip])) ++skip;
  return at + static_cast<int64_t>(skip);
}

int64_t CutFinder::utf16StartFrom(int64_t at) {
  int64_t start = at + (at - text_.bodyStart) % 2;
  if (!readAt(start, 2)) return -1;
  if (chunk_.size() == 2) {
    const auto* u = reinterpret_cast<const unsigned char*>(chunk_.data());
    const unsigned unit = text_.encoding == TextEncoding::Utf16Le ? u[0] | unsigned{u[1]} << 8 : unsigned{u[0]} << 8 | u[1];
    if (unit >= 0xDC00 && unit <= 0xDFFF) start += 2;  // the second half of a surrogate pair
  }
  return start;
}

int64_t CutFinder::doubleByteStartFrom(int64_t at, int64_t floor, bool big5) {
  // A byte that can only end a character shortly before the cut lets the walk start there;
  // without one the walk starts at the previous cut, which is a character start.
  const int64_t from = std::max(floor, at - kSyncReach);
  if (!readAt(from, static_cast<size_t>(at + 4 - from))) return -1;
  const auto* bytes = reinterpret_cast<const unsigned char*>(chunk_.data());
  const auto* end = bytes + chunk_.size();
  int64_t start = from == floor ? floor : -1;
  for (int64_t i = std::min<int64_t>(at - from, static_cast<int64_t>(chunk_.size())) - 1; i >= 0; --i) {
    if (endsCharacter(bytes[i], big5)) {
      start = from + i + 1;
      break;
    }
  }
  if (start >= 0) {
    const unsigned char* p = bytes + std::min<int64_t>(start - from, static_cast<int64_t>(chunk_.size()));
    const unsigned char* target = bytes + std::min<int64_t>(at - from, static_cast<int64_t>(chunk_.size()));
    while (p < target) p += doubleByteLength(p, end, big5);
    return from + (p - bytes);
  }
  // A long run of lead bytes (Chinese without a single ASCII byte): walk from the previous cut.
  int64_t pos = floor;
  while (pos < at) {
    if (!readAt(pos, kChunk + 4)) return -1;
    if (chunk_.empty()) break;
    const auto* q = reinterpret_cast<const unsigned char*>(chunk_.data());
    const auto* qEnd = q + chunk_.size();
    const auto* stop = q + std::min(kChunk, chunk_.size());
    const auto* p = q;
    const auto* target = q + std::min<int64_t>(at - pos, static_cast<int64_t>(chunk_.size()));
    while (p < stop && p < target) {
      // Runs of GBK Chinese go eight bytes at a time (the text that lands here is mostly that).
      if (!big5) {
        while (p + 32 <= target && thirtyTwoLeads(p)) p += 32;
        while (p + 8 <= target && eightLeads(p)) p += 8;
      }
      if (p < stop && p < target) p += doubleByteLength(p, qEnd, big5);
    }
    pos += p - q;
  }
  return pos;
}

int64_t CutFinder::charStartFrom(int64_t at, int64_t floor, int64_t limit) {
  assert(floor <= at);
  if (at >= limit) return limit;
  int64_t start = 0;
  if (at <= text_.bodyStart) {
    start = text_.bodyStart;  // a mark is cut off whole
  } else {
    switch (text_.encoding) {
      case TextEncoding::Utf8:
      case TextEncoding::Utf8NoMark: start = utf8StartFrom(at); break;
      case TextEncoding::Utf16Le:
      case TextEncoding::Utf16Be: start = utf16StartFrom(at); break;
      case TextEncoding::Big5:
      case TextEncoding::Big5Hkscs: start = doubleByteStartFrom(at, floor, true); break;
      case TextEncoding::Detect:
      case TextEncoding::Ansi: {
        bool utf8 = false;
        if (text_.asciiStart) {
          // Nothing but ASCII at the start: the bytes around this cut tell UTF-8 from GBK.
          const int64_t from = std::max<int64_t>(0, at - kLocalReach);
          if (!readAt(from, static_cast<size_t>(at + kLocalReach - from))) return -1;
          std::string_view near = chunk_;
          while (!near.empty() && isContinuation(near.front())) near.remove_prefix(1);
          const bool toEnd = from + static_cast<int64_t>(chunk_.size()) >= size_;
          utf8 = hasHighByte(near) && unreadableBytes(near, TextEncoding::Utf8, toEnd) == 0;
        }
        start = utf8 ? utf8StartFrom(at) : doubleByteStartFrom(at, floor, false);
        break;
      }
    }
  }
  if (start < 0) return -1;
  // CR and LF are one character.
  const int64_t unit = wide() ? 2 : 1;
  if (start > text_.bodyStart && start < limit) {
    if (!readAt(start - unit, static_cast<size_t>(2 * unit))) return -1;
    if (chunk_.size() == static_cast<size_t>(2 * unit)) {
      const char* c = chunk_.data();
      const bool crLf = unit == 1 ? c[0] == '\r' && c[1] == '\n'
                        : text_.encoding == TextEncoding::Utf16Le
                            ? c[0] == '\r' && c[1] == '\0' && c[2] == '\n' && c[3] == '\0'
                            : c[0] == '\0' && c[1] == '\r' && c[2] == '\0' && c[3] == '\n';
      if (crLf) start += unit;
    }
  }
  return std::min(start, limit);
}

bool CutFinder::lastLineEnds(size_t most, std::vector<int64_t>& ends) {
  ends.clear();
  // Units that may hold an LF whose line end lies before the end of the file.
  const int64_t unit = wide() ? 2 : 1;
  const int64_t first = wide() ? text_.bodyStart : 0;
  int64_t top = size_ - 1 - unit;  // the last such unit
  if (top < first) return true;
  top -= (top - first) % unit;
  size_t step = kFirstRead;
  for (int64_t high = top + unit; high > first && ends.size() < most; step = std::min(2 * step, kChunk)) {
    const int64_t low = std::max(first, high - static_cast<int64_t>(step));
    if (!readAt(low, static_cast<size_t>(high - low))) return false;
    if (static_cast<int64_t>(chunk_.size()) != high - low) {
      error_ = "文件在读取中变短了";
      return false;
    }
    for (int64_t i = high - low - unit; i >= 0 && ends.size() < most; i -= unit) {
      const char* at = chunk_.data() + i;
      if (unit == 1 ? *at == '\n' : isLineFeedUnit(at)) ends.push_back(low + i + unit);
    }
    high = low;
  }
  return true;
}

PieceEnds::PieceEnds(CutFinder& finder, SplitCut cut, bool byCount, int64_t count, int64_t length)
    : finder_(finder), cut_(cut), byCount_(byCount), count_(count), length_(length), size_(finder.size()) {
  assert(cut != SplitCut::Bytes && (byCount ? count >= 1 : length >= 1));
}

// The one search of the piece ends after the last handed out: it runs while `wanted`, and leaves
// its result in `value` with `ready` set.
struct PieceEnds::Ahead {
  std::mutex mutex;
  std::condition_variable changed;
  bool wanted = false;
  bool ready = false;
  bool quit = false;
  int64_t value = 0;
  std::thread thread;
};

PieceEnds::~PieceEnds() {
  if (!ahead_) return;
  {
    std::lock_guard lock(ahead_->mutex);
    ahead_->quit = true;
  }
  finder_.cancel();
  ahead_->changed.notify_all();
  ahead_->thread.join();
}

int64_t PieceEnds::next() {
  if (!ahead_) {
    const int64_t before = finder_.bytesRead();
    const int64_t end = endAfterLast();
    // Handing a search to another thread costs more than finding a line end or a character start
    // near the cut; a search that had to walk far is what the second core is for.
    if (!aheadTried_ && finder_.bytesRead() - before >= kLongSearch && end > 0 && end < size_) {
      aheadTried_ = true;
      startAhead();
    }
    return end;
  }
  std::unique_lock lock(ahead_->mutex);
  ahead_->changed.wait(lock, [this] { return ahead_->ready; });
  ahead_->ready = false;
  const int64_t end = ahead_->value;
  // The search for the one after starts now; after the last piece or an error there is none.
  if (end > 0 && end < size_) {
    ahead_->wanted = true;
    ahead_->changed.notify_all();
  }
  return end;
}

void PieceEnds::startAhead() {
  if (!hasSecondCore()) return;
  auto ahead = std::make_unique<Ahead>();
  ahead->wanted = true;
  try {
    ahead->thread = std::thread([this, a = ahead.get()] {
      std::unique_lock lock(a->mutex);
      while (true) {
        a->changed.wait(lock, [a] { return a->wanted || a->quit; });
        if (a->quit) return;
        a->wanted = false;
        lock.unlock();
        const int64_t value = endAfterLast();
        lock.lock();
        a->value = value;
        a->ready = true;
        a->changed.notify_all();
      }
    });
    ahead_ = std::move(ahead);
  } catch (const std::system_error&) {
  }
}

int64_t PieceEnds::endAfterLast() {
  if (end_ >= size_) return 0;
  const int64_t cut = nextCut();
  if (cut < 0) return -1;
  assert(cut > end_);
  ++made_;
  end_ = cut;
  return cut;
}

int64_t PieceEnds::nextCut() {
  if (!byCount_) {
    if (length_ >= size_ - end_) return size_;
    const int64_t at = end_ + length_;
    return cut_ == SplitCut::WholeLines ? finder_.lineEndFrom(at, size_) : finder_.charStartFrom(at, end_, size_);
  }
  const int64_t k = made_ + 1;
  if (k >= count_) return size_;  // the last piece takes the rest
  const int64_t low = std::max(k * (size_ / count_), end_ + 1);
  if (cut_ == SplitCut::WholeChars) return finder_.charStartFrom(low, end_, size_);

  if (!tailRead_) {
    tailRead_ = true;
    if (!finder_.lastLineEnds(static_cast<size_t>(count_ - 1), tail_)) return -1;
  }
  const int64_t lineEnds = static_cast<int64_t>(tail_.size());
  if (lineEnds < count_ - 1) {
    // Fewer lines than pieces: a piece for every line.
    return k > lineEnds ? size_ : tail_[static_cast<size_t>(lineEnds - k)];
  }
  // Enough lines: the cut may move no further than leaves one line for each piece after it.
  const int64_t high = tail_[static_cast<size_t>(count_ - 1 - k)];
  return low >= high ? high : finder_.lineEndFrom(low, high);
}

}  // namespace chengling
