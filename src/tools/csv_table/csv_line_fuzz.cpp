// Arbitrary bytes through the record reader, the import of a whole source and the sort keys: no
// crash, no hang, every field a piece of its record's bytes, every record written back as quoted
// fields reads back as the same fields, and a whole table exported reads back as the same table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/run_context.h"
#include "foundation/utf8_internal.h"
#include "tools/csv_table/csv_record.h"
#include "tools/csv_table/csv_text.h"
#include "tools/csv_table/number_key.h"
#include "tools/csv_table/table_sort.h"

namespace {

void checkRecords(std::string_view input, bool utf8) {
  using namespace chengling;
  std::string text(input);
  std::vector<std::string_view> fields;
  std::vector<std::string_view> again;
  for (size_t pos = 0; pos < text.size();) {
    const CsvRecordEnd end = readCsvRecord(text.data(), text.size(), pos, utf8, fields);
    if (end.next <= pos || end.next > text.size()) abort();
    if (skipCsvRecord(input.data(), input.size(), pos, utf8).next != end.next) abort();
    std::string written;
    for (size_t i = 0; i < fields.size(); ++i) {
      const std::string_view f = fields[i];
      if (f.data() < text.data() + pos || f.data() + f.size() > text.data() + end.next) abort();
      if (i > 0) written += ',';
      appendQuotedField(f, utf8, written);
    }
    if (!fields.empty()) {
      readCsvRecord(written.data(), written.size(), 0, utf8, again);
      if (again.size() != fields.size()) abort();
      for (size_t i = 0; i < fields.size(); ++i) {
        if (again[i] != fields[i]) abort();
      }
    }
    pos = end.next;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  checkRecords(input, false);
  if (utf8FitsInternal(input)) checkRecords(input, true);
  if (ParseCsvLine(input) != csvRecordFields(input, false)) abort();

  Moment moment;
  if (readMoment(input, moment)) {
    if (moment.month < 1 || moment.month > 12 || moment.day < 1 || moment.day > 31) abort();
  }
  dateTimeSeconds(input);
  // The packed keys order numbers as their full values do.
  const DecimalValue number = numberValue(input);
  const NumberKey key = numberKey(input);
  const NumberKey one = numberKey("1");
  const int byKey = key.high != one.high ? (key.high < one.high ? -1 : 1) : key.low != one.low ? (key.low < one.low ? -1 : 1) : 0;
  const int byValue = compareDecimal(number, numberValue("1"));
  if (byKey != 0 && byKey != byValue) abort();
  // The quick integer form, where there is one, is the same value.
  int64_t mantissa = 0;
  int fraction = 0;
  if (scaledNumber(input, mantissa, fraction)) {
    DecimalValue scaled;
    std::string digits = std::to_string(mantissa < 0 ? -mantissa : mantissa);
    const size_t first = digits.find_first_not_of('0');
    if (first != std::string::npos) {
      scaled.negative = mantissa < 0;
      scaled.exponent = static_cast<int64_t>(digits.size() - first) - fraction;
      digits = digits.substr(first);
      digits.erase(digits.find_last_not_of('0') + 1);
      scaled.digits = digits;
    }
    if (!(scaled == number)) abort();
  }
  joinedDigitsValue(input);
  std::vector<int32_t> values;
  appendPinyinValues(input, values);

  TableModel table;
  PlainRunContext ctx;
  ImportCsvText(input, size % 2 == 1, table, ctx);
  for (int32_t r = 1; r <= table.RowCount(); ++r) {
    if (table.cellCount(r) != table.ColumnCount()) abort();
  }
  // The table exported with every field quoted imports as the same table, every byte of every cell
  // (a NUL included) where it was.
  TableModel again;
  ImportCsvText(exportText(table, true), false, again, ctx);
  if (again.ColumnCount() != table.ColumnCount()) abort();
  if (table.ColumnCount() > 0) {
    if (again.RowCount() != table.RowCount()) abort();
    for (int32_t c = 1; c <= table.ColumnCount(); ++c) {
      if (again.GetColumnTitle(c) != table.GetColumnTitle(c)) abort();
      for (int32_t r = 1; r <= table.RowCount(); ++r) {
        if (again.GetCell(r, c) != table.GetCell(r, c)) abort();
      }
    }
  }
  if (table.ColumnCount() > 0 && table.RowCount() > 1) {
    SortRows(table, 1, SortDirection::Ascending, SortOrder::Pinyin);
    SortRows(table, 1, SortDirection::Descending, SortOrder::Number);
  }
  return 0;
}
