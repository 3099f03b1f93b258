#include "cli/cli_common.h"

namespace chengling::cli {

// Arrives with its engine; until then the subcommand only says so.
Command addSplitCommand(CLI::App& parent) {
  Command command;
  command.app = parent.add_subcommand("split", "按份数、大小、字符数、行数或分隔符分割文本文件");
  command.app->allow_extras();
  command.run = [] {
    printError("chengling-cli split：此工具尚未提供");
    return kExitUsage;
  };
  return command;
}

}  // namespace chengling::cli
