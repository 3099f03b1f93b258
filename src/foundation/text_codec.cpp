#include "foundation/text_codec.h"

#include <errno.h>
#include <iconv.h>
#include <sys/mman.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/gb18030_table.h"
#include "foundation/internal_text.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);
constexpr size_t kIconvFailed = static_cast<size_t>(-1);

// Output grows in steps of at most this much: pages are touched only as they are filled, so a
// generous reservation costs address space, not memory.
constexpr size_t kOutputStep = size_t{8} << 20;
constexpr size_t kGunzipWindow = 8192;

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

// Makes the pages of a large stretch of fresh memory present in one call: far cheaper than taking
// one page fault after another while the stretch is filled. Only a hint; it may fail harmlessly.
void prefault(char* start, size_t size) {
  constexpr size_t kPage = 4096;
  if (size < (size_t{1} << 20)) return;
  const auto first = (reinterpret_cast<uintptr_t>(start) + kPage - 1) & ~uintptr_t{kPage - 1};
  const auto end = (reinterpret_cast<uintptr_t>(start) + size) & ~uintptr_t{kPage - 1};
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}

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

// Appends the conversion of `in` to `out`, converting straight into the string's own storage, and
// sets `lost` when something was replaced or dropped. `atEnd` says that `in` ends where the whole
// input ends; otherwise an incomplete sequence at its end is invalid input (what follows the piece
// cannot complete it: pieces are cut where a character starts). The descriptor must be valid.
void convertWithIconv(std::string& out, std::string_view in, const std::string& upperFrom,
                      const std::string& upperTo, bool atEnd, bool& lost) {
  const iconv_t cd = DescriptorCache::local().get(upperTo, upperFrom);
  if (cd == kNoDescriptor) return;

  const double factor = expansion(upperTo);
  size_t written = out.size();
  out.reserve(written + static_cast<size_t>(static_cast<double>(in.size()) * factor) + 16);

  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();

  // Makes at least `need` bytes of room after `written`, and some more in proportion to what is left.
  auto makeRoom = [&](size_t need) {
    const size_t wanted = std::clamp<size_t>(static_cast<size_t>(static_cast<double>(inLeft) * factor) + 16,
                                             std::max<size_t>(need, 64), std::max(need, kOutputStep));
    if (out.size() - written >= need) return;
    if (written + wanted <= out.capacity()) prefault(out.data() + out.size(), written + wanted - out.size());
    out.resize(written + wanted);
  };
  auto appendBytes = [&](std::string_view bytes) {
    makeRoom(bytes.size());
    std::memcpy(out.data() + written, bytes.data(), bytes.size());
    written += bytes.size();
  };
  // Writes what a stateful encoder still holds and returns it to its initial state, so that an
  // inserted replacement lands in the right place. (The look-ups below may use this very
  // descriptor, which is harmless once it is back in its initial state.)
  auto flushState = [&] {
    while (true) {
      makeRoom(64);
      char* outPtr = out.data() + written;
      size_t outLeft = out.size() - written;
      const size_t r = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
      written = static_cast<size_t>(outPtr - out.data());
      if (r != kIconvFailed || errno != E2BIG) return;
      out.resize(out.size() + 64);
    }
  };

  // Looked up at the first error only: most conversions never need them.
  std::string replacement;  // U+FFFD in the target, or "?" where it has none
  std::string question;     // "?" in the target
  iconv_t decoder = kNoDescriptor;
  auto loadErrorHandling = [&] {
    if (!question.empty()) return;
    question = encodedIn("?", upperTo);
    if (question.empty()) question = "?";
    replacement = encodedIn("\xEF\xBF\xBD", upperTo);
    if (replacement.empty()) replacement = question;
    decoder = DescriptorCache::local().get("UTF-32LE", upperFrom);
  };

  const size_t unit = codeUnit(upperFrom);
  const bool utf8Source = upperFrom == "UTF-8" || upperFrom == "UTF8";
  makeRoom(1);
  while (true) {
    char* outPtr = out.data() + written;
    size_t outLeft = out.size() - written;
    const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    written = static_cast<size_t>(outPtr - out.data());
    if (r != kIconvFailed) {
      if (r > 0) lost = true;  // iconv replaced something irreversibly
      break;
    }
    if (errno == E2BIG) {
      makeRoom(out.size() - written + 16);
      continue;
    }
    if (errno == EINVAL && atEnd) {  // a truncated sequence at the end: dropped
      lost = true;
      break;
    }
    if ((errno != EILSEQ && errno != EINVAL) || inLeft == 0) {
      lost = true;
      break;
    }
    // Either the input is invalid here or the target cannot hold this character.
    lost = true;
    flushState();
    loadErrorHandling();
    if (utf8Source) {
      // Judged here, and a whole run of bad bytes at once: binary data forced through UTF-8 would
      // otherwise cost several iconv calls per byte.
      for (bool first = true; inLeft > 0; first = false) {
        size_t length = 0;
        const Utf8Form form = utf8FormAt(reinterpret_cast<const unsigned char*>(inPtr), inLeft, length);
        if (form == Utf8Form::Invalid || (form == Utf8Form::CutOff && !atEnd)) {
          appendBytes(replacement);
          length = 1;
        } else if (form == Utf8Form::Complete && first) {
          appendBytes(question);
        } else {
          break;  // a character iconv takes, or one cut off by the end: iconv's business
        }
        inPtr += length;
        inLeft -= length;
      }
      continue;
    }
    size_t length = 0;
    const ProbeResult probe = probeCharacter(decoder, unit, inPtr, inLeft, length);
    appendBytes(probe == ProbeResult::Valid ? question : replacement);
    inPtr += length;
    inLeft -= length;
  }
  flushState();
  out.resize(written);
}

