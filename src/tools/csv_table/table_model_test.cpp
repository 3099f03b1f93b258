#include "tools/csv_table/table_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace chengling {
namespace {

using Fields = std::vector<std::string>;

TEST(TableRow, PackedCellsReadBackAndFit) {
  TableRow row(Fields{"a", "", "中文", "d"});
  EXPECT_EQ(row.cellCount(), 4);
  EXPECT_EQ(row.cells(), (Fields{"a", "", "中文", "d"}));
  EXPECT_EQ(row.cell(9), "");
  row.fit(2);
  EXPECT_EQ(row.cells(), (Fields{"a", ""}));
  row.fit(3);
  EXPECT_EQ(row.cells(), (Fields{"a", "", ""}));
  row.setCell(1, "mid");
  row.setCell(4, "far");
  EXPECT_EQ(row.cells(), (Fields{"a", "mid", "", "", "far"}));
  row.fit(0);
  EXPECT_EQ(row.cellCount(), 0);
  TableRow empty(Fields{""});
  EXPECT_EQ(empty.cellCount(), 1);
  EXPECT_EQ(empty.cells(), Fields{""});
}

// A NUL is a byte of a cell like any other: rows built, edited and read back keep it and what follows.
TEST(TableRow, CellsKeepTheirNulBytes) {
  using namespace std::string_literals;
  const Fields cells = {"x\0y"s, "\0"s, ""s, "\0\0z\0"s};
  TableRow row(cells);
  EXPECT_EQ(row.cellCount(), 4);
  EXPECT_EQ(row.cells(), cells);
  row.appendCell("t\0"s);
  row.setCell(1, "\0mid"s);
  EXPECT_EQ(row.cells(), (Fields{"x\0y"s, "\0mid"s, ""s, "\0\0z\0"s, "t\0"s}));
  row.fit(2);
  EXPECT_EQ(row.cells(), (Fields{"x\0y"s, "\0mid"s}));
  std::string joined;
  row.appendJoined(3, true, joined);
  EXPECT_EQ(joined, "\"x\0y\",\"\0mid\",\"\""s);

  TableModel table;
  table.AddColumn("a\0b"s);
  table.AddColumn("c");
  table.AddRow(cells, 0, true);
  table.AddRow(row);
  table.insertRow(1, TableRow(Fields{"\0first"s, "1\0"s}));
  table.SetCell(3, 2, "set\0"s);
  EXPECT_EQ(table.RowText(0, false), "a\0b,c"s);
  EXPECT_EQ(table.row(1).cells(), (Fields{"\0first"s, "1\0"s}));
  EXPECT_EQ(table.row(2).cells(), (Fields{"x\0y"s, "\0"s}));
  EXPECT_EQ(table.GetCell(3, 2), "set\0"s);
  EXPECT_EQ(table.RowText(3, true), "\"x\0y\",\"set\0\""s);
}

TEST(TableModel, ColumnAndRowOperations) {
  TableModel table;
  table.AddColumn("b");
  table.insertColumn(1, "a", 50);
  table.insertColumn(3, "c");
  ASSERT_EQ(table.ColumnCount(), 3);
  EXPECT_EQ(table.GetColumnTitle(1), "a");
  EXPECT_EQ(table.GetColumnWidth(1), 50);
  EXPECT_EQ(table.GetColumnWidth(2), 88);
  table.SetColumnTitle(3, "C");
  table.SetColumnWidth(3, 7);
  EXPECT_EQ(table.RowText(0, true), "\"a\",\"b\",\"C\"");

  table.AddRow(Fields{"1", "2", "3", "4"}, 0, true);  // fitted: the extra cell goes
  table.AddRow(Fields{"x"}, 0, true);                 // fitted: padded
  table.insertRow(1, TableRow(Fields{"first"}));       // not fitted
  ASSERT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.RowText(1, false), "first,,");
  EXPECT_EQ(table.RowText(2, false), "1,2,3");
  EXPECT_EQ(table.RowText(3, true), "\"x\",\"\",\"\"");
  table.SetCell(3, 2, "y");
  EXPECT_EQ(table.GetCell(3, 2), "y");
  table.replaceRow(1, TableRow(Fields{"r", "s", "t", "u"}), true);
  EXPECT_EQ(table.row(1).cellCount(), 3);
  table.removeRow(2);
  EXPECT_EQ(table.RowText(2, false), "x,y,");
  table.removeColumn(2);
  EXPECT_EQ(table.RowText(0, false), "a,C");

