#include "foundation/chinese_convert.h"

#include <gtest/gtest.h>
#include <opencc/Config.hpp>
#include <opencc/Conversion.hpp>
#include <opencc/ConversionChain.hpp>
#include <opencc/Converter.hpp>
#include <opencc/Dict.hpp>
#include <opencc/DictEntry.hpp>
#include <opencc/Lexicon.hpp>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/gb18030_table.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

// Plain modern prose with common characters, several of which have one simplified form for two
// traditional ones (发 头发/发现, 后 以后/皇后, 干 干净/能干, 面 面条/里面).
const std::string kSimplified =
    "我们的头发每天都在生长，发现问题以后要及时解决。\r\n"
    "这个软件可以把简体中文转换成繁体中文，也可以反过来转换。\r\n"
    "皇后在里面吃面条，厨房打扫得很干净，她是一个能干的人。\r\n"
    "经济发展需要时间，历史会记住这一天。ABC 123 abc。\r\n";

TEST(ChineseConvert, TablesAreLoaded) { EXPECT_TRUE(chineseTablesAvailable()); }

TEST(ChineseConvert, ConvertsPhrasesNotJustCharacters) {
  struct Case {
    std::string_view simplified;
    std::string_view traditional;
  };
  const Case kCases[] = {
      {"头发", "頭髮"}, {"发现", "發現"}, {"以后", "以後"}, {"皇后", "皇后"},
      {"简体字", "簡體字"}, {"中文 ABC 123", "中文 ABC 123"}, {"", ""},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(ToTraditional(c.simplified), c.traditional) << c.simplified;
    EXPECT_EQ(ToSimplified(c.traditional), c.simplified) << c.simplified;
  }
}

TEST(ChineseConvert, SimplifiedToTraditionalAndBackRestoresCommonText) {
  const std::string traditional = ToTraditional(kSimplified);
  EXPECT_NE(traditional, kSimplified);
  EXPECT_EQ(traditional.size(), kSimplified.size());
  EXPECT_NE(traditional.find("頭髮"), std::string::npos);
  EXPECT_EQ(ToSimplified(traditional), kSimplified);
}

TEST(ChineseConvert, KeepsCharactersGbkCannotHoldAndEveryByteThatIsNoCharacter) {
  struct Case {
    std::string_view input;
    std::string_view want;
    bool toTraditional;
  };
  const Case kCases[] = {
      // OpenCC writes 䴉 and 䲁, which GBK lacks: the simplified forms stay.
      {"鹮和鳚头发", "鹮和鳚頭髮", true},
      {std::string_view("头\0发", 3 + 2), std::string_view("頭\0發", 3 + 2), true},
      {"\x80头发\xFF", "\x80頭髮\xFF", true},
      {"头\xB0", "頭\xB0", true},                   // a lead byte cut off at the end
      {"\x81\x30\x81\x30头发", "\x81\x30\x81\x30頭髮", true},  // a four-byte character passes
      {"頭髮\x80", "头发\x80", false},
  };
  for (const Case& c : kCases) {
    const std::string got = c.toTraditional ? ToTraditional(c.input) : ToSimplified(c.input);
    EXPECT_EQ(got, c.want) << testing::PrintToString(c.input);
    EXPECT_EQ(got.size(), c.input.size()) << testing::PrintToString(c.input);
  }
}

TEST(ChineseConvert, LargeTextIsConvertedInPiecesWithTheSameResult) {
  const std::string line = ToTraditional(kSimplified);
  std::string big;
  std::string want;
  while (big.size() < (size_t{1} << 20)) {
    big += kSimplified;
    want += line;
  }
  EXPECT_TRUE(ToTraditional(big) == want);
  // One line longer than a piece may be is cut somewhere, but never inside a character.
  std::string longLine;
  while (longLine.size() < 800000) longLine += "头发简体";
  const std::string converted = ToTraditional(longLine);
  ASSERT_EQ(converted.size(), longLine.size());
  EXPECT_EQ(ToSimplified(converted), longLine);
}