// Inputs from this size on take the table-driven path between UTF-8 and GB18030, whose tables cost
// about 10 ms to read from iconv once.
constexpr size_t kTableMinimum = size_t{256} << 10;
// Input bytes handed to the table-driven path at a time: bounds the output room made for them.
constexpr size_t kTableStep = size_t{1} << 20;

// convertWithIconv, with the ordinary characters between UTF-8 and GB18030 converted from tables.
// Whatever the tables stop at goes to iconv, up to the next position where a character starts
// whatever came before, so that the result is exactly iconv's own.
void convertInto(std::string& out, std::string_view in, const std::string& upperFrom, const std::string& upperTo,
                 bool atEnd, bool& lost) {
  const bool toGb = upperTo == "GB18030" && (upperFrom == "UTF-8" || upperFrom == "UTF8");
  const bool fromGb = upperFrom == "GB18030" && (upperTo == "UTF-8" || upperTo == "UTF8");
  if ((!toGb && !fromGb) || in.size() < kTableMinimum) {
    convertWithIconv(out, in, upperFrom, upperTo, atEnd, lost);
    return;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(in.data());
  size_t pos = 0;
  while (pos < in.size()) {
    const size_t step = std::min(kTableStep, in.size() - pos);
    const size_t start = out.size();
    out.resize(start + step * 2 + 16);
    size_t produced = 0;
    auto* target = reinterpret_cast<unsigned char*>(out.data() + start);
    const size_t consumed = toGb ? gb18030::fromUtf8(bytes + pos, step, target, produced)
                                 : gb18030::toUtf8(bytes + pos, step, target, produced);
    out.resize(start + produced);
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

// Appends the conversion of `in` to `out`. Returns false when iconv knows one of the names not
// (nothing is appended then).
bool appendConverted(std::string& out, std::string_view in, std::string_view from, std::string_view to,
                     bool* lossy) {
  const std::string upperFrom = upperName(from);
  const std::string upperTo = upperName(to);
  if (DescriptorCache::local().get(upperTo, upperFrom) == kNoDescriptor) return false;
  bool lost = false;
  out.reserve(out.size() + static_cast<size_t>(static_cast<double>(in.size()) * expansion(upperTo)) + 16);

  // BIG5-HKSCS joins some pairs of characters into one code, so a cut between them would show.
  const bool parallel = in.size() >= kParallelMinimum && upperTo != "BIG5-HKSCS" &&
                        std::thread::hardware_concurrency() > 1;
  std::string second;  // the other thread's half of a round
  for (size_t start = 0; start < in.size() || start == 0;) {
    size_t end = in.size();
    if (parallel && in.size() - start > kRound + kRound / 2) end = std::min(end, splitPoint(in, upperFrom, start + kRound));
    const bool last = end == in.size();
    size_t middle = std::string_view::npos;
    if (parallel && end - start >= kParallelMinimum) middle = splitPoint(in, upperFrom, start + (end - start) / 2);
    std::thread worker;
    bool secondLost = false;
    if (middle > start && middle < end) {
      second.clear();
      try {
        worker = std::thread([&] { convertInto(second, in.substr(middle, end - middle), upperFrom, upperTo, last, secondLost); });
      } catch (const std::system_error&) {
        // No thread to be had: this round goes in one piece.
      }
    }
    if (worker.joinable()) {
      convertInto(out, in.substr(start, middle - start), upperFrom, upperTo, false, lost);
      worker.join();
      out.append(second);
      lost = lost || secondLost;
    } else {
      convertInto(out, in.substr(start, end - start), upperFrom, upperTo, last, lost);
    }
    if (last) break;
    start = end;
  }
  if (lossy != nullptr) *lossy = lost;
  return true;
}

bool startsWith(std::string_view bytes, std::string_view prefix) { return bytes.starts_with(prefix); }

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

std::string_view markOf(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8: return kUtf8Mark;
    case TextEncoding::Utf16Le: return kUtf16LeMark;
    case TextEncoding::Utf16Be: return kUtf16BeMark;
    default: return {};
  }
}

// The whole file in one buffer of exactly its size: a read that comes back short has met the end, so
// a large file is never copied into a bigger buffer just to learn that nothing follows.
bool readFile(std::string_view path, std::string& bytes) {
  FileReader reader;
  if (!reader.open(path)) return false;
  const int64_t size = reader.size();
  size_t chunk = size > 0 ? static_cast<size_t>(size) + 1 : size_t{64} << 10;
  bytes.reserve(chunk);
  prefault(bytes.data(), chunk);
  while (true) {
    const int64_t n = reader.read(bytes, chunk);
    if (n < 0) return false;
    if (static_cast<size_t>(n) < chunk) return true;
    chunk = std::max(size_t{1} << 20, bytes.size() / 2);  // the file grew meanwhile
  }
}

bool isConvertedCode(TextEncoding encoding) {
  const int code = static_cast<int>(encoding);
  return code >= 2 && code <= 6;
}


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

std::string_view charsetName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8: return "UTF-8";
    case TextEncoding::Utf16Le: return "UTF-16LE";
    case TextEncoding::Utf16Be: return "UTF-16BE";
    case TextEncoding::Big5: return "BIG5";
    case TextEncoding::Big5Hkscs: return "BIG5-HKSCS";
    default: return {};
  }
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

std::string GunzipBytes(std::string_view bytes, size_t limit) {
  std::string out;
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return out;  // gzip header and trailer
  // The trailer's size field (modulo 4 GiB, of the last member) is a good first guess, as long as
  // deflate could really expand the input that far (at most about 1032 to 1).
  size_t hint = kGunzipWindow;
  if (bytes.size() >= 18) {
    const auto* tail = reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - 4);
    const size_t claimed = size_t{tail[0]} | size_t{tail[1]} << 8 | size_t{tail[2]} << 16 | size_t{tail[3]} << 24;
    hint = std::max(hint, std::min(claimed, bytes.size() * 1032));
  }
  out.reserve(std::min(hint, limit));

  size_t consumed = 0;
  size_t written = 0;
  while (written < limit) {
    if (stream.avail_in == 0 && consumed < bytes.size()) {
      const size_t n = std::min(kGunzipWindow, bytes.size() - consumed);
      stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + consumed));
      stream.avail_in = static_cast<uInt>(n);
      consumed += n;
    }
    const size_t window = std::min(kGunzipWindow, limit - written);
    out.resize(written + window);
    stream.next_out = reinterpret_cast<Bytef*>(out.data() + written);
    stream.avail_out = static_cast<uInt>(window);
    const int rc = inflate(&stream, Z_NO_FLUSH);
    written += window - stream.avail_out;
    if (rc != Z_OK) break;  // end of stream, corrupt data, or no progress on truncated input
    if (stream.avail_in == 0 && consumed == bytes.size() && stream.avail_out != 0) break;  // input used up
  }
  inflateEnd(&stream);
  out.resize(written);
  return out;
}

