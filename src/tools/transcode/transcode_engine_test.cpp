#include "tools/transcode/transcode_engine.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "foundation/charset_conversion.h"
#include "foundation/chinese_convert.h"
#include "foundation/file_system.h"
#include "foundation/native_text.h"
#include "foundation/path_helpers.h"
#include "foundation/text_codec.h"
#include "foundation/encoded_output.h"
#include "support/faulty_file_system.h"
#include "support/fault_fixtures.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// Engine paths are internal text; files on disk carry native (UTF-8) names.
std::string onDisk(const std::string& internal) { return nativeFromInternal(internal); }
std::string inText(const std::string& native) { return internalFromNative(native); }

std::string utf8Of(std::string_view internal) { return ConvertCharset(internal, "GB18030", "UTF-8"); }

const std::string kUtf8Mark = "\xEF\xBB\xBF";

TranscodeOptions treeOptions() { return TranscodeOptions{}; }

TEST(TranscodeTarget, TreePathsAndOverwrite) {
  struct Case {
    std::string_view base, file;
    bool overwrite;
    std::string_view want;
  };
  const Case kCases[] = {
      {"/d", "/d/a/b.txt", false, "/d(已转换)/a/b.txt"},
      {"/d/", "/d/b.txt", false, "/d(已转换)/b.txt"},
      {"/d", "/d/x/d/y.txt", false, "/d(已转换)/x/d/y.txt"},  // only the leading base goes
      {"/d", "/dx/a.txt", false, "/d(已转换)/dx/a.txt"},       // no prefix of a longer name
      {"/d", "/e/c.txt", false, "/d(已转换)/e/c.txt"},
      {"/", "/x.txt", false, "/(已转换)/x.txt"},
      {"", "/x.txt", false, "/(已转换)/x.txt"},
      {"/d", "/d/a/b.txt", true, "/d/a/b.txt"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(transcodeTarget(c.base, c.file, c.overwrite), c.want) << c.base << " " << c.file;
  }
  EXPECT_EQ(completionFolder("/d", false), "/d(已转换)");
  EXPECT_EQ(completionFolder("/d", true), "/d");
}

TEST(TranscodeDropLists, FilesKeepTheirOrderFoldersComeLastFirst) {
  TempDir dir;
  for (const char* name : {"a.txt", "b.txt"}) writeBytes(dir / name, "x");
  for (const char* name : {"f1", "f2"}) ::mkdir((dir / name).c_str(), 0755);
  const PathList dropped = {dir / "b.txt", dir / "f1", dir / "a.txt", dir / "f2", dir / "gone"};
  const DropLists lists = splitDrop(dropped);
  EXPECT_EQ(lists.files, (PathList{dir / "b.txt", dir / "a.txt"}));
  // A path whose attributes cannot be read counts as a folder.
  EXPECT_EQ(lists.folders, (PathList{dir / "gone", dir / "f2", dir / "f1"}));
  EXPECT_EQ(dropQuestion(lists), "确定要转换被拖放的 2 个文件和 3 个目录的编码吗？");
  EXPECT_EQ(dropQuestion(DropLists{{"a"}, {}}), "确定要转换被拖放的 1 个文件的编码吗？");
}

TEST(TranscodeRunTest, EncodingsAreDetectedAndWrittenWithTheirMarks) {
  const std::string gbk = "简体中文，第二行\r\nABC";
  struct Case {
    const char* name;
    std::string source;
    TextEncoding input, output;
    std::string want;
  };
  const Case kCases[] = {
      // Detected as UTF-8 without a mark, written back as UTF-8 with EF BB BF.
      {"utf8 auto auto", utf8Of(gbk), TextEncoding::Detect, TextEncoding::Detect, kUtf8Mark + utf8Of(gbk)},
      {"gbk to utf16be", gbk, TextEncoding::Detect, TextEncoding::Utf16Be,
       "\xFE\xFF" + ConvertCharset(gbk, "GB18030", "UTF-16BE")},
      {"gbk to utf16le", gbk, TextEncoding::Ansi, TextEncoding::Utf16Le,
       "\xFF\xFE" + ConvertCharset(gbk, "GB18030", "UTF-16LE")},
      {"utf16le auto to ansi", "\xFF\xFE" + ConvertCharset(gbk, "GB18030", "UTF-16LE"), TextEncoding::Detect,
       TextEncoding::Ansi, gbk},
      {"gbk auto auto stays gbk", gbk, TextEncoding::Detect, TextEncoding::Detect, gbk},
      {"utf8 forced keeps no mark twice", kUtf8Mark + utf8Of(gbk), TextEncoding::Utf8, TextEncoding::Utf8,
       kUtf8Mark + utf8Of(gbk)},
      {"empty file", "", TextEncoding::Detect, TextEncoding::Utf8, ""},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    writeBytes(dir / "d/a.txt", c.source);
    TranscodeOptions options;
    options.input = c.input;
    options.output = c.output;
    PlainRunContext ctx;
    const TranscodeOutcome outcome = TranscodeFiles({dir / "d/a.txt"}, options, ctx);
    EXPECT_EQ(outcome.converted, 1) << c.name;
    EXPECT_TRUE(readBytes(onDisk(dir / "d(已转换)/a.txt")) == c.want) << c.name;
    EXPECT_TRUE(readBytes(dir / "d/a.txt") == c.source) << c.name;
    EXPECT_TRUE(ctx.failures.empty() && ctx.warnings.empty()) << c.name;
  }
}

TEST(TranscodeRunTest, TheSevenCharacterModes) {
  // Input and output ANSI, so that each mode's bytes come out as they are.
  const std::string big5Traditional = GbkToBig5("簡體中文頭髮");
  struct Case {
    ChineseMode mode;
    std::string source;
    std::string want;
  };
  const Case kCases[] = {
      {ChineseMode::None, "简体中文头发", "简体中文头发"},
      {ChineseMode::SimplifiedToTraditional, "简体中文头发", "簡體中文頭髮"},
      {ChineseMode::TraditionalToSimplified, "簡體中文頭髮", "简体中文头发"},
      {ChineseMode::SimplifiedToBig5, "简体中文头发", big5Traditional},
      {ChineseMode::TraditionalToBig5, "簡體中文頭髮", big5Traditional},
      {ChineseMode::Big5ToSimplified, big5Traditional, "简体中文头发"},
      {ChineseMode::Big5ToTraditional, big5Traditional, "簡體中文頭髮"},
  };
  ASSERT_EQ(big5Traditional, "\xC2\xB2\xC5\xE9\xA4\xA4\xA4\xE5\xC0\x59\xBE\x76");
  for (const Case& c : kCases) {
    TempDir dir;
    writeBytes(dir / "d/a.txt", c.source);
    TranscodeOptions options;
    options.input = TextEncoding::Ansi;
    options.output = TextEncoding::Ansi;
    options.chinese = c.mode;
    PlainRunContext ctx;
    TranscodeFiles({dir / "d/a.txt"}, options, ctx);
    EXPECT_EQ(readBytes(onDisk(dir / "d(已转换)/a.txt")), c.want) << static_cast<int>(c.mode);

    // A large file goes through the conversion in pieces, cut anywhere, also in long stretches with
    // no line break, and comes out as the whole text converts.
    std::string large;
    while (large.size() < 300'000) large += large.size() % 40'000 < 100 ? c.source + "\r\n" : c.source;
    writeBytes(dir / "d/large.txt", large);
    for (const size_t piece : {size_t{7}, kStreamPieceBytes}) {
      options.pieceBytes = piece;
      options.overwrite = false;
      PlainRunContext each;
      TranscodeFiles({dir / "d/large.txt"}, options, each);
      EXPECT_TRUE(readBytes(onDisk(dir / "d(已转换)/large.txt")) == convertChineseText(large, c.mode))
          << static_cast<int>(c.mode) << " in pieces of " << piece;
      EXPECT_TRUE(each.failures.empty());
    }
  }
}

TEST(TranscodeRunTest, DroppedFilesAndASubfolderShareTheBaseTree) {
  TempDir dir;
  const std::string base = dir / "docs";
  writeBytes(base + "/a.txt", "a");
  writeBytes(base + "/b.txt", "b");
  writeBytes(base + "/sub/c.txt", "c");
  writeBytes(base + "/sub/deeper/d.txt", "d");
  writeBytes(base + "/sub/skip.htm", "h");
  TranscodeOptions options;
  options.includeSubfolders = true;
  options.filter = "*.txt";
  options.output = TextEncoding::Ansi;
  PlainRunContext ctx;
  const TranscodeOutcome outcome = TranscodeDrop({base + "/a.txt", base + "/sub", base + "/b.txt"}, options, ctx);
  EXPECT_EQ(outcome.converted, 4);
  EXPECT_EQ(outcome.completionFolder, base + "(已转换)");
  EXPECT_EQ(outcome.completionText, "转换完成！点击可打开目录：" + base + "(已转换)");
  const std::string tree = onDisk(base + "(已转换)");
  EXPECT_EQ(testing::listNames(tree), (std::vector<std::string>{"a.txt", "b.txt", "sub"}));
  EXPECT_EQ(testing::listNames(tree + "/sub"), (std::vector<std::string>{"c.txt", "deeper"}));
  EXPECT_EQ(readBytes(tree + "/sub/deeper/d.txt"), "d");
  // Progress names the files "(n:i) name"; a folder pass first says which folder it reads.
  EXPECT_EQ(ctx.statuses.front(), "(2:1) a");
  EXPECT_NE(std::find(ctx.statuses.begin(), ctx.statuses.end(), "正在读取目录：" + base + "/sub"), ctx.statuses.end());
  EXPECT_NE(std::find(ctx.statuses.begin(), ctx.statuses.end(), "(1:1) c"), ctx.statuses.end());
}

TEST(TranscodeRunTest, DroppedFoldersEachGetTheirOwnTree) {
  TempDir dir;
  writeBytes(dir / "x/1.txt", "1");
  writeBytes(dir / "y/2.txt", "2");
  PlainRunContext ctx;
  const TranscodeOutcome outcome = TranscodeDrop({dir / "x", dir / "y"}, treeOptions(), ctx);
  EXPECT_EQ(outcome.converted, 2);
  EXPECT_TRUE(testing::exists(onDisk(dir / "x(已转换)/1.txt")));
  EXPECT_TRUE(testing::exists(onDisk(dir / "y(已转换)/2.txt")));
  EXPECT_FALSE(testing::exists(onDisk(dir / "y(已转换)/1.txt")));
  // Folders run from the last dropped to the first, so the first dropped one is the last base.
  EXPECT_EQ(outcome.completionFolder, dir / "x(已转换)");
}

TEST(TranscodeRunTest, OverwriteWithNamesReplacesTheSimplifiedNamedFileByItsTraditionalTwin) {
  TempDir dir;
  const std::string folder = dir / "d";
  const std::string simplified = folder + "/头发.txt";
  writeBytes(onDisk(simplified), "头发很长");
  writeBytes(folder + "/keep.txt", "发现");
  TranscodeOptions options;
  options.overwrite = true;
  options.convertNames = true;
  options.chinese = ChineseMode::SimplifiedToTraditional;
  PlainRunContext ctx;
  const TranscodeOutcome outcome = TranscodeFolder(folder, options, ctx);
  EXPECT_EQ(outcome.converted, 2);
  EXPECT_TRUE(ctx.failures.empty());
  EXPECT_EQ(testing::listNames(folder), (std::vector<std::string>{"keep.txt", onDisk("頭髮.txt")}));
  EXPECT_EQ(readBytes(onDisk(folder + "/頭髮.txt")), kUtf8Mark + utf8Of("頭髮很長"));
  EXPECT_EQ(readBytes(folder + "/keep.txt"), kUtf8Mark + utf8Of("發現"));
  // After an overwrite run the completion names the base folder itself.
  EXPECT_EQ(outcome.completionText, "转换完成！点击可打开目录：" + folder);
}

TEST(TranscodeRunTest, NamesFollowTheModeAndModeNoneIgnoresTheNamesOption) {
  struct Case {
    ChineseMode mode;
    std::string name, want;
  };
  const Case kCases[] = {
      {ChineseMode::None, "头发.txt", "头发.txt"},
      {ChineseMode::SimplifiedToTraditional, "头发.txt", "頭髮.txt"},
      {ChineseMode::SimplifiedToBig5, "头发.txt", "頭髮.txt"},
      {ChineseMode::TraditionalToBig5, "头发.txt", "頭髮.txt"},
      {ChineseMode::Big5ToTraditional, "头发.txt", "頭髮.txt"},
      {ChineseMode::TraditionalToSimplified, "頭髮.txt", "头发.txt"},
      {ChineseMode::Big5ToSimplified, "頭髮.txt", "头发.txt"},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    writeBytes(onDisk(dir.path() + "/d/" + c.name), "abc");
    TranscodeOptions options;
    options.convertNames = true;
    options.chinese = c.mode;
    PlainRunContext ctx;
    TranscodeFiles({inText(dir.path()) + "/d/" + c.name}, options, ctx);
    EXPECT_EQ(testing::listNames(onDisk(dir / "d(已转换)")), std::vector<std::string>{onDisk(c.want)})
        << static_cast<int>(c.mode);
    EXPECT_TRUE(testing::exists(onDisk(dir.path() + "/d/" + c.name)));  // the tree leaves sources be
  }
}

TEST(TranscodeRunTest, ARenamedFileNeverReplacesAnotherFileOfTheUser) {
  TempDir dir;
  const std::string folder = dir / "d";
  writeBytes(onDisk(folder + "/头发.txt"), "simplified one");
  writeBytes(onDisk(folder + "/頭髮.txt"), "traditional one");
  TranscodeOptions options;
  options.overwrite = true;
  options.convertNames = true;
  options.chinese = ChineseMode::SimplifiedToTraditional;
  options.output = TextEncoding::Ansi;
  PlainRunContext ctx;
  const TranscodeOutcome outcome = TranscodeFolder(folder, options, ctx);
  ASSERT_EQ(ctx.failures.size(), 1u);
  EXPECT_EQ(ctx.failures[0].item, folder + "/头发.txt -> " + folder + "/頭髮.txt");
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(readBytes(onDisk(folder + "/头发.txt")), "simplified one");
  EXPECT_EQ(readBytes(onDisk(folder + "/頭髮.txt")), "traditional one");
}

// A run over the sources with new names killed before it removed its sources leaves each source
// beside its complete new file. The next run takes such a file as written and removes the source,
// whichever of the two its folder lists first, and ends as one run alone would have.
TEST(TranscodeRunTest, ANewNameThatHoldsItsSourcesConversionCountsAsWritten) {
  TranscodeOptions options;
  options.overwrite = true;
  options.convertNames = true;
  options.chinese = ChineseMode::SimplifiedToTraditional;
  const std::vector<std::string> names = {"头发.txt", "简体.txt", "keep.txt"};  // 頭髮 lists after 头发, 簡體 before 简体
  TempDir dir;
  const std::string clean = dir / "clean";
  const std::string folder = dir / "d";
  for (const std::string& name : names) {
    writeBytes(onDisk(clean + "/" + name), "头发与简体：" + name);
    writeBytes(onDisk(folder + "/" + name), "头发与简体：" + name);
  }
  PlainRunContext cleanCtx;
  ASSERT_EQ(TranscodeFolder(clean, options, cleanCtx).converted, 3);
  const std::vector<std::string> want = testing::listNames(clean);
  ASSERT_EQ(want, (std::vector<std::string>{"keep.txt", onDisk("簡體.txt"), onDisk("頭髮.txt")}));
  for (const std::string name : {"簡體.txt", "頭髮.txt"}) {
    writeBytes(onDisk(folder + "/" + name), readBytes(onDisk(clean + "/" + name)));
  }

  PlainRunContext ctx;
  const TranscodeOutcome outcome = TranscodeFolder(folder, options, ctx);
  EXPECT_EQ(outcome.converted, 3);
  EXPECT_EQ(outcome.failed, 0);
  EXPECT_TRUE(ctx.failures.empty()) << ctx.failures[0].item << ctx.failures[0].reason;
  EXPECT_EQ(testing::listNames(folder), want);
  for (const std::string& name : want) EXPECT_EQ(readBytes(folder + "/" + name), readBytes(clean + "/" + name)) << name;
  std::vector<std::string> told;
  for (const auto& warning : ctx.warnings) told.push_back(warning.item + "：" + warning.reason);
  std::sort(told.begin(), told.end());
  EXPECT_EQ(told, (std::vector<std::string>{
                      folder + "/簡體.txt：此文件已存在，内容正是 " + folder + "/简体.txt 的转换结果，视为已转换；原文件随后删除",
                      folder + "/頭髮.txt：此文件已存在，内容正是 " + folder + "/头发.txt 的转换结果，视为已转换；原文件随后删除",
                  }));
}

// A new name taken by a file that holds anything else is the user's: it is converted as a source of
// its own, whichever comes first, and the source beside it stays and is named with the reason.
TEST(TranscodeRunTest, ANewNameTakenByAnotherFileKeepsBothAndSaysWhy) {
  for (const std::string pair : {"简体", "头发"}) {
    SCOPED_TRACE(pair);
    const std::string twin = pair == "简体" ? "簡體" : "頭髮";
    TempDir dir;
    const std::string folder = dir / "d";
    writeBytes(onDisk(folder + "/" + pair + ".txt"), "source");
    writeBytes(onDisk(folder + "/" + twin + ".txt"), "the user's own");
    TranscodeOptions options;
    options.overwrite = true;
    options.convertNames = true;
    options.chinese = ChineseMode::SimplifiedToTraditional;
    PlainRunContext ctx;
    const TranscodeOutcome outcome = TranscodeFolder(folder, options, ctx);
    EXPECT_EQ(outcome.converted, 1);
    ASSERT_EQ(ctx.failures.size(), 1u);
    EXPECT_EQ(ctx.failures[0].item, folder + "/" + pair + ".txt -> " + folder + "/" + twin + ".txt");
    EXPECT_EQ(ctx.failures[0].reason, "目标已存在，内容与这次的转换结果不同，未覆盖；原文件未改动");
    EXPECT_EQ(readBytes(onDisk(folder + "/" + pair + ".txt")), "source");
    EXPECT_EQ(readBytes(onDisk(folder + "/" + twin + ".txt")), kUtf8Mark + "the user's own");
  }
}

TEST(TranscodeRunTest, AFileIsConvertedOnceEvenWhenDroppedTwice) {
  TempDir dir;
  const std::string gbk = "中文";
  writeBytes(dir / "d/a.txt", gbk);
  TranscodeOptions options;
  options.overwrite = true;
  options.input = TextEncoding::Ansi;  // a second conversion would encode the UTF-8 bytes again
  PlainRunContext ctx;
  const TranscodeOutcome outcome = TranscodeDrop({dir / "d/a.txt", dir / "d"}, options, ctx);
  EXPECT_EQ(outcome.converted, 1);
  EXPECT_EQ(outcome.warned, 1);
  EXPECT_EQ(readBytes(dir / "d/a.txt"), kUtf8Mark + utf8Of(gbk));
}

TEST(TranscodeRunTest, EveryPassReadsTheEncodingsAnew) {
  TempDir dir;
  writeBytes(dir / "d/a.txt", "中文");
  writeBytes(dir / "d/sub/b.txt", "中文");
  TranscodeOptions options;
  auto encodings = std::make_shared<LiveOptions<PassEncodings>>(PassEncodings{TextEncoding::Ansi, TextEncoding::Utf16Le});
  options.liveEncodings = encodings;
  options.input = TextEncoding::Utf8;  // the live encodings take their place
  PlainRunContext ctx;
  int files = 0;
  ctx.onStatus = [&](std::string_view) {
    // The radio buttons change while the first pass runs: the second pass writes ANSI.
    if (++files == 1) encodings->set({TextEncoding::Ansi, TextEncoding::Ansi});
  };
  TranscodeDrop({dir / "d/a.txt", dir / "d/sub"}, options, ctx);
  EXPECT_GE(files, 2);
  EXPECT_EQ(readBytes(onDisk(dir / "d(已转换)/a.txt")), "\xFF\xFE" + ConvertCharset("中文", "GB18030", "UTF-16LE"));
  EXPECT_EQ(readBytes(onDisk(dir / "d(已转换)/sub/b.txt")), "中文");
}

TEST(TranscodeRunTest, StopEndsTheRunAfterTheCurrentFile) {
  TempDir dir;
  for (const char* name : {"a.txt", "b.txt", "c.txt", "sub/d.txt"}) writeBytes(dir / ("d/" + std::string(name)), "x");
  TranscodeOptions options;
  options.includeSubfolders = true;
  PlainRunContext ctx;
  ctx.onCheckpointHook = [](PlainRunContext& c, int64_t count) {
    if (count == 2) c.requestStop();  // while file 2 is about to start
  };
  const TranscodeOutcome outcome = TranscodeFolder(dir / "d", options, ctx);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.converted, 2);
  EXPECT_EQ(testing::listNames(onDisk(dir / "d(已转换)")), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(outcome.completionFolder, dir / "d(已转换)");
}

TEST(TranscodeRunTest, LossyFilesAreWrittenAndNamed) {
  struct Case {
    const char* name;
    std::string source;
    TextEncoding input, output;
    std::string want;  // a part of the reason
  };
  const Case kCases[] = {
      {"gbk read as utf-8", "中文", TextEncoding::Utf8, TextEncoding::Ansi, "替换字符"},
      {"invalid byte to utf-8", "ab\x80", TextEncoding::Ansi, TextEncoding::Utf8, "有 1 处字节不是 GBK 编码的字符"},
      // A few broken characters leave a text a text.
      {"one broken character", utf8Of("第一行\r\n") + "\xE4\xB8" + utf8Of("第二行"), TextEncoding::Utf8,
       TextEncoding::Utf8, "替换字符"},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    writeBytes(dir / "d/a.txt", c.source);
    TranscodeOptions options;
    options.input = c.input;
    options.output = c.output;
    PlainRunContext ctx;
    const TranscodeOutcome outcome = TranscodeFiles({dir / "d/a.txt"}, options, ctx);
    EXPECT_EQ(outcome.converted, 1) << c.name;
    EXPECT_EQ(outcome.warned, 1) << c.name;
    EXPECT_TRUE(testing::exists(onDisk(dir / "d(已转换)/a.txt"))) << c.name;
    ASSERT_EQ(ctx.warnings.size(), 1u) << c.name;
    EXPECT_EQ(ctx.warnings[0].item, dir / "d(已转换)/a.txt") << c.name;
    EXPECT_NE(ctx.warnings[0].reason.find(c.want), std::string::npos) << c.name << ": " << ctx.warnings[0].reason;
  }
}

// Bytes that are no character of the input encoding are named as the cause, with their number,
// and not blamed on an output that holds every character; a character the output really cannot
// hold is still named as such. Large files are counted across their pieces.
TEST(TranscodeRunTest, InvalidInputBytesAreNamedWithTheirNumber) {
  std::string large;
  while (large.size() < (size_t{5} << 19)) large += "中文，第一行\r\n";
  large[(size_t{1} << 20) - 1] = '\x80';  // a piece of the count ends after it
  large[size_t{1} << 20] = '\xFF';
  large += "\x81";  // a lead byte cut off at the end
  struct Case {
    const char* name;
    std::string source;
    TextEncoding input, output;
    std::vector<std::string> want;  // the whole reasons, in order
  };
  const Case kCases[] = {
      {"two bad bytes to utf-8", "ab\x80" "cd\xFF" "ef", TextEncoding::Ansi, TextEncoding::Utf8,
       {"有 2 处字节不是 GBK 编码的字符，已替换（输入编码可能不对）"}},
      {"utf-16 read as gbk to utf-16", ConvertCharset("中文", "GB18030", "UTF-16BE") + "\xFF\xFF", TextEncoding::Ansi,
       TextEncoding::Utf16Be, {"有 3 处字节不是 GBK 编码的字符，已替换（输入编码可能不对）"}},
      {"a large file", large, TextEncoding::Ansi, TextEncoding::Utf8NoMark,
       {"有 3 处字节不是 GBK 编码的字符，已替换（输入编码可能不对）"}},
      {"bad bytes and big5 output", "\xBC\xF2\x80", TextEncoding::Ansi, TextEncoding::Big5,
       {"有 1 处字节不是 GBK 编码的字符，已替换（输入编码可能不对）", "有字符无法用输出编码表示，已替换"}},
      {"a character big5 lacks", "\xBC\xF2", TextEncoding::Ansi, TextEncoding::Big5, {"有字符无法用输出编码表示，已替换"}},
  };
  // Over the source too: the bytes are counted before the file is replaced.
  for (const bool overwrite : {false, true}) {
    for (const Case& c : kCases) {
      TempDir dir;
      writeBytes(dir / "d/a.txt", c.source);
      TranscodeOptions options;
      options.input = c.input;
      options.output = c.output;
      options.overwrite = overwrite;
      PlainRunContext ctx;
      const TranscodeOutcome outcome = TranscodeFiles({dir / "d/a.txt"}, options, ctx);
      EXPECT_EQ(outcome.converted, 1) << c.name;
      std::vector<std::string> reasons;
      for (const auto& warning : ctx.warnings) reasons.push_back(warning.reason);
      EXPECT_EQ(reasons, c.want) << c.name << (overwrite ? ", over the source" : "");
    }
  }
}

TEST(TranscodeRunTest, ATranscodedTreeDecodesToTheTextOfItsSources) {
  TempDir dir;
  const std::string text = "简体中文 ABC\r\n第二行：繁體字頭髮，€ 符号";
  const std::string sources[][2] = {
      {"gbk.txt", text},
      {"utf8.txt", utf8Of(text)},
      {"utf8bom.txt", kUtf8Mark + utf8Of(text)},
      {"sub/utf16le.txt", "\xFF\xFE" + ConvertCharset(text, "GB18030", "UTF-16LE")},
      {"sub/utf16be.txt", "\xFE\xFF" + ConvertCharset(text, "GB18030", "UTF-16BE")},
  };
  for (const auto& source : sources) writeBytes(dir / ("d/" + source[0]), source[1]);
  for (TextEncoding output : {TextEncoding::Utf16Le, TextEncoding::Utf8, TextEncoding::Ansi, TextEncoding::Detect}) {
    TranscodeOptions options;
    options.includeSubfolders = true;
    options.output = output;
    PlainRunContext ctx;
    EXPECT_EQ(TranscodeFolder(dir / "d", options, ctx).converted, 5);
    for (const auto& source : sources) {
      EXPECT_EQ(DecodeBuffer(readBytes(onDisk(dir / ("d(已转换)/" + source[0]))), TextEncoding::Detect), text)
          << source[0] << " as " << static_cast<int>(output);
    }
  }
}

// Root ignores permission bits; it gets its faults from a small file system of its own.
using testing::isRoot;
using testing::SmallFileSystem;

TEST(TranscodeRunTest, ALargeFileStreamsInSmallPiecesAndAStopWithinItLeavesNoOutput) {
  TempDir dir;
  std::string gbk;
  while (gbk.size() < 5000) gbk += "中文，第二行\r\nabc ";
  writeBytes(dir / "d/a.txt", gbk);
  TranscodeOptions options;
  options.pieceBytes = 7;  // cuts inside characters and between CR and LF
  PlainRunContext ctx;
  TranscodeFiles({dir / "d/a.txt"}, options, ctx);
  EXPECT_TRUE(readBytes(onDisk(dir / "d(已转换)/a.txt")) == kUtf8Mark + utf8Of(gbk));
  EXPECT_TRUE(ctx.failures.empty());

  // Over the source: the stop comes before the file's second piece.
  options.overwrite = true;
  options.pieceBytes = 1000;
  PlainRunContext stopping;
  stopping.onStatus = [&stopping](std::string_view) { stopping.requestStop(); };
  const TranscodeOutcome outcome = TranscodeFiles({dir / "d/a.txt"}, options, stopping);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.converted, 0);
  EXPECT_TRUE(readBytes(dir / "d/a.txt") == gbk);
  EXPECT_EQ(testing::listNames(dir / "d"), std::vector<std::string>{"a.txt"});
}

TEST(TranscodeRunTest, ManySmallFilesComeOutAsEachAloneWithReportsInTheirOrder) {
  TempDir dir;
  PathList files;
  std::vector<std::string> contents;
  for (int i = 0; i < 40; ++i) {
    std::string content = "第" + std::to_string(i) + "个文件\r\n";
    if (i % 5 == 1) content = "\xEF\xBB\xBF" + utf8Of(content);
    if (i % 7 == 3) content += "\xFF";  // a byte that is no character: a warning for this one
    if (i % 13 == 2) content += std::string("\0after", 6);  // no text: a failure
    const std::string name = "f" + std::to_string(100 + i) + ".txt";
    files.push_back(dir / ("d/" + name));
    if (i == 20) {
      ::mkdir((dir / "d").c_str(), 0755);
      ::mkfifo(files.back().c_str(), 0644);  // a failure for this one
    } else {
      writeBytes(files.back(), content);
    }
    contents.push_back(content);
  }
  PlainRunContext ctx;
  const TranscodeOutcome outcome = TranscodeFiles(files, treeOptions(), ctx);
  EXPECT_EQ(outcome.converted, 36);
  ASSERT_EQ(ctx.statuses.size(), 40u);
  std::vector<std::string> warned;
  std::vector<std::string> failed;
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(ctx.statuses[i], "(40:" + std::to_string(i + 1) + ") f" + std::to_string(100 + i));
    if (i == 20 || i % 13 == 2) {
      failed.push_back(files[i]);
      EXPECT_FALSE(testing::exists(onDisk(dir / ("d(已转换)/f" + std::to_string(100 + i) + ".txt")))) << i;
      continue;
    }
    TextEncoding used = TextEncoding::Detect;
    const std::string text = DecodeText(files[i], TextEncoding::Detect, {}, {}, used);
    EXPECT_TRUE(readBytes(onDisk(dir / ("d(已转换)/f" + std::to_string(100 + i) + ".txt"))) ==
                encodedBytes(text, TextEncoding::Utf8))
        << i;
    if (i % 7 == 3) warned.push_back(dir / ("d(已转换)/f" + std::to_string(100 + i) + ".txt"));
  }
  std::vector<std::string> reported;
  for (const auto& warning : ctx.warnings) reported.push_back(warning.item);
  EXPECT_EQ(reported, warned);
  std::vector<std::string> failures;
  for (const auto& failure : ctx.failures) failures.push_back(failure.item);
  EXPECT_EQ(failures, failed);
  EXPECT_EQ(ctx.failures[0].reason, "不是文本文件，未转换");

  // A stop after the fifth file: the files after it are neither written nor left half-written.
  PlainRunContext stopping;
  stopping.onStatus = [&stopping](std::string_view text) {
    if (text.starts_with("(40:5)")) stopping.requestStop();
  };
  TranscodeOptions options = treeOptions();
  options.output = TextEncoding::Utf16Le;
  TempDir other;
  PathList copies;
  for (int i = 0; i < 40; ++i) {
    copies.push_back(other / ("d/f" + std::to_string(100 + i) + ".txt"));
    writeBytes(copies.back(), contents[i]);
  }
  const TranscodeOutcome stopped = TranscodeFiles(copies, options, stopping);
  EXPECT_TRUE(stopped.stopped);
  EXPECT_EQ(stopped.converted, 4);  // the third file is no text
  EXPECT_EQ(testing::listNames(onDisk(other / "d(已转换)")),
            (std::vector<std::string>{"f100.txt", "f101.txt", "f103.txt", "f104.txt"}));
}

