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
//
// Memory: a page download holds only the head of the page (pageHeadLimit) and a few hundred KiB of
// inflating and scanning state, however long the body or however far it inflates; the rest of the
// page is read through for its size and encoding only. A probe holds no body at all.

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/text_codec.h"

namespace chengling {

// The agent a probe sends when none is given, and the one every page download sends.
inline constexpr std::string_view kDefaultUserAgent =
    "Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/30.0.1599.101 Safari/537.36";

struct HttpClientOptions {
  int probeTimeoutMs = 25000;   // whole probe, connection included
  int pageTimeoutMs = 120000;   // whole page download, redirects included
  size_t pageLimit = size_t{64} << 20;  // bytes of a page after decompression; more fails it
  // Bytes from the start of a page (after decompression) that a download keeps for reading. A
  // redirect is announced in the head element or the first script, near the top of a page.
  size_t pageHeadLimit = size_t{1} << 20;
  int maxRedirects = 10;        // per page download
  // A PEM file of trust anchors used instead of the system's store; empty for the system's.
  std::string caFile;
  // When set and true, a transfer in progress ends at once as a failure (the window closing).
  const std::atomic<bool>* abort = nullptr;
};

// How the last request of a client ended, so that a failed address can say why.
enum class HttpFailure {
  None,               // a response arrived (whatever its status)
  NoAddress,          // nothing to request, or an address libcurl cannot read
  HostNotFound,       // the host name did not resolve
  ConnectionRefused,  // the server refused the connection
  CannotConnect,      // no connection for another reason (unreachable network, reset)
  TimedOut,           // the time limit passed
  BadCertificate,     // the server's certificate did not verify
  SecureConnectionFailed,  // the TLS handshake failed otherwise
  ConnectionBroken,   // the connection ended or was reset before a whole answer
  TooLarge,           // the page was over its limit
  TooManyRedirects,   // a page download followed more redirects than allowed
  Aborted,            // the abort flag ended it
  Other,              // any other libcurl error
};

struct TransferReport {
  HttpFailure failure = HttpFailure::None;
  int errorCode = 0;     // the libcurl code, for HttpFailure::Other
  long status = 0;       // HTTP status of the last response, 0 without one
  std::string refresh;   // the Refresh header of the last response, trimmed; empty without one
};

// What a page download keeps of a page: its first bytes, and the encoding that all of it was found
// to be in. Its text is the start of the text of the whole page (to the last whole character).
struct PageHead {
  bool ok = false;     // false: the download failed, or the page was over its limit
  std::string bytes;   // the page from its start, at most the head limit
  TextEncoding encoding = TextEncoding::Ansi;  // decodes `bytes`; Ansi takes them as they are

  // The head decoded to internal text; empty when not ok.
  std::string text() const;
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

  // GET following redirects; returns the head of the page (see PageHead), not ok on any failure,
  // timeout or a page over the limit. `url` loses its fragment in place.
  PageHead FetchPageHead(std::string& url);

  // FetchPageHead decoded to internal text: the whole page when it fits in pageHeadLimit.
  std::string FetchPage(std::string& url);

  const HttpClientOptions& options() const { return options_; }

  // How the last ProbeRedirect or FetchPageHead of this client ended.
  const TransferReport& lastReport() const { return report_; }

 private:
  HttpClientOptions options_;
  TransferReport report_;
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
  std::string refresh;     // the first Refresh value, the same way
  bool haveRefresh = false;

  void addLine(std::string_view line);
};

// A received Location as internal text: UTF-8 is converted, anything else kept byte for byte.
std::string locationText(const std::string& raw);

// The page that a body arriving in pieces stands for: gzip layers unwrapped as they arrive (a few
// at most), its first `headLimit` bytes kept, and all of it scanned for what decides its encoding:
// UTF-8 when the response headers name that charset, else its mark, the charset of its meta tags
// or the UTF-8 check of all of it. Holds the head and a few hundred KiB, whatever the body.
class PageReader {
 public:
  PageReader(size_t pageLimit, size_t headLimit);
  ~PageReader();
  PageReader(const PageReader&) = delete;
  PageReader& operator=(const PageReader&) = delete;

  // The next piece of the body as received. False once the page has failed: a gzip layer too
  // many, or the body or what a layer inflates to over `pageLimit` bytes.
  bool feed(std::string_view piece);
  // After the last piece; `rawHeaders` are those of the response (see ResponseHeaders::raw).
  PageHead finish(std::string_view rawHeaders);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The text of a whole received body, as PageReader reads it with the whole page as its head.
std::string pageText(std::string_view body, std::string_view rawHeaders, size_t pageLimit);

// Header value with CR, LF and NUL removed: nothing a caller passes can start a header of its own.
std::string cleanHeaderValue(std::string_view value);

// The address as libcurl is given it: a missing scheme becomes http://, the path and query are
// UTF-8 with bytes that may not stand in a request line percent-encoded.
std::string requestAddress(std::string_view url);

}  // namespace chengling
