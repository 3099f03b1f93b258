#include "tools/csv_table/table_sort.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cassert>
#include <cstring>
#include <functional>

#include "foundation/internal_text.h"
#include "foundation/pinyin_table.h"
#include "foundation/two_cores.h"
#include "foundation/utf8_internal.h"
#include "tools/csv_table/number_key.h"

namespace chengling {

const char* const kSortOrderNames[kSortOrderCount] = {
    "按文本长度排序", "按字符数量排序", "按字符代码排序", "按拼音字母排序",
    "按数值排序",     "按拼接数值排序", "按日期时间排序",
};
const char* const kSortingMarker = ">>";

namespace {

// The date separators as GB18030 bytes, spelled out so that the reader means the same whichever
// compiler builds it (the fuzzing build keeps UTF-8 literals).
constexpr std::string_view kYearMark = "\xC4\xEA";    // 年
constexpr std::string_view kMonthMark = "\xD4\xC2";   // 月
constexpr std::string_view kDayMark = "\xC8\xD5";     // 日
constexpr std::string_view kHourMark = "\xCA\xB1";    // 时
constexpr std::string_view kMinuteMark = "\xB7\xD6";  // 分
constexpr std::string_view kSecondMark = "\xC3\xEB";  // 秒
constexpr std::string_view kTimeOnlyPrefix = "1991-01-21 ";

struct SortEntry {
  uint64_t prefix;
  int32_t index;
  bool complete;   // the whole sequence is in the prefix
  uint8_t length;  // its elements when complete: a NUL byte packs as the padding does
};

int32_t low32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// code(ch): the decimal digits of the character's bytes written one after the other.
int64_t codeOf(std::string_view ch) {
  int64_t code = 0;
  for (unsigned char b : ch) code = code * (b >= 100 ? 1000 : b >= 10 ? 100 : 10) + b;
  return code;
}

int32_t letterOf(char c) {
  if (c >= 'a' && c <= 'z') return c - 'a' + 1;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 1;
  return 0;
}

int32_t computePinyinValue(std::string_view ch) {
  if (ch.size() == 2) {
    const std::string_view reading =
        gb2312Reading(static_cast<unsigned char>(ch[0]), static_cast<unsigned char>(ch[1]));
    if (!reading.empty()) {
      int64_t value = codeOf(ch);
      int64_t weight = 1000000000 / 26;
      for (char letter : reading) {
        value += letterOf(letter) * weight;
        weight /= 26;
      }
      return low32(value);
    }
  }
  if (ch.size() == 1 && letterOf(ch[0]) != 0) {
    return 2 * letterOf(ch[0]) + 10 + (ch[0] >= 'A' && ch[0] <= 'Z' ? 1 : 0);
  }
  if (ch == "0") return 0;
  if (const int32_t digit = textToInteger(ch); digit != 0) return digit;
  return low32(codeOf(ch) - 1000000);
}

// Values of every two-byte character, computed once.
const std::array<int32_t, 65536>& doubleByteValues() {
  static const std::array<int32_t, 65536> table = [] {
    std::array<int32_t, 65536> values{};
    for (int code = 0; code < 65536; ++code) {
      const char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
      values[code] = computePinyinValue(std::string_view(bytes, 2));
    }
    return values;
  }();
  return table;
}

bool isLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t daysInMonth(int32_t year, int32_t month) {
  static constexpr int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the given Gregorian date.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

bool isSequenceOrder(SortOrder order) { return order == SortOrder::Codes || order == SortOrder::Pinyin; }

std::string asciiFromFullWidth(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = charLengthAt(text, pos);
    if (length == 2) {
      const auto lead = static_cast<unsigned char>(text[pos]);
      const auto trail = static_cast<unsigned char>(text[pos + 1]);
      if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
        out += static_cast<char>(trail - 0x80);
        pos += 2;
        continue;
      }
      if (lead == 0xA1 && trail == 0xA1) {
        out += ' ';
        pos += 2;
        continue;
      }
    }
    out.append(text.substr(pos, length));
    pos += length;
  }
  return out;
}

int32_t pinyinValue(std::string_view text, size_t& length) {
  length = charLengthAt(text, 0);
  if (length == 2) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead >= 0x80) return doubleByteValues()[lead << 8 | static_cast<unsigned char>(text[1])];
    return low32(1310 - 1000000);  // CR LF
  }
  static const std::array<int32_t, 256> kSingle = [] {
    std::array<int32_t, 256> values{};
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      values[b] = computePinyinValue(std::string_view(&byte, 1));
    }
    return values;
  }();
  return text.empty() ? 0 : kSingle[static_cast<unsigned char>(text[0])];
}

