// Splits by count and size that keep lines or characters whole, run through SplitRun on real files
// and checked against iconv (each piece decodes on its own) and a plain walk over the whole file
// (where each cut should have gone).
#include "tools/split_merge/piece_cuts.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"
#include "tools/split_merge/split_engine.h"

namespace chengling {
namespace {

using testing::exists;
using testing::readBytes;
using testing::TempDir;
using testing::utf8;
using testing::writeBytes;

// Whether iconv reads all of `bytes` as `charset`, with no character broken at either end.
bool decodesCleanly(std::string_view bytes, const char* charset) {
  const iconv_t cd = iconv_open("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string out(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  const bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
  iconv_close(cd);
  return ok;
}

// How a fixture's characters are laid out, for the plain walk.
enum class Layout { Gb18030, Big5, Utf8, Utf16Le, Utf16Be, Bytes };

struct Fixture {
  std::string name;
  std::string bytes;
  const char* charset;  // iconv's name; null for a file that is no text
  Layout layout;
  size_t bodyStart = 0;  // the mark
};

// Lines of words drawn from `words`, each ended by `lineBreak` (the last one too when `endBreak`).
std::string prose(const std::vector<std::u8string>& words, int lines, std::u8string_view lineBreak,
                  unsigned seed, bool endBreak = true) {
  std::mt19937 random(seed);
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const int count = 2 + static_cast<int>(random() % 20);
    for (int w = 0; w < count; ++w) text += utf8(words[random() % words.size()]);
    if (endBreak || i + 1 < lines) text += utf8(lineBreak);
  }
  return text;
}

std::vector<Fixture> fixtures() {
  const std::vector<std::u8string> simplified = {u8"春眠", u8"不觉晓", u8"处处", u8"闻啼鸟", u8"夜来风雨声",
                                                 u8"花落知多少", u8"，", u8"。", u8"第", u8"回", u8"abc",
                                                 u8" ", u8"2024", u8"“好”", u8"、"};
  std::vector<std::u8string> astral = simplified;
  for (const char8_t* word : {u8"𠀀", u8"𠀁𪚥", u8"😀", u8"𝄞", u8"🀄"}) astral.push_back(word);
  const std::vector<std::u8string> traditional = {u8"春眠", u8"不覺曉", u8"處處", u8"聞啼鳥", u8"夜來風雨聲",
                                                  u8"花落知多少", u8"，", u8"。", u8"abc", u8" ", u8"臺灣"};
  const auto in = [](const std::string& text, const char* charset) {
    return testing::iconvBytes(text, "UTF-8", charset);
  };
  std::vector<Fixture> list;
  list.push_back({"GBK", in(prose(simplified, 90, u8"\r\n", 1), "GB18030"), "GB18030", Layout::Gb18030});
  list.push_back({"GB18030 four-byte", in(prose(astral, 90, u8"\n", 2), "GB18030"), "GB18030", Layout::Gb18030});
  list.push_back({"BIG5",
                  "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Big5\"></head>\r\n" +
                      in(prose(traditional, 90, u8"\r\n", 3), "BIG5"),
                  "BIG5", Layout::Big5});
  list.push_back({"UTF-8 three-byte", prose(simplified, 90, u8"\n", 4), "UTF-8", Layout::Utf8});
  list.push_back({"UTF-8 four-byte", prose(astral, 90, u8"\r\n", 5), "UTF-8", Layout::Utf8});
  list.push_back({"UTF-8 with mark", "\xEF\xBB\xBF" + prose(astral, 90, u8"\n", 6), "UTF-8", Layout::Utf8, 3});
  list.push_back({"UTF-16LE surrogate pairs", "\xFF\xFE" + in(prose(astral, 90, u8"\r\n", 7), "UTF-16LE"),
                  "UTF-16LE", Layout::Utf16Le, 2});
  list.push_back({"UTF-16BE surrogate pairs", "\xFE\xFF" + in(prose(astral, 90, u8"\n", 8), "UTF-16BE"),
                  "UTF-16BE", Layout::Utf16Be, 2});
  // Five-byte lines: cuts of 249 bytes fall between CR and LF.
  std::string crLf;
  for (int i = 0; i < 800; ++i) crLf += "abc\r\n";
  list.push_back({"CR LF", crLf, "GB18030", Layout::Gb18030});
  // Chinese without one ASCII byte, four-byte forms among it: nothing near a cut tells where a
  // character starts.
  list.push_back({"one long line", in(prose(simplified, 1, u8"", 9, false), "GB18030") +
                                       in(prose({u8"春眠不觉晓处处闻啼鸟"}, 3000, u8"", 10, false), "GB18030") +
                                       in(prose({u8"春眠", u8"𠀀", u8"不觉晓😀"}, 800, u8"", 12, false), "GB18030"),
                  "GB18030", Layout::Gb18030});
  list.push_back({"shorter than the count", testing::gb(u8"第一行\r\n第二行\r\n第三行"), "GB18030", Layout::Gb18030});
  list.push_back({"empty", "", "GB18030", Layout::Gb18030});
  list.push_back({"binary", testing::pngLikeBytes(6000, 3), nullptr, Layout::Bytes});
  return list;
}

size_t unitOf(Layout layout) { return layout == Layout::Utf16Le || layout == Layout::Utf16Be ? 2 : 1; }

bool unitIs(const Fixture& f, size_t at, char c) {
  if (unitOf(f.layout) == 1) return f.bytes[at] == c;
  return f.layout == Layout::Utf16Le ? f.bytes[at] == c && f.bytes[at + 1] == '\0'
                                     : f.bytes[at] == '\0' && f.bytes[at + 1] == c;
}

// Every character start of a text, walked from its first byte, without those between CR and LF,
// and the end; or every line end before the end.
std::vector<size_t> starts(const Fixture& f) {
  std::vector<size_t> list;
  const auto* b = reinterpret_cast<const unsigned char*>(f.bytes.data());
  const size_t n = f.bytes.size();
  if (f.bodyStart > 0) list.push_back(0);
  for (size_t i = f.bodyStart; i < n;) {
    list.push_back(i);
    size_t length = 1;
    switch (f.layout) {
      case Layout::Gb18030: length = b[i] < 0x80 ? 1 : i + 1 < n && b[i + 1] >= 0x30 && b[i + 1] <= 0x39 ? 4 : 2; break;
      case Layout::Big5: length = b[i] < 0x81 ? 1 : 2; break;
      case Layout::Utf8: length = b[i] < 0x80 ? 1 : b[i] < 0xE0 ? 2 : b[i] < 0xF0 ? 3 : 4; break;
      case Layout::Utf16Le: length = b[i + 1] >= 0xD8 && b[i + 1] <= 0xDB ? 4 : 2; break;
      case Layout::Utf16Be: length = b[i] >= 0xD8 && b[i] <= 0xDB ? 4 : 2; break;
      case Layout::Bytes: break;
    }
    if (unitIs(f, i, '\r') && i + unitOf(f.layout) < n && unitIs(f, i + unitOf(f.layout), '\n')) {
      length = 2 * unitOf(f.layout);
    }
    i += length;
  }
  list.push_back(n);
  return list;
}

std::vector<size_t> lineEnds(const Fixture& f) {
  std::vector<size_t> list;
  const size_t unit = unitOf(f.layout);
  for (size_t i = f.bodyStart; i + unit <= f.bytes.size(); i += unit) {
    if (unitIs(f, i, '\n') && i + unit < f.bytes.size()) list.push_back(i + unit);
  }
  return list;
}

// The first of `allowed` (ascending) at or after `at`, or `size`.
size_t firstFrom(const std::vector<size_t>& allowed, size_t at, size_t size) {
  for (const size_t a : allowed) {
    if (a >= at && a <= size) return a;
  }
  return size;
}

struct Setting {
  const char* label;
  SplitMode mode;
  int32_t count;
  int length;  // bytes (BySize)
};

// Where the cuts go, walked over the whole file: each at the first allowed place at or after the
// byte-exact cut (the previous cut + the length; k x size / count), later than the one before.
std::vector<size_t> expectedCuts(const std::vector<size_t>& allowed, const Setting& s, size_t size) {
  std::vector<size_t> cuts;
  size_t end = 0;
  for (int64_t k = 1; end < size; ++k) {
    size_t at = 0;
    if (s.mode == SplitMode::BySize) {
      at = end + static_cast<size_t>(s.length);
    } else {
      at = k >= s.count ? size : std::max(static_cast<size_t>(k) * (size / static_cast<size_t>(s.count)), end + 1);
    }
    end = at >= size ? size : firstFrom(allowed, at, size);
    cuts.push_back(end);
  }
  return cuts;
}

struct Pieces {
  std::vector<std::string> contents;
  PlainRunContext ctx;
  SplitOutcome outcome;
};

void splitFile(const TempDir& dir, const std::string& bytes, const Setting& s, SplitCut cut, Pieces& out) {
  writeBytes(dir / "src.txt", bytes);
  SplitOptions options;
  options.mode = s.mode;
  options.pieceCount = s.count;
  options.sizeValue = static_cast<float>(s.length);
  options.sizeUnit = 0;
  options.cut = cut;
  out.outcome = SplitRun({dir / "src.txt"}, options, out.ctx);
  for (int k = 1; exists(dir / ("src/src_" + std::to_string(k) + ".txt")); ++k) {
    out.contents.push_back(readBytes(dir / ("src/src_" + std::to_string(k) + ".txt")));
  }
}

TEST(WholeCuts, EveryPieceDecodesOnItsOwnAndTheMergeGivesTheSourceBack) {
  const Setting kSettings[] = {
      {"count 7", SplitMode::ByCount, 7, 0},
      {"count 30", SplitMode::ByCount, 30, 0},
      {"size 249 B", SplitMode::BySize, 0, 249},
      {"size 1000 B", SplitMode::BySize, 0, 1000},
  };
  for (const Fixture& f : fixtures()) {
    if (f.charset != nullptr) {
      ASSERT_TRUE(decodesCleanly(f.bytes, f.charset)) << f.name << ": a bad fixture";
    }
    for (const SplitCut cut : {SplitCut::WholeLines, SplitCut::WholeChars}) {
      for (const Setting& s : kSettings) {
        const std::string label =
            f.name + ", " + s.label + (cut == SplitCut::WholeLines ? ", whole lines" : ", whole characters");
        TempDir dir;
        Pieces pieces;
        splitFile(dir, f.bytes, s, cut, pieces);
        EXPECT_EQ(pieces.outcome.end, SplitEnd::Finished) << label;
        EXPECT_EQ(pieces.outcome.failures, 0) << label;
        std::string merged;
        std::vector<size_t> cuts;
        for (const std::string& piece : pieces.contents) {
          merged += piece;
          cuts.push_back(merged.size());
          EXPECT_FALSE(piece.empty()) << label << ": piece " << cuts.size();
          if (f.charset != nullptr) {
            EXPECT_TRUE(decodesCleanly(piece, f.charset)) << label << ": piece " << cuts.size() << " starts "
                                                          << testing::hex(piece.substr(0, 8)) << ", ends "
                                                          << testing::hex(piece.substr(piece.size() - std::min<size_t>(piece.size(), 8)));
          }
        }
        EXPECT_EQ(merged, f.bytes) << label;

        if (f.charset == nullptr) {
          // No text: the byte-exact pieces, and a word about it.
          Setting bytes = s;
          TempDir exact;
          Pieces expected;
          splitFile(exact, f.bytes, bytes, SplitCut::Bytes, expected);
          EXPECT_EQ(pieces.contents, expected.contents) << label;
          ASSERT_EQ(pieces.ctx.warnings.size(), 1u) << label;
          EXPECT_EQ(pieces.ctx.warnings[0].item, dir / "src.txt") << label;
          EXPECT_EQ(pieces.ctx.warnings[0].reason, "不是文本文件，按字节分割") << label;
          continue;
        }
        const std::vector<size_t> allowed = cut == SplitCut::WholeLines ? lineEnds(f) : starts(f);
        const std::vector<size_t> greedy = expectedCuts(allowed, s, f.bytes.size());
        if (cut == SplitCut::WholeLines && s.mode == SplitMode::ByCount &&
            greedy.size() < static_cast<size_t>(s.count)) {
          // Too few line ends where the cuts fall: the count is kept as long as the file has the lines.
          const size_t lines = f.bytes.size() <= f.bodyStart ? 0 : allowed.size() + 1;
          EXPECT_EQ(cuts.size(), std::min<size_t>(lines, static_cast<size_t>(s.count))) << label;
          for (size_t k = 0; k + 1 < cuts.size(); ++k) {
            EXPECT_TRUE(std::find(allowed.begin(), allowed.end(), cuts[k]) != allowed.end()) << label << ": cut " << k;
          }
        } else {
          EXPECT_EQ(cuts, greedy) << label;
        }
        // A count that was not reached is said, once, with the number made.
        if (s.mode == SplitMode::ByCount && cuts.size() < static_cast<size_t>(s.count)) {
          ASSERT_EQ(pieces.ctx.warnings.size(), 1u) << label;
          const std::string& reason = pieces.ctx.warnings[0].reason;
          EXPECT_NE(reason.find(cuts.empty() ? "空" : std::to_string(cuts.size()) + " 份"), std::string::npos)
              << label << ": " << reason;
          if (!cuts.empty()) {
            EXPECT_NE(reason.find(std::to_string(s.count) + " 份"), std::string::npos) << label << ": " << reason;
          }
        } else {
          EXPECT_TRUE(pieces.ctx.warnings.empty()) << label << ": " << pieces.ctx.warnings[0].reason;
        }
      }
    }
  }
}

TEST(WholeCuts, CountKeepsItsNumberWhateverTheLinesLengths) {
  const std::string longLine = std::string(20000, 'x') + "\n";
  std::string shortLines;
  for (int i = 0; i < 12; ++i) shortLines += "line " + std::to_string(i) + "\n";
  struct Case {
    const char* label;
    std::string text;
    int32_t count;
    size_t pieces;
  };
  const Case kCases[] = {
      {"a long line last", shortLines + longLine, 10, 10},
      {"a long line first", longLine + shortLines, 10, 10},
      {"a long line between", shortLines + longLine + shortLines, 20, 20},
      {"as many lines as pieces", shortLines + longLine, 13, 13},
      {"no break after the last line", shortLines + std::string(5000, 'y'), 13, 13},
      {"one line fewer than pieces", shortLines + longLine, 14, 13},
      {"blank lines count", "\n\n\n\n", 3, 3},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    Pieces pieces;
    splitFile(dir, c.text, {c.label, SplitMode::ByCount, c.count, 0}, SplitCut::WholeLines, pieces);
    ASSERT_EQ(pieces.contents.size(), c.pieces) << c.label;
    std::string merged;
    for (size_t k = 0; k < pieces.contents.size(); ++k) {
      const std::string& piece = pieces.contents[k];
      EXPECT_FALSE(piece.empty()) << c.label << ": piece " << k + 1;
      if (k + 1 < pieces.contents.size()) {
        EXPECT_EQ(piece.back(), '\n') << c.label << ": piece " << k + 1;
      }
      merged += piece;
    }
    EXPECT_EQ(merged, c.text) << c.label;
    EXPECT_EQ(pieces.ctx.warnings.size(), c.pieces < static_cast<size_t>(c.count) ? 1u : 0u) << c.label;
  }
}

TEST(WholeCuts, FewerLinesThanPiecesAreSaidInWords) {
  TempDir dir;
  Pieces pieces;
  splitFile(dir, "one\r\ntwo\r\nthree", {"count", SplitMode::ByCount, 100, 0}, SplitCut::WholeLines, pieces);
  EXPECT_EQ(pieces.contents, (std::vector<std::string>{"one\r\n", "two\r\n", "three"}));
  ASSERT_EQ(pieces.ctx.warnings.size(), 1u);
  EXPECT_EQ(pieces.ctx.warnings[0].item, dir / "src.txt");
  EXPECT_EQ(pieces.ctx.warnings[0].reason, "只有 3 行，不截断行时分成 3 份，而不是 100 份");
  EXPECT_EQ(pieces.outcome.piecesWritten, 3);

  TempDir empty;
  Pieces none;
  splitFile(empty, "", {"count", SplitMode::ByCount, 5, 0}, SplitCut::WholeChars, none);
  EXPECT_TRUE(none.contents.empty());
  ASSERT_EQ(none.ctx.warnings.size(), 1u);
  EXPECT_EQ(none.ctx.warnings[0].reason, "文件是空的，没有写出分割文件");
}

// After a long start of ASCII the file's encoding is still open: each cut looks at its neighbours.
TEST(WholeCuts, AStartOfAsciiAloneLetsEachCutTellUtf8FromGbk) {
  std::string head;
  while (head.size() <= 4 * kTextProbeBytes) head += "an ASCII line of a log, long enough\n";
  const std::string chinese = prose({u8"春眠", u8"不觉晓", u8"处处", u8"闻啼鸟", u8"，"}, 300, u8"\n", 11);
  struct Case {
    const char* label;
    std::string tail;
    const char* charset;
  };
  const Case kCases[] = {
      {"UTF-8", chinese, "UTF-8"},
      {"GBK", testing::iconvBytes(chinese, "UTF-8", "GB18030"), "GB18030"},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    Pieces pieces;
    splitFile(dir, head + c.tail, {"size", SplitMode::BySize, 0, 2999}, SplitCut::WholeChars, pieces);
    std::string merged;
    for (size_t k = 0; k < pieces.contents.size(); ++k) {
      merged += pieces.contents[k];
      EXPECT_TRUE(decodesCleanly(pieces.contents[k], c.charset)) << c.label << ": piece " << k + 1;
    }
    EXPECT_EQ(merged, head + c.tail) << c.label;
  }
}

TEST(WholeCuts, TheStartOfAFileNamesItsEncoding) {
  struct Case {
    const char* label;
    std::string probe;
    bool whole;
    TextEncoding encoding;
    int64_t bodyStart;
    bool text;
    bool asciiStart;
  };
  const std::string gbk = testing::gb(u8"春眠不觉晓，处处闻啼鸟。\r\n");
  const std::string astral = utf8(u8"春眠😀不觉晓𠀀\n");
  const Case kCases[] = {
      {"GBK", gbk, true, TextEncoding::Ansi, 0, true, false},
      {"UTF-8 with four-byte forms", astral, true, TextEncoding::Utf8, 0, true, false},
      {"UTF-8 cut off by the probe", astral.substr(0, 8), false, TextEncoding::Utf8, 0, true, false},
      {"UTF-8 cut off at the end of the file", astral.substr(0, 8), true, TextEncoding::Ansi, 0, true, false},
      {"UTF-8 mark before GBK", "\xEF\xBB\xBF" + gbk, true, TextEncoding::Utf8, 3, false, false},
      {"UTF-16LE mark", std::string("\xFF\xFE" "a\0b\0", 6), true, TextEncoding::Utf16Le, 2, true, false},
      {"UTF-16BE mark", std::string("\xFE\xFF\0a\0b", 6), true, TextEncoding::Utf16Be, 2, true, false},
      {"BIG5 declared", "<meta charset=Big5>" + testing::iconvBytes(utf8(u8"臺灣"), "UTF-8", "BIG5"), true,
       TextEncoding::Big5, 0, true, false},
      {"ASCII, more to come", "plain\n", false, TextEncoding::Ansi, 0, true, true},
      {"ASCII, all of it", "plain\n", true, TextEncoding::Ansi, 0, true, false},
      {"a NUL", std::string("text\0more", 9), true, TextEncoding::Ansi, 0, false, false},
      {"UTF-16 without a mark", std::string("a\0b\0c\0", 6), true, TextEncoding::Ansi, 0, false, false},
      {"machine data", testing::binaryWithoutNul(4000, 5), true, TextEncoding::Ansi, 0, false, false},
      {"nothing", "", true, TextEncoding::Ansi, 0, true, false},
  };
  for (const Case& c : kCases) {
    const CutText text = probeCutText(c.probe, c.whole);
    EXPECT_EQ(text.encoding, c.encoding) << c.label;
    EXPECT_EQ(text.bodyStart, c.bodyStart) << c.label;
    EXPECT_EQ(text.isText, c.text) << c.label;
    EXPECT_EQ(text.asciiStart, c.asciiStart) << c.label;
  }
}

}  // namespace
}  // namespace chengling
