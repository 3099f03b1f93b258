// libFuzzer target: the value file read as the store reads it, for a section and a key (parts of the
// input cut at 1E bytes: section, key, file text). No crash, hang or leak; a value is a piece of the
// text that holds no line break.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "foundation/fuzz_input.h"
#include "shell/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const auto parts = fuzzParts(data, size, 3);
  const std::string_view text = parts[2];
  const auto value = settings_format::storedValue(text, parts[0], parts[1]);
  if (value) {
    if (value->empty() || value->find("\r\n") != std::string_view::npos) abort();
    if (value->data() < text.data() || value->data() + value->size() > text.data() + text.size()) abort();
    (void)settings_format::leadingNumber(*value);
  }
  (void)settings_format::leadingNumber(text);
  return 0;
}
