#include "foundation/gbk_table.h"

#include <iconv.h>

#include <array>
#include <memory>
#include <vector>

namespace chengling {
namespace {

constexpr int kTrailCount = kGbkTrailSpan;             // trail bytes 0x40..0xFE
constexpr int kDoubleCount = (0xFF - 0x81) * kTrailCount;
constexpr uint32_t kQuadBmpCount = 39420;              // 81 30 81 30 .. 84 31 A4 39
constexpr uint32_t kQuadSupplementaryStart = 189000;   // linear index of 90 30 81 30 = U+10000
constexpr uint32_t kQuadFlag = 0x80000000u;

struct Tables {
  std::array<char32_t, kDoubleCount> doubleToUnicode{};
  // The few two-byte codes of characters beyond the BMP (FE51 = U+20087, ...).
  std::vector<std::pair<char32_t, uint16_t>> supplementaryDoubles;
  std::vector<char16_t> quadToUnicode = std::vector<char16_t>(kQuadBmpCount, 0);
  // 0: none; below kQuadFlag the two-byte code; with kQuadFlag the four-byte linear index.
  std::vector<uint32_t> fromUnicode = std::vector<uint32_t>(0x10000, 0);
};

// One GB18030 sequence through the C library, as a code point; 0 when rejected.
char32_t convertOne(iconv_t cd, const unsigned char* bytes, size_t length) {
  char in[4];
  for (size_t i = 0; i < length; ++i) in[i] = static_cast<char>(bytes[i]);
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

std::unique_ptr<Tables> buildTables() {
  auto tables = std::make_unique<Tables>();
  iconv_t cd = iconv_open("UTF-32LE", "GB18030");
  if (cd == reinterpret_cast<iconv_t>(-1)) return tables;  // no converter: every pair unmapped
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const unsigned char pair[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
      const char32_t cp = convertOne(cd, pair, 2);
      if (cp == 0) continue;
      tables->doubleToUnicode[(lead - 0x81) * kTrailCount + (trail - 0x40)] = cp;
      if (cp > 0xFFFF) {
        tables->supplementaryDoubles.emplace_back(cp, static_cast<uint16_t>(lead << 8 | trail));
      } else {
        tables->fromUnicode[cp] = static_cast<uint32_t>(lead << 8 | trail);
      }
    }
  }
  for (uint32_t linear = 0; linear < kQuadBmpCount; ++linear) {
    const unsigned char quad[4] = {
        static_cast<unsigned char>(0x81 + linear / 12600), static_cast<unsigned char>(0x30 + linear / 1260 % 10),
        static_cast<unsigned char>(0x81 + linear / 10 % 126), static_cast<unsigned char>(0x30 + linear % 10)};
    const char32_t cp = convertOne(cd, quad, 4);
    if (cp == 0 || cp > 0xFFFF) continue;
    tables->quadToUnicode[linear] = static_cast<char16_t>(cp);
    if (tables->fromUnicode[cp] == 0) tables->fromUnicode[cp] = kQuadFlag | linear;
  }
  iconv_close(cd);
  return tables;
}

const Tables& tables() {
  static const std::unique_ptr<Tables> instance = buildTables();
  return *instance;
}

bool isTrail(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }
bool isLead(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
bool isDigit(unsigned char byte) { return byte >= 0x30 && byte <= 0x39; }

void appendQuad(uint32_t linear, std::string& out) {
  out += static_cast<char>(0x81 + linear / 12600);
  out += static_cast<char>(0x30 + linear / 1260 % 10);
  out += static_cast<char>(0x81 + linear / 10 % 126);
  out += static_cast<char>(0x30 + linear % 10);
}

}  // namespace

GbUnit gbUnitAt(std::string_view text, size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  const size_t left = text.size() - pos;
  GbUnit unit;
  if (p[0] < 0x80) {
    unit.kind = GbUnit::Kind::Ascii;
    unit.codePoint = p[0];
    return unit;
  }
  unit.codePoint = 0xFFFD;
  if (!isLead(p[0]) || left < 2) return unit;
  if (isTrail(p[1])) {
    const char32_t cp = gbkToUnicode(p[0], p[1]);
    if (cp != 0) {
      unit.kind = GbUnit::Kind::Double;
      unit.length = 2;
      unit.codePoint = cp;
    }
    return unit;
  }
  if (left < 4 || !isDigit(p[1]) || !isLead(p[2]) || !isDigit(p[3])) return unit;
  const uint32_t linear = (p[0] - 0x81) * 12600u + (p[1] - 0x30) * 1260u + (p[2] - 0x81) * 10u + (p[3] - 0x30);
  char32_t cp = 0;
  if (linear < kQuadBmpCount) {
    cp = tables().quadToUnicode[linear];
  } else if (linear >= kQuadSupplementaryStart && linear - kQuadSupplementaryStart < 0x100000) {
    cp = 0x10000 + (linear - kQuadSupplementaryStart);
  }
  if (cp == 0) return unit;
  unit.kind = GbUnit::Kind::Quad;
  unit.length = 4;
  unit.codePoint = cp;
  return unit;
}

char32_t gbkToUnicode(unsigned char lead, unsigned char trail) {
  if (!isLead(lead) || !isTrail(trail)) return 0;
  return tables().doubleToUnicode[(lead - 0x81) * kTrailCount + (trail - 0x40)];
}

const char32_t* gbkDoubleTable() { return tables().doubleToUnicode.data(); }

uint16_t unicodeToGbk(char32_t codePoint) {
  if (codePoint > 0xFFFF) {
    for (const auto& [cp, code] : tables().supplementaryDoubles) {
      if (cp == codePoint) return code;
    }
    return 0;
  }
  if (codePoint < 0x80) return 0;
  const uint32_t entry = tables().fromUnicode[codePoint];
  return (entry & kQuadFlag) ? 0 : static_cast<uint16_t>(entry);
}

bool appendGb18030(char32_t codePoint, std::string& out) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
    return true;
  }
  if (codePoint <= 0xFFFF) {
    const uint32_t entry = tables().fromUnicode[codePoint];
    if (entry == 0) return false;  // surrogates, and whatever the converter lacked
    if (entry & kQuadFlag) {
      appendQuad(entry & ~kQuadFlag, out);
    } else {
      out += static_cast<char>(entry >> 8);
      out += static_cast<char>(entry & 0xFF);
    }
    return true;
  }
  if (codePoint > 0x10FFFF) return false;
  if (const uint16_t code = unicodeToGbk(codePoint)) {
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
    return true;
  }
  appendQuad(kQuadSupplementaryStart + (codePoint - 0x10000), out);
  return true;
}

void appendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

size_t readUtf8(std::string_view text, size_t pos, char32_t& codePoint) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  const size_t left = text.size() - pos;
  auto cont = [&](size_t i) { return i < left && (p[i] & 0xC0) == 0x80; };
  if (p[0] < 0x80) {
    codePoint = p[0];
    return 1;
  }
  if (p[0] >= 0xC2 && p[0] <= 0xDF && cont(1)) {
    codePoint = (char32_t{p[0]} & 0x1F) << 6 | (p[1] & 0x3F);
    return 2;
  }
  if (p[0] >= 0xE0 && p[0] <= 0xEF && cont(1) && cont(2)) {
    codePoint = (char32_t{p[0]} & 0x0F) << 12 | (char32_t{p[1]} & 0x3F) << 6 | (p[2] & 0x3F);
    if (codePoint < 0x800 || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
    return 3;
  }
  if (p[0] >= 0xF0 && p[0] <= 0xF4 && cont(1) && cont(2) && cont(3)) {
    codePoint = (char32_t{p[0]} & 0x07) << 18 | (char32_t{p[1]} & 0x3F) << 12 | (char32_t{p[2]} & 0x3F) << 6 |
                (p[3] & 0x3F);
    if (codePoint < 0x10000 || codePoint > 0x10FFFF) return 0;
    return 4;
  }
  return 0;
}

}  // namespace chengling
