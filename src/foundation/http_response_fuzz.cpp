// libFuzzer target: a response as the client receives it, the header block (fed line by line, as
// libcurl hands it over) and then the body, possibly gzip in gzip. No crash, hang or leak; the kept
// headers stay within their limit, the Location carries no line break, inflating stops at its limit.
// The body read in pieces gives the text it gives read whole; read with a short head, it keeps the
// page's first bytes and the encoding of the whole page.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/http_client.h"
#include "foundation/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t blockEnd = input.find("\r\n\r\n");
  std::string_view block = input.substr(0, blockEnd == std::string_view::npos ? size : blockEnd + 4);
  const std::string_view body = input.substr(block.size());

  ResponseHeaders headers;
  while (!block.empty()) {
    const size_t lineEnd = block.find('\n');
    const size_t length = lineEnd == std::string_view::npos ? block.size() : lineEnd + 1;
    headers.addLine(block.substr(0, length));
    block.remove_prefix(length);
  }
  if (headers.raw.size() > 2048 || (headers.overflow && !headers.raw.empty())) abort();
  if (headers.location.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) abort();
  (void)locationText(headers.location);
  (void)requestAddress(headers.location);

  // Small limits keep a compression bomb from turning into a slow input.
  constexpr size_t kLimit = size_t{1} << 20;
  if (GunzipBytes(body, kLimit).size() > kLimit) abort();
  const std::string whole = pageText(body, headers.raw, kLimit);

  const size_t piece = 1 + (body.empty() ? 0 : static_cast<unsigned char>(body.back()) % 61);
  PageReader inPieces(kLimit, kLimit);
  PageReader shortHead(kLimit, 64);
  bool fits = true;
  for (size_t at = 0; at < body.size() && fits; at += piece) {
    fits = inPieces.feed(body.substr(at, piece));
    if (shortHead.feed(body.substr(at, piece)) != fits) abort();
  }
  const PageHead all = inPieces.finish(headers.raw);
  const PageHead head = shortHead.finish(headers.raw);
  if (all.ok != fits || head.ok != fits || all.text() != whole) abort();
  if (fits && (head.encoding != all.encoding || head.bytes.size() > 64 || !all.bytes.starts_with(head.bytes))) abort();
  return 0;
}
