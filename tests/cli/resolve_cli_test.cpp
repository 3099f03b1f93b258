// chengling-cli resolve end to end, against a server on 127.0.0.1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/http_client.h"
#include "support/local_http_server.h"
#include "support/test_support.h"

namespace chengling::testing {
namespace {

const std::string kCli = CHENGLING_CLI;

// /to/NAME redirects to http://t/NAME, /guarded redirects by a conditional script, the rest has no
// redirect; the agent of every request is kept.
class ResolveCli : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& server = local_.server();
    server.Get(R"(/to/(\w+))", [this](const httplib::Request& request, httplib::Response& r) {
      record(request);
      const std::string name = request.matches[1];
      if (name.starts_with("slow")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
      }
      r.set_redirect("http://t/" + name);
    });
    server.Get("/guarded", [this](const httplib::Request& request, httplib::Response& r) {
      record(request);
      r.set_content("<script>if (ok) location.href = '/inside';</script>", "text/html");
    });
    server.Get(".*", [this](const httplib::Request& request, httplib::Response& r) {
      record(request);
      r.set_content("<p>stay</p>", "text/html");
    });
    ASSERT_TRUE(local_.start());
  }

  struct Run {
    int status = -1;
    std::string out;
    std::string err;
  };
  Run resolve(const std::string& arguments, const std::string& list) {
    writeBytes(dir_ / "list.txt", list);
    Run run;
    run.status = runCommand(kCli + " resolve " + arguments + " 2>'" + (dir_ / "err.txt") + "'", &run.out);
    run.err = readBytes(dir_ / "err.txt");
    return run;
  }
  std::string listPath() { return "'" + (dir_ / "list.txt") + "'"; }
  std::vector<std::string> agents() {
    std::lock_guard lock(mutex_);
    return agents_;
  }

  LocalHttpServer local_;
  LocalHttpServer chain_;  // a second server, for the tests that shape their own pages
  TempDir dir_;

 private:
  void record(const httplib::Request& request) {
    std::lock_guard lock(mutex_);
    agents_.push_back(request.get_header_value("User-Agent"));
  }
  std::mutex mutex_;
  std::vector<std::string> agents_;
};

TEST_F(ResolveCli, WritesOneLinePerAddressAndTheFailuresOnStandardError) {
  const std::string failing = local_.url("/none");
  const std::string list =
      local_.url("/to/a") + "\r\n\r\n" + local_.hostAndPort("/none#top") + "\r\n" + local_.url("/to/b") + "\r\n";
  struct Case {
    std::string placeholder;
    std::string wantOut;
  };
  const Case kCases[] = {
      {"", "http://t/a\n\n" + failing + "\nhttp://t/b\n"},
      {"--placeholder source", "http://t/a\n\n" + failing + "\nhttp://t/b\n"},
      {"--placeholder empty", "http://t/a\n\n\nhttp://t/b\n"},
      {"--placeholder none", "http://t/a\nhttp://t/b\n"},
  };
  for (const Case& c : kCases) {
    const Run run = resolve(c.placeholder + " " + listPath(), list);
    EXPECT_EQ(run.status, 1) << c.placeholder;
    EXPECT_EQ(run.out, c.wantOut) << c.placeholder;
    EXPECT_EQ(run.err, "\n" + failing + "\n") << c.placeholder;
  }
}

TEST_F(ResolveCli, ReadsStandardInputAndSucceedsWhenEveryAddressResolves) {
  const std::string list = local_.url("/to/x") + "\n" + local_.url("/to/y") + "\n";
  writeBytes(dir_ / "list.txt", list);
  for (const std::string source : {" - <", " <"}) {
    std::string out;
    EXPECT_EQ(runCommand(kCli + " resolve" + source + listPath(), &out), 0) << source;
    EXPECT_EQ(out, "http://t/x\nhttp://t/y\n") << source;
  }
}

TEST_F(ResolveCli, SendsTheChosenAgent) {
  const std::string list = local_.url("/to/u") + "\n";
  struct Case {
    std::string argument;
    std::string want;
  };
  const Case kCases[] = {
      {"", "Mozilla/5.0 (Linux; Android 5.0; SM-N9100 Build/LRX21V) AppleWebKit/537.36 (KHTML, like "
           "Gecko) Version/4.0 Chrome/37.0.0.0 Mobile Safari/537.36 V1_AND_SQ_5.3.1_196_YYB_D "
           "QQ/5.3.1.2335 NetType/WIFI"},
      {"--ua 0", "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)"},
      {"--ua 9", "Opera/9.99 (Windows NT 5.1; U; zh-CN) Presto/9.9.9"},
      {"--ua 'My Agent/1.0'", "My Agent/1.0"},
  };
  std::vector<std::string> want;
  for (const Case& c : kCases) {
    EXPECT_EQ(resolve(c.argument + " " + listPath(), list).status, 0) << c.argument;
    want.push_back(c.want);
  }
  EXPECT_EQ(agents(), want);
}

