#include "foundation/http_client.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <sys/socket.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "foundation/encoding_detection.h"
#include "foundation/html_charset_scan.h"
#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/text_codec.h"

namespace chengling {
namespace {

constexpr std::string_view kProbeAccept =
    "image/gif, image/x-xbitmap, image/jpeg, imagepeg, application/x-shockwave-flash, "
    "application/x-silverlight, */*";
constexpr std::string_view kPageAccept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
constexpr size_t kRawHeaderLimit = 2048;
// A probe only wants the header block; a short body is still read (and dropped) so that the
// connection can be reused, a long one is cut off.
constexpr size_t kProbeBodyLimit = 64 * 1024;
// gzip inside gzip is unwrapped this many times at most (a stream can inflate to itself).
constexpr size_t kMaxGzipLayers = 4;
// Bytes one gzip layer inflates at a time.
constexpr size_t kInflateWindow = 16 * 1024;
// The head keeps at least the longest mark that names an encoding.
constexpr size_t kMinHeadLimit = 4;

// libcurl, opened when the first client is made rather than when the program starts: loading it and
// the thirty libraries it brings costs every run of every tool several milliseconds, and only the
// redirect resolver needs it. Without it every request fails as if the connection had.
struct CurlLibrary {
  decltype(&::curl_global_init) global_init = nullptr;
  decltype(&::curl_share_init) share_init = nullptr;
  decltype(&::curl_share_setopt) share_setopt = nullptr;
  decltype(&::curl_easy_init) easy_init = nullptr;
  decltype(&::curl_easy_setopt) easy_setopt = nullptr;
  decltype(&::curl_easy_perform) easy_perform = nullptr;
  decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
  decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
  decltype(&::curl_slist_append) slist_append = nullptr;
  decltype(&::curl_slist_free_all) slist_free_all = nullptr;
  bool loaded = false;
};

const CurlLibrary& curl() {
  static const CurlLibrary library = [] {
    CurlLibrary lib;
    void* handle = ::dlopen(CHENGLING_CURL_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return lib;
    bool all = true;
    auto bind = [&](auto& function, const char* name) {
      function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(handle, name));
      all = all && function != nullptr;
    };
    bind(lib.global_init, "curl_global_init");
    bind(lib.share_init, "curl_share_init");
    bind(lib.share_setopt, "curl_share_setopt");
    bind(lib.easy_init, "curl_easy_init");
    bind(lib.easy_setopt, "curl_easy_setopt");
    bind(lib.easy_perform, "curl_easy_perform");
    bind(lib.easy_cleanup, "curl_easy_cleanup");
    bind(lib.easy_getinfo, "curl_easy_getinfo");
    bind(lib.slist_append, "curl_slist_append");
    bind(lib.slist_free_all, "curl_slist_free_all");
    lib.loaded = all;
    return lib;
  }();
  return library;
}

// libcurl's global state and the share handle that holds the process-wide cookie store (and the DNS
// and TLS session caches). Created on first use, never destroyed: clients may outlive static
// destruction order.
class CurlShared {
 public:
  CurlShared() {
    curl().global_init(CURL_GLOBAL_DEFAULT);
    share_ = curl().share_init();
    curl().share_setopt(share_, CURLSHOPT_LOCKFUNC, &CurlShared::lock);
    curl().share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &CurlShared::unlock);
    curl().share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl().share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl().share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl().share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  CURLSH* share() const { return share_; }

 private:
  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<CurlShared*>(self)->mutexes_[index(data)].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<CurlShared*>(self)->mutexes_[index(data)].unlock();
  }
  static size_t index(curl_lock_data data) {
    return std::min<size_t>(static_cast<size_t>(data), kLocks - 1);
  }

