#include "tools/split_merge/split_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/text_codec.h"
#include "support/faulty_file_system.h"
#include "support/test_support.h"
#include "support/fault_fixtures.h"

namespace chengling {
namespace {

using testing::exists;
using testing::listNames;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// Splits one file written with `content` as dir/name; returns the pieces base_1.. in order.
struct SplitResult {
  SplitOutcome outcome;
  std::vector<std::string> pieces;  // contents, base_1 first
  std::vector<std::string> names;   // every name in the output folder
};

SplitResult splitOne(const TempDir& dir, const std::string& name, std::string_view content,
                     const SplitOptions& options) {
  writeBytes(dir / name, content);
  PlainRunContext ctx;
  SplitResult result;
  result.outcome = SplitRun({dir / name}, options, ctx);
  const std::string base = name.substr(0, name.rfind('.'));
  const std::string extension = name.find('.') == std::string::npos ? "" : name.substr(name.rfind('.'));
  const std::string folder = options.intoSubfolder ? dir / base : dir.path();
  result.names = listNames(folder);
  for (int k = 1; exists(folder + "/" + base + "_" + std::to_string(k) + extension); ++k) {
    result.pieces.push_back(readBytes(folder + "/" + base + "_" + std::to_string(k) + extension));
  }
  return result;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string all;
  for (const std::string& part : parts) all += part;
  return all;
}

TEST(SplitByBytes, CountAndSizeGiveTheExpectedPieces) {
  struct Case {
    const char* label;
    SplitMode mode;
    int32_t count;
    float size;
    int unit;
    std::string content;
    std::vector<size_t> lengths;
  };
  const std::string text2500(2500, 'x');
  const Case kCases[] = {
      {"count 3 of 10 bytes", SplitMode::ByCount, 3, 0, 0, "0123456789", {3, 3, 4}},
      {"count larger than the file", SplitMode::ByCount, 5, 0, 0, "abc", {0, 0, 0, 0, 3}},
      {"count on an empty file", SplitMode::ByCount, 3, 0, 0, "", {0, 0, 0}},
      {"1 KB of 2500 bytes", SplitMode::BySize, 0, 1, 1, text2500, {1024, 1024, 452}},
      {"size on an empty file", SplitMode::BySize, 0, 1, 1, "", {}},
      {"3.12 GB of a small file", SplitMode::BySize, 0, sizeValueFromText("3.12"), 3, "small", {5}},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    SplitOptions options;
    options.mode = c.mode;
    options.pieceCount = c.count;
    options.sizeValue = c.size;
    options.sizeUnit = c.unit;
    const SplitResult result = splitOne(dir, "book.txt", c.content, options);
    EXPECT_EQ(result.outcome.end, SplitEnd::Finished) << c.label;
    ASSERT_EQ(result.pieces.size(), c.lengths.size()) << c.label;
    EXPECT_EQ(result.names.size(), c.lengths.size()) << c.label;  // nothing else in the folder
    for (size_t k = 0; k < c.lengths.size(); ++k) EXPECT_EQ(result.pieces[k].size(), c.lengths[k]) << c.label;
    if (!c.lengths.empty()) {
      EXPECT_EQ(joined(result.pieces), c.content) << c.label;
    }
    EXPECT_EQ(result.outcome.piecesWritten, static_cast<int64_t>(c.lengths.size())) << c.label;
  }
}

// Large pieces: with content names a piece's first MiB passes through memory until its name is
// known and the rest is copied in the kernel; a piece longer than a progress step is copied in
// steps. Every byte lands once, in order, and nothing else is left in the folder.
TEST(SplitByBytes, LargePiecesArriveWholeWithAndWithoutContentNames) {
  struct Case {
    const char* label;
    int32_t count;
    size_t size;
    bool contentNames;
  };
  const Case kCases[] = {
      {"3 pieces of 1.5 MiB, content names", 3, (size_t{9} << 19) + 7, true},
      {"3 pieces of 1.5 MiB", 3, (size_t{9} << 19) + 7, false},
      {"2 pieces longer than a progress step", 2, (size_t{33} << 20) + 5, false},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    std::string content;
    for (int line = 0; content.size() < c.size; ++line) {
      content += std::to_string(line) + testing::gb(u8"：春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。\r\n");
    }
    content.resize(c.size);
    writeBytes(dir / "big.txt", content);
    SplitOptions options;
    options.mode = SplitMode::ByCount;
    options.pieceCount = c.count;
    options.contentNames = c.contentNames;
    std::vector<std::string> written;
    options.onPieceWritten = [&](std::string_view path) { written.emplace_back(path); };
    PlainRunContext ctx;
    const SplitOutcome outcome = SplitRun({dir / "big.txt"}, options, ctx);
    EXPECT_EQ(outcome.failures, 0) << c.label;
    ASSERT_EQ(written.size(), static_cast<size_t>(c.count)) << c.label;
    std::string all;
    for (size_t k = 0; k < written.size(); ++k) {
      const std::string piece = readBytes(nativeFromInternal(written[k]));
      const size_t share = c.size / static_cast<size_t>(c.count);
      EXPECT_EQ(piece.size(), k + 1 < written.size() ? share : c.size - k * share) << c.label << ", piece " << k + 1;
      all += piece;
    }
    EXPECT_TRUE(all == content) << c.label;
    EXPECT_EQ(listNames(dir / "big").size(), static_cast<size_t>(c.count)) << c.label;
    if (c.contentNames) {
      EXPECT_NE(written[0], dir / "big/big_1.txt") << c.label;
    }
  }
}

TEST(SplitByBytes, SizeTextsAndPieceLengths) {
  EXPECT_EQ(pieceLengthFor(sizeValueFromText("3.12"), 3), 3350074368LL);
  EXPECT_EQ(pieceLengthFor(1.0f, 1), 1024);
  EXPECT_EQ(pieceLengthFor(1.0f, 2), 1048576);
  EXPECT_EQ(pieceLengthFor(-5.0f, 2), 0);
  EXPECT_EQ(pieceLengthFor(1e30f, 3), INT64_MAX);
  struct Case { const char* text; float want; };
  const Case kCases[] = {{"3.12", 3.12f}, {"  12abc", 12.0f}, {"-1.5", -1.5f}, {"abc", 0.0f}, {".5", 0.5f}, {"", 0.0f}};
  for (const Case& c : kCases) EXPECT_EQ(sizeValueFromText(c.text), c.want) << c.text;
}

// The numbers of the split settings are read whole: what is not one is refused, not cut short.
TEST(SplitSettings, NumbersAreReadWhole) {
  struct Count { const char* text; bool readable; int32_t want; };
  const Count kCounts[] = {
      {"100", true, 100},     {" 7 ", true, 7},          {"+3", true, 3},          {"-5", true, -5},
      {"0", true, 0},         {"2147483647", true, INT32_MAX}, {"2147483648", false, 0}, {"1e30", false, 0},
      {"3abc", false, 0},     {"1.9", false, 0},         {"", false, 0},           {"9223372036854775807", false, 0},
      {"\xA3\xB1\xA3\xB2", true, 12},  // full-width, as a Chinese input method types it
  };
  for (const Count& c : kCounts) {
    int32_t value = -99;
    EXPECT_EQ(countFromText(c.text, value), c.readable) << c.text;
    if (c.readable) {
      EXPECT_EQ(value, c.want) << c.text;
    }
  }
  struct Size { const char* text; int unit; bool readable; float want; };
  const Size kSizes[] = {
      {"3.12", 1, true, 3.12f},  {" 1 ", 2, true, 1.0f},    {".5", 0, true, 0.5f},     {"-2", 1, true, -2.0f},
      {"0", 3, true, 0.0f},      {"1e3", 1, false, 0},      {"1.2.3", 1, false, 0},    {"12abc", 1, false, 0},
      {"", 1, false, 0},         {".", 1, false, 0},        {"4294967296", 3, true, 4294967296.0f},
      {"4294967297", 3, false, 0},  {"18446744073709551616", 0, false, 0},
  };
  for (const Size& c : kSizes) {
    float value = -99;
    EXPECT_EQ(sizeFromText(c.text, c.unit, value), c.readable) << c.text;
    if (c.readable) {
      EXPECT_EQ(value, c.want) << c.text;
    }
  }
}

TEST(SplitByBytes, SourceWithoutExtensionGivesPiecesWithoutExtension) {
  TempDir dir;
  SplitOptions options;
  options.pieceCount = 2;
  options.intoSubfolder = false;
  writeBytes(dir / "data", "abcd");
  PlainRunContext ctx;
  SplitRun({dir / "data"}, options, ctx);
  EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"data", "data_1", "data_2"}));
  EXPECT_EQ(readBytes(dir / "data_2"), "cd");
}

