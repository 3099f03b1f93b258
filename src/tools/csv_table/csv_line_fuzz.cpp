// Arbitrary bytes through the line parser, the import of a whole source and the date reader: no
// crash, no hang, and every field is a piece of its line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "foundation/run_context.h"
#include "tools/csv_table/csv_text.h"
#include "tools/csv_table/table_sort.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  std::vector<std::string_view> fields;
  parseCsvFields(input, fields);
  for (std::string_view field : fields) {
    if (field.data() < input.data() || field.data() + field.size() > input.data() + input.size()) abort();
  }
  if (ParseCsvLine(input).size() != fields.size()) abort();

  Moment moment;
  if (readMoment(input, moment)) {
    if (moment.month < 1 || moment.month > 12 || moment.day < 1 || moment.day > 31) abort();
  }
  dateTimeKey(input);
  scalarSortKey(SortOrder::Number, input);
  scalarSortKey(SortOrder::Digits, input);
  std::vector<int32_t> values;
  appendPinyinValues(input, values);

  TableModel table;
  PlainRunContext ctx;
  ImportCsvText(input, size % 2 == 1, table, ctx);
  for (int32_t r = 1; r <= table.RowCount(); ++r) {
    if (table.cellCount(r) != table.ColumnCount()) abort();
  }
  if (table.ColumnCount() > 0 && table.RowCount() > 1) {
    SortRows(table, 1, SortDirection::Ascending, SortOrder::Pinyin);
  }
  return 0;
}