  static constexpr size_t kLocks = CURL_LOCK_DATA_LAST + 1;
  CURLSH* share_ = nullptr;
  std::mutex mutexes_[kLocks];
};

CurlShared& curlShared() {
  static CurlShared* shared = new CurlShared;
  return *shared;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && asciiLower(text.substr(0, prefix.size())) == prefix;
}

bool containsIgnoringCase(std::string_view text, std::string_view needle) {
  return findIgnoringCase(text, needle) != std::string_view::npos;
}

void cutFragment(std::string& url) {
  const size_t hash = url.find('#');
  if (hash != std::string::npos) url.erase(hash);
}

// New connections to one server address open one after another, process-wide: a new one waits
// until the one opened before it has its first answer. A burst of connects overflows a small listen
// backlog, the kernel drops what does not fit and the client tries again only after a second. A
// server that takes long to answer holds the next connection back for kOpeningGrace at most.
class OpeningGate {
 public:
  // Waits for the turn at `key` (stopped early by `abort`); returns the ticket that leave() takes.
  uint64_t enter(const std::string& key, const std::atomic<bool>* abort) {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    Slot& slot = slots_[key];
    ++slot.waiting;
    while (slot.holder != 0 && Clock::now() < slot.since + kOpeningGrace &&
           !(abort != nullptr && abort->load(std::memory_order_relaxed))) {
      // Woken by leave(); the slice only keeps a stop request from waiting out the grace.
      changed_.wait_until(lock, std::min(slot.since + kOpeningGrace, Clock::now() + kAbortSlice));
    }
    --slot.waiting;
    slot.holder = nextTicket_++;
    slot.since = Clock::now();
    return slot.holder;
  }

  // Ends the opening that `ticket` started at `key`, unless a later one has taken over since.
  void leave(const std::string& key, uint64_t ticket) {
    std::lock_guard lock(mutex_);
    const auto found = slots_.find(key);
    if (found == slots_.end() || found->second.holder != ticket) return;
    found->second.holder = 0;
    if (found->second.waiting == 0) {
      slots_.erase(found);
    } else {
      changed_.notify_all();
    }
  }

 private:
  static constexpr std::chrono::milliseconds kOpeningGrace{250};
  static constexpr std::chrono::milliseconds kAbortSlice{50};
  struct Slot {
    uint64_t holder = 0;  // ticket of the opening connection, 0 for none
    std::chrono::steady_clock::time_point since;
    int waiting = 0;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::unordered_map<std::string, Slot> slots_;  // by the raw socket address
  uint64_t nextTicket_ = 1;
};

OpeningGate& openingGate() {
  static OpeningGate* gate = new OpeningGate;
  return *gate;
}

// What one transfer receives, filled by libcurl's callbacks on the calling thread.
struct Transfer {
  // A page download's body goes to `page`; without one the body is counted up to `bodyLimit` and
  // dropped.
  PageReader* page = nullptr;
  size_t bodyLimit = 0;
  size_t bodyBytes = 0;
  bool overLimit = false;
  bool received = false;  // any byte of an answer: a header line or the body
  ResponseHeaders headers;
  const std::atomic<bool>* abort = nullptr;
  // The connection this transfer is opening, until its first answer.
  std::string openingAddress;
  uint64_t openingTicket = 0;