TEST(SplitByLines, CountsLinesAndWritesCrLfWithoutATrailingBreak) {
  // 25 lines, mixed breaks, a CR inside a line, no break after the last.
  std::string content;
  std::vector<std::string> lines;
  for (int i = 1; i <= 25; ++i) {
    lines.push_back(i == 7 ? "seven\rinside" : "line" + std::to_string(i));
    content += lines.back() + (i == 25 ? "" : i % 2 ? "\n" : "\r\n");
  }
  TempDir dir;
  SplitOptions options;
  options.mode = SplitMode::ByLines;
  options.linesLow = options.linesHigh = 10;
  const SplitResult result = splitOne(dir, "book.txt", content, options);
  ASSERT_EQ(result.pieces.size(), 3u);
  const auto expect = [&](size_t from, size_t to) {
    std::string piece;
    for (size_t i = from; i < to; ++i) piece += (i > from ? "\r\n" : "") + lines[i];
    return piece;
  };
  EXPECT_EQ(result.pieces[0], expect(0, 10));
  EXPECT_EQ(result.pieces[1], expect(10, 20));
  EXPECT_EQ(result.pieces[2], expect(20, 25));
}

TEST(SplitByLines, RandomCountsStayWithinTheBoundsAndKeepEveryLine) {
  std::string content;
  for (int i = 0; i < 500; ++i) content += "row " + std::to_string(i) + "\n";
  TempDir dir;
  SplitOptions options;
  options.mode = SplitMode::ByLines;
  options.linesLow = 10;  // bounds in either order
  options.linesHigh = 5;
  const SplitResult result = splitOne(dir, "rows.txt", content, options);
  ASSERT_GT(result.pieces.size(), 1u);
  std::string rebuilt;
  for (size_t k = 0; k < result.pieces.size(); ++k) {
    const auto count = std::count(result.pieces[k].begin(), result.pieces[k].end(), '\n') + 1;
    if (k + 1 < result.pieces.size()) {
      EXPECT_GE(count, 5) << k;
      EXPECT_LE(count, 10) << k;
    }
    rebuilt += result.pieces[k] + "\r\n";
  }
  EXPECT_EQ(replaceAll(rebuilt, "\r\n", "\n"), content);
}

