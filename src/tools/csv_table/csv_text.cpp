#include "tools/csv_table/csv_text.h"

#include <algorithm>
#include <cstring>

#include "foundation/file_system.h"
#include "foundation/internal_text.h"

namespace chengling {

const char* const kCsvHelpText =
    "csv是一种文本表格，能被Excel或wps表格软件兼容显示为多列多行的表格数据。\r\n"
    "比如：\"#评论#\",\"#时间#\",\"#昵称#\"，这种格式就是csv格式，使用引号围住每个项目，多个项目使用"
    "逗号隔开，然后文件扩展名填为csv即可。\r\n\r\n"
    "Excel或wps表格另存为csv文件即可导入本软件进行排序。如果你的csv数据没有表头又需要显示表头的话，"
    "可以在导入时按住Ctrl键。\r\n\r\n"
    "点击表头列即可排序。";
const char* const kCsvHelpCaption = "什么是csv文件";
const char* const kCsvImportIdleCaption = "导入csv文件";
const char* const kCsvImportRunningCaption = "正在导入..";
const char* const kCsvImportStoppingCaption = "停止中..";
const char* const kCsvPasteCaption = "粘贴csv数据";
const char* const kCsvExportCaption = "导出";
const char* const kCsvExportingCaption = "导出中..";
const char* const kCsvCopyCaption = "复制";
const char* const kCsvCopiedCaption = "已复制";
const char* const kCsvHelpButtonCaption = "什么是csv文件？";
const char* const kCsvImportTitle = "可以选择多个文件合并导入：";
const char* const kCsvFileFilter = "csv文件|*.csv|txt文件|*.txt|全部文件|*.*";

std::string csvExportedMessage(std::string_view path) { return "已导出：" + std::string(path); }

std::string csvExportFailedMessage(std::string_view path, std::string_view reason) {
  return "未能导出到 " + std::string(path) + "：" + std::string(reason.empty() ? "无法写入" : reason);
}

std::string csvImportSummary(const CsvImportOutcome& outcome) {
  std::string text = outcome.stopped ? "导入已停止，" : "";
  text += "共导入 " + std::to_string(outcome.rowsAdded) + " 行";
  if (outcome.filesFailed > 0) text += "，" + std::to_string(outcome.filesFailed) + " 个文件未能读取";
  return text;
}

namespace {

constexpr int kNoQuote = -1;

// Rows between two progress reports of an import.
constexpr int64_t kProgressEvery = 4096;

// Export text is built and encoded in pieces of about this size, so the whole text never sits in
// memory next to the table.
constexpr size_t kExportPiece = size_t{4} << 20;

std::string numberedTitle(size_t i) { return "第" + std::to_string(i) + "列"; }

// Lines of `text`: each ends at LF, a CR right before the LF is dropped, the last needs no LF.
template <typename Visit>
void forEachLine(std::string_view text, Visit&& visit) {
  size_t start = 0;
  while (start < text.size()) {
    const void* hit = std::memchr(text.data() + start, '\n', text.size() - start);
    const size_t stop = hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data()) : text.size();
    size_t end = stop;
    if (hit && end > start && text[end - 1] == '\r') --end;
    if (!visit(text.substr(start, end - start))) return;
    start = stop + 1;
  }
}

}  // namespace

void parseCsvFields(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  const size_t n = line.size();
  // Positions are 1-based as in the rules; byteAt(0) reads position 1.
  auto byteAt = [&](size_t p) { return static_cast<unsigned char>(line[p == 0 ? 0 : p - 1]); };
  auto field = [&](size_t start, size_t end) {  // bytes strictly between the two positions
    fields.push_back(line.substr(std::min(start, n), end > start + 1 ? end - start - 1 : 0));
  };
  bool skip = false;
  bool inQuote = false;
  int quote = kNoQuote;
  int lastClose = kNoQuote;
  size_t start = 0;
  for (size_t p = 1; p <= n; ++p) {
    if (skip) {
      skip = false;
      continue;
    }
    const unsigned char b = byteAt(p);
    if (!inQuote) {
      if (b == '"') {
        quote = '"';
      } else if (b == '\'') {
        quote = '\'';
      }
    }
    if (quote != kNoQuote && b == quote) {
      if (!inQuote) {
        inQuote = true;
        start = p;
      } else {
        inQuote = false;
        lastClose = quote;
        quote = kNoQuote;
        field(start, p);
      }
    } else if (quote == kNoQuote && !inQuote && (b == ',' || p == n)) {
      size_t end = p;
      if (p == n && b != ',') end = n + 1;
      if (static_cast<int>(byteAt(start)) == lastClose) {
        start = end;  // the quoted field before this separator is already stored
      } else {
        field(start, end);
        start = p;
      }
    } else if (b == '\\') {
      skip = true;
    }
  }
}