  void openingAnswered() {
    if (openingTicket == 0) return;
    openingGate().leave(openingAddress, openingTicket);
    openingTicket = 0;
  }
};

// libcurl asks for a socket only when it opens a new connection: that is where it waits its turn.
curl_socket_t onOpenSocket(void* user, curlsocktype purpose, curl_sockaddr* address) {
  auto* transfer = static_cast<Transfer*>(user);
  if (purpose == CURLSOCKTYPE_IPCXN) {
    // A second connection of the same transfer (another address, a redirect) ends the first's turn.
    transfer->openingAnswered();
    transfer->openingAddress.assign(reinterpret_cast<const char*>(&address->addr), address->addrlen);
    transfer->openingTicket = openingGate().enter(transfer->openingAddress, transfer->abort);
  }
  const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  return fd < 0 ? CURL_SOCKET_BAD : fd;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  transfer->received = true;
  const bool fits = transfer->page != nullptr ? transfer->page->feed(std::string_view(data, bytes))
                                              : transfer->bodyBytes + bytes <= transfer->bodyLimit;
  if (!fits) {
    transfer->overLimit = true;
    return CURL_WRITEFUNC_ERROR;
  }
  transfer->bodyBytes += bytes;
  return bytes;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  transfer->received = true;
  transfer->openingAnswered();
  transfer->headers.addLine(std::string_view(data, bytes));
  return bytes;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* transfer = static_cast<const Transfer*>(user);
  return transfer->abort != nullptr && transfer->abort->load(std::memory_order_relaxed) ? 1 : 0;
}

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl().slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

void appendHeader(HeaderList& list, const std::string& line) {
  curl_slist* grown = curl().slist_append(list.get(), line.c_str());
  if (grown != nullptr) {
    (void)list.release();
    list.reset(grown);
  }
}

// Options that every request of one handle keeps: protocols, certificates, proxy, callbacks,
// timeouts. Each handle is configured once and never reset, so that what libcurl keeps between
// transfers (open connections, the cookie engine of the page handle) stays as set here.
CURL* makeHandle(const HttpClientOptions& options, int timeoutMs) {
  if (!curl().loaded) return nullptr;
  CURL* handle = curl().easy_init();
  if (handle == nullptr) return nullptr;
  curl().easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl().easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl().easy_setopt(handle, CURLOPT_DEFAULT_PROTOCOL, "http");
  curl().easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl().easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  curl().easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  // A direct connection, whatever the environment's proxy variables say.
  curl().easy_setopt(handle, CURLOPT_PROXY, "");
  curl().easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl().easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!options.caFile.empty()) curl().easy_setopt(handle, CURLOPT_CAINFO, options.caFile.c_str());
  curl().easy_setopt(handle, CURLOPT_SHARE, curlShared().share());
  curl().easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max(timeoutMs, 1)));
  curl().easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::clamp(timeoutMs, 1, 10000)));
  curl().easy_setopt(handle, CURLOPT_WRITEFUNCTION, &onBody);
  curl().easy_setopt(handle, CURLOPT_HEADERFUNCTION, &onHeader);
  curl().easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, &onOpenSocket);
  if (options.abort != nullptr) {
    curl().easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl().easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &onProgress);
  }
  return handle;
}

// Whether `result` is a kept-alive connection that died under the request before any byte of the
// answer came: the server closed it as idle just as the request went out. libcurl sends such a
// request again on a new connection by itself, but counts these retries over the whole life of a
// handle and never starts the count over after a success: the sixth on one handle fails the
// transfer instead, with CURLE_SEND_ERROR when the connection ended and CURLE_RECV_ERROR when it
// was reset. Handles here live as long as their client, through every address of a run.
bool keptConnectionDied(CURL* handle, CURLcode result, const Transfer& transfer) {
  if (result != CURLE_SEND_ERROR && result != CURLE_RECV_ERROR) return false;
  if (transfer.received) return false;
  if (transfer.abort != nullptr && transfer.abort->load(std::memory_order_relaxed)) return false;
  long connects = -1;  // new connections the transfer opened; none when it used a kept one
  if (curl().easy_getinfo(handle, CURLINFO_NUM_CONNECTS, &connects) != CURLE_OK) return false;
  return connects == 0;
}

CURLcode performOnce(CURL* handle, Transfer& transfer) {
  curl().easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
  curl().easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
  curl().easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
  curl().easy_setopt(handle, CURLOPT_OPENSOCKETDATA, &transfer);
  const CURLcode result = curl().easy_perform(handle);
  transfer.openingAnswered();  // failed or timed out without an answer: the turn ends all the same
  return result;
}

// Runs one GET on `handle` into `transfer`; a request that a kept-alive connection dropped before
// answering goes out once more, on a new connection.
CURLcode perform(CURL* handle, const HttpClientOptions& options, Transfer& transfer,
                 const std::string& address, const HeaderList& headers) {
  transfer.abort = options.abort;
  curl().easy_setopt(handle, CURLOPT_URL, address.c_str());
  curl().easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  CURLcode result = performOnce(handle, transfer);
  if (keptConnectionDied(handle, result, transfer)) {
    // Nothing arrived, so `transfer` is as it was before the first try.
    curl().easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
    result = performOnce(handle, transfer);
    curl().easy_setopt(handle, CURLOPT_FRESH_CONNECT, 0L);
  }
  curl().easy_setopt(handle, CURLOPT_HTTPHEADER, nullptr);
  return result;
}

