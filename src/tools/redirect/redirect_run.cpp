#include "tools/redirect/redirect_run.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "foundation/internal_text.h"
#include "tools/redirect/redirect_detection.h"

namespace chengling {
namespace {


const char* const kUserAgentNames[kUserAgentCount] = {
    "Internet Explorer 6", "Internet Explorer 7", "Internet Explorer 8", "Internet Explorer 9",
    "Internet Explorer 10", "Internet Explorer 11", "Chrome", "Firefox", "Safari", "Opera", "Ipad",
    "安卓QQ", "安卓微信", "IOSQQ", "IOS微信",
};

struct Resolved {
  std::string address;
  std::string target;
  std::string reason;
  std::vector<Hop> hops;
  bool invalid = false;
};

// The form in which an address is compared with the others of its chain: as the probe sends it,
// scheme added and fragment cut.
std::string comparable(std::string_view address) {
  std::string text(address);
  const std::string lower = asciiLower(text.substr(0, 8));
  if (!lower.starts_with("http://") && !lower.starts_with("https://")) text.insert(0, "http://");
  const size_t fragment = text.find('#');
  if (fragment != std::string::npos) text.erase(fragment);
  return text;
}

Resolved resolveOne(HttpClient& http, const RedirectOptions& options, size_t index,
                    const RunContext& ctx) {
  Resolved resolved;
  resolved.address = options.addresses[index];
  if (!prepareAddress(resolved.address)) {
    resolved.invalid = true;
    resolved.reason = kInvalidAddressReason;
    return resolved;
  }
  const std::string agent = options.liveUserAgent ? options.liveUserAgent->snapshot() : options.userAgent;
  Hop first = resolveHop(http, resolved.address, agent, options.looseMatch);
  // As ResolveAddress leaves it: normalised, or the target a page announced.
  resolved.address =
      !options.follow && (first.kind == "meta" || first.kind == "script") ? first.target : first.address;
  if (first.target.empty()) {
    resolved.reason = std::move(first.reason);
    return resolved;
  }
  resolved.target = first.target;
  resolved.hops.push_back(std::move(first));
  if (!options.follow) return resolved;

  std::vector<std::string> seen = {comparable(resolved.hops.front().address)};
  while (true) {
    const std::string& reached = resolved.hops.back().target;
    std::string next = reached;
    // An address of another scheme ("weixin://...") is where the chain ends: it cannot be asked.
    if (!prepareAddress(next) || next.empty()) break;
    if (std::find(seen.begin(), seen.end(), comparable(next)) != seen.end()) {
      resolved.target.clear();
      resolved.reason = kLoopReason;
      break;
    }
    if (ctx.stopRequested()) {
      resolved.target.clear();
      resolved.reason = "已停止";
      break;
    }
    seen.push_back(comparable(next));
    Hop hop = resolveHop(http, next, agent, options.looseMatch);
    // The address reached answers without a redirect, or not at all: it is the end of the chain.
    if (hop.target.empty()) {
      if (ctx.stopRequested()) {
        resolved.target.clear();
        resolved.reason = "已停止";
      }
      break;
    }
    if (resolved.hops.size() >= static_cast<size_t>(kMaxHops)) {
      resolved.target.clear();
      resolved.reason = kTooManyHopsReason;
      break;
    }
    resolved.target = hop.target;
    resolved.hops.push_back(std::move(hop));
  }
  return resolved;
}

}  // namespace

const char* const kInvalidAddressReason = "地址无效";

const char* const kUserAgentTable =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\r\n"
    "Mozilla/4.0 (compatible; MSIE 7.0b; Windows NT 6.0)\r\n"
    "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.0; Trident/4.0)\r\n"
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)\r\n"
    "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.1; Trident/6.0)\r\n"
    "Mozilla/5.0 (Windows NT 6.1; Trident/7.0; rv:11.0) like Gecko\r\n"
    "Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/30.0.1599.101 "
    "Safari/537.36\r\n"
    "Mozilla/5.0 (Windows NT 6.1; rv:38.0) Gecko/20100101 Firefox/38.0\r\n"
    "Mozilla/5.0 (Windows NT 5.1; zh-CN) AppleWebKit/537.36 (KHTML, like Gecko) Version/5.0.1 "
    "Safari/537.36\r\n"
    "Opera/9.99 (Windows NT 5.1; U; zh-CN) Presto/9.9.9\r\n"
    "Mozilla/5.0 (iPad; CPU OS 5_1 like Mac OS X; en-us) AppleWebKit/534.46 (KHTML, like Gecko) "
    "Version/5.1 Mobile/9B176 Safari/7534.48.3\r\n"
    "Mozilla/5.0 (Linux; Android 5.0; SM-N9100 Build/LRX21V) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Version/4.0 Chrome/37.0.0.0 Mobile Safari/537.36 V1_AND_SQ_5.3.1_196_YYB_D QQ/5.3.1.2335 "
    "NetType/WIFI\r\n"
    "Mozilla/5.0 (Linux; Android 5.0; SM-N9100 Build/LRX21V) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Version/4.0 Chrome/37.0.0.0 Mobile Safari/537.36 MicroMessenger/6.0.2.56_r958800.520 "
    "NetType/WIFI\r\n"
    "Mozilla/5.0 (iPhone; CPU iPhone OS 7_1_2 like Mac OS X) AppleWebKit/537.51.2 (KHTML, like Gecko) "
    "Mobile/11D257 QQ/5.2.1.302 NetType/WIFI Mem/28\r\n"
    "Mozilla/5.0 (iPhone; CPU iPhone OS 7_1_2 like Mac OS X) AppleWebKit/537.51.2 (KHTML, like Gecko) "
    "Mobile/11D257 MicroMessenger/6.0.1 NetType/WIFI";

