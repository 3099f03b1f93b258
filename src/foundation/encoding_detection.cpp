#include "foundation/encoding_detection.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/charset_conversion.h"
#include "foundation/gb18030_table.h"
#include "foundation/hanzi_frequency.h"
#include "foundation/internal_text.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

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

// The walk over 2- and 3-byte forms accepts exactly the texts in which a byte is a continuation
// (10xxxxxx) if and only if the byte before it is a lead (11xxxxxx) or the byte two before is a
// 3-byte lead (1110xxxx), no byte is F0 or above, and no form is cut off at the end. That holds per
// position, so it is checked sixteen bytes at a time, in one pass, and a piece needs only the two
// bytes before it.
void Utf8Scan::feed(std::string_view piece) {
  if (failed_ || piece.empty()) return;
  const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
  const size_t n = piece.size();
  Utf8Block::Mask errors = {};
  Utf8Block::Bytes seen = {};
  auto check = [&](const unsigned char* at, const unsigned char* before1, const unsigned char* before2,
                   Utf8Block::Mask lanes) {
    const Utf8Block block(at, before1, before2);
    errors |= (block.misplaced() | (block.b >= 0xF0)) & lanes;
    seen |= block.b;
  };
  constexpr Utf8Block::Mask kEveryLane = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  const auto any = [](auto vector) { return Utf8Block::any(vector); };

  size_t i = 0;
  if (n >= 16) {
    unsigned char head[18] = {};
    std::memcpy(head, before_, 2);
    std::memcpy(head + 2, p, 16);
    check(head + 2, head + 1, head, kEveryLane);
    for (i = 16; i + 16 <= n; i += 16) {
      check(p + i, p + i - 1, p + i - 2, kEveryLane);
      if ((i & 4095) == 0 && any(errors)) break;
    }
  }
  if (!any(errors) && i < n) {
    // The rest, padded with zeros that are never judged: only the first n - i lanes count.
    unsigned char tail[18 + 16] = {};
    if (i >= 2) {
      std::memcpy(tail, p + i - 2, 2);
    } else if (i == 1) {
      tail[0] = before_[1];
      tail[1] = p[0];
    } else {
      std::memcpy(tail, before_, 2);
    }
    std::memcpy(tail + 2, p + i, n - i);
    Utf8Block::Mask lanes = {};
    for (size_t k = 0; k < n - i; ++k) lanes[k] = -1;
    check(tail + 2, tail + 1, tail, lanes);
  }
  if (any(errors)) failed_ = true;
  if (any(seen & 0x80)) seenHigh_ = true;
  before_[0] = n >= 2 ? p[n - 2] : before_[1];
  before_[1] = p[n - 1];
}

// The end: a form cut off there expects a continuation that never comes.
bool Utf8Scan::result() const {
  return !failed_ && seenHigh_ && before_[1] < 0xC0 && before_[0] < 0xE0;
}

bool LooksLikeUtf8(std::string_view bytes) {
  Utf8Scan scan;
  scan.feed(bytes);
  return scan.result();
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

}  // namespace chengling

namespace chengling {
namespace {

constexpr int kBad = -16;         // a byte that is no character, a control, a replacement
constexpr int kBig5Margin = 12;   // how much likelier than GBK a reading must be to be chosen
constexpr int kUtf16Margin = 12;
constexpr size_t kQuickBytes = 1024;  // the head that decides a clear GBK text
constexpr int kSettled = 96;          // GBK's lead there that no later evidence overturns in practice

// How likely a character is in Chinese text, against a character picked at random: about log2 of
// the ratio, clamped. ASCII is neutral: the byte-wise readings share it.
int charScore(char32_t c) {
  if (c < 0x80) return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r' ? 0 : kBad;
  if (c >= 0x4E00 && c <= 0x9FFF) {
    const int weight = hanziWeight(c);
    return weight == 0 ? -6 : weight - 7;
  }
  switch (c) {
    // Punctuation of running Chinese text.
    case 0x3001: case 0x3002: case 0xFF0C: case 0xFF1B: case 0xFF1A: case 0xFF1F: case 0xFF01:
    case 0x300C: case 0x300D: case 0x300E: case 0x300F: case 0xFF08: case 0xFF09: case 0x300A:
    case 0x300B: case 0x201C: case 0x201D: case 0x2018: case 0x2019: case 0x2026: case 0x2014:
    case 0x00B7: case 0x3000:
      return 2;
    default: break;
  }
  if (c < 0xA0 || c == 0xFFFD || c >= 0xFFFE || (c >= 0xD800 && c <= 0xDFFF)) return kBad;
  if ((c >= 0xFF01 && c <= 0xFF5E) || (c >= 0x3000 && c <= 0x303F) || (c >= 0x2000 && c <= 0x206F)) return -1;
  if (c >= 0x2500 && c <= 0x257F) return 0;  // box drawing: the tables of plain-text documents
  if (c <= 0xFF) return -2;                  // Latin-1 letters and signs
  if (c >= 0xE000 && c <= 0xF8FF) return -12;  // private use: no text of either script has it
  return -5;  // kana, bopomofo, Greek, box drawing, Hangul, compatibility ideographs, ...
}

// charScore of every BMP character, for the loops over a window; made on first use.
struct ScoreTable {
  ScoreTable() {
    for (char32_t c = 0; c < 0x10000; ++c) of[c] = static_cast<int8_t>(charScore(c));
  }
  static const ScoreTable& get() {
    static const ScoreTable table;
    return table;
  }
  int8_t of[0x10000];
};

// charScore of the characters of a reading, one after the other: an ideograph right after itself
// counts as unlikely whatever its weight (a run of one byte pair reads as one character repeated,
// rare in text, where a rule of box drawing or a row of symbols in the other reading is not).
class Reading {
 public:
  void add(char32_t c) {
    const int s = c < 0x10000 ? scores_.of[c] : charScore(c);
    score_ += c == last_ && c >= 0x4E00 && c <= 0x9FFF ? std::min(s, -3) : s;
    last_ = c;
  }
  void bad() {
    score_ += kBad;
    last_ = 0;
  }
  int score() const { return score_; }

