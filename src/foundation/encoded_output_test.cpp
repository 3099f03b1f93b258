#include "foundation/encoded_output.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/text_codec.h"
#include "support/test_support.h"

namespace chengling {
namespace {

std::string everyDoubleByteCharacter() {
  std::string text;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      text += static_cast<char>(lead);
      text += static_cast<char>(trail);
    }
    text += "\r\n";
  }
  return text;
}

// A text larger than one encoded piece, so that pieces end everywhere inside the characters.
std::string largeMixedText() {
  std::string text;
  while (text.size() < (size_t{9} << 20)) text += "中文 text 頭髮\x81\x30\x81\x30\x90\x30\x81\x30 x";
  return text;
}

struct Case {
  const char* name;
  std::string text;
  bool lossy;  // towards the UTF encodings
};

std::vector<Case> cases() {
  return {
      {"empty", "", false},
      {"ascii", "plain text\r\n", false},
      {"every double-byte character", everyDoubleByteCharacter(), false},
      {"four-byte characters", "\x81\x30\x81\x30 \x90\x30\x81\x30 \x94\x39\xDA\x33", false},
      {"large", largeMixedText(), false},
      {"invalid byte", "ab\x80" "cd中", true},
      {"lead byte cut off", "中文\xB0", true},
      {"invalid after the first piece", largeMixedText() + "\xFF", true},
  };
}

TEST(EncodedOutput, GivesTheBytesOfEncodeTextAndTellsWhatWasLost) {
  const TextEncoding kEncodings[] = {TextEncoding::Detect, TextEncoding::Ansi, TextEncoding::Utf8,
                                     TextEncoding::Utf16Le, TextEncoding::Utf16Be, TextEncoding::Big5};
  for (const Case& c : cases()) {
    for (TextEncoding encoding : kEncodings) {
      // Every BIG5 replacement costs the converter a restart: the large texts stay with the others.
      if (encoding == TextEncoding::Big5 && c.text.size() > 65536) continue;
      std::string want;
      EncodeText({}, c.text, encoding, want);
      bool lossy = false;
      const std::string got = encodedBytes(c.text, encoding, &lossy);
      EXPECT_TRUE(got == want) << c.name << " as " << static_cast<int>(encoding) << ": " << got.size()
                               << " bytes, want " << want.size();
      const bool utf = encoding == TextEncoding::Utf8 || encoding == TextEncoding::Utf16Le ||
                       encoding == TextEncoding::Utf16Be;
      if (utf) {
        EXPECT_EQ(lossy, c.lossy) << c.name << " as " << static_cast<int>(encoding);
      }
      if (encoding == TextEncoding::Ansi) {
        EXPECT_FALSE(lossy) << c.name;
      }
    }
  }
  bool lossy = false;
  encodedBytes("简体", TextEncoding::Big5, &lossy);
  EXPECT_TRUE(lossy);  // 简 has no BIG5 code
}

TEST(EncodedOutput, WritesTheSameBytesToDisk) {
  testing::TempDir dir;
  for (const Case& c : cases()) {
    for (TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Utf16Be, TextEncoding::Ansi}) {
      const std::string path = dir / "out.txt";
      const EncodedWrite result = writeEncodedFile(path, c.text, encoding, true);
      ASSERT_TRUE(result.ok) << c.name << ": " << result.error;
      EXPECT_TRUE(testing::readBytes(path) == encodedBytes(c.text, encoding)) << c.name;
      EXPECT_EQ(testing::listNames(dir.path()), std::vector<std::string>{"out.txt"}) << c.name;
    }
  }
}

