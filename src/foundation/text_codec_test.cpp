#include "foundation/text_codec.h"

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/charset_conversion.h"
#include "foundation/native_text.h"
#include "foundation/utf8.h"
#include "support/fault_fixtures.h"
#include "support/test_support.h"

// Plain "..." literals here are internal text (GB18030); u8"..." literals are UTF-8 bytes.
namespace chengling {
namespace {

using testing::hex;
using testing::utf8;
using testing::TempDir;
using namespace std::string_literals;

std::string gzipped(std::string_view data, int level = Z_DEFAULT_COMPRESSION) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 64, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// The iconv program's own conversion of `bytes`, as the independent reference.
std::string iconvProgram(const TempDir& dir, std::string_view bytes, std::string_view from, std::string_view to) {
  testing::writeBytes(dir / "iconv-in", bytes);
  const std::string command = "iconv -f " + std::string(from) + " -t " + std::string(to) + " '" + (dir / "iconv-in") +
                              "' > '" + (dir / "iconv-out") + "'";
  EXPECT_EQ(testing::runCommand(command), 0) << command;
  return testing::readBytes(dir / "iconv-out");
}

constexpr TextEncoding kDetect = TextEncoding::Detect;
constexpr TextEncoding kAnsi = TextEncoding::Ansi;
constexpr TextEncoding kUtf8 = TextEncoding::Utf8;
constexpr TextEncoding kUtf16Le = TextEncoding::Utf16Le;
constexpr TextEncoding kUtf16Be = TextEncoding::Utf16Be;
constexpr TextEncoding kBig5 = TextEncoding::Big5;
constexpr TextEncoding kBig5Hkscs = TextEncoding::Big5Hkscs;

struct DecodeCase {
  const char* name;
  std::string bytes;
  TextEncoding forced;
  std::string want;
  TextEncoding wantUsed;
};

std::vector<DecodeCase> decodeCases() {
  const std::string big5Page = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=\"Big5\"\">"
                               "</head><body>\xA4\xA4\xA4\xE5</body></html>";
  const std::string hkscsPage = "<HTML><HEAD><META charset=Big5-HKSCS></HEAD>\x9D\xEF</HTML>";
  const std::string utf8Page = "<html><head><title>t</title><meta charset='utf-8'></head>" + utf8(u8"中文") + "</html>";
  return {
      {"utf-8 mark only", "\xEF\xBB\xBF", kDetect, "\xEF\xBB\xBF", kAnsi},
      {"utf-16le mark only", "\xFF\xFE", kDetect, "\xFF\xFE", kAnsi},
      {"pure ascii", "plain text\r\nline 2\r\n", kDetect, "plain text\r\nline 2\r\n", kAnsi},
      {"empty", "", kDetect, "", kAnsi},
      {"utf-8 without mark", utf8(u8"中文abc\r\n"), kDetect, "中文abc\r\n", kUtf8},
      {"utf-8 with mark", "\xEF\xBB\xBF" + utf8(u8"中文"), kDetect, "中文", kUtf8},
      {"utf-8 two-byte form", utf8(u8"café"), kDetect, "café", kUtf8},
      {"four-byte utf-8 makes ansi", utf8(u8"中😀文"), kDetect, utf8(u8"中😀文"), kAnsi},
      {"truncated utf-8 makes ansi", utf8(u8"中文").substr(0, 5), kDetect, utf8(u8"中文").substr(0, 5), kAnsi},
      {"gbk text is ansi", "中文", kDetect, "中文", kAnsi},
      {"utf-16le with mark", "\xFF\xFE\x2D\x4E" "A\0"s, kDetect, "中A", kUtf16Le},
      {"utf-16be with mark", "\xFE\xFF\x4E\x2D\0A"s, kDetect, "中A", kUtf16Be},
      {"odd-length utf-16le", "\xFF\xFE" "A\0B"s, kDetect, "A", kUtf16Le},
      {"forced utf-16le drops two bytes", "A\0B\0C\0"s, kUtf16Le, "BC", kUtf16Le},
      {"forced utf-16be drops two bytes", "\0A\0B"s, kUtf16Be, "B", kUtf16Be},
      {"forced utf-8 skips only a mark", utf8(u8"文字"), kUtf8, "文字", kUtf8},
      {"forced utf-8 with mark", "\xEF\xBB\xBF" + utf8(u8"文字"), kUtf8, "文字", kUtf8},
      {"forced ansi keeps the bytes", "\xEF\xBB\xBF" + utf8(u8"文"), kAnsi, "\xEF\xBB\xBF" + utf8(u8"文"), kAnsi},
      {"forced big5", "\xA4\xA4\xA4\xE5", kBig5, "中文", kBig5},
      {"big5 declaration in quotes", big5Page, kDetect,
       "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=\"Big5\"\">"
       "</head><body>中文</body></html>",
       kBig5},
      {"big5-hkscs declaration", hkscsPage, kDetect, "<HTML><HEAD><META charset=Big5-HKSCS></HEAD>嘅</HTML>", kBig5Hkscs},
      {"utf-8 declaration", utf8Page, kDetect, "<html><head><title>t</title><meta charset='utf-8'></head>中文</html>", kUtf8},
      {"ascii page declaring utf-8", "<meta charset=UTF-8><p>hi</p>", kDetect, "<meta charset=UTF-8><p>hi</p>", kUtf8},
      {"meta outside any head", "<html><meta charset=big5>\xA4\xA4</html>", kDetect, "<html><meta charset=big5>中</html>", kBig5},
      {"meta after the head is ignored", "<head><title>x</title></head><meta charset=big5>\xA4\xA4", kDetect,
       "<head><title>x</title></head><meta charset=big5>\xA4\xA4", kAnsi},
      {"gb2312 declaration with gbk text", "<head><meta charset=gb2312></head>中文", kDetect,
       "<head><meta charset=gb2312></head>中文", kAnsi},
      {"gb2312 declaration with utf-8 text", "<head><meta charset=gb2312></head>" + utf8(u8"中文"), kDetect,
       "<head><meta charset=gb2312></head>中文", kUtf8},
      {"declaration behind a nul is not seen", "abc\0<meta charset=big5>"s, kDetect, "abc", kAnsi},
      {"text after nul lost", "abc\0def"s, kDetect, "abc", kAnsi},
      {"utf-8 text after nul lost", utf8(u8"中") + "\0"s + utf8(u8"文"), kDetect, "中", kUtf8},
      {"utf-16 text after nul lost", "\xFF\xFE" "A\0\0\0B\0"s, kDetect, "A", kUtf16Le},
      {"leading nul in utf-16 falls back to the raw bytes", "\xFF\xFE\0\0A\0"s, kDetect, "\xFF\xFE", kAnsi},
      {"gzip page with declaration", gzipped(utf8Page), kDetect,
       "<html><head><title>t</title><meta charset='utf-8'></head>中文</html>", kUtf8},
      {"gzip utf-16 with mark", gzipped("\xFF\xFE\x2D\x4E"s), kDetect, "中", kUtf16Le},
  };
}

TEST(DecodeText, DetectsAndConvertsBuffers) {
  for (const DecodeCase& c : decodeCases()) {
    TextEncoding used = TextEncoding::Detect;
    const std::string text = DecodeText("", c.forced, c.bytes, "", used);
    EXPECT_EQ(hex(text), hex(c.want)) << c.name;
    EXPECT_EQ(used, c.wantUsed) << c.name;
    EXPECT_EQ(hex(DecodeBuffer(c.bytes, c.forced)), hex(c.want)) << c.name;
  }
}

// A decode that keeps NULs reads the same encoding as DecodeText and gives every converted byte.
TEST(DecodeText, KeepingNulGivesEveryByteAfterIt) {
  for (const DecodeCase& c : decodeCases()) {
    if (c.bytes.find('\0') != std::string::npos) continue;
    TextEncoding used = TextEncoding::Detect;
    EXPECT_EQ(hex(decodeKeepingNul(c.bytes, c.forced, used)), hex(c.want)) << c.name;
    EXPECT_EQ(used, c.wantUsed) << c.name;
  }
  const DecodeCase kCases[] = {
      {"ansi", "abc\0def\0"s, kDetect, "abc\0def\0"s, kAnsi},
      {"declaration behind a nul is not seen", "abc\0<meta charset=big5>\xA4\xA4"s, kDetect,
       "abc\0<meta charset=big5>\xA4\xA4"s, kAnsi},
      {"utf-8", utf8(u8"中") + "\0"s + utf8(u8"文"), kDetect, "中\0文"s, kUtf8},
      {"utf-8 with mark", "\xEF\xBB\xBF\0"s + utf8(u8"文"), kDetect, "\0文"s, kUtf8},
      {"utf-16le", "\xFF\xFE" "A\0\0\0B\0"s, kDetect, "A\0B"s, kUtf16Le},
      {"leading nul in utf-16be", "\xFE\xFF\0\0\0A"s, kDetect, "\0A"s, kUtf16Be},
      {"forced big5", "\xA4\xA4\0\xA4\xE5"s, kBig5, "中\0文"s, kBig5},
      {"gzip", gzipped("x\0y"s), kDetect, "x\0y"s, kAnsi},
  };
  for (const DecodeCase& c : kCases) {
    TextEncoding used = TextEncoding::Detect;
    EXPECT_EQ(hex(decodeKeepingNul(c.bytes, c.forced, used)), hex(c.want)) << c.name;
    EXPECT_EQ(used, c.wantUsed) << c.name;
  }
}

// A stop asked for while a large text decodes is answered after one round, not at the end.
TEST(DecodeText, AStopEndsALargeDecodeAfterOneRound) {
  std::string text;
  const std::string line = testing::utf8(u8"天下大势，分久必合，合久必分。\n");
  while (text.size() < (size_t{70} << 20)) text += line;
  int asked = 0;
  TextEncoding used = TextEncoding::Detect;
  const std::string decoded = DecodeText({}, TextEncoding::Detect, text, {}, used, [&asked] {
    ++asked;
    return true;
  });
  EXPECT_TRUE(decoded.empty());
  EXPECT_EQ(used, TextEncoding::Detect);
  EXPECT_EQ(asked, 2) << "asked after the first round, then once more to tell the caller";
  // Without a stop the same text decodes whole.
  EXPECT_EQ(DecodeText({}, TextEncoding::Detect, text, {}, used, [] { return false; }).size(),
            text.size() / line.size() * testing::gb(u8"天下大势，分久必合，合久必分。\n").size());
  EXPECT_EQ(used, TextEncoding::Utf8);
}

TEST(DecodeText, ReadsFiles) {
  TempDir dir;
  for (const DecodeCase& c : decodeCases()) {
    const std::string path = dir / "page.txt";
    testing::writeBytes(path, c.bytes);
    TextEncoding used = TextEncoding::Detect;
    const std::string text = DecodeText(internalFromNative(path), c.forced, "ignored", "ignored", used);
    EXPECT_EQ(hex(text), hex(c.want)) << c.name;
    EXPECT_EQ(used, c.wantUsed) << c.name;
  }
}

TEST(DecodeText, ReadsAFileThatCannotBeOpenedForWriting) {
  TempDir dir;
  const std::string folder = dir / "read-only";
  const std::string path = folder + "/page.txt";
  testing::writeBytes(path, utf8(u8"只读文件"));
  ::chmod(path.c_str(), 0444);
  // Permissions do not bind for root: a read-only mount of the folder does.
  testing::ReadOnlyFolder locked(folder);
  if (!locked.ready() || ::access(path.c_str(), W_OK) == 0) GTEST_SKIP() << "no way to make a file unwritable here";
  TextEncoding used = TextEncoding::Detect;
  EXPECT_EQ(DecodeText(internalFromNative(path), kDetect, "", "", used), "只读文件");
  EXPECT_EQ(used, kUtf8);
}

TEST(DecodeText, UsesExactlyOneSource) {
  TextEncoding used = TextEncoding::Big5;
  EXPECT_EQ(DecodeText("", kDetect, "bytes", "text", used), "bytes");
  EXPECT_EQ(DecodeText("", kDetect, "", "text", used), "text");
  EXPECT_EQ(DecodeText("", kDetect, "", utf8(u8"中"), used), "中");
  EXPECT_EQ(used, kUtf8);

  TempDir dir;
  used = TextEncoding::Big5;
  EXPECT_EQ(DecodeText(internalFromNative(dir / "missing.txt"), kDetect, "bytes", "text", used), "");
  EXPECT_EQ(used, TextEncoding::Big5) << "a file that cannot be read leaves the encoding alone";
  EXPECT_EQ(DecodeText(internalFromNative(dir.path()), kDetect, "bytes", "text", used), "");
  EXPECT_EQ(used, TextEncoding::Big5) << "a folder is not a file";

  testing::writeBytes(dir / "empty.txt", "");
  EXPECT_EQ(DecodeText(internalFromNative(dir / "empty.txt"), kDetect, "bytes", "text", used), "");
  EXPECT_EQ(used, kAnsi) << "an empty file decodes as empty Ansi text";
}

TEST(EncodeText, ConvertsAndMarksEachCode) {
  struct Case {
    TextEncoding encoding;
    std::string text;
    std::string want;
  };
  const Case kCases[] = {
      {kDetect, "中文", "中文"},
      {kAnsi, "中文", "中文"},
      {kUtf8, "中文a", "\xEF\xBB\xBF" + utf8(u8"中文a")},
      {kUtf16Le, "中a", "\xFF\xFE\x2D\x4E" "a\0"s},
      {kUtf16Be, "中a", "\xFE\xFF\x4E\x2D\0a"s},
      {kBig5, "中文", "\xA4\xA4\xA4\xE5"},
      {kBig5Hkscs, "嘅", "\x9D\xEF"},
      {kBig5, "们", "?"},
      {kUtf8, "", ""},  // an empty text gets no mark
      {kUtf16Le, "", ""},
  };
  TempDir dir;
  for (const Case& c : kCases) {
    std::string bytes = "old";
    EXPECT_FALSE(EncodeText("", c.text, c.encoding, bytes)) << "nothing written, nothing to report";
    EXPECT_EQ(hex(bytes), hex(c.want)) << static_cast<int>(c.encoding);

    const std::string path = dir / "out.txt";
    testing::writeBytes(path, "previous content");
    std::string written;
    EXPECT_TRUE(EncodeText(internalFromNative(path), c.text, c.encoding, written));
    EXPECT_EQ(hex(testing::readBytes(path)), hex(c.want)) << static_cast<int>(c.encoding);
  }
}

TEST(EncodeText, ReportsAFailedWrite) {
  TempDir dir;
  std::string bytes;
  EXPECT_FALSE(EncodeText(internalFromNative(dir / "no/such/folder/out.txt"), "中文", kUtf8, bytes));
  EXPECT_EQ(bytes, "\xEF\xBB\xBF" + utf8(u8"中文")) << "the bytes are still given back";
}

// Random characters from ranges that exercise one-, two- and four-byte GB18030 forms.
std::u32string randomCharacters(std::mt19937& random, size_t count) {
  struct Range {
    char32_t first, last;
  };
  static constexpr Range kRanges[] = {
      {0x20, 0x7E},     {0x0A, 0x0A},     {0x0D, 0x0D},     {0xA0, 0x17F},   {0x391, 0x3C9},
      {0x410, 0x44F},   {0x2000, 0x206F}, {0x3000, 0x30FF}, {0x4E00, 0x9FA5}, {0x4E00, 0x9FA5},
      {0xAC00, 0xD7A3}, {0xFF01, 0xFF5E}, {0x20000, 0x2A6D6},
  };
  std::u32string text;
  for (size_t i = 0; i < count; ++i) {
    const Range& range = kRanges[random() % std::size(kRanges)];
    text += static_cast<char32_t>(range.first + random() % (range.last - range.first + 1));
  }
  return text;
}

std::string utf8Of(std::u32string_view text) {
  std::string out;
  for (char32_t c : text) appendUtf8(c, out);
  return out;
}

// Which characters a charset holds and gives back unchanged: the test's own filter, straight on
// iconv(3), remembered per character.
class HeldCharacters {
 public:
  explicit HeldCharacters(std::string_view charset)
      : to_(iconv_open(std::string(charset).c_str(), "UTF-32LE")),
        back_(iconv_open("UTF-32LE", std::string(charset).c_str())) {}
  ~HeldCharacters() {
    iconv_close(to_);
    iconv_close(back_);
  }
  bool holds(char32_t c) {
    if (known_.size() <= c) known_.resize(c + 1, -1);
    if (known_[c] < 0) known_[c] = roundTrips(c) ? 1 : 0;
    return known_[c] == 1;
  }

