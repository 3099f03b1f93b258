#include "tools/redirect/redirect_run.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/local_http_server.h"

namespace chengling {
namespace {

using testing::LocalHttpServer;
using Lines = std::vector<std::string>;

// Serves /to/NAME as a redirect to http://t/NAME and everything else as a page without one.
class RedirectServer {
 public:
  RedirectServer() {
    local_.server().Get(R"(/to/(\w+))", [this](const httplib::Request& request, httplib::Response& r) {
      record(request);
      if (onRequest) onRequest(request.matches[1]);
      r.set_redirect("http://t/" + std::string(request.matches[1]));
    });
    local_.server().Get(".*", [this](const httplib::Request& request, httplib::Response& r) {
      record(request);
      r.set_content("<p>no redirect</p>", "text/html");
    });
    started_ = local_.start();
  }
  bool started() const { return started_; }
  std::string url(std::string_view path) const { return local_.url(path); }
  std::string hostAndPort(std::string_view path) const { return local_.hostAndPort(path); }
  Lines agents() {
    std::lock_guard lock(mutex_);
    return agents_;
  }
  std::function<void(const std::string&)> onRequest;  // set before the run

 private:
  void record(const httplib::Request& request) {
    std::lock_guard lock(mutex_);
    agents_.push_back(request.get_header_value("User-Agent"));
  }
  LocalHttpServer local_;
  bool started_ = false;
  std::mutex mutex_;
  Lines agents_;
};

TEST(RedirectRun, SplitsTheSourceTextIntoAddresses) {
  struct Case {
    std::string text;
    Lines want;
  };
  const Case kCases[] = {
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"", {}},
      {"\r\n", {""}},
  };
  for (const Case& c : kCases) EXPECT_EQ(splitAddressList(c.text), c.want) << c.text;
}

TEST(RedirectRun, UserAgentTableHasFifteenEntries) {
  EXPECT_EQ(splitAddressList(kUserAgentTable).size(), 15u);
  EXPECT_EQ(userAgentEntryName(kDefaultUserAgentEntry), "安卓QQ");
  EXPECT_EQ(userAgentText(0), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
  EXPECT_EQ(userAgentText(6), std::string(kDefaultUserAgent));
  EXPECT_EQ(userAgentText(14),
            "Mozilla/5.0 (iPhone; CPU iPhone OS 7_1_2 like Mac OS X) AppleWebKit/537.51.2 (KHTML, "
            "like Gecko) Mobile/11D257 MicroMessenger/6.0.1 NetType/WIFI");
  EXPECT_EQ(userAgentText(15), "");
  EXPECT_EQ(userAgentEntryName(-1), "");
}

TEST(RedirectRun, PlaceholdersKeepResultsAlignedWithSources) {
  RedirectServer server;
  ASSERT_TRUE(server.started());
  const std::string failing = server.url("/none");
  const Lines addresses = {server.url("/to/a"), "", server.hostAndPort("/none#part"),
                           server.url("/to/b")};
  struct Case {
    const char* name;
    bool failurePlaceholder;
    bool emptyPlaceholder;
    std::string want;
  };
  const Case kCases[] = {
      {"source", true, false, "http://t/a\r\n\r\n" + failing + "\r\nhttp://t/b\r\n"},
      {"none", false, false, "http://t/a\r\nhttp://t/b\r\n"},
      {"empty", true, true, "http://t/a\r\n\r\n\r\nhttp://t/b\r\n"},
      {"empty without failure lines", false, true, "http://t/a\r\nhttp://t/b\r\n"},
  };
  for (const Case& c : kCases) {
    RedirectOptions options;
    options.addresses = addresses;
    options.failurePlaceholder = c.failurePlaceholder;
    options.emptyPlaceholder = c.emptyPlaceholder;
    std::string streamed;
    options.onAddress = [&](const AddressOutcome& item) {
      if (item.writesLine) streamed += item.line + "\r\n";
    };
    PlainRunContext ctx;
    const RedirectOutcome outcome = RedirectRun(options, ctx);
    EXPECT_EQ(outcome.results, c.want) << c.name;
    EXPECT_EQ(streamed, c.want) << c.name;
    EXPECT_EQ(outcome.failedList, "\r\n" + failing + "\r\n") << c.name;
    ASSERT_EQ(ctx.failures.size(), 2u) << c.name;
    EXPECT_EQ(ctx.failures[1].item, failing);
    EXPECT_EQ(outcome.finished, 4u);
    EXPECT_FALSE(outcome.stopped);
  }
}

TEST(RedirectRun, TrimsBlanksAroundALineAndRefusesOtherSchemesWithoutARequest) {
  RedirectServer server;
  ASSERT_TRUE(server.started());
  const std::string ftp = "ftp://" + server.hostAndPort("/to/f");
  // With "http://" in front this would reach the server, "mailto:someone" read as a user name.
  const std::string mailto = "mailto:someone@" + server.hostAndPort("/to/m");
  const Lines addresses = {"  " + server.url("/to/a") + " ", "\t" + server.hostAndPort("/to/b") + "\t ",
                           " " + ftp + " ", mailto, " " + server.url("/none") + "\t"};
  for (const int jobs : {1, 3}) {
    const size_t requestsBefore = server.agents().size();
    RedirectOptions options;
    options.addresses = addresses;
    options.jobs = jobs;
    PlainRunContext ctx;
    const RedirectOutcome outcome = RedirectRun(options, ctx);
    EXPECT_EQ(outcome.results,
              "http://t/a\r\nhttp://t/b\r\n" + ftp + "\r\n" + mailto + "\r\n" + server.url("/none") + "\r\n")
        << jobs;
    EXPECT_EQ(outcome.failedList, ftp + "\r\n" + mailto + "\r\n" + server.url("/none") + "\r\n") << jobs;
    EXPECT_EQ(outcome.failed, 3u) << jobs;
    EXPECT_EQ(outcome.invalid, 2u) << jobs;
    ASSERT_EQ(ctx.failures.size(), 3u) << jobs;
    EXPECT_EQ(ctx.failures[0].item, ftp);
    EXPECT_EQ(ctx.failures[0].reason, "地址无效");
    EXPECT_EQ(ctx.failures[1].reason, "地址无效");
    EXPECT_EQ(ctx.failures[2].item, server.url("/none"));
    EXPECT_EQ(ctx.failures[2].reason, "") << "a line that was requested fails as before";
    // a, b and the page without a redirect (probe and download); nothing for the other schemes.
    EXPECT_EQ(server.agents().size() - requestsBefore, 4u) << jobs;
  }
}

TEST(RedirectRun, ShowsProgressAsCountColonIndex) {
  RedirectServer server;
  ASSERT_TRUE(server.started());
  RedirectOptions options;
  for (const char* name : {"1", "2", "3", "4"}) options.addresses.push_back(server.url("/to/") + name);
  PlainRunContext ctx;
  const RedirectOutcome outcome = RedirectRun(options, ctx);
  EXPECT_EQ(ctx.phases, (Lines{"4:1", "4:2", "4:3", "4:4"}));
  EXPECT_EQ(ctx.lastPosition, 4);
  EXPECT_EQ(ctx.lastMaximum, 4);
  EXPECT_EQ(outcome.results, "http://t/1\r\nhttp://t/2\r\nhttp://t/3\r\nhttp://t/4\r\n");
}

TEST(RedirectRun, AStopDuringAnAddressEndsTheRunAfterIt) {
  RedirectServer server;
  ASSERT_TRUE(server.started());
  PlainRunContext ctx;
  server.onRequest = [&](const std::string& name) {
    if (name == "3") ctx.requestStop();
  };
  RedirectOptions options;
  for (int i = 1; i <= 10; ++i) options.addresses.push_back(server.url("/to/" + std::to_string(i)));
  options.addresses[1] = server.url("/none");  // a failure among the first three is still listed
  const RedirectOutcome outcome = RedirectRun(options, ctx);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.finished, 3u);
  EXPECT_EQ(outcome.results, "http://t/1\r\n" + server.url("/none") + "\r\nhttp://t/3\r\n");
  EXPECT_EQ(outcome.failedList, server.url("/none") + "\r\n");
  EXPECT_EQ(ctx.phases, (Lines{"10:1", "10:2"}));
}

TEST(RedirectRun, AStopWithSeveralJobsEndsAfterAnAddressInOrder) {
  RedirectServer server;
  ASSERT_TRUE(server.started());
  PlainRunContext ctx;
  ctx.onCheckpointHook = [](PlainRunContext& run, int64_t count) {
    if (count == 2) run.requestStop();
  };
  RedirectOptions options;
  options.jobs = 3;
  for (int i = 1; i <= 30; ++i) options.addresses.push_back(server.url("/to/" + std::to_string(i)));
  const RedirectOutcome outcome = RedirectRun(options, ctx);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.finished, 2u);
  EXPECT_EQ(outcome.results, "http://t/1\r\nhttp://t/2\r\n");
  EXPECT_EQ(ctx.phases, (Lines{"30:1"}));
}

