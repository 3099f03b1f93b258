// chengling-cli split and merge, end to end: real files in a temporary folder, the real binary.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/fault_fixtures.h"

namespace chengling {
namespace {

using testing::exists;
using testing::listNames;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// Texts as the terminal shows them (UTF-8).
std::string u8(std::u8string_view text) { return std::string(reinterpret_cast<const char*>(text.data()), text.size()); }

struct CliRun {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs chengling-cli with `arguments` (already quoted for the shell) inside `folder`.
CliRun cli(const TempDir& dir, const std::string& folder, const std::string& arguments) {
  CliRun run;
  const std::string errFile = dir / "stderr.txt";
  run.code = testing::runCommand("cd '" + folder + "' && '" CHENGLING_CLI "' " + arguments + " 2>'" + errFile + "'",
                                 &run.out);
  run.err = readBytes(errFile);
  std::remove(errFile.c_str());
  return run;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    result.push_back(text.substr(start, end - start));
  }
  return result;
}

// The list of pieces is flushed piece by piece. A flush that fails once, with later writes going
// through, is still named with its own reason at the end.
TEST(SplitCli, AFailedStandardOutputIsNamedWithItsReason) {
  const std::string strace = testing::straceProgram();
  if (strace.empty()) GTEST_SKIP() << "strace is not installed";
  // The pieces are copied in the kernel, so the first write() is the list's first flush.
  const testing::SyscallFault fault{"write", "error=EIO", 1, {}};
  if (fault.hitsTheSanitizerRuntime()) GTEST_SKIP() << "the sanitizers write too";
  TempDir dir;
  writeBytes(dir / "work/book.txt", std::string(2500, 'b'));
  std::string traced;
  for (const std::string& word : fault.prefix(strace)) traced += "'" + word + "' ";
  const std::string errFile = dir / "stderr.txt";
  const int code = testing::runCommand("cd '" + dir / "work" + "' && " + traced + "'" CHENGLING_CLI
                                       "' split --size 1KB book.txt >/dev/null 2>'" + errFile + "'");
  EXPECT_EQ(code, 1);
  EXPECT_NE(readBytes(errFile).find(u8(u8"无法写出结果（标准输出）：读写错误")), std::string::npos) << readBytes(errFile);
  EXPECT_EQ(readBytes(dir / "work/book/book_3.txt"), std::string(2500 - 2 * 1024, 'b'));  // the pieces are whole
}

TEST(SplitCli, SplitsFilesAndPrintsEveryPiece) {
  TempDir dir;
  writeBytes(dir / "work/book.txt", std::string(2500, 'b'));
  const CliRun run = cli(dir, dir / "work", "split --size 1KB book.txt");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(lines(run.out), (std::vector<std::string>{dir / "work/book/book_1.txt", dir / "work/book/book_2.txt",
                                                      dir / "work/book/book_3.txt"}));
  EXPECT_EQ(readBytes(dir / "work/book/book_3.txt").size(), 452u);
  EXPECT_TRUE(exists(dir / "work/book.txt"));
}

TEST(SplitCli, OneFolderSplitsItsFilesThroughTheFilter) {
  TempDir dir;
  writeBytes(dir / u8(u8"书架/甲.txt"), "1\n2\n3");
  writeBytes(dir / u8(u8"书架/乙.htm"), "x");
  const CliRun run = cli(dir, dir.path(), u8(u8"split --lines 2-2 --no-subdir --delete --filter '*.txt' 书架"));
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(listNames(dir / u8(u8"书架")),
            (std::vector<std::string>{u8(u8"乙.htm"), u8(u8"甲_1.txt"), u8(u8"甲_2.txt")}));
  EXPECT_EQ(readBytes(dir / u8(u8"书架/甲_1.txt")), "1\r\n2");
  EXPECT_EQ(lines(run.out).size(), 2u);
}

// A name made from the text never gains a folder, even where a stray lead byte hides a "/".
TEST(SplitCli, ContentNamesStayInTheirFolder) {
  TempDir dir;
  writeBytes(dir / "e.txt", "X\x81/..\x81/ESC\n");
  const CliRun run = cli(dir, dir.path(), "split --content-names --count 1 e.txt");
  EXPECT_EQ(run.code, 0) << run.err;
  const std::vector<std::string> pieces = listNames(dir / "e");
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(readBytes(dir / ("e/" + pieces[0])), "X\x81/..\x81/ESC\n");
  EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"e", "e.txt"}));
}

