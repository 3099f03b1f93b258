#include "tools/csv_table/csv_text.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cstring>

#include "foundation/encoding_detection.h"
#include "foundation/file_streams.h"
#include "foundation/file_system.h"
#include "foundation/gb18030_table.h"
#include "foundation/internal_text.h"
#include "foundation/two_cores.h"
#include "tools/csv_table/cell_text.h"
#include "tools/csv_table/csv_record.h"

namespace chengling {

std::string csvExportedMessage(std::string_view path) { return "已导出：" + std::string(path); }

std::string csvExportFailedMessage(std::string_view path, std::string_view reason) {
  return "未能导出到 " + std::string(path) + "：" + std::string(reason.empty() ? "无法写入" : reason);
}

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

// Export text is built and encoded in pieces of about this size, so the whole text never sits in
// memory next to the table.
constexpr size_t kExportPiece = size_t{4} << 20;

std::string numberedTitle(size_t i) { return "第" + std::to_string(i) + "列"; }

// The header's text of a field.
std::string internalField(std::string_view field, bool utf8) {
  if (!utf8) return std::string(field);
  std::string out;
  appendUtf8AsInternal(field, out);
  return out;
}

// Lines in `text`, counted as lines end at LF (the last needs none): no text holds more records.
size_t lineCount(std::string_view text) {
  if (text.empty()) return 0;
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + (text.back() == '\n' ? 0 : 1);
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

// Imports one source that `table` holds already (adoptText): `text` .. `text + size`, internal
// text or UTF-8. The records before the header and the first row go one by one; the rest, which are
// all rows, are read on two cores when there are many, cut apart where a record is sure to start.
int64_t importHeldSource(char* text, size_t size, bool utf8, bool numberedTitles, TableModel& table,
                         RunContext& ctx, bool& stopped, int64_t& unclosed) {
  bool headerKnown = table.ColumnCount() >= 1;
  bool firstExamined = false;
  int64_t added = 0;
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
      if ((stopped = ctx.checkpoint())) return added;
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
  if (stopped || !firstExamined || rest >= size) return added;

  // The remaining records, cut in two near their middle when they are many.
  size_t cut = size;
  if (size - rest >= kTwoCoreImport && hasSecondCore()) {
    const void* newline = std::memchr(text + rest + (size - rest) / 2, '\n', size - rest - (size - rest) / 2);
    if (newline != nullptr) {
      cut = csvRecordStartAfter(text, size, static_cast<size_t>(static_cast<const char*>(newline) - text) + 1, utf8);
    }
  }
  const std::vector<size_t> places = {lineCount({text + rest, cut - rest}), lineCount({text + cut, size - cut})};
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
  added += static_cast<int64_t>(table.closeLineRows(ranges));
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

std::vector<std::string> ParseCsvLine(std::string_view line) { return csvRecordFields(line, false); }

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
    if (!readWholeFile(path, content, &reason)) {
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

bool exportQuotesFields(std::string_view path) {
  return path.size() >= 4 && asciiLower(path.substr(path.size() - 4)) == ".csv";
}

std::string exportText(const TableModel& table, bool quoted) {
  std::string out;
  for (int32_t r = 0; r <= table.RowCount(); ++r) {
    table.appendRowText(r, quoted, out);
    out += "\r\n";
  }
  return out;
}

namespace {

// Rows above this size go out cell by cell instead of through one row text.
constexpr size_t kLargeRow = size_t{1} << 20;

// The export buffer: a piece and a row more (whose quotes may all be doubled).
constexpr size_t kOutCapacity = kExportPiece + 2 * kLargeRow;

// Writes the bytes of an export through `file` in pieces of about kExportPiece: bytes already in
// the output encoding go out as they are, internal text is encoded on the way. Order is kept; a
// text far larger than a piece is encoded piece by piece, so that no second copy of a huge cell is
// ever held.
class ExportSink {
 public:
  ExportSink(AtomicFile& file, TextEncoding encoding, std::string* error)
      : file_(file), encoding_(encoding), error_(error), mark_(byteOrderMark(encoding)) {
    // EncodeText puts a mark in front of the text; the pieces below are encoded without it.
    // A piece goes out once it is full, in one write that the file passes on without copying; the
    // buffer has room for a piece and a row more and never grows (a doubling string would hold
    // twice that at its peak).
    out_.reserve(kOutCapacity);
    out_.assign(mark_);
    converted_ = !charsetName(encoding).empty();
  }

  // Bytes in the output encoding.
  void raw(std::string_view bytes) {
    flushPending();
    if (bytes.size() >= kExportPiece) {
      flushOut();
      write(bytes);
      return;
    }
    std::string& out = rawBuffer(bytes.size());
    out.append(bytes);
    rawDone();
  }

  // The buffer of bytes in the output encoding, with room for `bytes` more that the caller appends;
  // rawDone() after appending.
  std::string& rawBuffer(size_t bytes) {
    flushPending();
    if (out_.size() + bytes > kOutCapacity) flushOut();
    return out_;
  }
  void rawDone() {
    if (out_.size() >= kExportPiece) flushOut();
  }

  // Internal text.
  void internal(std::string_view text) {
    if (!converted_) {
      raw(text);
      return;
    }
    if (text.size() < kExportPiece) {
      if (pending_.size() + text.size() > kExportPiece) flushPending();
      pending_.append(text);
      return;
    }
    flushPending();
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t at = 0; at < text.size();) {
      // A piece ends where a character starts whatever came before, so it encodes on its own.
      const size_t end = at + kExportPiece >= text.size()
                             ? text.size()
                             : gb18030::nextGb18030Restart(p, text.size(), at + kExportPiece - 1);
      encodeAndAppend(text.substr(at, end - at));
      at = end;
    }
  }

  bool finish() {
    flushPending();
    flushOut();
    return ok_;
  }

 private:
  void encodeAndAppend(std::string_view text) {
    bytes_ = encodedText(text, encoding_);
    std::string_view encoded = bytes_;
    if (!mark_.empty() && encoded.starts_with(mark_) && !text.starts_with(mark_)) encoded.remove_prefix(mark_.size());
    raw(encoded);
  }
  void flushPending() {
    if (pending_.empty()) return;
    std::string text;
    text.swap(pending_);
    encodeAndAppend(text);
    text.clear();
    pending_.swap(text);  // keeps the buffer
  }
  void flushOut() {
    if (out_.empty()) return;
    write(out_);
    out_.clear();
  }
  void write(std::string_view bytes) {
    if (ok_ && !file_.write(bytes, error_)) ok_ = false;
  }

  AtomicFile& file_;
  TextEncoding encoding_;
  std::string* error_;
  std::string_view mark_;
  bool converted_ = false;
  bool ok_ = true;
  std::string out_;
  std::string pending_;
  std::string bytes_;
};

void exportRow(const TableModel& table, int32_t row, bool quoted, TextEncoding encoding, ExportSink& sink,
               std::string& scratch) {
  const bool utf8 = table.rowIsUtf8(row);
  // A row whose bytes are already the output's goes out untouched; ASCII punctuation is the same
  // in UTF-8 and internal text.
  const bool direct = utf8 ? encoding == TextEncoding::Utf8 : charsetName(encoding).empty();
  const bool asInternal = !utf8;  // bytes the sink must encode when not direct
  auto put = [&](std::string_view bytes) {
    if (direct) {
      sink.raw(bytes);
    } else if (asInternal) {
      sink.internal(bytes);
    } else {
      scratch.clear();
      appendUtf8AsInternal(bytes, scratch);
      sink.internal(scratch);
    }
  };
  if (table.rowByteSize(row) < kLargeRow) {
    if (direct) {  // straight into the output buffer
      // Doubled quotes can make a row up to twice as long.
      const size_t bound = 2 * table.rowByteSize(row) + 3 * static_cast<size_t>(table.ColumnCount()) + 2;
      std::string& out = sink.rawBuffer(bound);
      table.appendRowBytes(row, quoted, out);
      out += "\r\n";
      sink.rawDone();
      return;
    }
    scratch.clear();
    table.appendRowBytes(row, quoted, scratch);
    scratch += "\r\n";
    std::string line;
    line.swap(scratch);
    put(line);
    line.swap(scratch);
    return;
  }
  for (int32_t c = 1; c <= table.ColumnCount(); ++c) {
    if (c > 1) put(",");
    const std::string_view cell = table.cellBytes(row, c).bytes;
    if (!exportFieldIsPlain(cell, utf8, quoted)) {
      writeQuotedField(cell, utf8, put);
      continue;
    }
    if (quoted) put("\"");
    put(cell);
    if (quoted) put("\"");
  }
  put("\r\n");
}

}  // namespace

namespace {

// After a sort the rows lie all over the text: a row is asked for this many rows before it is written.
constexpr int32_t kAhead = 16;

// Rows `first` .. `last` (1-based) one by one through the sink.
void exportRows(const TableModel& table, int32_t first, int32_t last, bool quoted, TextEncoding encoding,
                ExportSink& sink, std::string& scratch) {
  for (int32_t r = first; r <= last; ++r) {
    if (r + kAhead <= last) table.prefetchRow(r + kAhead);
    exportRow(table, r, quoted, encoding, sink, scratch);
  }
}

// Rows `first` .. `last` as exportRow writes them, into `out`, when every one is small and already in
// the output's encoding; false (and `out` of no use) when one is not.
bool formatDirectRows(const TableModel& table, int32_t first, int32_t last, bool quoted, TextEncoding encoding,
                      std::string& out) {
  out.clear();
  const bool internalDirect = charsetName(encoding).empty();
  for (int32_t r = first; r <= last; ++r) {
    if (r + kAhead <= last) table.prefetchRow(r + kAhead);
    const bool direct = table.rowIsUtf8(r) ? encoding == TextEncoding::Utf8 : internalDirect;
    if (!direct || table.rowByteSize(r) >= kLargeRow) return false;
    table.appendRowBytes(r, quoted, out);
    out += "\r\n";
  }
  return true;
}

// Rows in blocks of this many: the blocks of odd number are made ready on a second core meanwhile.
constexpr int32_t kBlockRows = 4096;
constexpr int32_t kTwoCoreExport = 16 * kBlockRows;

// All rows, the odd blocks formatted on a second core while this thread writes the even ones and then
// each odd one in its turn (rows that are not simple are left to this thread, in order all the same).
void exportRowsOnTwoCores(const TableModel& table, bool quoted, TextEncoding encoding, ExportSink& sink,
                          std::string& scratch) {
  const int32_t rows = table.RowCount();
  const int32_t blocks = (rows + kBlockRows - 1) / kBlockRows;
  auto firstOf = [](int32_t block) { return block * kBlockRows + 1; };
  auto lastOf = [&](int32_t block) { return std::min(rows, (block + 1) * kBlockRows); };
  std::mutex mutex;
  std::condition_variable changed;
  std::string ready;         // the odd block handed over
  int32_t readyBlock = -1;   // which block `ready` holds; -1 while it is empty
  bool readyFormatted = false;
  runOnTwoCores(
      [&] {
        std::string mine;
        for (int32_t block = 1; block < blocks; block += 2) {
          const bool formatted = formatDirectRows(table, firstOf(block), lastOf(block), quoted, encoding, mine);
          std::unique_lock lock(mutex);
          changed.wait(lock, [&] { return readyBlock < 0; });
          ready.swap(mine);
          readyBlock = block;
          readyFormatted = formatted;
          changed.notify_all();
        }
      },
      [&] {
        std::string taken;
        for (int32_t block = 0; block < blocks; ++block) {
          if (block % 2 == 0) {
            exportRows(table, firstOf(block), lastOf(block), quoted, encoding, sink, scratch);
            continue;
          }
          bool formatted = false;
          {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return readyBlock == block; });
            taken.swap(ready);
            formatted = readyFormatted;
            readyBlock = -1;
          }
          changed.notify_all();
          if (formatted) {
            sink.raw(taken);
          } else {
            exportRows(table, firstOf(block), lastOf(block), quoted, encoding, sink, scratch);
          }
        }
      });
}

}  // namespace

bool ExportCsv(const TableModel& table, std::string_view path, TextEncoding encoding,
               std::string* error) {
  const bool quoted = exportQuotesFields(path);
  AtomicFile file;
  if (!file.open(path, error)) return false;
  ExportSink sink(file, encoding, error);
  std::string scratch;
  table.appendRowText(0, quoted, scratch);
  scratch += "\r\n";
  sink.internal(scratch);
  if (table.RowCount() >= kTwoCoreExport && hasSecondCore()) {
    exportRowsOnTwoCores(table, quoted, encoding, sink, scratch);
  } else {
    exportRows(table, 1, table.RowCount(), quoted, encoding, sink, scratch);
  }
  if (!sink.finish()) return false;
  return file.commit(error);
}

std::string copyText(const TableModel& table) {
  std::string out;
  for (int32_t r = 1; r <= table.RowCount(); ++r) {
    table.appendRowText(r, true, out);
    out += "\r\n";
  }
  return out;
}

}  // namespace chengling
