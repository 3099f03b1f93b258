#pragma once
// Sorting the rows of a TableModel by the text of one column, in one of seven orders. Each order
// turns a cell into a key: a single value (scalar orders: a length, a count, a number of any size, a
// moment) or a sequence of 32-bit values (character codes, pinyin). No key wraps around. The result
// is exactly the order of inserting the rows one by one, in table order, into a list of key groups
// at the first group that is not smaller (ascending) or that is smaller (descending): equal scalar
// keys keep table order both ways, equal sequence keys keep table order descending and come out in
// reverse table order ascending. O(n log n).
//
// Shared by the engine and the window: Chinese texts are declared here and defined in the .cpp.

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/run_context.h"
#include "tools/csv_table/table_model.h"

namespace chengling {

// In menu order.
enum class SortOrder {
  Length = 0,    // byte length
  Chars = 1,     // CharCount
  Codes = 2,     // the bytes, unsigned
  Pinyin = 3,    // per-character pinyin values
  Number = 4,    // numberValue (number_key.h)
  Digits = 5,    // joinedDigitsValue (number_key.h)
  DateTime = 6,  // dateTimeSeconds
};
inline constexpr int kSortOrderCount = 7;

enum class SortDirection { Descending = 0, Ascending = 1 };

// The menu items, indexed by SortOrder ("按文本长度排序" .. "按日期时间排序").
extern const char* const kSortOrderNames[kSortOrderCount];
// Appended to the sort column's title while a sort runs.
extern const char* const kSortingMarker;  // ">>"

bool isSequenceOrder(SortOrder order);

// One flag for the whole window: the first sort is descending, and it flips after every sort,
// whichever column or order.
class SortDirectionFlag {
 public:
  SortDirection current() const { return current_; }
  // The direction for this sort; the next one goes the other way.
  SortDirection take() {
    const SortDirection now = current_;
    current_ = now == SortDirection::Descending ? SortDirection::Ascending : SortDirection::Descending;
    return now;
  }

 private:
  SortDirection current_ = SortDirection::Descending;
};

// Full-width ASCII forms (A3A1-A3FE) and the full-width space (A1A1) as their ASCII bytes; other
// characters unchanged.
std::string asciiFromFullWidth(std::string_view text);

// The key of Length (bytes), Chars (CharCount) or DateTime (dateTimeSeconds).
int64_t integerSortKey(SortOrder order, std::string_view text);
// The order of two cells' keys in a scalar order (Length, Chars, Number, Digits, DateTime): less
// than, equal to or greater than 0.
int compareScalarCells(SortOrder order, std::string_view a, std::string_view b);

// The pinyin value of the character at the start of `text` (one character by the character rule);
// `length` receives its byte count.
int32_t pinyinValue(std::string_view text, size_t& length);
// The pinyin values of every character of `text`, appended to `out`.
void appendPinyinValues(std::string_view text, std::vector<int32_t>& out);

// A moment read from a text: year, month, day, hour, minute, second.
struct Moment {
  int32_t year = 100, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
// Reads "2017-03-12 08:30", "2017/3/12", "2017年3月12日8时5分", "20170312" and the like (full-width
// forms count as ASCII). False when the text names no valid moment.
bool readMoment(std::string_view text, Moment& moment);
// Whole seconds from 1970-01-01 08:00:00 to `moment`.
int64_t secondsFromEpoch(const Moment& moment);
// The DateTime key: seconds from 1970-01-01 08:00:00 to the moment the text names, else to that of
// "1991-01-21 " + the text; kNoMoment, below every moment, when neither names one.
inline constexpr int64_t kNoMoment = INT64_MIN;
int64_t dateTimeSeconds(std::string_view text);

// Rows by the text of `column` (1-based): the 0-based row indices in their new order. With `ctx`,
// the stop request is looked at every 65 536 rows or comparisons on each core; a stopped sort gives
// no rows at all (an empty order, which a table of rows never has).
std::vector<int32_t> sortedRowOrder(const TableModel& table, int32_t column, SortOrder order,
                                    SortDirection direction, const RunContext* ctx = nullptr);

// Puts the rows in `order` (0-based indices, each row exactly once, as sortedRowOrder gives them);
// cells and icon index move together, the selection keeps its row numbers.
void applyRowOrder(TableModel& table, const std::vector<int32_t>& order);

// sortedRowOrder, then applyRowOrder.
void SortRows(TableModel& table, int32_t column, SortDirection direction, SortOrder order);

}  // namespace chengling
