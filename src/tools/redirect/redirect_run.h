#pragma once
// The run of the redirect tool: a list of addresses resolved one after another (or several at a
// time), a result line per address as asked, and the list of the addresses that failed.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/http_client.h"
#include "foundation/run_context.h"
#include "tools/redirect/redirect_detection.h"

namespace chengling {

// The reason of an address of another scheme, which is never requested (internal text): 地址无效.
extern const char* const kInvalidAddressReason;
// The prompt over the failed list when `count` of its lines were of another scheme (internal text).
std::string invalidAddressesNote(size_t count);

// The user-agent choice: entry names and their agent texts, 0-based.
inline constexpr int kUserAgentCount = 15;
inline constexpr int kDefaultUserAgentEntry = 11;  // "安卓QQ"
// The fifteen agent texts, one per line, joined by "\r\n".
extern const char* const kUserAgentTable;
// Entry name (internal text) and agent text of entry `index`; empty outside 0..14.
std::string userAgentEntryName(int index);
std::string userAgentText(int index);

// The source text as addresses: split on "\r\n"; empty lines stay as empty addresses, a trailing
// line break adds none, an empty text gives none.
std::vector<std::string> splitAddressList(std::string_view text);

// What became of one address, reported in input order.
struct AddressOutcome {
  size_t index = 0;     // 0-based
  // As rewritten: blanks around it trimmed, scheme added, fragment cut, or the target of a page
  // redirect.
  std::string address;
  std::string target;   // empty when the address failed
  std::string reason;   // why it failed (internal text); empty when it did not
  // The hops taken, in order: with `follow` every hop of the chain, else the one hop, if any.
  std::vector<Hop> hops;
  bool writesLine = false;  // a result line is written: a target, or a placeholder
  std::string line;     // that line, without its line break
};

// Addresses resolved at a time, at most: the window's box and the command line share it.
inline constexpr int kMaxRedirectJobs = 64;

struct RedirectOptions {
  std::vector<std::string> addresses;
  std::string userAgent;
  // When set, the agent is taken from here before every address instead of `userAgent`: the
  // window's box may change during a run.
  std::shared_ptr<const LiveOptions<std::string>> liveUserAgent;
  // 扩展模式: accept location assignments in scripts with a condition, and read the Refresh header
  // and more script forms (resolveHop).
  bool looseMatch = false;
  // Follow the chain: each target is resolved again, by the same rules and with the same agent,
  // until an address no longer redirects. More than kMaxHops hops fail with 跳转过多, an address
  // reached twice with 跳转循环.
  bool follow = false;
  // Each failure goes to RunContext::failure with its reason; otherwise with an empty reason, as
  // the plain address list always had it (an address of another scheme carries 地址无效 either way).
  bool failureReasons = false;
  bool failurePlaceholder = true;   // a failed address still writes a line ...
  bool emptyPlaceholder = false;    // ... which is empty instead of the address
  int jobs = 1;                     // addresses resolved at a time (1 to kMaxRedirectJobs)
  // A stop request also aborts the requests in flight instead of waiting up to their timeouts. An
  // address that ends without a target once the stop was requested is then left out (neither a
  // line nor a failure): it was cut short, not resolved.
  bool stopAbortsRequests = false;
  HttpClientOptions http;
  // Called on the run's thread, in input order, once per finished address.
  std::function<void(const AddressOutcome&)> onAddress;
};

// Hops a followed chain may take; one more fails the address.
inline constexpr int kMaxHops = 10;

struct RedirectOutcome {
  std::string results;     // every line written, each followed by "\r\n"
  std::string failedList;  // every failed address, each followed by "\r\n"
  // The reason of every failed address, in the order of failedList, each followed by "\r\n".
  std::string failedReasons;
  // Every finished address as chainLine gives it, each followed by "\r\n".
  std::string chains;
  size_t finished = 0;     // addresses done
  size_t failed = 0;
  size_t invalid = 0;      // of the failed, those never requested (kInvalidAddressReason)
  bool stopped = false;
};

// One address and its hops on a line, fields joined by a tab: the address, then each hop as its
// kind, a space and its target ("301 http://b/", "meta http://c/"); a failed address ends with
// "失败：" and its reason.
std::string chainLine(const AddressOutcome& item);

// Resolves every address in order, each trimmed of the blanks around it first (prepareAddress). After
// each one: the failure (address, "") is reported for a failed address, or (address, "地址无效") for
// one of another scheme, which is never requested; then progress(i, n), checkpoint(); on a stop the
// run ends there, otherwise the phase text "n:i" follows. The window and the command line both start
// their runs here.
RedirectOutcome RedirectRun(const RedirectOptions& options, RunContext& ctx);

}  // namespace chengling
