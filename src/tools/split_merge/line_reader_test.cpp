#include "tools/split_merge/line_reader.h"

#include <gtest/gtest.h>

#include <random>

#include "support/test_support.h"

namespace chengling {
namespace {

struct Read {
  std::vector<std::string> lines;
  std::vector<bool> blanks;
};

Read readAll(LineReader& reader) {
  Read read;
  LineSpan line;
  while (reader.next(line)) {
    std::string bytes;
    EXPECT_TRUE(reader.emit(line, [&](std::string_view part) {
      bytes += part;
      return true;
    }));
    read.lines.push_back(bytes);
    read.blanks.push_back(line.blank);
  }
  EXPECT_FALSE(reader.failed()) << reader.error();
  return read;
}

// The same, with runs of lines taken at once (takeLines, at random counts and room) between single
// lines: the lines it gives must be the ones next() gives.
std::vector<std::string> readInRuns(LineReader& reader, std::mt19937& random) {
  std::vector<std::string> lines;
  LineSpan line;
  while (true) {
    std::string run;
    const size_t room = random() % 2 ? 1u << 20 : random() % 200;
    const size_t taken = reader.takeLines(1 + random() % 50, run, room);
    EXPECT_LE(run.size(), room);
    size_t at = 0;
    for (size_t i = 0; i < taken; ++i) {
      EXPECT_EQ(run.compare(at, 2, "\r\n"), 0);  // each line after a CR LF
      const size_t next = run.find("\r\n", at + 2);
      lines.push_back(run.substr(at + 2, (next == std::string::npos ? run.size() : next) - at - 2));
      at = next;
    }
    if (!reader.next(line)) break;
    std::string bytes;
    EXPECT_TRUE(reader.emit(line, [&](std::string_view part) {
      bytes += part;
      return true;
    }));
    lines.push_back(bytes);
  }
  EXPECT_FALSE(reader.failed()) << reader.error();
  return lines;
}

// Every case is read from memory and streamed from a file; both must agree.
TEST(LineReader, FollowsTheLineRuleFromMemoryAndFromAFile) {
  struct Case {
    std::string input;
    std::vector<std::string> lines;
  };
  const Case kCases[] = {
      {"", {}},
      {"\n", {""}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\r\r\n", {"a\rb\r"}},
      {std::string("abc\0def\n", 8), {"abc", "", "def"}},
      {std::string("\0\0x", 3), {"", "", "x"}},
      {"a\x1A\nb", {"a", "", "", "b"}},
      {"\r", {"\r"}},
      {"\x81\n", {"\x81"}},  // LF ends the line even after a lead byte
  };
  testing::TempDir dir;
  for (const Case& c : kCases) {
    LineReader memory(c.input, false);
    EXPECT_EQ(readAll(memory).lines, c.lines) << c.input;
    testing::writeBytes(dir / "in.txt", c.input);
    std::string error;
    LineReader file(dir / "in.txt", false, &error);
    ASSERT_TRUE(file.opened()) << error;
    EXPECT_EQ(readAll(file).lines, c.lines) << c.input;
  }
}

// The line rule read one byte at a time, as plainly as it can be said: the reference the fast scan
// must agree with.
std::vector<std::string> plainLines(std::string_view input) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < input.size()) {
    size_t stop = pos;
    while (stop < input.size() && input[stop] != '\n' && input[stop] != '\0' && input[stop] != '\x1A') ++stop;
    size_t end = stop;
    size_t after = stop;
    if (stop < input.size() && input[stop] == '\n') {
      after = stop + 1;
      if (end > pos && input[end - 1] == '\r') --end;
    }
    if (after == pos) ++after;
    lines.emplace_back(input.substr(pos, end - pos));
    pos = after;
  }
  return lines;
}

// Every line end at every place within and across the scan's blocks and the file's chunks: a single
// ending at each offset of a run of plain bytes, then long mixed inputs of each density of endings.
TEST(LineReader, FindsEveryLineEndWhereverItFalls) {
  std::vector<std::string> inputs;
  for (const std::string& ending : {std::string("\n"), std::string("\r\n"), std::string(1, '\0'), std::string("\x1A")}) {
    for (size_t at = 0; at < 40; ++at) inputs.push_back(std::string(at, 'a') + ending + std::string(37 - at % 37, 'b'));
  }
  const char kAlphabet[] = {'a', ' ', '\r', '\n', '\0', '\x1A', '\x81', '\xA1', '\x0B', '\x1B', '\x8A', '\x9A'};
  std::mt19937 random(7);
  for (const int spacing : {3, 40, 300, 20000}) {
    std::string input;
    const size_t size = LineReader::kChunk * 2 + 4097;
    while (input.size() < size) {
      const bool special = static_cast<int>(random() % static_cast<unsigned>(spacing)) == 0;
      input += special ? kAlphabet[2 + random() % 4] : kAlphabet[random() % sizeof kAlphabet];
    }
    inputs.push_back(input);
  }
  testing::TempDir dir;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::vector<std::string> want = plainLines(inputs[i]);
    LineReader memory(inputs[i], false);
    EXPECT_EQ(readAll(memory).lines, want) << "input " << i;
    LineReader memoryRuns(inputs[i], false);
    EXPECT_EQ(readInRuns(memoryRuns, random), want) << "input " << i << " in runs";
    testing::writeBytes(dir / "in.txt", inputs[i]);
    std::string error;
    LineReader file(dir / "in.txt", false, &error);
    ASSERT_TRUE(file.opened()) << error;
    EXPECT_EQ(readAll(file).lines, want) << "input " << i;
    LineReader fileRuns(dir / "in.txt", false, &error);
    EXPECT_EQ(readInRuns(fileRuns, random), want) << "input " << i << " in runs";
  }
}

