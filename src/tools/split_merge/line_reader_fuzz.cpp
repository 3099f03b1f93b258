// libFuzzer target: any bytes read as lines from memory, with and without telling blank lines. No
// crash, hang or leak; the lines follow one another inside the input and hand over their own bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/split_merge/line_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (bool checkBlank : {false, true}) {
    LineReader reader(input, checkBlank);
    LineSpan line;
    int64_t previousEnd = 0;
    size_t lines = 0;
    while (reader.next(line)) {
      if (line.begin < previousEnd || line.end < line.begin || line.end > static_cast<int64_t>(size)) {
        abort();
      }
      std::string bytes;
      if (!reader.emit(line, [&bytes](std::string_view part) {
            bytes.append(part);
            return true;
          })) {
        abort();
      }
      if (bytes != input.substr(line.begin, line.end - line.begin)) abort();
      if (bytes.find('\n') != std::string::npos) abort();
      previousEnd = line.end;
      // Each line consumes at least one byte, except the one right after a NUL or 1A.
      if (++lines > 2 * size + 1) abort();
    }
    if (reader.failed()) abort();
  }
  return 0;
}