TEST(SplitByLines, SkipsBlankLinesWithoutCountingThem) {
  // Blank: empty, spaces, TABs, ideographic spaces. Not blank: a lone CR, a character after them.
  const std::string content = "a\n\n \t \n\t\n　 　\nb\n　x\r\n \r \nc\n\t\t\nd";
  TempDir dir;
  SplitOptions options;
  options.mode = SplitMode::ByLines;
  options.linesLow = options.linesHigh = 2;
  options.skipBlankLines = true;
  const SplitResult result = splitOne(dir, "b.txt", content, options);
  EXPECT_EQ(result.pieces, (std::vector<std::string>{"a\r\nb", "　x\r\n \r ", "c\r\nd"}));
}

TEST(SplitByLines, DetectionGivesEveryPieceTheSourceEncoding) {
  // UTF-8 with its mark, lone LF and CR breaks corrected to CR LF.
  const std::string utf8 = "\xEF\xBB\xBF" + std::string(reinterpret_cast<const char*>(u8"第一行\n第二行\r第三行\r\n第四行"));
  TempDir dir;
  SplitOptions options;
  options.mode = SplitMode::ByLines;
  options.linesLow = options.linesHigh = 2;
  options.detectEncoding = true;
  options.fixLineEndings = true;
  writeBytes(dir / "u.txt", utf8);
  PlainRunContext ctx;
  const SplitOutcome outcome = SplitRun({dir / "u.txt"}, options, ctx);
  EXPECT_EQ(outcome.piecesWritten, 2);
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(readBytes(dir / "u/u_1.txt"), bom + reinterpret_cast<const char*>(u8"第一行\r\n第二行"));
  EXPECT_EQ(readBytes(dir / "u/u_2.txt"), bom + reinterpret_cast<const char*>(u8"第三行\r\n第四行"));
  EXPECT_EQ(ctx.phases, (std::vector<std::string>{kPhaseReading, kPhaseFixing, kPhaseToMemory, kPhaseSplitting}));
}

