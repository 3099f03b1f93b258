#include "foundation/http_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/charset_conversion.h"
#include "foundation/internal_text.h"
#include "foundation/text_codec.h"
#include "support/local_http_server.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::utf8;
using testing::gb;
using testing::LocalHttpServer;

std::string gzipBytes(std::string_view data) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

HttpClientOptions quick() {
  HttpClientOptions options;
  options.probeTimeoutMs = 3000;
  options.pageTimeoutMs = 3000;
  return options;
}

// A listening socket on 127.0.0.1 at a port the system chooses, returned in `port`.
int listenOnLoopback(int backlog, int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(fd, backlog);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

// Accepts connections on 127.0.0.1 and keeps each request's header block as it arrived, byte for
// byte, so that the order of the header lines can be checked. Answers every request with `answer`,
// sent as it is (a 302 unless told otherwise).
class RawCapture {
 public:
  explicit RawCapture(std::string answer = "HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 0\r\n"
                                           "Connection: close\r\n\r\n")
      : answer_(std::move(answer)) {
    fd_ = listenOnLoopback(8, port_);
    thread_ = std::thread([this] { serve(); });
  }
  ~RawCapture() {
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  int port() const { return port_; }
  std::vector<std::string> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void serve() {
    for (;;) {
      const int client = accept(fd_, nullptr, nullptr);
      if (client < 0) return;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        request.append(buffer, static_cast<size_t>(got));
      }
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      (void)send(client, answer_.data(), answer_.size(), MSG_NOSIGNAL);
      close(client);
    }
  }

  std::string answer_;
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

// The header lines of a captured request, without the request line.
std::vector<std::string> headerLines(const std::string& request) {
  std::vector<std::string> lines = splitText(request.substr(0, request.find("\r\n\r\n")), "\r\n");
  if (!lines.empty()) lines.erase(lines.begin());
  return lines;
}

TEST(ProbeRedirect, NormalisesTheAddressInPlaceAndRequestsIt) {
  LocalHttpServer local;
  std::mutex mutex;
  std::vector<std::string> paths;
  local.server().Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
    std::lock_guard lock(mutex);
    paths.push_back(request.path);
    response.set_redirect("/next");
  });
  ASSERT_TRUE(local.start());
  const std::string port = std::to_string(local.port());
  struct Case {
    std::string url;
    std::string want;      // the caller's variable afterwards
    std::string wantPath;  // what reached the server; empty for nothing
  };
  const Case kCases[] = {
      {local.hostAndPort("/a#top"), local.url("/a"), "/a"},
      {"HTTP://127.0.0.1:" + port + "/caps", "HTTP://127.0.0.1:" + port + "/caps", "/caps"},
      {"hTtP://127.0.0.1:" + port + "/mixed#x#y", "hTtP://127.0.0.1:" + port + "/mixed", "/mixed"},
      // Kept as typed; a TLS handshake with a plain server cannot succeed.
      {"HTTPS://127.0.0.1:" + port + "/s", "HTTPS://127.0.0.1:" + port + "/s", ""},
      {"", "", ""},
  };
  HttpClient client(quick());
  for (const Case& c : kCases) {
    paths.clear();
    std::string url = c.url;
    const std::string target = client.ProbeRedirect(url, "");
    EXPECT_EQ(url, c.want) << c.url;
    std::lock_guard lock(mutex);
    if (c.wantPath.empty()) {
      EXPECT_EQ(target, "") << c.url;
      EXPECT_TRUE(paths.empty()) << c.url;
    } else {
      EXPECT_EQ(target, "/next") << c.url;
      EXPECT_EQ(paths, std::vector<std::string>{c.wantPath}) << c.url;
    }
  }
}

