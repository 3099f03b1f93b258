#include "tools/classify/classify_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "foundation/native_text.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::gb;
using testing::utf8;

TEST(ClassifyLog, EveryPathReadsBackAsItself) {
  // Internal text, as the run holds its paths.
  const std::vector<std::string> paths = {
      "/数据/文档.txt",
      "",
      "/a b/c.txt",
      "/line\nbreak/and\r\nmore\r.txt",
      "\\starts/with a backslash",
      "/inner\\backslash\\n/stays.txt",
      internalFromNative("/not utf-8/\xff\xfe\x80.txt"),
      internalFromNative(utf8(u8"/私用区/\uF781.txt")),
  };
  std::string log;
  for (const std::string& path : paths) {
    const std::string line = logLine(path);
    EXPECT_EQ(readLogLines(line), std::vector<std::string>{path}) << testing::hex(path);
    log += line;
  }
  EXPECT_EQ(readLogLines(log), paths);
  // One line a path, LF alone, never a CR: a log of this version reads as one on sight.
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), static_cast<std::ptrdiff_t>(paths.size()));
  EXPECT_EQ(log.find('\r'), std::string::npos);

  // The names' own bytes: UTF-8 where the name is, escapes only where a line would break.
  struct Case {
    std::string path;
    std::string line;
  };
  const Case kLines[] = {
      {"/数据/文档.txt", utf8(u8"/数据/文档.txt\n")},
      {"", "\n"},
      {"/a\\b", "/a\\b\n"},
      {"/a\nb", "\\/a\\nb\n"},
      {"/a\r\nb\\c", "\\/a\\r\\nb\\\\c\n"},
      {"\\x", "\\\\\\x\n"},
      {internalFromNative("/\xff.txt"), "/\xff.txt\n"},
  };
  for (const Case& c : kLines) EXPECT_EQ(logLine(c.path), c.line) << testing::hex(c.path);
}

TEST(ClassifyLog, ReadsTheGbkLogsOfEarlierVersionsAndCrLfLines) {
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> want;
  };
  const Case kCases[] = {
      {"GBK with CR LF", gb(u8"/数据/文档.txt\r\n\r\n/a b/c.txt\r\n"), {"/数据/文档.txt", "", "/a b/c.txt"}},
      // The earlier versions cut only at CR LF: a lone LF belongs to its name.
      {"GBK, LF in a name", gb(u8"/归档/a\nb.txt\r\n"), {"/归档/a\nb.txt"}},
      {"ASCII with CR LF", "/a.txt\r\n/b.txt\r\n", {"/a.txt", "/b.txt"}},
      {"UTF-8 saved with CR LF", utf8(u8"/数据/x.txt\r\n/数据/y.txt\r\n"), {"/数据/x.txt", "/数据/y.txt"}},
      {"UTF-8 with LF", utf8(u8"/数据/x.txt\n\n"), {"/数据/x.txt", ""}},
      {"no last line end", utf8(u8"/数据/x.txt\n/y"), {"/数据/x.txt", "/y"}},
      {"empty", "", {}},
  };
  for (const Case& c : kCases) EXPECT_EQ(readLogLines(c.bytes), c.want) << c.what;
}

}  // namespace
}  // namespace chengling
