#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "foundation/file_system.h"
#include "foundation/native_text.h"
#include "tools/split_merge/merge_engine.h"
#include "tools/split_merge/split_merge_workflow.h"

namespace chengling::cli {
namespace {

struct MergeArguments {
  std::string joinText;
  std::string joinFile;
  bool decode = false;
  bool noParent = false;
  bool deleteInputs = false;
  bool recursive = false;
  bool natural = false;
  std::string filter = "*.*";
  bool altMatcher = false;
  std::vector<std::string> paths;
};

int runMerge(const MergeArguments& args, const CLI::App& app, FileSystem& fs) {
  MergeOptions options;
  if (app.count("--join-text") > 0) {
    options.join = JoinData::Text;
    options.joinText = fromArgument(args.joinText);
  } else if (app.count("--join-file") > 0) {
    options.join = JoinData::File;
    options.joinFile = absoluteArgument(args.joinFile);
    if (!isRegularFile(options.joinFile)) {
      printError("chengling-cli merge：找不到中间数据文件 " + fromArgument(args.joinFile));
      return kExitUsage;
    }
  }
  options.decode = args.decode;
  options.intoParent = !args.noParent;
  options.deleteInputs = args.deleteInputs;
  options.recursive = args.recursive;
  options.naturalOrder = args.natural;
  options.patterns = fromArgument(args.filter);
  options.matcher = args.altMatcher ? Matcher::Alternative : Matcher::Standard;
  options.onOutputWritten = [](std::string_view path) {
    printLine(path);
    flushOutput();
  };

  PathList dropped;
  if (!existingPaths(args.paths, "merge", dropped)) return kExitUsage;
  // Paths arrive as a drop on the merge area would hand them over: the files into one output, then
  // each folder (the last one named first).
  const MergeDrop drop = planMergeDrop(dropped);
  TerminalRunContext ctx(ProgressUnit::Bytes);  // progress counts bytes of the sources
  ctx.useFileSystem(fs);
  const MergeReport report = MergeDropped(drop, options, ctx);
  const MergeOutcome& outcome = report.outcome;

  // What a stopped run or one with failures did, as the window says it.
  const RunEnd end = mergeEnd(report);
  if (!end.summary.empty()) printError(end.summary);
  // A run that only finished a killed run's deletions has said so already.
  if (outcome.outputsWritten == 0 && outcome.failures == 0 && outcome.inputsDeleted == 0 && !outcome.stopped) {
    printError("没有找到要合并的文件");
  }
  return outcome.stopped || outcome.failures > 0 ? kExitSomeFailed : kExitOk;
}

}  // namespace

Command addMergeCommand(CLI::App& parent, FileSystem& fs) {
  auto args = std::make_shared<MergeArguments>();
  Command command;
  CLI::App* app = parent.add_subcommand("merge", toTerminal("把若干文件或每个文件夹中的文件合并为一个文件"));
  command.app = app;
  auto* text = app->add_option("--join-text", args->joinText, toTerminal("相邻两个文件之间插入这段文字"));
  auto* file = app->add_option("--join-file", args->joinFile, toTerminal("相邻两个文件之间插入这个文件的内容"));
  text->excludes(file);
  file->excludes(text);
  app->add_flag("--decode", args->decode, toTerminal("识别每个文件的编码；结果采用最后一个文件的编码"));
  app->add_flag("--no-parent", args->noParent, toTerminal("合并结果写在文件所在的文件夹，而不是其上级文件夹"));
  app->add_flag("--delete", args->deleteInputs, toTerminal("合并结果写好后删除已合并的文件"));
  app->add_flag("--recursive", args->recursive, toTerminal("文件夹的每个子文件夹各自合并"));
  app->add_flag("--natural", args->natural, toTerminal("文件夹中的文件按数字顺序合并（book_2 在 book_10 之前）"));
  app->add_option("--filter", args->filter, toTerminal("文件夹中的文件类型，如 *.txt|*.htm（默认 *.*）"));
  app->add_flag("--alt-matcher", args->altMatcher, toTerminal("文件类型作为单个模式匹配"));
  app->add_option(toTerminal("路径"), args->paths, toTerminal("若干文件，或文件夹"))->required();
  command.run = [args, app, &fs] { return runMerge(*args, *app, fs); };
  return command;
}

}  // namespace chengling::cli