TEST(ProbeRedirect, ReturnsTheLocationValueExactlyAndNothingWithoutOne) {
  LocalHttpServer local;
  auto& server = local.server();
  server.Get("/relative", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/next"); });
  server.Get("/absolute", [](const httplib::Request&, httplib::Response& r) {
    r.set_redirect("http://b/x", 301);
  });
  server.Get("/plain", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("<html>no redirect</html>", "text/html");
  });
  server.Get("/file", [](const httplib::Request&, httplib::Response& r) {
    r.set_redirect("file:///etc/passwd");
  });
  server.Get("/utf8", [](const httplib::Request&, httplib::Response& r) {
    r.status = 302;
    r.set_header("Location", utf8(u8"/目录/页"));
  });
  // The header block is complete long before the body ends (it never does).
  server.Get("/endless", [](const httplib::Request&, httplib::Response& r) {
    r.set_header("Location", "/after-endless");
    r.set_chunked_content_provider("text/html", [](size_t, httplib::DataSink& sink) {
      const std::string chunk(16384, 'x');
      return sink.write(chunk.data(), chunk.size());
    });
  });
  ASSERT_TRUE(local.start());
  struct Case {
    std::string path;
    std::string want;
  };
  const Case kCases[] = {
      {"/relative", "/next"},
      {"/absolute", "http://b/x"},
      {"/plain", ""},
      {"/missing", ""},
      {"/file", "file:///etc/passwd"},  // only reported: the probe never follows it
      {"/utf8", gb(u8"/目录/页")},
      {"/endless", "/after-endless"},
  };
  HttpClient client(quick());
  for (const Case& c : kCases) {
    std::string url = local.url(c.path);
    EXPECT_EQ(client.ProbeRedirect(url, "agent"), c.want) << c.path;
  }
}

// A bare CR inside a received Location would break the alignment of result lines. (libcurl itself
// refuses a header holding NUL.)
TEST(ProbeRedirect, ControlBytesInsideTheLocationAreRemoved) {
  RawCapture server("HTTP/1.1 302 Found\r\nLocation: http://a.example/x\ry\rz\r\n"
                    "Content-Length: 0\r\nConnection: close\r\n\r\n");
  HttpClient client(quick());
  std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/";
  EXPECT_EQ(client.ProbeRedirect(url, "agent"), "http://a.example/xyz");
}

TEST(ProbeRedirect, SendsItsFiveHeadersInOrderWithCleanValues) {
  RawCapture capture;
  const std::string base = "http://127.0.0.1:" + std::to_string(capture.port());
  const std::string accept =
      "Accept: image/gif, image/x-xbitmap, image/jpeg, imagepeg, application/x-shockwave-flash, "
      "application/x-silverlight, */*";
  struct Case {
    std::string agent;
    std::string referer;
    std::string wantAgent;
    std::string wantReferer;
  };
  const Case kCases[] = {
      {"", "", std::string(kDefaultUserAgent), base + "/p"},
      {"Evil\r\nX-Injected: 1", "a.example/r", "EvilX-Injected: 1", "http://a.example/r"},
      {std::string("Agent\0Cut", 9), "HTTPS://r.example/", "AgentCut", "HTTPS://r.example/"},
      {"My Agent", "\nhttp://q.example/", "My Agent", "http://q.example/"},
  };
  HttpClient client(quick());
  for (const Case& c : kCases) {
    std::string url = base + "/p";
    EXPECT_EQ(client.ProbeRedirect(url, c.agent, c.referer), "/x") << c.agent;
  }
  const std::vector<std::string> requests = capture.requests();
  ASSERT_EQ(requests.size(), std::size(kCases));
  for (size_t i = 0; i < requests.size(); ++i) {
    const Case& c = kCases[i];
    EXPECT_TRUE(requests[i].starts_with("GET /p HTTP/1.1\r\n")) << requests[i];
    const std::vector<std::string> want = {
        "Host: 127.0.0.1:" + std::to_string(capture.port()),
        "User-Agent: " + c.wantAgent,
        "Accept-Language: zh-cn",
        "Connection: Keep-Alive",
        accept,
        "Referer: " + c.wantReferer,
    };
    EXPECT_EQ(headerLines(requests[i]), want) << c.agent;
  }
}

TEST(HttpClient, GivesUpAtItsTimeouts) {
  LocalHttpServer local;
  local.server().Get("/slow", [](const httplib::Request&, httplib::Response& r) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    r.set_redirect("/late");
  });
  // A body that trickles on without end.
  local.server().Get("/drip", [](const httplib::Request&, httplib::Response& r) {
    r.set_chunked_content_provider("text/html", [](size_t, httplib::DataSink& sink) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return sink.write("<p>.</p>", 8);
    });
  });
  ASSERT_TRUE(local.start());
  HttpClientOptions options;
  options.probeTimeoutMs = 300;
  options.pageTimeoutMs = 400;
  HttpClient client(options);
  std::string url = local.url("/slow");
  EXPECT_EQ(client.ProbeRedirect(url, ""), "");
  url = local.url("/slow");
  EXPECT_EQ(client.FetchPage(url), "");
  url = local.url("/drip");
  EXPECT_EQ(client.FetchPage(url), "");
}