std::string userAgentEntryName(int index) {
  if (index < 0 || index >= kUserAgentCount) return {};
  return kUserAgentNames[index];
}

std::string userAgentText(int index) {
  const std::vector<std::string> lines = splitText(kUserAgentTable, "\r\n");
  if (index < 0 || static_cast<size_t>(index) >= lines.size()) return {};
  return lines[static_cast<size_t>(index)];
}

std::string invalidAddressesNote(size_t count) {
  return "其中 " + std::to_string(count) + " 个地址无效：只能获取 http:// 或 https:// 网址";
}

std::string chainLine(const AddressOutcome& item) {
  std::string line = item.hops.empty() ? item.address : item.hops.front().address;
  for (const Hop& hop : item.hops) line += "\t" + hop.kind + " " + hop.target;
  if (item.target.empty()) line += "\t失败：" + item.reason;
  return line;
}

std::vector<std::string> splitAddressList(std::string_view text) { return splitText(text, "\r\n"); }

namespace {

// The addresses resolved in input order. With several jobs, resolving threads take the next address
// as they become free and park the result in its slot; take() hands the slots on strictly in input
// order. With one job, take() resolves on the caller's thread.
class ResolvedInOrder {
 public:
  ResolvedInOrder(const RedirectOptions& options, RunContext& ctx)
      : options_(options),
        ctx_(ctx),
        count_(options.addresses.size()),
        jobs_(std::min<size_t>(std::clamp(options.jobs, 1, kMaxRedirectJobs), std::max<size_t>(count_, 1))),
        slots_(jobs_ > 1 ? count_ : 0),
        ready_(slots_.size(), 0) {
    HttpClientOptions httpOptions = options.http;
    if (options.stopAbortsRequests) httpOptions.abort = &ctx.stopFlag();
    if (jobs_ == 1) {
      http_.emplace(httpOptions);
      return;
    }
    for (size_t j = 0; j < jobs_; ++j) {
      workers_.emplace_back([this, httpOptions] {
        HttpClient http(httpOptions);
        while (!halt_.load()) {
          const size_t index = next_.fetch_add(1);
          if (index >= count_) break;
          Resolved resolved = resolveOne(http, options_, index, ctx_);
          {
            std::lock_guard lock(mutex_);
            slots_[index] = std::move(resolved);
            ready_[index] = 1;
          }
          filled_.notify_all();
        }
      });
    }
  }

  // The workers finish the address in hand and end.
  ~ResolvedInOrder() {
    halt_.store(true);
    for (std::thread& worker : workers_) worker.join();
  }

  Resolved take(size_t index) {
    if (jobs_ == 1) return resolveOne(*http_, options_, index, ctx_);
    std::unique_lock lock(mutex_);
    filled_.wait(lock, [&] { return ready_[index] != 0; });
    return std::move(slots_[index]);
  }

 private:
  const RedirectOptions& options_;
  RunContext& ctx_;
  const size_t count_;
  const size_t jobs_;
  std::vector<Resolved> slots_;
  std::vector<char> ready_;
  std::mutex mutex_;
  std::condition_variable filled_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> halt_{false};
  std::optional<HttpClient> http_;
  std::vector<std::thread> workers_;
};

// What the run makes of one resolved address: its line, its chain, its failure; counted into
// `outcome`.
AddressOutcome recordAddress(Resolved resolved, size_t index, const RedirectOptions& options, RunContext& ctx,
                             RedirectOutcome& outcome) {
  AddressOutcome item;
  item.index = index;
  item.address = std::move(resolved.address);
  item.target = std::move(resolved.target);
  item.hops = std::move(resolved.hops);
  if (item.target.empty()) {
    item.reason = std::move(resolved.reason);
    ++outcome.failed;
    if (resolved.invalid) ++outcome.invalid;
    outcome.failedList += item.address + "\r\n";
    outcome.failedReasons += item.reason + "\r\n";
    ctx.failure(item.address, resolved.invalid || options.failureReasons ? item.reason : "");
    if (options.failurePlaceholder) {
      item.writesLine = true;
      if (!options.emptyPlaceholder) item.line = item.address;
    }
  } else {
    item.writesLine = true;
    item.line = item.target;
  }
  if (item.writesLine) outcome.results += item.line + "\r\n";
  outcome.chains += chainLine(item) + "\r\n";
  ++outcome.finished;
  return item;
}

}  // namespace

RedirectOutcome RedirectRun(const RedirectOptions& options, RunContext& ctx) {
  RedirectOutcome outcome;
  const size_t count = options.addresses.size();
  ResolvedInOrder resolver(options, ctx);
  for (size_t index = 0; index < count; ++index) {
    Resolved resolved = resolver.take(index);
    if (resolved.target.empty() && options.stopAbortsRequests && ctx.stopRequested()) {
      outcome.stopped = true;
      break;
    }
    const AddressOutcome item = recordAddress(std::move(resolved), index, options, ctx, outcome);
    if (options.onAddress) options.onAddress(item);

    ctx.progress(static_cast<int64_t>(index + 1), static_cast<int64_t>(count));
    if (ctx.checkpoint()) {
      outcome.stopped = index + 1 < count;
      break;
    }
    ctx.phase(std::to_string(count) + ":" + std::to_string(index + 1));
  }
  return outcome;
}

}  // namespace chengling
