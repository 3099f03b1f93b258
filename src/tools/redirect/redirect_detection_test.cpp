#include "tools/redirect/redirect_detection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "support/local_http_server.h"

namespace chengling {
namespace {

using testing::LocalHttpServer;

TEST(ResolveRelative, JoinsTargetsToTheBaseAddress) {
  struct Case {
    std::string base, target, want;
  };
  const Case kCases[] = {
      {"http://a.example/p/q", "http://b/x", "http://b/x"},
      {"http://a.example/p/q", "/login", "http://a.example/login"},
      {"http://a.example/p/q", "next.html", "http://a.example/p/next.html"},
      {"http://a.example", "next.html", "http://a.example/next.html"},
      {"http://a.example", "/root", "http://a.example/root"},
      {"HTTPS://A.example:8443/x?y=1", "/z", "HTTPS://A.example:8443/z"},
      {"https://a.example/p/q", "//cdn.example/lib.js", "https://cdn.example/lib.js"},
      {"a.example/p/q", "/r", "a.example/r"},
      {"a.example/p/q", "s", "a.example/p/s"},
      {"http://a.example/p/q", "ftp://f/x", "ftp://f/x"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(ResolveRelative(c.base, c.target), c.want) << c.base << " + " << c.target;
  }
}

// As a browser joins them (RFC 3986, 5.2.4): only the path of a joined address loses its dot
// segments; its query and an absolute target stay as they are.
TEST(ResolveRelative, RemovesDotSegmentsFromTheJoinedPath) {
  struct Case {
    std::string base, target, want;
  };
  const Case kCases[] = {
      {"http://a.example/p/q/r", "../x", "http://a.example/p/x"},
      {"http://a.example/p/q/r", "../../x", "http://a.example/x"},
      {"http://a.example/p/q/r", "../../../../x", "http://a.example/x"},
      {"http://a.example/p/q/r", "./x", "http://a.example/p/q/x"},
      {"http://a.example/p/q/r", "x/./y/../z", "http://a.example/p/q/x/z"},
      {"http://a.example/p/q/r", ".", "http://a.example/p/q/"},
      {"http://a.example/p/q/r", "..", "http://a.example/p/"},
      {"http://a.example/p/q/r", "../", "http://a.example/p/"},
      {"http://a.example/p/q/r", "/a/b/../c", "http://a.example/a/c"},
      {"http://a.example/p/q/r", "/./a", "http://a.example/a"},
      {"https://a.example/p", "//cdn.example/v1/../lib.js", "https://cdn.example/lib.js"},
      {"http://a.example", "../x", "http://a.example/x"},
      {"http://a.example/p/q", "../x?back=../y#../z", "http://a.example/x?back=../y#../z"},
      {"http://a.example/p/q", "..x/.y/z..", "http://a.example/p/..x/.y/z.."},
      {"http://a.example/p/q", "../中文/./页", "http://a.example/中文/页"},
      {"a.example/p/q", "../s", "a.example/s"},
      {"http://a.example/p/q", "http://b.example/x/../y", "http://b.example/x/../y"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(ResolveRelative(c.base, c.target), c.want) << c.base << " + " << c.target;
  }
}

TEST(PrepareAddress, TrimsBlanksAndRefusesOtherSchemes) {
  struct Case {
    std::string line;
    bool wantUsable;
    std::string want;  // the line afterwards
  };
  const Case kCases[] = {
      {"  http://a.example/x  ", true, "http://a.example/x"},
      {"\t http://a.example/x\t", true, "http://a.example/x"},
      {" a.example/x ", true, "a.example/x"},
      {"HTTPS://a.example/x", true, "HTTPS://a.example/x"},
      {"a.example:8080/x", true, "a.example:8080/x"},
      {"localhost:8080", true, "localhost:8080"},
      {"127.0.0.1:80/x", true, "127.0.0.1:80/x"},
      {"a.example/go?to=ftp://b/c", true, "a.example/go?to=ftp://b/c"},
      {"a.example/x y", true, "a.example/x y"},
      {"   ", true, ""},
      {"", true, ""},
      {" 中文.example/页 ", true, "中文.example/页"},
      {"ftp://a.example/x", false, "ftp://a.example/x"},
      {"  FTP://a.example/x ", false, "FTP://a.example/x"},
      {"file:///etc/passwd", false, "file:///etc/passwd"},
      {"://a.example/x", false, "://a.example/x"},
      {"mailto:someone@a.example", false, "mailto:someone@a.example"},
      {"javascript:void(0)", false, "javascript:void(0)"},
      {"data:text/html,<p>", false, "data:text/html,<p>"},
      {"a.example:abc/x", false, "a.example:abc/x"},
  };
  for (const Case& c : kCases) {
    std::string line = c.line;
    EXPECT_EQ(prepareAddress(line), c.wantUsable) << c.line;
    EXPECT_EQ(line, c.want) << c.line;
  }
}

TEST(ContentRedirect, ReadsMetaRefreshAndScriptAssignments) {
  const std::string base = "http://a.example/p/q";
  struct Case {
    std::string name;
    std::string page;
    std::string strict;  // result without loose matching
    std::string loose;   // result with it
  };
  const std::string meta = R"(<html><head><meta http-equiv="refresh" content="0; )";
  const std::vector<Case> kCases = {
      {"meta url=", meta + R"(url=http://c/"></head></html>)", "http://c/", "http://c/"},
      {"meta URL=", meta + R"(URL=http://c/"></head></html>)", "http://c/", "http://c/"},
      {"meta Url=", meta + R"(Url=http://c/"></head></html>)", "http://c/", "http://c/"},
      {"meta quoted", R"(<head><META HTTP-EQUIV="Refresh" CONTENT="3;URL='/d'"></head>)",
       "http://a.example/d", "http://a.example/d"},
      {"meta spaced", R"(<head><meta http-equiv = "Refresh" content = "0; URL = /sp"></head>)",
       "http://a.example/sp", "http://a.example/sp"},
      {"meta relative", meta + R"(url=there.html"></head>)", "http://a.example/p/there.html",
       "http://a.example/p/there.html"},
      {"meta in noscript of head",
       R"(<head><noscript><meta http-equiv="refresh" content="0;url=/n"></noscript></head>)", "", ""},
      {"no head, meta in noscript",
       R"(<body><noscript><meta http-equiv="refresh" content="0;url=/n"></noscript></body>)",
       "http://a.example/n", "http://a.example/n"},
      {"not a refresh", R"(<head><meta http-equiv="content-type" content="url=/x"></head>)", "", ""},
      {"metadata is not meta", R"(<head><metadata http-equiv="refresh" content="0;url=/m"></head>)",
       "", ""},
      {"window.location.href", "<script>window.location.href = \"/e\";</script>",
       "http://a.example/e", "http://a.example/e"},
      {"self.location", "<script>self.location='rel.html'</script>", "http://a.example/p/rel.html",
       "http://a.example/p/rel.html"},
      {"top.location", "<script>top.location = 'http://t/'</script>", "http://t/", "http://t/"},
      {"conditional", "<script>if (a) { location.href = '/f'; }</script>", "", "http://a.example/f"},
      {"conditional tight", "<script>IF(a) location.href='/f'</script>", "", "http://a.example/f"},
      {"not the first script", "<script>var a = 1;</script><script>location.href='/h'</script>", "",
       ""},
      {"window.navigate", "<script>window.navigate('/g');</script>", "http://a.example/g",
       "http://a.example/g"},
      {"no script", "<html><body>plain</body></html>", "", ""},
      {"empty page", "", "", ""},
      {"GBK page", "<head><title>中文标题</title><meta http-equiv=refresh content=\"0;url=/中文\"></head>",
       "http://a.example/中文", "http://a.example/中文"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(contentRedirect(c.page, base, false), c.strict) << c.name;
    EXPECT_EQ(contentRedirect(c.page, base, true), c.loose) << c.name;
  }
}

TEST(ResolveAddress, UsesTheLocationFirstAndThePageOtherwise) {
  LocalHttpServer local;
  std::mutex mutex;
  std::map<std::string, int> hits;
  auto& server = local.server();
  server.set_pre_routing_handler([&](const httplib::Request& request, httplib::Response&) {
    std::lock_guard lock(mutex);
    ++hits[request.path];
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.Get("/away", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("http://b/x"); });
  server.Get("/p/q", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/login"); });
  server.Get("/p/r", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("next.html"); });
  server.Get("/p/q/up", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("../x/./y"); });
  server.Get("/p/dots", [](const httplib::Request&, httplib::Response& r) {
    r.set_content(R"(<head><meta http-equiv="refresh" content="0; url=../landing/./here"></head>)", "text/html");
  });
  server.Get("/meta", [](const httplib::Request&, httplib::Response& r) {
    r.set_content(R"(<head><meta http-equiv="refresh" content="0; url=/landing"></head>)", "text/html");
  });
  server.Get("/guarded", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<script>if (ok) location.href = 'guarded-target';</script>", "text/html");
  });
  server.Get("/plain", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<p>stay</p>", "text/html");
  });
  ASSERT_TRUE(local.start());
  struct Case {
    std::string address;
    std::string path;  // the path the address requests
    bool loose;
    std::string want;
    std::string wantUrl;  // the caller's variable afterwards
    int wantHits;         // 1: probe only; 2: probe and page download
  };
  const std::vector<Case> kCases = {
      {local.url("/away"), "/away", false, "http://b/x", local.url("/away"), 1},
      {local.hostAndPort("/p/q#frag"), "/p/q", false, local.url("/login"), local.url("/p/q"), 1},
      {local.url("/p/r"), "/p/r", false, local.url("/p/next.html"), local.url("/p/r"), 1},
      {local.url("/p/q/up"), "/p/q/up", false, local.url("/p/x/y"), local.url("/p/q/up"), 1},
      {local.url("/p/dots"), "/p/dots", false, local.url("/landing/here"), local.url("/landing/here"), 2},
      {local.url("/meta"), "/meta", false, local.url("/landing"), local.url("/landing"), 2},
      {local.url("/guarded"), "/guarded", false, "", local.url("/guarded"), 2},
      {local.url("/guarded"), "/guarded", true, local.url("/guarded-target"),
       local.url("/guarded-target"), 2},
      {local.url("/plain"), "/plain", false, "", local.url("/plain"), 2},
      {"", "", false, "", "", 0},
  };
  HttpClientOptions options;
  options.probeTimeoutMs = 3000;
  options.pageTimeoutMs = 3000;
  HttpClient http(options);
  for (const Case& c : kCases) {
    {
      std::lock_guard lock(mutex);
      hits.clear();
    }
    std::string url = c.address;
    EXPECT_EQ(ResolveAddress(http, url, "agent", c.loose), c.want) << c.address;
    EXPECT_EQ(url, c.wantUrl) << c.address;
    std::lock_guard lock(mutex);
    int total = 0;
    for (const auto& [path, count] : hits) total += count;
    EXPECT_EQ(c.path.empty() ? total : hits[c.path], c.wantHits) << c.address;
  }
}

// A page is read by its head: a redirect near its top is found however long the page is; one
// announced only after the head limit is not seen.
TEST(AnalyseContent, ReadsTheHeadOfALongPage) {
  const std::string filler(size_t{2} << 20, 'x');
  LocalHttpServer local;
  auto& server = local.server();
  server.Get("/top", [&](const httplib::Request&, httplib::Response& r) {
    r.set_content("<head><meta http-equiv=refresh content='0;url=/landing'></head><body>" + filler, "text/html");
  });
  server.Get("/script", [&](const httplib::Request&, httplib::Response& r) {
    r.set_content("<body><script>location.href = '/scripted';</script>" + filler, "text/html");
  });
  server.Get("/late", [&](const httplib::Request&, httplib::Response& r) {
    r.set_content("<body>" + filler + "<script>location.href = '/late-target';</script>", "text/html");
  });
  ASSERT_TRUE(local.start());
  HttpClientOptions options;
  options.probeTimeoutMs = 3000;
  options.pageTimeoutMs = 3000;
  HttpClient http(options);
  const std::pair<std::string, std::string> kCases[] = {
      {"/top", local.url("/landing")},
      {"/script", local.url("/scripted")},
      {"/late", ""},
  };
  for (const auto& [path, want] : kCases) {
    std::string url = local.url(path);
    EXPECT_EQ(AnalyseContent(http, url, false), want) << path;
  }
}

TEST(LooseReading, ReadsRefreshContentScriptsReferencesAndTargets) {
  const std::pair<std::string, std::string> kRefresh[] = {
      {"0; url=http://c/", "http://c/"},
      {"0;URL='/d'", "/d"},
      {" 5 ,  Url = \"/e f\" ", "/e f"},
      {"0, /g", "/g"},
      {"1.5;url=h", "h"},
      {"5", ""},
      {"url=/no-delay", ""},
  };
  for (const auto& [content, want] : kRefresh) EXPECT_EQ(refreshTarget(content), want) << content;

  const std::pair<std::string, std::string> kScripts[] = {
      {"location.replace(\"/a\")", "/a"},
      {"window.location.replace( '/a' );", "/a"},
      {"document.location.assign(`/a`)", "/a"},
      {"parent.location = '/a'", "/a"},
      {"location='/a'", "/a"},
      {"var u = 'x'; location.href = \"https:\\/\\/b.example\\/p?x=1\\u0026y=2\";", "https://b.example/p?x=1&y=2"},
      {"if (location == '/no') {} location.href = '/yes';", "/yes"},
      {"location.href = '/base' + path; location = '/fixed';", "/fixed"},
      {"mylocation = '/no'", ""},
      {"a.location = '/no'", ""},
      {"location.href = url;", ""},
      {"location = `/t/${id}`", ""},
      {"location.reload()", ""},
      {"var here = location.href;", ""},
  };
  for (const auto& [script, want] : kScripts) EXPECT_EQ(looseScriptTarget(script), want) << script;

  const std::pair<std::string, std::string> kReferences[] = {
      {"/p?a=1&amp;b=2&#38;c=&#x33;", "/p?a=1&b=2&c=3"},
      {"&lt;&gt;&quot;&apos;", "<>\"'"},
      {"/x?q=&#20013;", "/x?q=中"},
      {"a & b &unknown; &amp", "a & b &unknown; &amp"},
  };
  for (const auto& [text, want] : kReferences) EXPECT_EQ(decodeCharacterReferences(text), want) << text;

  struct Join {
    std::string base, target, want;
  };
  const Join kJoins[] = {
      {"http://a.example/p/q?r=1/2", "next", "http://a.example/p/next"},
      {"http://a.example/p/q?r=1", "?s=2", "http://a.example/p/q?s=2"},
      {"https://a.example/p", "//b.example/x", "https://b.example/x"},
      {"http://a.example/p", "/go?to=http://b/c", "http://a.example/go?to=http://b/c"},
      {"http://a.example/p", "go?to=http://b/c", "http://a.example/go?to=http://b/c"},
      {"http://a.example/p", "HTTPS://b.example/", "HTTPS://b.example/"},
      {"http://a.example/p", "weixin://dl/x", "weixin://dl/x"},
      {"http://a.example/p", "#top", ""},
      {"http://a.example/p", "  ", ""},
  };
  for (const Join& j : kJoins) EXPECT_EQ(resolveLoosely(j.base, j.target), j.want) << j.base << " + " << j.target;
}

TEST(ContentRedirect, LooseModeReadsTheNewFormsAndStrictModeDoesNot) {
  const std::string base = "http://a.example/p/q";
  struct Case {
    std::string page, strict, loose;
  };
  const Case kCases[] = {
      {"<script>location.replace('/r')</script>", "", "http://a.example/r"},
      {"<script>document.location = \"//cdn.example/x\"</script>", "", "http://cdn.example/x"},
      {"<head><meta http-equiv=refresh content=\"0;url=/m?a=1&amp;b=2\"></head>", "http://a.example/m?a=1&amp;b=2",
       "http://a.example/m?a=1&b=2"},
      {"<head><meta http-equiv=refresh content='0, /comma'></head>", "", "http://a.example/comma"},
      // The strict reading joins whatever it finds; 扩展模式 knows a script address leads nowhere.
      {"<script>location.href = 'javascript:void(0)'</script>", "http://a.example/p/javascript:void(0)", ""},
      {"<script>location.href = 'weixin://dl/chat'</script>", "weixin://dl/chat", "weixin://dl/chat"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(contentRedirect(c.page, base, false), c.strict) << c.page;
    EXPECT_EQ(contentRedirect(c.page, base, true), c.loose) << c.page;
  }
}

}  // namespace
}  // namespace chengling
