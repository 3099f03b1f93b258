#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "tools/split_merge/split_engine.h"
#include "tools/split_merge/split_merge_workflow.h"

namespace chengling::cli {
namespace {

struct SplitArguments {
  std::string count;
  std::string size;
  std::string chars;
  std::string lines;
  std::string separator;
  bool skipBlank = false;
  bool detect = false;
  bool fixNewlines = false;
  bool noSubdir = false;
  bool deleteSources = false;
  bool contentNames = false;
  bool wholeLines = false;
  bool wholeChars = false;
  std::string filter = "*.*";
  bool altMatcher = false;
  std::vector<std::string> paths;
};

constexpr int64_t kMaxCount = INT32_MAX;  // the engine counts pieces, lines and characters in 32 bits

void countError(std::string_view option, std::string_view text) {
  printError("chengling-cli split：" + std::string(option) + " 应是 1 到 " + std::to_string(kMaxCount) +
             " 之间的整数，而不是 " + std::string(text));
}

// "A-B" as two counts (either order is fine for the engine); "A" alone is A-A.
bool readRange(std::string_view option, const std::string& text, int32_t& low, int32_t& high) {
  const size_t dash = text.find('-', 1);
  const bool ok = dash == std::string::npos
                      ? countFromText(text, low) && countFromText(text, high)
                      : countFromText(std::string_view(text).substr(0, dash), low) &&
                            countFromText(std::string_view(text).substr(dash + 1), high);
  if (!ok) countError(option, text);
  return ok;
}

// "V[B|KB|MB|GB]", the unit defaulting to KB like the window's unit box.
bool readSize(const std::string& text, float& value, int& unit) {
  size_t letters = 0;
  while (letters < text.size() && !std::isalpha(static_cast<unsigned char>(text[letters]))) ++letters;
  std::string suffix = asciiLower(text.substr(letters));
  while (!suffix.empty() && suffix.back() == ' ') suffix.pop_back();
  if (suffix.empty() || suffix == "kb") {
    unit = 1;
  } else if (suffix == "b") {
    unit = 0;
  } else if (suffix == "mb") {
    unit = 2;
  } else if (suffix == "gb") {
    unit = 3;
  } else {
    return false;
  }
  return sizeFromText(std::string_view(text).substr(0, letters), unit, value);
}

int runSplit(const SplitArguments& args, const CLI::App& app, FileSystem& fs) {
  SplitOptions options;
  if (app.count("--size") > 0) {
    options.mode = SplitMode::BySize;
    if (!readSize(fromArgument(args.size), options.sizeValue, options.sizeUnit)) {
      printError("chengling-cli split：--size 应是数（可带小数），单位只能是 B、KB、MB 或 GB，而不是 " +
                 fromArgument(args.size));
      return kExitUsage;
    }
  } else if (app.count("--chars") > 0) {
    options.mode = SplitMode::ByChars;
    if (!readRange("--chars", fromArgument(args.chars), options.charsLow, options.charsHigh)) return kExitUsage;
  } else if (app.count("--lines") > 0) {
    options.mode = SplitMode::ByLines;
    if (!readRange("--lines", fromArgument(args.lines), options.linesLow, options.linesHigh)) return kExitUsage;
  } else if (app.count("--separator") > 0) {
    options.mode = SplitMode::BySeparator;
    options.separator = fromArgument(args.separator);
  } else {
    options.mode = SplitMode::ByCount;
    if (app.count("--count") > 0 && !countFromText(fromArgument(args.count), options.pieceCount)) {
      countError("--count", fromArgument(args.count));
      return kExitUsage;
    }
  }
  options.skipBlankLines = args.skipBlank;
  options.detectEncoding = args.detect;
  options.fixLineEndings = args.fixNewlines;
  options.intoSubfolder = !args.noSubdir;
  options.deleteSource = args.deleteSources;
  options.contentNames = args.contentNames;
  options.cut = args.wholeLines ? SplitCut::WholeLines : args.wholeChars ? SplitCut::WholeChars : SplitCut::Bytes;
  options.onPieceWritten = [](std::string_view path) {
    printLine(path);
    flushOutput();
  };

  PathList dropped;
  if (!existingPaths(args.paths, "split", dropped)) return kExitUsage;
  // Paths arrive as a drop on the split area would hand them over.
  const SplitDrop drop = planSplitDrop(dropped);
  TerminalRunContext ctx(ProgressUnit::Bytes);  // progress counts bytes of the sources
  ctx.useFileSystem(fs);
  const SplitReport report = SplitDropped(drop, fromArgument(args.filter),
                                          args.altMatcher ? Matcher::Alternative : Matcher::Standard, options, ctx);
  if (report.sourceCount == 0) {
    printError("没有要分割的文件：" + drop.folder);
    return kExitOk;
  }
  const SplitOutcome& outcome = report.outcome;
  switch (outcome.end) {
    case SplitEnd::Invalid:
    case SplitEnd::AskSeparator:
      printError(outcome.message);
      return kExitUsage;
    case SplitEnd::Stopped:
    case SplitEnd::Finished:
      break;
  }
  // What a stopped run or one with failures did, as the window says it.
  const RunEnd end = splitEnd(report);
  if (!end.summary.empty()) printError(end.summary);
  return outcome.end == SplitEnd::Stopped || outcome.failures > 0 ? kExitSomeFailed : kExitOk;
}

}  // namespace

Command addSplitCommand(CLI::App& parent, FileSystem& fs) {
  auto args = std::make_shared<SplitArguments>();
  Command command;
  CLI::App* app = parent.add_subcommand("split", toTerminal("按份数、大小、字符数、行数或分隔符分割文本文件"));
  command.app = app;
  auto* count = app->add_option("--count", args->count, toTerminal("按份数分割，N 份（默认 100）"));
  auto* size = app->add_option("--size", args->size, toTerminal("按大小分割，如 1MB、3.12GB；不写单位时为 KB"));
  auto* chars = app->add_option("--chars", args->chars, toTerminal("按随机字符数 A-B 分割（识别编码，整个文件读入内存）"));
  auto* lines = app->add_option("--lines", args->lines, toTerminal("按随机行数 A-B 分割"));
  auto* separator = app->add_option("--separator", args->separator, toTerminal("按分隔字符串分割（识别编码，整个文件读入内存）"));
  CLI::Option* modes[] = {count, size, chars, lines, separator};
  for (CLI::Option* a : modes) {
    for (CLI::Option* b : modes) {
      if (a != b) a->excludes(b);
    }
  }
  auto* wholeLines = app->add_flag("--whole-lines", args->wholeLines,
                                   toTerminal("按份数或大小分割时不截断行：切分点后移到下一个换行之后"));
  auto* wholeChars = app->add_flag("--whole-chars", args->wholeChars,
                                   toTerminal("按份数或大小分割时不截断字符：切分点后移到下一个字符的开头（按识别出的编码）"));
  wholeLines->excludes(wholeChars);
  for (CLI::Option* mode : {chars, lines, separator}) {
    wholeLines->excludes(mode);
    wholeChars->excludes(mode);
  }
  app->add_flag("--skip-blank", args->skipBlank, toTerminal("按行数分割时忽略空行"));
  app->add_flag("--detect", args->detect, toTerminal("按行数分割时识别编码（整个文件读入内存）"));
  app->add_flag("--fix-newlines", args->fixNewlines, toTerminal("识别编码时把单独的 CR 或 LF 矫正为 CR LF"));
  app->add_flag("--no-subdir", args->noSubdir, toTerminal("分割文件写在源文件旁，而不是同名子目录中"));
  app->add_flag("--delete", args->deleteSources, toTerminal("全部分割文件写好后删除源文件"));
  app->add_flag("--content-names", args->contentNames, toTerminal("按内容中的短语为分割文件命名"));
  app->add_option("--filter", args->filter, toTerminal("给出一个文件夹时的文件类型，如 *.txt|*.htm（默认 *.*）"));
  app->add_flag("--alt-matcher", args->altMatcher, toTerminal("文件类型作为单个模式匹配"));
  app->add_option(toTerminal("路径"), args->paths, toTerminal("一个文件夹，或若干文件"))->required();
  command.run = [args, app, &fs] { return runSplit(*args, *app, fs); };
  return command;
}

}  // namespace chengling::cli
