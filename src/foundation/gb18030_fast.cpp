#include "foundation/gb18030_fast.h"

#include <iconv.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace chengling::gb18030 {
namespace {

constexpr size_t kTwoByteCodes = 126 * 191;        // lead 81..FE, trail 40..FE
constexpr size_t kFourByteCodes = 4 * 10 * 126 * 10;  // 81 30 81 30 .. 84 39 FE 39: the BMP part

struct Tables {
  uint32_t encoded[0x10000];  // GB18030 bytes of a code point, first byte lowest
  uint8_t encodedLength[0x10000];  // 0: not in the table
  uint16_t twoByte[kTwoByteCodes];  // code point, 0: not in the table
  uint16_t fourByte[kFourByteCodes];
};

// One character through iconv; the number of output bytes, 0 when iconv refuses it.
size_t convertOne(iconv_t cd, const char* in, size_t size, char* out, size_t room) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* inPtr = const_cast<char*>(in);
  size_t inLeft = size;
  char* outPtr = out;
  size_t outLeft = room;
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return 0;
  if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return 0;
  return room - outLeft;
}

// A single BMP code point from UTF-32LE output, 0 for anything else.
uint16_t singleBmpPoint(const char* utf32, size_t size) {
  if (size != 4) return 0;
  uint32_t point;
  std::memcpy(&point, utf32, 4);
  return point < 0x10000 ? static_cast<uint16_t>(point) : 0;
}

std::unique_ptr<Tables> buildTables() {
  auto tables = std::make_unique<Tables>();
  std::memset(tables.get(), 0, sizeof(Tables));
  const iconv_t encoder = iconv_open("GB18030", "UTF-32LE");
  const iconv_t decoder = iconv_open("UTF-32LE", "GB18030");
  if (encoder != reinterpret_cast<iconv_t>(-1) && decoder != reinterpret_cast<iconv_t>(-1)) {
    char out[16];
    for (uint32_t point = 0x80; point < 0x10000; ++point) {
      if (point >= 0xD800 && point < 0xE000) continue;
      const size_t n = convertOne(encoder, reinterpret_cast<const char*>(&point), 4, out, sizeof out);
      if (n != 2 && n != 4) continue;
      uint32_t packed = 0;
      std::memcpy(&packed, out, n);
      tables->encoded[point] = packed;
      tables->encodedLength[point] = static_cast<uint8_t>(n);
    }
    for (size_t lead = 0; lead < 126; ++lead) {
      for (size_t trail = 0; trail < 191; ++trail) {
        if (trail + 0x40 == 0x7F) continue;
        const char code[2] = {static_cast<char>(0x81 + lead), static_cast<char>(0x40 + trail)};
        const size_t n = convertOne(decoder, code, 2, out, sizeof out);
        tables->twoByte[lead * 191 + trail] = singleBmpPoint(out, n);
      }
    }
    for (size_t index = 0; index < kFourByteCodes; ++index) {
      const char code[4] = {static_cast<char>(0x81 + index / 12600), static_cast<char>(0x30 + index / 1260 % 10),
                            static_cast<char>(0x81 + index / 10 % 126), static_cast<char>(0x30 + index % 10)};
      const size_t n = convertOne(decoder, code, 4, out, sizeof out);
      tables->fourByte[index] = singleBmpPoint(out, n);
    }
  }
  if (encoder != reinterpret_cast<iconv_t>(-1)) iconv_close(encoder);
  if (decoder != reinterpret_cast<iconv_t>(-1)) iconv_close(decoder);
  return tables;
}

const Tables& tables() {
  static const std::unique_ptr<Tables> instance = buildTables();
  return *instance;
}

