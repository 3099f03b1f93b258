#include "cli/cli_common.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <iterator>

#include "cli/chinese_help.h"
#include "foundation/file_collector.h"
#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/path_helpers.h"
#include "foundation/text_codec.h"

namespace chengling::cli {
namespace {

std::atomic<RunContext*> gActive{nullptr};
TerminalRunContext* gTerminal = nullptr;
// The first failed write of results to standard output (errno), 0 while every write succeeded.
int gOutputError = 0;  // the one whose line printLine takes off the screen
std::atomic<int> gInterrupts{0};
std::string gStopNotice;  // in the terminal's encoding, made before the handler is installed
bool gQuiet = false;

extern "C" void onInterrupt(int) {
  if (gInterrupts.fetch_add(1) > 0) _exit(130);
  if (RunContext* ctx = gActive.load()) ctx->requestStop();
  [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, gStopNotice.data(), gStopNotice.size());
}

int64_t nowMillis() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

void setQuiet(bool quiet) { gQuiet = quiet; }

TerminalRunContext::TerminalRunContext(ProgressUnit unit)
    : unit_(unit), terminal_(!gQuiet && isatty(STDERR_FILENO) == 1) {
  gStopNotice = toTerminal("\n正在停止：当前项目完成后结束（再按一次 Ctrl-C 立即退出）\n");
  gActive.store(this);
  gTerminal = this;
  gInterrupts.store(0);
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

TerminalRunContext::~TerminalRunContext() {
  signal(SIGINT, SIG_DFL);
  gActive.store(nullptr);
  gTerminal = nullptr;
  clearLine();
}

void TerminalRunContext::progress(int64_t position, int64_t maximum) {
  if (!terminal_) return;
  const int64_t now = nowMillis();
  // A new count (the next file of a byte count, a folder listed) starts a new measurement.
  if (rateSince_ == 0 || maximum != shown_.maximum || position < shown_.position) {
    rateSince_ = now;
    rateFrom_ = position;
    shown_.perSecond = -1;
  } else if (now - rateSince_ >= 500) {
    shown_.perSecond = static_cast<double>(position - rateFrom_) * 1000.0 / static_cast<double>(now - rateSince_);
  }
  shown_.position = position;
  shown_.maximum = maximum;
  draw();
}

void TerminalRunContext::status(std::string_view text) {
  if (!terminal_) return;
  shown_.item = itemFromStatus(text);
  draw();
}

void TerminalRunContext::phase(std::string_view text) { status(text); }

void TerminalRunContext::onCheckpoint() {
  if (pending_) draw();
}

void TerminalRunContext::draw() {
  const int64_t time = nowMillis();
  if (time - lastDraw_ < 100) {
    pending_ = true;
    return;
  }
  pending_ = false;
  lastDraw_ = time;
  winsize size{};
  const int columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
  const std::string line = "\r\033[K" + toTerminal(progressLine(shown_, unit_, columns));
  std::fwrite(line.data(), 1, line.size(), stderr);
  drawn_ = true;
}

void TerminalRunContext::clearLine() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  drawn_ = false;
  pending_ = true;
}

void TerminalRunContext::failure(std::string_view item, std::string_view reason) {
  ++failures_;
  std::string line = std::string(item);
  if (!reason.empty()) line += (item.empty() ? "" : "：") + std::string(reason);
  printError(line);
}

void TerminalRunContext::warning(std::string_view item, std::string_view reason) {
  printError(std::string(item) + (reason.empty() ? "" : "：") + std::string(reason));
}

std::string fromArgument(std::string_view argument) { return internalFromNative(argument); }

std::string toTerminal(std::string_view internal) { return nativeFromInternal(internal); }

std::string absoluteArgument(std::string_view argument) {
  return absolutePath(fromArgument(argument), currentFolder());
}

bool existingPaths(const std::vector<std::string>& arguments, std::string_view tool,
                   std::vector<std::string>& paths) {
  paths.clear();
  for (const std::string& argument : arguments) {
    std::string path = absoluteArgument(argument);
    if (!pathExists(path)) {
      printError("chengling-cli " + std::string(tool) + "：找不到 " + fromArgument(argument));
      return false;
    }
    paths.push_back(std::move(path));
  }
  return true;
}

void writeOutput(std::string_view bytes) {
  if (gOutputError != 0) return;  // the rest would be lost as well
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) gOutputError = errno != 0 ? errno : EIO;
}

void flushOutput() {
  if (gOutputError != 0) return;
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) gOutputError = errno != 0 ? errno : EIO;
}

void printLine(std::string_view internal) {
  if (gTerminal) gTerminal->clearLine();
  std::string out = toTerminal(internal);
  out += '\n';
  writeOutput(out);
}

int finishOutput(int code) {
  // Buffered results reach the file only now: a full disk shows at the flush or the close.
  flushOutput();
  errno = 0;
  if (gOutputError == 0 && std::fclose(stdout) != 0) gOutputError = errno != 0 ? errno : EIO;
  const bool errorsLost = std::fflush(stderr) != 0 || std::ferror(stderr);
  if (gOutputError != 0) {
    const std::string message = toTerminal("无法写出结果（标准输出）：" + reasonForErrno(gOutputError)) + "\n";
    std::fwrite(message.data(), 1, message.size(), stderr);
  }
  return gOutputError != 0 || errorsLost ? std::max(code, kExitSomeFailed) : code;
}

void printError(std::string_view internal) {
  if (gTerminal) gTerminal->clearLine();
  std::string out = toTerminal(internal);
  out += '\n';
  flushOutput();
  std::fwrite(out.data(), 1, out.size(), stderr);
}

bool readListFile(std::string_view path, std::vector<std::string>& lines) {
  std::string bytes;
  if (path == "-") {
    bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::string error;
    if (!readWholeFile(path, bytes, &error)) {
      printError("无法读取 " + std::string(path) + "：" + error);
      return false;
    }
  }
  lines = listFileLines(bytes);
  return true;
}

void choices(CLI::Option* option, const std::vector<std::string>& names) {
  std::string shown;
  for (const std::string& name : names) shown += (shown.empty() ? "{" : ",") + name;
  option->check(CLI::IsMember(names).description(""))->type_name(shown + "}");
}

int runCli(int argc, char** argv, FileSystem& fs) {
  CLI::App app{toTerminal("澄岭工具箱的命令行：与窗口相同的五个工具引擎"), "chengling-cli"};
  app.set_version_flag("--version", "chengling-cli " CHENGLING_VERSION, toTerminal("显示版本后退出"));
  bool quiet = false;
  app.add_flag("-q,--quiet", quiet, toTerminal("不显示进度行（进度行只在标准错误是终端时出现）"));
  app.footer(toTerminal("退出状态：0 全部成功；1 有项目失败，逐个写在标准错误上；2 用法错误。\n"
                        "完整说明：man chengling-cli"));
  app.fallthrough();  // --quiet also after the subcommand
  app.require_subcommand(1);
  const Command commands[] = {
      addSplitCommand(app, fs),    addMergeCommand(app, fs), addTranscodeCommand(app, fs),
      addClassifyCommand(app, fs), addCsvCommand(app, fs),   addResolveCommand(app),
  };
  useChineseHelp(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // The hint names the subcommand whose options were wrong.
    CLI::App* failed = &app;
    for (const Command& command : commands) {
      if (command.app->parsed()) failed = command.app;
    }
    failed->exit(e);
    return kExitUsage;
  }
  setQuiet(quiet);
  for (const Command& command : commands) {
    if (command.app->parsed()) return finishOutput(command.run());
  }
  return kExitUsage;
}

}  // namespace chengling::cli