// Holds every request for /hold until released (or a minute has passed), so that a test can show that
// a run ended while a request was still unanswered.
class HoldingServer {
 public:
  HoldingServer() {
    local_.server().Get("/hold", [this](const httplib::Request&, httplib::Response& r) {
      std::unique_lock lock(mutex_);
      ++holding_;
      changed_.notify_all();
      changed_.wait_for(lock, std::chrono::minutes(1), [this] { return released_; });
      --holding_;
      r.set_redirect("http://t/held");
    });
    local_.server().Get(R"(/to/(\w+))", [](const httplib::Request& request, httplib::Response& r) {
      r.set_redirect("http://t/" + std::string(request.matches[1]));
    });
    started_ = local_.start();
  }
  ~HoldingServer() { release(); }
  bool started() const { return started_; }
  std::string url(std::string_view path) const { return local_.url(path); }
  int holding() {
    std::lock_guard lock(mutex_);
    return holding_;
  }
  void waitUntilHolding() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return holding_ > 0; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  LocalHttpServer local_;
  bool started_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  int holding_ = 0;
  bool released_ = false;
};

TEST(RedirectRun, AStopThatAbortsRequestsEndsTheRunWithoutWaitingForTheAnswer) {
  for (const int jobs : {1, 3}) {
    HoldingServer server;
    ASSERT_TRUE(server.started());
    RedirectOptions options;
    options.jobs = jobs;
    options.stopAbortsRequests = true;
    options.addresses = {server.url("/to/1"), server.url("/to/2"), server.url("/hold"), server.url("/to/4")};
    std::atomic<int> handedOn{0};
    options.onAddress = [&](const AddressOutcome&) { ++handedOn; };
    PlainRunContext ctx;
    // The stop comes while the third address is held and the first two have been handed on.
    std::thread stopper([&] {
      server.waitUntilHolding();
      while (handedOn.load() < 2) std::this_thread::yield();
      ctx.requestStop();
    });
    const RedirectOutcome outcome = RedirectRun(options, ctx);
    const int stillHolding = server.holding();
    stopper.join();

    EXPECT_GT(stillHolding, 0) << jobs << " jobs: the run waited for the held answer";
    EXPECT_TRUE(outcome.stopped) << jobs;
    // The address cut short is neither a result nor a failure.
    EXPECT_EQ(outcome.results, "http://t/1\r\nhttp://t/2\r\n") << jobs;
    EXPECT_EQ(outcome.failedList, "") << jobs;
    EXPECT_TRUE(ctx.failures.empty()) << jobs;
    EXPECT_EQ(outcome.finished, 2u) << jobs;
  }
}

