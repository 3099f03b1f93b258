#include "tools/csv_table/table_filter.h"

#include <algorithm>
#include <cassert>

#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/two_cores.h"
#include "foundation/utf8_internal.h"

namespace chengling {

const char* const kFilterTestNames[kFilterTestCount] = {"包含", "不包含", "等于", "不等于",
                                                        "大于", "小于",   "为空", "不为空"};
const char* const kFilterTestSymbols[6] = {"~", "!~", "=", "!=", ">", "<"};

namespace {

// Rows between two looks at the stop request.
constexpr size_t kCheckEvery = 4096;

bool isUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
unsigned char lower(unsigned char c) { return isUpper(c) ? static_cast<unsigned char>(c + 32) : c; }

// The UTF-8 form of internal `text` when it turns back into exactly `text`: then a UTF-8 cell can
// be searched as it is, since UTF-8 never starts a match inside a character.
bool exactUtf8(std::string_view text, std::string& utf8) {
  utf8 = utf8FromInternal(text);
  if (!utf8FitsInternal(utf8)) return false;
  std::string back;
  appendUtf8AsInternal(utf8, back);
  return back == text;
}

// `needle` (ASCII letters in lower case) in UTF-8 `haystack`, ASCII letters of either case.
bool containsFoldedUtf8(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return false;
  const size_t last = haystack.size() - needle.size();
  for (size_t at = 0; at <= last; ++at) {
    size_t i = 0;
    while (i < needle.size() && lower(static_cast<unsigned char>(haystack[at + i])) ==
                                    static_cast<unsigned char>(needle[i])) {
      ++i;
    }
    if (i == needle.size()) return true;
  }
  return false;
}

std::string lowerAll(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(lower(static_cast<unsigned char>(c)));
  return out;
}

// The cell as internal text: a view of its bytes, or its conversion in `scratch`.
std::string_view internalCell(CellBytes cell, std::string& scratch) {
  if (!cell.utf8 || !hasHighByte(cell.bytes)) return cell.bytes;
  scratch.clear();
  appendUtf8AsInternal(cell.bytes, scratch);
  return scratch;
}

// Looks for one text in cells, as the find bar and 包含 do.
class CellSearch {
 public:
  CellSearch(std::string_view needle, bool matchCase)
      : needle_(needle), matchCase_(matchCase) {
    utf8Direct_ = exactUtf8(needle, utf8_);
    if (!matchCase_) utf8_ = lowerAll(utf8_);  // only ASCII bytes change in UTF-8
  }

  bool in(CellBytes cell) const {
    if (cell.utf8 && utf8Direct_) {
      return matchCase_ ? cell.bytes.find(utf8_) != std::string_view::npos : containsFoldedUtf8(cell.bytes, utf8_);
    }
    const std::string_view text = internalCell(cell, scratch_);
    return (matchCase_ ? findOnBoundary(text, needle_) : findIgnoringCase(text, needle_)) != std::string_view::npos;
  }

