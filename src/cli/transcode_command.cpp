#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "foundation/internal_text.h"
#include "tools/transcode/transcode_engine.h"

namespace chengling::cli {
namespace {

struct TranscodeArguments {
  std::string from = "auto";
  std::string to = "utf8";
  std::string chinese = "none";
  bool names = false;
  bool recursive = false;
  bool overwrite = false;
  std::string filter = "*.*";
  bool altMatcher = false;
  bool dryRun = false;
  std::vector<std::string> paths;
};

const std::map<std::string, TextEncoding> kEncodings = {
    {"auto", TextEncoding::Detect},      {"ansi", TextEncoding::Ansi},
    {"utf8", TextEncoding::Utf8},        {"utf16le", TextEncoding::Utf16Le},
    {"utf16be", TextEncoding::Utf16Be},
};
// Input also takes BIG5 by name.
const std::map<std::string, TextEncoding> kInputEncodings = [] {
  std::map<std::string, TextEncoding> encodings = kEncodings;
  encodings.emplace("big5", TextEncoding::Big5);
  return encodings;
}();
// Output also takes UTF-8 without a mark.
const std::map<std::string, TextEncoding> kOutputEncodings = [] {
  std::map<std::string, TextEncoding> encodings = kEncodings;
  encodings.emplace("utf8-nobom", TextEncoding::Utf8NoMark);
  return encodings;
}();

// The name a dry run prints for the code a decode took: the --from name of that encoding.
std::string_view encodingKey(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Ansi: return "ansi";
    case TextEncoding::Utf8: return "utf8";
    case TextEncoding::Utf16Le: return "utf16le";
    case TextEncoding::Utf16Be: return "utf16be";
    case TextEncoding::Big5: return "big5";
    case TextEncoding::Big5Hkscs: return "big5-hkscs";
    default: return "-";
  }
}

const std::map<std::string, ChineseMode> kModes = {
    {"none", ChineseMode::None},
    {"s2t", ChineseMode::SimplifiedToTraditional},
    {"t2s", ChineseMode::TraditionalToSimplified},
    {"s2big5", ChineseMode::SimplifiedToBig5},
    {"t2big5", ChineseMode::TraditionalToBig5},
    {"big52s", ChineseMode::Big5ToSimplified},
    {"big52t", ChineseMode::Big5ToTraditional},
};

std::vector<std::string> keysOf(const auto& map) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : map) keys.push_back(key);
  return keys;
}

int runTranscode(const TranscodeArguments& args, FileSystem& fs) {
  TranscodeOptions options;
  options.input = kInputEncodings.at(args.from);
  options.output = kOutputEncodings.at(args.to);
  options.chinese = kModes.at(args.chinese);
  options.convertNames = args.names;
  options.includeSubfolders = args.recursive;
  options.overwrite = args.overwrite;
  options.filter = fromArgument(args.filter);
  options.matcher = args.altMatcher ? Matcher::Alternative : Matcher::Standard;

  // Paths arrive as a drop would hand them over: absolute, the files before the folders.
  PathList dropped;
  if (!existingPaths(args.paths, "transcode", dropped)) return kExitUsage;

  if (args.dryRun) {
    for (const PreviewEntry& entry : PreviewDropped(splitDrop(dropped), options)) {
      printLine(entry.path + "\t" + std::string(encodingKey(entry.used)) + "\t" +
                (entry.problem.empty() ? entry.firstLine : entry.problem));
    }
    return kExitOk;
  }

  TerminalRunContext ctx;
  ctx.useFileSystem(fs);
  const TranscodeOutcome outcome = TranscodeDrop(dropped, options, ctx);
  // The folder goes to standard output only when this run wrote into it.
  if (!outcome.offeredFolder.empty()) printLine(outcome.offeredFolder);
  if (outcome.stopped || outcome.failed > 0) {
    printError(transcodeSummary(outcome));
    return kExitSomeFailed;
  }
  if (outcome.converted == 0) printError("没有找到要转换的文件");
  return ctx.failureCount() > 0 ? kExitSomeFailed : kExitOk;
}

}  // namespace

Command addTranscodeCommand(CLI::App& parent, FileSystem& fs) {
  auto args = std::make_shared<TranscodeArguments>();
  Command command;
  CLI::App* app = parent.add_subcommand("transcode", toTerminal("批量转换文本文件的编码与简繁体"));
  command.app = app;
  choices(app->add_option("--from", args->from, toTerminal("输入编码（默认 auto：自动识别）")), keysOf(kInputEncodings));
  choices(app->add_option("--to", args->to,
                          toTerminal("输出编码（默认 utf8，带 BOM；utf8-nobom：不带 BOM；auto：与识别出的输入编码相同）")),
          keysOf(kOutputEncodings));
  choices(app->add_option("--chinese", args->chinese, toTerminal("繁简互转（默认 none：不转）")), keysOf(kModes));
  app->add_flag("--names", args->names, toTerminal("同时转换文件名（--chinese 不为 none 时）"));
  app->add_flag("--recursive", args->recursive, toTerminal("包含子文件夹"));
  app->add_flag("--overwrite", args->overwrite, toTerminal("覆盖原文件，而不是写到“(已转换)”文件夹"));
  app->add_option("--filter", args->filter, toTerminal("文件夹中的文件类型，如 *.txt|*.htm（默认 *.*）"));
  app->add_flag("--alt-matcher", args->altMatcher, toTerminal("文件类型作为单个模式匹配"));
  app->add_flag("--dry-run", args->dryRun,
                toTerminal("只列出每个文件将按哪种编码读取及其第一行（路径<TAB>编码<TAB>第一行），不写任何文件"));
  app->add_option(toTerminal("路径"), args->paths, toTerminal("若干文件，或文件夹"))->required();
  command.run = [args, &fs] { return runTranscode(*args, fs); };
  return command;
}

}  // namespace chengling::cli
