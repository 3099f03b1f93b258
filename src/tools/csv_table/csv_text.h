#pragma once
// Comma-separated text in and out of a TableModel: the import of files and of the clipboard text
// (records read by csv_record.h, header handling, several files merged under one header), the
// export and the copy text. Runs synchronously on the caller's thread; an import stops after the
// current record when the RunContext asks.
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

// The fields of the first record of `line` (a line, or more when a field in double quotes holds
// line breaks) by the rules of csv_record.h. Never fails.
std::vector<std::string> ParseCsvLine(std::string_view line);

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

// True when the last 4 bytes of `path`, in lower case, are ".csv": such exports quote every field.
bool exportQuotesFields(std::string_view path);

// The titles line and every row, each followed by CR LF.
std::string exportText(const TableModel& table, bool quoted);

// Writes exportText(table, exportQuotesFields(path)) to `path` in `encoding` (EncodeText's rules: a
// mark in front for UTF-8 and UTF-16) through an atomic file. False with a reason when it cannot be
// written; the previous file is then unchanged.
bool ExportCsv(const TableModel& table, std::string_view path, TextEncoding encoding,
               std::string* error = nullptr);

// The data rows (no titles), always quoted, each followed by CR LF; empty for an empty table.
std::string copyText(const TableModel& table);

// Messages of the table window that tell what an export or an import did.
// "已导出：" + path.
std::string csvExportedMessage(std::string_view path);
// Why an export wrote nothing: the path and the reason.
std::string csvExportFailedMessage(std::string_view path, std::string_view reason);
// The status line after an import: how many rows, whether it was stopped, what could not be read
// and how many records had a quote that was never closed.
std::string csvImportSummary(const CsvImportOutcome& outcome);
// "N 行的引号没有闭合，……": the warning of a file with such records.
std::string csvUnclosedQuoteNote(int64_t lines);

}  // namespace chengling