 private:
  std::string needle_;
  bool matchCase_;
  std::string utf8_;
  bool utf8Direct_ = false;
  mutable std::string scratch_;
};

// Less than, equal to or greater than 0 as a / 10^af is below, equal to or above b / 10^bf.
int compareScaled(int64_t a, int af, int64_t b, int bf) {
  // At most 18 fraction digits and 18-digit mantissas: the products stay below 10^37.
  __int128 x = a;
  __int128 y = b;
  for (int f = af; f < bf; ++f) x *= 10;
  for (int f = bf; f < af; ++f) y *= 10;
  return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace

bool filterTestTakesValue(FilterTest test) { return test != FilterTest::Empty && test != FilterTest::NotEmpty; }

size_t findOnBoundary(std::string_view haystack, std::string_view needle, size_t from) {
  if (from > haystack.size()) return std::string_view::npos;
  const char* const end = haystack.data() + haystack.size();
  size_t boundary = 0;  // a character boundary at or before every candidate still to come
  while (true) {
    const size_t at = haystack.find(needle, from);
    if (at == std::string_view::npos) return at;
    while (boundary < at) boundary += byteUnitLength(haystack.data() + boundary, end);
    if (boundary == at) return at;
    from = boundary;  // `at` was the second byte of a character: go on after it
  }
}

CellTest::CellTest(const FilterCondition& condition)
    : test_(condition.test), column_(condition.column), value_(condition.value) {
  utf8Direct_ = exactUtf8(value_, valueUtf8_);
  if (test_ == FilterTest::Greater || test_ == FilterTest::Less) {
    number_ = numberValue(value_);
    numberScaled_ = scaledNumber(value_, mantissa_, fraction_);
  }
}

bool CellTest::passes(CellBytes cell) const {
  switch (test_) {
    case FilterTest::Empty: return cell.bytes.empty();
    case FilterTest::NotEmpty: return !cell.bytes.empty();
    case FilterTest::Equals:
    case FilterTest::NotEquals: {
      bool same;
      if (cell.utf8 && utf8Direct_) {
        same = cell.bytes == valueUtf8_;
      } else {
        same = internalCell(cell, scratch_) == value_;
      }
      return same == (test_ == FilterTest::Equals);
    }
    case FilterTest::Contains:
    case FilterTest::NotContains: {
      bool found;
      if (cell.utf8 && utf8Direct_) {
        found = cell.bytes.find(valueUtf8_) != std::string_view::npos;
      } else {
        found = findOnBoundary(internalCell(cell, scratch_), value_) != std::string_view::npos;
      }
      return found == (test_ == FilterTest::Contains);
    }
    case FilterTest::Greater:
    case FilterTest::Less: {
      const std::string_view text = internalCell(cell, scratch_);
      int64_t mantissa;
      int fraction;
      int order;
      if (numberScaled_ && scaledNumber(text, mantissa, fraction)) {
        order = compareScaled(mantissa, fraction, mantissa_, fraction_);
      } else {
        order = compareDecimal(numberValue(text), number_);
      }
      return test_ == FilterTest::Greater ? order > 0 : order < 0;
    }
  }
  return false;
}

namespace {

// Rows from which a filter splits its work between two cores.
constexpr int32_t kTwoCoreFilter = 200000;

// The rows of [from, to) that pass, appended to `out`; false when a stop was seen. Only the thread
// that owns `ctx` reports to it: `report` is false for the helper, which reads the stop request only.
bool filterRange(const TableModel& table, const RowFilter& filter, int32_t from, int32_t to,
                 std::vector<int32_t>& out, RunContext& ctx, bool report) {
  std::vector<CellTest> tests;
  tests.reserve(filter.conditions.size());
  for (const FilterCondition& condition : filter.conditions) {
    assert(condition.column >= 1);
    tests.emplace_back(condition);
  }
  const bool any = filter.join == FilterJoin::Any;
  for (int32_t i = from; i < to; ++i) {
    if ((i - from) % kCheckEvery == 0) {
      if (report ? ctx.checkpoint() : ctx.stopRequested()) return false;
      if (report) ctx.progress(i - from, to - from);
    }
    bool keep = !any || tests.empty();
    for (const CellTest& test : tests) {
      const bool passes = test.passes(table.tableCellBytes(i, test.column()));
      if (any ? passes : !passes) {
        keep = any;
        break;
      }
    }
    if (keep) out.push_back(i);
  }
  return true;
}

}  // namespace

bool filterRows(const TableModel& table, const RowFilter& filter, std::vector<int32_t>& out, RunContext& ctx) {
  out.clear();
  const int32_t n = table.tableRowCount();
  if (n < kTwoCoreFilter) {
    if (!filterRange(table, filter, 0, n, out, ctx, true)) return false;
  } else {
    // The second half on a helper; its rows follow the first half's.
    const int32_t half = n / 2;
    std::vector<int32_t> second;
    bool secondDone = false;
    bool firstDone = false;
    runOnTwoCores([&] { secondDone = filterRange(table, filter, half, n, second, ctx, false); },
                  [&] { firstDone = filterRange(table, filter, 0, half, out, ctx, true); });
    if (!firstDone || !secondDone) return false;
    out.insert(out.end(), second.begin(), second.end());
  }
  ctx.progress(n, n);
  return true;
}

bool findCells(const TableModel& table, const FindOptions& options, std::vector<CellMatch>& out, RunContext& ctx) {
  out.clear();
  if (options.text.empty()) return true;
  const CellSearch search(options.text, options.matchCase);
  const int32_t columns = table.ColumnCount();
  for (int32_t c = 1; c <= columns; ++c) {
    if (search.in({table.GetColumnTitle(c), false})) out.push_back({0, c});
  }
  const int32_t rows = table.RowCount();
  for (int32_t r = 1; r <= rows; ++r) {
    if (r % kCheckEvery == 0) {
      if (ctx.checkpoint()) return false;
      ctx.progress(r, rows);
    }
    const int32_t present = std::min(columns, table.cellCount(r));
    for (int32_t c = 1; c <= present; ++c) {
      if (search.in(table.cellBytes(r, c))) out.push_back({r, c});
    }
  }
  ctx.progress(rows, rows);
  return true;
}

int64_t stepMatch(int64_t current, int64_t count, bool backwards) {
  if (count <= 0) return -1;
  if (current < 0 || current >= count) return backwards ? count - 1 : 0;
  if (backwards) return current == 0 ? count - 1 : current - 1;
  return current + 1 == count ? 0 : current + 1;
}

std::string findCountText(int64_t index, int64_t count) {
  if (count <= 0) return "没有找到";
  if (index < 0) return "共 " + std::to_string(count) + " 处";
  return "第 " + std::to_string(index + 1) + " 处，共 " + std::to_string(count) + " 处";
}

namespace {

std::string grouped(int64_t value) {
  const std::string digits = std::to_string(value < 0 ? -value : value);
  std::string out = value < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
    out += digits[i];
  }
  return out;
}

}  // namespace

std::string filteredRowsNote(int64_t shown, int64_t total) {
  return "只有筛选后显示的 " + grouped(shown) + " 行（共 " + grouped(total) + " 行）";
}

std::string shownRowsText(int64_t shown, int64_t total) {
  return "显示 " + grouped(shown) + " 行，共 " + grouped(total) + " 行";
}

}  // namespace chengling
