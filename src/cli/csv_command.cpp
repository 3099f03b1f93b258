// chengling-cli csv: imports one or more CSV files under one header, optionally sorts the rows by a
// column in one of the seven orders, and writes the table to a file (in the first file's encoding)
// or to standard output (in the terminal's encoding, every field quoted).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "foundation/internal_text.h"
#include "tools/csv_table/csv_text.h"
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
};

// The order names of the command line, in menu order.
constexpr const char* kOrderNames[kSortOrderCount] = {"length", "chars", "codes", "pinyin",
                                                      "number", "digits", "datetime"};

// A 1-based column number, else the first column with that title; 0 when neither.
int32_t findColumn(const TableModel& table, const std::string& argument) {
  const std::string wanted = fromArgument(argument);
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

int runCsv(const CsvArguments& args) {
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
  CsvImportOptions options;
  for (const std::string& file : args.files) options.paths.push_back(fromArgument(file));
  options.numberedTitles = args.noHeader;
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
    const int32_t column = findColumn(table, args.sortColumn);
    if (column == 0) {
      printError("没有这一列：" + fromArgument(args.sortColumn));
      return kExitUsage;
    }
    const SortDirection direction = args.ascending ? SortDirection::Ascending : SortDirection::Descending;
    SortRows(table, column, direction, static_cast<SortOrder>(order));
  }

  if (args.output.empty()) {
    printTable(table);
  } else {
    const std::string path = fromArgument(args.output);
    std::string error;
    if (!ExportCsv(table, path, outcome.encoding, &error)) {
      printError("无法写入 " + path + "：" + error);
      return kExitSomeFailed;
    }
  }
  return ctx.failureCount() > 0 || outcome.filesFailed > 0 ? kExitSomeFailed : kExitOk;
}

}  // namespace

Command addCsvCommand(CLI::App& parent) {
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
  app.add_option("-o,--output", args->output,
                 toTerminal("写入这个文件（以 .csv 结尾时每项加引号），编码同第一个导入的文件；默认写到标准输出"));
  app.add_option(toTerminal("文件"), args->files, toTerminal("要导入的 CSV 文件，按顺序合并"))->required();
  command.run = [args] { return runCsv(*args); };
  return command;
}

}  // namespace chengling::cli