TEST(FetchPage, DecodesByTheCharsetOfTheHeadersOrByDetection) {
  LocalHttpServer local;
  const std::string emoji = utf8(u8"a😀");  // a four-byte form: detection does not take it as UTF-8
  struct Case {
    std::string path;
    std::string contentType;
    std::string body;
    std::string want;
    bool padHeaders = false;  // headers over 2048 bytes carry no charset information
  };
  const std::vector<Case> kCases = {
      {"/utf8", "text/html; charset=UTF-8", emoji, gb(u8"a😀")},
      {"/quoted", "text/html; Charset=\"utf-8\"", emoji, gb(u8"a😀")},
      {"/single", "text/html; charset='UTF-8'", emoji, gb(u8"a😀")},
      {"/none", "text/html", emoji, emoji},
      {"/meta", "text/html", utf8(u8"<head><meta charset=\"utf-8\"></head>中文"),
       gb(u8"<head><meta charset=\"utf-8\"></head>中文")},
      {"/gbk", "text/html", "中文页面", "中文页面"},
      {"/padded", "text/html; charset=utf-8", emoji, emoji, true},
      {"/gzip", "text/html; charset=utf-8", gzipBytes(utf8(u8"压缩的页")), gb(u8"压缩的页")},
  };
  for (const Case& c : kCases) {
    local.server().Get(c.path, [&c](const httplib::Request&, httplib::Response& r) {
      if (c.padHeaders) r.set_header("X-Padding", std::string(2100, 'p'));
      if (c.path == "/gzip") r.set_header("Content-Encoding", "gzip");
      r.set_content(c.body, c.contentType.c_str());
    });
  }
  ASSERT_TRUE(local.start());
  HttpClient client(quick());
  for (const Case& c : kCases) {
    std::string url = local.url(c.path);
    EXPECT_EQ(client.FetchPage(url), c.want) << c.path;
  }
}

TEST(FetchPage, SendsItsHeaderBlockAndCutsTheFragment) {
  LocalHttpServer local;
  std::mutex mutex;
  httplib::Headers seen;
  local.server().Get(".*", [&](const httplib::Request& request, httplib::Response& r) {
    std::lock_guard lock(mutex);
    seen = request.headers;
    r.set_content("ok", "text/plain");
  });
  ASSERT_TRUE(local.start());
  const std::string accept =
      "image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
      "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
      "application/msword, */*";
  struct Case {
    std::string url;
    std::string wantUrl;
    std::string wantAccept;  // empty: no Accept line at all
  };
  const Case kCases[] = {
      {local.url("/page#part"), local.url("/page"), accept},
      {local.url("/p?q=1"), local.url("/p?q=1"), accept},
      // The address itself holds "accept", which the Accept test finds in the Referer line.
      {local.url("/accept.html"), local.url("/accept.html"), ""},
  };
  HttpClient client(quick());
  for (const Case& c : kCases) {
    std::string url = c.url;
    EXPECT_EQ(client.FetchPage(url), "ok") << c.url;
    EXPECT_EQ(url, c.wantUrl);
    std::lock_guard lock(mutex);
    auto value = [&](const std::string& name) {
      auto it = seen.find(name);
      return it == seen.end() ? std::string("<none>") : it->second;
    };
    EXPECT_EQ(value("Referer"), c.wantUrl);
    EXPECT_EQ(value("Accept"), c.wantAccept.empty() ? "<none>" : c.wantAccept) << c.url;
    EXPECT_EQ(value("Accept-Language"), "zh-cn");
    EXPECT_EQ(value("User-Agent"), kDefaultUserAgent);
    EXPECT_EQ(value("Cookie"), "<none>");
  }
}

