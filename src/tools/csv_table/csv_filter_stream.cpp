#include "tools/csv_table/csv_filter_stream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/encoding_detection.h"
#include "foundation/file_streams.h"
#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/two_cores.h"
#include "foundation/utf8_internal.h"
#include "tools/csv_table/csv_record.h"
#include "tools/csv_table/csv_text.h"

namespace chengling {

namespace {

// Records between two looks at the stop request.
constexpr int64_t kCheckEvery = 4096;

// From this many bytes of records on, a piece is read on two cores.
constexpr size_t kTwoCoreBytes = size_t{1} << 20;

// Output is written once it holds this much.
constexpr size_t kWriteBytes = size_t{4} << 20;

// How a file reads, as the import decides it from its first bytes; the rest of the file must bear
// the decision out (checked on the way, by Verdict), or the run is left to the table.
enum class Reading { Ansi, Utf8 };

// The import's checks of a whole file, made on the records as they are read: each check is one of
// every character, or one that any part of the file settles, so it is made on runs of whole lines
// apart (on two threads at once) and made again without harm on a line read twice. A declaration
// in a meta tag is not looked for as the import does: any "<meta" at all leaves the run to the table.
struct Verdict {
  Reading reading = Reading::Ansi;
  bool meta = false;
  bool utf8Failed = false;  // some bytes are no UTF-8 (or a four-byte form)
  bool utf8High = false;    // some line of UTF-8 has a high byte
  bool utf8Fits = true;     // every character is UTF-8 that internal text holds

  // `text`: whole lines, the last one without its line break only when `last` (at the file's end).
  // A mark is left out.
  void see(std::string_view text, bool last) {
    if (text.empty()) return;
    for (size_t x = text.find('<'); x != std::string_view::npos && !meta; x = text.find('<', x + 1)) {
      meta = text.size() - x >= 5 && asciiLower(text.substr(x + 1, 4)) == "meta";
    }
    if (reading == Reading::Ansi) {
      if (utf8Failed) return;  // settled
      Utf8Scan scan;
      scan.feed(text);
      utf8Failed = scan.failed();
      utf8High = utf8High || scan.result();
      return;
    }
    if (utf8Fits && !utf8PlainlyFitsInternal(text)) utf8Fits = closerLook(text, last);
  }

  void merge(const Verdict& other) {
    meta = meta || other.meta;
    utf8Failed = utf8Failed || other.utf8Failed;
    utf8High = utf8High || other.utf8High;
    utf8Fits = utf8Fits && other.utf8Fits;
  }

  // False once the bytes seen so far rule out the reading for the whole file.
  bool holds() const { return !meta && (reading == Reading::Ansi || utf8Fits); }

  // Once every byte is seen: true when the reading is the import's. (A UTF-8 reading was taken only
  // for a mark or a first piece with a high byte.)
  bool confirms() const { return holds() && (reading == Reading::Utf8 || utf8Failed || !utf8High); }

 private:
  // A text that the quick check does not pass: what LooksLikeUtf8 (but for the high byte, which the
  // first piece had) and utf8FitsInternal say of it. Four-byte forms fail, even after a mark, where
  // the import would take them: that file goes through the table.
  static bool closerLook(std::string_view text, bool last) {
    Utf8Scan scan;
    scan.feed(text);
    if (scan.failed()) return false;
    if (last && hasHighByte(text) && !scan.result()) return false;  // a character cut off at the end
    return utf8FitsInternal(text);
  }
};

// The whole lines of text[from, size): up to its last line break, or all of it at the file's end.
std::string_view wholeLines(const char* text, size_t from, size_t size, bool fileEnd) {
  if (fileEnd || from >= size) return {text + from, size - from};
  const void* lf = memrchr(text + from, '\n', size - from);
  const size_t end = lf == nullptr ? from : static_cast<size_t>(static_cast<const char*>(lf) - text) + 1;
  return {text + from, end - from};
}

// One run of whole records of a piece, read on one thread.
struct Span {
  Verdict verdict;
  char* text = nullptr;
  size_t from = 0;
  size_t size = 0;       // where the text ends for the reader
  bool fileEnd = false;  // the text's end is the file's
  // Results: where reading stopped (size when at the end), and whether it stopped at a record
  // that needs the bytes after `size` to be read right.
  size_t done = 0;
  bool blocked = false;
  bool stopped = false;
  int64_t rows = 0;
  int64_t kept = 0;
  int64_t unclosed = 0;
  std::string out;
};

// True when the record at [start, end) of `text` (of `size` bytes) may read otherwise once the
// bytes after `size` are known: it runs to the text's end without its line break, or a quote in
// it was never closed and a double quote is among its bytes (a double quote may close any
// distance further on; an apostrophe closes on its line or not at all).
bool needsMore(const char* text, size_t size, size_t start, const CsvRecordEnd& end) {
  if (end.next >= size && (size == 0 || text[size - 1] != '\n')) return true;
  return end.unclosedQuote && std::memchr(text + start, '"', end.next - start) != nullptr;
}

// The state of the run that every span reads.
struct Filtering {
  const RowFilter* filter = nullptr;
  int32_t columns = 0;
  bool utf8 = false;
  bool quoted = false;
};

// The filter's tests, one set for each thread (a test keeps scratch space).
class RowTest {
 public:
  explicit RowTest(const Filtering& run) : run_(run), any_(run.filter->join == FilterJoin::Any) {
    tests_.reserve(run.filter->conditions.size());
    for (const FilterCondition& condition : run.filter->conditions) tests_.emplace_back(condition);
  }

