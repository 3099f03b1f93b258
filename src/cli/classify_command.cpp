#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "foundation/path_helpers.h"
#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/program_directory.h"
#include "tools/classify/classify_engine.h"
#include "tools/classify/classify_undo.h"
#include "tools/classify/classify_workflow.h"
#include "tools/classify/path_template.h"

namespace chengling::cli {
namespace {

struct ClassifyArguments {
  std::string to;
  std::string perBatch = "100";
  std::string batchNames = "numbers";
  bool move = false;
  bool recursive = false;
  std::string filter = "*.*";
  bool altMatcher = false;
  bool dryRun = false;
  bool undo = false;
  std::string list;
  std::string folder;
};

// Fills `options` from the arguments; false (with the message printed) on a usage error.
bool readOptions(const ClassifyArguments& args, ClassifyOptions& options) {
  const bool hasList = !args.list.empty();
  const bool hasFolder = !args.folder.empty();
  if (hasList == hasFolder) {
    printError("chengling-cli classify：请给出一个文件夹，或用 --list 给出文件列表（二者取其一）");
    return false;
  }
  options.templateText = args.to.empty() ? std::string(kDefaultTemplate) : fromArgument(args.to);
  // The window takes 0 or less as one file per batch; on a command line it is a typing error.
  const std::string perBatch = fromArgument(args.perBatch);
  const bool digitsOnly = !perBatch.empty() && perBatch.size() <= 9 &&
                          perBatch.find_first_not_of("0123456789") == std::string::npos;
  if (!digitsOnly || textToInteger(perBatch) < 1) {
    printError("chengling-cli classify：--per-batch 应是 1 到 999999999 之间的整数，而不是 " + perBatch);
    return false;
  }
  options.perBatch = textToInteger(perBatch);
  options.keepSources = !args.move;
  options.recursive = args.recursive;
  options.filter = fromArgument(args.filter);
  options.matcher = args.altMatcher ? Matcher::Alternative : Matcher::Standard;

  const std::string names = fromArgument(args.batchNames);
  if (names == "numbers") {
    options.batchMode = BatchNameMode::Numbers;
  } else if (names == "letters") {
    options.batchMode = BatchNameMode::Letters;
  } else if (names.rfind("list:", 0) == 0 && names.size() > 5) {
    options.batchMode = BatchNameMode::NamedList;
    if (!readListFile(names.substr(5), options.batchNames)) return false;
  } else {
    printError("chengling-cli classify：--batch-names 只接受 numbers、letters 或 list:文件");
    return false;
  }

  if (hasList) {
    options.source = ClassifySource::FileList;
    if (!readListFile(fromArgument(args.list), options.fileList)) return false;
    // Relative lines become absolute, so that the logs (and an undo run from elsewhere) name the
    // files unambiguously; an empty line stays empty and fails as such.
    const std::string here = currentFolder();
    for (std::string& path : options.fileList) {
      if (!path.empty()) path = absolutePath(path, here);
    }
  } else {
    options.source = ClassifySource::Folder;
    options.entryFolder = absoluteArgument(args.folder);
  }
  options.logFolder = programDirectory();
  return true;
}

int runDry(const ClassifyOptions& options, FileSystem& fs) {
  TerminalRunContext ctx;
  ctx.useFileSystem(fs);
  const std::vector<PlannedFile> plan = ClassifyPlan(options, ctx).files;
  for (const PlannedFile& file : plan) printLine(planLine(file, options.keepSources));
  printError(planSummary(plan));
  return ctx.stopRequested() ? kExitSomeFailed : kExitOk;
}

int runClassify(const ClassifyOptions& options, FileSystem& fs) {
  TerminalRunContext ctx;
  ctx.useFileSystem(fs);
  const ClassifyOutcome outcome = ClassifyRun(options, ctx);
  if (!outcome.error.empty()) {
    printError(outcome.error);
    return kExitSomeFailed;
  }
  printLine(runSummary(outcome));
  printLine("记录：" + options.logFolder + "/" + kAfterLogName);
  if (outcome.failed > 0) printError("失败的文件见 " + options.logFolder + "/" + kFailureLogName);
  return outcome.failed > 0 || outcome.stopped || !outcome.logError.empty() ? kExitSomeFailed : kExitOk;
}

int runUndo(FileSystem& fs) {
  TerminalRunContext ctx;
  ctx.useFileSystem(fs);
  const std::string folder = programDirectory();
  const UndoOutcome outcome = ClassifyUndo(folder, ctx);
  if (!outcome.error.empty()) {
    printError(outcome.error);
    return kExitSomeFailed;
  }
  // Failed steps were named on standard error as they happened.
  for (const UndoStep& step : outcome.steps) {
    if (step.action != UndoAction::Failed) printLine(undoStepLine(step));
  }
  for (const std::string& folder : outcome.removedFolders) printLine(undoFolderLine(folder));
  printLine(undoSummary(outcome));
  return outcome.failed > 0 || outcome.stopped ? kExitSomeFailed : kExitOk;
}

}  // namespace

Command addClassifyCommand(CLI::App& parent, FileSystem& fs) {
  auto args = std::make_shared<ClassifyArguments>();
  Command command;
  CLI::App* app = parent.add_subcommand("classify", toTerminal("按路径模板批量归类（复制或移动）文件"));
  command.app = app;
  app->add_option("--to", args->to, toTerminal("归类到的路径模板（默认 [父目录路径]/[批次名]/[文件名]）"));
  app->add_option("--per-batch", args->perBatch, toTerminal("每批次的归类数量（默认 100）"));
  app->add_option("--batch-names", args->batchNames, toTerminal("批次名：numbers、letters 或 list:文件"));
  app->add_flag("--move", args->move, toTerminal("移动文件（默认复制，保留原文件）"));
  app->add_flag("--recursive", args->recursive, toTerminal("遍历子目录"));
  app->add_option("--filter", args->filter, toTerminal("文件类型，如 *.txt|*.htm（默认 *.*）"));
  app->add_flag("--alt-matcher", args->altMatcher, toTerminal("把过滤文本整体当作一个匹配模式"));
  app->add_flag("--dry-run", args->dryRun, toTerminal("只列出 源 → 目标，不改动任何文件，不写记录"));
  app->add_option("--list", args->list, toTerminal("文件列表（每行一个路径）"));
  CLI::Option* undo = app->add_flag(
      "--undo", args->undo, toTerminal("按上次归类的记录把文件移回原位置，并删除那次新建、现已变空的文件夹"));
  undo->excludes(app->add_option(toTerminal("文件夹"), args->folder, toTerminal("要归类的文件所在文件夹")));
  for (const char* other : {"--to", "--per-batch", "--batch-names", "--move", "--recursive", "--filter",
                            "--alt-matcher", "--dry-run", "--list"}) {
    undo->excludes(app->get_option(other));
  }
  command.run = [args, &fs] {
    if (args->undo) return runUndo(fs);
    ClassifyOptions options;
    if (!readOptions(*args, options)) return kExitUsage;
    const std::string inputError = classifyInputError(options);
    if (!inputError.empty()) {
      printError(inputError);
      return kExitSomeFailed;
    }
    // A typing error in the template goes on as the window's "yes" would: the words stay as text.
    const std::string notice = unknownWordsNotice(unknownBracketWords(options.templateText));
    if (!notice.empty()) printError("警告：" + notice);
    return args->dryRun ? runDry(options, fs) : runClassify(options, fs);
  };
  return command;
}

}  // namespace chengling::cli