TEST(SplitByChars, NeverCutsACharacterOrACrLf) {
  std::string content;
  for (int i = 0; i < 60; ++i) content += i % 7 == 0 ? "\r\n" : i % 3 == 0 ? "a" : "中文";
  for (const int n : {1, 2, 3, 7}) {
    TempDir dir;
    SplitOptions options;
    options.mode = SplitMode::ByChars;
    options.charsLow = options.charsHigh = n;
    const SplitResult result = splitOne(dir, "c.txt", content, options);
    ASSERT_FALSE(result.pieces.empty()) << n;
    EXPECT_EQ(joined(result.pieces), content) << n;
    for (size_t k = 0; k < result.pieces.size(); ++k) {
      const std::string& piece = result.pieces[k];
      if (k + 1 < result.pieces.size()) {
        EXPECT_EQ(CharCount(piece), n) << n << " piece " << k;
      }
      // Every piece is whole characters: its own count equals the count of its bytes in place.
      EXPECT_EQ(FirstChars(piece, CharCount(piece)), piece) << n;
      EXPECT_FALSE(piece.back() == '\r') << n << " piece " << k;
    }
  }
}

TEST(SplitByChars, TakeCharsFollowsTheCharacterRule) {
  const std::string text = "a中\r\nb\rc";
  size_t position = 0;
  std::string_view piece;
  EXPECT_TRUE(TakeChars(text, 3, position, piece));
  EXPECT_EQ(piece, "a中\r\n");
  EXPECT_TRUE(TakeChars(text, 2, position, piece));
  EXPECT_EQ(piece, "b\r");
  EXPECT_FALSE(TakeChars(text, 5, position, piece));
  EXPECT_EQ(piece, "c");
}

TEST(SplitBySeparator, CutsAtEveryWholeOccurrence) {
  struct Case {
    std::string text;
    std::string separator;
    std::vector<std::string> want;
  };
  const Case kCases[] = {
      {"###a###b###", "###", {"", "a", "b"}},
      {"a##b", "#", {"a", "", "b"}},
      {"abc", "#", {"abc"}},
      {"", "#", {}},
      // 81 41 is one double-byte character: the A inside it is no separator.
      {"\x81" "AxAy", "A", {"\x81" "Ax", "y"}},
      {"甲，乙，", "，", {"甲", "乙"}},
      {"a\r\nb", "\n", {"a\r", "b"}},  // only two-byte characters hide a byte: LF after CR is found
  };
  for (const Case& c : kCases) {
    std::vector<std::string> parts;
    forEachSeparatorPart(c.text, c.separator, [&](std::string_view part) {
      parts.emplace_back(part);
      return true;
    });
    EXPECT_EQ(parts, c.want) << c.text;
  }
  TempDir dir;
  SplitOptions options;
  options.mode = SplitMode::BySeparator;
  options.separator = "###";
  const SplitResult result = splitOne(dir, "s.txt", "###a###b###", options);
  EXPECT_EQ(result.pieces, (std::vector<std::string>{"", "a", "b"}));
}

