#include "foundation/utf8.h"

#include <gtest/gtest.h>

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
