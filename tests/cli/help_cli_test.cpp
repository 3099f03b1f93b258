// The command line as a user meets it first: help, version, usage errors and the progress line.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace chengling::testing {
namespace {

const std::string kCli = CHENGLING_CLI;
constexpr const char* kTools[] = {"split", "merge", "transcode", "classify", "csv", "resolve"};

TEST(CliHelp, ListsTheSixToolsAndTheVersionFlag) {
  std::string out;
  ASSERT_EQ(runCommand(kCli + " --help", &out), 0);
  for (const char* tool : kTools) {
    EXPECT_NE(out.find(std::string("  ") + tool), std::string::npos) << tool << " missing in\n" << out;
  }
  EXPECT_NE(out.find("--version"), std::string::npos);
  EXPECT_NE(out.find("--quiet"), std::string::npos);
  // The terminal speaks UTF-8, not the internal encoding.
  EXPECT_NE(out.find(utf8(u8"澄岭工具箱的命令行")), std::string::npos) << out;
}

TEST(CliHelp, SpeaksChineseThroughout) {
  // CLI11's own words, which its formatter would print around our descriptions.
  constexpr const char* kEnglish[] = {"Usage", "Options", "OPTIONS", "Positionals", "REQUIRED", "SUBCOMMAND",
                                      "Subcommands", "Print this help", "Display program version", "TEXT",
                                      "INT", "Excludes", "Needs", "Run with"};
  std::vector<std::string> commands = {kCli + " --help"};
  for (const char* tool : kTools) commands.push_back(kCli + " " + tool + " --help");
  for (const std::string& command : commands) {
    std::string out;
    ASSERT_EQ(runCommand(command, &out), 0) << command;
    EXPECT_NE(out.find(utf8(u8"用法: chengling-cli")), std::string::npos) << command << "\n" << out;
    EXPECT_NE(out.find(utf8(u8"显示这段帮助后退出")), std::string::npos) << command << "\n" << out;
    for (const char* word : kEnglish) {
      EXPECT_EQ(out.find(word), std::string::npos) << word << " in " << command << "\n" << out;
    }
  }
}

TEST(CliHelp, DescriptionsStartInOneColumn) {
  // CLI11 pads by bytes; a Chinese name (three bytes, two columns a character) would push its
  // description out of line.
  std::string out;
  ASSERT_EQ(runCommand(kCli + " split --help", &out), 0);
  const std::string positional = utf8(u8"  路径 文本 ... 必需");
  const size_t row = out.find(positional);
  ASSERT_NE(row, std::string::npos) << out;
  const std::string optionRow = "  --filter ";
  const size_t other = out.find(optionRow);
  ASSERT_NE(other, std::string::npos) << out;
  // Both rows: name, blanks to column 30, then the description.
  const std::string positionalLine = out.substr(row, out.find('\n', row) - row);
  const std::string optionLine = out.substr(other, out.find('\n', other) - other);
  const size_t positionalPad = positionalLine.find_first_not_of(' ', positional.size());
  const size_t optionPad = optionLine.find_first_not_of(' ', std::string("  --filter ").size() + utf8(u8"文本").size());
  // 路径 and 文本 and 必需 are six characters of two columns and three bytes each.
  EXPECT_EQ(positionalPad - 6, 30u) << positionalLine;
  EXPECT_EQ(optionPad - 2, 30u) << optionLine;
}

TEST(CliHelp, VersionPrintsTheProductVersion) {
  std::string out;
  ASSERT_EQ(runCommand(kCli + " --version", &out), 0);
  EXPECT_EQ(out, "chengling-cli 1.0.0.0\n");
}

TEST(CliHelp, UsageErrorsExitWithTwoAndSayWhyInChinese) {
  const TempDir dir;
  struct Case {
    std::string arguments;
    std::u8string message;  // the first line on standard error
    std::string hint;       // the command named in the second line
  };
  const Case cases[] = {
      {"", u8"缺少子命令", "chengling-cli"},
      {"no-such-tool", u8"缺少子命令", "chengling-cli"},
      {"split", u8"缺少 路径", "chengling-cli split"},
      {"split a --count", u8"--count 缺少值", "chengling-cli split"},
      {"split --count 3 --size 2 a", u8"--count 与 --size 不能同时使用", "chengling-cli split"},
      {"split --no-such-flag a", u8"无法识别的参数：--no-such-flag", "chengling-cli split"},
      {"resolve --jobs 99", u8"--jobs 的值 99 不在 1 到 64 之间", "chengling-cli resolve"},
      {"transcode --to xx a", u8"--to 的值 xx 不是可选值 {ansi,auto,utf16be,utf16le,utf8,utf8-nobom} 之一",
       "chengling-cli transcode"},
      {"csv --sort 1 a", u8"--sort 需要与 --order 一起使用", "chengling-cli csv"},
      {"classify --undo --move", u8"--move 与 --undo 不能同时使用", "chengling-cli classify"},
  };
  for (const Case& c : cases) {
    const std::string errFile = dir / "err";
    EXPECT_EQ(runCommand(kCli + " " + c.arguments + " 2>" + errFile), 2) << c.arguments;
    const std::string want = utf8(c.message) + "\n" + utf8(u8"运行 ") + c.hint + utf8(u8" --help 查看用法") + "\n";
    EXPECT_EQ(readBytes(errFile), want) << c.arguments;
  }
}

// Runs `arguments` with standard error (and output) on a pseudo-terminal; what the terminal showed.
std::string onTerminal(const std::string& arguments) {
  std::string out;
  runCommand("script -qec \"'" + kCli + "' " + arguments + " >/dev/null\" /dev/null", &out);
  return out;
}

TEST(CliProgress, ALineOnATerminalOnly) {
  const TempDir dir;
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) writeBytes(dir / "in/" + name, std::string(3000, 'x'));

  // On a terminal: the bytes split so far redrawn in place, and taken away at the end.
  const std::string shown = onTerminal("split --count 2 '" + dir / "in" + "'");
  EXPECT_NE(shown.find("\r\033[K0 B/8.79 KB (0%)"), std::string::npos) << hex(shown);
  EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K") << hex(shown);

  // --quiet, before or after the subcommand: nothing of it.
  EXPECT_EQ(onTerminal("--quiet split --count 2 '" + dir / "in" + "'"), "");
  EXPECT_EQ(onTerminal("split -q --count 2 '" + dir / "in" + "'"), "");

  // Standard error not a terminal: nothing of it either, while the pieces are made as always.
  const std::string errFile = dir / "err";
  ASSERT_EQ(runCommand(kCli + " split --count 2 '" + dir / "in" + "' >/dev/null 2>" + errFile), 0);
  EXPECT_EQ(readBytes(errFile), "");
  EXPECT_TRUE(exists(dir / "in/a/a_1.txt")) << "split did not run";
}

}  // namespace
}  // namespace chengling::testing
