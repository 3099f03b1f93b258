#include "tools/csv_table/csv_record.h"

#include <cstdint>
#include <cstring>

#include "foundation/internal_text.h"
#include "foundation/utf8_internal.h"

namespace chengling {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// True when the UTF-8 character that ends right before `end` (its bytes at or after `low`) has a
// GB18030 form ending in 5C, which the reader takes as a backslash.
bool utf8BackslashEndsAt(const unsigned char* t, size_t low, size_t end) {
  if (end == low || t[end - 1] < 0x80) return false;
  size_t start = end - 1;
  while (start > low && isContinuation(t[start]) && end - start < 4) --start;
  const unsigned char lead = t[start];
  const size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (lead < 0xC0 || start + length != end || length == 4) return false;  // four-byte forms never end in 5C
  const char32_t point = length == 2 ? (lead & 0x1Fu) << 6 | (t[start + 1] & 0x3Fu)
                                     : (lead & 0x0Fu) << 12 | (t[start + 1] & 0x3Fu) << 6 | (t[start + 2] & 0x3Fu);
  return backslashBits()[point / 64] >> (point % 64) & 1u;
}

// True when an escape is pending right before `at`: the byte there (or, at the end, the closing
// quote that would follow) is taken literally. The escapes between `low` and `at` decide: a run of
// backslashes pairs off from its start. In UTF-8 a character ending in 5C escapes the byte after it
// whatever came before (an escape pending on it takes only its first byte), so it starts a run.
// Internal text is read byte by byte, a trail byte 5C included, as the reader reads it.
template <bool kUtf8>
bool escapedAt(const unsigned char* t, size_t low, size_t at) {
  size_t p = at;
  while (p > low && t[p - 1] == '\\') --p;
  size_t run = at - p;
  if constexpr (kUtf8) {
    if (utf8BackslashEndsAt(t, low, p)) ++run;
  }
  return run % 2 == 1;
}

// The first comma or LF at or after `from` (before `end`); `end` when there is none. Eight bytes at
// a time: the lowest flagged byte of a word is always a true match.
size_t findCommaOrLf(const unsigned char* t, size_t from, size_t end) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  size_t x = from;
  while (end - x >= 8) {
    uint64_t word;
    std::memcpy(&word, t + x, 8);
    const uint64_t commas = word ^ (kOnes * ',');
    const uint64_t breaks = word ^ (kOnes * '\n');
    const uint64_t hits = ((commas - kOnes) & ~commas & kHighs) | ((breaks - kOnes) & ~breaks & kHighs);
    if (hits != 0) return x + (static_cast<size_t>(__builtin_ctzll(hits)) >> 3);
    x += 8;
  }
  while (x < end && t[x] != ',' && t[x] != '\n') ++x;
  return x;
}

size_t findByte(const unsigned char* t, size_t from, size_t end, unsigned char byte) {
  if (from >= end) return kNone;
  const void* hit = std::memchr(t + from, byte, end - from);
  return hit ? static_cast<size_t>(static_cast<const unsigned char*>(hit) - t) : kNone;
}

// The reader. kWrite: fields are made (and rewritten in place); without it only the end is found.
template <bool kUtf8, bool kWrite>
class RecordReader {
 public:
  RecordReader(unsigned char* text, size_t size, std::vector<std::string_view>* fields)
      : t_(text), size_(size), fields_(fields) {}

  // From `pos`, a line start. With `inQuote` the line is taken to lie inside a field in double quotes
  // that opened before it; next is then kNone when that field would never close.
  CsvRecordEnd read(size_t pos, bool inQuote) {
    CsvRecordEnd end;
    if constexpr (kWrite) fields_->clear();
    if (!inQuote && atLineEnd(pos)) {
      end.next = pastBreak(pos);  // an empty line: no field
      return end;
    }
    size_t start = pos;
    while (true) {
      // The field at `start` ends at `stop`, a comma or a line end.
      size_t stop = kNone;
      const unsigned char first = inQuote ? '"' : t_[start];
      if (inQuote || first == '"' || first == '\'') {
        const size_t content = inQuote ? start : start + 1;
        stop = quotedField(start, content, first);
        if (stop == kNone) {
          if (inQuote) return {kNone, false};
          end.unclosedQuote = true;  // the quote is a plain character: read on as unquoted
        }
      }
      inQuote = false;
      if (stop == kNone) stop = unquotedField(start);
      if (stop < size_ && t_[stop] == ',') {
        start = stop + 1;
        if (atLineEnd(start)) {
          end.next = pastBreak(start);  // a comma that ends the line adds no field
          return end;
        }
        continue;
      }
      end.next = stop < size_ ? stop + 1 : size_;
      return end;
    }
  }

