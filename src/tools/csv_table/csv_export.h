#pragma once
// A TableModel out as comma-separated text: the export to a file, its text and the copy text.
// Runs synchronously on the caller's thread.
//
// Shared by the engine and the window: Chinese texts are declared here and defined in the .cpp.

#include <string>
#include <string_view>

#include "foundation/file_system_calls.h"
#include "foundation/text_codec.h"
#include "tools/csv_table/table_model.h"

namespace chengling {

// True when the last 4 bytes of `path`, in lower case, are ".csv": such exports quote every field.
bool exportQuotesFields(std::string_view path);

// The titles line and every row, each followed by CR LF.
std::string exportText(const TableModel& table, bool quoted);

// Writes exportText(table, exportQuotesFields(path)) to `path` in `encoding` (EncodeText's rules: a
// mark in front for UTF-8 and UTF-16) through an atomic file. False with a reason when it cannot be
// written; the previous file is then unchanged. Written through `fs`.
bool ExportCsv(const TableModel& table, std::string_view path, TextEncoding encoding,
               std::string* error = nullptr, FileSystem& fs = posixFileSystem());

// The data rows (no titles), always quoted, each followed by CR LF; empty for an empty table.
std::string copyText(const TableModel& table);

// Messages of the table window that tell what an export did.
// "已导出：" + path.
std::string csvExportedMessage(std::string_view path);
// Why an export wrote nothing: the path and the reason.
std::string csvExportFailedMessage(std::string_view path, std::string_view reason);

}  // namespace chengling