 private:
  const ScoreTable& scores_ = ScoreTable::get();
  int score_ = 0;
  char32_t last_ = 0;
};

// The characters of BIG5 (leads A1-F9, trails 40-7E and A1-FE) as the converter reads them, 0 where
// a pair is none; read once, through iconv, so that valid here means valid when decoded.
class Big5Table {
 public:
  static const Big5Table& get() {
    static const Big5Table table;
    return table;
  }
  static bool isLead(unsigned char b) { return b >= 0xA1 && b <= 0xF9; }
  static int trailIndex(unsigned char b) {
    if (b >= 0x40 && b <= 0x7E) return b - 0x40;
    if (b >= 0xA1 && b <= 0xFE) return b - 0xA1 + 63;
    return -1;
  }
  char32_t at(unsigned char lead, int trail) const { return codes_[(lead - 0xA1) * kTrails + trail]; }

 private:
  static constexpr int kLeads = 0xF9 - 0xA1 + 1;
  static constexpr int kTrails = 63 + 94;

  Big5Table() {
    // Every pair followed by a line break, which no pair contains: the output splits at the breaks,
    // and a pair that gives anything but one character is none.
    std::string pairs;
    for (int lead = 0xA1; lead <= 0xF9; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trailIndex(static_cast<unsigned char>(trail)) < 0) continue;
        pairs += static_cast<char>(lead);
        pairs += static_cast<char>(trail);
        pairs += '\n';
      }
    }
    const std::string wide = ConvertCharset(pairs, "BIG5", "UTF-32LE");
    std::vector<char32_t> units(wide.size() / 4);
    for (size_t i = 0; i < units.size(); ++i) {
      const auto* b = reinterpret_cast<const unsigned char*>(wide.data() + 4 * i);
      units[i] = char32_t{b[0]} | char32_t{b[1]} << 8 | char32_t{b[2]} << 16 | char32_t{b[3]} << 24;
    }
    size_t at = 0;
    for (int index = 0; index < kLeads * kTrails && at < units.size(); ++index) {
      const size_t end = std::find(units.begin() + static_cast<ptrdiff_t>(at), units.end(), U'\n') - units.begin();
      if (end == at + 1 && units[at] != 0xFFFD) codes_[index] = units[at];
      at = end + 1;
    }
  }

  char32_t codes_[kLeads * kTrails] = {};
};

// The score of the GBK (GB18030) reading.
int gbkScore(std::string_view bytes) {
  const gb18030::Table& table = gb18030::Table::get();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  Reading reading;
  while (p < end) {
    char32_t c = 0;
    const size_t length = table.decode(p, end, c);
    if (length == 0) {
      if (end - p < 4 && p[0] >= 0x81) break;  // cut off by the window
      reading.bad();
      ++p;
      continue;
    }
    reading.add(c);
    p += length;
  }
  return reading.score();
}

