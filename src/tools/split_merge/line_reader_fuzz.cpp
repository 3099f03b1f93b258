// libFuzzer target: any bytes read as lines from memory, with and without telling blank lines. No
// crash, hang or leak; the lines follow one another inside the input and hand over their own bytes.
// Read again with runs of lines taken at once between single ones, the lines are the same.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/split_merge/line_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> plain;
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
      if (!checkBlank) plain.push_back(bytes);
      previousEnd = line.end;
      // Each line consumes at least one byte, except the one right after a NUL or 1A.
      if (++lines > 2 * size + 1) abort();
    }
    if (reader.failed()) abort();
  }

  LineReader runs(input, false);
  std::vector<std::string> taken;
  for (size_t round = 0;; ++round) {
    std::string run;
    const size_t room = size == 0 ? 0 : data[round % size] * 3;
    const size_t count = runs.takeLines(1 + round % 5, run, room);
    if (run.size() > room) abort();
    for (size_t at = 0, i = 0; i < count; ++i) {
      if (run.compare(at, 2, "\r\n") != 0) abort();
      const size_t next = run.find("\r\n", at + 2);
      taken.push_back(run.substr(at + 2, (next == std::string::npos ? run.size() : next) - at - 2));
      at = next;
    }
    LineSpan line;
    if (!runs.next(line)) break;
    taken.emplace_back(input.substr(line.begin, line.end - line.begin));
  }
  if (taken != plain) abort();
  return 0;
}