TEST(RedirectRun, ReadsTheAgentAfreshForEveryAddress) {
  RedirectServer server;
  ASSERT_TRUE(server.started());
  RedirectOptions options;
  options.addresses = {server.url("/to/x"), server.url("/to/y")};
  auto agent = std::make_shared<LiveOptions<std::string>>("agent 1");
  options.liveUserAgent = agent;
  options.userAgent = "not sent";
  // The box changes while the first address is done: the second goes out with the new agent.
  options.onAddress = [&agent](const AddressOutcome& item) { agent->set("agent " + std::to_string(item.index + 2)); };
  PlainRunContext ctx;
  RedirectRun(options, ctx);
  EXPECT_EQ(server.agents(), (Lines{"agent 1", "agent 2"}));

  options.liveUserAgent = nullptr;
  options.onAddress = nullptr;
  options.userAgent = "fixed\r\nX-Evil: 1";
  RedirectRun(options, ctx);
  EXPECT_EQ(server.agents(), (Lines{"agent 1", "agent 2", "fixedX-Evil: 1", "fixedX-Evil: 1"}));
}

TEST(RedirectRun, SeveralJobsKeepTheInputOrder) {
  RedirectServer server;
  // Early addresses answer last.
  server.onRequest = [](const std::string& name) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max(0, 12 - std::stoi(name)) * 15));
  };
  ASSERT_TRUE(server.started());
  RedirectOptions options;
  options.jobs = 4;
  std::string want;
  for (int i = 1; i <= 12; ++i) {
    options.addresses.push_back(server.url("/to/" + std::to_string(i)));
    want += "http://t/" + std::to_string(i) + "\r\n";
  }
  options.addresses.push_back("");
  want += "\r\n";
  std::vector<size_t> order;
  options.onAddress = [&](const AddressOutcome& item) { order.push_back(item.index); };
  PlainRunContext ctx;
  const RedirectOutcome outcome = RedirectRun(options, ctx);
  EXPECT_EQ(outcome.results, want);
  ASSERT_EQ(order.size(), 13u);
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(outcome.failedList, "\r\n");
}