  // Whether the row of these fields passes, its cells read as the table holds them.
  bool keeps(const std::vector<std::string_view>& fields) const {
    for (const CellTest& test : tests_) {
      const size_t index = static_cast<size_t>(test.column() - 1);
      const bool passes = test.passes({index < fields.size() ? fields[index] : std::string_view(), run_.utf8});
      if (any_ ? passes : !passes) return any_;
    }
    return !any_ || tests_.empty();
  }

  // The row as the export writes it: cut or padded to the columns, then CR LF.
  void append(const std::vector<std::string_view>& fields, std::string& out) const {
    for (int32_t c = 0; c < run_.columns; ++c) {
      if (c > 0) out += ',';
      const size_t index = static_cast<size_t>(c);
      appendExportField(index < fields.size() ? fields[index] : std::string_view(), run_.utf8, run_.quoted, out);
    }
    out += "\r\n";
  }

 private:
  const Filtering& run_;
  bool any_;
  std::vector<CellTest> tests_;
};

// Reads the records of `span`, writing those that pass to span.out. `report` only for the thread
// that owns `ctx`.
void readSpan(const Filtering& run, Span& span, RunContext& ctx, bool report) {
  const RowTest test(run);
  std::vector<std::string_view> fields;
  fields.reserve(static_cast<size_t>(run.columns) + 1);
  size_t pos = span.from;
  // Before the reader rewrites any field in place.
  span.verdict.see(wholeLines(span.text, pos, span.size, span.fileEnd), span.fileEnd);
  while (pos < span.size) {
    if (span.rows % kCheckEvery == 0 && (report ? ctx.checkpoint() : ctx.stopRequested())) {
      span.stopped = true;
      break;
    }
    const CsvRecordEnd end = readCsvRecord(span.text, span.size, pos, run.utf8, fields);
    if (!span.fileEnd && needsMore(span.text, span.size, pos, end)) {
      span.blocked = true;
      break;
    }
    ++span.rows;
    if (end.unclosedQuote) ++span.unclosed;
    pos = end.next;
    if (test.keeps(fields)) {
      ++span.kept;
      test.append(fields, span.out);
    }
  }
  span.done = pos;
}

// The internal text of a field.
std::string internalField(std::string_view field, bool utf8) {
  if (!utf8) return std::string(field);
  std::string out;
  appendUtf8AsInternal(field, out);
  return out;
}

// The titles line as ExportCsv writes it: internal text, encoded to the output's encoding without
// a mark of its own.
std::string titlesLine(const TableModel& titles, bool quoted, TextEncoding encoding) {
  std::string line;
  titles.appendRowText(0, quoted, line);
  line += "\r\n";
  if (charsetName(encoding).empty()) return line;
  std::string bytes = encodedText(line, encoding);
  const std::string_view mark = byteOrderMark(encoding);
  if (!mark.empty() && std::string_view(bytes).starts_with(mark) && !std::string_view(line).starts_with(mark)) {
    bytes.erase(0, mark.size());
  }
  return bytes;
}

class StreamRun {
 public:
  StreamRun(const CsvStreamFilter& run, RunContext& ctx) : run_(run), ctx_(ctx) {}

