// libFuzzer target: the bytes of a list file (command-line lists, saved path lists) cut into lines.
// No crash, hang or leak; no line keeps its LF ("a\r\r\n" still leaves "a\r").

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/file_collector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const std::string& line : listFileLines(bytes)) {
    if (line.find('\n') != std::string::npos) abort();
  }
  const PathList paths = pathListFromText(bytes);
  size_t total = 0;
  for (const std::string& path : paths) {
    if (path.find('\n') != std::string::npos) abort();
    total += path.size();
  }
  if (total > size) abort();
  // Written back and read again, a list keeps its paths (a last empty path aside).
  const PathList again = pathListFromText(pathListToText(paths));
  if (again.size() > paths.size() || !std::equal(again.begin(), again.end(), paths.begin())) abort();
  return 0;
}
