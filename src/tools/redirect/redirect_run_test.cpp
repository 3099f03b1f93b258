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
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/local_http_server.h"
#include "support/test_support.h"

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


// Pages by path, each answering with a status, headers and a body; any other path is a plain page
// without a redirect. Holds the shapes in which real pages redirect.
class ShapeServer {
 public:
  struct Page {
    int status = 200;
    std::string location;
    std::string refresh;
    std::string body;
    int delayMs = 0;
  };
  ShapeServer() {
    local_.server().Get(".*", [this](const httplib::Request& request, httplib::Response& r) {
      Page page;
      {
        std::lock_guard lock(mutex_);
        const auto found = pages_.find(request.path);
        if (found == pages_.end()) {
          r.set_content("<p>end</p>", "text/html");
          return;
        }
        page = found->second;
      }
      if (page.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(page.delayMs));
      r.status = page.status;
      if (!page.location.empty()) r.set_header("Location", page.location);
      if (!page.refresh.empty()) r.set_header("Refresh", page.refresh);
      r.set_content(page.body, "text/html");
    });
  }
  bool start() { return local_.start(); }
  void add(const std::string& path, Page page) {
    std::lock_guard lock(mutex_);
    pages_[path] = std::move(page);
  }
  std::string url(std::string_view path) const { return local_.url(path); }
  std::string hostAndPort(std::string_view path) const { return local_.hostAndPort(path); }

 private:
  LocalHttpServer local_;
  std::mutex mutex_;
  std::map<std::string, Page> pages_;
};

// Kinds of hop as the chain names them, and how each one's page says where to go.
struct Form {
  std::string name;
  std::string kind;  // as the chain shows it
  std::function<ShapeServer::Page(const std::string& target)> page;
  bool header;  // the target travels in a header, where character references mean nothing
};

const std::vector<Form>& forms() {
  using Page = ShapeServer::Page;
  const auto script = [](std::string text) {
    return [text](const std::string& target) {
      std::string body = text;
      body.replace(body.find("@@"), 2, target);
      return Page{200, "", "", "<html><head><script>" + body + "</script></head><body></body></html>"};
    };
  };
  static const std::vector<Form> kForms = {
      {"301", "301", [](const std::string& t) { return Page{301, t, "", ""}; }, true},
      {"302", "302", [](const std::string& t) { return Page{302, t, "", ""}; }, true},
      {"307", "307", [](const std::string& t) { return Page{307, t, "", ""}; }, true},
      {"Refresh", "Refresh", [](const std::string& t) { return Page{200, "", "0; url=" + t, "<p>wait</p>"}; },
       true},
      {"Refresh quoted", "Refresh",
       [](const std::string& t) { return Page{200, "", "3;URL = '" + t + "'", "<p>wait</p>"}; }, true},
      {"meta", "meta",
       [](const std::string& t) {
         return Page{200, "", "",
                     "<head><meta http-equiv=\"refresh\" content=\"0; url='" + t + "'\"></head>"};
       },
       false},
      {"location.replace", "script", script("location.replace(\"@@\");"), false},
      {"window.location.replace", "script", script("window.location.replace( '@@' )"), false},
      {"location.assign", "script", script("location.assign('@@')"), false},
      {"window.location.href", "script", script("var a = 1;\nwindow.location.href = `@@`;"), false},
      {"document.location", "script", script("document.location = \"@@\";"), false},
      {"document.location.href", "script", script("document.location.href='@@'"), false},
      {"top.location.href", "script", script("if (top != self) {} top.location.href = \"@@\";"), false},
      {"self.location.href", "script", script("self.location.href = '@@';"), false},
      {"bare location", "script", script("setTimeout(function(){ location = '@@' }, 0);"), false},
  };
  return kForms;
}

