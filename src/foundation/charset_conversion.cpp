#include "foundation/charset_conversion.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <thread>
#include <utility>

#include "foundation/gb18030_table.h"
#include "foundation/memory_pages.h"
#include "foundation/two_cores.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);
constexpr size_t kIconvFailed = static_cast<size_t>(-1);

// Output grows in steps of at most this much: pages are touched only as they are filled, so a
// generous reservation costs address space, not memory.
constexpr size_t kOutputStep = size_t{8} << 20;

std::string upperName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// iconv descriptors, opened once per thread and pair of names: opening one loads a module and builds
// tables, far too slow for the many short conversions of file names. A descriptor is never shared
// between threads.
class DescriptorCache {
 public:
  ~DescriptorCache() {
    for (auto& entry : descriptors_) {
      if (entry.second != kNoDescriptor) iconv_close(entry.second);
    }
  }

  // kNoDescriptor when iconv knows one of the names not. The descriptor comes back in its initial
  // state.
  iconv_t get(std::string_view to, std::string_view from) {
    auto key = std::make_pair(upperName(to), upperName(from));
    auto it = descriptors_.find(key);
    if (it == descriptors_.end()) {
      const iconv_t cd = iconv_open(key.first.c_str(), key.second.c_str());
      it = descriptors_.emplace(std::move(key), cd).first;
    }
    if (it->second != kNoDescriptor) iconv(it->second, nullptr, nullptr, nullptr, nullptr);
    return it->second;
  }

  static DescriptorCache& local() {
    thread_local DescriptorCache cache;
    return cache;
  }

 private:
  std::map<std::pair<std::string, std::string>, iconv_t> descriptors_;
};

// Bytes of one code unit: UTF-16 input goes in pairs of bytes, everything else byte by byte.
size_t codeUnit(std::string_view upperCharset) {
  if (upperCharset.starts_with("UTF-16") || upperCharset.starts_with("UCS-2")) return 2;
  if (upperCharset.starts_with("UTF-32") || upperCharset.starts_with("UCS-4")) return 4;
  return 1;
}

// Output bytes per input byte that valid input needs at most (invalid input may need more; the
// output then grows by reallocation).
double expansion(std::string_view upperTarget) {
  if (upperTarget == "UTF-8") return 1.5;
  if (upperTarget.starts_with("BIG5")) return 1.0;
  return 2.0;
}

// `text` (UTF-8) in the target charset; empty when the target cannot hold it.
std::string encodedIn(std::string_view utf8, std::string_view to) {
  const iconv_t cd = DescriptorCache::local().get(to, "UTF-8");
  if (cd == kNoDescriptor) return {};
  char buffer[32];
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* out = buffer;
  size_t outLeft = sizeof buffer;
  if (iconv(cd, &in, &inLeft, &out, &outLeft) == kIconvFailed || inLeft != 0) return {};
  if (iconv(cd, nullptr, nullptr, &out, &outLeft) == kIconvFailed) return {};
  return std::string(buffer, static_cast<size_t>(out - buffer));
}

enum class ProbeResult { Valid, Invalid };

// Whether the input at `in` starts with a character that `from` can decode, and how many bytes to
// step over: the character's length, or one code unit of invalid input.
// `cd` decodes the source charset (to anything).
ProbeResult probeCharacter(iconv_t cd, size_t unit, const char* in, size_t inLeft, size_t& length) {
  length = std::min(unit, inLeft);
  if (cd == kNoDescriptor) return ProbeResult::Invalid;
  constexpr size_t kLongestCharacter = 4;
  for (size_t n = unit; n <= std::min(kLongestCharacter, inLeft); n += unit) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char buffer[64];
    char* inPtr = const_cast<char*>(in);
    size_t left = n;
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    if (iconv(cd, &inPtr, &left, &out, &outLeft) != kIconvFailed && left == 0) {
      length = n;
      return ProbeResult::Valid;
    }
    if (errno != EINVAL) return ProbeResult::Invalid;
  }
  return ProbeResult::Invalid;
}

