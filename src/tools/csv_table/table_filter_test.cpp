#include "tools/csv_table/table_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/charset_conversion.h"
#include "support/test_support.h"
#include "tools/csv_table/csv_text.h"
#include "tools/csv_table/table_sort.h"

namespace chengling {
namespace {

using testing::TempDir;
using testing::writeBytes;
using Rows = std::vector<int32_t>;

// 丄 is the bytes 81 41: its second byte is "A", which no search for "A" may find.
const std::string kTrailA = "\x81\x41";

// One table, saved as GBK and as UTF-8 (whose rows the table keeps as UTF-8 bytes): every filter and
// find must give the same rows for both.
const std::string kTable = "名称,数量,备注\r\n"
                           "苹果,10,红色\r\n"
                           "香蕉,9.5,\r\n"
                           "apple,100,Red\r\n"
                           "Apple,-3,red apple\r\n"
                           "梨,abc,\"" + kTrailA + "\"\r\n"
                           "中文A,1e3,10\r\n"
                           "苹果汁,99999999999999999999,1\r\n";

struct Tables {
  TempDir dir;
  TableModel gbk;
  TableModel utf8;
  Tables() {
    writeBytes(dir / "gbk.csv", kTable);
    writeBytes(dir / "utf8.csv", "\xEF\xBB\xBF" + ConvertCharset(kTable, "GB18030", "UTF-8"));
    PlainRunContext ctx;
    ImportCsvFiles({{dir / "gbk.csv"}, false}, gbk, ctx);
    ImportCsvFiles({{dir / "utf8.csv"}, false}, utf8, ctx);
  }
};

Rows passing(const TableModel& table, const RowFilter& filter) {
  PlainRunContext ctx;
  std::vector<int32_t> out;
  EXPECT_TRUE(filterRows(table, filter, out, ctx));
  for (int32_t& index : out) ++index;  // as row numbers
  return out;
}

TEST(TableFilter, EachConditionKeepsItsRowsInBothEncodings) {
  Tables tables;
  ASSERT_EQ(tables.gbk.RowCount(), 7);
  ASSERT_EQ(tables.utf8.RowCount(), 7);
  ASSERT_TRUE(tables.utf8.rowIsUtf8(1));
  struct Case {
    int32_t column;
    FilterTest test;
    std::string value;
    Rows want;
  };
  const std::vector<Case> cases = {
      {1, FilterTest::Contains, "苹果", {1, 7}},
      {1, FilterTest::Contains, "果汁", {7}},
      {1, FilterTest::Contains, "pp", {3, 4}},
      {1, FilterTest::Contains, "A", {4, 6}},  // letter case counts
      {3, FilterTest::Contains, "A", {}},      // not the second byte of 丄
      {3, FilterTest::Contains, kTrailA, {5}},
      {1, FilterTest::NotContains, "苹果", {2, 3, 4, 5, 6}},
      {1, FilterTest::Equals, "苹果", {1}},
      {3, FilterTest::Equals, "", {2}},
      {1, FilterTest::NotEquals, "苹果", {2, 3, 4, 5, 6, 7}},
      // The number rule of 按数值排序: 9.5 and 1e3 are numbers, "abc" is 0, any number of digits.
      {2, FilterTest::Greater, "9.5", {1, 3, 6, 7}},
      {2, FilterTest::Greater, "99999999999999999998", {7}},
      {2, FilterTest::Less, "9.5", {4, 5}},
      {2, FilterTest::Less, "０", {4}},  // full-width digits count as ASCII
      {2, FilterTest::Greater, "-3.5", {1, 2, 3, 4, 5, 6, 7}},
      {3, FilterTest::Greater, "9", {6}},
      {3, FilterTest::Empty, "", {2}},
      {3, FilterTest::NotEmpty, "", {1, 3, 4, 5, 6, 7}},
      {9, FilterTest::Empty, "", {1, 2, 3, 4, 5, 6, 7}},  // beyond the row's cells
  };
  for (const Case& c : cases) {
    const RowFilter filter{{{c.column, c.test, c.value}}, FilterJoin::All};
    const std::string name = std::string(kFilterTestNames[static_cast<int>(c.test)]) + " " + c.value;
    EXPECT_EQ(passing(tables.gbk, filter), c.want) << "GBK: column " << c.column << " " << name;
    EXPECT_EQ(passing(tables.utf8, filter), c.want) << "UTF-8: column " << c.column << " " << name;
  }
}

TEST(TableFilter, ConditionsCombineWithAllOrAny) {
  Tables tables;
  const FilterCondition apple{1, FilterTest::Contains, "pple"};
  const FilterCondition big{2, FilterTest::Greater, "50"};
  const FilterCondition chinese{1, FilterTest::Contains, "苹果"};
  for (const TableModel* table : {&tables.gbk, &tables.utf8}) {
    EXPECT_EQ(passing(*table, {{apple, big}, FilterJoin::All}), (Rows{3}));
    EXPECT_EQ(passing(*table, {{apple, big}, FilterJoin::Any}), (Rows{3, 4, 6, 7}));
    EXPECT_EQ(passing(*table, {{chinese, big, apple}, FilterJoin::Any}), (Rows{1, 3, 4, 6, 7}));
    EXPECT_EQ(passing(*table, {{}, FilterJoin::Any}), (Rows{1, 2, 3, 4, 5, 6, 7}));
  }
}

TEST(TableFilter, ShownRowsFollowAWholeTableSortAndClearingRestoresItsOrder) {
  Tables tables;
  TableModel& table = tables.gbk;
  PlainRunContext ctx;
  std::vector<int32_t> kept;
  ASSERT_TRUE(filterRows(table, {{{2, FilterTest::Greater, "5"}}, FilterJoin::All}, kept, ctx));
  table.showRows(kept);
  EXPECT_TRUE(table.filtered());
  EXPECT_EQ(table.RowCount(), 5);
  EXPECT_EQ(table.tableRowCount(), 7);
  EXPECT_EQ(exportText(table, false),
            "名称,数量,备注\r\n苹果,10,红色\r\n香蕉,9.5,\r\napple,100,Red\r\n中文A,1e3,10\r\n"
            "苹果汁,99999999999999999999,1\r\n");
  EXPECT_EQ(copyText(table).rfind("\"苹果\",\"10\",\"红色\"\r\n\"香蕉\"", 0), 0u);
  EXPECT_EQ(table.tableIndex(4), 5);

  // Ascending by number: the sort orders all rows, hidden ones too; the shown ones follow.
  SortRows(table, 2, SortDirection::Ascending, SortOrder::Number);
  EXPECT_EQ(table.RowCount(), 5);
  EXPECT_EQ(exportText(table, false),
            "名称,数量,备注\r\n香蕉,9.5,\r\n苹果,10,红色\r\napple,100,Red\r\n中文A,1e3,10\r\n"
            "苹果汁,99999999999999999999,1\r\n");
  applyRowOrder(table, sortedRowOrder(table, 1, SortOrder::Codes, SortDirection::Descending));
  EXPECT_EQ(table.GetCell(1, 1), "中文A");
  EXPECT_EQ(table.GetCell(5, 1), "apple");

  table.showAllRows();
  EXPECT_FALSE(table.filtered());
  EXPECT_EQ(table.RowCount(), 7);
  // The whole table in the order of the last sort (codes, descending), hidden rows included.
  std::vector<std::string> names;
  for (int32_t r = 1; r <= table.RowCount(); ++r) names.push_back(table.GetCell(r, 1));
  EXPECT_EQ(names, (std::vector<std::string>{"中文A", "香蕉", "苹果汁", "苹果", "梨", "apple", "Apple"}));
}

TEST(TableFilter, AStoppedFilterSaysSo) {
  Tables tables;
  PlainRunContext ctx;
  ctx.requestStop();
  std::vector<int32_t> out;
  EXPECT_FALSE(filterRows(tables.gbk, {{{1, FilterTest::NotEmpty, ""}}, FilterJoin::All}, out, ctx));
  std::vector<CellMatch> matches;
  TableModel big;
  big.AddColumn("a");
  for (int i = 0; i < 10000; ++i) big.AddRow(std::vector<std::string>{"x"});
  EXPECT_FALSE(findCells(big, {"x", false}, matches, ctx));
  EXPECT_LT(matches.size(), 10000u);
}

// A large table is filtered in two halves: the rows come back whole and in table order.
TEST(TableFilter, ALargeTableGivesTheSameRowsAsARowByRowCheck) {
  TableModel table;
  table.AddColumn("n");
  table.AddColumn("t");
  const int32_t kRows = 300001;
  for (int32_t i = 0; i < kRows; ++i) table.AddRow({std::to_string((int64_t{i} * 7919) % 1000), i % 3 == 0 ? "" : "x"});
  PlainRunContext ctx;
  std::vector<int32_t> out;
  const RowFilter filter{{{1, FilterTest::Greater, "990"}, {2, FilterTest::Empty, ""}}, FilterJoin::All};
  ASSERT_TRUE(filterRows(table, filter, out, ctx));
  std::vector<int32_t> want;
  for (int32_t i = 0; i < kRows; ++i) {
    if ((int64_t{i} * 7919) % 1000 > 990 && i % 3 == 0) want.push_back(i);
  }
  EXPECT_EQ(out, want);
  EXPECT_EQ(ctx.lastPosition, kRows);

  PlainRunContext stopped;
  stopped.requestStop();
  EXPECT_FALSE(filterRows(table, filter, out, stopped));
}

TEST(TableFind, FindsTitlesAndCellsWithOrWithoutLetterCase) {
  Tables tables;
  struct Case {
    std::string text;
    bool matchCase;
    std::vector<CellMatch> want;
  };
  const std::vector<Case> cases = {
      {"名称", false, {{0, 1}}},
      {"苹果", false, {{1, 1}, {7, 1}}},
      {"apple", false, {{3, 1}, {4, 1}, {4, 3}}},
      {"apple", true, {{3, 1}, {4, 3}}},
      {"RED", false, {{3, 3}, {4, 3}}},
      {"A", true, {{4, 1}, {6, 1}}},  // never inside 丄
      {"10", false, {{1, 2}, {3, 2}, {6, 3}}},
      {"没有的", false, {}},
      {"", false, {}},
  };
  for (const Case& c : cases) {
    for (const TableModel* table : {&tables.gbk, &tables.utf8}) {
      PlainRunContext ctx;
      std::vector<CellMatch> matches;
      ASSERT_TRUE(findCells(*table, {c.text, c.matchCase}, matches, ctx));
      EXPECT_EQ(matches, c.want) << c.text << (c.matchCase ? " (case)" : "") << (table == &tables.utf8 ? " UTF-8" : "");
    }
  }
}

TEST(TableFind, FindsOnlyAmongTheRowsShown) {
  Tables tables;
  tables.utf8.showRows({2, 3});
  PlainRunContext ctx;
  std::vector<CellMatch> matches;
  ASSERT_TRUE(findCells(tables.utf8, {"apple", false}, matches, ctx));
  EXPECT_EQ(matches, (std::vector<CellMatch>{{1, 1}, {2, 1}, {2, 3}}));
}

TEST(TableFind, StepsWrapAroundAndTheTextsCount) {
  EXPECT_EQ(stepMatch(-1, 3, false), 0);
  EXPECT_EQ(stepMatch(-1, 3, true), 2);
  EXPECT_EQ(stepMatch(2, 3, false), 0);
  EXPECT_EQ(stepMatch(0, 3, true), 2);
  EXPECT_EQ(stepMatch(1, 3, false), 2);
  EXPECT_EQ(stepMatch(0, 0, false), -1);
  EXPECT_EQ(findCountText(2, 120), "第 3 处，共 120 处");
  EXPECT_EQ(findCountText(-1, 5), "共 5 处");
  EXPECT_EQ(findCountText(-1, 0), "没有找到");
  EXPECT_EQ(shownRowsText(1234, 1000000), "显示 1 234 行，共 1 000 000 行");
  EXPECT_EQ(shownRowsText(0, 999), "显示 0 行，共 999 行");
}

TEST(TableFind, BoundarySearchSkipsSecondBytes) {
  const std::string text = kTrailA + "A" + kTrailA;
  EXPECT_EQ(findOnBoundary(text, "A"), 2u);
  EXPECT_EQ(findOnBoundary(text, "A", 3), std::string_view::npos);
  EXPECT_EQ(findOnBoundary(text, kTrailA, 1), 3u);
  EXPECT_EQ(findOnBoundary("abc", ""), 0u);
}

}  // namespace
}  // namespace chengling