TEST_F(ResolveCli, TrimsBlanksAndNamesALineOfAnotherSchemeInvalid) {
  const std::string ftp = "ftp://" + local_.hostAndPort("/to/f");
  const std::string mailto = "mailto:someone@" + local_.hostAndPort("/to/m");
  const std::string list = "  " + local_.url("/to/a") + "\t\r\n" + ftp + "\r\n\t " + local_.hostAndPort("/to/b") +
                           " \n" + mailto + "\n";
  const Run run = resolve(listPath(), list);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "http://t/a\n" + ftp + "\nhttp://t/b\n" + mailto + "\n");
  const std::string invalid = utf8(u8"：地址无效\n");
  EXPECT_EQ(run.err, ftp + invalid + mailto + invalid);
  EXPECT_EQ(agents().size(), 2u) << "only the two web addresses were requested";
}

TEST_F(ResolveCli, RejectsBadOptionsAsUsageErrors) {
  const std::string list = local_.url("/to/u") + "\n";
  for (const std::string arguments :
       {"--ua 15", "--ua 999", "--jobs 0", "--jobs 65", "--placeholder maybe", "--no-such-flag"}) {
    const Run run = resolve(arguments + " " + listPath(), list);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_EQ(run.out, "") << arguments;
  }
  EXPECT_EQ(resolve("'" + (dir_ / "missing.txt") + "'", "").status, 2);
  EXPECT_TRUE(agents().empty());
}

TEST_F(ResolveCli, SeveralJobsKeepTheInputOrder) {
  std::string list;
  std::string want;
  for (int i = 0; i < 16; ++i) {
    const std::string name = (i % 4 == 0 ? "slow" : "n") + std::to_string(i);
    list += local_.url("/to/" + name) + "\n";
    want += "http://t/" + name + "\n";
  }
  const Run run = resolve("--jobs 4 " + listPath(), list);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, want);
}

TEST_F(ResolveCli, LooseMatchingAcceptsConditionalScripts) {
  const std::string list = local_.url("/guarded") + "\n";
  EXPECT_EQ(resolve(listPath(), list).out, local_.url("/guarded") + "\n");
  const Run loose = resolve("--loose " + listPath(), list);
  EXPECT_EQ(loose.status, 0);
  EXPECT_EQ(loose.out, local_.url("/inside") + "\n");
}

// The exit status and peak resident memory (bytes) of one run of the CLI, its standard output
// written to `out`; a status of -1 when it could not be run or did not exit.
struct MeasuredRun {
  int status = -1;
  long long peak = 0;
};
MeasuredRun measureRun(const std::vector<std::string>& arguments, const std::string& out) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(kCli.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int quiet = ::open("/dev/null", O_WRONLY);
    if (fd < 0 || quiet < 0 || ::dup2(fd, 1) < 0 || ::dup2(quiet, 2) < 0) ::_exit(127);
    ::execv(kCli.c_str(), argv.data());
    ::_exit(127);
  }
  MeasuredRun run;
  int status = 0;
  struct rusage usage {};
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status)) return run;
  run.status = WEXITSTATUS(status);
  run.peak = static_cast<long long>(usage.ru_maxrss) * 1024;
  return run;
}

// gzip of `head` followed by `block` `count` times, made without holding what it inflates to.
std::string gzipRepeated(const std::string& head, const std::string& block, size_t count) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
  std::string out;
  char window[65536];
  auto pump = [&](const std::string& in, int flush) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    stream.avail_in = static_cast<uInt>(in.size());
    do {
      stream.next_out = reinterpret_cast<Bytef*>(window);
      stream.avail_out = sizeof window;
      deflate(&stream, flush);
      out.append(window, sizeof window - stream.avail_out);
    } while (stream.avail_out == 0);
  };
  pump(head, Z_NO_FLUSH);
  for (size_t i = 0; i < count; ++i) pump(block, Z_NO_FLUSH);
  pump("", Z_FINISH);
  deflateEnd(&stream);
  return out;
}

