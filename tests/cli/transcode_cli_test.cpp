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
