#include "tools/redirect/html_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace chengling {
namespace {

TEST(HtmlText, CollapsesUpToTenBlanksOnEachSideOfEquals) {
  const std::string twelve(12, ' ');
  struct Case {
    std::string text;
    std::string want;
  };
  const Case kCases[] = {
      {"a = b", "a=b"},
      {"a\t\r\n=\v\f b", "a=b"},
      {"a" + twelve + "=" + twelve + "b", "a  =  b"},
      {"a　=　　b", "a=b"},  // full-width spaces
      {"x = = y", "x==y"},
      {"no equals  here", "no equals  here"},
      // A1 A1 straddling two characters is not a full-width space.
      {"\xB0\xA1\xA1\xB0=x", "\xB0\xA1\xA1\xB0=x"},
      {"啊 = 中", "啊=中"},
      {"", ""},
      {" = ", "="},
  };
  const HtmlText html;
  for (const Case& c : kCases) EXPECT_EQ(html.collapseEquals(c.text), c.want) << c.text;
}

TEST(TextBetween, FindsBothMarkersIgnoringCase) {
  struct Case {
    std::string text, left, right, want;
  };
  const Case kCases[] = {
      {"0; URL='/d'", "url='", "'", "/d"},
      {"0; url=http://c/", "URL=", "", "http://c/"},
      {"0; uRl=x", "URL=", "", "x"},
      {"abc", "x", "", ""},
      {"a[b", "[", "]", ""},
      {"[one][two]", "[", "]", "one"},
      {"[]", "[", "]", ""},
      // The trail byte 0x41 of a double-byte character is not the letter A.
      {"\xB0\x41-Ab", "a", "", "b"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(TextBetween(c.text, c.left, c.right), c.want) << c.text << " / " << c.left;
  }
}

TEST(HtmlText, AttributeValueReadsQuotedAndBareValues) {
  struct Case {
    std::string text, name, want;
  };
  const Case kCases[] = {
      {R"(<meta http-equiv="Refresh" content="0; url=http://c/">)", "content", "0; url=http://c/"},
      {R"(<META CONTENT="5">)", "content", "5"},
      {"<a href='x'>", "href", "x"},
      {"<a href=x>", "href", "x"},
      {"<a href=x y=1>", "href", "x"},
      {"<a href=\" padded \">", "href", "padded"},
      {"<a href=\"\">", "href", ""},
      {"<a href=''>", "href", ""},
      {"<a title=t>", "href", ""},
      // After a space first: data-href does not shadow href.
      {R"(<a data-href="bad" href="good">)", "href", "good"},
      // Then anywhere: the script forms.
      {"<script>window.location.href='/e';</script>", "location.href", "/e"},
      {"<script>top.location=\"/t\"</script>", "top.location", "/t"},
  };
  const HtmlText html;
  for (const Case& c : kCases) EXPECT_EQ(html.AttributeValue(c.text, c.name), c.want) << c.text;
}

TEST(HtmlText, FindElementReturnsTheFirstMatchWhole) {
  struct Case {
    std::string text, tag;
    std::vector<std::string> names, values;
    std::string want;
  };
  const std::vector<Case> kCases = {
      {R"(<head><meta name=a><meta http-equiv = "REFRESH" content="1"></head>)", "meta",
       {"http-equiv"}, {"Refresh"}, R"(<meta http-equiv="REFRESH" content="1">)"},
      {"<div a><div b></div></div><div c></div>", "div", {}, {}, "<div a><div b></div></div>"},
      {"<meta x/><p>", "meta", {}, {}, "<meta x/>"},
      {"<script src=a.js>no closing tag", "script", {}, {}, "<script src=a.js>"},
      {"<metadata x><meta y>", "meta", {}, {}, "<meta y>"},
      {"<SCRIPT>a = 1</Script>", "script", {}, {}, "<SCRIPT>a=1</Script>"},
      {"<head>中文<title>题</title></HEAD>", "head", {}, {}, "<head>中文<title>题</title></HEAD>"},
      {"<p>nothing</p>", "head", {}, {}, ""},
      {"<meta http-equiv=content-type>", "meta", {"http-equiv"}, {"refresh"}, ""},
      {"<head", "head", {}, {}, "<head"},
  };
  const HtmlText html;
  for (const Case& c : kCases) {
    EXPECT_EQ(html.FindElement(c.text, c.tag, c.names, c.values), c.want) << c.text;
  }
}

TEST(HtmlText, RemoveElementsTakesWholeNestedElements) {
  struct Case {
    std::string text, want;
  };
  const Case kCases[] = {
      {"a<noscript>x<noscript>y</noscript>z</noscript>b", "ab"},
      {"a<NOSCRIPT>x</noscript>b<noscript>y</NoScript>c", "abc"},
      {"a<noscript>b", "ab"},
      {"a</noscript>b", "a</noscript>b"},
      {"<noscripts>kept</noscripts>", "<noscripts>kept</noscripts>"},
      {"", ""},
  };
  const HtmlText html;
  for (const Case& c : kCases) EXPECT_EQ(html.RemoveElements(c.text, "noscript"), c.want) << c.text;
}

TEST(HtmlText, HostileMarkupIsReadInOnePass) {
  // Many openings that never close, and tags without ">": each would rescan the rest of the text
  // if elements were delimited one by one.
  std::string opens;
  for (int i = 0; i < 50000; ++i) opens += "<noscript>x";
  std::string unfinished;
  for (int i = 0; i < 50000; ++i) unfinished += "<meta http-equiv=a ";
  const HtmlText html;
  EXPECT_EQ(html.RemoveElements(opens, "noscript"), std::string(50000, 'x'));
  EXPECT_EQ(html.FindElement(unfinished, "meta", {"http-equiv"}, {"refresh"}), "");
  EXPECT_EQ(html.FindElement(opens + "<head>h</head>", "head"), "<head>h</head>");
}

}  // namespace
}  // namespace chengling