void appendPinyinValues(std::string_view text, std::vector<int32_t>& out) {
  size_t length = 0;
  while (!text.empty()) {
    out.push_back(pinyinValue(text, length));
    text.remove_prefix(length);
  }
}

bool readMoment(std::string_view original, Moment& moment) {
  const std::string converted = asciiFromFullWidth(original);
  const std::string_view text = converted;
  size_t pos = 0;
  auto number = [&](int maxDigits) {
    int32_t value = 0;
    for (int i = 0; i < maxDigits && pos < text.size() && isDigit(text[pos]); ++i, ++pos) {
      value = value * 10 + (text[pos] - '0');
    }
    return value;
  };
  auto skipOne = [&](std::initializer_list<std::string_view> separators) {
    for (std::string_view separator : separators) {
      if (text.substr(pos).starts_with(separator)) {
        pos += separator.size();
        return;
      }
    }
  };
  Moment m;
  m.year = number(4);
  skipOne({"/", "-", ":", ".", kYearMark});
  m.month = number(2);
  skipOne({"/", "-", ":", ".", kMonthMark});
  m.day = number(2);
  skipOne({"/", "-", ":", " ", ".", kDayMark});
  m.hour = number(2);
  skipOne({"/", "-", ":", ".", kHourMark});
  m.minute = number(2);
  skipOne({"/", "-", ":", ".", kMinuteMark});
  m.second = number(2);
  const std::string_view rest = text.substr(pos);
  if (!rest.empty() && !rest.starts_with(kSecondMark)) return false;
  if (m.year < 100 || m.year > 9999 || m.month < 1 || m.month > 12) return false;
  if (m.day < 1 || m.day > daysInMonth(m.year, m.month)) return false;
  if (m.hour > 23 || m.minute > 59 || m.second > 59) return false;
  moment = m;
  return true;
}

int64_t secondsFromEpoch(const Moment& m) {
  return daysFromCivil(m.year, m.month, m.day) * 86400 + m.hour * 3600 + m.minute * 60 + m.second -
         8 * 3600;
}

int64_t dateTimeSeconds(std::string_view text) {
  Moment moment;
  if (readMoment(text, moment)) return secondsFromEpoch(moment);
  std::string withDate(kTimeOnlyPrefix);
  withDate.append(text);
  if (readMoment(withDate, moment)) return secondsFromEpoch(moment);
  return kNoMoment;
}

int64_t integerSortKey(SortOrder order, std::string_view text) {
  switch (order) {
    case SortOrder::Length:
      return static_cast<int64_t>(text.size());
    case SortOrder::Chars:
      return CharCount(text);
    case SortOrder::DateTime:
      return dateTimeSeconds(text);
    default:
      break;
  }
  assert(false && "only length, characters and moments are integers");
  return 0;
}

int compareScalarCells(SortOrder order, std::string_view a, std::string_view b) {
  if (order == SortOrder::Number) return compareDecimal(numberValue(a), numberValue(b));
  if (order == SortOrder::Digits) return compareDecimal(joinedDigitsValue(a), joinedDigitsValue(b));
  const int64_t ka = integerSortKey(order, a), kb = integerSortKey(order, b);
  return ka < kb ? -1 : ka > kb ? 1 : 0;
}

