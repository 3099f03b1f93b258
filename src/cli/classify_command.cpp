#include "cli/cli_common.h"

namespace chengling::cli {

// Arrives with its engine; until then the subcommand only says so.
Command addClassifyCommand(CLI::App& parent) {
  Command command;
  command.app = parent.add_subcommand("classify", "按路径模板批量归类（复制或移动）文件");
  command.app->allow_extras();
  command.run = [] {
    printError("chengling-cli classify：此工具尚未提供");
    return kExitUsage;
  };
  return command;
}

}  // namespace chengling::cli