TEST(SplitCli, UsageErrorsExitWithTwoAndSayWhy) {
  struct Case { const char* arguments; std::u8string_view message; };
  const Case kCases[] = {
      {"split --count 0 a.txt", u8"份数必须大于0"},
      {"split --size 0MB a.txt", u8"字节长度不能等于0"},
      {"split --size 3TB a.txt", u8"--size"},
      {"split --lines 0-5 a.txt", u8"行数至少 1"},
      // Numbers are read whole: junk, fractions and values out of range name the option.
      {"split --count 1e30 a.txt", u8"--count 应是 1 到 2147483647 之间的整数，而不是 1e30"},
      {"split --count 3abc a.txt", u8"而不是 3abc"},
      {"split --count 1.9 a.txt", u8"而不是 1.9"},
      {"split --count 9223372036854775807 a.txt", u8"--count 应是"},
      {"split --count 2147483648 a.txt", u8"--count 应是"},
      {"split --lines 5-x a.txt", u8"--lines 应是"},
      {"split --chars 99999999999 a.txt", u8"--chars 应是"},
      {"split --size 18446744073709551616 a.txt", u8"--size 应是"},
      {"split --size 1.2.3MB a.txt", u8"--size 应是"},
      {"split --size 1e3KB a.txt", u8"--size 应是"},
      {"split --size 5000000000GB a.txt", u8"--size 应是"},
      {"split --chars 5 --lines 5 a.txt", u8"--chars 与 --lines 不能同时使用"},
      {"split --separator '' a.txt", u8"请输入用于分割的字符串！"},
      {"split missing.txt", u8"找不到 missing.txt"},
      {"merge --join-file nothing.bin a.txt", u8"nothing.bin"},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    writeBytes(dir / "a.txt", "abc");
    const CliRun run = cli(dir, dir.path(), c.arguments);
    EXPECT_EQ(run.code, 2) << c.arguments;
    EXPECT_NE(run.err.find(u8(c.message)), std::string::npos) << c.arguments << "\n" << run.err;
    EXPECT_FALSE(exists(dir / "a")) << c.arguments;
  }
}

TEST(SplitCli, FailedPiecesExitWithOneAndNameTheFile) {
  TempDir dir;
  writeBytes(dir / "a.txt", "abcdef");
  ASSERT_EQ(mkdir((dir / "a").c_str(), 0755), 0);
  testing::ReadOnlyFolder readOnly(dir / "a");
  ASSERT_TRUE(readOnly.ready());
  const CliRun run = cli(dir, dir.path(), "split --count 2 --delete a.txt");
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(dir / "a/a_1.txt"), std::string::npos) << run.err;
  EXPECT_EQ(readBytes(dir / "a.txt"), "abcdef");
  EXPECT_TRUE(run.out.empty());
}

TEST(SplitCli, AFileThatIsNoTextFailsInTheModesThatDecodeAndTheEndSaysHowMany) {
  TempDir dir;
  const std::string png = testing::pngLikeBytes(5000, 1);
  writeBytes(dir / "p.png", png);
  writeBytes(dir / "t.txt", "a\nb\n");
  const CliRun run = cli(dir, dir.path(), "split --lines 1-1 --detect --delete p.png t.txt");
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find(u8(u8"不是文本文件，未分割")), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(u8(u8"分割完毕：写出 2 个分割文件，失败 1 个")), std::string::npos) << run.err;
  EXPECT_EQ(readBytes(dir / "p.png"), png);
  EXPECT_FALSE(exists(dir / "p"));

  const CliRun merged = cli(dir, dir.path(), "merge --decode --no-parent p.png t");
  EXPECT_EQ(merged.code, 1);
  EXPECT_NE(merged.err.find(u8(u8"不是文本文件，未合并")), std::string::npos) << merged.err;
  EXPECT_NE(merged.err.find(u8(u8"合并完毕：写出 1 个合并文件，失败 1 个")), std::string::npos) << merged.err;
}

