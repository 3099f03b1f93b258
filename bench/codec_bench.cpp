// Harness of bench/codec_bench.sh.
//   codec_bench generate FILE MIB   writes MIB MiB of mixed Chinese and ASCII UTF-8 text
//   codec_bench roundtrip IN OUT    DecodeText(IN, Detect) then EncodeText(OUT, Utf8); prints the
//                                   encoding found and the peak resident memory in bytes

#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/native_text.h"
#include "foundation/text_codec.h"
#include "foundation/utf8.h"

namespace {

int generate(const char* path, long mib) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return 1;
  const uint64_t total = static_cast<uint64_t>(mib) << 20;
  uint64_t state = 0x9E3779B97F4A7C15ULL;
  auto next = [&state] {  // xorshift64: the same file on every run
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  static const char32_t kPunctuation[] = {0xFF0C, 0x3002, 0x3001, 0xFF1A, 0x201C, 0x201D};
  std::string chunk;
  uint64_t written = 0;
  while (written < total) {
    chunk.clear();
    while (chunk.size() < (size_t{4} << 20)) {
      const uint64_t r = next();
      switch (r % 10) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:  // a run of common Chinese characters
          for (uint64_t n = (r >> 8) % 12 + 1; n > 0; --n) chengling::appendUtf8(0x4E00 + next() % 0x51A6, chunk);
          break;
        case 6:
          chengling::appendUtf8(kPunctuation[(r >> 8) % std::size(kPunctuation)], chunk);
          break;
        case 7:
        case 8:  // an ASCII word, number or code
          for (uint64_t n = (r >> 8) % 10 + 1; n > 0; --n) chunk += static_cast<char>("abcdefghijklmnopqrstuvwxyz0123456789_-."[next() % 39]);
          chunk += ' ';
          break;
        default:
          chunk += (r >> 8) % 3 == 0 ? "\r\n" : ", ";
          break;
      }
    }
    size_t keep = chunk.size();
    if (keep >= total - written) {
      // The last piece ends on a character boundary and is padded to the exact size.
      keep = total - written;
      while (keep > 0 && (static_cast<unsigned char>(chunk[keep]) & 0xC0) == 0x80) --keep;
      chunk.resize(keep);
      chunk.append(total - written - keep, ' ');
      keep = chunk.size();
    }
    if (std::fwrite(chunk.data(), 1, keep, file) != keep) return 1;
    written += keep;
  }
  return std::fclose(file) == 0 ? 0 : 1;
}

int roundTrip(const char* in, const char* out) {
  chengling::TextEncoding used = chengling::TextEncoding::Detect;
  std::string bytes;
  {
    const std::string text =
        chengling::DecodeText(chengling::internalFromNative(in), chengling::TextEncoding::Detect, {}, {}, used);
    if (text.empty()) return 1;
    if (!chengling::EncodeText(chengling::internalFromNative(out), text, chengling::TextEncoding::Utf8, bytes)) return 1;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("encoding %d peak-rss %lld\n", static_cast<int>(used), static_cast<long long>(usage.ru_maxrss) * 1024);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "generate") return generate(argv[2], std::atol(argv[3]));
  if (argc == 4 && std::string(argv[1]) == "roundtrip") return roundTrip(argv[2], argv[3]);
  std::fprintf(stderr, "usage: codec_bench generate FILE MIB | roundtrip IN OUT\n");
  return 2;
}