TEST(FetchPage, FollowsRedirectsAndKeepsCookiesForTheWholeProcess) {
  LocalHttpServer local;
  // The cookie's path keeps it away from the other tests of this process.
  local.server().Get("/jar/login", [](const httplib::Request&, httplib::Response& r) {
    r.set_header("Set-Cookie", "fetchsid=42; Path=/jar");
    r.set_redirect("/jar/hop");
  });
  local.server().Get("/jar/hop", [](const httplib::Request&, httplib::Response& r) {
    r.set_redirect("/jar/echo", 301);
  });
  local.server().Get("/jar/echo", [](const httplib::Request& request, httplib::Response& r) {
    r.set_content("cookie:" + request.get_header_value("Cookie"), "text/plain");
  });
  ASSERT_TRUE(local.start());
  HttpClient first(quick());
  std::string url = local.url("/jar/login");
  EXPECT_EQ(first.FetchPage(url), "cookie:fetchsid=42");
  // Another client, on another thread, sees the same store.
  std::string seen;
  std::thread([&] {
    HttpClient second(quick());
    std::string echo = local.url("/jar/echo");
    seen = second.FetchPage(echo);
  }).join();
  EXPECT_EQ(seen, "cookie:fetchsid=42");
}

TEST(FetchPage, FailsCleanlyOnHostilePages) {
  LocalHttpServer local;
  std::atomic<int> loopHits{0};
  const std::string bomb = gzipBytes(std::string(size_t{8} << 20, '\0'));
  auto& server = local.server();
  server.Get("/bomb", [&](const httplib::Request&, httplib::Response& r) {
    r.set_header("Content-Encoding", "gzip");
    r.set_content(bomb, "text/html");
  });
  server.Get("/nested", [&](const httplib::Request&, httplib::Response& r) {
    r.set_content(gzipBytes(gzipBytes(gzipBytes(gzipBytes(gzipBytes("deep"))))), "text/html");
  });
  server.Get("/file", [](const httplib::Request&, httplib::Response& r) {
    r.set_redirect("file:///etc/passwd");
  });
  server.Get("/loop", [&](const httplib::Request&, httplib::Response& r) {
    ++loopHits;
    r.set_redirect("/loop");
  });
  server.Get("/endless", [](const httplib::Request&, httplib::Response& r) {
    r.set_chunked_content_provider("text/html", [](size_t, httplib::DataSink& sink) {
      const std::string chunk(65536, 'x');
      return sink.write(chunk.data(), chunk.size());
    });
  });
  server.Get("/big", [](const httplib::Request&, httplib::Response& r) {
    r.set_content(std::string((size_t{1} << 20) + 1, 'b'), "text/html");
  });
  server.Get("/fits", [](const httplib::Request&, httplib::Response& r) {
    r.set_content(gzipBytes(std::string(size_t{1} << 20, 'f')), "text/html");
  });
  ASSERT_TRUE(local.start());
  HttpClientOptions options = quick();
  options.pageLimit = size_t{1} << 20;
  HttpClient client(options);
  for (const char* path : {"/bomb", "/nested", "/file", "/loop", "/endless", "/big"}) {
    std::string url = local.url(path);
    EXPECT_EQ(client.FetchPage(url), "") << path;
  }
  // Only http and https are spoken, whatever the address names.
  testing::TempDir dir;
  testing::writeBytes(dir / "secret.html", "secret");
  std::string localFile = "file://" + (dir / "secret.html");
  EXPECT_EQ(client.FetchPage(localFile), "");
  EXPECT_LE(loopHits.load(), 11);
  EXPECT_GE(loopHits.load(), 2);
  std::string url = local.url("/fits");
  EXPECT_EQ(client.FetchPage(url), std::string(size_t{1} << 20, 'f'));
}

// The text of a whole body read at once: gzip layers inflated one after another (four at most),
// then decoded by the charset the headers name or by detection; empty over `limit`.
std::string wholeBodyText(std::string body, std::string_view headers, size_t limit) {
  if (body.size() > limit) return {};
  for (int layer = 0; body.size() >= 2 && body.starts_with("\x1F\x8B"); ++layer) {
    if (layer == 4) return {};
    body = GunzipBytes(body, limit + 1);
    if (body.size() > limit) return {};
  }
  const bool utf8 = findIgnoringCase(headers, "charset=utf-8") != std::string_view::npos;
  return DecodeBuffer(body, utf8 ? TextEncoding::Utf8 : TextEncoding::Detect);
}

