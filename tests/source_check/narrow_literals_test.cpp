#include "source_check/narrow_literals.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace chengling::source_check {
namespace {

// Source text as its file holds it: UTF-8.
std::string utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

TEST(NarrowLiterals, OnlyOrdinaryLiteralsBeyondAsciiAreNamed) {
  struct Case {
    const char8_t* source;
    std::vector<std::string> found;  // the literals, in order
  };
  const Case kCases[] = {
      {u8"auto a = u\"中文\"_s; auto b = u8\"中文\"; auto c = U\"中\"; auto d = L\"中\";", {}},
      {u8"f(\"中文\");", {utf8(u8"\"中文\"")}},
      {u8"char c = '中';", {utf8(u8"'中'")}},
      {u8"x = \"plain ascii\" + 'a';", {}},
      {u8"// \"中文\" in a comment\n/* \"中文\"\n */ y;", {}},
      {u8"auto r = R\"x(中\"文)x\"; auto s = u8R\"(中)\"; auto t = R\"(ok)\";", {utf8(u8"R\"x(中\"文)x\"")}},
      {u8"int n = 1'000; auto s = \"中\";", {utf8(u8"\"中\"")}},
      {u8"auto e = \"a\\\"中\\\"\";", {utf8(u8"\"a\\\"中\\\"\"")}},
      {u8"QStringLiteral(\"中\")", {utf8(u8"\"中\"")}},
  };
  for (const Case& c : kCases) {
    std::vector<std::string> found;
    for (const NarrowLiteral& literal : narrowNonAsciiLiterals(utf8(c.source))) found.push_back(literal.text);
    EXPECT_EQ(found, c.found) << utf8(c.source);
  }
}

TEST(NarrowLiterals, EachIsNamedWithItsLine) {
  const std::vector<NarrowLiteral> found =
      narrowNonAsciiLiterals(utf8(u8"a;\n/* one\n two */\nb = \"第四行\";\nc = R\"(\n)\"; d = \"第六行\";\n"));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].line, 4);
  EXPECT_EQ(found[1].line, 6);
}

}  // namespace
}  // namespace chengling::source_check
