#include "foundation/gb18030_table.h"

#include <iconv.h>

#include <bit>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#define CHENGLING_AVX2_PAIRS 1
#include <immintrin.h>
#endif

#include "foundation/utf8.h"

namespace chengling {
namespace gb18030 {
namespace {

// The four bytes of the four-byte form at `index`, in the order of the code space.
void fourByteForm(uint32_t index, unsigned char* bytes) {
  bytes[0] = static_cast<unsigned char>(0x81 + index / 12600);
  bytes[1] = static_cast<unsigned char>(0x30 + index / 1260 % 10);
  bytes[2] = static_cast<unsigned char>(0x81 + index / 10 % 126);
  bytes[3] = static_cast<unsigned char>(0x30 + index % 10);
}

uint32_t packed(const unsigned char* bytes, size_t length) {
  uint32_t value = 0;
  std::memcpy(&value, bytes, length);
  return value;
}

// Copies the run of ASCII at `p` (at least that one byte) to `o` and returns its length. Sixteen
// bytes are stored at a time, the bytes after the run included, so `o` needs room for 16 bytes beyond
// the run while 16 are left at `p` (the 2 output bytes per input byte that the loops are given cover
// it). The pointers go by value: behind a reference the loops would keep theirs in memory.
inline size_t copyAscii(const unsigned char* p, const unsigned char* end, unsigned char* o) {
  const unsigned char* const start = p;
#if defined(__SSE2__)
  while (end - p >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), block);
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
    if (high != 0) return static_cast<size_t>(p - start) + static_cast<unsigned>(__builtin_ctz(high));
    p += 16;
    o += 16;
  }
#else
  uint64_t word;
  while (end - p >= 8) {
    std::memcpy(&word, p, 8);
    if ((word & 0x8080808080808080ULL) != 0) break;
    std::memcpy(o, &word, 8);
    p += 8;
    o += 8;
  }
#endif
  while (p < end && *p < 0x80) *o++ = *p++;
  return static_cast<size_t>(p - start);
}

// The bytes of a packed form (first byte lowest) are stored with one 4-byte store.
static_assert(std::endian::native == std::endian::little);

}  // namespace

// Reads the table from the converter: every two-byte code and every four-byte code of the BMP is
// decoded once; the encoding direction is the reverse, the two-byte code first where two codes
// give the same character.
struct TableBuilder {
  explicit TableBuilder(Table& table) : table_(table) {}

  void build() {
    const iconv_t cd = iconv_open("UTF-32LE", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;  // no converter: every code unmapped
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        const unsigned char code[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
        const char32_t cp = decodeOne(cd, code, 2);
        if (cp > 0xFFFF) {
          table_.supplementaryDoubles_.emplace_back(cp, static_cast<uint16_t>(lead << 8 | trail));
        } else if (cp != 0) {
          table_.twoByte_[(lead - 0x81) * kTrailSpan + (trail - 0x40)] = static_cast<char16_t>(cp);
          char form[4];
          const auto length = static_cast<uint32_t>(putUtf8(cp, form) - form);
          table_.utf8OfPair_[lead | trail << 8] = packed(reinterpret_cast<unsigned char*>(form), length) | length << 24;
          addEncoding(cp, code, 2);
        }
      }
    }
    for (uint32_t index = 0; index < kFourByteBmpCodes; ++index) {
      unsigned char code[4];
      fourByteForm(index, code);
      const char32_t cp = decodeOne(cd, code, 4);
      if (cp == 0 || cp > 0xFFFF) continue;
      table_.fourByte_[index] = static_cast<char16_t>(cp);
      addEncoding(cp, code, 4);
    }
    iconv_close(cd);
  }

 private:
  // One code through the converter, as a code point; 0 when it is rejected or gives more than one.
  static char32_t decodeOne(iconv_t cd, const unsigned char* bytes, size_t length) {
    char in[4];
    std::memcpy(in, bytes, length);
    char32_t out[2] = {0, 0};
    char* inPtr = in;
    size_t inLeft = length;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof(out);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0 ||
        outLeft != sizeof(out) - sizeof(char32_t)) {
      return 0;
    }
    return out[0];
  }

  void addEncoding(char32_t cp, const unsigned char* code, size_t length) {
    if (cp < 0x80 || table_.encodedLength_[cp] != 0) return;
    table_.encoded_[cp] = packed(code, length);
    table_.encodedLength_[cp] = static_cast<uint8_t>(length);
  }

  Table& table_;
};