// `body` fed to a PageReader in pieces of `piece` bytes.
PageHead readInPieces(std::string_view body, std::string_view headers, size_t piece, size_t limit,
                      size_t headLimit) {
  PageReader reader(limit, headLimit);
  for (size_t at = 0; at < body.size(); at += piece) {
    if (!reader.feed(body.substr(at, piece))) return {};
  }
  return reader.finish(headers);
}

std::string big5(std::u8string_view text) { return ConvertCharset(utf8(text), "UTF-8", "BIG5"); }

// Cut anywhere, in gzip layers or not, a body gives the text it gives when read whole.
TEST(PageReader, ReadsABodyInPiecesAsItReadsItWhole) {
  constexpr size_t kLimit = 64 * 1024;
  const std::string page = utf8(u8"<html><head><title>页面</title></head><body>中文</body></html>");
  const std::string gzipped = gzipBytes(page);
  struct Case {
    const char* name;
    std::string body;
    std::string headers;
  };
  const std::vector<Case> kCases = {
      {"plain", "<p>plain</p>", ""},
      {"UTF-8, detected", page, ""},
      {"a four-byte form", utf8(u8"a😀b"), ""},
      {"a four-byte form, charset in the headers", utf8(u8"a😀b"), "Content-Type: text/html; charset=UTF-8\r\n"},
      {"UTF-8 mark", "\xEF\xBB\xBF" + page, ""},
      {"UTF-16LE mark", std::string("\xFF\xFE" "a\0" "\x2D\x4E", 6), ""},
      {"UTF-16BE mark", std::string("\xFE\xFF" "\0a" "\x4E\x2D", 6), ""},
      {"Big5 by its meta tag", "<head><meta charset=Big5></head>" + big5(u8"中文"), ""},
      {"GBK", gb(u8"<p>中文页面</p>"), ""},
      {"a NUL ends the text", std::string("<p>a\0b</p>", 10), ""},
      {"a meta tag after a NUL is not read", std::string("\0<head><meta charset=Big5></head>", 34) + big5(u8"中"), ""},
      {"empty", "", ""},
      {"one byte of a gzip mark", "\x1F", ""},
      {"a gzip mark alone", "\x1F\x8B", ""},
      {"gzip", gzipped, ""},
      {"gzip in gzip", gzipBytes(gzipped), ""},
      {"four layers", gzipBytes(gzipBytes(gzipBytes(gzipped))), ""},
      {"five layers", gzipBytes(gzipBytes(gzipBytes(gzipBytes(gzipped)))), ""},
      {"gzip cut short", gzipped.substr(0, gzipped.size() / 2), ""},
      {"gzip and what follows it", gzipped + "trailing", ""},
      {"a corrupt gzip stream", gzipped.substr(0, 12) + std::string(40, '\xFF'), ""},
      {"over the limit", std::string(kLimit + 1, 'x'), ""},
      {"at the limit", std::string(kLimit, 'x'), ""},
      {"inflates over the limit", gzipBytes(std::string(kLimit + 1, 'x')), ""},
      {"inflates to the limit", gzipBytes(std::string(kLimit, 'x')), ""},
  };
  for (const Case& c : kCases) {
    const std::string want = wholeBodyText(c.body, c.headers, kLimit);
    for (const size_t piece : {size_t{1}, size_t{3}, size_t{1000}, kLimit + 1}) {
      EXPECT_EQ(readInPieces(c.body, c.headers, piece, kLimit, kLimit).text(), want) << c.name << ", pieces of " << piece;
    }
    EXPECT_EQ(pageText(c.body, c.headers, kLimit), want) << c.name;
  }
}

