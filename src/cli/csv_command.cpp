// chengling-cli csv: imports one or more CSV files under one header, optionally sorts the rows by a
// column in one of the seven orders and keeps those that pass --where conditions, and writes the
// table to a file (in the first file's encoding) or to standard output (in the terminal's encoding,
// every field quoted). With --find it writes no table but the cells that hold a text.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "foundation/internal_text.h"
#include "tools/csv_table/csv_filter_stream.h"
#include "tools/csv_table/csv_text.h"
#include "tools/csv_table/table_filter.h"
#include "tools/csv_table/table_sort.h"

namespace chengling::cli {
namespace {

struct CsvArguments {
  std::vector<std::string> files;
  bool noHeader = false;
  std::string sortColumn;
  std::string order;
  bool ascending = false;
  bool descending = false;
  std::string output;
  std::vector<std::string> where;
  bool any = false;
  std::string find;
  bool findGiven = false;
};

// The order names of the command line, in menu order.
constexpr const char* kOrderNames[kSortOrderCount] = {"length", "chars", "codes", "pinyin",
                                                      "number", "digits", "datetime"};

// A 1-based column number, else the first column with that title; 0 when neither.
int32_t findColumn(const TableModel& table, const std::string& wanted) {
  bool digitsOnly = !wanted.empty() && wanted.size() <= 9;
  for (char c : wanted) digitsOnly = digitsOnly && c >= '0' && c <= '9';
  if (digitsOnly) {
    const int32_t number = std::stoi(wanted);
    if (number >= 1 && number <= table.ColumnCount()) return number;
  }
  for (int32_t c = 1; c <= table.ColumnCount(); ++c) {
    if (table.GetColumnTitle(c) == wanted) return c;
  }
  return 0;
}

// A --where condition as typed: "COL OP VALUE", OP a word or symbol standing alone between spaces.
// COL is everything before the first such word (a title may hold spaces), VALUE everything after
// the space that follows it (it may hold spaces too, or be empty).
struct WhereParts {
  std::string column;
  FilterTest test = FilterTest::Contains;
  std::string value;
};

bool parseWhere(const std::string& text, WhereParts& parts) {
  auto operatorAt = [](std::string_view word, FilterTest& test) {
    for (int i = 0; i < kFilterTestCount; ++i) {
      if (word == kFilterTestNames[i] || (i < 6 && word == kFilterTestSymbols[i])) {
        test = static_cast<FilterTest>(i);
        return true;
      }
    }
    return false;
  };
  size_t start = 0;
  while (start < text.size()) {
    while (start < text.size() && text[start] == ' ') ++start;
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    FilterTest test;
    if (start > 0 && end > start && operatorAt(std::string_view(text).substr(start, end - start), test)) {
      std::string column = text.substr(0, start);
      while (!column.empty() && column.back() == ' ') column.pop_back();
      if (column.empty()) return false;
      parts.column = column;
      parts.test = test;
      parts.value = end < text.size() ? text.substr(end + 1) : std::string();
      // 为空 and 不为空 take no value.
      return filterTestTakesValue(test) || parts.value.find_first_not_of(' ') == std::string::npos;
    }
    start = end;
  }
  return false;
}

// The --where conditions as a filter of `table`'s columns; false when one names no column.
bool whereFilter(const TableModel& table, const std::vector<WhereParts>& wheres, bool any, RowFilter& filter) {
  filter.join = any ? FilterJoin::Any : FilterJoin::All;
  filter.conditions.clear();
  for (const WhereParts& parts : wheres) {
    const int32_t column = findColumn(table, parts.column);
    if (column == 0) return false;
    filter.conditions.push_back({column, parts.test, parts.value});
  }
  return true;
}

// A filter without a sort from one file into another goes record by record, with no table between:
// the same bytes out, in a fraction of the time and memory. Nothing else does, and whatever the
// streamed run cannot settle itself it leaves to the table (NotStreamed), which then reports it.
bool streamable(const CsvArguments& args, int order) {
  return !args.where.empty() && order < 0 && !args.findGiven && !args.output.empty() && args.files.size() == 1;
}

// A cell on one line of --find output: a tab, a line break and a backslash written as \t, \n, \r and \\.
std::string oneLine(std::string_view cell) {
  std::string out;
  for (char c : cell) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

// ROW<TAB>COLUMN<TAB>CELL for every match, row 0 for the titles.
void printMatches(const TableModel& table, const std::vector<CellMatch>& matches) {
  std::string piece;
  for (size_t i = 0; i < matches.size(); ++i) {
    const CellMatch& m = matches[i];
    const std::string cell = m.row == 0 ? table.GetColumnTitle(m.column) : table.GetCell(m.row, m.column);
    piece += std::to_string(m.row) + '\t' + std::to_string(m.column) + '\t' + oneLine(cell) + '\n';
    if (piece.size() >= (size_t{1} << 20) || i + 1 == matches.size()) {
      writeOutput(toTerminal(piece));
      piece.clear();
    }
  }
}

// Every row quoted, lines ending in LF, in the terminal's encoding; written in pieces.
void printTable(const TableModel& table) {
  std::string piece;
  for (int32_t r = 0; r <= table.RowCount(); ++r) {
    table.appendRowText(r, true, piece);
    piece += '\n';
    if (piece.size() >= (size_t{1} << 20) || r == table.RowCount()) {
      writeOutput(toTerminal(piece));
      piece.clear();
    }
  }
}

int runCsv(const CsvArguments& args, FileSystem& fs) {
  int order = -1;
  if (!args.sortColumn.empty()) {
    for (int i = 0; i < kSortOrderCount; ++i) {
      if (args.order == kOrderNames[i]) order = i;
    }
    if (order < 0) {
      printError("未知的排序方式：" + fromArgument(args.order));
      return kExitUsage;
    }
  }

  TerminalRunContext ctx(ProgressUnit::Bytes);  // the import counts bytes of text
  ctx.useFileSystem(fs);
  CsvImportOptions options;
  for (const std::string& file : args.files) options.paths.push_back(fromArgument(file));
  options.numberedTitles = args.noHeader;

  std::vector<WhereParts> wheres;
  bool wheresRead = true;
  for (const std::string& where : args.where) {
    WhereParts parts;
    wheresRead = wheresRead && parseWhere(fromArgument(where), parts);
    wheres.push_back(parts);
  }
  if (wheresRead && streamable(args, order)) {
    CsvStreamFilter run;
    run.input = options.paths.front();
    run.output = fromArgument(args.output);
    run.numberedTitles = args.noHeader;
    run.conditions = [&](const TableModel& titles, RowFilter& filter) {
      return whereFilter(titles, wheres, args.any, filter);
    };
    const CsvStreamOutcome streamed = filterCsvStream(run, ctx);
    if (streamed.result == CsvStreamResult::Stopped) {
      printError("导入已停止，未写出任何内容");
      return kExitSomeFailed;
    }
    if (streamed.result == CsvStreamResult::Written) return ctx.failureCount() > 0 ? kExitSomeFailed : kExitOk;
  }
  TableModel table;
  const CsvImportOutcome outcome = ImportCsvFiles(options, table, ctx);
  if (outcome.stopped) {
    printError("导入已停止，未写出任何内容");
    return kExitSomeFailed;
  }
  // Nothing imported must not replace an existing output with an empty table.
  if (outcome.filesFailed == static_cast<int64_t>(options.paths.size())) {
    printError("没有能导入的文件，未写出任何内容");
    return kExitSomeFailed;
  }

  if (order >= 0) {
    const int32_t column = findColumn(table, fromArgument(args.sortColumn));
    if (column == 0) {
      printError("没有这一列：" + fromArgument(args.sortColumn));
      return kExitUsage;
    }
    const SortDirection direction = args.ascending ? SortDirection::Ascending : SortDirection::Descending;
    SortRows(table, column, direction, static_cast<SortOrder>(order));
  }

  if (!args.where.empty()) {
    RowFilter filter;
    filter.join = args.any ? FilterJoin::Any : FilterJoin::All;
    for (const std::string& where : args.where) {
      WhereParts parts;
      if (!parseWhere(fromArgument(where), parts)) {
        printError("看不懂的条件：" + fromArgument(where) + "（应为“列 比较 值”，如 “3 > 500”、“名称 包含 张”、“备注 为空”）");
        return kExitUsage;
      }
      const int32_t column = findColumn(table, parts.column);
      if (column == 0) {
        printError("没有这一列：" + parts.column);
        return kExitUsage;
      }
      filter.conditions.push_back({column, parts.test, parts.value});
    }
    std::vector<int32_t> kept;
    if (!filterRows(table, filter, kept, ctx)) {
      printError("筛选已停止，未写出任何内容");
      return kExitSomeFailed;
    }
    table.showRows(std::move(kept));
  }

  if (args.findGiven) {
    std::vector<CellMatch> matches;
    if (!findCells(table, {fromArgument(args.find), true}, matches, ctx)) {
      printError("查找已停止");
      return kExitSomeFailed;
    }
    ctx.clearLine();
    printMatches(table, matches);
    return ctx.failureCount() > 0 || outcome.filesFailed > 0 ? kExitSomeFailed : kExitOk;
  }

  if (args.output.empty()) {
    printTable(table);
  } else {
    const std::string path = fromArgument(args.output);
    std::string error;
    if (!ExportCsv(table, path, outcome.encoding, &error, ctx.fileSystem())) {
      printError("无法写入 " + path + "：" + error);
      return kExitSomeFailed;
    }
  }
  return ctx.failureCount() > 0 || outcome.filesFailed > 0 ? kExitSomeFailed : kExitOk;
}

}  // namespace

Command addCsvCommand(CLI::App& parent, FileSystem& fs) {
  auto args = std::make_shared<CsvArguments>();
  Command command;
  command.app = parent.add_subcommand("csv", toTerminal("导入、排序并导出 CSV 表格"));
  CLI::App& app = *command.app;
  app.add_flag("--no-header", args->noHeader,
               toTerminal("第一行也是数据：列名为“第1列”、“第2列”……（窗口中按住 Ctrl 导入）"));
  CLI::Option* sort = app.add_option("--sort", args->sortColumn, toTerminal("按这一列排序：从 1 起的列号或列名"));
  CLI::Option* order =
      app.add_option("--order", args->order,
                     toTerminal("排序方式：length 文本长度，chars 字符数，codes 字符编码，pinyin 拼音，"
                                "number 数值，digits 连接的数字，datetime 日期时间"));
  choices(order, {"length", "chars", "codes", "pinyin", "number", "digits", "datetime"});
  sort->needs(order);
  order->needs(sort);
  CLI::Option* asc = app.add_flag("--asc", args->ascending, toTerminal("升序"));
  CLI::Option* desc = app.add_flag("--desc", args->descending, toTerminal("降序（默认，与窗口的第一次排序相同）"));
  asc->excludes(desc);
  asc->needs(sort);
  desc->needs(sort);
  CLI::Option* where = app.add_option("--where", args->where,
                 toTerminal("只保留符合条件的行，可写多次：“列 比较 值”，列为从 1 起的列号或列名；比较为 = != > < ~（包含）!~（不包含）"
                            "或 等于 不等于 大于 小于 包含 不包含 为空 不为空（后两个不带值）；大于、小于按数值排序的规则比数值"))
      ->allow_extra_args(false);
  CLI::Option* any = app.add_flag("--any", args->any, toTerminal("几个 --where 满足其一即保留（或者）；默认须全部满足（并且）"));
  any->needs(where);
  CLI::Option* find = app.add_option("--find", args->find,
                 toTerminal("不写表格，只列出含有这段文字的格子：每处一行“行号<Tab>列号<Tab>内容”，表头为第 0 行，区分大小写"));
  CLI::Option* output = app.add_option("-o,--output", args->output,
                 toTerminal("写入这个文件（以 .csv 结尾时每项加引号），编码同第一个导入的文件；默认写到标准输出"));
  find->excludes(output);
  app.add_option(toTerminal("文件"), args->files, toTerminal("要导入的 CSV 文件，按顺序合并"))->required();
  command.run = [args, find, &fs] {
    args->findGiven = find->count() > 0;
    return runCsv(*args, fs);
  };
  return command;
}

}  // namespace chengling::cli