TEST(SplitCli, WholeLinesAndCharactersMoveTheCutsAndSayWhatTheyCouldNotDo) {
  TempDir dir;
  const std::string gbk = testing::gb(u8"床前明月光，\r\n疑是地上霜。\r\n举头望明月\r\n低头思故乡\r\n");
  writeBytes(dir / "poem.txt", gbk);
  // 52 bytes in 4 pieces: the byte-exact cuts at 13, 26 and 39 fall inside lines (the first
  // between CR and LF).
  const CliRun byLines = cli(dir, dir.path(), "split --count 4 --whole-lines poem.txt");
  EXPECT_EQ(byLines.code, 0) << byLines.err;
  EXPECT_EQ(lines(byLines.out).size(), 4u);
  EXPECT_EQ(readBytes(dir / "poem/poem_1.txt"), testing::gb(u8"床前明月光，\r\n"));
  EXPECT_EQ(readBytes(dir / "poem/poem_2.txt"), testing::gb(u8"疑是地上霜。\r\n"));
  EXPECT_EQ(readBytes(dir / "poem/poem_4.txt"), testing::gb(u8"低头思故乡\r\n"));

  const std::string utf8 = u8(u8"春眠不觉晓，处处闻啼鸟。");
  writeBytes(dir / "u.txt", utf8);
  const CliRun byChars = cli(dir, dir.path(), "split --size 10B --whole-chars u.txt");
  EXPECT_EQ(byChars.code, 0) << byChars.err;
  // Every piece holds whole three-byte characters: 12 bytes, the last what is left.
  EXPECT_EQ(readBytes(dir / "u/u_1.txt"), u8(u8"春眠不觉"));
  EXPECT_EQ(readBytes(dir / "u/u_2.txt"), u8(u8"晓，处处"));
  EXPECT_EQ(readBytes(dir / "u/u_3.txt"), u8(u8"闻啼鸟。"));
  EXPECT_FALSE(exists(dir / "u/u_4.txt"));

  // Fewer lines than pieces: a piece per line, said on standard error, and still a success.
  writeBytes(dir / "short.txt", "one\ntwo");
  const CliRun fewer = cli(dir, dir.path(), "split --count 10 --whole-lines short.txt");
  EXPECT_EQ(fewer.code, 0) << fewer.err;
  EXPECT_EQ(listNames(dir / "short"), (std::vector<std::string>{"short_1.txt", "short_2.txt"}));
  EXPECT_NE(fewer.err.find(dir / "short.txt"), std::string::npos) << fewer.err;
  EXPECT_NE(fewer.err.find(u8(u8"只有 2 行，不截断行时分成 2 份，而不是 10 份")), std::string::npos) << fewer.err;

  // A file that is no text is cut by bytes, with a warning.
  const std::string png = testing::pngLikeBytes(3000, 4);
  writeBytes(dir / "p.png", png);
  const CliRun binary = cli(dir, dir.path(), "split --count 3 --whole-chars p.png");
  EXPECT_EQ(binary.code, 0) << binary.err;
  EXPECT_NE(binary.err.find(u8(u8"不是文本文件，按字节分割")), std::string::npos) << binary.err;
  EXPECT_EQ(readBytes(dir / "p/p_1.png"), png.substr(0, 1000));
  EXPECT_EQ(readBytes(dir / "p/p_2.png"), png.substr(1000, 1000));
  EXPECT_EQ(readBytes(dir / "p/p_3.png"), png.substr(2000));
}

TEST(SplitCli, WholeLinesAndCharactersGoOnlyWithCountOrSize) {
  struct Case { const char* arguments; const char* message; };
  const Case kCases[] = {
      {"split --whole-lines --whole-chars a.txt", "--whole-lines"},
      {"split --lines 2-3 --whole-lines a.txt", "--whole-lines"},
      {"split --chars 2-3 --whole-chars a.txt", "--whole-chars"},
      {"split --separator x --whole-lines a.txt", "--whole-lines"},
  };
  for (const Case& c : kCases) {
    TempDir dir;
    writeBytes(dir / "a.txt", "abc");
    const CliRun run = cli(dir, dir.path(), c.arguments);
    EXPECT_EQ(run.code, 2) << c.arguments;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
    EXPECT_NE(run.err.find(u8(u8"不能同时使用")), std::string::npos) << c.arguments << "\n" << run.err;
    EXPECT_FALSE(exists(dir / "a")) << c.arguments;
  }
}