TEST(SplitRun, InvalidSettingsComeBackWithTheirMessageAndTouchNothing) {
  struct Case {
    SplitOptions options;
    SplitEnd end;
    const char* message;
    SplitField field;
  };
  std::vector<Case> cases(10);
  cases[0].options.pieceCount = 0;
  cases[0] = {cases[0].options, SplitEnd::Invalid, kCountInvalid, SplitField::PieceCount};
  cases[1].options.mode = SplitMode::BySize;
  cases[1].options.sizeValue = 0.00000005f;
  cases[1] = {cases[1].options, SplitEnd::Invalid, kSizeInvalid, SplitField::SizeValue};
  cases[2].options.mode = SplitMode::ByLines;
  cases[2].options.linesHigh = 0;
  cases[2] = {cases[2].options, SplitEnd::Invalid, kLinesInvalid, SplitField::LinesLow};
  cases[3].options.mode = SplitMode::ByChars;
  cases[3].options.charsLow = -1;
  cases[3] = {cases[3].options, SplitEnd::Invalid, kCharsInvalid, SplitField::CharsLow};
  cases[4].options.mode = SplitMode::BySeparator;
  cases[4] = {cases[4].options, SplitEnd::AskSeparator, kSeparatorMissing, SplitField::None};
  cases[5].options.mode = SplitMode::ByLines;
  cases[5].options.linesLow = 1;
  cases[5].options.linesHigh = 1;
  cases[5] = {cases[5].options, SplitEnd::Finished, "", SplitField::None};
  cases[6].options.pieceCount = -5;
  cases[6] = {cases[6].options, SplitEnd::Invalid, kCountInvalid, SplitField::PieceCount};
  cases[7].options.mode = SplitMode::BySize;
  cases[7].options.sizeValue = 0.5f;
  cases[7].options.sizeUnit = 0;
  cases[8].options.pieceCount = 1001;  // both sources have fewer bytes than that
  cases[8] = {cases[8].options, SplitEnd::Invalid, "", SplitField::PieceCount};
  cases[9].options.pieceCount = 1000;  // a count a person means still gives its empty pieces
  cases[9] = {cases[9].options, SplitEnd::Finished, "", SplitField::None};
  cases[7] = {cases[7].options, SplitEnd::Invalid, kSizeInvalid, SplitField::SizeValue};
  for (size_t i = 0; i < cases.size(); ++i) {
    TempDir dir;
    writeBytes(dir / "a.txt", "x\ny");
    writeBytes(dir / "b.txt", "z");
    PlainRunContext ctx;
    const SplitOutcome outcome = SplitRun({dir / "a.txt", dir / "b.txt"}, cases[i].options, ctx);
    EXPECT_EQ(outcome.end, cases[i].end) << i;
    if (i == 8) {
      EXPECT_EQ(outcome.message, "份数太大：1001 份超过了 1000，也超过了文件的字节数（a.txt 只有 3 字节）");
    } else {
      EXPECT_EQ(outcome.message, cases[i].message) << i;
    }
    EXPECT_EQ(outcome.field, cases[i].field) << i;
    const bool valid = cases[i].end == SplitEnd::Finished;
    EXPECT_EQ(exists(dir / "a"), valid) << i;
    EXPECT_EQ(exists(dir / "b"), valid) << i;
  }
}

TEST(SplitRun, ReportsStatusAndProgressPerSourceAndPiece) {
  TempDir dir;
  writeBytes(dir / "one.txt", "ab");
  writeBytes(dir / "two.txt", "cd");
  SplitOptions options;
  options.pieceCount = 2;
  std::vector<std::string> written;
  options.onPieceWritten = [&](std::string_view path) { written.emplace_back(path); };
  PlainRunContext ctx;
  SplitRun({dir / "one.txt", dir / "two.txt"}, options, ctx);
  EXPECT_EQ(ctx.statuses, (std::vector<std::string>{"(1/2)one.txt", "[1] (1/2)one.txt", "[2] (1/2)one.txt",
                                                    "(2/2)two.txt", "[1] (2/2)two.txt", "[2] (2/2)two.txt"}));
  EXPECT_EQ(ctx.lastPosition, 4);
  EXPECT_EQ(ctx.lastMaximum, 4);
  EXPECT_EQ(written, (std::vector<std::string>{dir / "one/one_1.txt", dir / "one/one_2.txt",
                                               dir / "two/two_1.txt", dir / "two/two_2.txt"}));
}