namespace {

// The cell of `column` in row `i` (0-based) as internal text: a view of the table's bytes, or of
// `scratch` for a UTF-8 cell that is not plain ASCII.
std::string_view cellAsInternal(const TableModel& table, int32_t column, size_t i, std::string& scratch) {
  const CellBytes cell = table.tableCellBytes(static_cast<int32_t>(i), column);
  if (!cell.utf8 || !hasHighByte(cell.bytes)) return cell.bytes;
  scratch.clear();
  appendUtf8AsInternal(cell.bytes, scratch);
  return scratch;
}

// Rows from which working out the keys is shared between two cores.
constexpr size_t kTwoCoreKeys = 1 << 16;

// Rows, or comparisons, between two looks at the stop request.
constexpr size_t kStopEvery = 1 << 16;

// The run's stop request as a sort sees it: asked between blocks of rows and comparisons, never for
// each. Once seen it stays, so that every step after it ends at once.
class SortStop {
 public:
  explicit SortStop(const RunContext* ctx) : ctx_(ctx) {}
  bool requested() {
    if (!seen_.load(std::memory_order_relaxed) && ctx_ != nullptr && ctx_->stopRequested()) {
      seen_.store(true, std::memory_order_relaxed);
    }
    return seen_.load(std::memory_order_relaxed);
  }
  bool seen() const { return seen_.load(std::memory_order_relaxed); }

