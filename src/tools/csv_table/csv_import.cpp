#include "tools/csv_table/csv_import.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "foundation/encoding_detection.h"
#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/text_lines.h"
#include "foundation/two_cores.h"
#include "foundation/utf8_internal.h"
#include "tools/csv_table/csv_record.h"

namespace chengling {

std::string csvUnclosedQuoteNote(int64_t lines) {
  return std::to_string(lines) + " 行的引号没有闭合，已把引号当作普通字符导入";
}

std::string csvImportSummary(const CsvImportOutcome& outcome) {
  std::string text = outcome.stopped ? "导入已停止，" : "";
  text += "共导入 " + std::to_string(outcome.rowsAdded) + " 行";
  if (outcome.filesFailed > 0) text += "，" + std::to_string(outcome.filesFailed) + " 个文件未能读取";
  if (outcome.unclosedQuoteLines > 0) text += "；" + csvUnclosedQuoteNote(outcome.unclosedQuoteLines);
  return text;
}

namespace {

// Rows between two progress reports of an import.
constexpr int64_t kProgressEvery = 4096;

std::string numberedTitle(size_t i) { return "第" + std::to_string(i) + "列"; }

// The header's text of a field.
std::string internalField(std::string_view field, bool utf8) {
  if (!utf8) return std::string(field);
  std::string out;
  appendUtf8AsInternal(field, out);
  return out;
}

// Below this many bytes of records the import stays on one thread.
constexpr size_t kTwoCoreImport = size_t{4} << 20;

// Adds a row for every record of `text` from `from` to `to` (record starts; nothing at or after
// `to` is read) through `rows`, counting the records with an unclosed quote in `unclosed`, and calls
// `tick(bytesDone)` after each; the import ends early when it returns false. True when every record
// was added.
template <typename Tick>
bool addRecordRows(char* text, size_t from, size_t to, bool utf8, int32_t count,
                   TableModel::LineRows& rows, int64_t& unclosed, Tick&& tick) {
  std::vector<std::string_view> fields;
  for (size_t pos = from; pos < to;) {
    const CsvRecordEnd end = readCsvRecord(text, to, pos, utf8, fields);
    if (end.unclosedQuote) ++unclosed;
    // The row may take over the record's bytes and its line break.
    rows.add(text + pos, end.next - pos, fields, count, utf8);
    pos = end.next;
    if (!tick(pos - from)) return pos >= to;
  }
  return true;
}

// The records of a source one by one up to the header or the first record after it: the header
// makes the columns (numbered ones when `numberedTitles`), and a copy of the header at the start of a
// later source is not a row. Returns where the records that are all rows begin; `firstExamined` is
// false when the source ended or the import stopped before such a record.
size_t importLeadingRecords(char* text, size_t size, bool utf8, bool numberedTitles, TableModel& table,
                            RunContext& ctx, bool& stopped, int64_t& unclosed, int64_t& added,
                            bool& firstExamined) {
  bool headerKnown = table.ColumnCount() >= 1;
  std::vector<std::string_view> fields;
  size_t rest = 0;  // where the records that are all rows begin
  table.reserveRows(1);
  while (rest < size && !firstExamined) {
    const size_t start = rest;
    const CsvRecordEnd end = readCsvRecord(text, size, start, utf8, fields);
    rest = end.next;
    if (end.unclosedQuote) ++unclosed;
    if (!headerKnown && fields.empty()) {
      // A record without fields cannot make a header: leading empty lines would otherwise leave a
      // table of no columns that drops every following row.
      if ((stopped = ctx.checkpoint())) return rest;
      continue;
    }
    if (numberedTitles && !headerKnown) {
      for (size_t i = 1; i <= fields.size(); ++i) table.AddColumn(numberedTitle(i));
      headerKnown = true;
    } else if (!headerKnown) {
      for (std::string_view title : fields) table.AddColumn(internalField(title, utf8));
      headerKnown = true;
      firstExamined = true;  // the header's own source needs no check for a copy of it
      stopped = ctx.checkpoint();
      break;
    }
    firstExamined = true;
    // A copy of the header at the start of a later source is not a row.
    if (fields.empty() || internalField(fields.front(), utf8) != table.GetColumnTitle(1)) {
      table.addTextRow(text + start, rest - start, fields, table.ColumnCount(), utf8);
      ++added;
    }
    stopped = ctx.checkpoint();
  }
  return rest;
}

// Adds a row for every record from `rest` to `size`, all of them rows: read on two cores when there
// are many, cut apart where a record is sure to start. Returns the rows added.
int64_t importRowRecords(char* text, size_t rest, size_t size, bool utf8, TableModel& table, RunContext& ctx,
                         int64_t& unclosed) {
  // The remaining records, cut in two near their middle when they are many.
  size_t cut = size;
  if (size - rest >= kTwoCoreImport && hasSecondCore()) {
    const void* newline = std::memchr(text + rest + (size - rest) / 2, '\n', size - rest - (size - rest) / 2);
    if (newline != nullptr) {
      cut = csvRecordStartAfter(text, size, static_cast<size_t>(static_cast<const char*>(newline) - text) + 1, utf8);
    }
  }
  // No text holds more records than lines.
  const std::vector<size_t> places = {countLines({text + rest, cut - rest}), countLines({text + cut, size - cut})};
  std::vector<TableModel::LineRows> ranges = table.openLineRows(places);
  const int32_t count = table.ColumnCount();
  std::atomic<size_t> secondDone{0};
  std::atomic<bool> firstStopped{false};
  int64_t unclosedSecond = 0;
  auto readSecond = [&] {
    const bool completed =
        addRecordRows(text, cut, size, utf8, count, ranges[1], unclosedSecond, [&](size_t done) {
          secondDone.store(done, std::memory_order_relaxed);
          return !firstStopped.load(std::memory_order_relaxed) && !ctx.stopRequested();
        });
    if (completed) ranges[1].markComplete();
  };
  auto readFirst = [&] {
    const bool completed = addRecordRows(text, rest, cut, utf8, count, ranges[0], unclosed, [&](size_t done) {
      if (ranges[0].added() % kProgressEvery == 0) {
        ctx.progress(static_cast<int64_t>(rest + done + secondDone.load(std::memory_order_relaxed)),
                     static_cast<int64_t>(size));
      }
      return !ctx.checkpoint();
    });
    if (completed) ranges[0].markComplete();
    firstStopped.store(!completed);
  };
  if (cut == size) {
    readFirst();
  } else {
    runOnTwoCores(readSecond, readFirst);
  }
  unclosed += unclosedSecond;
  return static_cast<int64_t>(table.closeLineRows(ranges));
}

// Imports one source that `table` holds already (adoptText): `text` .. `text + size`, internal
// text or UTF-8. The records before the header and the first row go one by one; the rest, which are
// all rows, are read on two cores when there are many.
int64_t importHeldSource(char* text, size_t size, bool utf8, bool numberedTitles, TableModel& table,
                         RunContext& ctx, bool& stopped, int64_t& unclosed) {
  int64_t added = 0;
  bool firstExamined = false;
  const size_t rest =
      importLeadingRecords(text, size, utf8, numberedTitles, table, ctx, stopped, unclosed, added, firstExamined);
  if (stopped || !firstExamined || rest >= size) return added;
  added += importRowRecords(text, rest, size, utf8, table, ctx, unclosed);
  stopped = ctx.checkpoint();
  return added;
}

// A file's content ready for the table: UTF-8 content that internal text can hold stays UTF-8 (no
// conversion there and back); everything else is what DecodeText makes of it, `used` the same. A NUL
// is kept with everything after it: the table carries it as a byte of its cell.
struct HeldText {
  std::string bytes;
  size_t start = 0;  // a UTF-8 mark before it
  size_t size = 0;
  bool utf8 = false;
};

HeldText holdFileText(std::string content, TextEncoding& used) {
  HeldText held;
  const std::string_view view = content;
  const std::string_view utf8Mark = byteOrderMark(TextEncoding::Utf8);
  bool general = view.starts_with("\x1F\x8B") || view.starts_with(byteOrderMark(TextEncoding::Utf16Le)) ||
                 view.starts_with(byteOrderMark(TextEncoding::Utf16Be));
  bool utf8 = false;
  if (!general) {
    if (view.starts_with(utf8Mark)) {
      utf8 = true;
      held.start = utf8Mark.size();
    } else {
      // As DecodeText detects: a declaration after a NUL is not looked for.
      const int declared = DetectHtmlCharset(cutAtNul(view));
      general = declared == 2 || declared == 3;
      utf8 = declared == 1;
    }
  }
  if (!general) {
    const std::string_view body = view.substr(held.start);
    utf8 = utf8 || LooksLikeUtf8(body);
    // Bytes that detection reads as BIG5 or UTF-16 take the general way (which also reads UTF-16
    // with NUL bytes that passes the UTF-8 check as UTF-16).
    if ((!utf8 || (held.start == 0 && body.find('\0') != std::string_view::npos)) &&
        guessedEncoding(body) != TextEncoding::Ansi) {
      general = true;
      utf8 = false;
    }
    if (!utf8 && !general) {
      held.start = 0;
      held.size = view.size();
      held.bytes = std::move(content);
      used = TextEncoding::Ansi;
      return held;
    }
    // What converts to nothing, or holds what the table cannot read, takes the general way.
    if (utf8 && !body.empty() && utf8FitsInternal(body)) {
      held.size = body.size();
      held.utf8 = true;
      held.bytes = std::move(content);
      used = TextEncoding::Utf8;
      return held;
    }
  }
  held.bytes = decodeKeepingNul(content, TextEncoding::Detect, used);
  held.start = 0;
  held.size = held.bytes.size();
  return held;
}

}  // namespace

CsvImportOutcome ImportCsvFiles(const CsvImportOptions& options, TableModel& table, RunContext& ctx) {
  CsvImportOutcome outcome;
  if (options.paths.empty() || options.paths.front().empty()) return outcome;
  table.ClearRows();
  table.ClearColumns();
  bool encodingKnown = false;
  for (const std::string& path : options.paths) {
    if (path.empty()) continue;
    ctx.status(path);
    std::string content, reason;
    if (!readWholeFile(ctx.fileSystem(), path, content, &reason)) {
      ++outcome.filesFailed;
      ctx.failure(path, reason.empty() ? "无法读取" : reason);
      if (ctx.checkpoint()) {
        outcome.stopped = true;
        break;
      }
      continue;
    }
    TextEncoding used = TextEncoding::Detect;
    HeldText held = holdFileText(std::move(content), used);
    if (!encodingKnown) {
      outcome.encoding = used;
      encodingKnown = true;
    }
    const size_t start = held.start, size = held.size;
    const bool utf8 = held.utf8;
    char* text = table.adoptText(std::move(held.bytes));
    int64_t unclosed = 0;
    outcome.rowsAdded +=
        importHeldSource(text + start, size, utf8, options.numberedTitles, table, ctx, outcome.stopped, unclosed);
    if (unclosed > 0) {
      outcome.unclosedQuoteLines += unclosed;
      ctx.warning(path, csvUnclosedQuoteNote(unclosed));
    }
    if (outcome.stopped) break;
  }
  return outcome;
}

CsvImportOutcome ImportCsvText(std::string_view text, bool numberedTitles, TableModel& table,
                               RunContext& ctx) {
  CsvImportOutcome outcome;
  table.ClearRows();
  table.ClearColumns();
  char* held = table.adoptText(std::string(text));
  outcome.rowsAdded = importHeldSource(held, text.size(), false, numberedTitles, table, ctx, outcome.stopped,
                                       outcome.unclosedQuoteLines);
  return outcome;
}

}  // namespace chengling