// One conversion of a piece of input by iconv, appended to a string straight into its own storage.
// Where iconv stops at a character it cannot convert, the replacement goes in and iconv carries on
// behind it.
class IconvConversion {
 public:
  // `atEnd` says that `in` ends where the whole input ends; otherwise an incomplete sequence at its
  // end is invalid input (what follows the piece cannot complete it: pieces are cut where a
  // character starts). `cd` converts `upperFrom` to `upperTo` and is in its initial state.
  IconvConversion(std::string& out, std::string_view in, const std::string& upperFrom, const std::string& upperTo,
                  bool atEnd, iconv_t cd)
      : out_(out),
        written_(out.size()),
        in_(const_cast<char*>(in.data())),
        inLeft_(in.size()),
        upperFrom_(upperFrom),
        upperTo_(upperTo),
        atEnd_(atEnd),
        cd_(cd),
        factor_(expansion(upperTo)),
        utf8Source_(upperFrom == "UTF-8" || upperFrom == "UTF8"),
        unit_(codeUnit(upperFrom)) {
    out_.reserve(written_ + static_cast<size_t>(static_cast<double>(in.size()) * factor_) + 16);
  }

  // Converts the whole piece; true when something was replaced or dropped.
  bool run() {
    makeRoom(1);
    while (convertUntilStopped()) {
      // Either the input is invalid here or the target cannot hold this character.
      lost_ = true;
      flushState();
      loadReplacements();
      if (utf8Source_) {
        replaceIllFormedUtf8();
      } else {
        replaceOneCharacter();
      }
    }
    flushState();
    out_.resize(written_);
    return lost_;
  }

 private:
  // iconv as far as it goes: true when it stopped at a character to replace, false when the piece
  // is done (at its end, or at an error that nothing after it could mend).
  bool convertUntilStopped() {
    while (true) {
      char* outPtr = out_.data() + written_;
      size_t outLeft = out_.size() - written_;
      const size_t r = iconv(cd_, &in_, &inLeft_, &outPtr, &outLeft);
      written_ = static_cast<size_t>(outPtr - out_.data());
      if (r != kIconvFailed) {
        if (r > 0) lost_ = true;  // iconv replaced something irreversibly
        return false;
      }
      if (errno == E2BIG) {
        makeRoom(out_.size() - written_ + 16);
        continue;
      }
      // A sequence cut off by the end is dropped. iconv also says "cut off" of a UTF-8 lead byte that
      // no continuation could make valid (F8..FF, say); that one is invalid like anywhere else.
      const bool truncatedAtEnd = errno == EINVAL && atEnd_ && !(utf8Source_ && invalidUtf8Here());
      if (truncatedAtEnd || (errno != EILSEQ && errno != EINVAL) || inLeft_ == 0) {
        lost_ = true;
        return false;
      }
      return true;
    }
  }

  bool invalidUtf8Here() const {
    size_t length = 0;
    return utf8FormAt(reinterpret_cast<const unsigned char*>(in_), inLeft_, length) == Utf8Form::Invalid;
  }

  // Makes at least `need` bytes of room after what is written, and some more in proportion to the
  // input that is left.
  void makeRoom(size_t need) {
    const size_t wanted = std::clamp<size_t>(static_cast<size_t>(static_cast<double>(inLeft_) * factor_) + 16,
                                             std::max<size_t>(need, 64), std::max(need, kOutputStep));
    if (out_.size() - written_ >= need) return;
    if (written_ + wanted <= out_.capacity()) prefaultPages(out_.data() + out_.size(), written_ + wanted - out_.size());
    out_.resize(written_ + wanted);
  }

  void append(std::string_view bytes) {
    makeRoom(bytes.size());
    std::memcpy(out_.data() + written_, bytes.data(), bytes.size());
    written_ += bytes.size();
  }

