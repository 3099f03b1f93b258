#include "tools/csv_table/csv_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "foundation/charset_conversion.h"

namespace chengling {
namespace {

using Fields = std::vector<std::string>;

// Two GBK characters whose second byte is 5C, which the reader takes as a backslash.
const std::string kEscapeA = "\x81\x5C";
const std::string kEscapeB = "\xDF\x5C";

std::string utf8Of(std::string_view internal) { return ConvertCharset(internal, "GB18030", "UTF-8"); }
std::string internalOf(std::string_view utf8) { return ConvertCharset(utf8, "UTF-8", "GB18030"); }

// Every record of `text`, in order, read one after the other.
struct Reading {
  std::vector<Fields> records;
  std::vector<size_t> starts;  // where each record starts
  int unclosed = 0;
};

Reading readAll(std::string text, bool utf8) {
  Reading reading;
  std::vector<std::string_view> fields;
  for (size_t pos = 0; pos < text.size();) {
    const CsvRecordEnd end = readCsvRecord(text.data(), text.size(), pos, utf8, fields);
    EXPECT_GT(end.next, pos);
    if (end.next <= pos) break;
    reading.starts.push_back(pos);
    reading.records.emplace_back(fields.begin(), fields.end());
    reading.unclosed += end.unclosedQuote ? 1 : 0;
    pos = end.next;
  }
  return reading;
}

TEST(CsvRecord, ReadsWhatSpreadsheetsWriteAndTheOlderForms) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<Fields> records;
    int unclosed = 0;
  };
  const Case kCases[] = {
      {"doubled quotes", "\"他说\"\"好的\"\"\",x\r\n", {{"他说\"好的\"", "x"}}},
      {"only quotes", "\"\"\"\",\"\"\"\"\"\"\n", {{"\"", "\"\""}}},
      {"a line break in quotes", "1,\"第一行\n第二行\",3\r\n4,5,6\r\n", {{"1", "第一行\n第二行", "3"}, {"4", "5", "6"}}},
      {"CR LF in quotes", "\"a\r\nb\"\r\n", {{"a\r\nb"}}},
      {"a quoted field of line breaks", "\"\n\n\",x\n", {{"\n\n", "x"}}},
      {"a comma in quotes", "\"1,234.50\",中文\n", {{"1,234.50", "中文"}}},
      {"a quote in an unquoted field", "it's,x\nab\"cd\",e\n", {{"it's", "x"}, {"ab\"cd\"", "e"}}},
      {"bytes after the closing quote", "\"a\"xyz,b\n\"a\"\\,c\n", {{"axyz", "b"}, {"a\\", "c"}}},
      {"bytes after, then a doubled quote", "\"a\"b\"\"c,d\n", {{"ab\"\"c", "d"}}},
      {"an unclosed double quote", "x,\"open,a\nb,c\n", {{"x", "\"open", "a"}, {"b", "c"}}, 1},
      {"a quote closed on a later line", "\"a\nb\",c\nd\n", {{"a\nb", "c"}, {"d"}}},
      {"apostrophes quote", "'a,b',c\n'say \"hi\"',x\n", {{"a,b", "c"}, {"say \"hi\"", "x"}}},
      {"a doubled apostrophe", "'it''s',x\n", {{"it's", "x"}}},
      {"an apostrophe ends with its line", "'open,a\nb'\n", {{"'open", "a"}, {"b'"}}, 1},
      {"an escaped quote stays", "\"a\\\"b\",c\n", {{"a\\\"b", "c"}}},
      {"an escaped comma stays", "a\\,b,c\n", {{"a\\,b", "c"}}},
      {"an escaped quote before a doubled one", "\"a\\\"\"\"b\"\n", {{"a\\\"\"b"}}},
      {"a trailing comma", "a,\r\n,\n", {{"a"}, {""}}},
      {"empty lines", "\n\r\nx\n", {{}, {}, {"x"}}},
      {"an escaped last byte drops the field", "a,b\\c\n", {{"a"}}},
      {"a CR without LF at the end", "a,\r", {{"a", "\r"}}},
      {"a 5C character escapes the quote", kEscapeA + "\"x\",y\n", {{kEscapeA + "\"x\"", "y"}}},
      {"... and takes the closing quote", "\"" + kEscapeA + "\",b\n", {{"\"" + kEscapeA + "\"", "b"}}, 1},
  };
  for (const Case& c : kCases) {
    const Reading reading = readAll(c.text, false);
    EXPECT_EQ(reading.records, c.records) << c.name;
    EXPECT_EQ(reading.unclosed, c.unclosed) << c.name;
    // The same text in UTF-8 reads the same.
    Reading utf8 = readAll(utf8Of(c.text), true);
    for (Fields& record : utf8.records) {
      for (std::string& field : record) field = internalOf(field);
    }
    EXPECT_EQ(utf8.records, c.records) << c.name << " in UTF-8";
    EXPECT_EQ(utf8.unclosed, c.unclosed) << c.name << " in UTF-8";
  }
}

