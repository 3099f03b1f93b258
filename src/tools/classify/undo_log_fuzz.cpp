// libFuzzer target: the three logs that an undo reads (before paths, after paths, failures; parts of
// the input cut at 1E bytes) paired up, and a log line read back. No crash, hang or leak; the pairs
// are consistent, no more pairs are marked failed than the failure log has lines, and any path
// written as a log line reads back as itself.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/fuzz_input.h"
#include "foundation/native_text.h"
#include "tools/classify/classify_log.h"
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
  for (size_t i = 0; i < logs.pairs; ++i) failed += logs.failed[i] ? 1 : 0;
  if (failed > readLogLines(parts[2]).size()) abort();

  // Any file name, line breaks and bytes that are no UTF-8 included.
  const std::string path = internalFromNative(parts[0]);
  const std::string line = logLine(path);
  if (line.find('\r') != std::string::npos || line.find('\n') != line.size() - 1) abort();
  if (readLogLines(line) != std::vector<std::string>{path}) abort();
  return 0;
}