// The score of the BIG5 reading; `valid` false when a byte is no character.
int big5Score(std::string_view bytes, bool& valid) {
  const Big5Table& table = Big5Table::get();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  Reading reading;
  valid = true;
  for (; p < end; ++p) {
    if (p[0] < 0x80) {
      reading.add(p[0]);
      continue;
    }
    if (end - p < 2 && Big5Table::isLead(p[0])) break;  // cut off by the window
    const int trail = end - p < 2 ? -1 : Big5Table::trailIndex(p[1]);
    const char32_t c = Big5Table::isLead(p[0]) && trail >= 0 ? table.at(p[0], trail) : 0;
    if (c == 0) {
      valid = false;
      return reading.score();
    }
    reading.add(c);
    ++p;
  }
  return reading.score();
}

// The score of a UTF-16 reading; `valid` false when it cannot be text: a NUL unit, a lone
// surrogate, a noncharacter. ASCII counts for it: its zero bytes fall where UTF-16 puts them.
int utf16Score(std::string_view bytes, bool bigEndian, bool& valid) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t i) -> char32_t {
    return bigEndian ? char32_t{p[2 * i]} << 8 | p[2 * i + 1] : char32_t{p[2 * i + 1]} << 8 | p[2 * i];
  };
  Reading reading;
  int ascii = 0;
  valid = false;
  for (size_t i = 0; i < units; ++i) {
    const char32_t c = unit(i);
    if (c == 0 || c == 0xFFFE || c == 0xFFFF || (c >= 0xDC00 && c <= 0xDFFF)) return reading.score();
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == units) break;  // cut off by the window
      const char32_t low = unit(i + 1);
      if (low < 0xDC00 || low > 0xDFFF) return reading.score();
      ++i;
      reading.add(0x10000);  // beyond the BMP: rare in Chinese text, but text
      continue;
    }
    if (c >= 0x20 && c < 0x7F) ++ascii;
    reading.add(c);
  }
  valid = true;
  return reading.score() + ascii;
}

// The scores of the four readings of the same bytes.
struct Readings {
  int gbk = 0;
  int big5 = 0;
  int le = 0;
  int be = 0;
  bool big5Valid = false;
  bool leValid = false;
  bool beValid = false;
};

Readings readingsOf(std::string_view bytes) {
  Readings r;
  r.gbk = gbkScore(bytes);
  r.big5 = big5Score(bytes, r.big5Valid);
  r.le = utf16Score(bytes, false, r.leValid);
  r.be = utf16Score(bytes, true, r.beValid);
  return r;
}

}  // namespace

UnmarkedGuess GuessUnmarkedEncoding(std::string_view bytes) { return GuessUnmarkedEncoding(bytes, bytes.size()); }

UnmarkedGuess GuessUnmarkedEncoding(std::string_view bytes, size_t whole) {
  bytes = bytes.substr(0, kGuessPrefix + kGuessWindow);
  // Leading ASCII text reads the same in GBK and BIG5 and says nothing: the window starts at the
  // first byte that is not such, on an even offset so that UTF-16 units stay whole.
  size_t start = 0;
  const size_t limit = std::min(bytes.size(), kGuessPrefix);
  while (start < limit && bytes[start] > 0 && static_cast<unsigned char>(bytes[start]) < 0x80) ++start;
  if (start == limit) return UnmarkedGuess::Gbk;
  // UTF-16 units of Chinese characters may be all ASCII bytes: a short run is kept in the window.
  const size_t length = start < kGuessWindow ? start + kGuessWindow : kGuessWindow;
  start = start < kGuessWindow ? 0 : start & ~size_t{1};
  const std::string_view window = bytes.substr(start, length);

  // Most texts that come this far are GBK, and their start says so clearly: a short head decides
  // them (a reading that fails there fails in the whole window), the rest takes the whole window.
  if (window.size() > kQuickBytes) {
    const Readings head = readingsOf(window.substr(0, kQuickBytes));
    const int best = std::max({head.big5Valid ? head.big5 : INT_MIN, head.leValid ? head.le : INT_MIN,
                               head.beValid ? head.be : INT_MIN});
    if (best == INT_MIN || head.gbk >= best + kSettled) return UnmarkedGuess::Gbk;
  }
  Readings r = readingsOf(window);
  // A whole text in UTF-16 has an even number of bytes.
  if (start + window.size() == whole && whole % 2 != 0) r.leValid = r.beValid = false;
  if (r.leValid || r.beValid) {
    const bool bigEndian = r.beValid && (!r.leValid || r.be > r.le);
    const int wide = bigEndian ? r.be : r.le;
    const int other = r.big5Valid ? std::max(r.gbk, r.big5) : r.gbk;
    if (wide >= kUtf16Margin && wide >= other + kUtf16Margin) return bigEndian ? UnmarkedGuess::Utf16Be : UnmarkedGuess::Utf16Le;
  }
  if (r.big5Valid && r.big5 >= r.gbk + kBig5Margin) return UnmarkedGuess::Big5;
  return UnmarkedGuess::Gbk;
}

}  // namespace chengling
