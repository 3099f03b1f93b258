// libFuzzer target: the addresses a redirect run builds, from a received target resolved against the
// address it came from, and the source list cut into addresses. No crash, hang or leak; a resolved
// address is an absolute target itself, and otherwise ends with its target when the target holds no
// dot (no dot segment to remove), after at most a scheme and a host taken from the base (twice the
// base at worst, when a malformed base has its "://" after its first "//"). A prepared line has no
// blank at either end.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/fuzz_input.h"
#include "foundation/http_client.h"
#include "tools/redirect/redirect_detection.h"
#include "tools/redirect/redirect_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const auto parts = fuzzParts(data, size, 3);
  const std::string_view base = parts[0];
  const std::string_view target = parts[1];

  const std::string resolved = ResolveRelative(base, target);
  if (target.find("://") != std::string_view::npos && resolved != target) abort();
  if (target.find('.') == std::string_view::npos && !resolved.ends_with(target)) abort();
  if (resolved.size() > 2 * base.size() + target.size() + 5) abort();
  (void)requestAddress(resolved);

  std::string line(parts[2]);
  (void)prepareAddress(line);
  if (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.back() == ' ' || line.back() == '\t')) {
    abort();
  }

  size_t total = 0;
  for (const std::string& address : splitAddressList(parts[2])) {
    if (address.find("\r\n") != std::string::npos) abort();
    total += address.size();
  }
  if (total > parts[2].size()) abort();
  return 0;
}