// One large file moves the bar piece by piece: progress counts source bytes, not files.
TEST(SplitRun, ProgressMovesWithThePiecesOfOneFile) {
  TempDir dir;
  writeBytes(dir / "big.txt", std::string(1000, 'x'));
  SplitOptions options;
  options.pieceCount = 4;
  struct Recorder : PlainRunContext {
    std::vector<std::pair<int64_t, int64_t>> seen;
    void progress(int64_t position, int64_t maximum) override { seen.emplace_back(position, maximum); }
  } ctx;
  SplitRun({dir / "big.txt"}, options, ctx);
  const std::vector<std::pair<int64_t, int64_t>> want = {{0, 1000}, {250, 1000}, {500, 1000},
                                                         {750, 1000}, {1000, 1000}, {1000, 1000}};
  EXPECT_EQ(ctx.seen, want);
}

// A line split with detection of a large file: a stop during the decode ends the run before any
// piece is written, instead of after the whole decode.
TEST(SplitRun, AStopDuringTheDecodeOfALargeFileWritesNothing) {
  TempDir dir;
  std::string text;
  while (text.size() < (size_t{70} << 20)) text += testing::utf8(u8"第一行，天下大势。\n");
  writeBytes(dir / "big.txt", text);
  SplitOptions options;
  options.mode = SplitMode::ByLines;
  options.detectEncoding = true;
  PlainRunContext ctx;
  ctx.requestStop();
  const SplitOutcome outcome = SplitRun({dir / "big.txt"}, options, ctx);
  EXPECT_EQ(outcome.end, SplitEnd::Stopped);
  EXPECT_EQ(outcome.piecesWritten, 0);
  EXPECT_EQ(outcome.failures, 0) << "a stop is no failure";
  EXPECT_TRUE(!exists(dir / "big") || listNames(dir / "big").empty());
}

TEST(SplitRun, StopEndsAfterTheCurrentPieceAndKeepsTheSource) {
  for (const SplitMode mode : {SplitMode::ByCount, SplitMode::ByLines, SplitMode::ByChars, SplitMode::BySeparator}) {
    TempDir dir;
    writeBytes(dir / "a.txt", "1,2,3,4,5,6,7,8,9,10\n11\n12\n13\n14\n15\n16\n17\n18\n19\n20");
    writeBytes(dir / "b.txt", "untouched");
    SplitOptions options;
    options.mode = mode;
    options.pieceCount = 10;
    options.linesLow = options.linesHigh = 1;
    options.charsLow = options.charsHigh = 3;
    options.separator = ",";
    options.deleteSource = true;
    PlainRunContext ctx;
    int pieces = 0;
    options.onPieceWritten = [&](std::string_view) {
      if (++pieces == 3) ctx.requestStop();
    };
    const SplitOutcome outcome = SplitRun({dir / "a.txt", dir / "b.txt"}, options, ctx);
    EXPECT_EQ(outcome.end, SplitEnd::Stopped) << static_cast<int>(mode);
    EXPECT_EQ(outcome.piecesWritten, 3) << static_cast<int>(mode);
    EXPECT_TRUE(exists(dir / "a.txt")) << static_cast<int>(mode);
    EXPECT_FALSE(exists(dir / "b")) << static_cast<int>(mode);
  }
}

TEST(SplitRun, DeletesASourceOnlyWhenEveryPieceWasWritten) {
  TempDir dir;
  writeBytes(dir / "full.txt", "0123456789");
  writeBytes(dir / "empty.txt", "");
  SplitOptions options;
  options.mode = SplitMode::BySize;
  options.sizeValue = 4;
  options.sizeUnit = 0;
  options.deleteSource = true;
  PlainRunContext ctx;
  const SplitOutcome outcome = SplitRun({dir / "full.txt", dir / "empty.txt", dir / "missing.txt"}, options, ctx);
  EXPECT_FALSE(exists(dir / "full.txt"));
  EXPECT_EQ(readBytes(dir / "full/full_3.txt"), "89");
  EXPECT_TRUE(exists(dir / "empty.txt"));  // no piece: nothing holds its content elsewhere
  EXPECT_EQ(outcome.sourcesDeleted, 1);
  ASSERT_EQ(ctx.failures.size(), 1u);
  EXPECT_EQ(ctx.failures[0].item, dir / "missing.txt");
  EXPECT_FALSE(exists(dir / "missing"));
}