 private:
  bool atLineEnd(size_t at) const {
    return at == size_ || t_[at] == '\n' || (t_[at] == '\r' && at + 1 < size_ && t_[at + 1] == '\n');
  }
  size_t pastBreak(size_t at) const {
    if (at == size_) return size_;
    return t_[at] == '\r' ? at + 2 : at + 1;
  }
  // Where the line's own bytes end when its break is at `stop` (an LF or the end), not before `low`.
  size_t lineBytesEnd(size_t low, size_t stop) const {
    return stop < size_ && stop > low && t_[stop - 1] == '\r' ? stop - 1 : stop;
  }

  // The first LF at or after `at`, or the end. The last one found is kept: the fields of a line ask
  // for its end one after the other, and a long line of many fields is searched once.
  size_t lineFeedAt(size_t at) {
    if (at < lineFeedFrom_ || at > lineFeed_) {
      const size_t lf = findByte(t_, at, size_, '\n');
      lineFeedFrom_ = at;
      lineFeed_ = lf == kNone ? size_ : lf;
    }
    return lineFeed_;
  }

  void add(size_t from, size_t to) {
    if constexpr (kWrite) fields_->emplace_back(reinterpret_cast<const char*>(t_) + from, to - from);
  }

  // An unquoted field from `start`: up to a comma that is not escaped, or the line end.
  size_t unquotedField(size_t start) {
    size_t at = start;
    while (true) {
      const size_t stop = findCommaOrLf(t_, at, size_);
      if (stop < size_ && t_[stop] == ',') {
        if (escapedAt<kUtf8>(t_, start, stop)) {
          at = stop + 1;
          continue;
        }
        add(start, stop);
        return stop;
      }
      const size_t bytesEnd = lineBytesEnd(start, stop);
      // A line whose last byte is escaped loses its last field. Only a single byte counts: a pending
      // escape takes the first byte of a character and the character ends the line all the same.
      const bool lastEscaped = bytesEnd > start && t_[bytesEnd - 1] < 0x80 && escapedAt<kUtf8>(t_, start, bytesEnd - 1);
      if (!lastEscaped) add(start, bytesEnd);
      return stop;
    }
  }

  // A field quoted by `quote` whose content starts at `content`. Returns the comma or line end that
  // ends it, or kNone when the quote never closes.
  size_t quotedField(size_t start, size_t content, unsigned char quote) {
    // Double quotes may run over line breaks; apostrophes end with their line.
    size_t limit = size_;
    if (quote == '\'') limit = lineBytesEnd(start, lineFeedAt(content));
    bool doubled = false;
    size_t close = kNone;
    for (size_t at = content;;) {
      const size_t x = findByte(t_, at, limit, quote);
      if (x == kNone) return kNone;
      if (escapedAt<kUtf8>(t_, content, x)) {
        at = x + 1;
      } else if (x + 1 < limit && t_[x + 1] == quote) {
        doubled = true;
        at = x + 2;
      } else {
        close = x;
        break;
      }
    }
    // The bytes after the closing quote, up to the next comma or line end, are plain.
    const size_t after = close + 1;
    const size_t stop = findCommaOrLf(t_, after, size_);
    const size_t tailEnd = stop < size_ && t_[stop] == ',' ? stop : lineBytesEnd(close, stop);
    if constexpr (kWrite) {
      if (!doubled && tailEnd == after) {
        add(content, close);
      } else {
        add(content, compact(content, close, quote, after, tailEnd));
      }
    }
    return stop;
  }

  // Writes the field in place from `content`: the quoted bytes up to `close` with each doubled quote
  // once, then the bytes from `after` to `tailEnd`. Returns its end. Every byte is written at or
  // before where it was read; an escape is judged on bytes not yet written over.
  size_t compact(size_t content, size_t close, unsigned char quote, size_t after, size_t tailEnd) {
    size_t out = content;
    size_t from = content;  // bytes from here on are still as they were read
    auto move = [&](size_t begin, size_t end) {
      if (out != begin && end > begin) std::memmove(t_ + out, t_ + begin, end - begin);
      out += end - begin;
    };
    for (size_t at = content;;) {
      const size_t x = findByte(t_, at, close, quote);
      if (x == kNone) break;
      if (escapedAt<kUtf8>(t_, from, x)) {
        at = x + 1;
        continue;
      }
      move(from, x + 1);  // the first quote of the pair stays
      from = at = x + 2;
    }
    move(from, close);
    move(after, tailEnd);
    return out;
  }