// A folder like a user's: GBK texts beside a picture and a program.
struct MixedFolder {
  explicit MixedFolder(const TempDir& dir) : folder(dir / "d") {
    writeBytes(onDisk(folder + "/简体.txt"), "简体中文，头发\r\n");
    writeBytes(onDisk(folder + "/说明.txt"), "这是说明\r\n");
    writeBytes(onDisk(folder + "/图片.png"), png);
    writeBytes(onDisk(folder + "/程序.bin"), program);
  }
  std::string folder;
  const std::string png = testing::pngLikeBytes(200000, 1);
  const std::string program = testing::binaryWithoutNul(5000, 2);
};

TEST(TranscodeNotText, PicturesAndProgramsAreNeitherWrittenNorRenamedInAnyMode) {
  struct Case {
    const char* name;
    bool overwrite;
    ChineseMode chinese;
    bool names;
  };
  const Case kCases[] = {
      {"over the sources, s2t, names", true, ChineseMode::SimplifiedToTraditional, true},
      {"over the sources, no conversion", true, ChineseMode::None, false},
      {"tree, s2t, names", false, ChineseMode::SimplifiedToTraditional, true},
      {"tree, s2big5", false, ChineseMode::SimplifiedToBig5, false},
      {"tree, no conversion", false, ChineseMode::None, false},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    const MixedFolder mixed(dir);
    TranscodeOptions options;
    options.overwrite = c.overwrite;
    options.chinese = c.chinese;
    options.convertNames = c.names;
    PlainRunContext ctx;
    const TranscodeOutcome outcome = TranscodeFolder(mixed.folder, options, ctx);

    EXPECT_EQ(outcome.converted, 2) << c.name;
    EXPECT_EQ(outcome.failed, 2) << c.name;
    // Bytes and names stay exactly as they were.
    EXPECT_TRUE(readBytes(onDisk(mixed.folder + "/图片.png")) == mixed.png) << c.name;
    EXPECT_TRUE(readBytes(onDisk(mixed.folder + "/程序.bin")) == mixed.program) << c.name;
    const std::vector<std::string> sources = testing::listNames(onDisk(mixed.folder));
    EXPECT_EQ(std::count(sources.begin(), sources.end(), onDisk("图片.png")), 1) << c.name;
    EXPECT_EQ(std::count(sources.begin(), sources.end(), onDisk("程序.bin")), 1) << c.name;
    EXPECT_EQ(std::count(sources.begin(), sources.end(), onDisk("圖片.png")), 0) << c.name;
    if (!c.overwrite) {
      // Nothing of them in the tree either.
      const std::vector<std::string> tree = testing::listNames(onDisk(dir / "d(已转换)"));
      EXPECT_EQ(tree.size(), 2u) << c.name;
      for (const std::string& name : tree) EXPECT_TRUE(name.ends_with(".txt")) << c.name << ": " << name;
    } else if (c.names) {
      EXPECT_TRUE(testing::exists(onDisk(mixed.folder + "/簡體.txt"))) << c.name;
    }
    ASSERT_EQ(ctx.failures.size(), 2u) << c.name;
    std::vector<std::string> named;
    for (const auto& failure : ctx.failures) {
      named.push_back(failure.item);
      EXPECT_EQ(failure.reason, "不是文本文件，未转换") << c.name;
    }
    std::vector<std::string> want = {mixed.folder + "/图片.png", mixed.folder + "/程序.bin"};
    std::sort(named.begin(), named.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(named, want) << c.name;
    EXPECT_TRUE(ctx.warnings.empty()) << c.name;
  }
}

TEST(TranscodeNotText, EveryInputEncodingJudgesWhatItReads) {
  struct Case {
    const char* name;
    std::string source;
    TextEncoding input;
    bool text;
  };
  const std::string gbk = "简体中文，第二行\r\nABC\r\n";
  const std::string utf16 = "\xFF\xFE" + ConvertCharset(gbk, "GB18030", "UTF-16LE");
  std::string gbkLong;
  while (gbkLong.size() < 3000) gbkLong += gbk;
  const Case kCases[] = {
      {"a picture, detected", testing::pngLikeBytes(3000, 3), TextEncoding::Detect, false},
      {"a picture, forced ANSI", testing::pngLikeBytes(3000, 3), TextEncoding::Ansi, false},
      {"a program, detected", testing::binaryWithoutNul(3000, 4), TextEncoding::Detect, false},
      {"a program, forced UTF-8", testing::binaryWithoutNul(3000, 4), TextEncoding::Utf8, false},
      {"a program, forced UTF-16LE", testing::binaryWithoutNul(3000, 4), TextEncoding::Utf16Le, false},
      {"a program, forced UTF-16BE", testing::binaryWithoutNul(3000, 4), TextEncoding::Utf16Be, false},
      // Text read in the wrong encoding is no text either: every other byte is unreadable.
      {"GBK forced as UTF-8", gbkLong, TextEncoding::Utf8, false},
      {"a NUL in UTF-8", "\xEF\xBB\xBF" + utf8Of(gbk) + std::string("\0", 1) + utf8Of(gbk), TextEncoding::Detect,
       false},
      {"a NUL unit in UTF-16", utf16 + std::string("\0\0", 2) + utf16.substr(2), TextEncoding::Detect, false},
      // Zero bytes inside UTF-16 units are no NUL.
      {"UTF-16 text", utf16, TextEncoding::Detect, true},
      {"UTF-16 text, forced", utf16, TextEncoding::Utf16Le, true},
      {"GBK with one stray byte", gbkLong + "\x80" + gbk, TextEncoding::Detect, true},
      {"GBK cut in a character", gbkLong + "\xB0", TextEncoding::Ansi, true},
      {"empty", "", TextEncoding::Detect, true},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    writeBytes(dir / "d/a.txt", c.source);
    TranscodeOptions options;
    options.input = c.input;
    options.overwrite = true;
    options.output = TextEncoding::Utf16Be;
    PlainRunContext ctx;
    const TranscodeOutcome outcome = TranscodeFiles({dir / "d/a.txt"}, options, ctx);
    EXPECT_EQ(outcome.converted, c.text ? 1 : 0) << c.name;
    EXPECT_EQ(outcome.failed, c.text ? 0 : 1) << c.name;
    if (!c.text) {
      EXPECT_TRUE(readBytes(dir / "d/a.txt") == c.source) << c.name;
      ASSERT_EQ(ctx.failures.size(), 1u) << c.name;
      EXPECT_EQ(ctx.failures[0].reason, "不是文本文件，未转换") << c.name;
    }
  }
}

TEST(TranscodeNotText, ALargeFileIsJudgedByItsStartAndEveryNulWithinIt) {
  // Streamed in small pieces: a NUL far behind the probe is met while the file is written; the
  // unfinished file goes and the source stays.
  TempDir dir;
  std::string text;
  while (text.size() < 300000) text += "简体中文，第二行\r\n";
  const std::string lateNul = text + std::string("\0", 1) + "tail";
  const std::string lateJunk = text + testing::binaryWithoutNul(40000, 5);  // beyond the probe
  writeBytes(dir / "d/late-nul.txt", lateNul);
  writeBytes(dir / "d/late-junk.txt", lateJunk);
  writeBytes(dir / "d/picture.png", testing::pngLikeBytes(300000, 6));
  writeBytes(dir / "d/utf8-junk.txt", "\xEF\xBB\xBF" + utf8Of(text) + testing::binaryWithoutNul(40000, 7));
  for (const bool overwrite : {false, true}) {
    TranscodeOptions options;
    options.overwrite = overwrite;
    options.pieceBytes = 4096;
    PlainRunContext ctx;
    const TranscodeOutcome outcome = TranscodeFolder(dir / "d", options, ctx);
    std::vector<std::string> failed;
    for (const auto& failure : ctx.failures) failed.push_back(PathFileName(failure.item));
    // Beyond the probe, raw bytes are judged by their NULs only; converted ones by their
    // replacements too.
    EXPECT_EQ(failed, (std::vector<std::string>{"late-nul.txt", "picture.png", "utf8-junk.txt"})) << overwrite;
    EXPECT_EQ(outcome.converted, 1) << overwrite;
    EXPECT_TRUE(readBytes(dir / "d/late-nul.txt") == lateNul) << overwrite;
    if (!overwrite) {
      EXPECT_EQ(testing::listNames(onDisk(dir / "d(已转换)")), std::vector<std::string>{"late-junk.txt"});
    }
  }
}

TEST(TranscodeEnd, StoppedAndFailedRunsSaySoAndOfferOnlyAFolderThatWasMade) {
  TempDir dir;
  const std::string folder = dir / "d";
  for (int i = 1; i <= 9; ++i) writeBytes(folder + "/" + std::to_string(i) + ".txt", "中文");
  const std::string tree = dir / "d(已转换)";
  const auto run = [&](const std::string& base, int stopAt, const TranscodeOptions& options = {}) {
    PlainRunContext ctx;
    ctx.onCheckpointHook = [stopAt](PlainRunContext& c, int64_t count) {
      if (count == stopAt) c.requestStop();
    };
    return TranscodeFolder(base, options, ctx);
  };

  // Stopped after 3 of 9 files, and before the first.
  TranscodeOutcome outcome = run(folder, 3);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.completionText, "已停止。已转换 3 个文件。点击可打开目录：" + tree);
  EXPECT_EQ(outcome.offeredFolder, tree);
  TempDir other;
  std::string large;
  while (large.size() < 200000) large += "中文字符\r\n";
  writeBytes(other / "e/large.txt", large);
  TranscodeOptions pieces;
  pieces.pieceBytes = 4096;
  PlainRunContext stopping;
  stopping.onStatus = [&stopping](std::string_view) { stopping.requestStop(); };  // within the file
  outcome = TranscodeFolder(other / "e", pieces, stopping);
  EXPECT_EQ(outcome.completionText, "已停止。已转换 0 个文件");
  EXPECT_EQ(outcome.offeredFolder, "");
  EXPECT_FALSE(testing::exists(onDisk(other / "e(已转换)")));

  // Some files failed: how many, and the folder the others went to.
  writeBytes(folder + "/picture.png", testing::pngLikeBytes(1000, 8));
  outcome = run(folder, -1);
  EXPECT_EQ(outcome.completionText, "转换完成：已转换 9 个文件，失败 1 个。点击可打开目录：" + tree);
  EXPECT_EQ(outcome.offeredFolder, tree);
  // ...and a stop after that.
  outcome = run(folder, 10);
  EXPECT_EQ(outcome.completionText, "已停止。已转换 9 个文件，失败 1 个。点击可打开目录：" + tree);

  // The tree cannot be made: every file fails and no folder is offered.
  writeBytes(dir / "ro/f/a.txt", "中文");
  writeBytes(dir / "ro/f/b.txt", "中文");
  {
    testing::ReadOnlyFolder locked(dir / "ro");
    if (locked.ready()) {
      outcome = run(dir / "ro/f", -1);
      EXPECT_EQ(outcome.completionText, "转换完成：已转换 0 个文件，失败 2 个");
      EXPECT_EQ(outcome.offeredFolder, "");
      EXPECT_FALSE(testing::exists(onDisk(dir / "ro/f(已转换)")));
    }
  }
  // Nothing to convert; an earlier run's tree is not this run's to offer.
  TranscodeOptions pictures;
  pictures.filter = "*.jpg";
  outcome = run(folder, -1, pictures);
  EXPECT_EQ(outcome.completionText, "转换完成：没有转换任何文件");
  EXPECT_EQ(outcome.offeredFolder, "");

  // A clean run keeps its words.
  TranscodeOptions texts;
  texts.filter = "*.txt";
  outcome = run(folder, -1, texts);
  EXPECT_EQ(outcome.completionText, "转换完成！点击可打开目录：" + tree);
  EXPECT_EQ(outcome.offeredFolder, tree);
  texts.overwrite = true;
  EXPECT_EQ(run(folder, -1, texts).completionText, "转换完成！点击可打开目录：" + folder);
}

