#include "foundation/chinese_convert.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <system_error>
#include <thread>
#include <vector>

#include "foundation/chinese_convert_tables.h"
#include "foundation/gb18030_table.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

using chinese_tables::Table;

// A stream step holds at most about this much of a stretch without a byte below 0x30 before it
// cuts by walking its characters.
constexpr size_t kStreamHeldBytes = size_t{1} << 16;
// Texts at least this long are shared out between the cores, in ranges of about kRangeBytes.
constexpr size_t kParallelBytes = size_t{1} << 18;
constexpr size_t kRangeBytes = size_t{1} << 20;
constexpr size_t kMaxWorkers = 4;

size_t slotOf(const Table& table, char32_t codePoint) {
  return size_t{table.pages[codePoint >> 8]} * 256 + (codePoint & 0xFF);
}

uint32_t childOf(const Table& table, uint32_t node, char32_t codePoint) {
  const char32_t* const first = table.childCodes + table.childStart[node];
  const char32_t* const last = table.childCodes + table.childStart[node + 1];
  const char32_t* const it = std::lower_bound(first, last, codePoint);
  return it != last && *it == codePoint ? table.childNodes[it - table.childCodes] : 0;
}

// Reads one character of internal text: its length, and U+FFFD for a byte that starts none (no key
// holds U+FFFD, so such a byte ends every phrase, as it does where OpenCC sees it).
struct GbReader {
  const gb18030::Table& gb = gb18030::Table::get();
  size_t operator()(const unsigned char* p, const unsigned char* end, char32_t& codePoint) const {
    const size_t length = gb.decode(p, end, codePoint);
    if (length != 0) return length;
    codePoint = 0xFFFD;
    return 1;
  }
};

struct Utf8Reader {
  size_t operator()(const unsigned char* p, const unsigned char* end, char32_t& codePoint) const {
    const size_t length = readUtf8(p, static_cast<size_t>(end - p), codePoint);
    if (length != 0) return length;
    codePoint = 0xFFFD;
    return 1;
  }
};

// The conversion of [p, end): at each character the longest key of the phrase list that starts
// there, else the character's own entry. The sink receives every character or phrase in order:
//   single(at, length, codePoint, to)          `to` 0 when the character stays
//   phrase(at, end, characters, value, count)  `count` characters of the value
// Only characters that start before `limit` are converted; where the next one starts is returned.
template <class Reader, class Sink>
const unsigned char* convertRange(const Table& table, const unsigned char* p, const unsigned char* end,
                                  const Reader& read, Sink& sink, const unsigned char* limit) {
  while (p < limit) {
    char32_t codePoint;
    const size_t length = read(p, end, codePoint);
    const size_t slot = slotOf(table, codePoint);
    if (uint32_t node = table.roots[slot]) {
      const unsigned char* q = p + length;
      const unsigned char* matchEnd = nullptr;
      uint32_t value = 0;
      size_t characters = 1;
      size_t matchCharacters = 0;
      while (q < end) {
        char32_t next;
        const size_t nextLength = read(q, end, next);
        node = childOf(table, node, next);
        if (node == 0) break;
        q += nextLength;
        ++characters;
        if (const uint32_t found = table.nodeValues[node]) {
          value = found;
          matchEnd = q;
          matchCharacters = characters;
        }
      }
      if (value != 0) {
        sink.phrase(p, matchEnd, matchCharacters, table.values + value + 1, table.values[value]);
        p = matchEnd;
        continue;
      }
    }
    sink.single(p, length, codePoint, table.singles[slot]);
    p += length;
  }
  return p;
}

// Writes conversions into a copy of internal text, in place: a character changes only when it and
// its converted form are both two-byte GBK characters, so the text keeps its length and every
// character its place.
struct GbSink {
  const Table& table;
  const GbReader& read;
  const unsigned char* base;
  char* out;

  void put(const unsigned char* at, size_t length, char32_t from, char32_t to) const {
    if (to == 0 || to == from || length != 2) return;
    unsigned code;
    if (to <= 0xFFFF) {
      if (read.gb.encodedLength(static_cast<char16_t>(to)) != 2) return;
      const uint32_t encoded = read.gb.encoded(static_cast<char16_t>(to));
      code = (encoded & 0xFF) << 8 | ((encoded >> 8) & 0xFF);
    } else {
      code = read.gb.supplementaryCode(to);
      if (code == 0) return;
    }
    char* place = out + (at - base);
    place[0] = static_cast<char>(code >> 8);
    place[1] = static_cast<char>(code & 0xFF);
  }
  void single(const unsigned char* at, size_t length, char32_t codePoint, char32_t to) const {
    put(at, length, codePoint, to);
  }
  void phrase(const unsigned char* at, const unsigned char* end, size_t characters, const char32_t* value,
              size_t count) const {
    // A value of another number of characters could not keep each one in its place: then every
    // character of the phrase is converted on its own.
    for (size_t k = 0; at < end; ++k) {
      char32_t codePoint;
      const size_t length = read(at, end, codePoint);
      put(at, length, codePoint, count == characters ? value[k] : table.singles[slotOf(table, codePoint)]);
      at += length;
    }
  }
};