// The reading of one line before fields could hold quotes and line breaks, straight from its rules:
// one pass over the bytes with a skip flag, the quote state and the last closing quote. `touched`
// tells whether the line has anything that reads differently now: a doubled quote, a quote that
// opens inside a field, bytes after a closing quote, a quote never closed.
struct OldReading {
  Fields fields;
  bool touched = false;
};

OldReading oldReading(std::string_view line) {
  const size_t n = line.size();
  auto byteAt = [&](size_t p) { return static_cast<unsigned char>(line[(p == 0 ? 1 : p) - 1]); };
  OldReading r;
  bool skip = false, inQuote = false, fieldStart = true;
  int quote = -1, lastClose = -1;
  size_t start = 0;
  auto field = [&](size_t from, size_t to) {
    r.fields.emplace_back(line.substr(std::min(from, n), to > from + 1 ? to - from - 1 : 0));
  };
  for (size_t p = 1; p <= n; ++p) {
    const auto b = static_cast<unsigned char>(line[p - 1]);
    if (skip) {
      skip = false;
      fieldStart = false;
      continue;
    }
    if (!inQuote && (b == '"' || b == '\'')) quote = b;
    if (quote != -1 && b == quote) {
      if (!inQuote) {
        r.touched |= !fieldStart;
        inQuote = true;
        start = p;
      } else {
        inQuote = false;
        lastClose = quote;
        quote = -1;
        field(start, p);
        r.touched |= p < n && line[p] != ',';  // a doubled quote, or bytes after the closing one
      }
      fieldStart = false;
    } else if (quote == -1 && !inQuote && (b == ',' || p == n)) {
      const size_t end = p == n && b != ',' ? n + 1 : p;
      if (byteAt(start) == lastClose) {
        start = end;
      } else {
        field(start, end);
        start = p;
      }
      fieldStart = b == ',';
    } else {
      if (b == '\\') skip = true;
      fieldStart = false;
    }
  }
  r.touched |= inQuote;
  return r;
}

TEST(CsvRecord, ReadsEveryLineThatNoNewRuleTouchesAsBefore) {
  const std::vector<std::string> pieces = {"a", "b", ",", ",", "\"", "'", "\\", "中", kEscapeA, kEscapeB, " ", "\r"};
  std::mt19937 random(251);
  int untouched = 0;
  for (int i = 0; i < 60000; ++i) {
    std::string line;
    const int length = static_cast<int>(random() % 11);
    for (int k = 0; k < length; ++k) line += pieces[random() % pieces.size()];
    const OldReading old = oldReading(line);
    if (old.touched) continue;
    ++untouched;
    ASSERT_EQ(csvRecordFields(line, false), old.fields) << line;
    Fields utf8;
    for (const std::string& f : csvRecordFields(utf8Of(line), true)) utf8.push_back(internalOf(f));
    ASSERT_EQ(utf8, old.fields) << line << " in UTF-8";
  }
  EXPECT_GT(untouched, 20000);
}

// Cells of every awkward kind: quotes, apostrophes, backslashes and characters ending in 5C (also at
// the end, where an escape would take the closing quote), commas, line breaks, Chinese.
std::string randomCell(std::mt19937& random) {
  static const std::vector<std::string> pieces = {
      "a", "\"", "\"\"", "'", "\\", "\\\\", ",", "\n", "\r\n", "\r", "中", "，", kEscapeA, kEscapeB, " ", "x"};
  std::string cell;
  const int length = static_cast<int>(random() % 7);
  for (int k = 0; k < length; ++k) cell += pieces[random() % pieces.size()];
  return cell;
}