TEST(ChineseConvert, TextCutAfterAnyAsciiCharacterConvertsPieceByPieceAsWhole) {
  // ASCII next to, and between, the characters of phrases: a stream converting in pieces cuts there.
  const std::string text = kSimplified + "头发a头发 以后1以后\r\n皇后,后来\t发现 头 发 以\r\n后 发,现" + kSimplified;
  for (const bool toTraditional : {true, false}) {
    const std::string source = toTraditional ? text : ToTraditional(text);
    auto convert = toTraditional ? ToTraditional : ToSimplified;
    const std::string whole = convert(source);
    size_t cuts = 0;
    for (size_t pos = 0; pos < source.size();) {
      const GbUnit unit = gbUnitAt(source, pos);
      pos += unit.length;
      if (unit.kind != GbUnit::Kind::Ascii) continue;  // a byte below 0x80 may be a trail byte
      EXPECT_EQ(convert(source.substr(0, pos)) + convert(source.substr(pos)), whole) << "cut at byte " << pos;
      ++cuts;
    }
    EXPECT_GT(cuts, 30u);
  }
}

TEST(ChineseConvert, ConvertersAreSharedSafelyBetweenThreads) {
  const std::string want = ToTraditional(kSimplified);
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int& count : mismatches) {
    threads.emplace_back([&count, &want] {
      for (int i = 0; i < 50; ++i) count += ToTraditional(kSimplified) != want;
    });
  }
  for (auto& thread : threads) thread.join();
  for (int count : mismatches) EXPECT_EQ(count, 0);
}

TEST(ChineseConvert, Big5CodePageBothWays) {
  struct Case {
    std::string_view gbk;
    std::string_view big5;
  };
  const Case kCases[] = {
      {"中文", "\xA4\xA4\xA4\xE5"},
      {"繁體 abc", "\xC1\x63\xC5\xE9 abc"},
      {"简体", "?\xCA\x5E"},                 // 简 is not in BIG5, 体 is
      {"中\xFF文", "\xA4\xA4?\xA4\xE5"},       // a byte that starts no character
      {"中\x90\x30\x81\x30文", "\xA4\xA4?\xA4\xE5"},  // U+10000
      {"", ""},
  };
  for (const Case& c : kCases) EXPECT_EQ(GbkToBig5(c.gbk), c.big5) << c.gbk;
  EXPECT_EQ(Big5ToGbk("\xA4\xA4\xA4\xE5"), "中文");
  EXPECT_EQ(Big5ToGbk("\xA4\xA4\xFF\xA4\xE5"), "中?文");
  EXPECT_EQ(Big5ToGbk("\xA4\xA4\xA4"), "中?");   // cut off at the end: marked, not dropped
}

TEST(ChineseConvert, GbkToBig5AndBackRestoresWhatBig5Holds) {
  // Every GBK character that BIG5 holds comes back; every other one becomes exactly one "?".
  std::string gbk;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      gbk += static_cast<char>(lead);
      gbk += static_cast<char>(trail);
      gbk += '\n';  // never a trail byte
    }
  }
  const std::string back = Big5ToGbk(GbkToBig5(gbk));
  size_t kept = 0;
  size_t pos = 0;
  size_t backPos = 0;
  while (pos < gbk.size()) {
    const std::string_view original(gbk.data() + pos, 2);
    const size_t bar = back.find('\n', backPos);
    ASSERT_NE(bar, std::string::npos);
    const std::string_view got(back.data() + backPos, bar - backPos);
    if (got != "?") {
      EXPECT_EQ(got, original);
      ++kept;
    }
    pos += 3;
    backPos = bar + 1;
  }
  EXPECT_EQ(backPos, back.size());
  EXPECT_GT(kept, 13000u);  // BIG5 holds its 13 000 hanzi and more
}

// libopencc itself, loaded from the same configs the tables were generated from, is the reference.
struct Reference {
  opencc::ConverterPtr converter;
  std::string (*ours)(std::string_view);
  std::string (*oursInternal)(std::string_view);
  std::vector<std::string> keys;  // every key of every dictionary of the conversion, as UTF-8
};

const Reference& reference(bool toTraditional) {
  static const Reference* const references = [] {
    auto* made = new Reference[2];
    for (const bool traditional : {false, true}) {
      Reference& r = made[traditional ? 1 : 0];
      opencc::Config config;
      r.converter = config.NewFromFile(traditional ? "s2t.json" : "t2s.json");
      r.ours = traditional ? Utf8ToTraditional : Utf8ToSimplified;
      r.oursInternal = traditional ? ToTraditional : ToSimplified;
      for (const opencc::ConversionPtr& conversion : r.converter->GetConversionChain()->GetConversions()) {
        const opencc::LexiconPtr lexicon = conversion->GetDict()->GetLexicon();
        for (const auto& entry : *lexicon) r.keys.push_back(entry->Key());
      }
    }
    return made;
  }();
  return references[toTraditional ? 1 : 0];
}