TEST(SplitRun, NeverOverwritesAnotherSourceOfTheRun) {
  // a.txt's second piece would be a_2.txt, which is itself waiting to be split.
  TempDir dir;
  writeBytes(dir / "a.txt", "1111");
  writeBytes(dir / "a_2.txt", "precious");
  SplitOptions options;
  options.pieceCount = 2;
  options.intoSubfolder = false;
  options.deleteSource = true;
  PlainRunContext ctx;
  const SplitOutcome outcome = SplitRun({dir / "a.txt", dir / "a_2.txt"}, options, ctx);
  EXPECT_EQ(outcome.failures, 1);
  EXPECT_TRUE(exists(dir / "a.txt"));
  EXPECT_EQ(readBytes(dir / "a_2_1.txt") + readBytes(dir / "a_2_2.txt"), "precious");
}

TEST(SplitRun, TheModesThatDecodeSplitNoFileThatIsNoText) {
  const std::string png = testing::pngLikeBytes(30000, 1);
  const std::string program = testing::binaryWithoutNul(30000, 2);
  struct Case {
    const char* label;
    SplitMode mode;
    bool detect;
    bool fix;
  };
  const Case kCases[] = {
      {"lines, detected", SplitMode::ByLines, true, false},
      {"lines, detected, line ends corrected", SplitMode::ByLines, true, true},
      {"characters", SplitMode::ByChars, false, false},
      {"separator", SplitMode::BySeparator, false, false},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    writeBytes(dir / "picture.png", png);
    writeBytes(dir / "program.bin", program);
    writeBytes(dir / "text.txt", "第一行\r\n第二行\n第三行\r\n");
    SplitOptions options;
    options.mode = c.mode;
    options.detectEncoding = c.detect;
    options.fixLineEndings = c.fix;
    options.linesLow = options.linesHigh = 1;
    options.separator = "\n";
    options.deleteSource = true;
    PlainRunContext ctx;
    const SplitOutcome outcome = SplitRun({dir / "picture.png", dir / "program.bin", dir / "text.txt"}, options, ctx);
    EXPECT_EQ(outcome.failures, 2) << c.label;
    ASSERT_EQ(ctx.failures.size(), 2u) << c.label;
    EXPECT_EQ(ctx.failures[0].item, dir / "picture.png") << c.label;
    EXPECT_EQ(ctx.failures[1].item, dir / "program.bin") << c.label;
    for (const auto& failure : ctx.failures) EXPECT_EQ(failure.reason, "不是文本文件，未分割") << c.label;
    // No piece, no piece folder, and the sources stay although deletion was asked for.
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"picture.png", "program.bin", "text"})) << c.label;
    EXPECT_EQ(readBytes(dir / "picture.png"), png) << c.label;
    EXPECT_EQ(readBytes(dir / "program.bin"), program) << c.label;
    EXPECT_GE(outcome.piecesWritten, 1) << c.label;  // the text was split (and went)
  }
  // The byte modes and lines without detection copy bytes as they are: any file splits.
  TempDir dir;
  SplitOptions lines;
  lines.mode = SplitMode::ByLines;
  const SplitResult split = splitOne(dir, "picture.png", png, lines);
  EXPECT_EQ(split.outcome.failures, 0);
  EXPECT_FALSE(split.pieces.empty());
}