// Only the head of a long page is kept, but all of the page decides its encoding, as it did when
// the whole page was read: the head's text is the start of the whole page's text.
TEST(PageReader, KeepsTheHeadOfALongPageAndDecodesItAsTheWholePage) {
  constexpr size_t kLimit = 1 << 20;
  constexpr size_t kHead = 1000;
  const std::string top = "<html><head><meta http-equiv=refresh content='0;url=/t'></head><body>";
  const std::string chinese = utf8(u8"中文页面");  // 3-byte forms: the head ends inside one
  std::string longUtf8 = top;
  while (longUtf8.size() < 20 * kHead) longUtf8 += chinese;
  struct Case {
    const char* name;
    std::string body;
    std::string headers;
  };
  const std::vector<Case> kCases = {
      {"UTF-8 throughout", longUtf8, ""},
      {"a four-byte form after the head", longUtf8 + utf8(u8"😀"), ""},
      {"a byte that is no UTF-8 after the head", longUtf8 + "\xFF", ""},
      {"the charset named in the headers", longUtf8 + "\xFF", "Content-Type: text/html; charset=utf-8\r\n"},
      {"a meta charset after the head, in a page without head element",
       "<body>" + std::string(2 * kHead, 'x') + "<meta charset=Big5>" + big5(u8"中文"), ""},
      {"a NUL after the head", longUtf8 + std::string(1, '\0') + "\xFF", ""},
      {"gzip", gzipBytes(longUtf8 + utf8(u8"😀")), ""},
      {"UTF-16LE", "\xFF\xFE" + ConvertCharset(longUtf8, "UTF-8", "UTF-16LE"), ""},
  };
  for (const Case& c : kCases) {
    const std::string whole = wholeBodyText(c.body, c.headers, kLimit);
    for (const size_t piece : {size_t{7}, size_t{16384}}) {
      const PageHead head = readInPieces(c.body, c.headers, piece, kLimit, kHead);
      ASSERT_TRUE(head.ok) << c.name;
      EXPECT_EQ(head.bytes.size(), kHead) << c.name;
      const std::string text = head.text();
      EXPECT_GE(text.size(), kHead / 3) << c.name;
      EXPECT_TRUE(whole.starts_with(text)) << c.name << ", pieces of " << piece << "\n" << text << "\n"
                                           << whole.substr(0, text.size());
    }
  }
}