  unsigned char* t_;
  size_t size_;
  std::vector<std::string_view>* fields_;
  size_t lineFeedFrom_ = 1;  // lineFeed_ is the first LF at or after lineFeedFrom_ (none known yet)
  size_t lineFeed_ = 0;
};

template <bool kWrite>
CsvRecordEnd readAny(unsigned char* text, size_t size, size_t pos, bool utf8, bool inQuote,
                     std::vector<std::string_view>* fields) {
  if (utf8) return RecordReader<true, kWrite>(text, size, fields).read(pos, inQuote);
  return RecordReader<false, kWrite>(text, size, fields).read(pos, inQuote);
}

// The start of the last character of `text` (non-empty) by the character rule, or of UTF-8.
size_t lastCharStart(std::string_view text, bool utf8) {
  if (utf8) {
    size_t start = text.size() - 1;
    while (start > 0 && isContinuation(static_cast<unsigned char>(text[start]))) --start;
    return start;
  }
  // Double-byte characters can only be told from the start.
  size_t start = 0;
  for (size_t at = 0; at < text.size(); at += byteUnitLength(text.data() + at, text.data() + text.size())) start = at;
  return start;
}

bool pendingAtEnd(std::string_view text, bool utf8) {
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  return utf8 ? escapedAt<true>(t, 0, text.size()) : escapedAt<false>(t, 0, text.size());
}

}  // namespace

CsvRecordEnd readCsvRecord(char* text, size_t size, size_t pos, bool utf8, std::vector<std::string_view>& fields) {
  return readAny<true>(reinterpret_cast<unsigned char*>(text), size, pos, utf8, false, &fields);
}

CsvRecordEnd skipCsvRecord(const char* text, size_t size, size_t pos, bool utf8) {
  // Nothing is written without kWrite.
  return readAny<false>(reinterpret_cast<unsigned char*>(const_cast<char*>(text)), size, pos, utf8, false, nullptr);
}

size_t csvRecordStartAfter(const char* text, size_t size, size_t from, bool utf8) {
  // At a line start the reader is either at a record's start or inside a field in double quotes
  // (every other field ends with its line). Both are read on from `from` until they reach the same
  // record start; from there on they cannot differ, so whichever was true, a record starts there.
  auto* t = reinterpret_cast<unsigned char*>(const_cast<char*>(text));
  const CsvRecordEnd inside = readAny<false>(t, size, from, utf8, true, nullptr);
  // A field open at `from` would never close, so it would be read as unquoted from its quote on:
  // no field is open at `from`.
  if (inside.next == kNone) return from;
  size_t a = from;
  size_t b = inside.next;
  while (a != b) {
    if (a < b) {
      a = skipCsvRecord(text, size, a, utf8).next;
    } else {
      b = skipCsvRecord(text, size, b, utf8).next;
    }
  }
  return a;
}

size_t quotedPartLength(std::string_view cell, bool utf8) {
  std::string_view inside = cell;
  while (!inside.empty() && pendingAtEnd(inside, utf8)) inside = inside.substr(0, lastCharStart(inside, utf8));
  return inside.size();
}

bool quoteIsEscaped(std::string_view text, size_t at, bool utf8) {
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  return utf8 ? escapedAt<true>(t, 0, at) : escapedAt<false>(t, 0, at);
}

bool quotedFieldNeedsEscape(std::string_view cell, bool utf8) {
  if (pendingAtEnd(cell, utf8)) return true;
  for (size_t at = cell.find('"'); at != std::string_view::npos; at = cell.find('"', at + 1)) {
    if (!quoteIsEscaped(cell, at, utf8)) return true;
  }
  return false;
}

void appendQuotedField(std::string_view cell, bool utf8, std::string& out) {
  writeQuotedField(cell, utf8, [&](std::string_view piece) { out.append(piece); });
}

bool exportFieldIsPlain(std::string_view cell, bool utf8, bool quoted) {
  if (quoted) return !quotedFieldNeedsEscape(cell, utf8);
  return cell.find_first_of("\r\n") == std::string_view::npos;
}

void appendExportField(std::string_view cell, bool utf8, bool quoted, std::string& out) {
  if (exportFieldIsPlain(cell, utf8, quoted)) {
    if (quoted) out += '"';
    out.append(cell);
    if (quoted) out += '"';
    return;
  }
  appendQuotedField(cell, utf8, out);
}

std::vector<std::string> csvRecordFields(std::string_view text, bool utf8) {
  std::string copy(text);
  std::vector<std::string_view> views;
  readCsvRecord(copy.data(), copy.size(), 0, utf8, views);
  return {views.begin(), views.end()};
}

std::vector<std::string> ParseCsvLine(std::string_view line) { return csvRecordFields(line, false); }

}  // namespace chengling