HttpFailure failureOf(CURL* handle, CURLcode result) {
  switch (result) {
    case CURLE_OK:
      return HttpFailure::None;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return HttpFailure::NoAddress;
    case CURLE_COULDNT_RESOLVE_HOST:
      return HttpFailure::HostNotFound;
    case CURLE_COULDNT_CONNECT: {
      long osError = 0;
      curl().easy_getinfo(handle, CURLINFO_OS_ERRNO, &osError);
      return osError == ECONNREFUSED ? HttpFailure::ConnectionRefused : HttpFailure::CannotConnect;
    }
    case CURLE_OPERATION_TIMEDOUT:
      return HttpFailure::TimedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      return HttpFailure::BadCertificate;
    case CURLE_SSL_CONNECT_ERROR:
      return HttpFailure::SecureConnectionFailed;
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
      return HttpFailure::ConnectionBroken;
    case CURLE_FILESIZE_EXCEEDED:
      return HttpFailure::TooLarge;
    case CURLE_TOO_MANY_REDIRECTS:
      return HttpFailure::TooManyRedirects;
    case CURLE_ABORTED_BY_CALLBACK:
      return HttpFailure::Aborted;
    default:
      return HttpFailure::Other;
  }
}

// The report of a finished transfer on `handle`; `failed` overrides a result that counts as one.
TransferReport reportOf(CURL* handle, CURLcode result, const Transfer& transfer, HttpFailure failed) {
  TransferReport report;
  report.failure = failed != HttpFailure::None ? failed : failureOf(handle, result);
  report.errorCode = static_cast<int>(result);
  if (transfer.headers.done || result == CURLE_OK) {
    curl().easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &report.status);
  }
  report.refresh = transfer.headers.refresh;
  return report;
}

bool namesUtf8(std::string_view rawHeaders) {
  return containsIgnoringCase(rawHeaders, "charset=utf-8") ||
         containsIgnoringCase(rawHeaders, "charset='utf-8'") ||
         containsIgnoringCase(rawHeaders, "charset=\"utf-8\"");
}

}  // namespace

void ResponseHeaders::addLine(std::string_view line) {
  if (line.starts_with("HTTP/")) *this = {};
  if (line == "\r\n" || line == "\n") done = true;
  if (!overflow) {
    if (raw.size() + line.size() > kRawHeaderLimit) {
      // Headers that do not fit leave no header information at all.
      overflow = true;
      raw.clear();
    } else {
      raw.append(line);
    }
  }
  // CR, LF or NUL inside a value would break the lines the address is printed in.
  const auto valueOf = [](std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ' ||
                              value.back() == '\t')) {
      value.remove_suffix(1);
    }
    return cleanHeaderValue(value);
  };
  if (!haveLocation && startsWithIgnoringCase(line, "location:")) {
    location = valueOf(line.substr(9));
    haveLocation = true;
  }
  if (!haveRefresh && startsWithIgnoringCase(line, "refresh:")) {
    refresh = valueOf(line.substr(8));
    haveRefresh = true;
  }
}

std::string locationText(const std::string& raw) {
  const bool ascii = std::all_of(raw.begin(), raw.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || !LooksLikeUtf8(raw)) return raw;
  return internalFromUtf8(raw);
}

// The body passes through levels: level 0 is the body as received, level i + 1 what the gzip layer
// at level i inflates to. The first two bytes of a level tell whether it is a gzip layer or the
// page itself; the page's bytes go to the head, the size count and the encoding scans.
struct PageReader::State {
  enum class Kind { Unknown, Gzip, Page };
  struct Level {
    Kind kind = Kind::Unknown;
    std::string first;  // its first bytes, until there are two
    size_t bytes = 0;
  };
  // Inflates the gzip layer at one level, as GunzipBytes does: up to the end of the stream or the
  // first error; whatever comes after is ignored.
  struct Layer {
    z_stream stream{};
    bool open = false;
    bool ended = false;
    std::unique_ptr<char[]> window = std::make_unique_for_overwrite<char[]>(kInflateWindow);
    Layer() {
      open = inflateInit2(&stream, 16 + MAX_WBITS) == Z_OK;
      ended = !open;
    }
    ~Layer() {
      if (open) inflateEnd(&stream);
    }
  };