// Chains of every kind of hop, followed in 扩展模式: the final address and the kinds of the hops,
// or the reason of the failure.
TEST(RedirectRun, FollowsEveryShapeOfRedirectToTheFinalAddress) {
  ShapeServer server;
  ASSERT_TRUE(server.start());
  struct Case {
    std::string name;
    std::string source;
    std::string wantFinal;   // empty: the address fails
    std::string wantKinds;   // the kinds of the hops, joined by " "
    std::string wantReason;  // for a failure
  };
  std::vector<Case> cases;
  const std::string host = server.hostAndPort("");
  // Each form with an absolute, a relative, a scheme-relative and a reference-holding target.
  for (size_t f = 0; f < forms().size(); ++f) {
    const Form& form = forms()[f];
    const std::string dir = "/f" + std::to_string(f) + "/";
    struct Variant {
      std::string name, target, wantPath;
    };
    const Variant variants[] = {
        {"absolute", "http://" + host + dir + "abs-end", dir + "abs-end"},
        {"relative", "../f" + std::to_string(f) + "/rel-end?x=1", dir + "rel-end?x=1"},
        {"scheme-relative", "//" + host + dir + "proto-end", dir + "proto-end"},
        {"references", dir + "ent-end?a=1&amp;b=&#50;", form.header ? dir + "ent-end?a=1&amp;b=&#50;"
                                                                     : dir + "ent-end?a=1&b=2"},
    };
    for (const Variant& v : variants) {
      const std::string path = dir + v.name;
      server.add(path, form.page(v.target));
      cases.push_back({form.name + " " + v.name, server.url(path), server.url(v.wantPath), form.kind, ""});
    }
  }
  // Chains of 2 to 10 hops, each hop of the next form; 11 hops are too many.
  for (const int length : {2, 3, 5, 10, 11}) {
    std::string kinds;
    for (int k = 0; k < length; ++k) {
      const Form& form = forms()[static_cast<size_t>(k * 7 + length) % forms().size()];
      const std::string path = "/chain" + std::to_string(length) + "/" + std::to_string(k);
      const std::string next = k + 1 < length ? "/chain" + std::to_string(length) + "/" + std::to_string(k + 1)
                                              : "/chain" + std::to_string(length) + "/end";
      server.add(path, form.page(next));
      kinds += (k == 0 ? "" : " ") + form.kind;
    }
    const std::string source = server.url("/chain" + std::to_string(length) + "/0");
    if (length <= kMaxHops) {
      cases.push_back({"chain of " + std::to_string(length), source,
                       server.url("/chain" + std::to_string(length) + "/end"), kinds, ""});
    } else {
      cases.push_back({"chain of 11", source, "", "", "跳转过多"});
    }
  }
  // A loop, one to itself, and a chain that ends at a page that is gone.
  server.add("/loop/a", {302, "/loop/b", "", ""});
  server.add("/loop/b", forms()[6].page("/loop/c"));
  server.add("/loop/c", {301, "/loop/a#again", "", ""});
  server.add("/self", {200, "", "0;url=/self", ""});
  server.add("/to-gone", {301, "/gone", "", ""});
  server.add("/gone", {404, "", "", "<p>gone</p>"});
  server.add("/error", {500, "", "", "<p>broken</p>"});
  server.add("/javascript", forms()[6].page("javascript:void(0)"));
  cases.push_back({"loop", server.url("/loop/a"), "", "", "跳转循环"});
  cases.push_back({"loop to itself", server.url("/self"), "", "", "跳转循环"});
  cases.push_back({"ends where a page is gone", server.url("/to-gone"), server.url("/gone"), "301", ""});
  cases.push_back({"no redirect", server.url("/plain"), "", "", "没有找到跳转"});
  cases.push_back({"not found", server.url("/gone"), "", "", "HTTP 404"});
  cases.push_back({"server error", server.url("/error"), "", "", "HTTP 500"});
  cases.push_back({"script going nowhere", server.url("/javascript"), "", "", "没有找到跳转"});
  cases.push_back({"other scheme", "ftp://" + host + "/x", "", "", "地址无效"});
  cases.push_back({"empty line", "", "", "", "地址为空"});
  ASSERT_GE(cases.size(), 30u);

  // Three jobs hold six kept-alive connections, within the test server's eight threads.
  for (const int jobs : {1, 3}) {
    RedirectOptions options;
    for (const Case& c : cases) options.addresses.push_back(c.source);
    options.looseMatch = true;
    options.follow = true;
    options.failureReasons = true;
    options.jobs = jobs;
    options.http.probeTimeoutMs = 5000;
    options.http.pageTimeoutMs = 5000;
    std::vector<AddressOutcome> items;
    options.onAddress = [&](const AddressOutcome& item) { items.push_back(item); };
    PlainRunContext ctx;
    const RedirectOutcome outcome = RedirectRun(options, ctx);
    ASSERT_EQ(items.size(), cases.size());
    std::string wantFailedReasons;
    size_t failures = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
      const Case& c = cases[i];
      const AddressOutcome& item = items[i];
      EXPECT_EQ(item.target, c.wantFinal) << c.name << " (" << jobs << " jobs)";
      std::string kinds;
      for (const Hop& hop : item.hops) kinds += (kinds.empty() ? "" : " ") + hop.kind;
      if (c.wantFinal.empty()) {
        EXPECT_EQ(item.reason, c.wantReason) << c.name;
        wantFailedReasons += c.wantReason + "\r\n";
        ASSERT_LT(failures, ctx.failures.size()) << c.name;
        EXPECT_EQ(ctx.failures[failures].reason, c.wantReason) << c.name;
        ++failures;
      } else {
        EXPECT_EQ(kinds, c.wantKinds) << c.name;
        EXPECT_EQ(item.reason, "") << c.name;
        EXPECT_EQ(item.hops.back().target, c.wantFinal) << c.name;
      }
    }
    EXPECT_EQ(outcome.failedReasons, wantFailedReasons);
    EXPECT_EQ(ctx.failures.size(), failures);
  }
}

