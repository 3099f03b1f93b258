#include "foundation/streamed_decode.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "foundation/charset_conversion.h"
#include "foundation/encoding_detection.h"
#include "foundation/html_charset_scan.h"
#include "foundation/text_check.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::TempDir;
using testing::writeBytes;

class CollectingSink : public TextSink {
 public:
  bool begin(TextEncoding used) override {
    ++begins;
    encoding = used;
    text.clear();
    return true;
  }
  bool put(std::string_view piece) override {
    EXPECT_FALSE(piece.empty());
    text.append(piece);
    return true;
  }
  int begins = 0;
  TextEncoding encoding = TextEncoding::Detect;
  std::string text;
};

std::string utf16(std::string_view internal, bool little) {
  return ConvertCharset(internal, "GB18030", little ? "UTF-16LE" : "UTF-16BE");
}

// Sources where detection, a cut character or a cut CR LF could go wrong.
std::vector<std::string> sources() {
  const std::string gbk = "中文，第二行\r\n第三行 abc\r\n";
  const std::string utf8 = ConvertCharset(gbk + "\x81\x30\x81\x30 \x95\x32\x82\x36", "GB18030", "UTF-8");
  return {
      "",
      "abc\r\n",
      gbk,
      gbk + std::string("\0tail", 5),
      std::string("\0", 1) + gbk,
      "\xEF\xBB\xBF" + utf8,
      "\xEF\xBB\xBF",
      std::string("\xEF\xBB\xBF\0abc", 7),
      utf8,
      utf8 + "\xE4\xB8",                       // cut off at the end
      "a\xE4\xB8" "b\xC3" "c\x80\x80\x80\x80" "d",  // ill-formed in the middle
      "\xFF\xFE" + utf16(gbk + "\x95\x32\x82\x36", true),
      "\xFE\xFF" + utf16(gbk, false),
      "\xFF\xFE" + std::string("\x00\xD8\x00\xD8\x41\x00\x00\xDC", 8),  // lone surrogates
      "\xFF\xFE" + std::string("\x41\x00\x00\x42\x00\x00\x43\x00", 8),  // NUL bytes, then a NUL unit
      "\xFF\xFE" + std::string("\x41\x00\x00\x42\x00\x43", 6),          // NUL bytes, no NUL unit
      "\xFF\xFE" + utf16("ab", true) + "\x41",                            // an odd byte at the end
      "<html><head><meta charset=Big5></head>\xA4\xA4\xA4\xE5\r\n</html>",
      "<html><head><title>t</title></head><meta charset=UTF-8>\xE4\xB8\xAD</html>",  // after the head
      "<HTML><HEAD><META http-equiv=x CONTENT=\"text/html; CHARSET=\"Big5-HKSCS\"\"></HEAD>\xA4\xA4",
      "<head></head><meta charset='utf-8'>\xE4\xB8\xAD",  // an empty head: the whole text counts
      "\xB0<meta charset=utf-8>\xE4\xB8\xAD",              // the tag starts inside a character
      std::string(41, '\xB0') + "<meta charset=big5>\xA4\xA4",  // so after a run longer than the bytes kept
      std::string(40, '\xB0') + "<meta charset=big5>\xA4\xA4",  // an even run: a tag
      "<meta>\xE4\xB8\xAD<meta charset=big5>",             // an empty tag ends the walk
      "<meta charset=big5",                                 // never closed
      std::string("<meta charset=big5\0>", 20),
      "<head><meta name=a><meta charset=big5-hkscs></head>\x88\x62\x88\x64",
  };
}