  void skipInput(size_t length) {
    in_ += length;
    inLeft_ -= length;
  }

  // Writes what a stateful encoder still holds and returns it to its initial state, so that an
  // inserted replacement lands in the right place. (The look-ups of the replacements may use this
  // very descriptor, which is harmless once it is back in its initial state.)
  void flushState() {
    while (true) {
      makeRoom(64);
      char* outPtr = out_.data() + written_;
      size_t outLeft = out_.size() - written_;
      const size_t r = iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
      written_ = static_cast<size_t>(outPtr - out_.data());
      if (r != kIconvFailed || errno != E2BIG) return;
      out_.resize(out_.size() + 64);
    }
  }

  // Looked up at the first replacement only: most conversions never need them.
  void loadReplacements() {
    if (!question_.empty()) return;
    question_ = encodedIn("?", upperTo_);
    if (question_.empty()) question_.push_back('?');
    replacement_ = encodedIn("\xEF\xBF\xBD", upperTo_);
    if (replacement_.empty()) replacement_ = question_;
    decoder_ = DescriptorCache::local().get("UTF-32LE", upperFrom_);
  }

  // UTF-8 input is judged here, a whole run of bad bytes at once: binary data forced through UTF-8
  // would otherwise cost several iconv calls per byte. A well-formed character that iconv refused
  // (the target cannot hold it) becomes "?".
  void replaceIllFormedUtf8() {
    for (bool first = true; inLeft_ > 0; first = false) {
      size_t length = 0;
      const Utf8Form form = utf8FormAt(reinterpret_cast<const unsigned char*>(in_), inLeft_, length);
      if (form == Utf8Form::Invalid || (form == Utf8Form::CutOff && !atEnd_)) {
        append(replacement_);
        length = 1;
      } else if (form == Utf8Form::Complete && first) {
        append(question_);
      } else {
        return;  // a character iconv takes, or one cut off by the end: iconv's business
      }
      skipInput(length);
    }
  }

  // One character of any other charset: "?" when it is valid in the source (the target cannot hold
  // it), U+FFFD for one code unit of invalid input.
  void replaceOneCharacter() {
    size_t length = 0;
    const ProbeResult probe = probeCharacter(decoder_, unit_, in_, inLeft_, length);
    append(probe == ProbeResult::Valid ? question_ : replacement_);
    skipInput(length);
  }

  std::string& out_;
  size_t written_;  // bytes of out_ that hold output; the rest is room
  char* in_;
  size_t inLeft_;
  const std::string& upperFrom_;
  const std::string& upperTo_;
  const bool atEnd_;
  const iconv_t cd_;
  const double factor_;
  const bool utf8Source_;
  const size_t unit_;  // bytes of one code unit of the source
  bool lost_ = false;
  std::string replacement_;  // U+FFFD in the target, or "?" where it has none
  std::string question_;     // "?" in the target
  iconv_t decoder_ = kNoDescriptor;
};

// Appends the conversion of `in` to `out` with iconv alone and sets `lost` when something was
// replaced or dropped.
void convertWithIconv(std::string& out, std::string_view in, const std::string& upperFrom,
                      const std::string& upperTo, bool atEnd, bool& lost) {
  const iconv_t cd = DescriptorCache::local().get(upperTo, upperFrom);
  if (cd == kNoDescriptor) return;
  if (IconvConversion(out, in, upperFrom, upperTo, atEnd, cd).run()) lost = true;
}

// Inputs from this size on take the table-driven path between UTF-8 and GB18030, whose tables cost
// about 10 ms to read from iconv once (the halves of such an input take it as well).
constexpr size_t kTableMinimum = size_t{256} << 10;
// Input bytes handed to the table-driven path at a time. Their output goes to a buffer of this
// thread that is never cleared and stays in the cache until it is appended: growing the string for
// the room instead would zero twice the input first.
constexpr size_t kTableStep = size_t{64} << 10;