const Table& Table::get() {
  static const std::unique_ptr<Table> instance = [] {
    auto table = std::make_unique<Table>();
    TableBuilder(*table).build();
    return table;
  }();
  return *instance;
}

char32_t Table::supplementaryOf(uint16_t code) const {
  for (const auto& [cp, c] : supplementaryDoubles_) {
    if (c == code) return cp;
  }
  return 0;
}

uint16_t Table::supplementaryCode(char32_t codePoint) const {
  for (const auto& [cp, code] : supplementaryDoubles_) {
    if (cp == codePoint) return code;
  }
  return 0;
}

namespace {

// The code point of a three-byte UTF-8 form in the low three bytes of `w` (first byte lowest), when
// they have that form's shape; 0 otherwise. Overlong forms and surrogates pass the shape test: the
// caller refuses them by their value.
inline uint32_t threeBytePoint(uint32_t w) {
  if ((w & 0xC0C0F0) != 0x8080E0) return 0;
  return (w & 0x0F) << 12 | (w & 0x3F00) >> 2 | (w & 0x3F0000) >> 16;
}

// The packed GB18030 bytes of the character of a three-byte form (see threeBytePoint), 0 when the
// table has none for it or it is no character. Their number follows from the packing: a four-byte
// code has no zero byte, a two-byte one leaves the upper two bytes zero.
inline uint32_t gbOfThreeByte(const Table& table, uint32_t point) {
  if (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF)) return 0;
  return table.encoded(static_cast<char16_t>(point));
}

inline size_t packedGbLength(uint32_t bytes) { return bytes > 0xFFFF ? 4 : 2; }

}  // namespace

#if CHENGLING_AVX2_PAIRS
// The other way: eight three-byte forms at `p` (24 bytes) whose characters all have two-byte codes,
// with one gathering look-up (AVX2). Takes blocks while they are that; returns the input bytes
// taken, `written` the output bytes (16 a block).
__attribute__((target("avx2"))) size_t threeByteFormBlocks(const uint32_t* codes, const unsigned char* p,
                                                           const unsigned char* end, unsigned char* o,
                                                           size_t& written) {
  const unsigned char* const start = p;
  unsigned char* const first = o;
  // Each form in a 32-bit lane, first byte lowest: four in each 128-bit lane (bytes 0..11 of it).
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                          0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m256i shapeMask = _mm256_set1_epi32(0xC0C0F0);
  const __m256i shape = _mm256_set1_epi32(0x8080E0);
  // The two bytes of each code, in order, in the first 8 bytes of each 128-bit lane.
  const __m256i pack = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                        0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
  while (end - p >= 28) {
    const __m256i bytes = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 12),
                                              reinterpret_cast<const __m128i*>(p));
    const __m256i forms = _mm256_shuffle_epi8(bytes, spread);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_and_si256(forms, shapeMask), shape)) != -1) break;
    const __m256i point = _mm256_or_si256(
        _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(forms, _mm256_set1_epi32(0x0F)), 12),
                        _mm256_srli_epi32(_mm256_and_si256(forms, _mm256_set1_epi32(0x3F00)), 2)),
        _mm256_srli_epi32(_mm256_and_si256(forms, _mm256_set1_epi32(0x3F0000)), 16));
    // No overlong form (below 0x800) and no surrogate (D800..DFFF): those are no characters.
    const __m256i overlong = _mm256_cmpgt_epi32(_mm256_set1_epi32(0x800), point);
    const __m256i surrogate = _mm256_cmpeq_epi32(_mm256_and_si256(point, _mm256_set1_epi32(0xF800)),
                                                 _mm256_set1_epi32(0xD800));
    if (!_mm256_testz_si256(_mm256_or_si256(overlong, surrogate), _mm256_or_si256(overlong, surrogate))) break;
    const __m256i code = _mm256_i32gather_epi32(reinterpret_cast<const int*>(codes), point, 4);
    // Every code two bytes long: not 0 (unmapped), nothing in the upper half (four bytes).
    const __m256i upper = _mm256_srli_epi32(code, 16);
    const __m256i none = _mm256_cmpeq_epi32(code, _mm256_setzero_si256());
    if (!_mm256_testz_si256(upper, upper) || !_mm256_testz_si256(none, none)) break;
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(code, pack), 0x08);  // qwords 0, 2
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(packed));
    p += 24;
    o += 16;
  }
  written = static_cast<size_t>(o - first);
  return static_cast<size_t>(p - start);
}
#endif