 private:
  const RunContext* ctx_;
  std::atomic<bool> seen_{false};
};

// Runs `keys(from, to, part)` over all rows in blocks, on two cores when there are many (`part` 0
// for the first half, 1 for the second); ends early once a stop is requested.
template <typename Keys>
void forAllRows(size_t n, SortStop& stop, Keys&& keys) {
  auto blocks = [&](size_t from, size_t to, int part) {
    for (size_t at = from; at < to && !stop.requested(); at += std::min(kStopEvery, to - at)) {
      keys(at, std::min(to, at + kStopEvery), part);
    }
  };
  if (n >= kTwoCoreKeys) {
    runOnTwoCores([&] { blocks(n / 2, n, 1); }, [&] { blocks(0, n / 2, 0); });
  } else {
    blocks(0, n, 0);
  }
}

// Thrown out of std::sort by a comparison that finds a stop requested; caught on the same thread.
struct SortStopped {};

// std::sort of [begin, end) by `less` (a strict order with no equivalent elements), split around a
// sampled median and sorted on two cores when large (sortOnTwoCores); every kStopEvery
// comparisons on each thread look at the stop request. False when stopped: the range is then some
// order of its elements.
template <typename Iterator, typename Less>
bool sortStoppable(Iterator begin, Iterator end, Less less, SortStop& stop) {
  auto sortPart = [&](Iterator from, Iterator to) {
    size_t count = 0;
    auto watched = [&less, &stop, &count](const auto& a, const auto& b) {
      if (++count % kStopEvery == 0 && stop.requested()) throw SortStopped{};
      return less(a, b);
    };
    try {
      std::sort(from, to, watched);
    } catch (const SortStopped&) {
    }
  };
  if (stop.requested()) return false;
  sortOnTwoCores(begin, end, less, sortPart);
  return !stop.seen();
}

NumberKey scalarKey(SortOrder order, std::string_view text) {
  if (order == SortOrder::Number) return numberKey(text);
  if (order == SortOrder::Digits) return joinedDigitsKey(text);
  NumberKey key;
  key.scaled = true;
  key.mantissa = integerSortKey(order, text);
  return key;
}

constexpr uint32_t kInexact = 0x80000000u;  // in an entry's index: the words do not hold the whole key

// A row's key in words, for the general sort.
struct ScalarEntry {
  uint64_t high;
  uint32_t low;
  uint32_t index;  // with kInexact
};

// The keys of every row as integers in `words`: each key's mantissa brought to the column's largest
// number of fraction digits, so that they compare as the values do (prices become cents). False
// when a key has no such form or one does not fit in 64 bits; `lowest` and `highest` then mean
// nothing. kNoMoment stays as it is and is left out of the bounds.
bool integerKeys(const TableModel& table, int32_t column, SortOrder order, std::vector<uint64_t>& words,
                 int64_t& lowest, int64_t& highest, SortStop& stop) {
  const size_t n = words.size();
  std::vector<uint8_t> fractions(order == SortOrder::Number ? n : 0);
  std::atomic<bool> all{true};
  int most[2] = {0, 0};
  forAllRows(n, stop, [&](size_t from, size_t to, int part) {
    std::string scratch;
    int& mostHere = most[part];
    for (size_t i = from; i < to && all.load(std::memory_order_relaxed); ++i) {
      const std::string_view text = cellAsInternal(table, column, i, scratch);
      int64_t mantissa = 0;
      int fraction = 0;
      bool scaled = true;
      if (order == SortOrder::Number) {
        scaled = scaledNumber(text, mantissa, fraction);
      } else if (order == SortOrder::Digits) {
        scaled = scaledJoinedDigits(text, mantissa);
      } else {
        mantissa = integerSortKey(order, text);
      }
      if (!scaled) {
        all.store(false, std::memory_order_relaxed);
        break;
      }
      words[i] = static_cast<uint64_t>(mantissa);
      if (!fractions.empty()) fractions[i] = static_cast<uint8_t>(fraction);
      mostHere = std::max(mostHere, fraction);
    }
  });
  if (!all) return false;
  const int fraction = std::max(most[0], most[1]);
  int64_t low[2] = {INT64_MAX, INT64_MAX}, high[2] = {INT64_MIN, INT64_MIN};
  forAllRows(n, stop, [&](size_t from, size_t to, int part) {
    int64_t& lowHere = low[part];
    int64_t& highHere = high[part];
    for (size_t i = from; i < to && all.load(std::memory_order_relaxed); ++i) {
      auto value = static_cast<int64_t>(words[i]);
      if (value == kNoMoment) continue;
      if (fraction > 0 && fractions[i] < fraction &&
          __builtin_mul_overflow(value, static_cast<int64_t>(kPowersOfTen[fraction - fractions[i]]), &value)) {
        all.store(false, std::memory_order_relaxed);
        break;
      }
      words[i] = static_cast<uint64_t>(value);
      lowHere = std::min(lowHere, value);
      highHere = std::max(highHere, value);
    }
  });
  lowest = std::min(low[0], low[1]);
  highest = std::max(high[0], high[1]);
  return all;
}

// A scalar order: row indices in the low 32 bits of words in sorted order; equal keys keep table
// order in both directions. When every key is an integer (or a decimal of a few places, counted in
// its smallest unit) and they span less than 2^32, key and index share one word and a plain sort of
// the words is the order; otherwise rows are sorted by their key words, with the full values
// settling ties that the words cannot.
std::vector<uint64_t> sortedScalarWords(const TableModel& table, int32_t column, SortOrder order,
                                        SortDirection direction, SortStop& stop) {
  const size_t n = static_cast<size_t>(table.tableRowCount());
  const bool ascending = direction == SortDirection::Ascending;
  std::vector<uint64_t> words(n);
  int64_t lowest = 0, highest = 0;
  const bool integers = integerKeys(table, column, order, words, lowest, highest, stop);
  if (stop.seen()) return {};
  if (integers && (lowest > highest || static_cast<uint64_t>(highest) - static_cast<uint64_t>(lowest) < 0xFFFFFFFFull)) {
    // The moment of a text that names none takes the place right below the lowest key.
    const int64_t base = lowest > highest ? 0 : lowest - 1;
    for (size_t i = 0; i < n; ++i) {
      const auto integer = static_cast<int64_t>(words[i]);
      uint32_t offset = integer == kNoMoment ? 0 : static_cast<uint32_t>(static_cast<uint64_t>(integer) - static_cast<uint64_t>(base));
      if (!ascending) offset = ~offset;
      words[i] = uint64_t{offset} << 32 | i;
    }
    if (!sortStoppable(words.begin(), words.end(), std::less<uint64_t>(), stop)) return {};
    return words;
  }

  std::vector<ScalarEntry> entries(n);
  if (integers) {
    for (size_t i = 0; i < n; ++i) entries[i] = {words[i] ^ 0x8000000000000000ull, 0, static_cast<uint32_t>(i)};
  } else {
    forAllRows(n, stop, [&](size_t from, size_t to, int) {
      std::string scratch;
      for (size_t i = from; i < to; ++i) {
        const NumberKey key = scalarKey(order, cellAsInternal(table, column, i, scratch));
        entries[i] = {key.high, key.low, static_cast<uint32_t>(i) | (key.exact ? 0 : kInexact)};
      }
    });
  }
  auto before = [&](const ScalarEntry& a, const ScalarEntry& b) {
    if (a.high != b.high) return ascending ? a.high < b.high : a.high > b.high;
    if (a.low != b.low) return ascending ? a.low < b.low : a.low > b.low;
    const uint32_t ia = a.index & ~kInexact, ib = b.index & ~kInexact;
    if ((a.index | b.index) & kInexact) {
      std::string scratchA, scratchB;
      const int c = compareScalarCells(order, cellAsInternal(table, column, ia, scratchA),
                                       cellAsInternal(table, column, ib, scratchB));
      if (c != 0) return ascending ? c < 0 : c > 0;
    }
    return ia < ib;
  };
  if (stop.seen() || !sortStoppable(entries.begin(), entries.end(), before, stop)) return {};
  for (size_t i = 0; i < n; ++i) words[i] = entries[i].index & ~kInexact;
  return words;
}

}  // namespace