// A server as small as they come: a listen backlog of one, and an accept loop that lets a waiting
// connection sit a little before taking it, as a busy server would. Just before each accept it notes
// how many connections were waiting; a full backlog (two, for a backlog of one) means that further
// connects were being dropped, each to be tried again by the client's kernel a second later. Every
// request on an accepted connection is answered with a redirect to http://t/ + the path's last part;
// connections stay open.
class SmallBacklogServer {
 public:
  SmallBacklogServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~SmallBacklogServer() {
    stop_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    {
      std::lock_guard lock(mutex_);
      for (const int fd : connections_) ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& thread : servers_) thread.join();
    for (const int fd : connections_) ::close(fd);
    if (listener_ >= 0) ::close(listener_);
  }
  bool started() const { return port_ != 0; }
  std::string url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  int mostWaiting() const { return mostWaiting_.load(); }
  size_t connections() {
    std::lock_guard lock(mutex_);
    return connections_.size();
  }

 private:
  void acceptLoop() {
    while (!stop_) {
      pollfd waiting{listener_, POLLIN, 0};
      if (::poll(&waiting, 1, 20) <= 0) continue;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      tcp_info info{};
      socklen_t size = sizeof info;
      if (::getsockopt(listener_, IPPROTO_TCP, TCP_INFO, &info, &size) == 0) {
        mostWaiting_.store(std::max(mostWaiting_.load(), static_cast<int>(info.tcpi_unacked)));
      }
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::lock_guard lock(mutex_);
      connections_.push_back(fd);
      servers_.emplace_back([fd] { answer(fd); });
    }
  }

  static void answer(int fd) {
    std::string received;
    char buffer[4096];
    while (true) {
      const size_t end = received.find("\r\n\r\n");
      if (end == std::string::npos) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        received.append(buffer, static_cast<size_t>(n));
        continue;
      }
      const std::string requestLine = received.substr(0, received.find("\r\n"));
      received.erase(0, end + 4);
      const size_t pathEnd = requestLine.rfind(' ');
      const std::string name = requestLine.substr(requestLine.rfind('/', pathEnd) + 1,
                                                  pathEnd - requestLine.rfind('/', pathEnd) - 1);
      const std::string response =
          "HTTP/1.1 302 Found\r\nLocation: http://t/" + name + "\r\nContent-Length: 0\r\n\r\n";
      if (::send(fd, response.data(), response.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(response.size())) {
        return;
      }
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> mostWaiting_{0};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<int> connections_;
  std::vector<std::thread> servers_;
};

TEST(RedirectRun, SeveralJobsOpenTheirConnectionsOneAfterAnother) {
  SmallBacklogServer server;
  ASSERT_TRUE(server.started());
  RedirectOptions options;
  options.jobs = 16;
  std::string want;
  for (int i = 1; i <= 64; ++i) {
    options.addresses.push_back(server.url("/p/" + std::to_string(i)));
    want += "http://t/" + std::to_string(i) + "\r\n";
  }
  PlainRunContext ctx;
  const RedirectOutcome outcome = RedirectRun(options, ctx);
  EXPECT_EQ(outcome.results, want);
  EXPECT_EQ(outcome.failed, 0u);
  // Never a second connection waiting to be accepted: the backlog was never full, nothing dropped.
  EXPECT_LE(server.mostWaiting(), 1);
  // Each job kept the one connection it opened.
  EXPECT_LE(server.connections(), 16u);
}

}  // namespace
}  // namespace chengling
