#pragma once
// Comma-separated text into a TableModel: the import of files and of the clipboard text (records
// read by csv_record.h, header handling, several files merged under one header). Runs synchronously
// on the caller's thread; an import stops after the current record when the RunContext asks.
//
// Shared by the engine and the window: Chinese texts are declared here and defined in the .cpp.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/run_context.h"
#include "foundation/text_codec.h"
#include "tools/csv_table/table_model.h"

namespace chengling {

struct CsvImportOptions {
  std::vector<std::string> paths;  // merged in order under the first file's header
  // Ctrl held when the import starts: when there are no columns yet, the first record that has fields
  // makes the columns "第1列" .. "第n列" and is imported as data.
  bool numberedTitles = false;
};

struct CsvImportOutcome {
  // Encoding of the first file that could be read (exports are written the same way); Ansi when
  // none could be read.
  TextEncoding encoding = TextEncoding::Ansi;
  int64_t rowsAdded = 0;
  int64_t filesFailed = 0;  // each reported through RunContext::failure
  bool stopped = false;
  // Records in which a quote was never closed and was read as a plain character; each file with
  // any is reported through RunContext::warning.
  int64_t unclosedQuoteLines = 0;
};

// Removes all rows and columns, then imports every path in order, each decoded with detection. An
// empty list or an empty first path changes nothing. A file that cannot be read is reported and
// skipped. Column widths are left as they are: the caller fits them (autoFitColumns, at most 600).
CsvImportOutcome ImportCsvFiles(const CsvImportOptions& options, TableModel& table, RunContext& ctx);

// Removes all rows and columns and imports `text` (internal text, the clipboard's) as one source.
CsvImportOutcome ImportCsvText(std::string_view text, bool numberedTitles, TableModel& table,
                               RunContext& ctx);

// The status line after an import: how many rows, whether it was stopped, what could not be read
// and how many records had a quote that was never closed.
std::string csvImportSummary(const CsvImportOutcome& outcome);
// "N 行的引号没有闭合，……": the warning of a file with such records.
std::string csvUnclosedQuoteNote(int64_t lines);

}  // namespace chengling