 private:
  static bool convert(iconv_t cd, std::string_view in, std::string& out) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char buffer[32];
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == 0 && inLeft == 0 &&
                    iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == 0;
    out.assign(buffer, static_cast<size_t>(outPtr - buffer));
    return ok;
  }
  bool roundTrips(char32_t c) {
    const std::string in(reinterpret_cast<const char*>(&c), 4);  // little-endian machine
    std::string encoded, back;
    return convert(to_, in, encoded) && convert(back_, encoded, back) && back == in;
  }
  iconv_t to_;
  iconv_t back_;
  std::vector<signed char> known_;
};

std::string_view markOf(TextEncoding code) {
  switch (code) {
    case TextEncoding::Utf8: return "\xEF\xBB\xBF";
    case TextEncoding::Utf16Le: return "\xFF\xFE";
    case TextEncoding::Utf16Be: return "\xFE\xFF";
    default: return "";
  }
}

TEST(TextCodec, RoundTripsRandomTextAgainstTheIconvProgram) {
  TempDir dir;
  std::mt19937 random(20261210);
  const TextEncoding kCodes[] = {kUtf8, kUtf16Le, kUtf16Be, kBig5, kBig5Hkscs};
  HeldCharacters big5("BIG5"), big5Hkscs("BIG5-HKSCS");
  for (int round = 0; round < 4; ++round) {
    // The last round is large enough to make the output grow in several steps.
    const std::u32string characters = randomCharacters(random, round == 3 ? 3'000'000 : 3000);
    for (TextEncoding code : kCodes) {
      const std::string_view charset = charsetName(code);
      std::u32string held;
      if (code == kBig5 || code == kBig5Hkscs) {
        HeldCharacters& filter = code == kBig5 ? big5 : big5Hkscs;
        for (char32_t c : characters) {
          if (filter.holds(c)) held += c;
        }
      } else {
        held = characters;
      }
      const std::string source = utf8Of(held);
      const std::string internal = iconvProgram(dir, source, "UTF-8", "GB18030");
      const std::string converted = iconvProgram(dir, source, "UTF-8", charset);
      ASSERT_FALSE(internal.empty());
      ASSERT_FALSE(converted.empty());
      EXPECT_TRUE(internalFromUtf8(source) == internal) << charset << " round " << round;

      bool lossy = true;
      EXPECT_TRUE(ConvertCharset(internal, "GB18030", charset, &lossy) == converted) << charset << " round " << round;
      EXPECT_FALSE(lossy) << charset << " round " << round;

      std::string bytes;
      EncodeText("", internal, code, bytes);
      EXPECT_TRUE(bytes == std::string(markOf(code)) + converted) << charset << " round " << round;

      TextEncoding used = kDetect;
      EXPECT_TRUE(DecodeText("", code, bytes, "", used) == internal) << charset << " round " << round;
      EXPECT_EQ(used, code);
    }
  }
}

TEST(GunzipBytes, GivesWhatWasProduced) {
  std::string original;
  std::mt19937 random(7);
  for (int i = 0; i < 200000; ++i) original += static_cast<char>('a' + random() % 26);
  const std::string whole = gzipped(original);
  std::string badCrc = whole;
  badCrc[badCrc.size() - 6] ^= 0x55;
  std::string badHeader = whole;
  badHeader[2] = 9;  // no such compression method

  EXPECT_TRUE(GunzipBytes(whole) == original);
  EXPECT_TRUE(GunzipBytes(badCrc) == original) << "every byte came out before the check failed";
  EXPECT_EQ(GunzipBytes(badHeader), "");
  EXPECT_EQ(GunzipBytes("not gzip at all"), "");
  EXPECT_EQ(GunzipBytes(""), "");
  EXPECT_EQ(GunzipBytes("\x1F\x8B"), "");
  const std::string half = GunzipBytes(whole.substr(0, whole.size() / 2));
  EXPECT_GT(half.size(), 0u);
  EXPECT_LT(half.size(), original.size());
  EXPECT_TRUE(original.starts_with(half)) << "a truncated stream gives a prefix";
}

TEST(GunzipBytes, StopsAtTheLimit) {
  const std::string bomb = gzipped(std::string(size_t{10} << 20, 'x'), 9);
  EXPECT_EQ(GunzipBytes(bomb, size_t{1} << 20), std::string(size_t{1} << 20, 'x'));
  EXPECT_EQ(GunzipBytes(bomb, 12345).size(), 12345u);
  EXPECT_EQ(GunzipBytes(bomb).size(), size_t{10} << 20) << "a smaller stream is not cut";

  // The default: a stream of more than 256 MiB, built in pieces so the test stays cheap.
  z_stream stream{};
  ASSERT_EQ(deflateInit2(&stream, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  const std::string zeros(size_t{1} << 20, '\0');
  std::string big(size_t{4} << 20, '\0');
  stream.next_out = reinterpret_cast<Bytef*>(big.data());
  stream.avail_out = static_cast<uInt>(big.size());
  for (int i = 0; i < 260; ++i) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    stream.avail_in = static_cast<uInt>(zeros.size());
    ASSERT_EQ(deflate(&stream, i == 259 ? Z_FINISH : Z_NO_FLUSH), i == 259 ? Z_STREAM_END : Z_OK);
  }
  big.resize(stream.total_out);
  deflateEnd(&stream);
  const std::string inflated = GunzipBytes(big);
  EXPECT_EQ(inflated.size(), kGunzipLimit);
  EXPECT_EQ(inflated.find_first_not_of('\0'), std::string::npos);
}

TEST(DecodeBuffer, SurvivesRandomBytes) {
  std::mt19937 random(42);
  const std::string prefixes[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\x1F\x8B", "<meta charset=big5>",
                                  "<meta charset=big5-hkscs>", "<head><meta charset=utf-8></head>", gzipped("<meta charset=utf-8>")};
  for (int i = 0; i < 3000; ++i) {
    std::string bytes = prefixes[random() % std::size(prefixes)];
    const size_t length = random() % 400;
    for (size_t k = 0; k < length; ++k) bytes += static_cast<char>(random() % 4 == 0 ? 0x20 + random() % 0x60 : random());
    if (random() % 4 == 0) bytes = gzipped(bytes).substr(0, random() % 100 + 10);
    const auto forced = static_cast<TextEncoding>(random() % 7);
    TextEncoding used = TextEncoding::Detect;
    const std::string text = DecodeText("", forced, bytes, "", used);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_GE(static_cast<int>(used), 1);
    EXPECT_LE(static_cast<int>(used), 6);
    std::string encoded;
    EncodeText("", text, used, encoded);
  }
}

}  // namespace
}  // namespace chengling