size_t fromUtf8(const unsigned char* in, size_t size, unsigned char* out, size_t& produced) {
  const Table& table = Table::get();
#if CHENGLING_AVX2_PAIRS
  static const bool wide = __builtin_cpu_supports("avx2");
#endif
  const unsigned char* p = in;
  const unsigned char* const end = in + size;
  unsigned char* o = out;
  // Every store below has room for 4 bytes: 2 output bytes per input byte are there.
  while (p < end) {
    if (*p < 0x80) {
      const size_t run = copyAscii(p, end, o);
      p += run;
      o += run;
      continue;
    }
#if CHENGLING_AVX2_PAIRS
    if (wide && end - p >= 28) {
      size_t written = 0;
      const size_t taken = threeByteFormBlocks(table.encodedAll(), p, end, o, written);
      p += taken;
      o += written;
      if (p == end || *p < 0x80) continue;
    }
#endif
    // Chinese is three-byte forms: two of them at a time, one look-up and one store each.
    if (end - p >= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      const uint32_t first = gbOfThreeByte(table, threeBytePoint(static_cast<uint32_t>(w)));
      const uint32_t second = gbOfThreeByte(table, threeBytePoint(static_cast<uint32_t>(w >> 24)));
      if (first != 0 && second != 0) {
        std::memcpy(o, &first, 4);
        o += packedGbLength(first);
        std::memcpy(o, &second, 4);
        o += packedGbLength(second);
        p += 6;
        continue;
      }
    }
    char32_t point = 0;
    const size_t length = readUtf8(p, static_cast<size_t>(end - p), point);
    if (length == 0 || length == 4) break;  // the table holds the BMP
    const size_t n = table.encodedLength(static_cast<char16_t>(point));
    if (n == 0) break;
    const uint32_t bytes = table.encoded(static_cast<char16_t>(point));
    std::memcpy(o, &bytes, 4);
    o += n;
    p += length;
  }
  produced = static_cast<size_t>(o - out);
  return static_cast<size_t>(p - in);
}

#if CHENGLING_AVX2_PAIRS
// Chinese text is mostly runs of two-byte characters with three-byte UTF-8 forms: eight of them at a
// time, with one gathering look-up (AVX2, on processors that have it). Takes 16-byte blocks at `p`
// while all their bytes are 0x80 or above (from the start of a character every even byte is then
// a lead, as long as each pair is a character) and all eight forms are three bytes long; returns
// the input bytes taken, `written` the output bytes. A block stores 28 bytes at `o`: within the 2
// output bytes per input byte.
__attribute__((target("avx2"))) size_t threeBytePairBlocks(const uint32_t* forms, const unsigned char* p,
                                                           const unsigned char* end, unsigned char* o,
                                                           size_t& written) {
  const unsigned char* const start = p;
  unsigned char* const first = o;
  const __m256i three = _mm256_set1_epi32(3);
  // The three low bytes of each form, in order, in the first 12 bytes of each 128-bit lane.
  const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                        0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (_mm_movemask_epi8(bytes) != 0xFFFF) break;
    const __m256i pairs = _mm256_cvtepu16_epi32(bytes);  // first | second << 8
    const __m256i form = _mm256_i32gather_epi32(reinterpret_cast<const int*>(forms), pairs, 4);
    // An unmapped pair has the form 0, whose length is no 3 either.
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_srli_epi32(form, 24), three)) != -1) break;
    const __m256i packed = _mm256_shuffle_epi8(form, pack);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(packed));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 12), _mm256_extracti128_si256(packed, 1));
    p += 16;
    o += 24;
  }
  written = static_cast<size_t>(o - first);
  return static_cast<size_t>(p - start);
}
#endif

