// libFuzzer target: a file decoded in pieces of any size gives exactly the text, the encoding and
// the flags of the same bytes decoded whole, wherever the pieces cut a character, a mark or a tag;
// judged on the way, it is no text exactly when the whole decode's verdict says so.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/streamed_decode.h"
#include "foundation/text_check.h"
#include "foundation/text_codec.h"

namespace {

// Collects the text, starting over when the decode does.
class Collect : public chengling::TextSink {
 public:
  bool begin(chengling::TextEncoding) override {
    text.clear();
    return true;
  }
  bool put(std::string_view piece) override {
    text.append(piece);
    return true;
  }
  std::string text;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first byte picks the forced encoding, the second the piece size; the rest is the file.
  const auto forced = static_cast<chengling::TextEncoding>(data[0] % 7);
  const size_t pieceBytes = 1 + data[1] % 64;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);

  // One file in memory for the whole run, rewritten for every input.
  static const int fd = ::memfd_create("streamed_decode_fuzz", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
      ::pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
    __builtin_trap();
  }

  Collect sink;
  const chengling::StreamedDecode streamed = chengling::decodeFileStreamed(path, forced, sink, {}, pieceBytes);
  if (streamed.status == chengling::StreamedDecode::Status::Compressed) return 0;  // decoded whole by the caller
  if (streamed.status != chengling::StreamedDecode::Status::Done) __builtin_trap();

  chengling::TextEncoding used = chengling::TextEncoding::Detect;
  chengling::TextVerdict verdict;
  const std::string whole = chengling::DecodeText({}, forced, bytes, {}, used, {}, &verdict);
  if (sink.text != whole || streamed.used != used || streamed.textBytes != static_cast<int64_t>(whole.size())) {
    __builtin_trap();
  }
  // Judging on the way gives the whole decode's verdict, and the same text when it is text.
  Collect judged;
  const chengling::StreamedDecode guarded = chengling::decodeFileStreamed(path, forced, judged, {}, pieceBytes, true);
  if (verdict.isText() ? guarded.status != chengling::StreamedDecode::Status::Done || judged.text != whole
                       : guarded.status != chengling::StreamedDecode::Status::NotText) {
    __builtin_trap();
  }
  return 0;
}
