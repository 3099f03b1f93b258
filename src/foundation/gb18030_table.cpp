#include "foundation/gb18030_table.h"

#include <iconv.h>

#include <cstring>
#include <memory>

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

// Copies the ASCII at `p` (at least that one byte), eight bytes at a time while they are all ASCII.
void copyAscii(const unsigned char*& p, const unsigned char* end, unsigned char*& o) {
  const unsigned char* const start = p;
  uint64_t word;
  while (end - p >= 8) {
    std::memcpy(&word, p, 8);
    if ((word & 0x8080808080808080ULL) != 0) break;
    std::memcpy(o, &word, 8);
    p += 8;
    o += 8;
  }
  if (p == start) *o++ = *p++;
}

// The loop of both directions: runs of ASCII are copied, every other character goes through
// `character(p, end, o)`, which writes it at `o`, moves `o` on and returns the input bytes it took,
// or 0 to stop there.
template <typename Character>
size_t convertRun(const unsigned char* in, size_t size, unsigned char* out, size_t& produced, Character character) {
  const unsigned char* p = in;
  const unsigned char* const end = in + size;
  unsigned char* o = out;
  while (p < end) {
    if (*p < 0x80) {
      copyAscii(p, end, o);
      continue;
    }
    const size_t length = character(p, end, o);
    if (length == 0) break;
    p += length;
  }
  produced = static_cast<size_t>(o - out);
  return static_cast<size_t>(p - in);
}

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

size_t fromUtf8(const unsigned char* in, size_t size, unsigned char* out, size_t& produced) {
  const Table& table = Table::get();
  return convertRun(in, size, out, produced, [&table](const unsigned char* p, const unsigned char* end, unsigned char*& o) {
    char32_t point = 0;
    const size_t length = readUtf8(p, static_cast<size_t>(end - p), point);
    if (length == 0 || length == 4) return size_t{0};  // the table holds the BMP
    const size_t n = table.encodedLength(static_cast<char16_t>(point));
    if (n == 0) return size_t{0};
    const uint32_t bytes = table.encoded(static_cast<char16_t>(point));
    std::memcpy(o, &bytes, 4);  // room for 4 is there: 2 per input byte
    o += n;
    return length;
  });
}

size_t toUtf8(const unsigned char* in, size_t size, unsigned char* out, size_t& produced) {
  const Table& table = Table::get();
  return convertRun(in, size, out, produced, [&table](const unsigned char* p, const unsigned char* end, unsigned char*& o) {
    char32_t point = 0;
    const size_t length = table.decode(p, end, point);
    if (length != 0) o = reinterpret_cast<unsigned char*>(putUtf8(point, reinterpret_cast<char*>(o)));
    return length;
  });
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