struct Utf8Sink {
  std::string& out;
  void single(const unsigned char* at, size_t length, char32_t, char32_t to) const {
    if (to != 0) {
      appendUtf8(to, out);
    } else {
      out.append(reinterpret_cast<const char*>(at), length);
    }
  }
  void phrase(const unsigned char*, const unsigned char*, size_t, const char32_t* value, size_t count) const {
    for (size_t k = 0; k < count; ++k) appendUtf8(value[k], out);
  }
};

// Internal text converted in ranges that end just after a byte below 0x30: such a byte is a
// character of its own and in no key, so no phrase reaches over it and each range converts exactly as
// it does inside the whole. Large texts go to several cores; each range lands at its own place.
std::string convertInternal(std::string_view text, const Table& table) {
  std::string out(text);
  const auto* const base = reinterpret_cast<const unsigned char*>(text.data());
  const GbReader read;
  const GbSink sink{table, read, base, out.data()};
  if (text.size() < kParallelBytes) {
    convertRange(table, base, base + text.size(), read, sink, base + text.size());
    return out;
  }
  std::vector<size_t> bounds{0};
  while (bounds.back() < text.size()) {
    const size_t from = std::min(bounds.back() + kRangeBytes, text.size());
    bounds.push_back(from == text.size() ? from : gb18030::nextGb18030Restart(base, text.size(), from));
  }
  const size_t ranges = bounds.size() - 1;
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i; (i = next.fetch_add(1)) < ranges;) {
      convertRange(table, base + bounds[i], base + bounds[i + 1], read, sink, base + bounds[i + 1]);
    }
  };
  const size_t workers = std::min<size_t>({ranges, std::max(1u, std::thread::hardware_concurrency()), kMaxWorkers});
  std::vector<std::thread> threads;
  for (size_t i = 1; i < workers; ++i) {
    try {
      threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer helpers, same result
    }
  }
  work();
  for (std::thread& thread : threads) thread.join();
  return out;
}

std::string convertUtf8(std::string_view utf8, const Table& table) {
  std::string out;
  out.reserve(utf8.size() + utf8.size() / 8);
  Utf8Sink sink{out};
  const auto* const base = reinterpret_cast<const unsigned char*>(utf8.data());
  convertRange(table, base, base + utf8.size(), Utf8Reader{}, sink, base + utf8.size());
  return out;
}

size_t gbLength(std::string_view text, size_t pos) { return gbUnitAt(text, pos).length; }

size_t big5Length(std::string_view text, size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x81 || lead > 0xFE || pos + 1 >= text.size()) return 1;
  const auto trail = static_cast<unsigned char>(text[pos + 1]);
  return (trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE) ? 2 : 1;
}

// Converts with iconv; every source character the converter rejects (invalid, or not held by the
// target) becomes one "?", its length told by `lengthAt`. Without the converter the input comes back.
std::string convertReplacing(std::string_view input, const char* to, const char* from,
                             size_t (*lengthAt)(std::string_view, size_t)) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(input);
  std::string out(input.size() + input.size() / 2 + 16, '\0');
  size_t used = 0;
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  auto room = [&](size_t need) {
    if (out.size() - used < need) out.resize(out.size() * 2 + need);
  };
  while (inLeft > 0) {
    char* outPtr = out.data() + used;
    size_t outLeft = out.size() - used;
    const size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    used = static_cast<size_t>(outPtr - out.data());
    if (result != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) {
      room(out.size());
      continue;
    }
    // EILSEQ or EINVAL (a character cut off at the end): one "?" for it, then go on behind it.
    const size_t skip = std::min(inLeft, lengthAt(input, input.size() - inLeft));
    room(1);
    out[used++] = '?';
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  room(16);
  char* outPtr = out.data() + used;
  size_t outLeft = out.size() - used;
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  used = static_cast<size_t>(outPtr - out.data());
  iconv_close(cd);
  out.resize(used);
  return out;
}

}  // namespace

