#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "tools/redirect/redirect_run.h"

namespace chengling::cli {
namespace {

struct ResolveSettings {
  std::string userAgent;
  bool loose = false;
  bool follow = false;
  bool chain = false;
  bool reasons = false;
  std::string placeholder = "source";
  int jobs = 1;
  std::string list = "-";
};

// Writes each failure as ADDRESS<TAB>REASON, a line that tools can split.
class ReasonRunContext : public TerminalRunContext {
 public:
  void failure(std::string_view item, std::string_view reason) override {
    TerminalRunContext::failure(std::string(item) + "\t" + std::string(reason), {});
  }
};

bool allDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

int runResolve(const ResolveSettings& settings) {
  std::string agent = userAgentText(kDefaultUserAgentEntry);
  if (allDigits(settings.userAgent)) {
    const int index = settings.userAgent.size() > 2 ? -1 : std::stoi(settings.userAgent);
    agent = userAgentText(index);
    if (agent.empty()) {
      printError("--ua：编号应在 0 到 14 之间，或者给出协议文本");
      return kExitUsage;
    }
  } else if (!settings.userAgent.empty()) {
    agent = fromArgument(settings.userAgent);
  }

  RedirectOptions options;
  if (!readListFile(fromArgument(settings.list), options.addresses)) return kExitUsage;
  options.userAgent = agent;
  options.looseMatch = settings.loose;
  options.failurePlaceholder = settings.placeholder != "none";
  options.emptyPlaceholder = settings.placeholder == "empty";
  options.jobs = settings.jobs;
  options.follow = settings.follow;
  options.failureReasons = settings.reasons || settings.follow || settings.chain;
  const bool chain = settings.chain;
  options.onAddress = [chain](const AddressOutcome& item) {
    if (chain) {
      printLine(chainLine(item));
    } else if (item.writesLine) {
      printLine(item.line);
    }
  };
  // A peer that closes its end (a server, or a reader of our output) must not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  // Each failed address goes to standard error: alone, or with its reason after a tab.
  std::unique_ptr<TerminalRunContext> ctx =
      options.failureReasons ? std::make_unique<ReasonRunContext>() : std::make_unique<TerminalRunContext>();
  const RedirectOutcome outcome = RedirectRun(options, *ctx);
  flushOutput();
  return outcome.failed > 0 || outcome.stopped ? kExitSomeFailed : kExitOk;
}

}  // namespace

Command addResolveCommand(CLI::App& parent) {
  auto settings = std::make_shared<ResolveSettings>();
  Command command;
  command.app = parent.add_subcommand(
      "resolve", toTerminal("获取网址的跳转地址：每行一个地址，结果按行输出，失败的地址写到标准错误"));
  CLI::App& app = *command.app;
  app.add_option("--ua", settings->userAgent,
                 toTerminal("协议方式：0 到 14 的编号，或者直接给出 UserAgent 文本（默认 11，安卓QQ）"));
  app.add_flag("--loose", settings->loose, toTerminal("扩展模式（宽松匹配）：条件脚本里的跳转也采用"));
  app.add_flag("--follow", settings->follow,
               toTerminal("跟随多次跳转：每个目标再次获取，最多 10 次，输出最后到达的地址"));
  app.add_flag("--chain", settings->chain,
               toTerminal("输出跳转链：每个地址一行，原地址、每一跳（种类 空格 地址）用制表符分隔"));
  app.add_flag("--reasons", settings->reasons,
               toTerminal("失败的地址在标准错误上写成“地址<制表符>原因”（--follow 和 --chain 时总是这样）"));
  choices(app.add_option("--placeholder", settings->placeholder,
                         toTerminal("失败占位：source 写原地址（默认），empty 写空行，none 不写")),
          {"source", "empty", "none"});
  app.add_option("--jobs", settings->jobs, toTerminal("同时获取的地址数（1 到 64），输出仍按输入顺序"))
      ->check(CLI::Range(1, kMaxRedirectJobs).description(""));
  app.add_option(toTerminal("列表"), settings->list, toTerminal("地址列表文件，- 或省略表示标准输入"));
  command.run = [settings] { return runResolve(*settings); };
  return command;
}

}  // namespace chengling::cli