// A server that closes kept-alive connections as idle just as the next request on them arrives: it
// answers the first request of every connection with `answer`, keeps the connection open without
// announcing a close, and ends it when the next request comes, either after reading it (the
// client sees the connection end) or without reading it (the kernel resets the connection).
class IdleClosingServer {
 public:
  enum class Close { AfterReading, Reset };
  IdleClosingServer(Close close, std::string answer) : close_(close), answer_(std::move(answer)) {
    fd_ = listenOnLoopback(64, port_);
    thread_ = std::thread([this] { serve(); });
  }
  ~IdleClosingServer() {
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int answered() const { return answered_.load(); }

 private:
  // One connection after another: the client uses one at a time.
  void serve() {
    for (;;) {
      const int client = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) return;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        request.append(buffer, static_cast<size_t>(got));
      }
      // Counted before it is sent: the client may read the answer and the test look at the count
      // before this thread would come back from send().
      if (request.find("\r\n\r\n") != std::string::npos && ++answered_ > 0 &&
          send(client, answer_.data(), answer_.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(answer_.size())) {
        // The next request on this connection (or the client's own close).
        pollfd next{client, POLLIN, 0};
        (void)poll(&next, 1, 2000);
        if (close_ == Close::AfterReading) {
          (void)recv(client, buffer, sizeof buffer, 0);
        } else {
          const linger reset{1, 0};
          setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
      }
      close(client);
    }
  }

  const Close close_;
  const std::string answer_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<int> answered_{0};
  std::thread thread_;
};

// Every request but the first comes on a connection kept from the one before, which the server
// then drops before answering: each is sent again on a new connection, however many times it
// happens in the life of a client (libcurl's own retries of such requests run out at the sixth).
TEST(HttpClient, ARequestOnAKeptConnectionThatTheServerClosedIsSentAgain) {
  constexpr int kRequests = 20;
  const std::string page = "<html><head><meta http-equiv=refresh content='0;url=/t'></head></html>";
  struct Case {
    const char* name;
    IdleClosingServer::Close close;
    bool probe;  // ProbeRedirect, else FetchPage
    std::string answer;
    std::string want;
  };
  const std::string redirect = "HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n";
  const std::string pageAnswer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                 std::to_string(page.size()) + "\r\n\r\n" + page;
  const Case kCases[] = {
      {"probe, closed after reading", IdleClosingServer::Close::AfterReading, true, redirect, "/next"},
      {"probe, reset", IdleClosingServer::Close::Reset, true, redirect, "/next"},
      // Nothing tells a failed probe of a page from a successful one but the count of answers.
      {"probe of a page, closed after reading", IdleClosingServer::Close::AfterReading, true, pageAnswer, ""},
      {"page, closed after reading", IdleClosingServer::Close::AfterReading, false, pageAnswer, page},
      {"page, reset", IdleClosingServer::Close::Reset, false, pageAnswer, page},
  };
  for (const Case& c : kCases) {
    IdleClosingServer server(c.close, c.answer);
    HttpClient client(quick());
    int failed = 0;
    for (int i = 0; i < kRequests; ++i) {
      std::string url = server.url("/p" + std::to_string(i));
      const std::string got = c.probe ? client.ProbeRedirect(url, "agent") : client.FetchPage(url);
      if (got != c.want) ++failed;
    }
    EXPECT_EQ(failed, 0) << c.name;
    EXPECT_EQ(server.answered(), kRequests) << c.name;
  }
}

// A page download keeps the head of the page, whether the page comes chunked, with its length, or
// gzip-compressed; the page still counts whole against the size limit.
TEST(FetchPage, KeepsTheHeadOfALongPage) {
  const std::string top = utf8(u8"<html><head><meta http-equiv=refresh content='0;url=/t'><title>长页</title>");
  std::string page = top;
  while (page.size() < (size_t{1} << 20)) page += utf8(u8"<p>一段文字</p>\n");
  LocalHttpServer local;
  auto& server = local.server();
  server.Get("/sized", [&](const httplib::Request&, httplib::Response& r) { r.set_content(page, "text/html"); });
  server.Get("/chunked", [&](const httplib::Request&, httplib::Response& r) {
    r.set_chunked_content_provider("text/html", [&](size_t offset, httplib::DataSink& sink) {
      if (offset >= page.size()) {
        sink.done();
        return true;
      }
      return sink.write(page.data() + offset, std::min<size_t>(4096, page.size() - offset));
    });
  });
  const std::string gzipped = gzipBytes(page);
  server.Get("/gzip", [&](const httplib::Request&, httplib::Response& r) { r.set_content(gzipped, "text/html"); });
  ASSERT_TRUE(local.start());
  HttpClientOptions options = quick();
  options.pageHeadLimit = 64 * 1024;
  HttpClient client(options);
  const std::string whole = DecodeBuffer(page, TextEncoding::Utf8);
  for (const char* path : {"/sized", "/chunked", "/gzip"}) {
    std::string url = local.url(path);
    const PageHead head = client.FetchPageHead(url);
    ASSERT_TRUE(head.ok) << path;
    EXPECT_EQ(head.bytes, page.substr(0, options.pageHeadLimit)) << path;
    EXPECT_EQ(head.encoding, TextEncoding::Utf8) << path;
    const std::string text = head.text();
    EXPECT_GT(text.size(), options.pageHeadLimit / 2) << path;
    EXPECT_TRUE(whole.starts_with(text)) << path;
  }
  // The limit on the whole page holds as before.
  options.pageLimit = page.size() - 1;
  HttpClient strict(options);
  for (const char* path : {"/sized", "/chunked", "/gzip"}) {
    std::string url = local.url(path);
    EXPECT_FALSE(strict.FetchPageHead(url).ok) << path;
  }
}

TEST(HttpClient, AnAbortRequestEndsTheTransfer) {
  LocalHttpServer local;
  local.server().Get("/page", [](const httplib::Request&, httplib::Response& r) {
    r.set_content("page", "text/plain");
  });
  ASSERT_TRUE(local.start());
  std::atomic<bool> abort{false};
  HttpClientOptions options = quick();
  options.abort = &abort;
  HttpClient client(options);
  std::string url = local.url("/page");
  EXPECT_EQ(client.FetchPage(url), "page");
  abort = true;
  EXPECT_EQ(client.FetchPage(url), "");
}

TEST(HttpClient, VerifiesCertificatesAndConnectsToTheNamedPort) {
  testing::TempDir dir;
  const std::string cert = dir / "cert.pem";
  const std::string key = dir / "key.pem";
  const int made = testing::runCommand(
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
      "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" + key + "' -out '" +
      cert + "' 2>/dev/null");
  if (made != 0) GTEST_SKIP() << "openssl could not make a certificate";
  LocalHttpServer local(cert, key);
  local.server().Get("/secure", [](const httplib::Request&, httplib::Response& r) {
    r.set_header("Location", "/moved");
    r.set_content("secure page", "text/plain");
  });
  ASSERT_TRUE(local.start());
  ASSERT_TRUE(local.url().starts_with("https://"));

  HttpClient untrusting(quick());
  std::string url = local.url("/secure");
  EXPECT_EQ(untrusting.FetchPage(url), "");
  EXPECT_EQ(untrusting.ProbeRedirect(url, ""), "");

  HttpClientOptions options = quick();
  options.caFile = cert;
  HttpClient trusting(options);
  EXPECT_EQ(trusting.FetchPage(url), "secure page");
  EXPECT_EQ(trusting.ProbeRedirect(url, ""), "/moved");
}

TEST(RequestAddress, AddsTheSchemeAndEncodesWhatARequestLineCannotCarry) {
  struct Case {
    std::string url;
    std::string want;
  };
  const Case kCases[] = {
      {"a.example/x", "http://a.example/x"},
      {"https://a.example/x?q=1", "https://a.example/x?q=1"},
      {"ftp://a.example/x", "ftp://a.example/x"},  // refused later by the protocol list
      {"http://a.example/" + gb(u8"中文") + " x", "http://a.example/%E4%B8%AD%E6%96%87%20x"},
      {"http://a.example?q=" + gb(u8"词"), "http://a.example?q=%E8%AF%8D"},
  };
  for (const Case& c : kCases) EXPECT_EQ(requestAddress(c.url), c.want) << c.url;
}

// Each request leaves a report saying how it ended: the status and Refresh header of an answer, or
// the kind of failure, so that a caller can say why an address failed.
TEST(HttpClient, ReportsHowTheLastRequestEnded) {
  LocalHttpServer local;
  local.server().Get("/moved", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/x", 301); });
  local.server().Get("/refresh", [](const httplib::Request&, httplib::Response& r) {
    r.set_header("Refresh", " 0; url=/next ");
    r.set_content("wait", "text/plain");
  });
  local.server().Get("/gone", [](const httplib::Request&, httplib::Response& r) {
    r.status = 404;
    r.set_content("gone", "text/plain");
  });
  local.server().Get("/slow", [](const httplib::Request&, httplib::Response& r) {
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    r.set_content("late", "text/plain");
  });
  ASSERT_TRUE(local.start());
  const std::string closed = testing::closedLocalAddress();
  ASSERT_FALSE(closed.empty());

  struct Case {
    std::string url;
    HttpFailure probe;
    long probeStatus;
    std::string refresh;
    HttpFailure page;
    long pageStatus;
  };
  const Case kCases[] = {
      // The download follows the redirect, to a page that does not exist.
      {local.url("/moved"), HttpFailure::None, 301, "", HttpFailure::None, 404},
      {local.url("/refresh"), HttpFailure::None, 200, "0; url=/next", HttpFailure::None, 200},
      {local.url("/gone"), HttpFailure::None, 404, "", HttpFailure::None, 404},
      {local.url("/slow"), HttpFailure::TimedOut, 0, "", HttpFailure::TimedOut, 0},
      {closed, HttpFailure::ConnectionRefused, 0, "", HttpFailure::ConnectionRefused, 0},
      {"", HttpFailure::NoAddress, 0, "", HttpFailure::NoAddress, 0},
  };
  HttpClientOptions options = quick();
  options.probeTimeoutMs = 300;
  options.pageTimeoutMs = 300;
  HttpClient client(options);
  for (const Case& c : kCases) {
    std::string url = c.url;
    client.ProbeRedirect(url, "");
    EXPECT_EQ(client.lastReport().failure, c.probe) << c.url;
    EXPECT_EQ(client.lastReport().status, c.probeStatus) << c.url;
    EXPECT_EQ(client.lastReport().refresh, c.refresh) << c.url;
    url = c.url;
    client.FetchPageHead(url);
    EXPECT_EQ(client.lastReport().failure, c.page) << c.url;
    EXPECT_EQ(client.lastReport().status, c.pageStatus) << c.url;
  }
}

}  // namespace
}  // namespace chengling
