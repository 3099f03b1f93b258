// libFuzzer target: any bytes through the simplified / traditional conversions and the code-page
// conversions. No crash, hang or leak; the conversions of internal text keep its byte length.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "foundation/chinese_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (ToTraditional(text).size() != size || ToSimplified(text).size() != size) abort();
  (void)Utf8ToTraditional(text);
  (void)Utf8ToSimplified(text);
  (void)GbkToBig5(text);
  (void)Big5ToGbk(text);
  return 0;
}
