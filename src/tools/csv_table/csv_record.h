#pragma once
// One record of comma-separated text, read and written. A record is a line, or several when a field
// in double quotes holds line breaks. The reader takes what spreadsheet programs write and keeps the
// older habits of this tool's files; the writer makes fields that the reader gives back unchanged.
//
// Reading, field by field from the record's start:
// - Commas separate fields; a comma that ends a line adds no field after it; an empty line gives no
//   field at all. A line ends at LF; a CR right before the LF belongs to the line break.
// - A field that starts with a double quote or an apostrophe is quoted by that character up to the
//   next one. Inside, the character doubled stands for itself once, and a backslash makes the next
//   byte literal (both stay in the field). A field in double quotes may hold line breaks; one in
//   apostrophes ends with its line.
// - After the closing quote, the bytes up to the next comma or line end stay in the field, as they
//   are.
// - Elsewhere a quote is a plain character. A backslash outside quotes makes the next byte literal:
//   an escaped comma does not separate; a field whose line ends in an escaped byte is dropped.
// - A quote that is never closed (double quotes: up to the end of the text; apostrophes: up to the
//   end of the line) is a plain character, and the field reads as if it were unquoted.
// The text is internal text, or UTF-8 that internal text can hold (utf8FitsInternal), which reads
// exactly as its internal text would: a character whose GB18030 form ends in byte 5C counts as a
// backslash there.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace chengling {

struct CsvRecordEnd {
  size_t next = 0;             // where the next record starts: past the line break that ends this one
  bool unclosedQuote = false;  // a quote in it was never closed and was read as a plain character
};

// Reads the record that starts at `pos`, a line start of `text` .. `text + size`, into `fields`:
// views into `text`. A field that differs from its bytes (a doubled quote, bytes after the closing
// quote) is rewritten in place inside the record, so `text` must be writable and the record's bytes
// are not to be read as a record again.
CsvRecordEnd readCsvRecord(char* text, size_t size, size_t pos, bool utf8, std::vector<std::string_view>& fields);

// The end of the record that starts at `pos`, without reading its fields or writing anything.
CsvRecordEnd skipCsvRecord(const char* text, size_t size, size_t pos, bool utf8);

// A line start at or after `from` (a line start) where a record starts whatever the text before
// `from` holds, found by reading on from `from` only: `text` can be cut there into two runs of whole
// records that read apart exactly as together. `size` when no such place is found.
size_t csvRecordStartAfter(const char* text, size_t size, size_t from, bool utf8);

// Writing a cell (internal text, or checked UTF-8 with `utf8`) as a field in double quotes that
// readCsvRecord reads back as the cell: a double quote that the reader would not take literally is
// doubled; a cell that ends in an escape that would take the closing quote has that end written
// after the closing quote instead, where it is plain (it is backslashes, or characters ending in
// 5C: never a quote, a comma or a line break).
//
// How many bytes of `cell` go between the quotes; the rest follows the closing quote.
size_t quotedPartLength(std::string_view cell, bool utf8);
// True when the double quote at `at` of `text` is taken literally by an escape before it.
bool quoteIsEscaped(std::string_view text, size_t at, bool utf8);
// True when the field is more than the cell between two quotes.
bool quotedFieldNeedsEscape(std::string_view cell, bool utf8);

// Hands the field to `put(std::string_view)` in pieces, without copying the cell.
template <typename Put>
void writeQuotedField(std::string_view cell, bool utf8, Put&& put) {
  const std::string_view inside = cell.substr(0, quotedPartLength(cell, utf8));
  put(std::string_view("\"", 1));
  size_t from = 0;
  for (size_t at = inside.find('"'); at != std::string_view::npos; at = inside.find('"', at + 1)) {
    if (quoteIsEscaped(inside, at, utf8)) continue;
    put(inside.substr(from, at + 1 - from));  // this quote, and once more from the next piece
    from = at;
  }
  put(inside.substr(from));
  put(std::string_view("\"", 1));
  if (inside.size() < cell.size()) put(cell.substr(inside.size()));
}

// The same, appended to `out`.
void appendQuotedField(std::string_view cell, bool utf8, std::string& out);

// A cell of an export: in double quotes as above when `quoted` or when it holds a line break (which
// would end the record otherwise), else as it is.
void appendExportField(std::string_view cell, bool utf8, bool quoted, std::string& out);
bool exportFieldIsPlain(std::string_view cell, bool utf8, bool quoted);

// The fields of the first record of `text`, as strings (tests, and callers that hold no writable
// text).
std::vector<std::string> csvRecordFields(std::string_view text, bool utf8);

// The fields of the first record of `line` (a line, or more when a field in double quotes holds
// line breaks) as internal text. Never fails.
std::vector<std::string> ParseCsvLine(std::string_view line);

}  // namespace chengling
