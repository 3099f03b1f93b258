// libFuzzer target: the phrase that names a piece after its content, from any text and any minimum
// length. No crash, hang or leak; markup removal never grows a text, a phrase is no longer than it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

#include "tools/split_merge/content_phrase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  if (size == 0) return 0;
  // The first byte is the minimum length in characters; the rest is the text.
  const int64_t n = data[0] % 32;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string bare = removeMarkup(text);
  if (bare.size() > text.size()) abort();
  std::mt19937_64 random(size);
  if (ContentPhrase(text, n, random).size() > bare.size()) abort();
  return 0;
}