  size_t pageLimit = 0;
  size_t headLimit = 0;
  bool failed = false;
  Level levels[kMaxGzipLayers + 1];
  std::unique_ptr<Layer> layers[kMaxGzipLayers];  // layers[i] inflates level i into level i + 1
  std::string head;
  std::string guessHead;  // the prefix detection guesses from (GuessUnmarkedEncoding), whatever the head
  size_t pageBytes = 0;
  Utf8Scan utf8;
  HtmlCharsetScan html;
  bool htmlEnded = false;  // the text ends at its first NUL

  bool fail() {
    failed = true;
    return false;
  }

  bool push(size_t level, std::string_view bytes) {
    Level& at = levels[level];
    at.bytes += bytes.size();
    if (at.bytes > pageLimit) return fail();
    if (at.kind == Kind::Unknown) {
      const size_t taken = std::min(bytes.size(), 2 - at.first.size());
      at.first.append(bytes.substr(0, taken));
      bytes.remove_prefix(taken);
      if (at.first.size() < 2) return true;
      if (at.first != "\x1F\x8B") {
        at.kind = Kind::Page;
        take(at.first);
      } else {
        if (level == kMaxGzipLayers) return fail();
        at.kind = Kind::Gzip;
        layers[level] = std::make_unique<Layer>();
        if (!inflate(level, at.first)) return false;
      }
    }
    if (at.kind == Kind::Page) {
      take(bytes);
      return true;
    }
    return inflate(level, bytes);
  }

  bool inflate(size_t level, std::string_view bytes) {
    Layer& layer = *layers[level];
    while (!bytes.empty() && !layer.ended) {
      const size_t slice = std::min<size_t>(bytes.size(), UINT32_MAX);
      layer.stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
      layer.stream.avail_in = static_cast<uInt>(slice);
      for (;;) {
        layer.stream.next_out = reinterpret_cast<Bytef*>(layer.window.get());
        layer.stream.avail_out = static_cast<uInt>(kInflateWindow);
        const int rc = ::inflate(&layer.stream, Z_NO_FLUSH);
        const size_t made = kInflateWindow - layer.stream.avail_out;
        if (made > 0 && !push(level + 1, std::string_view(layer.window.get(), made))) return false;
        // Z_BUF_ERROR: this input is used up and more is to come.
        if (rc != Z_OK) {
          layer.ended = rc != Z_BUF_ERROR;
          break;
        }
        if (layer.stream.avail_in == 0 && layer.stream.avail_out != 0) break;
      }
      bytes.remove_prefix(slice - layer.stream.avail_in);
      if (layer.stream.avail_in == slice) break;  // no progress
    }
    return true;
  }

  void take(std::string_view bytes) {
    if (bytes.empty()) return;
    pageBytes += bytes.size();
    if (guessHead.size() < kGuessPrefix + kGuessWindow) {
      guessHead.append(bytes.substr(0, kGuessPrefix + kGuessWindow - guessHead.size()));
    }
    if (head.size() < headLimit) {
      const std::string_view kept = bytes.substr(0, headLimit - head.size());
      // Grown by doubling, but never past the limit.
      if (head.capacity() < head.size() + kept.size()) {
        head.reserve(std::min(headLimit, std::max(head.capacity() * 2, head.size() + kept.size())));
      }
      head.append(kept);
    }
    utf8.feed(bytes);
    if (!htmlEnded && !html.settled()) {
      const size_t nul = bytes.find('\0');
      html.feed(bytes.substr(0, nul));
      htmlEnded = nul != std::string_view::npos;
    }
  }