// Without 扩展模式 and without following, the new shapes are not read and a chain gives its first
// hop only, as the address list always had it; failures carry no reason to the run's context.
TEST(RedirectRun, WithoutTheNewOptionsTakesOneHopByTheOldRules) {
  ShapeServer server;
  server.add("/two", {301, "/two-b", "", ""});
  server.add("/two-b", {302, "/two-c", "", ""});
  server.add("/refresh", {200, "", "0; url=/r", "<p>wait</p>"});
  server.add("/replace", forms()[6].page("/r"));
  server.add("/entity", forms()[5].page("/e?a=1&amp;b=2"));
  server.add("/meta-next", forms()[5].page("/two"));
  ASSERT_TRUE(server.start());
  struct Case {
    std::string path;
    bool loose, follow;
    std::string want;
  };
  const Case kCases[] = {
      {"/two", false, false, server.url("/two-b")},
      {"/two", true, false, server.url("/two-b")},
      {"/two", false, true, server.url("/two-c")},
      {"/refresh", false, false, ""},
      {"/refresh", false, true, ""},
      {"/refresh", true, false, server.url("/r")},
      {"/replace", false, false, ""},
      {"/replace", true, false, server.url("/r")},
      {"/entity", false, false, server.url("/e?a=1&amp;b=2")},
      {"/entity", true, false, server.url("/e?a=1&b=2")},
      // A page's target stands for the address from then on; followed, the chain goes on.
      {"/meta-next", false, false, server.url("/two")},
      {"/meta-next", false, true, server.url("/two-c")},
  };
  for (const Case& c : kCases) {
    RedirectOptions options;
    options.addresses = {server.url(c.path)};
    options.looseMatch = c.loose;
    options.follow = c.follow;
    PlainRunContext ctx;
    const RedirectOutcome outcome = RedirectRun(options, ctx);
    const std::string label = c.path + (c.loose ? " loose" : "") + (c.follow ? " follow" : "");
    EXPECT_EQ(outcome.results, (c.want.empty() ? server.url(c.path) : c.want) + "\r\n") << label;
    EXPECT_EQ(outcome.failed, c.want.empty() ? 1u : 0u) << label;
    for (const auto& failure : ctx.failures) EXPECT_EQ(failure.reason, "") << label;
  }
}

// Each failure says why, in words the user knows, for the ways a request itself fails.
TEST(RedirectRun, NamesWhyARequestFailed) {
  ShapeServer server;
  server.add("/slow", {200, "", "", "<p>late</p>", 1500});
  ASSERT_TRUE(server.start());
  const std::string closed = testing::closedLocalAddress();
  ASSERT_FALSE(closed.empty());

  testing::TempDir dir;
  const std::string cert = dir / "cert.pem";
  const std::string key = dir / "key.pem";
  const int made = testing::runCommand(
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
      "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" + key + "' -out '" + cert +
      "' 2>/dev/null");
  std::unique_ptr<LocalHttpServer> secure;
  if (made == 0) {
    secure = std::make_unique<LocalHttpServer>(cert, key);
    secure->server().Get("/x", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/y"); });
    ASSERT_TRUE(secure->start());
  }

  struct Case {
    std::string address;
    std::string want;
  };
  std::vector<Case> cases = {
      {closed, "连接被拒绝"},
      {server.url("/slow"), "连接超时"},
  };
  if (secure) cases.push_back({secure->url("/x"), "证书无效"});
  for (const bool follow : {false, true}) {
    RedirectOptions options;
    for (const Case& c : cases) options.addresses.push_back(c.address);
    options.follow = follow;
    options.failureReasons = true;
    options.http.probeTimeoutMs = 400;
    options.http.pageTimeoutMs = 400;
    PlainRunContext ctx;
    const RedirectOutcome outcome = RedirectRun(options, ctx);
    ASSERT_EQ(ctx.failures.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
      EXPECT_EQ(ctx.failures[i].item, cases[i].address);
      EXPECT_EQ(ctx.failures[i].reason, cases[i].want) << cases[i].address;
    }
    // The failed list stays a plain list of addresses; the reasons stand beside it, line for line.
    std::string wantList, wantReasons;
    for (const Case& c : cases) {
      wantList += c.address + "\r\n";
      wantReasons += c.want + "\r\n";
    }
    EXPECT_EQ(outcome.failedList, wantList);
    EXPECT_EQ(outcome.failedReasons, wantReasons);
  }
}

TEST(RedirectRun, WritesEachChainOnItsLine) {
  ShapeServer server;
  server.add("/a", {301, "/b", "", ""});
  server.add("/b", forms()[5].page("/c"));
  server.add("/c", {200, "", "0;url=/d", ""});
  server.add("/d", forms()[9].page("/end"));
  ASSERT_TRUE(server.start());
  RedirectOptions options;
  options.addresses = {server.hostAndPort("/a#top"), server.url("/plain")};
  options.looseMatch = true;
  options.follow = true;
  PlainRunContext ctx;
  const RedirectOutcome outcome = RedirectRun(options, ctx);
  EXPECT_EQ(outcome.chains, server.url("/a") + "\t301 " + server.url("/b") + "\tmeta " + server.url("/c") +
                                "\tRefresh " + server.url("/d") + "\tscript " + server.url("/end") + "\r\n" +
                                server.url("/plain") + "\t失败：没有找到跳转\r\n");
}

}  // namespace
}  // namespace chengling