TEST(TranscodeFaults, UnreadableSourcesAreNamedAndLeftAlone) {
  TempDir dir;
  const std::string folder = dir / "d";
  writeBytes(folder + "/good.txt", "中文");
  ::mkdir((folder + "/folder.txt").c_str(), 0755);  // not readable as a file, even by root
  ASSERT_EQ(::mkfifo((folder + "/pipe.txt").c_str(), 0644), 0);  // would block a reader for ever
  PathList files = {folder + "/folder.txt", folder + "/missing.txt", folder + "/good.txt", folder + "/pipe.txt"};
  if (!isRoot()) {
    writeBytes(folder + "/locked.txt", "secret");
    ::chmod((folder + "/locked.txt").c_str(), 0);
    files.push_back(folder + "/locked.txt");
  }
  for (bool overwrite : {false, true}) {
    TranscodeOptions options;
    options.overwrite = overwrite;
    PlainRunContext ctx;
    const TranscodeOutcome outcome = TranscodeFiles(files, options, ctx);
    EXPECT_EQ(outcome.converted, 1);
    ASSERT_EQ(ctx.failures.size(), files.size() - 1);
    EXPECT_EQ(ctx.failures[0].item, folder + "/folder.txt");
    EXPECT_EQ(ctx.failures[1].item, folder + "/missing.txt");
    EXPECT_NE(ctx.failures[1].reason.find(reasonForErrno(ENOENT)), std::string::npos) << ctx.failures[1].reason;
    EXPECT_EQ(ctx.failures[2].item, folder + "/pipe.txt");
    EXPECT_FALSE(testing::exists(folder + "/missing.txt"));
    EXPECT_FALSE(testing::exists(onDisk(dir / "d(已转换)/missing.txt")));  // nothing empty written for it
    EXPECT_FALSE(testing::exists(onDisk(dir / "d(已转换)/locked.txt")));
  }
  if (!isRoot()) {
    ::chmod((folder + "/locked.txt").c_str(), 0644);
    EXPECT_EQ(readBytes(folder + "/locked.txt"), "secret");
  }
}