  // The encoding DecodeText's detection chooses for the whole page.
  TextEncoding detected() const {
    if (head.starts_with("\xEF\xBB\xBF")) return TextEncoding::Utf8;
    if (head.starts_with("\xFF\xFE")) return TextEncoding::Utf16Le;
    if (head.starts_with("\xFE\xFF")) return TextEncoding::Utf16Be;
    switch (html.result()) {
      case 1: return TextEncoding::Utf8;
      case 2: return TextEncoding::Big5;
      case 3: return TextEncoding::Big5Hkscs;
      default: return utf8.result() ? TextEncoding::Utf8 : guessedEncoding(guessHead, pageBytes);
    }
  }
};

PageReader::PageReader(size_t pageLimit, size_t headLimit) : state_(std::make_unique<State>()) {
  state_->pageLimit = pageLimit;
  state_->headLimit = std::max(headLimit, kMinHeadLimit);
}

PageReader::~PageReader() = default;

bool PageReader::feed(std::string_view piece) {
  if (state_->failed) return false;
  return state_->push(0, piece);
}

PageHead PageReader::finish(std::string_view rawHeaders) {
  State& state = *state_;
  if (state.failed) return {};
  // The first level that has not shown itself a gzip layer is the page, however short.
  for (State::Level& level : state.levels) {
    if (level.kind == State::Kind::Gzip) continue;
    if (level.kind == State::Kind::Unknown) {
      level.kind = State::Kind::Page;
      state.take(level.first);
    }
    break;
  }
  PageHead page;
  page.ok = true;
  page.encoding = namesUtf8(rawHeaders) ? TextEncoding::Utf8 : state.detected();
  page.bytes = std::move(state.head);
  return page;
}

std::string PageHead::text() const {
  if (!ok) return {};
  // A head cut inside a character loses that character in the conversion.
  return DecodeBuffer(bytes, encoding);
}

std::string pageText(std::string_view body, std::string_view rawHeaders, size_t pageLimit) {
  PageReader reader(pageLimit, pageLimit);
  if (!reader.feed(body)) return {};
  return reader.finish(rawHeaders).text();
}

std::string cleanHeaderValue(std::string_view value) {
  std::string clean;
  clean.reserve(value.size());
  for (char c : value) {
    if (c != '\r' && c != '\n' && c != '\0') clean.push_back(c);
  }
  return clean;
}

std::string requestAddress(std::string_view url) {
  std::string address(cutAtNul(url));
  if (address.find("://") == std::string::npos) address.insert(0, "http://");
  const bool plain = std::all_of(address.begin(), address.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte < 0x7F;
  });
  if (plain) return address;
  const std::string utf8 = utf8FromInternal(address);
  // The host stays as it is (libcurl turns an international name into its ASCII form); the rest
  // is percent-encoded where a request line cannot carry the byte.
  const size_t authority = utf8.find("://") + 3;
  size_t pathStart = utf8.find_first_of("/?#", authority);
  if (pathStart == std::string::npos) pathStart = utf8.size();
  std::string out = utf8.substr(0, pathStart);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (size_t i = pathStart; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte <= 0x20 || byte >= 0x7F) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

HttpClient::HttpClient(HttpClientOptions options) : options_(std::move(options)) {
  CURL* probe = makeHandle(options_, options_.probeTimeoutMs);
  if (probe != nullptr) curl().easy_setopt(probe, CURLOPT_FOLLOWLOCATION, 0L);
  CURL* page = makeHandle(options_, options_.pageTimeoutMs);
  if (page != nullptr) {
    curl().easy_setopt(page, CURLOPT_FOLLOWLOCATION, 1L);
    curl().easy_setopt(page, CURLOPT_MAXREDIRS, static_cast<long>(std::max(options_.maxRedirects, 0)));
    curl().easy_setopt(page, CURLOPT_USERAGENT, std::string(kDefaultUserAgent).c_str());
    curl().easy_setopt(page, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options_.pageLimit));
    // Only page downloads take part in the shared cookie store.
    curl().easy_setopt(page, CURLOPT_COOKIEFILE, "");
  }
  probe_ = probe;
  page_ = page;
}