  CsvStreamOutcome go() {
    CsvStreamOutcome outcome;
    outcome.result = read(outcome);
    if (outcome.result != CsvStreamResult::Written) {
      file_.abort();
      outcome.rowsRead = outcome.rowsKept = outcome.unclosedQuoteLines = 0;
      return outcome;
    }
    if (outcome.unclosedQuoteLines > 0) ctx_.warning(run_.input, csvUnclosedQuoteNote(outcome.unclosedQuoteLines));
    return outcome;
  }

 private:
  CsvStreamResult read(CsvStreamOutcome& outcome) {
    if (run_.input.empty() || run_.output.empty() || !run_.conditions) return CsvStreamResult::NotStreamed;
    const FileIdentity target = fileIdentity(run_.output);
    // A pipe or a device would get what a later fall-back to the table writes once more.
    if (target.exists && !target.regular) return CsvStreamResult::NotStreamed;
    if (regularFileSize(run_.input) < 0 || !reader_.open(run_.input)) return CsvStreamResult::NotStreamed;
    fileSize_ = std::max<int64_t>(reader_.size(), 0);
    ctx_.status(run_.input);
    size_t start = 0;  // past a mark
    if (!decide(start)) return CsvStreamResult::NotStreamed;
    outcome.encoding = reading_ == Reading::Utf8 ? TextEncoding::Utf8 : TextEncoding::Ansi;
    verdict_.reading = reading_;

    const size_t readSize = readSize_ = std::max<size_t>(run_.readSize, 16);
    size_t want = readSize;
    int64_t offset = 0;  // of the piece in the file
    while (true) {
      size_t got = 0;
      bool final = false;
      if (ahead_.offset == offset && want == readSize) {
        // Read while the last piece was parsed.
        std::swap(buffer_, ahead_.buffer);
        got = ahead_.got;
        final = ahead_.final;
      } else if (!fill(reader_, buffer_, offset, want, got, final)) {
        return CsvStreamResult::NotStreamed;
      }
      ahead_.offset = -1;
      char* text = buffer_.data.get();

      size_t done = offset == 0 ? start : 0;
      bool blocked = false;
      if (!titlesKnown_ && !readTitles(text, got, final, done, blocked, outcome)) {
        return stopped_ ? CsvStreamResult::Stopped : CsvStreamResult::NotStreamed;
      }
      if (titlesKnown_ && !blocked && done < got) {
        const CsvStreamResult r = readRows(text, got, final, offset, done, blocked, outcome);
        if (r != CsvStreamResult::Written) return r;
      }
      if (!verdict_.holds()) return CsvStreamResult::NotStreamed;
      ctx_.progress(offset + static_cast<int64_t>(done), fileSize_);
      if (final && !blocked) break;
      // What stopped short is read again from the file, in a larger piece when nothing moved.
      want = done == 0 ? 2 * want : readSize;
      offset += static_cast<int64_t>(done);
    }
    if (!titlesKnown_) return CsvStreamResult::NotStreamed;  // no column to test
    if (!verdict_.confirms()) return CsvStreamResult::NotStreamed;
    if (!flush(true)) return CsvStreamResult::NotStreamed;
    if (!file_.commit()) return CsvStreamResult::NotStreamed;
    return CsvStreamResult::Written;
  }

  struct Buffer {
    std::unique_ptr<char[]> data;
    size_t capacity = 0;
  };