TEST(SplitCli, CtrlCStopsAfterTheCurrentPiece) {
  TempDir dir;
  writeBytes(dir / "s.txt", std::string(20000, 'x'));  // one-byte pieces: a long run
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execl(CHENGLING_CLI, CHENGLING_CLI, "split", "--count", "20000", "--delete", (dir / "s.txt").c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  FILE* stream = fdopen(out[0], "r");
  char first[4096];
  ASSERT_NE(fgets(first, sizeof first, stream), nullptr);  // the first piece is written
  kill(child, SIGINT);
  std::string rest;
  for (int c; (c = fgetc(stream)) != EOF;) rest += static_cast<char>(c);
  fclose(stream);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::vector<std::string> names = listNames(dir / "s");
  EXPECT_LT(names.size(), 20000u);
  EXPECT_EQ(names.size(), lines(first + rest).size());  // every piece printed, nothing half-written
  for (const std::string& name : names) EXPECT_NE(name.front(), '.') << name;
  EXPECT_TRUE(readBytes(dir / "s.txt") == std::string(20000, 'x')) << "the source must stay";
}

TEST(MergeCli, MergesFilesIntoTheParentFolderWithJoinText) {
  TempDir dir;
  writeBytes(dir / u8(u8"小说/第1章.txt"), "A");
  writeBytes(dir / u8(u8"小说/第2章.txt"), "B");
  const CliRun run = cli(dir, dir / u8(u8"小说"), u8(u8"merge --join-text '——' 第1章.txt 第2章.txt"));
  EXPECT_EQ(run.code, 0) << run.err;
  const std::string output = dir / u8(u8"第1章等2个文件.txt");
  EXPECT_EQ(lines(run.out), (std::vector<std::string>{output}));
  // The join text arrives as internal text (GBK), like the window's edit box.
  EXPECT_EQ(readBytes(output), "A\xA1\xAA\xA1\xAA" "B");
}

TEST(MergeCli, SplitThenNaturalMergeGivesTheFileBack) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + "\n";
  writeBytes(dir / "book.txt", text);
  ASSERT_EQ(cli(dir, dir.path(), "split --count 12 book.txt").code, 0);
  const CliRun merged = cli(dir, dir.path(), "merge --natural --no-parent book");
  EXPECT_EQ(merged.code, 0) << merged.err;
  EXPECT_EQ(readBytes(dir / u8(u8"book/book_1等12个文件.txt")), text);
}

TEST(MergeCli, FilesAndFoldersMergeAsADrop) {
  TempDir dir;
  writeBytes(dir / "a.txt", "a");
  writeBytes(dir / "b.txt", "b");
  writeBytes(dir / "f/x.txt", "x");
  writeBytes(dir / "f/y.txt", "y");
  writeBytes(dir / "g/z.txt", "z");
  const CliRun run = cli(dir, dir.path(), "merge --no-parent --delete a.txt f b.txt g");
  EXPECT_EQ(run.code, 0) << run.err;
  // The files into one output, then the folders, the last one dropped first.
  EXPECT_EQ(lines(run.out), (std::vector<std::string>{dir / u8(u8"a等2个文件.txt"), dir / u8(u8"g/z等1个文件.txt"),
                                                      dir / u8(u8"f/x等2个文件.txt")}));
  EXPECT_EQ(readBytes(dir / u8(u8"a等2个文件.txt")), "ab");
  EXPECT_EQ(readBytes(dir / u8(u8"f/x等2个文件.txt")), "xy");
  EXPECT_FALSE(exists(dir / "a.txt"));
  EXPECT_FALSE(exists(dir / "f/x.txt"));
}

}  // namespace
}  // namespace chengling
