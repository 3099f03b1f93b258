// chengling-cli transcode end to end: paths as a drop hands them over, the completion folder on
// standard output, failures on standard error with exit code 1, usage errors with 2.
#include <gtest/gtest.h>

#include <string>

#include "foundation/charset_conversion.h"
#include "foundation/native_text.h"
#include "foundation/text_codec.h"
#include "support/test_support.h"

namespace chengling::testing {
namespace {

const std::string kCli = CHENGLING_CLI;

// Literals here are internal text; the file system and the terminal see UTF-8.
std::string native(const std::string& internal) { return nativeFromInternal(internal); }
std::string quoted(const std::string& internal) { return "'" + native(internal) + "'"; }
std::string utf8(const std::string& internal) { return ConvertCharset(internal, "GB18030", "UTF-8"); }

TEST(TranscodeCli, ConvertsAFolderTreeAndPrintsTheCompletionFolder) {
  TempDir dir;
  writeBytes(native(dir / "d/头发.txt"), "头发");
  writeBytes(native(dir / "d/sub/简体.txt"), "简体");
  std::string out;
  ASSERT_EQ(runCommand(kCli + " transcode --recursive --chinese s2t --names " + quoted(dir / "d"), &out), 0);
  EXPECT_EQ(out, native(dir / "d(已转换)") + "\n");
  EXPECT_EQ(readBytes(native(dir / "d(已转换)/頭髮.txt")), "\xEF\xBB\xBF" + utf8("頭髮"));
  EXPECT_EQ(readBytes(native(dir / "d(已转换)/sub/簡體.txt")), "\xEF\xBB\xBF" + utf8("簡體"));
  EXPECT_EQ(readBytes(native(dir / "d/头发.txt")), "头发");
}

TEST(TranscodeCli, FilesComeFirstAndGiveTheBaseOfTheFoldersAfterThem) {
  TempDir dir;
  writeBytes(dir / "d/a.txt", "a");
  writeBytes(dir / "d/sub/b.txt", "b");
  std::string out;
  // Relative paths with "." and a trailing separator name the same folders as full ones.
  ASSERT_EQ(runCommand("cd " + dir.path() + " && " + kCli + " transcode --to ansi ./d/sub/ d/a.txt", &out), 0);
  EXPECT_EQ(out, native(dir / "d(已转换)") + "\n");
  EXPECT_EQ(readBytes(native(dir / "d(已转换)/a.txt")), "a");
  EXPECT_EQ(readBytes(native(dir / "d(已转换)/sub/b.txt")), "b");
}

TEST(TranscodeCli, OverwriteNamesEachFailureAndExitsWithOne) {
  TempDir dir;
  writeBytes(native(dir / "d/头发.txt"), "simplified");
  writeBytes(native(dir / "d/頭髮.txt"), "traditional");
  std::string out;
  const int status = runCommand(kCli + " transcode --overwrite --names --chinese s2t " + quoted(dir / "d") +
                                    " 2>" + dir.path() + "/err.txt",
                                &out);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, native(dir / "d") + "\n");
  EXPECT_NE(readBytes(dir / "err.txt").find(native(dir / "d/头发.txt")), std::string::npos) << readBytes(dir / "err.txt");
  EXPECT_EQ(readBytes(native(dir / "d/头发.txt")), "simplified");
  EXPECT_EQ(readBytes(native(dir / "d/頭髮.txt")), "\xEF\xBB\xBF" "traditional");
}

TEST(TranscodeCli, FilesThatAreNoTextAreLeftAloneAndTheEndSaysHowManyFailed) {
  TempDir dir;
  const std::string png = testing::pngLikeBytes(20000, 1);
  writeBytes(native(dir / "d/简体.txt"), "简体");
  writeBytes(native(dir / "d/图片.png"), png);
  std::string out;
  const std::string err = dir.path() + "/err.txt";
  EXPECT_EQ(runCommand(kCli + " transcode --overwrite --names --chinese s2t " + quoted(dir / "d") + " 2>" + err, &out),
            1);
  EXPECT_EQ(out, native(dir / "d") + "\n");
  EXPECT_EQ(readBytes(native(dir / "d/图片.png")), png);
  EXPECT_FALSE(exists(native(dir / "d/圖片.png")));
  EXPECT_EQ(readBytes(native(dir / "d/簡體.txt")), "\xEF\xBB\xBF" + utf8("簡體"));
  const std::string said = readBytes(err);
  EXPECT_NE(said.find(native(dir / "d/图片.png") + native("：不是文本文件，未转换")), std::string::npos) << said;
  EXPECT_NE(said.find(native("转换完成：已转换 1 个文件，失败 1 个")), std::string::npos) << said;

  // Nothing written: no folder to name.
  writeBytes(native(dir / "e/图片.png"), png);
  EXPECT_EQ(runCommand(kCli + " transcode " + quoted(dir / "e") + " 2>/dev/null", &out), 1);
  EXPECT_EQ(out, "");
  EXPECT_FALSE(exists(native(dir / "e(已转换)")));
}

TEST(TranscodeCli, Utf8WithoutAMarkIsAnOutputOnly) {
  TempDir dir;
  writeBytes(native(dir / "d/a.txt"), "中文");
  std::string out;
  ASSERT_EQ(runCommand(kCli + " transcode --to utf8-nobom " + quoted(dir / "d/a.txt"), &out), 0);
  EXPECT_EQ(readBytes(native(dir / "d(已转换)/a.txt")), utf8("中文"));
  EXPECT_EQ(runCommand(kCli + " transcode --from utf8-nobom " + quoted(dir / "d/a.txt") + " 2>/dev/null"), 2);
}

// A dry run names each file a run would convert, the encoding it would be read in and its first
// line, and writes nothing; BIG5 input is taken by name, and found by detection.
TEST(TranscodeCli, ADryRunListsEachFileWithItsEncodingAndFirstLineAndWritesNothing) {
  TempDir dir;
  const std::string traditional = "我們今天下午去圖書館借了幾本書";
  writeBytes(native(dir / "d/a.txt"), ConvertCharset(traditional + "\r\n第二行\r\n", "GB18030", "BIG5"));
  writeBytes(native(dir / "d/b.txt"), "中文第一行\n第二行\n");
  writeBytes(native(dir / "d/c.txt"), ConvertCharset("你好 world\n", "GB18030", "UTF-16LE"));
  writeBytes(native(dir / "d/sub/e.txt"), utf8("子文件夹"));
  writeBytes(native(dir / "d/f.png"), testing::pngLikeBytes(2000, 1));
  std::string out;
  ASSERT_EQ(runCommand(kCli + " transcode --dry-run --recursive " + quoted(dir / "d"), &out), 0);
  EXPECT_EQ(out, native(dir / "d/a.txt") + "\tbig5\t" + native(traditional) + "\n" +  //
                     native(dir / "d/b.txt") + "\tansi\t" + native("中文第一行") + "\n" +
                     native(dir / "d/c.txt") + "\tutf16le\t" + native("你好 world") + "\n" +
                     native(dir / "d/f.png") + "\t-\t" + native("不是文本文件，未转换") + "\n" +
                     native(dir / "d/sub/e.txt") + "\tutf8\t" + native("子文件夹") + "\n");
  EXPECT_FALSE(exists(native(dir / "d(已转换)")));

  // Forced: every file is read as BIG5, and so written.
  ASSERT_EQ(runCommand(kCli + " transcode --dry-run --from big5 " + quoted(dir / "d/b.txt"), &out), 0);
  EXPECT_EQ(out, native(dir / "d/b.txt") + "\tbig5\t" + native(ConvertCharset("中文第一行", "BIG5", "GB18030")) + "\n");
  ASSERT_EQ(runCommand(kCli + " transcode --from big5 " + quoted(dir / "d/a.txt"), &out), 0);
  EXPECT_EQ(readBytes(native(dir / "d(已转换)/a.txt")), "\xEF\xBB\xBF" + utf8(traditional + "\r\n第二行\r\n"));
  EXPECT_EQ(runCommand(kCli + " transcode --to big5 " + quoted(dir / "d/a.txt") + " 2>/dev/null"), 2);
}

TEST(TranscodeCli, UsageErrorsExitWithTwo) {
  TempDir dir;
  writeBytes(dir / "a.txt", "a");
  EXPECT_EQ(runCommand(kCli + " transcode --to latin1 " + dir / "a.txt" + " 2>/dev/null"), 2);
  EXPECT_EQ(runCommand(kCli + " transcode --chinese x " + dir / "a.txt" + " 2>/dev/null"), 2);
  EXPECT_EQ(runCommand(kCli + " transcode " + dir / "missing.txt" + " 2>/dev/null"), 2);
  EXPECT_EQ(runCommand(kCli + " transcode 2>/dev/null"), 2);
  EXPECT_FALSE(exists(native(dir.path() + "(已转换)")));
}

}  // namespace
}  // namespace chengling::testing