// convertWithIconv, with the ordinary characters between UTF-8 and GB18030 converted from tables.
// Whatever the tables stop at goes to iconv, up to the next position where a character starts
// whatever came before, so that the result is exactly iconv's own.
void convertInto(std::string& out, std::string_view in, const std::string& upperFrom, const std::string& upperTo,
                 bool atEnd, bool tables, bool& lost) {
  const bool toGb = upperTo == "GB18030" && (upperFrom == "UTF-8" || upperFrom == "UTF8");
  const bool fromGb = upperFrom == "GB18030" && (upperTo == "UTF-8" || upperTo == "UTF8");
  if ((!toGb && !fromGb) || !tables) {
    convertWithIconv(out, in, upperFrom, upperTo, atEnd, lost);
    return;
  }
  thread_local std::unique_ptr<unsigned char[]> room;
  if (!room) room = std::make_unique_for_overwrite<unsigned char[]>(kTableStep * 2 + 16);
  const auto* bytes = reinterpret_cast<const unsigned char*>(in.data());
  size_t pos = 0;
  while (pos < in.size()) {
    const size_t step = std::min(kTableStep, in.size() - pos);
    size_t produced = 0;
    const size_t consumed = toGb ? gb18030::fromUtf8(bytes + pos, step, room.get(), produced)
                                 : gb18030::toUtf8(bytes + pos, step, room.get(), produced);
    out.append(reinterpret_cast<const char*>(room.get()), produced);
    pos += consumed;
    if (consumed == step) continue;
    const size_t restart = toGb ? gb18030::nextUtf8Restart(bytes, in.size(), pos)
                                : gb18030::nextGb18030Restart(bytes, in.size(), pos);
    convertWithIconv(out, in.substr(pos, restart - pos), upperFrom, upperTo, atEnd && restart == in.size(), lost);
    pos = restart;
  }
}

// Large inputs go in rounds of about kRound bytes; each round from kParallelMinimum on is converted
// in two halves at once, the second half into a buffer that is appended and reused.
constexpr size_t kRound = size_t{32} << 20;
constexpr size_t kParallelMinimum = size_t{4} << 20;
// Between UTF-8 and GB18030 the tables convert a MiB in about a millisecond, and the helper thread is
// kept (HelperThread): the pieces of a streamed conversion are worth their second core from this
// size on.
constexpr size_t kParallelTableMinimum = size_t{256} << 10;

bool isUtf8Name(std::string_view upper) { return upper == "UTF-8" || upper == "UTF8"; }

// Whether a conversion of `from` into `to` goes mostly through the GB18030 table.
bool tableDriven(std::string_view upperFrom, std::string_view upperTo) {
  return (upperTo == "GB18030" && isUtf8Name(upperFrom)) || (upperFrom == "GB18030" && isUtf8Name(upperTo));
}

// A position at or a little after `middle` where a character of `upperFrom` starts whatever came
// before, so that both sides convert on their own exactly as the whole would; npos when there is
// none close by or the charset has no such mark.
size_t splitPoint(std::string_view in, std::string_view upperFrom, size_t middle) {
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const size_t limit = std::min(in.size(), middle + (size_t{1} << 20));
  if (upperFrom == "UTF-8") {
    for (size_t j = middle; j < std::min(limit, middle + 4); ++j) {
      if ((p[j] & 0xC0) != 0x80) return j;
    }
  } else if (upperFrom == "UTF-16LE" || upperFrom == "UTF-16BE") {
    const size_t high = upperFrom == "UTF-16LE" ? 1 : 0;  // offset of a unit's high byte
    for (size_t j = middle & ~size_t{1}; j >= 2 && j + 2 <= limit; j += 2) {
      if ((p[j - 2 + high] & 0xFC) != 0xD8) return j;  // not right after a leading surrogate
    }
  } else if (upperFrom == "GB18030" || upperFrom == "BIG5" || upperFrom == "BIG5-HKSCS") {
    // No byte below 0x30 is ever part of a multi-byte character in these charsets.
    for (size_t j = middle; j < limit; ++j) {
      if (p[j] < 0x30) return j + 1;
    }
  }
  return std::string_view::npos;
}

}  // namespace

