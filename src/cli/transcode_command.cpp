#include "cli/cli_common.h"

namespace chengling::cli {

// Arrives with its engine; until then the subcommand only says so.
Command addTranscodeCommand(CLI::App& parent) {
  Command command;
  command.app = parent.add_subcommand("transcode", "批量转换文本文件的编码与简繁体");
  command.app->allow_extras();
  command.run = [] {
    printError("chengling-cli transcode：此工具尚未提供");
    return kExitUsage;
  };
  return command;
}

}  // namespace chengling::cli
