#pragma once
// Finding and filtering the rows of a TableModel. Both read a cell as the user sees it (internal
// text; a cell of a UTF-8 row as its internal text) and never start a match inside a double-byte
// character. Read-only over the table; an engine call runs on the caller's thread and stops at a
// row boundary when the RunContext asks.
//
// Shared by the engine, the window and the command line: Chinese texts are declared here and
// defined in the .cpp.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/run_context.h"
#include "tools/csv_table/number_key.h"
#include "tools/csv_table/table_model.h"

namespace chengling {

// In the order of the window's list.
enum class FilterTest {
  Contains = 0,     // 包含: the value occurs in the cell (letter case counts)
  NotContains = 1,  // 不包含
  Equals = 2,       // 等于: the cell is exactly the value
  NotEquals = 3,    // 不等于
  Greater = 4,      // 大于: the cell's number above the value's, both read as 按数值排序 reads them
  Less = 5,         // 小于
  Empty = 6,        // 为空: the cell has no bytes (a missing cell is empty); takes no value
  NotEmpty = 7,     // 不为空
};
inline constexpr int kFilterTestCount = 8;

// "包含" .. "不为空", indexed by FilterTest.
extern const char* const kFilterTestNames[kFilterTestCount];
// The command line's short forms of the first six: "~", "!~", "=", "!=", ">", "<".
extern const char* const kFilterTestSymbols[6];

bool filterTestTakesValue(FilterTest test);

struct FilterCondition {
  int32_t column = 1;  // 1-based
  FilterTest test = FilterTest::Contains;
  std::string value;   // internal text; unused by Empty and NotEmpty
};

// How several conditions combine: 并且 (every one holds) or 或者 (at least one).
enum class FilterJoin { All = 0, Any = 1 };

struct RowFilter {
  std::vector<FilterCondition> conditions;
  FilterJoin join = FilterJoin::All;
};

// Tests cells against one condition; built once per filter run, then used for every row.
class CellTest {
 public:
  explicit CellTest(const FilterCondition& condition);
  bool passes(CellBytes cell) const;
  int32_t column() const { return column_; }

 private:
  FilterTest test_;
  int32_t column_;
  std::string value_;      // internal text
  std::string valueUtf8_;  // the same as UTF-8, when it converts there and back exactly
  bool utf8Direct_ = false;
  DecimalValue number_;
  bool numberScaled_ = false;
  int64_t mantissa_ = 0;
  int fraction_ = 0;
  mutable std::string scratch_;
};

// The 0-based table indices (tableRowCount(), shown or not) of the rows that pass `filter`, in
// table order. A filter without conditions passes every row; a condition's column beyond a row's
// cells reads as the empty text. False when the run was stopped; `out` is then incomplete.
bool filterRows(const TableModel& table, const RowFilter& filter, std::vector<int32_t>& out, RunContext& ctx);

// Where `needle` occurs in `haystack` from `from` on, on a character boundary of internal text;
// npos when it does not. An empty needle is found at `from`.
size_t findOnBoundary(std::string_view haystack, std::string_view needle, size_t from = 0);

// A cell that holds the find text: row 0 is the titles.
struct CellMatch {
  int32_t row = 0;
  int32_t column = 0;
  bool operator==(const CellMatch&) const = default;
};

struct FindOptions {
  std::string text;  // internal text; an empty text finds nothing
  bool matchCase = false;  // false: ASCII letters match either case
  bool operator==(const FindOptions&) const = default;
};

// Every cell whose text contains the find text, titles first, then the rows shown (RowCount()) one
// by one, each left to right. At most one match per cell. False when stopped; `out` then holds the
// matches found so far.
bool findCells(const TableModel& table, const FindOptions& options, std::vector<CellMatch>& out, RunContext& ctx);

// The match to move to from `current` (an index into `matches`, -1 for none yet): the next one, or
// with `backwards` the previous one, wrapping around at either end. -1 when there are none.
int64_t stepMatch(int64_t current, int64_t count, bool backwards);

// "第 3 处，共 120 处" (`index` 0-based), "共 120 处" before any is chosen (`index` -1), "没有找到"
// when there is none.
std::string findCountText(int64_t index, int64_t count);
// What an export or a copy adds to its message while a filter shows `shown` of `total` rows:
// "只有筛选后显示的 3 行（共 7 行）".
std::string filteredRowsNote(int64_t shown, int64_t total);
// "显示 1 234 行，共 1 000 000 行": digits grouped by threes with a space.
std::string shownRowsText(int64_t shown, int64_t total);

}  // namespace chengling
