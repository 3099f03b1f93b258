#include "foundation/utf8.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>

#include <string>

#include "support/test_support.h"

namespace chengling {
namespace {

using testing::hex;

TEST(Utf8, ReadsOnlyWellFormedForms) {
  struct Case {
    std::string_view bytes;
    size_t length;
    char32_t codePoint;
  };
  const Case kCases[] = {
      {"a", 1, 'a'},           {"\xC3\xA9", 2, 0xE9},  {"\xE5\x95\x8A", 3, 0x554A},
      {"\xF0\x9F\x98\x80", 4, 0x1F600},
      {"\xC0\xAF", 0, 0},      // overlong
      {"\xE0\x9F\xBF", 0, 0},  // overlong
      {"\xED\xA0\x80", 0, 0},  // surrogate
      {"\xE5\x95", 0, 0},      // cut off
      {"\xF4\x90\x80\x80", 0, 0},
      {"\xF5\x80\x80\x80", 0, 0},
      {"\x80", 0, 0},
  };
  for (const Case& c : kCases) {
    char32_t cp = 0;
    const size_t length = readUtf8(c.bytes, 0, cp);
    EXPECT_EQ(length, c.length) << hex(c.bytes);
    if (c.length != 0) {
      EXPECT_EQ(static_cast<uint32_t>(cp), static_cast<uint32_t>(c.codePoint)) << hex(c.bytes);
    }
  }
}

TEST(Utf8, TellsACutOffFormFromAnInvalidOne) {
  struct Case {
    std::string_view bytes;
    Utf8Form form;
  };
  const Case kCases[] = {
      {"\xE5\x95", Utf8Form::CutOff},     {"\xF0", Utf8Form::CutOff},
      {"\xF0\x9F\x98", Utf8Form::CutOff}, {"\xE5\x41", Utf8Form::Invalid},
      {"\xF0\x8F", Utf8Form::Invalid},    {"\xED\xA0", Utf8Form::Invalid},
      {"\xC1", Utf8Form::Invalid},        {"\xBF", Utf8Form::Invalid},
      {"\xE5\x95\x8A", Utf8Form::Complete},
  };
  for (const Case& c : kCases) {
    size_t length = 0;
    EXPECT_EQ(utf8FormAt(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size(), length), c.form)
        << hex(c.bytes);
  }
}

// What iconv makes of the first character of `bytes`: converted, incomplete at the end, or invalid.
Utf8Form iconvForm(iconv_t cd, const unsigned char* bytes, size_t size) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
  size_t inLeft = size;
  char out[4];  // room for one character only
  char* outPtr = out;
  size_t outLeft = sizeof out;
  const bool converted = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
  if (converted || inLeft < size) return Utf8Form::Complete;
  return errno == EINVAL ? Utf8Form::CutOff : Utf8Form::Invalid;
}

// The reference: iconv's verdict, except that a start iconv calls incomplete counts as cut off
// only when continuation bytes make a character of it (iconv waits for more bytes even after E0 80,
// which nothing can complete). The second byte is the only one whose range matters.
Utf8Form referenceForm(iconv_t cd, const unsigned char* bytes, size_t size) {
  const Utf8Form form = iconvForm(cd, bytes, size);
  if (form != Utf8Form::CutOff) return form;
  for (size_t length = size + 1; length <= 4; ++length) {
    for (unsigned second = 0x80; second <= 0xBF; ++second) {
      unsigned char whole[4] = {bytes[0], static_cast<unsigned char>(second), 0x80, 0x80};
      for (size_t i = 1; i < size; ++i) whole[i] = bytes[i];
      if (iconvForm(cd, whole, length) == Utf8Form::Complete) return Utf8Form::CutOff;
      if (size >= 2) break;  // the second byte is given
    }
  }
  return Utf8Form::Invalid;
}

TEST(Utf8, TellsFormsAsIconvDoesOnEveryShortInput) {
  const iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  int failures = 0;
  auto check = [&](const unsigned char* bytes, size_t size) {
    size_t length = 0;
    const Utf8Form form = utf8FormAt(bytes, size, length);
    char32_t cp = 0;
    const size_t read = readUtf8(bytes, size, cp);
    const bool ok = form == referenceForm(cd, bytes, size) && read == (form == Utf8Form::Complete ? length : 0);
    if (!ok && ++failures <= 10) ADD_FAILURE() << hex(std::string_view(reinterpret_cast<const char*>(bytes), size));
  };
  for (unsigned a = 0; a < 256; ++a) {
    for (unsigned b = 0; b < 256; ++b) {
      const unsigned char bytes[3] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b), 0};
      if (b == 0) check(bytes, 1);
      check(bytes, 2);
      if (a < 0xE0 || a > 0xF4) continue;
      for (unsigned c = 0; c < 256; ++c) {
        const unsigned char three[3] = {bytes[0], bytes[1], static_cast<unsigned char>(c)};
        check(three, 3);
      }
    }
  }
  EXPECT_EQ(failures, 0);
  iconv_close(cd);
}

TEST(Utf8, EveryScalarIsWrittenAsIconvWritesItAndReadsBack) {
  std::u32string scalars;
  std::string written;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    scalars += cp;
    const size_t before = written.size();
    appendUtf8(cp, written);
    ASSERT_EQ(written.size() - before, utf8Length(cp)) << std::hex << static_cast<uint32_t>(cp);
    char32_t back = 0;
    ASSERT_EQ(readUtf8(written, before, back), utf8Length(cp)) << std::hex << static_cast<uint32_t>(cp);
    ASSERT_EQ(static_cast<uint32_t>(back), static_cast<uint32_t>(cp));
  }
  const std::string reference = testing::iconvBytes(
      std::string_view(reinterpret_cast<const char*>(scalars.data()), scalars.size() * 4), "UTF-32LE", "UTF-8");
  EXPECT_TRUE(written == reference);
}

}  // namespace
}  // namespace chengling