std::string ToTraditional(std::string_view text) {
  return convertInternal(text, chinese_tables::SimplifiedToTraditional);
}

std::string ToSimplified(std::string_view text) {
  return convertInternal(text, chinese_tables::TraditionalToSimplified);
}

std::string Utf8ToTraditional(std::string_view utf8) {
  return convertUtf8(utf8, chinese_tables::SimplifiedToTraditional);
}

std::string Utf8ToSimplified(std::string_view utf8) {
  return convertUtf8(utf8, chinese_tables::TraditionalToSimplified);
}

bool chineseTablesAvailable() { return true; }

// Internal text is read as GB18030, a superset of code page 936 that also knows the characters
// glibc's stricter GBK table rejects; what BIG5 lacks becomes "?".
std::string GbkToBig5(std::string_view text) { return convertReplacing(text, "CP950", "GB18030", gbLength); }

// Written as GB18030 and then held to GBK: a character that would need four bytes is one the target
// code page cannot hold.
std::string Big5ToGbk(std::string_view bytes) {
  const std::string wide = convertReplacing(bytes, "GB18030", "CP950", big5Length);
  std::string out;
  out.reserve(wide.size());
  for (size_t pos = 0; pos < wide.size();) {
    const GbUnit unit = gbUnitAt(wide, pos);
    if (unit.kind == GbUnit::Kind::Quad) {
      out += '?';
    } else {
      out.append(wide, pos, unit.length);
    }
    pos += unit.length;
  }
  return out;
}

namespace {

// How far the input a stream step holds converts now as it would inside the whole text (all of it
// when `last`): the converted text of that prefix goes to `out`, its length is returned.
// The first `clean` bytes are known to hold no byte below 0x30; then all of them are.
size_t convertFinal(ChineseStream::Step step, std::string_view text, bool last, size_t& clean, std::string& out) {
  using Step = ChineseStream::Step;
  size_t end = text.size();
  while (!last && end > clean && static_cast<unsigned char>(text[end - 1]) >= 0x30) --end;
  if (!last && end == clean) {
    end = 0;
    clean = text.size();
  }
  const bool phrases = step == Step::ToTraditional || step == Step::ToSimplified;
  if (end == 0 && text.size() > kStreamHeldBytes) {
    if (phrases) {
      // A phrase that starts this far before the end is decided by what is here already.
      const Table& table =
          step == Step::ToTraditional ? chinese_tables::SimplifiedToTraditional : chinese_tables::TraditionalToSimplified;
      std::string copy(text);
      const auto* const base = reinterpret_cast<const unsigned char*>(text.data());
      const GbReader read;
      const GbSink sink{table, read, base, copy.data()};
      const unsigned char* const next =
          convertRange(table, base, base + text.size(), read, sink, base + text.size() - table.longestKey * 4);
      const auto done = static_cast<size_t>(next - base);
      out.append(copy, 0, done);
      return done;
    }
    // The code page functions go character by character: any character start will do.
    const auto lengthAt = step == Step::GbkToBig5 ? gbLength : big5Length;
    while (end + 4 < text.size()) end += lengthAt(text, end);
  }
  if (end == 0) return 0;
  const std::string_view final = text.substr(0, end);
  switch (step) {
    case Step::ToTraditional: out += ToTraditional(final); break;
    case Step::ToSimplified: out += ToSimplified(final); break;
    case Step::GbkToBig5: out += GbkToBig5(final); break;
    case Step::Big5ToGbk: out += Big5ToGbk(final); break;
  }
  return end;
}

}  // namespace

ChineseStream::ChineseStream(std::vector<Step> steps) {
  for (Step step : steps) stages_.push_back({step, {}});
}

void ChineseStream::put(std::string_view piece, std::string& out, bool last) { run(0, piece, last, out); }

void ChineseStream::run(size_t stage, std::string_view piece, bool last, std::string& out) {
  if (stage == stages_.size()) {
    out.append(piece);
    return;
  }
  Stage& s = stages_[stage];
  std::string converted;
  if (s.held.empty() && last) {
    size_t clean = 0;
    convertFinal(s.step, piece, true, clean, converted);  // a whole text is never copied to be held
  } else {
    s.held.append(piece);
    const size_t done = convertFinal(s.step, s.held, last, s.clean, converted);
    s.held.erase(0, done);
    s.clean = done == 0 ? s.clean : 0;
  }
  run(stage + 1, converted, last, out);
}

}  // namespace chengling