TEST(LineReader, TellsBlankLines) {
  const std::string input = "\n \t\n　\n \r\nx\n　a\n\xA1\n \r \n";
  LineReader reader(input, true);
  const Read read = readAll(reader);
  EXPECT_EQ(read.blanks, (std::vector<bool>{true, true, true, true, false, false, false, false}));
}

TEST(LineReader, StreamsLinesLongerThanItsWindow) {
  // Lines that cross the window, one longer than the window itself (CR LF across a refill, a long
  // blank line), all read back whole while the reader holds only its window.
  const std::string longLine(LineReader::kLongLine + LineReader::kChunk + 123, 'L');
  const std::string longBlank(LineReader::kLongLine + 77, ' ');
  std::string input = "first\r\n";
  input += std::string(LineReader::kChunk - input.size() - 1, 's') + "\r\n";
  input += longLine + "\r\n" + longBlank + "\nlast";
  testing::TempDir dir;
  testing::writeBytes(dir / "long.txt", input);
  std::string error;
  LineReader reader(dir / "long.txt", true, &error);
  ASSERT_TRUE(reader.opened()) << error;
  const Read read = readAll(reader);
  ASSERT_EQ(read.lines.size(), 5u);
  EXPECT_EQ(read.lines[0], "first");
  EXPECT_EQ(read.lines[1], std::string(LineReader::kChunk - 8, 's'));
  EXPECT_EQ(read.lines[2], longLine);
  EXPECT_EQ(read.lines[3], longBlank);
  EXPECT_EQ(read.blanks, (std::vector<bool>{false, false, false, true, false}));
  EXPECT_EQ(read.lines[4], "last");
}

TEST(LineReader, JudgesTheCharacterThatItsWindowCutsInTwo) {
  // A space, then ideographic spaces up to a lead byte that ends the first window; the character
  // there is an ideographic space (blank) or an ideographic comma with the same lead (not blank).
  struct Case {
    char trail;
    bool blank;
  };
  const Case kCases[] = {{'\xA1', true}, {'\xA2', false}};
  testing::TempDir dir;
  for (const Case& c : kCases) {
    std::string line = " ";
    while (line.size() < LineReader::kChunk - 1) line += "　";
    ASSERT_EQ(line.size(), LineReader::kChunk - 1);
    line += '\xA1';
    line += c.trail;
    line += "　";
    testing::writeBytes(dir / "cut.txt", line + "\r\nx\r\n");
    std::string error;
    LineReader reader(dir / "cut.txt", true, &error);
    ASSERT_TRUE(reader.opened()) << error;
    const Read read = readAll(reader);
    EXPECT_EQ(read.blanks, (std::vector<bool>{c.blank, false})) << static_cast<int>(c.trail);
    ASSERT_EQ(read.lines.size(), 2u);
    EXPECT_EQ(read.lines[0], line);
  }
}

TEST(LineEndings, CorrectsLoneCrAndLf) {
  struct Case { const char* in; const char* out; };
  const Case kCases[] = {{"a\nb", "a\r\nb"}, {"a\rb", "a\r\nb"}, {"a\r\nb", "a\r\nb"},
                         {"\n\r", "\r\n\r\n"}, {"\r\r\n\n", "\r\n\r\n\r\n"}, {"", ""}};
  for (const Case& c : kCases) EXPECT_EQ(correctLineEndings(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace chengling
