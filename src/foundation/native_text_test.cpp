#include "foundation/native_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "foundation/charset_conversion.h"
#include "foundation/file_system.h"
#include "foundation/text_codec.h"
#include "support/test_support.h"

// Plain "..." literals here are internal text (GB18030); u8"..." literals are UTF-8 bytes.
namespace chengling {
namespace {

using testing::hex;
using testing::utf8;

using namespace std::string_literals;

// The escape of one byte of a native name, as internal text, worked out through the plain UTF-8
// conversion rather than the escaping code under test.
std::string escape(unsigned char byte) {
  const char32_t code = 0xF780 + (byte - 0x80);
  const std::string utf8Form{static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
                             static_cast<char>(0x80 | (code & 0x3F))};
  return internalFromUtf8(utf8Form);
}

TEST(NativeText, MapsNamesToInternalTextAndBackExactly) {
  struct Case {
    const char* name;
    std::string native;
    std::string internal;
  };
  const Case kCases[] = {
      {"ascii", "notes-1.txt", "notes-1.txt"},
      {"empty", "", ""},
      {"chinese", utf8(u8"归类前文件路径.txt"), "归类前文件路径.txt"},
      {"four-byte character", utf8(u8"𠀀😀"), "\x95\x32\x82\x36\x94\x39\xFC\x36"},
      {"invalid bytes", "a\xFF\xFE.txt", "a" + escape(0xFF) + escape(0xFE) + ".txt"},
      {"gbk name", "\xD6\xD0\xCE\xC4.txt", escape(0xD6) + escape(0xD0) + escape(0xCE) + escape(0xC4) + ".txt"},
      {"truncated sequence", utf8(u8"中").substr(0, 2) + "x", escape(0xE4) + escape(0xB8) + "x"},
      {"overlong form", "\xC0\xAF", escape(0xC0) + escape(0xAF)},
      {"encoded surrogate", "\xED\xA0\x80", escape(0xED) + escape(0xA0) + escape(0x80)},
      {"escape range itself", "\xEF\x9E\x80" "b", escape(0xEF) + escape(0x9E) + escape(0x80) + "b"},
      {"last escape character", "\xEF\x9F\xBF", escape(0xEF) + escape(0x9F) + escape(0xBF)},
      {"private use without a gb18030 form", "\xEE\x9E\x8D", escape(0xEE) + escape(0x9E) + escape(0x8D)},
      {"past U+10FFFF", "\xF4\x90\x80\x80", escape(0xF4) + escape(0x90) + escape(0x80) + escape(0x80)},
  };
  for (const Case& c : kCases) {
    const std::string internal = internalFromNative(c.native);
    EXPECT_EQ(hex(internal), hex(c.internal)) << c.name;
    EXPECT_EQ(hex(nativeFromInternal(internal)), hex(c.native)) << c.name;
  }
}

TEST(NativeText, RandomNamesSurviveTheRoundTrip) {
  std::mt19937 random(99);
  const std::string pieces[] = {utf8(u8"中"), utf8(u8"文"), "\xEF\x9E", "\xEF\x9F\xBF", "\xF0\x9F\x98\x80", "\xC3", "a"};
  for (int i = 0; i < 5000; ++i) {
    std::string native;
    const int length = static_cast<int>(random() % 24);
    for (int k = 0; k < length; ++k) {
      if (random() % 3 == 0) {
        native += pieces[random() % std::size(pieces)];
      } else {
        native += static_cast<char>(random() % 255 + 1);  // never NUL, as in a real name
      }
    }
    const std::string internal = internalFromNative(native);
    ASSERT_EQ(hex(nativeFromInternal(internal)), hex(native));
    // Internal text is valid GB18030 that the plain conversion takes without loss.
    bool lossy = true;
    ConvertCharset(internal, kInternalCharset, "UTF-8", &lossy);
    EXPECT_FALSE(lossy) << hex(native);
  }
}

TEST(NativeText, PlainUtf8ConversionsReplaceWhatTheyCannotConvert) {
  EXPECT_EQ(utf8FromInternal("中文 abc"), utf8(u8"中文 abc"));
  EXPECT_EQ(internalFromUtf8(utf8(u8"中文 abc")), "中文 abc");
  EXPECT_EQ(utf8FromInternal("plain"), "plain");
  EXPECT_EQ(hex(utf8FromInternal("a\xFF" "b")), hex("a\xEF\xBF\xBD" "b"));
  EXPECT_EQ(hex(internalFromUtf8("a\xFF")), hex("a\x84\x31\xA4\x37"));
  // No escapes here: an invalid byte of UTF-8 text is a replacement character, not a name byte.
  EXPECT_NE(internalFromUtf8("\xFF"), internalFromNative("\xFF"));
}

TEST(NativeText, FileWithANameThatIsNotUtf8IsReadAndWrittenThroughItsInternalPath) {
  testing::TempDir dir;
  const std::string source = dir / "gbk-\xD6\xD0\xCE\xC4.txt";
  testing::writeBytes(source, utf8(u8"内容"));
  TextEncoding used = TextEncoding::Detect;
  const std::string internalSource = internalFromNative(source);
  EXPECT_EQ(DecodeText(internalSource, TextEncoding::Detect, "", "", used), "内容");
  EXPECT_EQ(used, TextEncoding::Utf8);

  const std::string target = internalFromNative(dir.path()) + "/" + internalFromNative("\xFF\xEF\x9E\x80-out.txt");
  std::string bytes;
  ASSERT_TRUE(EncodeText(target, "内容", TextEncoding::Utf16Le, bytes));
  EXPECT_EQ(testing::readBytes(dir / "\xFF\xEF\x9E\x80-out.txt"), "\xFF\xFE\x85\x51\xB9\x5B"s);
}

}  // namespace
}  // namespace chengling
