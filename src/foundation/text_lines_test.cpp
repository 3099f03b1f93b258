#include "foundation/text_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace chengling {
namespace {

std::vector<std::string> linesOf(std::string_view text) {
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < text.size();) lines.emplace_back(nextLine(text, pos));
  return lines;
}

TEST(TextLines, CutAtLfWithTheCrBeforeItAndNeedNoBreakAtTheEnd) {
  struct Case {
    std::string_view text;
    std::vector<std::string> want;
  };
  const Case kCases[] = {
      {"", {}},
      {"\n", {""}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\n\nb", {"a", "", "b"}},
      {"\r\n\r\n", {"", ""}},
      {"a\r", {"a\r"}},          // a CR without its LF is a byte of the line
      {"a\rb\n", {"a\rb"}},
      {"a\r\r\n", {"a\r"}},      // only the CR right before the LF is the break's
      {"\r", {"\r"}},
      {std::string_view("a\0b\nc", 5), {std::string("a\0b", 3), "c"}},
      {"中文\r\n第二行", {"中文", "第二行"}},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(linesOf(c.text), c.want) << c.text;
    EXPECT_EQ(countLines(c.text), c.want.size()) << c.text;
  }
}

TEST(TextLines, ALineEndsBeforeTheCrOfItsOwnBreakOnly) {
  const std::string_view text = "\r\nab\r\n";
  const char* const t = text.data();
  EXPECT_EQ(lineBytesEnd(t, t + 1), t);      // an empty line: its CR is the break's
  EXPECT_EQ(lineBytesEnd(t + 2, t + 5), t + 4);
  EXPECT_EQ(lineBytesEnd(t + 2, t + 2), t + 2);  // an empty line at a bare LF stays empty
  EXPECT_EQ(lineBytesEnd(t + 1, t + 1), t + 1);  // the CR before `begin` is not the line's
}

}  // namespace
}  // namespace chengling
