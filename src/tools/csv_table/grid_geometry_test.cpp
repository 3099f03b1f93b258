#include "tools/csv_table/grid_geometry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace chengling {
namespace {

using Fields = std::vector<std::string>;

TableModel tableOf(int rows, std::vector<int32_t> widths) {
  TableModel table;
  for (size_t c = 0; c < widths.size(); ++c) table.AddColumn("t" + std::to_string(c + 1), widths[c]);
  for (int r = 0; r < rows; ++r) table.AddRow(Fields(widths.size(), std::to_string(r + 1)));
  return table;
}

TEST(GridGeometry, SetUpGrowsTheRowHeightToFitIconsAndGlyphs) {
  EXPECT_EQ(setUpMetrics(0, 24, 24, 14, 14, true).rowHeight, 30);
  EXPECT_EQ(setUpMetrics(20, 24, 24, 14, 14, true).rowHeight, 28);  // icon height + 4
  EXPECT_EQ(setUpMetrics(20, 16, 16, 22, 22, true).rowHeight, 26);  // glyph width + 4
}

TEST(GridGeometry, LayoutOfPanelsAndBars) {
  const GridMetrics m = setUpMetrics(30, 24, 24, 14, 14, true);
  TableModel table = tableOf(3, {100, 100});
  GridLayout layout = layOutGrid(table, m, 400, 325);
  EXPECT_EQ(layout.header.height, 25);
  EXPECT_EQ(layout.data.top, 24);
  EXPECT_EQ(layout.data.height, 301);
  EXPECT_EQ(layout.visibleColumns, 2);
  EXPECT_FALSE(layout.horizontalShown);
  EXPECT_DOUBLE_EQ(layout.rowCapacity, 301.0 / 30);
  EXPECT_FALSE(layout.verticalShown);

  table = tableOf(20, {150, 150, 150});
  layout = layOutGrid(table, m, 400, 325);
  EXPECT_EQ(layout.visibleColumns, 3);  // the third reaches 400
  EXPECT_FALSE(layout.horizontalShown);
  table.AddColumn("t4", 10);
  layout = layOutGrid(table, m, 400, 325);
  EXPECT_TRUE(layout.horizontalShown);
  EXPECT_TRUE(layout.verticalShown);
  EXPECT_DOUBLE_EQ(layout.rowCapacity, (301.0 - 18) / 30);
  EXPECT_EQ(layout.verticalBar.left, 400 - 18 - 2);
  EXPECT_EQ(layout.verticalBar.top, 26);
  EXPECT_EQ(layout.verticalBar.height, 325 - 25 - 3 - 18);
  EXPECT_EQ(layout.horizontalBar.left, 2);
  EXPECT_EQ(layout.horizontalBar.top, 325 - 18 - 2);
  EXPECT_EQ(layout.horizontalBar.width, 400 - 4 - 18);

  GridMetrics hidden = m;
  hidden.showScrollBars = false;
  layout = layOutGrid(table, hidden, 400, 325);
  EXPECT_FALSE(layout.verticalShown || layout.horizontalShown);
}

TEST(GridGeometry, AThousandRowsPageByPageOnTheVerticalBar) {
  const GridMetrics m = setUpMetrics(30, 24, 24, 14, 14, true);
  TableModel table = tableOf(1000, {100});
  // A data area of exactly 10 row heights.
  const GridLayout layout = layOutGrid(table, m, 300, 300 + 25 - 1);
  ASSERT_DOUBLE_EQ(layout.rowCapacity, 10);
  ASSERT_TRUE(layout.verticalShown);
  const int32_t length = layout.verticalBar.height;
  auto bar = [&] { return barGeometry(length, m.barSize, table.RowCount(), layout.rowCapacity, table.firstRow); };

  BarDrag drag;
  const int32_t down = length - 5;
  auto press = [&](bool right, int32_t y) {
    if (auto value = barPress(drag, bar(), right, y, table.firstRow, table.RowCount(), layout.rowCapacity)) {
      ScrollToRow(table, layout.rowCapacity, *value);
    }
    barRelease(drag);
  };
  press(false, down);
  EXPECT_EQ(table.firstRow, 10);
  press(false, down);
  EXPECT_EQ(table.firstRow, 20);
  press(false, 5);  // up
  EXPECT_EQ(table.firstRow, 10);
  press(true, down);  // last page: rows 991 .. 1000
  EXPECT_EQ(table.firstRow, 990);
  EXPECT_EQ(rowAtY(table, m, layout.data.height, 1), 991);
  EXPECT_EQ(rowAtY(table, m, layout.data.height, 299), 1000);
  press(false, down);
  EXPECT_EQ(table.firstRow, 990);
  press(true, 3);  // first page
  EXPECT_EQ(table.firstRow, 0);

  // The track jumps proportionally; the thumb drags.
  const BarGeometry g = bar();
  EXPECT_EQ(barPartAt(g, 0), BarPart::Back);
  EXPECT_EQ(barPartAt(g, g.thumbStart), BarPart::Thumb);
  EXPECT_EQ(barPartAt(g, length - 1), BarPart::Forward);
  const int32_t y = 2 * m.barSize + g.trackLength() / 2;
  EXPECT_EQ(barPartAt(g, y), BarPart::Track);
  press(false, y);
  EXPECT_EQ(table.firstRow, 500);
  ScrollToRow(table, layout.rowCapacity, 0);
  EXPECT_FALSE(barPress(drag, bar(), false, bar().thumbStart, 0, 1000, 10));
  EXPECT_EQ(drag.pressed, BarPart::Thumb);
  ScrollToRow(table, layout.rowCapacity, *barDragTo(drag, bar(), drag.anchor + g.trackLength() / 4, 1000));
  EXPECT_EQ(table.firstRow, 250);
  barRelease(drag);
  EXPECT_FALSE(barDragTo(drag, bar(), 100, 1000));
}

TEST(GridGeometry, ClampingOfRowsAndColumns) {
  TableModel table = tableOf(5, {100, 100, 100, 100});
  ScrollToRow(table, 10, 3);
  EXPECT_EQ(table.firstRow, 0);  // everything fits
  ScrollToRow(table, 2.5, -4);
  EXPECT_EQ(table.firstRow, 0);
  ScrollToRow(table, 2.5, 1, 1);
  EXPECT_EQ(table.firstRow, 2);
  ScrollToRow(table, 2.5, 9);
  EXPECT_EQ(table.firstRow, 2);  // 5 - 2.5, truncated

  ScrollToColumn(table, 250, 9);   // 3 columns reach 250 from the start: at most 1, and the last
  EXPECT_EQ(table.firstColumn, 2);  // would be cut, so one more goes
  ScrollToColumn(table, 250, std::nullopt, -5);
  EXPECT_EQ(table.firstColumn, 0);
  ScrollToColumn(table, 400, 3);
  EXPECT_EQ(table.firstColumn, 0);
}

TEST(GridGeometry, ColumnEdgesAndHitTesting) {
  TableModel table = tableOf(30, {60, 80, 100});
  EXPECT_EQ(columnLeft(table, 1), 0);
  EXPECT_EQ(columnLeft(table, 3), 140);
  EXPECT_EQ(columnRight(table, 3), 240);
  struct Case {
    int32_t x;
    int32_t want;
  };
  for (const Case& c : std::vector<Case>{{-1, 0}, {0, 1}, {59, 1}, {62, 1}, {63, 2}, {143, 3}, {242, 3}, {243, 0}}) {
    EXPECT_EQ(columnAtX(table, c.x), c.want) << c.x;
  }
  table.firstColumn = 1;
  EXPECT_EQ(columnLeft(table, 2), 0);
  EXPECT_EQ(columnAtX(table, 10), 2);

  const GridMetrics m = setUpMetrics(30, 24, 24, 14, 14, true);
  table.firstRow = 4;
  for (const Case& c : std::vector<Case>{{0, 0}, {1, 5}, {29, 5}, {30, 6}, {200, 0}, {199, 11}}) {
    EXPECT_EQ(rowAtY(table, m, 200, c.x), c.want) << c.x;
  }
  table.firstRow = 28;
  EXPECT_EQ(rowAtY(table, m, 200, 95), 0);  // below the last row

  const CellPlacement p = placeCell(table, m, 2, 1, false);
  EXPECT_EQ(p.cell.left, 0);
  EXPECT_EQ(p.cell.top, 31);
  EXPECT_EQ(p.textX, 5);
  EXPECT_EQ(p.textY, 30 + 8 + 1);
}

TEST(GridGeometry, ClippingAppendsTwoDotsOnlyWhenSomethingWasCut) {
  const GridMetrics m = setUpMetrics(30, 24, 24, 14, 14, true);
  TableModel table = tableOf(1, {88, 300});
  // 88 - 12 = 76 pixels at 7 per byte: 10 bytes fit.
  EXPECT_EQ(clipCellText(table, m, 1000, 1, "0123456789"), "0123456789");
  EXPECT_EQ(clipCellText(table, m, 1000, 1, "0123456789A"), "0123456789..");
  EXPECT_EQ(clipCellText(table, m, 1000, 1, "中文中文中文"), "中文中文中..");
  EXPECT_EQ(clipCellText(table, m, 1000, 1, "a中文中文中文"), "a中文中文..");  // never half a character
  EXPECT_EQ(clipCellText(table, m, 1000, 1, ""), "");
  // Column 2 reaches past a data panel 200 wide: only 112 pixels show, 14 bytes fit.
  EXPECT_EQ(clipCellText(table, m, 200, 2, std::string(20, 'x')), std::string(14, 'x') + "..");
  table.SetColumnWidth(1, 5);
  EXPECT_EQ(clipCellText(table, m, 1000, 1, "abc"), "..");
}

TEST(GridGeometry, AutoFitColumnsFromTitlesAndCells) {
  const GridMetrics m = setUpMetrics(30, 24, 24, 14, 14, true);
  TableModel table;
  table.AddColumn("abcde");
  table.AddColumn("x");
  table.AddRow(Fields{"abcd", std::string(200, 'y')});
  table.AddRow(Fields{"ab", "z"});
  EXPECT_EQ(AutoFitColumns(table, m, FitMode::HeaderAndCells, 1, 0, true), 50);
  EXPECT_EQ(table.GetColumnWidth(1), 88);  // return-only changed nothing
  EXPECT_EQ(AutoFitColumns(table, m, FitMode::HeaderAndCells, 2, 0, true), 1610);
  EXPECT_EQ(AutoFitColumns(table, m, FitMode::HeaderOnly, 2, 0, true), 18);
  EXPECT_EQ(AutoFitColumns(table, m, FitMode::CellsOnly, 1, 0, true), 42);
  AutoFitColumns(table, m, FitMode::HeaderAndCells, 0, 600);
  EXPECT_EQ(table.GetColumnWidth(1), 50);
  EXPECT_EQ(table.GetColumnWidth(2), 600);

  GridMetrics odd = m;
  odd.glyphWidth = 15;  // 8.5 per byte in real numbers
  EXPECT_EQ(AutoFitColumns(table, odd, FitMode::CellsOnly, 1, 0, true), 44);
}

TEST(GridGeometry, HeaderDragNeverMakesANegativeWidth) {
  TableModel table = tableOf(1, {60, 80});
  EXPECT_TRUE(resizeHotAt(table, 1, 61));
  EXPECT_TRUE(resizeHotAt(table, 1, 58));
  EXPECT_FALSE(resizeHotAt(table, 1, 57));
  HeaderDrag drag;
  EXPECT_EQ(headerPress(table, drag, true, 60), 0);  // a border: no sort column
  EXPECT_EQ(drag.column, 1);
  EXPECT_EQ(drag.startWidth, 60);
  EXPECT_EQ(headerDragTo(table, drag, 90), 90);
  EXPECT_EQ(headerDragTo(table, drag, -40), 0);  // 100 pixels left of the border
  EXPECT_EQ(table.GetColumnWidth(1), 0);
  headerRelease(drag);
  EXPECT_FALSE(headerDragTo(table, drag, 70));

  table.SetColumnWidth(1, 60);
  EXPECT_EQ(headerPress(table, drag, false, 100), 2);  // a title: the sort column
  EXPECT_EQ(drag.startX, 0);
}

TEST(GridGeometry, RowCopyAndColourText) {
  TableModel table = tableOf(3, {10, 10});
  EXPECT_EQ(rowCopyText(table), "");
  table.selectOnRelease(SelectionMode::Single, 2, 2, SelectKeys::None);
  table.SetCell(2, 2, "a\"b");
  EXPECT_EQ(rowCopyText(table), "2,a\"b");
  const Rgb steel = parseColourText("#4682B4");
  EXPECT_EQ(steel.red, 70);
  EXPECT_EQ(steel.green, 130);
  EXPECT_EQ(steel.blue, 180);
  EXPECT_EQ(parseColourText("#ff00zz").blue, -17);  // z is outside the table: -1 * 16 + -1
}

}  // namespace
}  // namespace chengling