TEST(CsvRecord, QuotedFieldsReadBackAsTheCellsTheyWereWrittenFrom) {
  std::mt19937 random(7);
  for (bool utf8 : {false, true}) {
    for (int round = 0; round < 300; ++round) {
      std::vector<Fields> table;
      std::string text;
      const int rows = 1 + static_cast<int>(random() % 6);
      const int columns = 1 + static_cast<int>(random() % 4);
      for (int r = 0; r < rows; ++r) {
        Fields row;
        for (int c = 0; c < columns; ++c) {
          row.push_back(utf8 ? utf8Of(randomCell(random)) : randomCell(random));
          if (c > 0) text += ',';
          appendQuotedField(row.back(), utf8, text);
        }
        text += "\r\n";
        table.push_back(row);
      }
      const Reading reading = readAll(text, utf8);
      ASSERT_EQ(reading.records, table) << (utf8 ? "UTF-8: " : "internal: ") << text;
      EXPECT_EQ(reading.unclosed, 0);
    }
  }
}

TEST(CsvRecord, WritesOnlyWhatACellNeeds) {
  struct Case {
    std::string cell;
    std::string want;
  };
  const Case kCases[] = {
      {"", "\"\""},
      {"中文,1", "\"中文,1\""},
      {"他说\"好\"", "\"他说\"\"好\"\"\""},
      {"a\nb", "\"a\nb\""},
      {"a\\\"b", "\"a\\\"b\""},             // an escaped quote is taken literally: not doubled
      {"a\\\\\"b", "\"a\\\\\"\"b\""},       // after an escaped backslash it is doubled
      {"end\\", "\"end\"\\"},                // the escape would take the closing quote
      {"end" + kEscapeA, "\"end\"" + kEscapeA},
      {"\\", "\"\"\\"},
  };
  for (const Case& c : kCases) {
    std::string out;
    appendQuotedField(c.cell, false, out);
    EXPECT_EQ(out, c.want) << c.cell;
    EXPECT_EQ(quotedFieldNeedsEscape(c.cell, false), out != "\"" + c.cell + "\"") << c.cell;
  }
}

// A text cut where csvRecordStartAfter says reads in two parts exactly as it reads whole.
TEST(CsvRecord, ATextCutWhereARecordSurelyStartsReadsTheSameInTwoParts) {
  std::mt19937 random(99);
  const std::vector<std::string> raw = {"\"", "'", "x", ",", "\\", "\"\"", "\n", "中", kEscapeA};
  for (bool utf8 : {false, true}) {
    for (int round = 0; round < 200; ++round) {
      // Well-formed rows, with now and then a stray quote, escape or line of raw bytes among them.
      std::string text;
      const int rows = 2 + static_cast<int>(random() % 12);
      for (int r = 0; r < rows; ++r) {
        if (random() % 4 == 0) {
          for (int k = static_cast<int>(random() % 5); k >= 0; --k) text += raw[random() % raw.size()];
        } else {
          for (int c = 0; c < 3; ++c) {
            if (c > 0) text += ',';
            appendQuotedField(randomCell(random), false, text);
          }
        }
        text += random() % 2 ? "\r\n" : "\n";
      }
      if (utf8) text = utf8Of(text);
      const Reading whole = readAll(text, utf8);
      for (size_t from = 0; from < text.size(); ++from) {
        if (from > 0 && text[from - 1] != '\n') continue;  // line starts only
        const size_t cut = csvRecordStartAfter(text.data(), text.size(), from, utf8);
        ASSERT_GE(cut, from);
        if (cut == text.size()) continue;
        ASSERT_NE(std::find(whole.starts.begin(), whole.starts.end(), cut), whole.starts.end())
            << "a record starts at " << cut << " of " << text;
        Reading first = readAll(text.substr(0, cut), utf8);
        const Reading second = readAll(text.substr(cut), utf8);
        first.records.insert(first.records.end(), second.records.begin(), second.records.end());
        ASSERT_EQ(first.records, whole.records) << "cut at " << cut << " of " << text;
        EXPECT_EQ(first.unclosed + second.unclosed, whole.unclosed);
      }
    }
  }
}

TEST(CsvRecord, SkippingFindsTheSameEndsAsReading) {
  const std::string text = "a,\"b\nc\",d\n'e,f\ng\"h,\"\"\"\"\n\"never closed\nx\n";
  const Reading reading = readAll(text, false);
  std::vector<size_t> starts;
  for (size_t pos = 0; pos < text.size(); pos = skipCsvRecord(text.data(), text.size(), pos, false).next) {
    starts.push_back(pos);
  }
  EXPECT_EQ(starts, reading.starts);
  EXPECT_EQ(reading.records.size(), 5u);
}

}  // namespace
}  // namespace chengling