  table.firstRow = 5;
  table.firstColumn = 1;
  table.ClearRows();
  table.ClearColumns();
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_EQ(table.ColumnCount(), 0);
  EXPECT_EQ(table.firstRow, 0);
  EXPECT_EQ(table.firstColumn, 0);
}

TEST(TableModel, RowsOfEverySizeKeepCellsAndIconsThroughReorders) {
  struct Case {
    int32_t count;
    size_t cellLength;
    int32_t iconIndex;
  };
  // Around the limits of the row's layout: the cell count it holds inline, the width of a cell end.
  const Case cases[] = {{0, 0, 0},   {0, 0, 7},      {1, 0, 0},      {3, 85, 0},    {3, 86, -2},
                        {2, 300, 0}, {1, 65536, 3},  {4094, 1, 0},   {4095, 1, 0},  {5000, 2, 1}};
  TableModel table;
  std::vector<Fields> expected;
  for (const Case& c : cases) {
    Fields cells;
    for (int32_t i = 0; i < c.count; ++i) {
      cells.push_back(std::string(c.cellLength, static_cast<char>('a' + i % 26)));
    }
    table.AddRow(cells, c.iconIndex);
    expected.push_back(cells);
  }
  auto check = [&](const std::vector<size_t>& order, const char* step) {
    SCOPED_TRACE(step);
    ASSERT_EQ(table.RowCount(), static_cast<int32_t>(order.size()));
    for (size_t r = 0; r < order.size(); ++r) {
      const TableRow row = table.row(static_cast<int32_t>(r) + 1);
      EXPECT_EQ(row.cells(), expected[order[r]]) << "row " << r + 1;
      EXPECT_EQ(row.iconIndex, cases[order[r]].iconIndex) << "row " << r + 1;
      EXPECT_EQ(table.cellCount(static_cast<int32_t>(r) + 1), static_cast<int32_t>(expected[order[r]].size()));
    }
  };
  const size_t n = std::size(cases);
  std::vector<size_t> now(n);
  for (size_t i = 0; i < n; ++i) now[i] = i;
  check(now, "as added");

  std::vector<int32_t> reverse(n);
  for (size_t i = 0; i < n; ++i) reverse[i] = static_cast<int32_t>(n - 1 - i);
  table.permuteRows(reverse);
  std::vector<size_t> after(n);
  for (size_t i = 0; i < n; ++i) after[i] = now[reverse[i]];
  now = after;
  check(now, "reversed");

  // Sort keys above the index must not matter; the cycles here are 0 3 6 9, 1 4 7, 2 5 8.
  std::vector<uint64_t> words(n);
  for (size_t i = 0; i < n; ++i) words[i] = uint64_t{0xDEADBEEF} << 32 | ((i + 3) % n);
  table.permuteRows(words);
  for (size_t i = 0; i < n; ++i) after[i] = now[(i + 3) % n];
  now = after;
  check(now, "rotated by sort words");

  table.SetCell(1, 2, "edited");
  expected[now[0]].resize(std::max<size_t>(expected[now[0]].size(), 2));
  expected[now[0]][1] = "edited";
  check(now, "edited");
}