size_t toUtf8(const unsigned char* in, size_t size, unsigned char* out, size_t& produced) {
  const Table& table = Table::get();
#if CHENGLING_AVX2_PAIRS
  static const bool wide = __builtin_cpu_supports("avx2");
#endif
  const unsigned char* p = in;
  const unsigned char* const end = in + size;
  unsigned char* o = out;
  // A two-byte character is one look-up and one store: its 2 or 3 bytes and one or two that the next
  // character overwrites (room for 4 is there: 2 output bytes per input byte).
  while (p < end) {
    if (*p < 0x80) {
      const size_t run = copyAscii(p, end, o);
      p += run;
      o += run;
      continue;
    }
#if CHENGLING_AVX2_PAIRS
    if (wide && end - p >= 16) {
      size_t written = 0;
      const size_t taken = threeBytePairBlocks(table.utf8OfPairs(), p, end, o, written);
      p += taken;
      o += written;
      if (p == end || *p < 0x80) continue;
    }
#endif
    if (end - p >= 4 && p[2] >= 0x80) {  // two of them at a time
      const uint32_t first = table.utf8OfPair(p[0], p[1]);
      const uint32_t second = table.utf8OfPair(p[2], p[3]);
      if (first != 0 && second != 0) {
        std::memcpy(o, &first, 4);
        o += first >> 24;
        std::memcpy(o, &second, 4);
        o += second >> 24;
        p += 4;
        continue;
      }
    }
    if (end - p >= 2) {
      if (const uint32_t form = table.utf8OfPair(p[0], p[1])) {
        std::memcpy(o, &form, 4);
        o += form >> 24;
        p += 2;
        continue;
      }
    }
    char32_t point = 0;
    const size_t length = table.decode(p, end, point);
    if (length == 0) break;
    o = reinterpret_cast<unsigned char*>(putUtf8(point, reinterpret_cast<char*>(o)));
    p += length;
  }
  produced = static_cast<size_t>(o - out);
  return static_cast<size_t>(p - in);
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

}  // namespace gb18030

GbUnit gbUnitAt(std::string_view text, size_t pos) {
  const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
  GbUnit unit;
  char32_t cp = 0;
  const size_t length = gb18030::Table::get().decode(begin + pos, begin + text.size(), cp);
  if (length == 0) {
    unit.codePoint = 0xFFFD;
    return unit;
  }
  unit.kind = length == 1 ? GbUnit::Kind::Ascii : length == 2 ? GbUnit::Kind::Double : GbUnit::Kind::Quad;
  unit.length = static_cast<uint8_t>(length);
  unit.codePoint = cp;
  return unit;
}

char32_t gbkToUnicode(unsigned char lead, unsigned char trail) {
  if (lead < 0x81 || lead > 0xFE || trail < 0x40 || trail > 0xFE || trail == 0x7F) return 0;
  const unsigned char code[2] = {lead, trail};
  char32_t cp = 0;
  gb18030::Table::get().decode(code, code + 2, cp);
  return cp;
}

uint16_t unicodeToGbk(char32_t codePoint) {
  const gb18030::Table& table = gb18030::Table::get();
  if (codePoint > 0xFFFF) return table.supplementaryCode(codePoint);
  if (codePoint < 0x80 || table.encodedLength(static_cast<char16_t>(codePoint)) != 2) return 0;
  unsigned char bytes[4];
  const uint32_t encoded = table.encoded(static_cast<char16_t>(codePoint));
  std::memcpy(bytes, &encoded, 4);
  return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

bool appendGb18030(char32_t codePoint, std::string& out) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
    return true;
  }
  if (codePoint > 0x10FFFF) return false;
  const gb18030::Table& table = gb18030::Table::get();
  if (codePoint <= 0xFFFF) {
    const size_t length = table.encodedLength(static_cast<char16_t>(codePoint));
    if (length == 0) return false;  // surrogates, and whatever the converter lacked
    const uint32_t encoded = table.encoded(static_cast<char16_t>(codePoint));
    char bytes[4];
    std::memcpy(bytes, &encoded, 4);
    out.append(bytes, length);
    return true;
  }
  if (const uint16_t code = table.supplementaryCode(codePoint)) {
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
    return true;
  }
  unsigned char bytes[4];
  gb18030::fourByteForm(gb18030::kFourByteSupplementaryStart + (codePoint - 0x10000), bytes);
  out.append(reinterpret_cast<const char*>(bytes), 4);
  return true;
}

}  // namespace chengling