TEST(StreamedDecode, GivesDecodeTextsAnswerWhereverThePiecesEnd) {
  TempDir dir;
  const TextEncoding kForced[] = {TextEncoding::Detect,  TextEncoding::Ansi, TextEncoding::Utf8,
                                  TextEncoding::Utf16Le, TextEncoding::Utf16Be, TextEncoding::Big5,
                                  TextEncoding::Big5Hkscs};
  const size_t kPieces[] = {1, 2, 3, 4, 5, 7, 16, size_t{1} << 20};
  int index = 0;
  for (const std::string& source : sources()) {
    const std::string path = dir / ("s" + std::to_string(index++));
    writeBytes(path, source);
    for (TextEncoding forced : kForced) {
      TextEncoding wantUsed = TextEncoding::Detect;
      const std::string want = DecodeText(path, forced, {}, {}, wantUsed);
      for (size_t piece : kPieces) {
        CollectingSink sink;
        const StreamedDecode got = decodeFileStreamed(path, forced, sink, {}, piece);
        const std::string where = "source " + std::to_string(index - 1) + ", forced " +
                                  std::to_string(static_cast<int>(forced)) + ", pieces of " + std::to_string(piece);
        ASSERT_EQ(got.status, StreamedDecode::Status::Done) << where;
        EXPECT_EQ(sink.text, want) << where;
        EXPECT_EQ(got.used, wantUsed) << where;
        EXPECT_EQ(sink.encoding, wantUsed) << where;
        // Raw bytes go out while the detection reads; only a meta tag at the end starts over.
        EXPECT_GE(sink.begins, 1) << where;
        EXPECT_LE(sink.begins, 2) << where;
        EXPECT_EQ(got.textBytes, static_cast<int64_t>(want.size())) << where;
        EXPECT_EQ(got.replacement, want.find("\x84\x31\xA4\x37") != std::string::npos) << where;
        // A NUL of the source, found independently: a byte, or a UTF-16 unit after the first two.
        bool nul = false;
        const bool wide = wantUsed == TextEncoding::Utf16Le || wantUsed == TextEncoding::Utf16Be;
        for (size_t i = wide ? 2 : 0; i + (wide ? 1 : 0) < source.size(); i += wide ? 2 : 1) {
          nul = nul || (source[i] == '\0' && (!wide || source[i + 1] == '\0'));
        }
        EXPECT_EQ(got.heldNul, nul) << where;
      }
    }
  }
}

TEST(StreamedDecode, TextOnlyAgreesWithTheWholeDecodesVerdictWhereverThePiecesEnd) {
  TempDir dir;
  std::vector<std::string> all = sources();
  std::string gbk;
  while (gbk.size() < kTextProbeBytes + 5000) gbk += "中文，第二行\r\n";
  const std::string utf8 = ConvertCharset(gbk, "GB18030", "UTF-8");
  all.push_back(testing::pngLikeBytes(3000, 1));
  all.push_back(testing::binaryWithoutNul(3000, 2));
  all.push_back(gbk + std::string("\0", 1) + "tail");                        // a NUL behind the probe
  all.push_back("\xEF\xBB\xBF" + utf8 + testing::binaryWithoutNul(5000, 3));  // replacements behind it
  all.push_back(gbk + testing::binaryWithoutNul(5000, 3));                   // raw junk behind it
  std::string marks;
  for (int i = 0; i < 8; ++i) marks += "\xEF\xBF\xBD" "a";
  all.push_back(marks);  // U+FFFD of its own: counted alike on the way and whole
  const TextEncoding kForced[] = {TextEncoding::Detect, TextEncoding::Ansi, TextEncoding::Utf8, TextEncoding::Utf16Le,
                                  TextEncoding::Big5};
  const size_t kPieces[] = {1, 3, 7, 4096, size_t{1} << 20};
  int index = 0;
  for (const std::string& source : all) {
    const std::string path = dir / ("s" + std::to_string(index++));
    writeBytes(path, source);
    for (TextEncoding forced : kForced) {
      TextEncoding wantUsed = TextEncoding::Detect;
      TextVerdict verdict;
      const std::string want = DecodeText(path, forced, {}, {}, wantUsed, {}, &verdict);
      for (size_t piece : kPieces) {
        if (piece < 7 && source.size() > 20000) continue;  // byte by byte through a large file: slow, no news
        CollectingSink sink;
        const StreamedDecode got = decodeFileStreamed(path, forced, sink, {}, piece, true);
        const std::string where = "source " + std::to_string(index - 1) + ", forced " +
                                  std::to_string(static_cast<int>(forced)) + ", pieces of " + std::to_string(piece);
        if (!verdict.isText()) {
          EXPECT_EQ(got.status, StreamedDecode::Status::NotText) << where;
          continue;
        }
        ASSERT_EQ(got.status, StreamedDecode::Status::Done) << where;
        EXPECT_EQ(sink.text, want) << where;
        EXPECT_EQ(got.used, wantUsed) << where;
      }
    }
  }
}

