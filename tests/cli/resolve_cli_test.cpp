// chengling-cli resolve end to end, against a server on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

}  // namespace
}  // namespace chengling::testing
