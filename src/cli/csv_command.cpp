#include "cli/cli_common.h"

namespace chengling::cli {

// Arrives with its engine; until then the subcommand only says so.
Command addCsvCommand(CLI::App& parent) {
  Command command;
  command.app = parent.add_subcommand("csv", "导入、排序并导出 CSV 表格");
  command.app->allow_extras();
  command.run = [] {
    printError("chengling-cli csv：此工具尚未提供");
    return kExitUsage;
  };
  return command;
}

}  // namespace chengling::cli
