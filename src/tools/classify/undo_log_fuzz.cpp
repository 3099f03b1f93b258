// libFuzzer target: the three logs that an undo reads (before paths, after paths, failures; parts of
// the input cut at 1E bytes) paired up. No crash, hang or leak; the pairs are consistent, and no more
// pairs are marked failed than the failure log has lines.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "foundation/fuzz_input.h"
#include "foundation/internal_text.h"
#include "tools/classify/classify_undo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const auto parts = fuzzParts(data, size, 3);
  const UndoLogs logs = parseUndoLogs(parts[0], parts[1], parts[2]);
  if (logs.before.size() != logs.pairs || logs.after.size() != logs.pairs ||
      logs.failed.size() != logs.pairs) {
    abort();
  }
  size_t failed = 0;
  for (size_t i = 0; i < logs.pairs; ++i) {
    if (logs.before[i].find("\r\n") != std::string_view::npos) abort();
    failed += logs.failed[i] ? 1 : 0;
  }
  if (failed > splitText(parts[2], "\r\n").size()) abort();
  return 0;
}