// The walk over 2- and 3-byte forms accepts exactly the texts in which a byte is a continuation
// (10xxxxxx) if and only if the byte before it is a lead (11xxxxxx) or the byte two before is a
// 3-byte lead (1110xxxx), no byte is F0 or above, and no form is cut off at the end. That holds per
// position, so it is checked sixteen bytes at a time, in one pass.
bool LooksLikeUtf8(std::string_view bytes) {
  using Bytes = unsigned char __attribute__((vector_size(16)));
  using Mask = signed char __attribute__((vector_size(16)));
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  Mask errors = {};
  Bytes seen = {};
  auto check = [&](const unsigned char* at, const unsigned char* before1, const unsigned char* before2) {
    Bytes b, b1, b2;
    std::memcpy(&b, at, 16);
    std::memcpy(&b1, before1, 16);
    std::memcpy(&b2, before2, 16);
    const Mask continuation = (b >= 0x80) & (b < 0xC0);
    const Mask expected = (b1 >= 0xC0) | (b2 >= 0xE0);
    errors |= (continuation ^ expected) | (b >= 0xF0);
    seen |= b;
  };
  auto any = [](auto vector) {
    uint64_t halves[2];
    std::memcpy(halves, &vector, 16);
    return (halves[0] | halves[1]) != 0;
  };

  size_t i = 0;
  if (n >= 16) {
    unsigned char head[18] = {};  // two ASCII bytes stand before the start
    std::memcpy(head + 2, p, 16);
    check(head + 2, head + 1, head);
    for (i = 16; i + 16 <= n; i += 16) {
      check(p + i, p + i - 1, p + i - 2);
      if ((i & 4095) == 0 && any(errors)) return false;
    }
  }
  // The rest, followed by ASCII padding: a form cut off at the end expects a continuation there.
  unsigned char tail[18] = {};
  if (i >= 2) std::memcpy(tail, p + i - 2, 2);
  if (n > i) std::memcpy(tail + 2, p + i, n - i);
  check(tail + 2, tail + 1, tail);
  return !any(errors) && any(seen & 0x80);
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

std::string DecodeText(std::string_view path, TextEncoding forced, std::string_view bytes,
                       std::string_view text, TextEncoding& used) {
  // `owned` holds the content when it had to be read or inflated; `content` views it otherwise.
  std::string owned;
  std::string_view content;
  if (!path.empty()) {
    // Read-only access is all a decode needs; a read-only file decodes like any other.
    if (!readFile(path, owned)) return {};
    content = owned;
  } else {
    content = !bytes.empty() ? bytes : text;
  }
  if (startsWith(content, "\x1F\x8B")) {
    std::string inflated = GunzipBytes(content);
    owned = std::move(inflated);
    content = owned;
  }

  TextEncoding encoding = forced;
  size_t start = 0;
  if (encoding == TextEncoding::Detect) {
    if (startsWith(content, kUtf8Mark)) {
      encoding = TextEncoding::Utf8;
      start = 3;
    } else if (startsWith(content, kUtf16LeMark)) {
      encoding = TextEncoding::Utf16Le;
      start = 2;
    } else if (startsWith(content, kUtf16BeMark)) {
      encoding = TextEncoding::Utf16Be;
      start = 2;
    } else {
      switch (DetectHtmlCharset(cutAtNul(content))) {
        case 1: encoding = TextEncoding::Utf8; break;
        case 2: encoding = TextEncoding::Big5; break;
        case 3: encoding = TextEncoding::Big5Hkscs; break;
        default: break;
      }
    }
  } else if (encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be) {
    start = std::min<size_t>(2, content.size());
  } else if (encoding == TextEncoding::Utf8 && startsWith(content, kUtf8Mark)) {
    start = 3;
  }

  const std::string_view body = content.substr(start);
  if (encoding == TextEncoding::Detect && LooksLikeUtf8(body)) encoding = TextEncoding::Utf8;

  std::string result;
  if (isConvertedCode(encoding) && !body.empty()) {
    appendConverted(result, body, charsetName(encoding), kInternalCharset, nullptr);
    result.resize(cutAtNul(result).size());
  }
  if (result.empty()) {
    // Nothing converted: the raw content, mark included, is the text.
    const size_t length = cutAtNul(content).size();
    if (content.data() == owned.data()) {
      owned.resize(length);
      result = std::move(owned);
    } else {
      result.assign(content.data(), length);
    }
    encoding = TextEncoding::Ansi;
  }
  used = encoding;
  return result;
}

std::string DecodeBuffer(std::string_view bytes, TextEncoding forced) {
  TextEncoding ignored = TextEncoding::Detect;
  return DecodeText({}, forced, bytes, {}, ignored);
}

bool EncodeText(std::string_view path, std::string_view text, TextEncoding encoding, std::string& bytes) {
  bytes.clear();
  if (isConvertedCode(encoding)) {
    const std::string_view mark = markOf(encoding);
    bytes.assign(mark);
    appendConverted(bytes, text, kInternalCharset, charsetName(encoding), nullptr);
    if (bytes.size() == mark.size()) bytes.assign(text);  // nothing converted: the text's own bytes
  } else {
    bytes.assign(text);
  }
  if (path.empty()) return false;
  return writeFileAtomic(path, bytes);
}

}  // namespace chengling