std::vector<char32_t> codePointsOf(std::string_view utf8) {
  std::vector<char32_t> out;
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t cp = 0;
    const size_t length = readUtf8(utf8, pos, cp);
    if (length == 0) return {};
    out.push_back(cp);
    pos += length;
  }
  return out;
}

// What the conversion of internal text must give, from OpenCC's output for the same characters:
// each character takes its converted form where both are two-byte GBK characters, else stays.
std::string internalWant(const std::vector<char32_t>& source, const std::vector<char32_t>& converted) {
  std::string out;
  for (size_t i = 0; i < source.size(); ++i) {
    const uint16_t from = unicodeToGbk(source[i]);
    const uint16_t to = unicodeToGbk(converted[i]);
    if (from != 0 && to != 0) {
      out += static_cast<char>(to >> 8);
      out += static_cast<char>(to & 0xFF);
    } else {
      appendGb18030(source[i], out);
    }
  }
  return out;
}

// Converts `utf8` both ways (OpenCC, ours) and, where every character is one of GB18030, as internal
// text too; reports the first line that differs.
void expectSameAsOpencc(const std::string& utf8, bool toTraditional, const char* what) {
  const Reference& r = reference(toTraditional);
  const std::string want = r.converter->Convert(utf8);
  const std::string got = r.ours(utf8);
  if (got != want) {
    size_t line = 0;
    while (line < got.size() && line < want.size() && got[line] == want[line]) ++line;
    line = want.rfind('\n', line) + 1;
    ADD_FAILURE() << what << (toTraditional ? " s2t" : " t2s") << ": differs from OpenCC at byte " << line
                  << "\n  opencc: " << want.substr(line, want.find('\n', line) - line)
                  << "\n  ours:   " << got.substr(line, got.find('\n', line) - line);
    return;
  }
  const std::vector<char32_t> source = codePointsOf(utf8);
  const std::vector<char32_t> converted = codePointsOf(want);
  ASSERT_EQ(source.size(), converted.size()) << what;
  std::string internal;
  for (const char32_t cp : source) ASSERT_TRUE(appendGb18030(cp, internal)) << what;
  EXPECT_TRUE(r.oursInternal(internal) == internalWant(source, converted))
      << what << (toTraditional ? " s2t" : " t2s") << " on internal text";
}

std::vector<char32_t> gbkCharacters() {
  std::vector<char32_t> out;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (const char32_t cp = trail == 0x7F ? 0 : gbkToUnicode(lead, trail)) out.push_back(cp);
    }
  }
  return out;
}

TEST(ChineseConvertReference, EveryGbkCharacterConvertsAsInOpenccBothWays) {
  const std::vector<char32_t> characters = gbkCharacters();
  ASSERT_GT(characters.size(), 21000u);
  std::string alone;     // one a line: each character's own conversion
  std::string together;  // side by side, so that the phrases among them meet too
  for (const char32_t cp : characters) {
    appendUtf8(cp, alone);
    alone += '\n';
    appendUtf8(cp, together);
  }
  for (const bool toTraditional : {true, false}) {
    expectSameAsOpencc(alone, toTraditional, "GBK characters one a line");
    expectSameAsOpencc(together, toTraditional, "GBK characters in a row");
  }
}

TEST(ChineseConvertReference, EveryKeyOfTheDictionariesConvertsAsInOpencc) {
  for (const bool toTraditional : {true, false}) {
    const std::vector<std::string>& keys = reference(toTraditional).keys;
    ASSERT_GT(keys.size(), toTraditional ? 40000u : 4000u);
    std::string alone;
    std::string together;  // one key running into the next: the longest match decides where each ends
    for (const std::string& key : keys) {
      alone += key + "\n";
      together += key;
    }
    expectSameAsOpencc(alone, toTraditional, "keys one a line");
    expectSameAsOpencc(together, toTraditional, "keys in a row");
  }
}

