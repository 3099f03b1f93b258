#include "cli/cli_common.h"

namespace chengling::cli {

// Arrives with its engine; until then the subcommand only says so.
Command addResolveCommand(CLI::App& parent) {
  Command command;
  command.app = parent.add_subcommand("resolve", "获取网址的跳转地址");
  command.app->allow_extras();
  command.run = [] {
    printError("chengling-cli resolve：此工具尚未提供");
    return kExitUsage;
  };
  return command;
}

}  // namespace chengling::cli
