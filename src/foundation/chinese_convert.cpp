#include "foundation/chinese_convert.h"

#include <iconv.h>
#include <opencc/SimpleConverter.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/gb18030_table.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

// OpenCC takes one chunk at a time: its segmentation of a whole large file would cost far more
// memory than the text. Chunks end after a line break once they reach kChunkBytes of UTF-8, or
// anywhere at kMaxChunkBytes, so phrases are cut only inside very long lines.
constexpr size_t kChunkBytes = size_t{1} << 18;
constexpr size_t kMaxChunkBytes = size_t{1} << 20;
constexpr size_t kMaxWorkers = 4;

std::unique_ptr<opencc::SimpleConverter> loadConverter(const char* config) {
  try {
    return std::make_unique<opencc::SimpleConverter>(config);
  } catch (...) {
    return nullptr;
  }
}

struct Converters {
  std::unique_ptr<opencc::SimpleConverter> toTraditional = loadConverter("s2t.json");
  std::unique_ptr<opencc::SimpleConverter> toSimplified = loadConverter("t2s.json");
};

// Loaded once; OpenCC's Convert is const and keeps no state between calls, so the two converters
// are shared by every thread.
const Converters& converters() {
  static const Converters instance;
  return instance;
}

// OpenCC needs valid UTF-8 without NUL: NUL and bytes that are no GB18030 character stand in as
// U+FFFD, which OpenCC passes through, and keep their own bytes in the result.
bool takesPart(const GbUnit& unit) {
  return unit.kind != GbUnit::Kind::Invalid && !(unit.kind == GbUnit::Kind::Ascii && unit.codePoint == 0);
}

char32_t standIn(const GbUnit& unit) { return takesPart(unit) ? unit.codePoint : 0xFFFD; }

// Appends `piece` (`units` characters) with the characters of `converted` put in where they keep
// the text GBK and its byte length. False, with nothing appended, when `converted` does not hold
// exactly one character per character of `piece`.
bool mergeAligned(std::string_view piece, std::string_view converted, size_t units, std::string& out) {
  size_t count = 0;
  for (size_t pos = 0; pos < converted.size(); ++count) {
    char32_t cp;
    const size_t length = readUtf8(converted, pos, cp);
    if (length == 0) return false;
    pos += length;
  }
  if (count != units) return false;
  std::string candidate;
  size_t from = 0;
  for (size_t pos = 0; pos < piece.size();) {
    const GbUnit unit = gbUnitAt(piece, pos);
    char32_t cp = 0;
    from += readUtf8(converted, from, cp);
    candidate.clear();
    if (takesPart(unit) && appendGb18030(cp, candidate) && candidate.size() == unit.length &&
        candidate.size() <= 2) {
      out += candidate;
    } else {
      out.append(piece.substr(pos, unit.length));
    }
    pos += unit.length;
  }
  return true;
}

struct Chunk {
  std::string utf8;
  size_t units = 0;
  bool plain = true;  // ASCII only: nothing to convert
};

Chunk chunkOf(std::string_view piece) {
  Chunk chunk;
  for (size_t pos = 0; pos < piece.size();) {
    const GbUnit unit = gbUnitAt(piece, pos);
    if (unit.kind != GbUnit::Kind::Ascii) chunk.plain = false;
    appendUtf8(standIn(unit), chunk.utf8);
    ++chunk.units;
    pos += unit.length;
  }
  return chunk;
}

// Empty when OpenCC fails, which no alignment accepts.
std::string runOpencc(const opencc::SimpleConverter& converter, const std::string& utf8) {
  try {
    return converter.Convert(utf8.data(), utf8.size());
  } catch (...) {
    return std::string();
  }
}

// A piece whose conversion changed the number of characters: line by line, and a line that still
// does so character by character, so that every character keeps its place.
void convertUnaligned(std::string_view piece, const opencc::SimpleConverter& converter, std::string& out,
                      bool byCharacter) {
  size_t start = 0;
  for (size_t pos = 0; pos < piece.size();) {
    const GbUnit unit = gbUnitAt(piece, pos);
    pos += unit.length;
    if (!byCharacter && !(unit.kind == GbUnit::Kind::Ascii && unit.codePoint == '\n') && pos < piece.size()) {
      continue;
    }
    const std::string_view part = piece.substr(start, pos - start);
    start = pos;
    const Chunk chunk = chunkOf(part);
    if (chunk.plain) {
      out.append(part);
      continue;
    }
    const std::string converted = runOpencc(converter, chunk.utf8);
    if (mergeAligned(part, converted, chunk.units, out)) continue;
    if (byCharacter) {
      out.append(part);
    } else {
      convertUnaligned(part, converter, out, true);
    }
  }
}

void convertPiece(std::string_view piece, const opencc::SimpleConverter& converter, std::string& out) {
  const Chunk chunk = chunkOf(piece);
  if (chunk.plain) {
    out.append(piece);
    return;
  }
  const std::string converted = runOpencc(converter, chunk.utf8);
  if (!mergeAligned(piece, converted, chunk.units, out)) convertUnaligned(piece, converter, out, false);
}

// The pieces OpenCC takes one at a time, as [start, end) byte ranges of `text`.
std::vector<std::pair<size_t, size_t>> piecesOf(std::string_view text) {
  std::vector<std::pair<size_t, size_t>> pieces;
  size_t start = 0;
  size_t utf8Bytes = 0;
  for (size_t pos = 0; pos < text.size();) {
    const GbUnit unit = gbUnitAt(text, pos);
    pos += unit.length;
    utf8Bytes += utf8Length(unit.codePoint);
    const bool lineEnd = unit.kind == GbUnit::Kind::Ascii && unit.codePoint == '\n';
    if ((utf8Bytes >= kChunkBytes && lineEnd) || utf8Bytes >= kMaxChunkBytes || pos >= text.size()) {
      pieces.emplace_back(start, pos);
      start = pos;
      utf8Bytes = 0;
    }
  }
  return pieces;
}

std::string convertChinese(std::string_view text, const opencc::SimpleConverter* converter) {
  if (converter == nullptr) return std::string(text);
  const std::vector<std::pair<size_t, size_t>> pieces = piecesOf(text);
  std::string out;
  out.reserve(text.size());
  const size_t workers = std::min<size_t>({pieces.size(), std::max(1u, std::thread::hardware_concurrency()), kMaxWorkers});
  if (workers <= 1) {
    for (const auto& [start, end] : pieces) convertPiece(text.substr(start, end - start), *converter, out);
    return out;
  }
  // OpenCC is the slow part by far: the pieces are shared out between the cores. A converted piece
  // has the byte length of its source, so each lands at its own place in the result.
  out.assign(text);
  char* const place = out.data();
  std::atomic<size_t> next{0};
  auto work = [&] {
    std::string converted;
    for (size_t i; (i = next.fetch_add(1)) < pieces.size();) {
      const auto [start, end] = pieces[i];
      converted.clear();
      convertPiece(text.substr(start, end - start), *converter, converted);
      if (converted.size() == end - start) std::memcpy(place + start, converted.data(), converted.size());
    }
  };
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
  return convertChinese(text, converters().toTraditional.get());
}

std::string ToSimplified(std::string_view text) {
  return convertChinese(text, converters().toSimplified.get());
}

bool chineseTablesAvailable() {
  return converters().toTraditional != nullptr && converters().toSimplified != nullptr;
}

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

}  // namespace chengling