namespace {

// Sequence keys: each row carries the first 8 bytes (codes) or the first two values (pinyin) packed
// into one word whose order is the order of the sequences whenever the words differ, so most
// comparisons never leave the array. `compareRest` settles the others from the whole sequences,
// which the keys hold.
struct SequenceKeys {
  std::vector<SortEntry> entries;
  std::vector<std::string_view> cells;  // codes: each cell as internal text
  std::string converted;                // codes: UTF-8 cells as internal text, one after the other
  std::vector<int32_t> values;          // pinyin: every row's values, one after the other
  std::vector<size_t> starts;           // pinyin: where each row's values start, and the end

  int compareRest(SortOrder order, int32_t a, int32_t b) const {
    if (order == SortOrder::Codes) return cells[a].compare(cells[b]);  // unsigned bytes
    const int32_t* pa = values.data() + starts[a];
    const int32_t* ea = values.data() + starts[a + 1];
    const int32_t* pb = values.data() + starts[b];
    const int32_t* eb = values.data() + starts[b + 1];
    for (; pa != ea && pb != eb; ++pa, ++pb) {
      if (*pa != *pb) return *pa < *pb ? -1 : 1;
    }
    return pa != ea ? 1 : (pb != eb ? -1 : 0);
  }
};

// False when stopped.
bool codeKeys(const TableModel& table, int32_t column, SequenceKeys& keys, SortStop& stop) {
  const size_t n = keys.entries.size();
  keys.cells.resize(n);
  // Converted cells first go in as offsets (their bytes may still move), then become views.
  std::vector<std::pair<size_t, size_t>> convertedAt(n, {SIZE_MAX, 0});
  for (size_t i = 0; i < n; ++i) {
    if (i % kStopEvery == 0 && stop.requested()) return false;
    const CellBytes cell = table.tableCellBytes(static_cast<int32_t>(i), column);
    if (cell.utf8 && hasHighByte(cell.bytes)) {
      const size_t at = keys.converted.size();
      appendUtf8AsInternal(cell.bytes, keys.converted);
      convertedAt[i] = {at, keys.converted.size() - at};
    } else {
      keys.cells[i] = cell.bytes;
    }
  }
  for (size_t i = 0; i < n; ++i) {
    std::string_view& cell = keys.cells[i];
    if (convertedAt[i].first != SIZE_MAX) {
      cell = std::string_view(keys.converted).substr(convertedAt[i].first, convertedAt[i].second);
    }
    uint64_t prefix = 0;  // missing bytes are 0, below every byte a cell can hold
    for (size_t k = 0; k < 8; ++k) prefix = prefix << 8 | (k < cell.size() ? static_cast<unsigned char>(cell[k]) : 0u);
    const bool complete = cell.size() <= 8;
    keys.entries[i] = {prefix, static_cast<int32_t>(i), complete, static_cast<uint8_t>(complete ? cell.size() : 0)};
  }
  return true;
}

// False when stopped.
bool pinyinKeys(const TableModel& table, int32_t column, SequenceKeys& keys, SortStop& stop) {
  const size_t n = keys.entries.size();
  std::string scratch;
  keys.starts.resize(n + 1);
  for (size_t i = 0; i < n; ++i) {
    if (i % kStopEvery == 0 && stop.requested()) return false;
    const size_t start = keys.starts[i] = keys.values.size();
    appendPinyinValues(cellAsInternal(table, column, i, scratch), keys.values);
    const size_t count = keys.values.size() - start;
    // A missing value packs as the smallest word; a tie with a real smallest value is settled by
    // the full comparison.
    auto biased = [&](size_t k) -> uint64_t {
      return k < count ? (static_cast<uint32_t>(keys.values[start + k]) ^ 0x80000000u) : 0u;
    };
    keys.entries[i] = {biased(0) << 32 | biased(1), static_cast<int32_t>(i), count <= 2,
                       static_cast<uint8_t>(count <= 2 ? count : 0)};
  }
  keys.starts[n] = keys.values.size();
  return true;
}

// A sequence order: equal keys keep table order descending and reverse it ascending. Empty when
// stopped.
std::vector<int32_t> sortedSequenceRows(const TableModel& table, int32_t column, SortOrder order,
                                        SortDirection direction, SortStop& stop) {
  const size_t n = static_cast<size_t>(table.tableRowCount());
  const bool ascending = direction == SortDirection::Ascending;
  SequenceKeys keys;
  keys.entries.resize(n);
  const bool made = order == SortOrder::Codes ? codeKeys(table, column, keys, stop) : pinyinKeys(table, column, keys, stop);
  if (!made) return {};
  auto before = [&](const SortEntry& a, const SortEntry& b) {
    if (a.prefix != b.prefix) return ascending ? a.prefix < b.prefix : a.prefix > b.prefix;
    // Of two whole sequences with equal words, the shorter is the start of the longer (a NUL byte
    // packs as the padding does).
    const int c = a.complete && b.complete ? (a.length > b.length) - (a.length < b.length)
                                           : keys.compareRest(order, a.index, b.index);
    if (c != 0) return ascending ? c < 0 : c > 0;
    return ascending ? a.index > b.index : a.index < b.index;
  };
  if (!sortStoppable(keys.entries.begin(), keys.entries.end(), before, stop)) return {};
  std::vector<int32_t> result(n);
  for (size_t i = 0; i < n; ++i) result[i] = keys.entries[i].index;
  return result;
}

}  // namespace

