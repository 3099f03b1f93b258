#pragma once
// The system's only HTTP component, over libcurl: an unfollowed probe that reads the Location header
// and a page download that follows redirects and decodes the page to internal text.
//
// Threads: an HttpClient is used by one thread at a time (the tool's worker; the command line gives
// each of its workers a client of its own). Calls block for at most their timeout. Cookies that page
// downloads receive live in one store for the whole process, shared by every client.
//
// Connections: new connections to one server address open one after another across all clients, a
// new one after the previous one's first answer or a quarter of a second, whichever comes first, so
// that many clients starting at once never overflow a small server's listen backlog.
//
// Safety: only http and https are spoken, for the request and for every redirect; certificates are
// verified; CR, LF and NUL never reach a header; a downloaded page is capped after decompression.
// Every failure comes back as an empty text; nothing throws.

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace chengling {

// The agent a probe sends when none is given, and the one every page download sends.
inline constexpr std::string_view kDefaultUserAgent =
    "Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/30.0.1599.101 Safari/537.36";

struct HttpClientOptions {
  int probeTimeoutMs = 25000;   // whole probe, connection included
  int pageTimeoutMs = 120000;   // whole page download, redirects included
  size_t pageLimit = size_t{64} << 20;  // bytes of a page after decompression; more fails it
  int maxRedirects = 10;        // per page download
  // A PEM file of trust anchors used instead of the system's store; empty for the system's.
  std::string caFile;
  // When set and true, a transfer in progress ends at once as a failure (the window closing).
  const std::atomic<bool>* abort = nullptr;
};

class HttpClient {
 public:
  explicit HttpClient(HttpClientOptions options = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // GET without following redirects; returns the response's Location value as sent (empty when
  // there is none or nothing usable arrived). `url` is normalised in place first: "http://" put in
  // front unless it starts with http:// or https:// (any case), then cut before its first "#".
  // An empty `referer` sends the normalised address.
  std::string ProbeRedirect(std::string& url, std::string_view userAgent,
                            std::string_view referer = {});

  // GET following redirects; returns the page decoded to internal text, or empty on any failure,
  // timeout or a page over the limit. `url` loses its fragment in place.
  std::string FetchPage(std::string& url);

  const HttpClientOptions& options() const { return options_; }

 private:
  HttpClientOptions options_;
  // libcurl easy handles, one per operation, reused so that connections stay open between calls.
  void* probe_ = nullptr;
  void* page_ = nullptr;
};

// The header block of a response as it arrives, one line at a time, line break included. A status line
// ("HTTP/...") starts over, so that only the last response counts (1xx, followed redirects).
struct ResponseHeaders {
  std::string raw;         // the lines as received; empty once they outgrow a small limit
  bool overflow = false;
  bool done = false;       // the empty line ending the block arrived
  std::string location;    // the first Location value, trimmed, without CR, LF and NUL
  bool haveLocation = false;

  void addLine(std::string_view line);
};

// A received Location as internal text: UTF-8 is converted, anything else kept byte for byte.
std::string locationText(const std::string& raw);

// The page a received body stands for: gzip layers unwrapped (a few at most), decoded as UTF-8 when
// `rawHeaders` name that charset, else detected. Empty when a layer is too many or the inflated
// page is over `pageLimit` bytes.
std::string pageText(std::string body, std::string_view rawHeaders, size_t pageLimit);

// Header value with CR, LF and NUL removed: nothing a caller passes can start a header of its own.
std::string cleanHeaderValue(std::string_view value);

// The address as libcurl is given it: a missing scheme becomes http://, the path and query are
// UTF-8 with bytes that may not stand in a request line percent-encoded.
std::string requestAddress(std::string_view url);

}  // namespace chengling
