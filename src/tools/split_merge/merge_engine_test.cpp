#include "tools/split_merge/merge_engine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "foundation/file_system.h"
#include "foundation/native_text.h"
#include "foundation/text_codec.h"
#include "support/faulty_file_system.h"
#include "support/test_support.h"
#include "support/fault_fixtures.h"
#include "tools/split_merge/split_engine.h"

namespace chengling {
namespace {

using testing::utf8;
using testing::exists;
using testing::listNames;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

const std::string kBom = "\xEF\xBB\xBF";

// The native name of an internal path, for the test helpers that read and write files.
std::string onDisk(const std::string& path) { return nativeFromInternal(path); }

MergeOptions noParent() {
  MergeOptions options;
  options.intoParent = false;
  return options;
}

TEST(MergeOutputPath, NamesTheOutputAfterTheFirstFile) {
  struct Case { const char* first; int64_t count; bool parent; const char* want; };
  const Case kCases[] = {
      {"/d/novel/ch01.txt", 25, false, "/d/novel/ch01等25个文件.txt"},
      {"/d/novel/ch01.txt", 25, true, "/d/ch01等25个文件.txt"},
      {"/d/novel/readme", 2, false, "/d/novel/readme等2个文件"},
      {"/top/a.b.txt", 3, true, "/top/a.b等3个文件.txt"},  // no parent above /top: stays
  };
  for (const Case& c : kCases) EXPECT_EQ(mergeOutputPath(c.first, c.count, c.parent), c.want) << c.first;
}

TEST(MergeFiles, PutsTheJoinTextBetweenInputsOnly) {
  TempDir dir;
  writeBytes(dir / "a.txt", "A");
  writeBytes(dir / "b.txt", "B");
  writeBytes(dir / "c.txt", "C");
  writeBytes(dir / "join.bin", std::string("\0|\xFF", 3));
  MergeOptions options = noParent();
  options.join = JoinData::Text;
  PlainRunContext ctx;
  const MergeOutcome outcome = MergeFiles({dir / "a.txt", dir / "b.txt", dir / "c.txt"}, options, ctx);
  EXPECT_EQ(outcome.outputsWritten, 1);
  EXPECT_EQ(readBytes(onDisk(dir / "a等3个文件.txt")), "A我是中间字符串B我是中间字符串C");
  // A join file goes in byte for byte; status and progress name each input.
  options.join = JoinData::File;
  options.joinFile = dir / "join.bin";
  PlainRunContext second;
  MergeFiles({dir / "b.txt", dir / "c.txt"}, options, second);
  EXPECT_EQ(readBytes(onDisk(dir / "b等2个文件.txt")), std::string("B\0|\xFF" "C", 5));
  EXPECT_EQ(second.statuses, (std::vector<std::string>{"(1/2)b.txt", "(2/2)c.txt"}));
  EXPECT_EQ(second.lastPosition, 2);
}

TEST(MergeFiles, DecodingKeepsTheEncodingOfTheLastInput) {
  struct Case {
    const char* label;
    std::string first;
    std::string second;
    bool decode;
    std::string want;
  };
  const std::string gbk = "中文";  // internal text is GBK here
  const Case kCases[] = {
      {"two marks, decoding", kBom + utf8(u8"甲"), kBom + utf8(u8"乙"), true, kBom + utf8(u8"甲乙")},
      {"two marks, raw", kBom + utf8(u8"甲"), kBom + utf8(u8"乙"), false, kBom + utf8(u8"甲") + kBom + utf8(u8"乙")},
      {"UTF-8 then GBK", kBom + utf8(u8"甲"), gbk, true, "甲" + gbk},
      {"GBK then UTF-8", gbk, utf8(u8"乙"), true, kBom + utf8(u8"中文乙")},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    writeBytes(dir / "1.txt", c.first);
    writeBytes(dir / "2.txt", c.second);
    MergeOptions options = noParent();
    options.decode = c.decode;
    PlainRunContext ctx;
    MergeFiles({dir / "1.txt", dir / "2.txt"}, options, ctx);
    EXPECT_EQ(readBytes(onDisk(dir / "1等2个文件.txt")), c.want) << c.label;
  }
}

TEST(MergeFiles, DecodingLeavesFilesThatAreNoTextOutAndInPlace) {
  TempDir dir;
  const std::string png = testing::pngLikeBytes(20000, 1);
  const std::string program = testing::binaryWithoutNul(20000, 2);
  writeBytes(dir / "1.txt", kBom + utf8(u8"甲"));
  writeBytes(dir / "2.png", png);
  writeBytes(dir / "3.txt", kBom + utf8(u8"乙"));
  writeBytes(dir / "4.bin", program);
  MergeOptions options = noParent();
  options.decode = true;
  options.deleteInputs = true;
  options.join = JoinData::Text;
  options.joinText = "|";
  PlainRunContext ctx;
  const MergeOutcome outcome =
      MergeFiles({dir / "1.txt", dir / "2.png", dir / "3.txt", dir / "4.bin"}, options, ctx);
  EXPECT_EQ(outcome.outputsWritten, 1);
  EXPECT_EQ(outcome.failures, 2);
  ASSERT_EQ(ctx.failures.size(), 2u);
  EXPECT_EQ(ctx.failures[0].item, dir / "2.png");
  EXPECT_EQ(ctx.failures[1].item, dir / "4.bin");
  EXPECT_EQ(ctx.failures[1].reason, "不是文本文件，未合并");
  // The joins stay where the inputs were; the last text decides the encoding, not the program after it.
  EXPECT_EQ(readBytes(onDisk(dir / "1等4个文件.txt")), kBom + utf8(u8"甲||乙|"));
  EXPECT_EQ(readBytes(dir / "2.png"), png);
  EXPECT_EQ(readBytes(dir / "4.bin"), program);
  EXPECT_FALSE(exists(dir / "1.txt"));
  EXPECT_FALSE(exists(dir / "3.txt"));

  // Without decoding, bytes are joined as they are.
  PlainRunContext raw;
  options.decode = false;
  options.deleteInputs = false;
  options.join = JoinData::None;
  EXPECT_EQ(MergeFiles({dir / "2.png", dir / "4.bin"}, options, raw).failures, 0);
  EXPECT_EQ(readBytes(onDisk(dir / "2等2个文件.png")), png + program);
}

TEST(MergeFolder, JoinsPiecesInNameOrderAndWalksSubfolders) {
  TempDir dir;
  std::string expected;
  for (const int k : {1, 10, 11, 12, 2, 3, 4, 5, 6, 7, 8, 9}) {
    writeBytes(dir / ("book/book_" + std::to_string(k) + ".txt"), std::to_string(k) + ";");
    expected += std::to_string(k) + ";";
  }
  writeBytes(dir / "book/notes.md", "skipped by the pattern");
  writeBytes(dir / "book/sub/x.txt", "X");
  writeBytes(dir / "book/sub/y.txt", "Y");
  writeBytes(dir / "book/empty/deeper/z.txt", "Z");  // a folder without matches is still walked
  writeBytes(dir / "book/skip.d/w.txt", "W");        // a subfolder that does not match *.txt|*
  MergeOptions options;  // into the parent folder
  options.recursive = true;
  options.patterns = "*.txt|sub|empty|deeper";
  std::vector<std::string> outputs;
  options.onOutputWritten = [&](std::string_view path) { outputs.emplace_back(path); };
  PlainRunContext ctx;
  const MergeOutcome outcome = MergeFolder(dir / "book", options, ctx);
  EXPECT_EQ(outcome.outputsWritten, 3);
  EXPECT_EQ(readBytes(onDisk(dir / "book_1等12个文件.txt")), expected);
  EXPECT_EQ(readBytes(onDisk(dir / "book/x等2个文件.txt")), "XY");
  EXPECT_EQ(readBytes(onDisk(dir / "book/empty/z等1个文件.txt")), "Z");
  EXPECT_EQ(outputs, (std::vector<std::string>{dir / "book_1等12个文件.txt", dir / "book/x等2个文件.txt",
                                               dir / "book/empty/z等1个文件.txt"}));
}

TEST(NaturalNameLess, DigitRunsCompareAsNumbers) {
  struct Case { const char* a; const char* b; bool less; };
  const Case kCases[] = {
      {"book_2.txt", "book_10.txt", true},   {"book_10.txt", "book_2.txt", false},
      {"book_02.txt", "book_10.txt", true},  {"Book_1.txt", "book_2.txt", true},
      {"a.txt", "a.txt", false},             {"a", "a1", true},
      {"第2章.txt", "第10章.txt", true},      {"第10章.txt", "第9章.txt", false},
      {"x9y", "x10a", true},                 {"b", "a1", false},
  };
  for (const Case& c : kCases) EXPECT_EQ(naturalNameLess(c.a, c.b), c.less) << c.a << " < " << c.b;
}

// The program's own pieces come back whole: a split into 12 pieces, merged by number order.
TEST(MergeFolder, NaturalOrderGivesASplitFileBack) {
  TempDir dir;
  std::string novel;
  for (int line = 0; line < 500; ++line) novel += "第" + std::to_string(line) + "行，天下大势。\r\n";
  writeBytes(onDisk(dir / "小说.txt"), novel);
  SplitOptions split;
  split.pieceCount = 12;
  PlainRunContext ctx;
  ASSERT_EQ(SplitRun({dir / "小说.txt"}, split, ctx).piecesWritten, 12);

  MergeOptions options = noParent();
  const MergeOutcome byName = MergeFolder(dir / "小说", options, ctx);
  ASSERT_EQ(byName.outputsWritten, 1);
  EXPECT_NE(readBytes(onDisk(dir / "小说/小说_1等12个文件.txt")), novel) << "name order puts _10 before _2";
  options.naturalOrder = true;
  std::string error;
  ASSERT_TRUE(removeFile(dir / "小说/小说_1等12个文件.txt", &error)) << error;
  EXPECT_EQ(MergeFolder(dir / "小说", options, ctx).outputsWritten, 1);
  EXPECT_EQ(readBytes(onDisk(dir / "小说/小说_1等12个文件.txt")), novel);
}

TEST(MergeFiles, NothingReadableCommitsNothingAndKeepsAnOldOutput) {
  TempDir dir;
  writeBytes(onDisk(dir / "a等2个文件.txt"), "keep me");
  PlainRunContext ctx;
  const MergeOutcome outcome = MergeFiles({dir / "a.txt", dir / "b.txt"}, noParent(), ctx);  // neither exists
  EXPECT_EQ(outcome.outputsWritten, 0);
  EXPECT_EQ(outcome.failures, 2);
  EXPECT_EQ(readBytes(onDisk(dir / "a等2个文件.txt")), "keep me");
  EXPECT_EQ(listNames(dir.path()), std::vector<std::string>{onDisk("a等2个文件.txt")});
}

TEST(MergeFiles, StopAfterTheThirdInputDeletesOnlyWhatTheOutputHolds) {
  TempDir dir;
  PathList inputs;
  for (int i = 1; i <= 10; ++i) {
    inputs.push_back(dir / ("in/" + std::to_string(i) + ".txt"));
    writeBytes(inputs.back(), std::to_string(i));
  }
  MergeOptions options;
  options.deleteInputs = true;
  PlainRunContext ctx;
  ctx.onCheckpointHook = [](PlainRunContext& c, int64_t count) {
    if (count == 3) c.requestStop();
  };
  const MergeOutcome outcome = MergeFiles(inputs, options, ctx);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(readBytes(onDisk(dir / "1等10个文件.txt")), "123");
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(exists(inputs[static_cast<size_t>(i - 1)]), i > 3) << i;
  EXPECT_EQ(outcome.inputsDeleted, 3);
}

TEST(MergeFiles, AnOutputThatIsAlsoAnInputKeepsItsContent) {
  TempDir dir;
  writeBytes(dir / "a.txt", "first;");
  writeBytes(onDisk(dir / "a等3个文件.txt"), "old output;");
  MergeOptions options = noParent();
  options.deleteInputs = true;
  PlainRunContext ctx;
  // The third input cannot be read: it is reported and not deleted, the rest goes on.
  const MergeOutcome outcome = MergeFiles({dir / "a.txt", dir / "a等3个文件.txt", dir / "gone.txt"}, options, ctx);
  EXPECT_EQ(readBytes(onDisk(dir / "a等3个文件.txt")), "first;old output;");
  EXPECT_FALSE(exists(dir / "a.txt"));
  EXPECT_EQ(outcome.inputsDeleted, 1);
  ASSERT_EQ(ctx.failures.size(), 1u);
  EXPECT_EQ(ctx.failures[0].item, dir / "gone.txt");
  EXPECT_EQ(ctx.failures[0].reason, "文件不存在");
}

TEST(MergeFiles, UnreadableJoinFileIsAWarningAndJoinsNothing) {
  TempDir dir;
  writeBytes(dir / "a.txt", "A");
  writeBytes(dir / "b.txt", "B");
  MergeOptions options = noParent();
  options.join = JoinData::File;
  options.joinFile = dir / "missing.bin";
  PlainRunContext ctx;
  MergeFiles({dir / "a.txt", dir / "b.txt"}, options, ctx);
  EXPECT_EQ(readBytes(onDisk(dir / "a等2个文件.txt")), "AB");
  ASSERT_EQ(ctx.warnings.size(), 1u);
  EXPECT_EQ(ctx.warnings[0].item, dir / "missing.bin");
}

// A disk of 128 KiB: on a file system that runs out of room there for any user, and on a small
// mounted one as well where that can be had (as root).
TEST(MergeFaults, FullFileSystemKeepsEveryInputAndLeavesNoOutput) {
  for (const bool mounted : {false, true}) {
    SCOPED_TRACE(mounted ? "mounted" : "on the seam");
    TempDir dir;
    std::unique_ptr<testing::SmallFileSystem> small;
    if (mounted) {
      small = std::make_unique<testing::SmallFileSystem>(dir.path(), 128 * 1024);
      if (!small->mounted()) continue;
    }
    const std::string content(50 * 1024, 'm');
    writeBytes(dir / "in/a.txt", content);
    writeBytes(dir / "in/b.txt", content);
    testing::FaultyFileSystem disk;
    disk.limitRoom(dir.path(), 128 * 1024 - 2 * static_cast<int64_t>(content.size()));
    for (const bool decode : {false, true}) {
      MergeOptions options = noParent();
      options.deleteInputs = true;
      options.decode = decode;
      PlainRunContext ctx;
      if (!mounted) ctx.useFileSystem(disk);
      const MergeOutcome outcome = MergeFiles({dir / "in/a.txt", dir / "in/b.txt"}, options, ctx);
      EXPECT_EQ(outcome.outputsWritten, 0) << decode;
      EXPECT_EQ(readBytes(dir / "in/a.txt"), content) << decode;
      EXPECT_EQ(readBytes(dir / "in/b.txt"), content) << decode;
      EXPECT_EQ(listNames(dir / "in"), (std::vector<std::string>{"a.txt", "b.txt"})) << decode;
      ASSERT_EQ(ctx.failures.size(), 1u) << decode;
      EXPECT_EQ(ctx.failures[0].item, dir / "in/a等2个文件.txt") << decode;
      EXPECT_EQ(ctx.failures[0].reason, "磁盘已满") << decode;
    }
  }
}

TEST(MergeFaults, ReadOnlyOutputFolderKeepsEveryInput) {
  TempDir dir;
  writeBytes(dir / "in/a.txt", "A");
  writeBytes(dir / "in/b.txt", "B");
  testing::ReadOnlyFolder readOnly(dir / "in");
  ASSERT_TRUE(readOnly.ready());
  MergeOptions options = noParent();
  options.deleteInputs = true;
  PlainRunContext ctx;
  const MergeOutcome outcome = MergeFiles({dir / "in/a.txt", dir / "in/b.txt"}, options, ctx);
  EXPECT_EQ(outcome.outputsWritten, 0);
  EXPECT_EQ(listNames(dir / "in"), (std::vector<std::string>{"a.txt", "b.txt"}));
  ASSERT_EQ(ctx.failures.size(), 1u);
  EXPECT_EQ(ctx.failures[0].item, dir / "in/a等2个文件.txt");
  EXPECT_TRUE(ctx.failures[0].reason == "只读文件系统" || ctx.failures[0].reason == "权限不足")
      << ctx.failures[0].reason;
}

}  // namespace
}  // namespace chengling