// Hostile pages cost each job a bounded head of a page, not the page, and only a few pages are
// examined at a time: 32 jobs against endless bodies, gzip bombs of 48 MiB (whose heads announce a
// redirect) and pages of nothing but head tags that all end at once stay at half the 256 MiB that
// hold at 64 jobs. Each page used to be held whole, and then more than once.
TEST_F(ResolveCli, HostilePagesCostEachJobOnlyTheHeadOfAPage) {
  const std::string block(64 * 1024, 'x');
  const std::string bomb = gzipRepeated(
      "<html><head><meta http-equiv=refresh content='0;url=/landing'></head><body>", block, 48 * 16);
  // Pages of nothing but opening head tags, the costliest to examine, all ending together once
  // every one has sent its head.
  constexpr int kTagPages = 16;
  const std::string tags = [] {
    std::string text;
    while (text.size() < (size_t{1} << 20)) text += "<head>";
    return text;
  }();
  std::mutex mutex;
  std::condition_variable sent;
  int heads = 0;
  LocalHttpServer hostile;
  hostile.server().new_task_queue = [] { return new httplib::ThreadPool(64); };  // every job at once
  hostile.server().Get(R"(/endless/\d+)", [&](const httplib::Request&, httplib::Response& r) {
    r.set_chunked_content_provider("text/html", [&](size_t, httplib::DataSink& sink) {
      return sink.write(block.data(), block.size());
    });
  });
  hostile.server().Get(R"(/bomb/\d+)", [&](const httplib::Request&, httplib::Response& r) {
    r.set_header("Content-Encoding", "gzip");
    r.set_content(bomb, "text/html");
  });
  hostile.server().Get(R"(/tags/\d+)", [&](const httplib::Request& request, httplib::Response& r) {
    // Page downloads send the default agent; probes the one chosen.
    if (request.get_header_value("User-Agent") != kDefaultUserAgent) {
      r.set_content("<p>probe</p>", "text/html");
      return;
    }
    r.set_chunked_content_provider("text/html", [&](size_t, httplib::DataSink& sink) {
      if (!sink.write(tags.data(), tags.size())) return false;
      std::unique_lock lock(mutex);
      ++heads;
      sent.notify_all();
      sent.wait_for(lock, std::chrono::seconds(10), [&] { return heads >= kTagPages; });
      sink.done();
      return true;
    });
  });
  ASSERT_TRUE(hostile.start());
  std::string list;
  std::string want;
  for (int i = 0; i < 2 * kTagPages; ++i) {
    const char* kind = i % 4 == 0 ? "/endless/" : i % 4 == 1 ? "/bomb/" : "/tags/";
    const std::string address = hostile.url(kind + std::to_string(i));
    list += address + "\n";
    // An endless page is over the size limit, a page of head tags has no redirect.
    want += (i % 4 == 1 ? hostile.url("/landing") : address) + "\n";
  }
  writeBytes(dir_ / "list.txt", list);
  const MeasuredRun run =
      measureRun({"resolve", "--jobs", std::to_string(2 * kTagPages), dir_ / "list.txt"}, dir_ / "out.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(readBytes(dir_ / "out.txt"), want);
#if !defined(__SANITIZE_ADDRESS__)  // whose allocator holds freed memory back for a while
  EXPECT_LT(run.peak, 128ll << 20) << run.peak / 1024 / 1024 << " MiB at the peak";
#endif
}

// --follow goes to the end of a chain; --chain shows every hop; with either, each failure comes on
// standard error as ADDRESS<TAB>REASON.
TEST_F(ResolveCli, FollowsChainsShowsThemAndSaysWhyAnAddressFailed) {
  auto& server = chain_.server();
  server.Get("/one", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/two", 301); });
  server.Get("/two", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<head><meta http-equiv=refresh content=\"0;url=/three\"></head>", "text/html");
  });
  server.Get("/three", [](const httplib::Request&, httplib::Response& r) {
    r.set_header("Refresh", "0; url=/four");
    r.set_content("wait", "text/plain");
  });
  server.Get("/four", [](const httplib::Request&, httplib::Response& r) { r.set_content("end", "text/plain"); });
  server.Get("/loop", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/loop", 302); });
  server.Get("/gone", [](const httplib::Request&, httplib::Response& r) {
    r.status = 404;
    r.set_content("gone", "text/plain");
  });
  ASSERT_TRUE(chain_.start());
  const std::string one = chain_.url("/one"), loop = chain_.url("/loop"), gone = chain_.url("/gone");
  const std::string list = one + "\n" + loop + "\n" + gone + "\n";
  const std::string looped = utf8(u8"\t跳转循环\n"), notFound = "\tHTTP 404\n";
  const std::string failed = utf8(u8"\t失败：");
  struct Case {
    std::string arguments;
    std::string wantOut, wantErr;
  };
  const Case kCases[] = {
      // Without the new options: one hop, and the failed addresses alone.
      {"", chain_.url("/two") + "\n" + loop + "\n" + gone + "\n", gone + "\n"},
      {"--reasons", chain_.url("/two") + "\n" + loop + "\n" + gone + "\n", gone + notFound},
      // The Refresh header counts only in 扩展模式; without it the chain ends at /three.
      {"--follow", chain_.url("/three") + "\n" + loop + "\n" + gone + "\n",
       loop + looped + gone + notFound},
      {"--follow --loose --jobs 3", chain_.url("/four") + "\n" + loop + "\n" + gone + "\n",
       loop + looped + gone + notFound},
      {"--follow --loose --chain",
       one + "\t301 " + chain_.url("/two") + "\tmeta " + chain_.url("/three") + "\tRefresh " + chain_.url("/four") +
           "\n" + loop + "\t302 " + loop + failed + utf8(u8"跳转循环\n") + gone + failed + "HTTP 404\n",
       loop + looped + gone + notFound},
  };
  for (const Case& c : kCases) {
    const Run run = resolve(c.arguments + " " + listPath(), list);
    EXPECT_EQ(run.status, 1) << c.arguments;
    EXPECT_EQ(run.out, c.wantOut) << c.arguments;
    EXPECT_EQ(run.err, c.wantErr) << c.arguments;
  }
}

}  // namespace
}  // namespace chengling::testing
