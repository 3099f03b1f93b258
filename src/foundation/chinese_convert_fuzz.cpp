// libFuzzer target: any bytes through the simplified / traditional conversions and the code-page
// conversions. No crash, hang or leak; the conversions of internal text keep its byte length, and
// a stream of each step, given the bytes in pieces, gives the whole-text result.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/chinese_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  using Step = ChineseStream::Step;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string traditional = ToTraditional(text);
  const std::string simplified = ToSimplified(text);
  if (traditional.size() != size || simplified.size() != size) abort();
  (void)Utf8ToTraditional(text);
  (void)Utf8ToSimplified(text);
  const std::string big5 = GbkToBig5(text);
  const std::string gbk = Big5ToGbk(text);

  // The first byte chooses the piece size; the pieces are cut anywhere.
  const size_t piece = size == 0 ? 1 : data[0] % 16 + 1;
  const struct {
    Step step;
    const std::string& whole;
  } steps[] = {{Step::ToTraditional, traditional},
               {Step::ToSimplified, simplified},
               {Step::GbkToBig5, big5},
               {Step::Big5ToGbk, gbk}};
  for (const auto& [step, whole] : steps) {
    ChineseStream stream({step});
    std::string out;
    for (size_t at = 0; at < size; at += piece) stream.put(text.substr(at, piece), out);
    stream.put({}, out, true);
    if (out != whole) abort();
  }
  return 0;
}