std::vector<std::string> ParseCsvLine(std::string_view line) {
  std::vector<std::string_view> views;
  parseCsvFields(line, views);
  return {views.begin(), views.end()};
}

int64_t importCsvSource(std::string_view text, bool numberedTitles, TableModel& table,
                        RunContext& ctx, bool& stopped) {
  bool headerKnown = table.ColumnCount() >= 1;
  bool firstExamined = false;
  int64_t added = 0;
  const int64_t lines = static_cast<int64_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  table.reserveRows(table.rows().size() + static_cast<size_t>(lines));
  std::vector<std::string_view> fields;
  forEachLine(text, [&](std::string_view line) {
    parseCsvFields(line, fields);
    if (!headerKnown && fields.empty()) {
      // A line without fields cannot make a header: leading empty lines would otherwise leave a
      // table of no columns that drops every following row.
      return !(stopped = ctx.checkpoint());
    }
    if (numberedTitles && !headerKnown) {
      for (size_t i = 1; i <= fields.size(); ++i) table.AddColumn(numberedTitle(i));
      headerKnown = true;
    } else if (!headerKnown) {
      for (std::string_view title : fields) table.AddColumn(title);
      headerKnown = true;
      firstExamined = true;
      return !(stopped = ctx.checkpoint());
    }
    const bool repeatedHeader =
        !firstExamined && !fields.empty() && fields.front() == table.GetColumnTitle(1);
    firstExamined = true;
    if (!repeatedHeader) {
      table.AddRow(TableRow(fields, table.ColumnCount()));  // fitted to the columns
      ++added;
      if (added % kProgressEvery == 0) {
        ctx.progress(static_cast<int64_t>(line.data() - text.data()), static_cast<int64_t>(text.size()));
      }
    }
    return !(stopped = ctx.checkpoint());
  });
  return added;
}

CsvImportOutcome ImportCsvFiles(const CsvImportOptions& options, TableModel& table, RunContext& ctx) {
  CsvImportOutcome outcome;
  if (options.paths.empty() || options.paths.front().empty()) return outcome;
  table.ClearRows();
  table.ClearColumns();
  bool encodingKnown = false;
  for (const std::string& path : options.paths) {
    if (path.empty()) continue;
    ctx.status(path);
    TextEncoding used = TextEncoding::Detect;
    std::string text = DecodeText(path, TextEncoding::Detect, {}, {}, used);
    if (used == TextEncoding::Detect) {
      std::string ignored, reason;
      if (!readWholeFile(path, ignored, &reason)) {
        ++outcome.filesFailed;
        ctx.failure(path, reason.empty() ? "无法读取" : reason);
        if (ctx.checkpoint()) {
          outcome.stopped = true;
          break;
        }
        continue;
      }
    }
    if (!encodingKnown && used != TextEncoding::Detect) {
      outcome.encoding = used;
      encodingKnown = true;
    }
    outcome.rowsAdded += importCsvSource(text, options.numberedTitles, table, ctx, outcome.stopped);
    if (outcome.stopped) break;
  }
  return outcome;
}

CsvImportOutcome ImportCsvText(std::string_view text, bool numberedTitles, TableModel& table,
                               RunContext& ctx) {
  CsvImportOutcome outcome;
  table.ClearRows();
  table.ClearColumns();
  outcome.rowsAdded = importCsvSource(cutAtNul(text), numberedTitles, table, ctx, outcome.stopped);
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

bool ExportCsv(const TableModel& table, std::string_view path, TextEncoding encoding,
               std::string* error) {
  const bool quoted = exportQuotesFields(path);
  AtomicFile file;
  if (!file.open(path, error)) return false;
  std::string piece;
  std::string bytes;
  // EncodeText puts a mark in front of every piece it converts; it belongs at the start only.
  std::string_view mark;
  if (encoding == TextEncoding::Utf8) mark = "\xEF\xBB\xBF";
  if (encoding == TextEncoding::Utf16Le) mark = "\xFF\xFE";
  if (encoding == TextEncoding::Utf16Be) mark = "\xFE\xFF";
  bool first = true;
  auto writePiece = [&]() {
    EncodeText({}, piece, encoding, bytes);
    if (!first && !mark.empty() && std::string_view(bytes).starts_with(mark) &&
        !std::string_view(piece).starts_with(mark)) {
      bytes.erase(0, mark.size());
    }
    first = false;
    piece.clear();
    return file.write(bytes, error);
  };
  for (int32_t r = 0; r <= table.RowCount(); ++r) {
    table.appendRowText(r, quoted, piece);
    piece += "\r\n";
    if (piece.size() >= kExportPiece && !writePiece()) return false;
  }
  if (!piece.empty() && !writePiece()) return false;
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
