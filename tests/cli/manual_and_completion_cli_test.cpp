// The manual page and the bash completion tell the same story as the command's own help: every
// subcommand and every option that --help lists, and nothing it does not.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "support/test_support.h"

namespace chengling::testing {
namespace {

const std::string kCli = CHENGLING_CLI;
const std::string kManual = std::string(CHENGLING_DATA_DIR) + "/chengling-cli.1";
const std::string kCompletion = std::string(CHENGLING_DATA_DIR) + "/chengling-cli.bash-completion";
constexpr const char* kTools[] = {"split", "merge", "transcode", "classify", "csv", "resolve"};

using Words = std::set<std::string>;

// The options named in `text` ("-o", "--to"; a trailing comma or colon is not part of the name).
Words optionsIn(const std::string& text) {
  Words found;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    for (const char stop : {',', '(', ')', '[', ']', '|'}) {
      for (char& c : word) {
        if (c == stop) c = ' ';
      }
    }
    std::istringstream parts(word);
    std::string part;
    while (parts >> part) {
      while (!part.empty() && (part.back() == ':' || part.back() == '.')) part.pop_back();
      const size_t dashes = part.rfind("--", 0) == 0 ? 2 : part.rfind('-', 0) == 0 ? 1 : 0;
      if (dashes == 0 || part.size() <= dashes || part[dashes] < 'a' || part[dashes] > 'z') continue;
      found.insert(part);
    }
  }
  return found;
}

Words helpOptions(const std::string& arguments) {
  std::string out;
  EXPECT_EQ(runCommand(kCli + " " + arguments + " --help", &out), 0) << arguments;
  return optionsIn(out);
}

// The text of the manual's section `title`, with troff's "\-" as plain "-".
std::string manualSection(const std::string& title) {
  const std::string page = readBytes(kManual);
  const size_t start = page.find("\n.SH " + title + "\n");
  if (start == std::string::npos) return std::string();
  const size_t end = page.find("\n.SH ", start + 1);
  std::string section = page.substr(start, end - start);
  for (size_t at; (at = section.find("\\-")) != std::string::npos;) section.replace(at, 2, "-");
  return section;
}

// What the completion offers when the command line is `words` and the cursor is on the last one.
Words completions(const std::string& words) {
  std::string out;
  const std::string script = "source '" + kCompletion + "'; COMP_WORDS=(chengling-cli " + words +
                             "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _chengling_cli; "
                             "printf '%s\\n' \"${COMPREPLY[@]}\"";
  EXPECT_EQ(runCommand("bash -c '" + [&] {
              std::string quoted;
              for (char c : script) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
              return quoted;
            }() + "'", &out), 0) << words;
  Words offered;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) offered.insert(line);
  }
  return offered;
}

TEST(ManualAndCompletion, NameEverySubcommandAndOption) {
  const Words general = helpOptions("");
  EXPECT_EQ(general, (Words{"-h", "--help", "--version", "-q", "--quiet"}));
  const Words generalInManual = optionsIn(manualSection(utf8(u8"通用选项")));
  EXPECT_EQ(generalInManual, general);

  Words subcommandsAndGeneral = general;
  for (const char* tool : kTools) subcommandsAndGeneral.insert(tool);
  EXPECT_EQ(completions("''"), subcommandsAndGeneral);

  for (const char* tool : kTools) {
    Words help = helpOptions(tool);
    help.erase("-h");
    help.erase("--help");
    std::string title = tool;
    for (char& c : title) c = static_cast<char>(c - 'a' + 'A');
    const std::string section = manualSection(title);
    ASSERT_FALSE(section.empty()) << "no section " << title << " in the manual";
    EXPECT_EQ(optionsIn(section), help) << title;

    Words offered = completions(std::string(tool) + " -");
    for (const std::string& option : general) offered.erase(option);
    EXPECT_EQ(offered, help) << tool;
  }
}

TEST(ManualAndCompletion, CompletionOffersTheWordsAnOptionTakes) {
  struct Case {
    const char* words;
    Words want;
  };
  const Case cases[] = {
      {"transcode --to utf", {"utf8", "utf16le", "utf16be", "utf8-nobom"}},
      {"transcode --from utf", {"utf8", "utf16le", "utf16be"}},
      {"transcode --chinese x", {}},
      {"transcode --chinese big", {"big52s", "big52t"}},
      {"csv --order p", {"pinyin"}},
      {"resolve --placeholder ''", {"source", "empty", "none"}},
      {"classify --batch-names l", {"letters", "list:"}},
      {"classify --to ''", {}},  // a template, not an encoding
      {"split --count ''", {}},
      {"--quiet sp", {"split"}},
  };
  for (const Case& c : cases) EXPECT_EQ(completions(c.words), c.want) << c.words;
}

TEST(ManualAndCompletion, ManualRendersWithoutWarnings) {
  // groff reads the page as man(1) would show it on an 80-column terminal; -ww turns on every
  // warning (a bad request, a line that cannot be broken) and -z discards the output itself.
  const TempDir dir;
  const std::string errFile = dir / "err";
  ASSERT_EQ(runCommand("groff -man -k -Tutf8 -ww -z -rLL=78n '" + kManual + "' 2>" + errFile), 0);
  EXPECT_EQ(readBytes(errFile), "");
}

}  // namespace
}  // namespace chengling::testing
