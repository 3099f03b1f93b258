#include "tools/csv_table/csv_export.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "foundation/file_streams.h"
#include "foundation/gb18030_table.h"
#include "foundation/internal_text.h"
#include "foundation/two_cores.h"
#include "foundation/utf8_internal.h"
#include "tools/csv_table/csv_record.h"

namespace chengling {

std::string csvExportedMessage(std::string_view path) { return "已导出：" + std::string(path); }

std::string csvExportFailedMessage(std::string_view path, std::string_view reason) {
  return "未能导出到 " + std::string(path) + "：" + std::string(reason.empty() ? "无法写入" : reason);
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

// Export text is built and encoded in pieces of about this size, so the whole text never sits in
// memory next to the table.
constexpr size_t kExportPiece = size_t{4} << 20;

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
               std::string* error, FileSystem& fs) {
  const bool quoted = exportQuotesFields(path);
  AtomicFile file(fs);
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