TEST(TranscodeFaults, AReadOnlySourceFolderKeepsEveryFileInOverwriteMode) {
  TempDir dir;
  const std::string folder = dir / "d";
  ::mkdir(folder.c_str(), 0755);
  SmallFileSystem mount(folder, 1 << 20);
  if (isRoot() && !mount.mounted()) GTEST_SKIP() << "cannot mount a file system here";
  writeBytes(onDisk(folder + "/头发.txt"), "头发");
  writeBytes(folder + "/b.txt", "中文");
  if (isRoot()) {
    ASSERT_TRUE(mount.makeReadOnly());
  } else {
    ::chmod(folder.c_str(), 0555);
  }
  for (bool names : {false, true}) {
    TranscodeOptions options;
    options.overwrite = true;
    options.convertNames = names;
    options.chinese = ChineseMode::SimplifiedToTraditional;
    PlainRunContext ctx;
    const TranscodeOutcome outcome = TranscodeFolder(folder, options, ctx);
    EXPECT_EQ(outcome.converted, 0);
    ASSERT_EQ(ctx.failures.size(), 2u);
    EXPECT_NE(ctx.failures[0].item.find(folder + "/b.txt"), std::string::npos);
    EXPECT_NE(ctx.failures[1].item.find(folder + "/头发.txt"), std::string::npos);
    EXPECT_NE(ctx.failures[1].reason.find("原文件未改动"), std::string::npos) << ctx.failures[1].reason;
    EXPECT_EQ(readBytes(onDisk(folder + "/头发.txt")), "头发");
    EXPECT_EQ(readBytes(folder + "/b.txt"), "中文");
  }
  if (!isRoot()) ::chmod(folder.c_str(), 0755);
}