// Row lists prepared apart and swapped in give the table that showRows and permuteRows give, a
// filtered one included.
TEST(TableModel, PreparedRowListsMatchShowingAndReordering) {
  auto numbers = [](int count) {
    TableModel table;
    table.AddColumn("n");
    for (int i = 0; i < count; ++i) table.AddRow(Fields{std::to_string(i)});
    return table;
  };
  auto shown = [](const TableModel& table) {
    Fields out;
    for (int32_t r = 1; r <= table.RowCount(); ++r) out.push_back(table.GetCell(r, 1));
    return out;
  };
  const std::vector<int32_t> reverse = {5, 4, 3, 2, 1, 0};
  const std::vector<int32_t> kept = {1, 3, 4};
  for (bool filterFirst : {false, true}) {
    TableModel direct = numbers(6);
    TableModel prepared = numbers(6);
    if (filterFirst) {
      direct.showRows(kept);
      TableModel::PreparedRows rows = prepared.prepareShownRows(kept);
      prepared.applyPrepared(rows);
      EXPECT_TRUE(prepared.filtered());
      EXPECT_EQ(shown(prepared), shown(direct));
    }
    prepared.selectOnRelease(SelectionMode::Single, 2, 2, SelectKeys::None);
    direct.selectOnRelease(SelectionMode::Single, 2, 2, SelectKeys::None);
    direct.permuteRows(reverse);
    TableModel::PreparedRows rows = prepared.prepareOrder(reverse);
    prepared.applyPrepared(rows);
    EXPECT_EQ(shown(prepared), shown(direct)) << filterFirst;
    EXPECT_EQ(prepared.selection(), direct.selection());
    EXPECT_EQ(prepared.filtered(), filterFirst);
    prepared.showAllRows();
    direct.showAllRows();
    EXPECT_EQ(shown(prepared), shown(direct));
    EXPECT_EQ(shown(prepared), (Fields{"5", "4", "3", "2", "1", "0"}));
  }
  TableModel empty = numbers(0);
  TableModel::PreparedRows none = empty.prepareOrder({});
  empty.applyPrepared(none);
  EXPECT_FALSE(empty.filtered());
}

TEST(TableModel, SelectionInTheThreeModes) {
  TableModel table;
  table.AddColumn("c");
  for (int i = 0; i < 10; ++i) table.AddRow(Fields{std::to_string(i)});
  using V = std::vector<int32_t>;

  table.selectOnRelease(SelectionMode::Single, 4, 2, SelectKeys::None);
  EXPECT_EQ(table.selection(), V{4});
  EXPECT_EQ(table.selectedRow(), 4);
  table.selectOnRelease(SelectionMode::Single, 0, 4, SelectKeys::None);  // below the last row
  EXPECT_TRUE(table.selection().empty());
  EXPECT_EQ(table.selectedRow(), -1);

  table.selectOnRelease(SelectionMode::Multiple, 6, 6, SelectKeys::None);
  table.selectOnRelease(SelectionMode::Multiple, 2, 2, SelectKeys::Ctrl);
  EXPECT_EQ(table.selection(), (V{2, 6}));
  table.selectOnRelease(SelectionMode::Multiple, 9, 3, SelectKeys::Ctrl);  // not the pressed row
  EXPECT_EQ(table.selection(), (V{2, 6}));
  table.selectOnRelease(SelectionMode::Multiple, 5, 5, SelectKeys::Shift);  // from the first selected
  EXPECT_EQ(table.selection(), (V{2, 3, 4, 5}));
  table.selectOnRelease(SelectionMode::Multiple, 1, 1, SelectKeys::Shift);
  EXPECT_EQ(table.selection(), (V{1, 2}));

  table.removeRow(1);  // rows after a removed one move up in the selection too
  EXPECT_EQ(table.selection(), V{1});
  table.selectOnRelease(SelectionMode::None, 3, 3, SelectKeys::None);
  EXPECT_TRUE(table.selection().empty());
}

}  // namespace
}  // namespace chengling