TEST(SplitContentNames, NamesPiecesAfterTheirLongestPhrases) {
  TempDir dir;
  SplitOptions options;
  options.mode = SplitMode::BySeparator;
  options.separator = "|";
  options.contentNames = true;
  // A 15-character phrase with characters that a file name cannot hold; a piece without any
  // usable phrase; two pieces with the same phrase (the second must not replace the first).
  const std::string a = "短，这是一个足够长的短语*共有十五个字\\啊";
  const std::string content = a + "|<b>,,</b>|重复的一个足够长的短语啊|重复的一个足够长的短语啊";
  writeBytes(dir / "n.txt", content);
  PlainRunContext ctx;
  std::vector<std::string> written;
  options.onPieceWritten = [&](std::string_view path) { written.emplace_back(path); };
  SplitRun({dir / "n.txt"}, options, ctx);
  ASSERT_EQ(written.size(), 4u);
  EXPECT_EQ(written[0], dir / "n/这是一个足够长的短语＊共有十五个字＼啊.txt");
  EXPECT_EQ(written[1], dir / "n/n_2.txt");
  EXPECT_EQ(written[2], dir / "n/重复的一个足够长的短语啊.txt");
  EXPECT_EQ(written[3], dir / "n/n_4.txt");
  EXPECT_EQ(readBytes(nativeFromInternal(written[2])), "重复的一个足够长的短语啊");
  EXPECT_EQ(listNames(dir / "n").size(), 4u);
}

// A disk of 96 KiB: on a file system that runs out of room there for any user, and on a small mounted
// one as well where that can be had (as root).
TEST(SplitFaults, FullFileSystemLeavesTheSourceAndNoPartialPiece) {
  for (const bool mounted : {false, true}) {
    SCOPED_TRACE(mounted ? "mounted" : "on the seam");
    TempDir dir;
    testing::FaultyFileSystem disk;
    std::unique_ptr<testing::SmallFileSystem> small;
    if (mounted) {
      small = std::make_unique<testing::SmallFileSystem>(dir.path(), 96 * 1024);
      if (!small->mounted()) continue;
    }
    std::string content(60 * 1024, 'x');
    writeBytes(dir / "big.txt", content);
    SplitOptions options;
    options.pieceCount = 3;
    options.deleteSource = true;
    PlainRunContext ctx;
    if (!mounted) {
      disk.limitRoom(dir.path(), 96 * 1024 - static_cast<int64_t>(content.size()));
      ctx.useFileSystem(disk);
    }
    const SplitOutcome outcome = SplitRun({dir / "big.txt"}, options, ctx);
    EXPECT_EQ(outcome.failures, 1);
    EXPECT_EQ(readBytes(dir / "big.txt"), content);
    ASSERT_EQ(ctx.failures.size(), 1u);
    EXPECT_NE(ctx.failures[0].item.find(dir / "big/big_"), std::string::npos);
    EXPECT_EQ(ctx.failures[0].reason, "磁盘已满");
    // Only whole pieces are left: no temporary file, no piece shorter than its share.
    for (const std::string& name : listNames(dir / "big")) {
      EXPECT_EQ(name.front(), 'b') << name;
      EXPECT_EQ(readBytes(dir / "big/" + name).size(), content.size() / 3) << name;
    }
  }
}

TEST(SplitFaults, ReadOnlyOutputFolderFailsWithTheReason) {
  TempDir dir;
  writeBytes(dir / "src.txt", "abcdef");
  ASSERT_EQ(mkdir((dir / "src").c_str(), 0755), 0);
  testing::ReadOnlyFolder readOnly(dir / "src");
  ASSERT_TRUE(readOnly.ready());
  SplitOptions options;
  options.pieceCount = 2;
  options.deleteSource = true;
  PlainRunContext ctx;
  const SplitOutcome outcome = SplitRun({dir / "src.txt"}, options, ctx);
  EXPECT_EQ(outcome.piecesWritten, 0);
  EXPECT_EQ(readBytes(dir / "src.txt"), "abcdef");
  EXPECT_TRUE(listNames(dir / "src").empty());
  ASSERT_EQ(ctx.failures.size(), 1u);
  EXPECT_EQ(ctx.failures[0].item, dir / "src/src_1.txt");
  EXPECT_TRUE(ctx.failures[0].reason == "只读文件系统" || ctx.failures[0].reason == "权限不足")
      << ctx.failures[0].reason;
}

}  // namespace
}  // namespace chengling