// Small texts where a cut lands inside a character, between CR and LF, or in a run with no place
// to cut; every piece size puts the cuts everywhere.
TEST(EncodedOutput, AStreamWritesWhatTheWholeTextWritesWhereverThePiecesEnd) {
  testing::TempDir dir;
  const std::string kTexts[] = {
      "",
      "a",
      "中文\r\n第二行\r\nabc",
      "\x81\x30\x81\x30\r\n\x90\x30\x81\x30\x94\x39\xDA\x33",
      "ab\x80" "cd中\r\n\xFF\xFE\x81",
      "中文\xB0",
      "\xB0",
      "簡體頭髮\r\n简体 ?",
      "\x88\x62\x88\x64 \x88\x62 a",
  };
  const TextEncoding kEncodings[] = {TextEncoding::Ansi,    TextEncoding::Utf8, TextEncoding::Utf16Le,
                                     TextEncoding::Utf16Be, TextEncoding::Big5, TextEncoding::Big5Hkscs};
  const std::string path = dir / "out.txt";
  const std::string reference = dir / "whole.txt";
  for (const std::string& text : kTexts) {
    for (TextEncoding encoding : kEncodings) {
      const EncodedWrite want = writeEncodedFile(reference, text, encoding, true);
      ASSERT_TRUE(want.ok);
      for (size_t piece = 1; piece <= text.size() + 1; ++piece) {
        EncodedFileStream stream;
        ASSERT_TRUE(stream.open(path, encoding, nullptr));
        for (size_t at = 0; at < text.size(); at += piece) ASSERT_TRUE(stream.put(std::string_view(text).substr(at, piece)));
        const EncodedWrite got = stream.commit(true);
        ASSERT_TRUE(got.ok) << got.error;
        EXPECT_EQ(testing::readBytes(path), testing::readBytes(reference))
            << text << " as " << static_cast<int>(encoding) << " in pieces of " << piece;
        EXPECT_EQ(got.lossy, want.lossy) << text << " as " << static_cast<int>(encoding) << " in pieces of " << piece;
      }
    }
  }
  // A large text in pieces of a few MiB: the conversion runs in halves and writes in the background.
  const std::string large = largeMixedText() + "\xFF";
  for (TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Utf16Le}) {
    EncodedFileStream stream;
    ASSERT_TRUE(stream.open(path, encoding, nullptr));
    for (size_t at = 0; at < large.size(); at += size_t{3} << 20) ASSERT_TRUE(stream.put(std::string_view(large).substr(at, size_t{3} << 20)));
    const EncodedWrite got = stream.commit(true);
    ASSERT_TRUE(got.ok);
    EXPECT_TRUE(got.lossy);
    EXPECT_TRUE(testing::readBytes(path) == encodedBytes(large, encoding)) << static_cast<int>(encoding);
  }
}

TEST(EncodedOutput, AStreamLeftUncommittedLeavesNothing) {
  testing::TempDir dir;
  testing::writeBytes(dir / "kept.txt", "old");
  {
    EncodedFileStream stream;
    ASSERT_TRUE(stream.open(dir / "kept.txt", TextEncoding::Utf8, nullptr));
    ASSERT_TRUE(stream.put("新"));
  }
  EXPECT_EQ(testing::readBytes(dir / "kept.txt"), "old");
  EXPECT_EQ(testing::listNames(dir.path()), std::vector<std::string>{"kept.txt"});
}

TEST(EncodedOutput, DoesNotReplaceAnExistingFileWhenAskedNotTo) {
  testing::TempDir dir;
  const std::string path = dir / "kept.txt";
  testing::writeBytes(path, "old");
  const EncodedWrite result = writeEncodedFile(path, "new", TextEncoding::Utf8, false);
  EXPECT_FALSE(result.ok);
  EXPECT_FALSE(result.error.empty());
  EXPECT_EQ(testing::readBytes(path), "old");
  EXPECT_EQ(testing::listNames(dir.path()), std::vector<std::string>{"kept.txt"});
}

// Pieces of a large text, where the conversion goes through the table and in two halves at once:
// the piece sizes move the cuts across every byte of a unit that holds characters of every length,
// so that a cut lands inside each of them. Valid text gives iconv's own bytes; with a byte that
// starts no character now and then, the converter's replacements, as for the whole text.
TEST(EncodedOutput, AStreamOfLargePiecesCutsEveryKindOfCharacterAsTheWholeTextDoes) {
  testing::TempDir dir;
  const std::string unit = "\xD6\xD0\xCE\xC4 ab\xA1\xE8\x81\x30\x81\x30\xFE\x51\x95\x32\x82\x36\r\n";
  std::string valid;
  std::string invalid;
  for (int i = 0; valid.size() < (size_t{700} << 10); ++i) {
    valid += unit;
    invalid += unit;
    if (i % 5000 == 4999) invalid += "\x80\xD6";
  }
  const std::string path = dir / "out.txt";
  for (TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Utf16Le}) {
    const char* name = encoding == TextEncoding::Utf8 ? "UTF-8" : "UTF-16LE";
    const std::string validWant = std::string(byteOrderMark(encoding)) + testing::iconvBytes(valid, "GB18030", name);
    bool invalidLossy = false;
    const std::string invalidWant = encodedBytes(invalid, encoding, &invalidLossy);
    ASSERT_TRUE(invalidLossy);
    for (size_t piece = size_t{300} << 10; piece <= (size_t{300} << 10) + unit.size(); ++piece) {
      for (const std::string* text : {&valid, &invalid}) {
        EncodedFileStream stream;
        ASSERT_TRUE(stream.open(path, encoding, nullptr));
        for (size_t at = 0; at < text->size(); at += piece) ASSERT_TRUE(stream.put(std::string_view(*text).substr(at, piece)));
        const EncodedWrite got = stream.commit(true);
        ASSERT_TRUE(got.ok) << got.error;
        const bool isValid = text == &valid;
        EXPECT_EQ(got.lossy, !isValid) << name << ", pieces of " << piece;
        EXPECT_TRUE(testing::readBytes(path) == (isValid ? validWant : invalidWant))
            << name << ", pieces of " << piece << (isValid ? ", valid" : ", with stray bytes");
      }
    }
  }
}

}  // namespace
}  // namespace chengling