HttpClient::~HttpClient() {
  if (probe_ != nullptr) curl().easy_cleanup(static_cast<CURL*>(probe_));
  if (page_ != nullptr) curl().easy_cleanup(static_cast<CURL*>(page_));
}

std::string HttpClient::ProbeRedirect(std::string& url, std::string_view userAgent,
                                      std::string_view referer) {
  if (!url.empty() && !startsWithIgnoringCase(url, "http://") &&
      !startsWithIgnoringCase(url, "https://")) {
    url.insert(0, "http://");
  }
  cutFragment(url);
  report_ = {};
  if (url.empty() || probe_ == nullptr) {
    report_.failure = url.empty() ? HttpFailure::NoAddress : HttpFailure::CannotConnect;
    return {};
  }

  std::string agent = cleanHeaderValue(userAgent);
  if (agent.empty()) agent = kDefaultUserAgent;
  std::string refererValue = cleanHeaderValue(referer.empty() ? trimSpaces(url) : referer);
  if (!startsWithIgnoringCase(refererValue, "http://") &&
      !startsWithIgnoringCase(refererValue, "https://")) {
    refererValue.insert(0, "http://");
  }
  HeaderList headers;
  appendHeader(headers, "User-Agent: " + agent);
  appendHeader(headers, "Accept-Language: zh-cn");
  appendHeader(headers, "Connection: Keep-Alive");
  appendHeader(headers, "Accept: " + std::string(kProbeAccept));
  appendHeader(headers, "Referer: " + refererValue);

  Transfer transfer;
  transfer.bodyLimit = kProbeBodyLimit;
  const CURLcode result =
      perform(static_cast<CURL*>(probe_), options_, transfer, requestAddress(url), headers);

  const bool complete =
      result == CURLE_OK ||
      (result == CURLE_WRITE_ERROR && transfer.overLimit && transfer.headers.done);
  report_ = reportOf(static_cast<CURL*>(probe_), complete ? CURLE_OK : result, transfer,
                     HttpFailure::None);
  if (!complete) return {};
  return locationText(transfer.headers.location);
}

PageHead HttpClient::FetchPageHead(std::string& url) {
  cutFragment(url);
  report_ = {};
  if (url.empty() || page_ == nullptr) {
    report_.failure = url.empty() ? HttpFailure::NoAddress : HttpFailure::CannotConnect;
    return {};
  }

  // The header block of a page request; each name is tested as a substring of the whole block, so
  // an address that contains "accept" already counts as carrying an Accept line.
  std::string block = "Referer: " + cleanHeaderValue(trimSpaces(url)) + "\r\n";
  if (!containsIgnoringCase(block, "Accept")) block += kPageAccept;
  if (!containsIgnoringCase(block, "Accept-Language")) block += "Accept-Language: zh-cn\r\n";
  HeaderList headers;
  bool hasAccept = false;
  for (const std::string& line : splitText(block, "\r\n")) {
    if (startsWithIgnoringCase(line, "accept:")) hasAccept = true;
    appendHeader(headers, line);
  }
  // libcurl would otherwise add an Accept line of its own.
  if (!hasAccept) appendHeader(headers, "Accept:");

  PageReader page(options_.pageLimit, options_.pageHeadLimit);
  Transfer transfer;
  transfer.page = &page;
  const CURLcode result =
      perform(static_cast<CURL*>(page_), options_, transfer, requestAddress(url), headers);
  report_ = reportOf(static_cast<CURL*>(page_), result, transfer,
                     result == CURLE_WRITE_ERROR && transfer.overLimit ? HttpFailure::TooLarge
                                                                      : HttpFailure::None);
  if (result != CURLE_OK) return {};

  // The raw headers are empty when they did not fit.
  PageHead head = page.finish(transfer.headers.raw);
  if (!head.ok) report_.failure = HttpFailure::TooLarge;
  return head;
}

std::string HttpClient::FetchPage(std::string& url) { return FetchPageHead(url).text(); }

}  // namespace chengling
