#include "cli/cli_common.h"

namespace chengling::cli {

// Arrives with its engine; until then the subcommand only says so.
Command addMergeCommand(CLI::App& parent) {
  Command command;
  command.app = parent.add_subcommand("merge", "把文件列表或文件夹中的文件合并为一个文件");
  command.app->allow_extras();
  command.run = [] {
    printError("chengling-cli merge：此工具尚未提供");
    return kExitUsage;
  };
  return command;
}

}  // namespace chengling::cli
