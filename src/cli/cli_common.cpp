#include "cli/cli_common.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <iterator>

#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/path_helpers.h"
#include "foundation/text_codec.h"

namespace chengling::cli {
namespace {

std::atomic<RunContext*> gActive{nullptr};
std::atomic<int> gInterrupts{0};
std::string gStopNotice;  // in the terminal's encoding, made before the handler is installed

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

TerminalRunContext::TerminalRunContext() : terminal_(isatty(STDERR_FILENO) == 1) {
  gStopNotice = toTerminal("\n正在停止：当前项目完成后结束（再按一次 Ctrl-C 立即退出）\n");
  gActive.store(this);
  gInterrupts.store(0);
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

TerminalRunContext::~TerminalRunContext() {
  signal(SIGINT, SIG_DFL);
  gActive.store(nullptr);
  if (terminal_ && lastDraw_ != 0) std::fputs("\r\033[K", stderr);
}

void TerminalRunContext::progress(int64_t position, int64_t maximum) {
  if (!terminal_ || maximum <= 0) return;
  const int64_t now = nowMillis();
  if (now - lastDraw_ < 100 && position < maximum) return;
  lastDraw_ = now;
  std::fprintf(stderr, "\r\033[K%3d%%", static_cast<int>(position * 100 / maximum));
}

void TerminalRunContext::status(std::string_view text) {
  if (!terminal_) return;
  const int64_t now = nowMillis();
  if (now - lastDraw_ < 100) return;
  lastDraw_ = now;
  std::fprintf(stderr, "\r\033[K%s", toTerminal(FirstChars(text, 70)).c_str());
}

void TerminalRunContext::failure(std::string_view item, std::string_view reason) {
  ++failures_;
  if (terminal_ && lastDraw_ != 0) std::fputs("\r\033[K", stderr);
  std::string line = std::string(item);
  if (!reason.empty()) line += (item.empty() ? "" : "：") + std::string(reason);
  printError(line);
}

void TerminalRunContext::warning(std::string_view item, std::string_view reason) {
  if (terminal_ && lastDraw_ != 0) std::fputs("\r\033[K", stderr);
  printError(std::string(item) + (reason.empty() ? "" : "：") + std::string(reason));
}

std::string fromArgument(std::string_view argument) { return internalFromNative(argument); }

std::string toTerminal(std::string_view internal) { return nativeFromInternal(internal); }

std::string currentFolder() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return internalFromNative(buffer.data());
}

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

void printLine(std::string_view internal) {
  std::string out = toTerminal(internal);
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), stdout);
}

void printError(std::string_view internal) {
  std::string out = toTerminal(internal);
  out += '\n';
  std::fflush(stdout);
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
  std::string text = DecodeBuffer(bytes, TextEncoding::Detect);
  lines.clear();
  for (std::string& line : splitText(text, "\n")) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return true;
}

int runCli(int argc, char** argv) {
  CLI::App app{toTerminal("澄岭工具箱的命令行：与窗口相同的五个工具引擎"), "chengling-cli"};
  app.set_version_flag("--version", "chengling-cli 1.0.0.0");
  app.require_subcommand(1);
  const Command commands[] = {
      addSplitCommand(app),    addMergeCommand(app), addTranscodeCommand(app),
      addClassifyCommand(app), addCsvCommand(app),   addResolveCommand(app),
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  for (const Command& command : commands) {
    if (command.app->parsed()) return command.run();
  }
  return kExitUsage;
}

}  // namespace chengling::cli