TEST(StreamedDecode, TextOnlyHandsNothingOnWhenTheStartShowsNoText) {
  TempDir dir;
  writeBytes(dir / "png", testing::pngLikeBytes(100000, 4));
  writeBytes(dir / "bin", testing::binaryWithoutNul(100000, 5));
  for (const char* name : {"png", "bin"}) {
    for (TextEncoding forced : {TextEncoding::Detect, TextEncoding::Utf8, TextEncoding::Utf16Be}) {
      CollectingSink sink;
      EXPECT_EQ(decodeFileStreamed(dir / name, forced, sink, {}, 4096, true).status, StreamedDecode::Status::NotText)
          << name;
      EXPECT_EQ(sink.begins, 0) << name << " " << static_cast<int>(forced);
    }
  }
}

TEST(StreamedDecode, HtmlAndUtf8ScansAgreeWithTheWholeTextAtEveryCut) {
  for (const std::string& source : sources()) {
    const std::string_view text(source.data(), std::string_view(source).find('\0') == std::string_view::npos
                                                    ? source.size()
                                                    : std::string_view(source).find('\0'));
    for (size_t cut = 0; cut <= source.size(); ++cut) {
      for (size_t second = cut; second <= std::min(source.size(), cut + 9); ++second) {
        HtmlCharsetScan html;
        Utf8Scan utf8;
        for (std::string_view part : {std::string_view(source).substr(0, cut),
                                      std::string_view(source).substr(cut, second - cut),
                                      std::string_view(source).substr(second)}) {
          utf8.feed(part);
        }
        for (std::string_view part : {text.substr(0, std::min(cut, text.size())),
                                      text.substr(std::min(cut, text.size()), second - std::min({cut, second, text.size()})),
                                      text.substr(std::min(second, text.size()))}) {
          html.feed(part);
        }
        EXPECT_EQ(html.result(), DetectHtmlCharset(text)) << source << " cut at " << cut << ", " << second;
        EXPECT_EQ(utf8.result(), LooksLikeUtf8(source)) << source << " cut at " << cut << ", " << second;
      }
    }
  }
}

TEST(StreamedDecode, LeavesGzipContentToTheWholeDecode) {
  TempDir dir;
  writeBytes(dir / "z", std::string("\x1F\x8B\x08\x00", 4));
  CollectingSink sink;
  EXPECT_EQ(decodeFileStreamed(dir / "z", TextEncoding::Detect, sink).status, StreamedDecode::Status::Compressed);
  EXPECT_EQ(sink.begins, 0);
}

TEST(StreamedDecode, AStopIsAnsweredWithinOnePieceOfALargeFile) {
  TempDir dir;
  writeBytes(dir / "big", std::string(1000, 'a'));
  CollectingSink sink;
  int asked = 0;
  const StreamedDecode got = decodeFileStreamed(dir / "big", TextEncoding::Ansi, sink, [&asked] { return ++asked >= 1; }, 100);
  EXPECT_EQ(got.status, StreamedDecode::Status::Stopped);
  EXPECT_LE(sink.text.size(), 100u);
  // A file of less than one piece is done whole.
  writeBytes(dir / "small", "abc");
  CollectingSink small;
  EXPECT_EQ(decodeFileStreamed(dir / "small", TextEncoding::Detect, small, [] { return true; }, 100).status,
            StreamedDecode::Status::Done);
  EXPECT_EQ(small.text, "abc");
}

TEST(StreamedDecode, AnUnreadableFileSaysWhy) {
  TempDir dir;
  CollectingSink sink;
  const StreamedDecode got = decodeFileStreamed(dir / "missing", TextEncoding::Detect, sink);
  EXPECT_EQ(got.status, StreamedDecode::Status::Unreadable);
  EXPECT_FALSE(got.error.empty());
  EXPECT_EQ(sink.begins, 0);
}

}  // namespace
}  // namespace chengling