namespace chengling {
namespace {

// Where the bytes have no mark, no declaration and are no UTF-8, DecodeText reads BIG5 and UTF-16
// without a mark by their evidence, reports the code for "自动" output, and leaves GBK, binary
// content and declared texts as they were.
TEST(DecodeText, DetectsUnmarkedBig5AndUtf16ByTheirBytes) {
  const std::string simplified = "这个问题其实并不复杂，只要把文件的编码弄清楚，就能正确地显示内容。";
  const std::string traditional =
      ConvertCharset(utf8(u8"這個問題其實並不複雜，只要把文件的編碼弄清楚，就能正確地顯示內容。"), "UTF-8", "GB18030");
  struct Case {
    const char* name;
    std::string bytes;
    std::string want;
    TextEncoding wantUsed;
  };
  const Case kCases[] = {
      {"big5", ConvertCharset(traditional, "GB18030", "BIG5"), traditional, TextEncoding::Big5},
      {"utf-16le", ConvertCharset(simplified, "GB18030", "UTF-16LE"), simplified, TextEncoding::Utf16Le},
      {"utf-16be", ConvertCharset(simplified + "\r\nabc", "GB18030", "UTF-16BE"), simplified + "\r\nabc",
       TextEncoding::Utf16Be},
      // Its bytes pass the UTF-8 check, NULs and all.
      {"utf-16be that looks like utf-8", ConvertCharset("count file like manpages 富而好礼 the users 5906", "GB18030", "UTF-16BE"),
       "count file like manpages 富而好礼 the users 5906", TextEncoding::Utf16Be},
      {"gbk", simplified, simplified, TextEncoding::Ansi},
      {"traditional in gbk", traditional, traditional, TextEncoding::Ansi},
      {"binary", "\x7F" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0\x3E\0\x01\0\0\0\x60\x10\0\0"s, "\x7F" "ELF\x02\x01\x01",
       TextEncoding::Ansi},
      {"declared big5 stays declared", "<meta charset=big5>" + ConvertCharset(simplified, "GB18030", "UTF-16LE"),
       ConvertCharset("<meta charset=big5>" + ConvertCharset(simplified, "GB18030", "UTF-16LE"), "BIG5", "GB18030"),
       TextEncoding::Big5},
  };
  for (const Case& c : kCases) {
    TextEncoding used = TextEncoding::Detect;
    EXPECT_EQ(hex(DecodeText({}, TextEncoding::Detect, c.bytes, {}, used)), hex(c.want)) << c.name;
    EXPECT_EQ(used, c.wantUsed) << c.name;
  }
}

}  // namespace
}  // namespace chengling