std::vector<int32_t> sortedRowOrder(const TableModel& table, int32_t column, SortOrder order,
                                    SortDirection direction, const RunContext* ctx) {
  SortStop stop(ctx);
  if (isSequenceOrder(order)) return sortedSequenceRows(table, column, order, direction, stop);
  const std::vector<uint64_t> packed = sortedScalarWords(table, column, order, direction, stop);
  if (stop.seen()) return {};
  std::vector<int32_t> result(packed.size());
  for (size_t i = 0; i < packed.size(); ++i) result[i] = static_cast<int32_t>(packed[i] & 0xFFFFFFFFu);
  return result;
}

void applyRowOrder(TableModel& table, const std::vector<int32_t>& order) { table.permuteRows(order); }

void SortRows(TableModel& table, int32_t column, SortDirection direction, SortOrder order) {
  assert(column >= 1 && column <= table.ColumnCount());
  if (!isSequenceOrder(order)) {
    // The sorted words go to the reordering as they are: no array of indices beside them.
    SortStop none(nullptr);
    std::vector<uint64_t> packed = sortedScalarWords(table, column, order, direction, none);
    table.permuteRows(packed);
    return;
  }
  applyRowOrder(table, sortedRowOrder(table, column, order, direction, nullptr));
}

}  // namespace chengling