namespace chengling {
namespace {

// Texts without a mark that detection reads as BIG5 or UTF-16 by their bytes: the streamed decode
// takes the same encoding as DecodeText and gives the same text, whatever the pieces, guarded or
// not; NUL bytes of UTF-16 end nothing.
TEST(StreamedDecode, ReadsUnmarkedBig5AndUtf16AsDecodeTextDoes) {
  TempDir dir;
  const std::string simplified = "我们今天下午去图书馆借了几本关于历史的书，回来的路上下起了大雨。\r\nline 2\r\n";
  const std::string traditional = ConvertCharset(
      ConvertCharset("我們今天下午去圖書館借了幾本關於歷史的書，回來的路上下起了大雨。\r\n", "GB18030", "UTF-8"),
      "UTF-8", "BIG5");
  std::string longBig5;
  while (longBig5.size() < kGuessPrefix + kGuessWindow + 1000) longBig5 += traditional;
  struct Case {
    std::string bytes;
    TextEncoding want;
  };
  const Case kCases[] = {
      {traditional, TextEncoding::Big5},
      {longBig5, TextEncoding::Big5},
      {utf16(simplified, true), TextEncoding::Utf16Le},
      {utf16(simplified, false), TextEncoding::Utf16Be},
      {utf16("plain words\r\nand more of them\r\n", true), TextEncoding::Utf16Le},
      {utf16("count file like manpages 富而好礼 the users 5906", false), TextEncoding::Utf16Be},  // passes the UTF-8 check
  };
  int index = 0;
  for (const Case& c : kCases) {
    const std::string path = dir / ("u" + std::to_string(index++));
    writeBytes(path, c.bytes);
    TextEncoding wantUsed = TextEncoding::Detect;
    const std::string want = DecodeText(path, TextEncoding::Detect, {}, {}, wantUsed);
    ASSERT_EQ(wantUsed, c.want) << index;
    EXPECT_EQ(want, ConvertCharset(c.bytes, charsetName(c.want), "GB18030")) << index;
    for (size_t piece : {size_t{1}, size_t{3}, size_t{4096}, size_t{1} << 20}) {
      for (bool textOnly : {false, true}) {
        CollectingSink sink;
        const StreamedDecode got = decodeFileStreamed(path, TextEncoding::Detect, sink, {}, piece, textOnly);
        ASSERT_EQ(got.status, StreamedDecode::Status::Done) << index << " " << piece;
        EXPECT_EQ(got.used, c.want) << index << " " << piece;
        EXPECT_EQ(sink.text, want) << index << " " << piece;
      }
    }
  }
}

// A large UTF-8 file read in pieces whose cuts move across every byte of a unit with characters of
// every length (and, in the second file, stray and cut-off bytes): the converted pieces go through
// the table in two halves at once, and the text and its count of replacements are the whole
// decode's (iconv's own for the valid file).
TEST(StreamedDecode, LargePiecesCutEveryKindOfCharacterAsTheWholeDecodeDoes) {
  TempDir dir;
  const std::string unit = "\xE4\xB8\xAD\xE6\x96\x87 ab\xC3\xA9\xC2\x80\xF0\x9F\x98\x80\xEF\xBF\xBD\r\n";
  std::string valid;
  std::string invalid;
  for (int i = 0; valid.size() < (size_t{700} << 10); ++i) {
    valid += unit;
    invalid += unit;
    if (i % 5000 == 4999) invalid += "\x80\xE4\xB8";
  }
  writeBytes(dir / "valid", valid);
  writeBytes(dir / "invalid", invalid);
  for (const char* name : {"valid", "invalid"}) {
    TextEncoding used = TextEncoding::Detect;
    const std::string want = DecodeText(dir / name, TextEncoding::Utf8, {}, {}, used);
    if (std::string_view(name) == "valid") {
      ASSERT_TRUE(want == testing::iconvBytes(valid, "UTF-8", "GB18030"));
    }
    int64_t replacements = 0;
    for (size_t at = want.find("\x84\x31\xA4\x37"); at != std::string::npos; at = want.find("\x84\x31\xA4\x37", at + 4)) {
      ++replacements;
    }
    for (size_t piece = size_t{300} << 10; piece <= (size_t{300} << 10) + unit.size(); ++piece) {
      CollectingSink sink;
      const StreamedDecode got = decodeFileStreamed(dir / name, TextEncoding::Utf8, sink, {}, piece);
      ASSERT_EQ(got.status, StreamedDecode::Status::Done);
      EXPECT_TRUE(sink.text == want) << name << ", pieces of " << piece;
      EXPECT_EQ(got.replacements, replacements) << name << ", pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace chengling