// Copies the ASCII at `i` (at least that one byte), eight bytes at a time while they are all ASCII.
void copyAscii(const unsigned char* in, size_t size, unsigned char* out, size_t& i, size_t& o) {
  const size_t start = i;
  uint64_t word;
  while (i + 8 <= size) {
    std::memcpy(&word, in + i, 8);
    if ((word & 0x8080808080808080ULL) != 0) break;
    std::memcpy(out + o, &word, 8);
    i += 8;
    o += 8;
  }
  if (i == start) out[o++] = in[i++];
}

}  // namespace

size_t fromUtf8(const unsigned char* in, size_t size, unsigned char* out, size_t& produced) {
  const Tables& t = tables();
  size_t i = 0;
  size_t o = 0;
  while (i < size) {
    const unsigned c = in[i];
    if (c < 0x80) {
      copyAscii(in, size, out, i, o);
      continue;
    }
    uint32_t point;
    size_t length;
    if (c >= 0xC2 && c <= 0xDF) {
      if (i + 1 >= size || (in[i + 1] & 0xC0) != 0x80) break;
      point = ((c & 0x1Fu) << 6) | (in[i + 1] & 0x3Fu);
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      if (i + 2 >= size || (in[i + 1] & 0xC0) != 0x80 || (in[i + 2] & 0xC0) != 0x80) break;
      point = ((c & 0x0Fu) << 12) | ((in[i + 1] & 0x3Fu) << 6) | (in[i + 2] & 0x3Fu);
      if (point < 0x800 || (point >= 0xD800 && point < 0xE000)) break;
      length = 3;
    } else {
      break;
    }
    const size_t n = t.encodedLength[point];
    if (n == 0) break;
    std::memcpy(out + o, &t.encoded[point], 4);  // room for 4 is there: 2 per input byte
    o += n;
    i += length;
  }
  produced = o;
  return i;
}

size_t toUtf8(const unsigned char* in, size_t size, unsigned char* out, size_t& produced) {
  const Tables& t = tables();
  size_t i = 0;
  size_t o = 0;
  while (i < size) {
    const unsigned c = in[i];
    if (c < 0x80) {
      copyAscii(in, size, out, i, o);
      continue;
    }
    if (c == 0x80 || c == 0xFF || i + 1 >= size) break;
    const unsigned c1 = in[i + 1];
    uint32_t point;
    size_t length;
    if (c1 >= 0x30 && c1 <= 0x39) {
      if (c > 0x84 || i + 3 >= size) break;
      const unsigned c2 = in[i + 2];
      const unsigned c3 = in[i + 3];
      if (c2 < 0x81 || c2 > 0xFE || c3 < 0x30 || c3 > 0x39) break;
      point = t.fourByte[(((c - 0x81) * 10 + (c1 - 0x30)) * 126 + (c2 - 0x81)) * 10 + (c3 - 0x30)];
      length = 4;
    } else {
      if (c1 < 0x40 || c1 == 0x7F || c1 == 0xFF) break;
      point = t.twoByte[(c - 0x81) * 191 + (c1 - 0x40)];
      length = 2;
    }
    if (point == 0) break;
    if (point < 0x80) {
      out[o++] = static_cast<unsigned char>(point);
    } else if (point < 0x800) {
      out[o++] = static_cast<unsigned char>(0xC0 | (point >> 6));
      out[o++] = static_cast<unsigned char>(0x80 | (point & 0x3F));
    } else {
      out[o++] = static_cast<unsigned char>(0xE0 | (point >> 12));
      out[o++] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
      out[o++] = static_cast<unsigned char>(0x80 | (point & 0x3F));
    }
    i += length;
  }
  produced = o;
  return i;
}

size_t nextUtf8Restart(const unsigned char* in, size_t size, size_t from) {
  for (size_t j = from + 1; j < size; ++j) {
    if (in[j] < 0x80) return j;
  }
  return size;
}

size_t nextGb18030Restart(const unsigned char* in, size_t size, size_t from) {
  for (size_t j = from + 1; j < size; ++j) {
    if (in[j] < 0x30) return j + 1;
  }
  return size;
}

}  // namespace chengling::gb18030
