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
  bool invalid = false;
};

Resolved resolveOne(HttpClient& http, const RedirectOptions& options, size_t index) {
  Resolved resolved{options.addresses[index], {}};
  if (!prepareAddress(resolved.address)) {
    resolved.invalid = true;
    return resolved;
  }
  const std::string agent = options.liveUserAgent ? options.liveUserAgent->snapshot() : options.userAgent;
  resolved.target = ResolveAddress(http, resolved.address, agent, options.looseMatch);
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

std::vector<std::string> splitAddressList(std::string_view text) { return splitText(text, "\r\n"); }

RedirectOutcome RedirectRun(const RedirectOptions& options, RunContext& ctx) {
  RedirectOutcome outcome;
  const size_t count = options.addresses.size();
  const size_t jobs = std::min<size_t>(std::clamp(options.jobs, 1, kMaxRedirectJobs), std::max<size_t>(count, 1));

  // With several jobs, resolving threads take the next address as they become free and park the
  // result in its slot; this thread hands the slots on strictly in input order.
  std::vector<Resolved> slots(jobs > 1 ? count : 0);
  std::vector<char> ready(slots.size(), 0);
  std::mutex mutex;
  std::condition_variable filled;
  std::atomic<size_t> next{0};
  std::atomic<bool> halt{false};
  HttpClientOptions httpOptions = options.http;
  if (options.stopAbortsRequests) httpOptions.abort = &ctx.stopFlag();
  std::vector<std::thread> workers;
  if (jobs > 1) {
    for (size_t j = 0; j < jobs; ++j) {
      workers.emplace_back([&] {
        HttpClient http(httpOptions);
        while (!halt.load()) {
          const size_t index = next.fetch_add(1);
          if (index >= count) break;
          Resolved resolved = resolveOne(http, options, index);
          {
            std::lock_guard lock(mutex);
            slots[index] = std::move(resolved);
            ready[index] = 1;
          }
          filled.notify_all();
        }
      });
    }
  }
  std::optional<HttpClient> http;
  if (jobs == 1) http.emplace(httpOptions);

  for (size_t index = 0; index < count; ++index) {
    Resolved resolved;
    if (jobs > 1) {
      std::unique_lock lock(mutex);
      filled.wait(lock, [&] { return ready[index] != 0; });
      resolved = std::move(slots[index]);
    } else {
      resolved = resolveOne(*http, options, index);
    }

    if (resolved.target.empty() && options.stopAbortsRequests && ctx.stopRequested()) {
      outcome.stopped = true;
      break;
    }

    AddressOutcome item;
    item.index = index;
    item.address = std::move(resolved.address);
    item.target = std::move(resolved.target);
    if (item.target.empty()) {
      ++outcome.failed;
      if (resolved.invalid) ++outcome.invalid;
      outcome.failedList += item.address + "\r\n";
      ctx.failure(item.address, resolved.invalid ? kInvalidAddressReason : "");
      if (options.failurePlaceholder) {
        item.writesLine = true;
        if (!options.emptyPlaceholder) item.line = item.address;
      }
    } else {
      item.writesLine = true;
      item.line = item.target;
    }
    if (item.writesLine) outcome.results += item.line + "\r\n";
    ++outcome.finished;
    if (options.onAddress) options.onAddress(item);

    ctx.progress(static_cast<int64_t>(index + 1), static_cast<int64_t>(count));
    if (ctx.checkpoint()) {
      outcome.stopped = index + 1 < count;
      break;
    }
    ctx.phase(std::to_string(count) + ":" + std::to_string(index + 1));
  }

  halt.store(true);
  for (std::thread& worker : workers) worker.join();
  return outcome;
}

}  // namespace chengling