// A disk of 64 KiB of its own: on a file system that runs out of room there for any user, and on a
// small mounted one as well where that can be had (as root).
TEST(TranscodeFaults, AFullFileSystemLosesNothing) {
  for (const bool mounted : {false, true}) {
    SCOPED_TRACE(mounted ? "mounted" : "on the seam");
    TempDir dir;
    const std::string folder = dir / "d";
    ::mkdir(folder.c_str(), 0755);
    std::unique_ptr<SmallFileSystem> mount;
    if (mounted) {
      mount = std::make_unique<SmallFileSystem>(folder, 64 << 10);
      if (!mount->mounted()) continue;
    }
    // 40 KB of GBK grow to 60 KB of UTF-8: the new file cannot fit beside the old one.
    std::string text;
    while (text.size() < 40000) text += "中文字符";
    writeBytes(onDisk(folder + "/头发.txt"), text);
    testing::FaultyFileSystem disk;
    disk.separate(folder);
    disk.limitRoom(folder, (64 << 10) - static_cast<int64_t>(text.size()));
    for (bool names : {false, true}) {
      TranscodeOptions options;
      options.overwrite = true;
      options.convertNames = names;
      options.chinese = ChineseMode::SimplifiedToTraditional;
      PlainRunContext ctx;
      if (!mounted) ctx.useFileSystem(disk);
      const TranscodeOutcome outcome = TranscodeFolder(folder, options, ctx);
      EXPECT_EQ(outcome.converted, 0);
      ASSERT_EQ(ctx.failures.size(), 1u);
      EXPECT_NE(ctx.failures[0].reason.find(reasonForErrno(ENOSPC)), std::string::npos) << ctx.failures[0].reason;
      EXPECT_EQ(readBytes(onDisk(folder + "/头发.txt")), text);
      EXPECT_EQ(testing::listNames(folder), std::vector<std::string>{onDisk("头发.txt")});  // no leftovers
    }
  }
}