namespace {

bool convertRounds(std::string& out, std::string_view in, std::string_view from, std::string_view to, bool atEnd,
                   bool* lossy, const std::function<bool()>& stopped) {
  const std::string upperFrom = upperName(from);
  const std::string upperTo = upperName(to);
  if (DescriptorCache::local().get(upperTo, upperFrom) == kNoDescriptor) return false;
  bool lost = false;
  out.reserve(out.size() + static_cast<size_t>(static_cast<double>(in.size()) * expansion(upperTo)) + 16);

  // BIG5-HKSCS joins some pairs of characters into one code, so a cut between them would show.
  const size_t minimum = tableDriven(upperFrom, upperTo) ? kParallelTableMinimum : kParallelMinimum;
  const bool tables = in.size() >= kTableMinimum;
  const bool parallel = in.size() >= minimum && upperTo != "BIG5-HKSCS" && std::thread::hardware_concurrency() > 1;
  // The other half of a round goes to this thread's helper, into a buffer that stays for the next
  // piece of a streamed conversion unless it grew large.
  // (A lambda names a thread_local as the thread it runs on sees it: the helper's job gets a reference.)
  thread_local HelperThread helper;
  thread_local std::string kept;
  std::string& second = kept;
  struct Trim {
    std::string& buffer;
    ~Trim() {
      if (buffer.capacity() > kParallelMinimum) std::string().swap(buffer);
    }
  } trim{second};
  for (size_t start = 0; start < in.size() || start == 0;) {
    size_t end = in.size();
    if ((parallel || stopped) && in.size() - start > kRound + kRound / 2) {
      end = std::min(end, splitPoint(in, upperFrom, start + kRound));
    }
    const bool last = end == in.size();
    const bool inputEnds = last && atEnd;
    size_t middle = std::string_view::npos;
    if (parallel && end - start >= minimum) middle = splitPoint(in, upperFrom, start + (end - start) / 2);
    bool secondLost = false;
    bool halves = false;
    if (middle > start && middle < end) {
      second.clear();
      // No thread to be had: this round goes in one piece.
      halves = helper.start([&] {
        convertInto(second, in.substr(middle, end - middle), upperFrom, upperTo, inputEnds, tables, secondLost);
      });
    }
    if (halves) {
      convertInto(out, in.substr(start, middle - start), upperFrom, upperTo, false, tables, lost);
      helper.wait();
      out.append(second);
      lost = lost || secondLost;
    } else {
      convertInto(out, in.substr(start, end - start), upperFrom, upperTo, inputEnds, tables, lost);
    }
    if (last || (stopped && stopped())) break;
    start = end;
  }
  if (lossy != nullptr) *lossy = lost;
  return true;
}

}  // namespace

bool appendConverted(std::string& out, std::string_view in, std::string_view from, std::string_view to, bool* lossy,
                     const std::function<bool()>& stopped) {
  return convertRounds(out, in, from, to, true, lossy, stopped);
}

bool appendConvertedPiece(std::string& out, std::string_view bytes, std::string_view from, std::string_view to,
                          bool atEnd, bool* lossy) {
  return convertRounds(out, bytes, from, to, atEnd, lossy, {});
}

// iconv writes no byte-order mark for any of our targets (UTF-8, UTF-16LE, UTF-16BE, BIG5,
// BIG5-HKSCS, GB18030), so the result needs no mark removed: a U+FEFF that the text itself starts
// with is a character of the text and stays.
std::string ConvertCharset(std::string_view bytes, std::string_view from, std::string_view to,
                           bool* lossy) {
  std::string out;
  if (!appendConverted(out, bytes, from, to, lossy) && lossy != nullptr) *lossy = false;
  return out;
}

}  // namespace chengling
