#include "tools/csv_table/csv_filter_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/charset_conversion.h"
#include "support/test_support.h"
#include "tools/csv_table/csv_text.h"

namespace chengling {
namespace {

using testing::gb;
using testing::hex;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// Column, test and value as internal text; turned into a RowFilter once the titles are known, as the
// command line does.
struct Where {
  int32_t column;
  FilterTest test;
  std::string value;
};

std::function<bool(const TableModel&, RowFilter&)> conditionsOf(std::vector<Where> wheres, FilterJoin join) {
  return [wheres, join](const TableModel& titles, RowFilter& filter) {
    filter.join = join;
    for (const Where& w : wheres) {
      if (w.column > titles.ColumnCount()) return false;
      filter.conditions.push_back({w.column, w.test, w.value});
    }
    return true;
  };
}

// What the way through the table writes: import, filter, export.
std::string throughTable(const std::string& input, const std::string& output, bool numbered,
                         const std::function<bool(const TableModel&, RowFilter&)>& conditions) {
  PlainRunContext ctx;
  TableModel table;
  const CsvImportOutcome outcome = ImportCsvFiles({{input}, numbered}, table, ctx);
  RowFilter filter;
  EXPECT_TRUE(conditions(table, filter));
  std::vector<int32_t> kept;
  EXPECT_TRUE(filterRows(table, filter, kept, ctx));
  table.showRows(std::move(kept));
  EXPECT_TRUE(ExportCsv(table, output, outcome.encoding));
  return readBytes(output);
}

// The table in GBK: quoted fields with commas, line breaks and doubled quotes, an apostrophe that
// never closes, empty cells and lines, a short and a long row, 丄 (81 41, a second byte "A").
const std::string kGbkTable = gb(u8"名称,数量,备注\r\n") +
                              gb(u8"苹果,10,\"红色, 大\"\r\n") +
                              gb(u8"香蕉,9.5,\r\n") +
                              "\r\n" +
                              gb(u8"\"梨\n子\",600,\"他说\"\"好\"\"\"\r\n") +
                              "apple,1e3,'x\r\n" +
                              gb(u8"中文A,abc\r\n") +
                              "\x81\x41,501,a,b,c\r\n" +
                              ",,\r\n" +
                              "x\\,y,700,\"q\"tail\r\n" +
                              gb(u8"末行,-2,没有换行");

// Every condition kind, and both joins.
const std::vector<std::pair<std::vector<Where>, FilterJoin>> kFilters = {
    {{{2, FilterTest::Greater, "500"}}, FilterJoin::All},
    {{{2, FilterTest::Less, "10"}}, FilterJoin::All},
    {{{1, FilterTest::Contains, gb(u8"果")}}, FilterJoin::All},
    {{{1, FilterTest::NotContains, "A"}}, FilterJoin::All},
    {{{1, FilterTest::Equals, "apple"}}, FilterJoin::All},
    {{{3, FilterTest::NotEquals, ""}}, FilterJoin::All},
    {{{3, FilterTest::Empty, ""}}, FilterJoin::All},
    {{{3, FilterTest::NotEmpty, ""}}, FilterJoin::All},
    {{{2, FilterTest::Greater, "0"}, {3, FilterTest::Contains, gb(u8"好")}}, FilterJoin::All},
    {{{2, FilterTest::Less, "0"}, {1, FilterTest::Contains, "x"}}, FilterJoin::Any},
};

TEST(CsvFilterStream, WritesTheBytesOfTheTableWayForEveryCaseAndPieceSize) {
  struct Source {
    const char* name;
    std::string bytes;
  };
  const std::string utf8 = ConvertCharset(kGbkTable, "GB18030", "UTF-8");
  const Source kSources[] = {
      {"gbk", kGbkTable},
      {"utf8", utf8},
      {"utf8 marked", "\xEF\xBB\xBF" + utf8},
      {"lf only", ConvertCharset(gb(u8"名称,数量,备注\n甲,600,x\n乙,5,\n\"丙\r\n丁\",700,好\n"), "GB18030", "UTF-8")},
      {"blank lines first", "\n\r\n" + gb(u8"名称,数量,备注\n甲,600,x\n")},
      {"titles only", gb(u8"名称,数量,备注\r\n")},
      {"ascii", "name,n,note\r\na,600,\"x,y\"\r\nb,2,\r\n"},
  };
  TempDir dir;
  int checked = 0;
  for (const Source& source : kSources) {
    writeBytes(dir / "in.csv", source.bytes);
    for (const auto& [wheres, join] : kFilters) {
      for (bool numbered : {false, true}) {
        for (const char* extension : {".csv", ".txt"}) {
          const auto conditions = conditionsOf(wheres, join);
          const std::string want = throughTable(dir / "in.csv", dir / (std::string("table") + extension), numbered,
                                                conditions);
          for (size_t readSize : {size_t{16}, size_t{23}, size_t{1} << 20}) {
            SCOPED_TRACE(std::string(source.name) + extension + (numbered ? " numbered" : "") + " read " +
                         std::to_string(readSize) + " first test " + std::to_string(static_cast<int>(wheres[0].test)));
            const std::string out = dir / (std::string("stream") + extension);
            PlainRunContext ctx;
            const CsvStreamOutcome outcome =
                filterCsvStream({dir / "in.csv", out, numbered, conditions, readSize}, ctx);
            ASSERT_EQ(outcome.result, CsvStreamResult::Written);
            EXPECT_EQ(hex(readBytes(out)), hex(want));
            ++checked;
          }
        }
      }
    }
  }
  EXPECT_EQ(checked, 7 * 10 * 2 * 2 * 3);
}

TEST(CsvFilterStream, AnUnclosedQuoteIsCountedAndWarnedOnce) {
  TempDir dir;
  // An apostrophe that never closes on its line, and a double quote that never closes at all.
  writeBytes(dir / "in.csv", "a,b\r\n'x,1\r\ny,2\r\n\"z,3\r\nw,4\r\n");
  const auto conditions = conditionsOf({{2, FilterTest::NotEmpty, ""}}, FilterJoin::All);
  const std::string want = throughTable(dir / "in.csv", dir / "t.csv", false, conditions);
  for (size_t readSize : {size_t{16}, size_t{1} << 20}) {
    PlainRunContext ctx;
    const CsvStreamOutcome outcome = filterCsvStream({dir / "in.csv", dir / "s.csv", false, conditions, readSize}, ctx);
    ASSERT_EQ(outcome.result, CsvStreamResult::Written);
    EXPECT_EQ(readBytes(dir / "s.csv"), want);
    EXPECT_EQ(outcome.unclosedQuoteLines, 2);
    ASSERT_EQ(ctx.warnings.size(), 1u);
    EXPECT_EQ(ctx.warnings[0].reason, csvUnclosedQuoteNote(2));
  }
}

TEST(CsvFilterStream, LeavesToTheTableWhatItCannotWriteTheSame) {
  TempDir dir;
  const auto conditions = conditionsOf({{1, FilterTest::NotEmpty, ""}}, FilterJoin::All);
  const std::string utf16 = "\xFF\xFE" + ConvertCharset("a,b\r\n1,2\r\n", "UTF-8", "UTF-16LE");
  struct Case {
    const char* why;
    std::string bytes;
    std::function<bool(const TableModel&, RowFilter&)> conditions;
  };
  const Case kCases[] = {
      {"UTF-16", utf16, conditions},
      {"gzip", std::string("\x1F\x8B\x08\x00", 4), conditions},
      {"a charset declared in a meta tag", "a,b\r\n<meta charset=Big5>,2\r\n", conditions},
      {"no titles at all", "\r\n\n", conditions},
      {"a column that is not there", "a,b\r\n1,2\r\n", conditionsOf({{3, FilterTest::Empty, ""}}, FilterJoin::All)},
      {"a mark and nothing after it", "\xEF\xBB\xBF", conditions},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.why);
    writeBytes(dir / "in.csv", c.bytes);
    writeBytes(dir / "out.csv", "before");
    PlainRunContext ctx;
    EXPECT_EQ(filterCsvStream({dir / "in.csv", dir / "out.csv", false, c.conditions, 16}, ctx).result,
              CsvStreamResult::NotStreamed);
    EXPECT_EQ(readBytes(dir / "out.csv"), "before");
  }
  // The first bytes are ASCII, so the file starts as GBK; later bytes decide. GBK bytes bear that
  // out; UTF-8 ones make the whole file UTF-8, which the streamed run learns only at the end.
  std::string ascii = "a,b\r\n";
  for (int i = 0; i < 20000; ++i) ascii += "xxxxxxxxx,1\r\n";
  writeBytes(dir / "in.csv", ascii + gb(u8"甲,2\r\n"));
  PlainRunContext ctx;
  ASSERT_EQ(filterCsvStream({dir / "in.csv", dir / "out.csv", false, conditions, 4096}, ctx).result,
            CsvStreamResult::Written);
  EXPECT_EQ(readBytes(dir / "out.csv"), throughTable(dir / "in.csv", dir / "t.csv", false, conditions));
  writeBytes(dir / "in.csv", ascii + testing::utf8(u8"甲,2\r\n"));
  writeBytes(dir / "out.csv", "before");
  EXPECT_EQ(filterCsvStream({dir / "in.csv", dir / "out.csv", false, conditions, 4096}, ctx).result,
            CsvStreamResult::NotStreamed);
  EXPECT_EQ(readBytes(dir / "out.csv"), "before");
}

// Pieces of a megabyte and more are read on two cores, cut at a record start.
TEST(CsvFilterStream, ALargeFileReadOnTwoCoresGivesTheSameBytes) {
  TempDir dir;
  std::string text = gb(u8"编号,姓名,数量,备注\r\n");
  uint32_t seed = 7;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8) % 1000; };
  for (int i = 0; i < 60000; ++i) {
    text += std::to_string(i) + gb(u8",张三,") + std::to_string(static_cast<int>(next()) - 500);
    switch (next() % 4) {
      case 0: text += ",\"a,b\"\r\n"; break;
      case 1: text += gb(u8",\"多\r\n行\"\"好\"\"\"\r\n"); break;
      case 2: text += ",plain\n"; break;
      default: text += "\r\n"; break;
    }
  }
  const std::string utf8 = ConvertCharset(text, "GB18030", "UTF-8");
  for (const std::string& bytes : {text, utf8}) {
    writeBytes(dir / "in.csv", bytes);
    const auto conditions = conditionsOf({{3, FilterTest::Greater, "100"}}, FilterJoin::All);
    const std::string want = throughTable(dir / "in.csv", dir / "t.csv", false, conditions);
    for (size_t readSize : {size_t{1} << 20, size_t{16} << 20}) {
      PlainRunContext ctx;
      ASSERT_EQ(filterCsvStream({dir / "in.csv", dir / "s.csv", false, conditions, readSize}, ctx).result,
                CsvStreamResult::Written);
      EXPECT_TRUE(readBytes(dir / "s.csv") == want) << "read size " << readSize;
    }
  }
}

TEST(CsvFilterStream, AStopWritesNothing) {
  TempDir dir;
  std::string big = "a,b\r\n";
  for (int i = 0; i < 100000; ++i) big += "x,1\r\n";
  writeBytes(dir / "in.csv", big);
  PlainRunContext ctx;
  ctx.requestStop();
  const auto conditions = conditionsOf({{2, FilterTest::Greater, "0"}}, FilterJoin::All);
  EXPECT_EQ(filterCsvStream({dir / "in.csv", dir / "out.csv", false, conditions, 4096}, ctx).result,
            CsvStreamResult::Stopped);
  EXPECT_FALSE(testing::exists(dir / "out.csv"));
}

}  // namespace
}  // namespace chengling