// A file that does not fit leaves no empty "(已转换)" folder behind.
TEST(TranscodeFaults, AFullFileSystemLeavesNoEmptyConvertedTree) {
  for (const bool mounted : {false, true}) {
    SCOPED_TRACE(mounted ? "mounted" : "on the seam");
    TempDir dir;
    const std::string disk = dir / "d";
    ::mkdir(disk.c_str(), 0755);
    std::unique_ptr<SmallFileSystem> mount;
    if (mounted) {
      mount = std::make_unique<SmallFileSystem>(disk, 64 << 10);
      if (!mount->mounted()) continue;
    }
    std::string text;
    while (text.size() < 40000) text += "中文字符";
    writeBytes(onDisk(disk + "/src/sub/头发.txt"), text);
    testing::FaultyFileSystem seam;
    seam.separate(disk);
    seam.limitRoom(disk, (64 << 10) - static_cast<int64_t>(text.size()));
    TranscodeOptions options;
    options.includeSubfolders = true;
    PlainRunContext ctx;
    if (!mounted) ctx.useFileSystem(seam);
    const TranscodeOutcome outcome = TranscodeFolder(disk + "/src", options, ctx);
    EXPECT_EQ(outcome.failed, 1);
    EXPECT_EQ(testing::listNames(disk), std::vector<std::string>{"src"});
    EXPECT_EQ(readBytes(onDisk(disk + "/src/sub/头发.txt")), text);
  }
}

}  // namespace
}  // namespace chengling