TEST(ChineseConvertReference, ALargeMixedTextConvertsAsInOpencc) {
  // Keys of both directions, GBK characters, ASCII and punctuation in random order and lines of
  // random length; more than a megabyte, so that the internal text is converted in ranges on
  // several threads.
  std::mt19937 random(20240);
  const std::vector<char32_t> characters = gbkCharacters();
  const std::vector<std::string>& simplifiedKeys = reference(true).keys;
  const std::vector<std::string>& traditionalKeys = reference(false).keys;
  auto pick = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(random); };
  const std::string ascii[] = {" ", "abc", "42", ",", ".", "\t", "x-y"};
  std::string text;
  while (text.size() < 3'000'000) {
    const int parts = std::uniform_int_distribution<int>(0, 30)(random);
    for (int i = 0; i < parts; ++i) {
      switch (pick(8)) {
        case 0:
        case 1: text += simplifiedKeys[pick(simplifiedKeys.size())]; break;
        case 2: text += traditionalKeys[pick(traditionalKeys.size())]; break;
        case 3: text += ascii[pick(std::size(ascii))]; break;
        default: appendUtf8(characters[pick(characters.size())], text);
      }
    }
    text += pick(3) == 0 ? "\r\n" : "\n";
  }
  expectSameAsOpencc(text, true, "mixed text");
  expectSameAsOpencc(text, false, "mixed text");
}

// Keys of both directions back to back as internal text, with no byte below 0x30 for far longer than
// a stream holds such a stretch, then lines of keys, GBK characters, ASCII and punctuation.
std::string streamSample() {
  std::mt19937 random(31);
  const std::vector<std::string>* keys[] = {&reference(true).keys, &reference(false).keys};
  const std::vector<char32_t> characters = gbkCharacters();
  auto pick = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(random); };
  auto appendKey = [&](std::string& text, size_t fewest) {
    const std::vector<std::string>& list = *keys[pick(2)];
    std::vector<char32_t> key;
    do key = codePointsOf(list[pick(list.size())]);
    while (key.size() < fewest);
    for (const char32_t cp : key) appendGb18030(cp, text);
  };
  // Long keys, so that a phrase often reaches over any place a stream may cut.
  std::string text;
  while (text.size() < 200'000) appendKey(text, 4);
  while (text.size() < 400'000) {
    switch (pick(6)) {
      case 0: text += pick(2) == 0 ? "\r\n" : " 42,"; break;
      case 1: appendGb18030(characters[pick(characters.size())], text); break;
      default: appendKey(text, 1);
    }
  }
  return text;
}

TEST(ChineseStream, TextInPiecesOfAnySizeConvertsAsTheWholeText) {
  using Step = ChineseStream::Step;
  const std::string simplified = streamSample();
  const std::string traditional = ToTraditional(simplified);
  const std::string big5 = GbkToBig5(traditional);
  struct Case {
    const char* name;
    std::vector<Step> steps;
    const std::string& source;
    std::string want;
  };
  const Case cases[] = {
      {"to traditional", {Step::ToTraditional}, simplified, traditional},
      {"to simplified", {Step::ToSimplified}, traditional, ToSimplified(traditional)},
      {"to traditional BIG5", {Step::ToTraditional, Step::GbkToBig5}, simplified, big5},
      {"BIG5 to simplified", {Step::Big5ToGbk, Step::ToSimplified}, big5, ToSimplified(Big5ToGbk(big5))},
      {"BIG5 to GBK", {Step::Big5ToGbk}, big5, Big5ToGbk(big5)},
      {"no step", {}, simplified, simplified},
  };
  std::mt19937 random(5);
  for (const Case& c : cases) {
    // 0 stands for pieces of random sizes.
    for (const size_t piece : {size_t{1}, size_t{3}, size_t{4096}, size_t{70'000}, size_t{0}}) {
      ChineseStream stream(c.steps);
      std::string got;
      for (size_t at = 0; at < c.source.size();) {
        const size_t n = piece != 0 ? piece : std::uniform_int_distribution<size_t>(1, 100'000)(random);
        stream.put(std::string_view(c.source).substr(at, n), got);
        at += n;
      }
      stream.put({}, got, true);
      EXPECT_TRUE(got == c.want) << c.name << ", pieces of " << piece << " bytes";
    }
  }
  // The same stream, given the whole text at once and told it ends, converts it whole.
  std::string whole;
  ChineseStream({Step::ToTraditional}).put(simplified, whole, true);
  EXPECT_TRUE(whole == traditional);
}

}  // namespace
}  // namespace chengling