  // Reads up to `want` bytes from `offset` into `buffer`; `final` when the file ends there.
  static bool fill(FileReader& reader, Buffer& buffer, int64_t offset, size_t want, size_t& got, bool& final) {
    if (want > buffer.capacity) {
      buffer.data = std::make_unique_for_overwrite<char[]>(want);
      buffer.capacity = want;
    }
    if (!reader.seek(offset)) return false;
    got = 0;
    while (got < want) {
      const int64_t n = reader.read(buffer.data.get() + got, want - got);
      if (n < 0) return false;
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    final = got < want;
    return true;
  }

  // On the helper, once its span is read: the next piece, which starts where that span stopped unless
  // the first span stops short (then it goes unused).
  void readAhead(int64_t at) {
    ahead_.offset = -1;
    if (!ahead_.opened) ahead_.opened = ahead_.reader.open(run_.input);
    if (!ahead_.opened || !fill(ahead_.reader, ahead_.buffer, at, readSize_, ahead_.got, ahead_.final)) return;
    ahead_.offset = at;
  }

  // The reading of the file from its first bytes, as the import's detection takes it; false for
  // anything this way does not read (gzip, UTF-16, BIG5, a mark without text).
  bool decide(size_t& start) {
    std::string head;
    if (!reader_.seek(0)) return false;
    while (head.size() < kGuessPrefix + kGuessWindow) {
      const int64_t n = reader_.read(head, kGuessPrefix + kGuessWindow - head.size());
      if (n < 0) return false;
      if (n == 0) break;
    }
    const std::string_view view = head;
    const std::string_view utf8Mark = byteOrderMark(TextEncoding::Utf8);
    if (view.starts_with("\x1F\x8B") || view.starts_with(byteOrderMark(TextEncoding::Utf16Le)) ||
        view.starts_with(byteOrderMark(TextEncoding::Utf16Be))) {
      return false;
    }
    if (view.starts_with(utf8Mark)) {
      start = utf8Mark.size();
      reading_ = Reading::Utf8;
      return view.size() > start;
    }
    if (guessedEncoding(view, static_cast<size_t>(fileSize_)) != TextEncoding::Ansi) return false;
    // Up to the last line break of a head that is not the whole file: no character is cut there.
    const size_t lf = view.size() < static_cast<size_t>(fileSize_) ? view.rfind('\n') : std::string_view::npos;
    Utf8Scan scan;
    scan.feed(lf == std::string_view::npos ? view : view.substr(0, lf + 1));
    reading_ = scan.result() ? Reading::Utf8 : Reading::Ansi;
    return true;
  }

  // The records before the titles, the titles, and (numbered titles) the first row. False when the
  // run cannot go on here.
  bool readTitles(char* text, size_t size, bool final, size_t& pos, bool& blocked, CsvStreamOutcome& outcome) {
    const bool utf8 = reading_ == Reading::Utf8;
    std::vector<std::string_view> fields;
    while (pos < size) {
      // Where the record ends is found first: its bytes are checked before the reader rewrites them.
      const CsvRecordEnd bounds = skipCsvRecord(text, size, pos, utf8);
      if (!final && needsMore(text, size, pos, bounds)) {
        blocked = true;
        return true;
      }
      verdict_.see({text + pos, bounds.next - pos}, final && bounds.next >= size);
      const CsvRecordEnd end = readCsvRecord(text, size, pos, utf8, fields);
      pos = end.next;
      if (end.unclosedQuote) ++outcome.unclosedQuoteLines;
      if (fields.empty()) {
        // A record without fields makes no titles and no row.
        if ((stopped_ = ctx_.checkpoint())) return false;
        continue;
      }
      if (run_.numberedTitles) {
        for (size_t i = 1; i <= fields.size(); ++i) titles_.AddColumn("第" + std::to_string(i) + "列");
      } else {
        for (std::string_view title : fields) titles_.AddColumn(internalField(title, utf8));
      }
      titlesKnown_ = true;
      if (!begin()) return false;
      // Under numbered titles the record is the first row, unless it is a copy of the titles.
      if (run_.numberedTitles && internalField(fields.front(), utf8) != titles_.GetColumnTitle(1)) {
        ++outcome.rowsRead;
        const RowTest test(filtering_);
        if (test.keeps(fields)) {
          ++outcome.rowsKept;
          test.append(fields, out_);
        }
      }
      return !(stopped_ = ctx_.checkpoint());
    }
    return true;
  }

  // The filter and the output, once the titles are known.
  bool begin() {
    if (!run_.conditions(titles_, filter_)) return false;
    for (const FilterCondition& condition : filter_.conditions) {
      if (condition.column < 1 || condition.column > titles_.ColumnCount()) return false;
    }
    filtering_.filter = &filter_;
    filtering_.columns = titles_.ColumnCount();
    filtering_.utf8 = reading_ == Reading::Utf8;
    filtering_.quoted = exportQuotesFields(run_.output);
    const TextEncoding encoding = filtering_.utf8 ? TextEncoding::Utf8 : TextEncoding::Ansi;
    if (!file_.open(run_.output)) return false;
    out_.reserve(kWriteBytes + (size_t{1} << 20));
    out_.assign(byteOrderMark(encoding));
    out_ += titlesLine(titles_, filtering_.quoted, encoding);
    return true;
  }

  // The rows of the piece from `pos`: split in two at a sure record start when it is large.
  // `offset`: the piece's in the file.
  CsvStreamResult readRows(char* text, size_t size, bool final, int64_t offset, size_t& pos, bool& blocked,
                           CsvStreamOutcome& outcome) {
    const bool utf8 = filtering_.utf8;
    size_t cut = size;
    if (size - pos >= kTwoCoreBytes && hasSecondCore()) {
      // The helper also reads the next piece: it parses a little less.
      const size_t middle = pos + (size - pos) * 11 / 20;
      const void* lf = std::memchr(text + middle, '\n', size - middle);
      if (lf != nullptr) cut = csvRecordStartAfter(text, size, static_cast<size_t>(static_cast<const char*>(lf) - text) + 1, utf8);
    }
    Span head;
    head.text = text;
    head.from = pos;
    head.size = cut;
    head.fileEnd = final && cut == size;
    head.verdict = verdict_;
    head.out.swap(out_);
    if (cut == size) {
      readSpan(filtering_, head, ctx_, true);
    } else {
      second_.text = text;
      second_.from = cut;
      second_.size = size;
      second_.fileEnd = final;
      second_.verdict = verdict_;
      second_.out.clear();
      second_.rows = second_.kept = second_.unclosed = 0;
      second_.blocked = second_.stopped = false;
      runOnTwoCores(
          [&] {
            readSpan(filtering_, second_, ctx_, false);
            if (!final && !second_.stopped && second_.done > second_.from) {
              readAhead(offset + static_cast<int64_t>(second_.done));
            }
          },
          [&] { readSpan(filtering_, head, ctx_, true); });
    }
    head.out.swap(out_);
    verdict_.merge(head.verdict);
    if (cut < size) verdict_.merge(second_.verdict);  // lines of the file all the same, even when read again
    outcome.rowsRead += head.rows;
    outcome.rowsKept += head.kept;
    outcome.unclosedQuoteLines += head.unclosed;
    pos = head.done;
    blocked = head.blocked;
    if (head.stopped || (cut < size && second_.stopped && !head.blocked)) return CsvStreamResult::Stopped;
    if (cut < size && !head.blocked) {
      // The second span's rows follow in their own write, not copied behind the first's.
      if (!flush(true) || !write(second_.out)) return CsvStreamResult::NotStreamed;
      outcome.rowsRead += second_.rows;
      outcome.rowsKept += second_.kept;
      outcome.unclosedQuoteLines += second_.unclosed;
      pos = second_.done;
      blocked = second_.blocked;
    }
    if (!flush(false)) return CsvStreamResult::NotStreamed;
    return CsvStreamResult::Written;
  }

  bool write(std::string_view bytes) { return bytes.empty() || file_.writeNow(bytes); }

  bool flush(bool all) {
    if (out_.empty() || (!all && out_.size() < kWriteBytes)) return true;
    if (!write(out_)) return false;
    out_.clear();
    return true;
  }

  const CsvStreamFilter& run_;
  RunContext& ctx_;
  FileReader reader_;
  AtomicFile file_;
  int64_t fileSize_ = 0;
  Buffer buffer_;
  size_t readSize_ = 0;
  struct {
    FileReader reader;  // its own position
    bool opened = false;
    Buffer buffer;
    int64_t offset = -1;  // of the piece read ahead; -1 for none
    size_t got = 0;
    bool final = false;
  } ahead_;
  Verdict verdict_;
  Reading reading_ = Reading::Ansi;
  bool titlesKnown_ = false;
  bool stopped_ = false;
  TableModel titles_;
  RowFilter filter_;
  Filtering filtering_;
  std::string out_;
  Span second_;
};

}  // namespace

CsvStreamOutcome filterCsvStream(const CsvStreamFilter& run, RunContext& ctx) {
  return StreamRun(run, ctx).go();
}

}  // namespace chengling
