#include "tools/split_merge/content_phrase.h"

#include <gtest/gtest.h>

#include <set>

#include "foundation/internal_text.h"

namespace chengling {
namespace {

TEST(ContentPhrase, RemovesMarkup) {
  struct Case { const char* in; const char* out; };
  const Case kCases[] = {{"<b>x</b>", "x"}, {"<a>>", ">"}, {"<<a>", "<"}, {"a<b<c>d>e", "a<bd>e"},
                         {"no tags", "no tags"}, {"<open", "<open"}, {"1 > 0", "1 > 0"}};
  for (const Case& c : kCases) EXPECT_EQ(removeMarkup(c.in), c.out) << c.in;
}

TEST(ContentPhrase, PicksOnlyLongEnoughPhrasesWhenThereAreAny) {
  std::mt19937_64 random(7);
  // Two phrases of five characters or more, cut at half- and full-width punctuation, ". ", line
  // breaks and spaces; a tag and a short piece around them. 3.5 stays whole.
  const std::string text = "<p>短</p>，第一个长短语。ab. 共3.5个字符\r\n　十二三四五　";
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) seen.insert(ContentPhrase(text, 5, random));
  EXPECT_EQ(seen, (std::set<std::string>{"第一个长短语", "共3.5个字符", "十二三四五"}));
  for (int i = 0; i < 50; ++i) EXPECT_EQ(ContentPhrase(text, 7, random), "共3.5个字符");
}

TEST(ContentPhrase, FallsBackToAnyCandidateUntrimmed) {
  std::mt19937_64 random(11);
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) seen.insert(ContentPhrase("ab,　c　,d,", 15, random));
  EXPECT_EQ(seen, (std::set<std::string>{"ab", "　c　", "d"}));
  EXPECT_EQ(ContentPhrase("", 5, random), "");
  EXPECT_EQ(ContentPhrase("<only markup>", 5, random), "");
}

}  // namespace
}  // namespace chengling
