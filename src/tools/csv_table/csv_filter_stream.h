#pragma once
// The rows of one CSV file that pass a filter, written to another file record by record as they are
// read, with no table in between: what the command line does for `csv --where` without a sort.
// The bytes written are those that ImportCsvFiles, filterRows and ExportCsv together write for the
// same file. Where this way could write anything else (an encoding it does not read itself, a
// quote whose end lies further on than it looks, an output that is no plain file) it writes
// nothing and says so: the caller then takes the way through the table.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "foundation/run_context.h"
#include "foundation/text_codec.h"
#include "tools/csv_table/table_filter.h"
#include "tools/csv_table/table_model.h"

namespace chengling {

struct CsvStreamFilter {
  std::string input;   // one file
  std::string output;  // quoted fields when it ends in ".csv", as ExportCsv does
  bool numberedTitles = false;
  // Makes the filter once the titles are known (`titles` holds the columns and no rows). False when
  // a condition names no column: nothing is written then.
  std::function<bool(const TableModel& titles, RowFilter& filter)> conditions;
  // Bytes read at a time; a record longer than this is read in a larger piece.
  size_t readSize = size_t{4} << 20;
};

enum class CsvStreamResult {
  Written,      // the output is complete
  Stopped,      // the run was asked to stop: nothing written
  NotStreamed,  // nothing written: the table's way must do this run
};

struct CsvStreamOutcome {
  CsvStreamResult result = CsvStreamResult::NotStreamed;
  TextEncoding encoding = TextEncoding::Ansi;  // of the input, and so of the output
  int64_t rowsRead = 0;
  int64_t rowsKept = 0;
  // Records in which a quote was never closed; reported through RunContext::warning as the import
  // reports them.
  int64_t unclosedQuoteLines = 0;
};

CsvStreamOutcome filterCsvStream(const CsvStreamFilter& run, RunContext& ctx);

}  // namespace chengling
