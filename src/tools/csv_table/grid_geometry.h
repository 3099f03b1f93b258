#pragma once
// Everything the table view computes, as plain functions of the TableModel and the metrics of the
// font and panels: the layout of the header, data and scroll-bar panels, the row capacity and the
// visible columns, clamping of the scroll position, column edges and hit testing, text clipping,
// column auto-fit, the scroll-bar parts and the values their presses and drags ask for, and the
// header resize drag. The view paints with these and forwards its events; it computes nothing.
//
// Coordinates are pixels in the panel that receives the event (bar coordinates for the bars).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/csv_table/table_model.h"

namespace chengling {

struct GridMetrics {
  int32_t rowHeight = 30;
  int32_t headerHeight = 25;
  int32_t glyphWidth = 14;   // one full-width Chinese character in the data font
  int32_t glyphHeight = 14;  // the character "是"
  int32_t iconWidth = 24;
  int32_t iconHeight = 24;
  bool hasPictures = false;  // row icons exist (never in the CSV tool)
  bool showScrollBars = true;
  int32_t barSize = 18;      // bar thickness and the side of each arrow button
};

// The metrics of the set-up: `rowHeight` 0 or less means 30; the row height grows to the icon height
// + 4 and to the glyph width + 4 when either is larger.
GridMetrics setUpMetrics(int32_t rowHeight, int32_t iconWidth, int32_t iconHeight, int32_t glyphWidth,
                         int32_t glyphHeight, bool showScrollBars);

struct GridRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

struct GridLayout {
  GridRect header;
  GridRect data;
  GridRect verticalBar;
  GridRect horizontalBar;
  double rowCapacity = 0;      // data rows that fit, as a real number
  int32_t visibleColumns = 0;  // counted from firstColumn + 1
  bool verticalShown = false;
  bool horizontalShown = false;
};

// The layout inside a container whose client area is `width` x `height`.
GridLayout layOutGrid(const TableModel& table, const GridMetrics& metrics, int32_t width, int32_t height);

// Columns after firstColumn whose widths, added one by one, first reach `headerWidth` (that column
// counted); all the remaining columns when they never do.
int32_t visibleColumnCount(const TableModel& table, int32_t headerWidth);

// firstRow := value + delta (value defaults to the current one), clamped to 0 .. RowCount - capacity.
void ScrollToRow(TableModel& table, double rowCapacity, std::optional<int32_t> value, int32_t delta = 0);
// firstColumn likewise against ColumnCount - visibleColumnCount; when the clamp leaves the last
// column only partly visible, one more column is scrolled out so that it shows whole.
void ScrollToColumn(TableModel& table, int32_t headerWidth, std::optional<int32_t> value,
                    int32_t delta = 0);

// Left and right edge of column `column` in header and data coordinates.
int32_t columnLeft(const TableModel& table, int32_t column);
int32_t columnRight(const TableModel& table, int32_t column);
// The header column under `x`: a shown column covers its left edge (+3 for all but the first shown)
// up to, not including, its right edge + 3, the last column scanned first; 0 when none.
int32_t columnAtX(const TableModel& table, int32_t x);
// The data row under `y` in a data panel `dataHeight` high; 0 when none.
int32_t rowAtY(const TableModel& table, const GridMetrics& metrics, int32_t dataHeight, int32_t y);

// The text painted in a cell of `column` (and checked by the hover tooltip): cut at the last whole
// character that fits by the byte estimate, with ".." appended when anything was cut. `dataWidth` is
// the data panel's width; a column reaching past it has only its visible part.
std::string clipCellText(const TableModel& table, const GridMetrics& metrics, int32_t dataWidth,
                         int32_t column, std::string_view text);

// Where a cell of visible line `line` (0 = the first row shown) is painted.
struct CellPlacement {
  GridRect cell;       // column left .. right, line * rowHeight + 1 .. (line + 1) * rowHeight
  int32_t textX = 0;
  int32_t textY = 0;
  int32_t iconX = 0;   // meaningful when the row has an icon
  int32_t iconY = 0;
};
CellPlacement placeCell(const TableModel& table, const GridMetrics& metrics, int32_t column, int32_t line,
                        bool withIcon);

enum class FitMode { HeaderAndCells = 0, HeaderOnly = 1, CellsOnly = 2 };
// Sets the width of `column` (0 = every column) from its title and cells, at most `maximum` when that
// is above 0. With a single column and `returnOnly`, returns the width without setting it;
// otherwise returns the last width set. The caller re-clamps firstColumn afterwards.
int32_t AutoFitColumns(TableModel& table, const GridMetrics& metrics, FitMode mode, int32_t column,
                       int32_t maximum, bool returnOnly = false);

// The selected row's cells for columns 1 .. ColumnCount joined by "," (no quotes): what a right
// click on the data copies. Empty when nothing is selected.
std::string rowCopyText(const TableModel& table);

// "#RRGGBB" read pair by pair with the digit table "0123456789ABCDEF" (case ignored); a character
// outside the table counts as -1.
struct Rgb {
  int32_t red = 0, green = 0, blue = 0;
};
Rgb parseColourText(std::string_view text);

// ---- scroll bars ----

enum class BarPart { None, Back, Forward, Thumb, Track };  // Back: up or left; Forward: down or right

struct BarGeometry {
  int32_t length = 0;      // along the bar
  int32_t button = 18;     // side of each arrow button
  int32_t thumbStart = 0;  // in bar coordinates
  int32_t thumbEnd = 0;
  int32_t trackLength() const { return length - 2 * button > 0 ? length - 2 * button : 1; }
};

// The thumb stands for `page` of `total` items starting at `first`; it is at least one button long.
BarGeometry barGeometry(int32_t length, int32_t button, int64_t total, double page, int32_t first);
BarPart barPartAt(const BarGeometry& bar, int32_t coordinate);

// A thumb drag in progress when anchor > 0; `pressed` is painted pressed until the release.
struct BarDrag {
  int32_t anchor = 0;
  int32_t startValue = 0;
  BarPart pressed = BarPart::None;
};

// A press at `coordinate` on a bar for `total` items of which `page` fit, scrolled to `value`: the
// first item it asks for (unclamped), or nothing when it only starts a thumb drag. A left press on a
// button moves one page, on the track jumps proportionally; a right press on a button jumps to the
// first or the last page.
std::optional<int32_t> barPress(BarDrag& drag, const BarGeometry& bar, bool rightButton, int32_t coordinate,
                                int32_t value, int64_t total, double page);
// The first item a thumb drag to `coordinate` asks for (unclamped); nothing when no drag is active.
std::optional<int32_t> barDragTo(const BarDrag& drag, const BarGeometry& bar, int32_t coordinate,
                                 int64_t total);
void barRelease(BarDrag& drag);

// ---- header ----

// A column-resize drag in progress when startX >= 1.
struct HeaderDrag {
  int32_t startX = 0;
  int32_t column = 0;
  int32_t startWidth = 0;
};

// The pointer lies within 2 pixels of the right edge of `hotColumn`.
bool resizeHotAt(const TableModel& table, int32_t hotColumn, int32_t x);

// A header press at `x`. On a resize zone it starts a drag (the last column, scanning from the right,
// whose right edge lies within 2 pixels of x) and returns 0; elsewhere it returns the column under
// the pointer, which becomes the sort column (0 for none).
int32_t headerPress(const TableModel& table, HeaderDrag& drag, bool resizeHot, int32_t x);
// Width the dragged column takes at `x` (never below 0), set on the model; nothing when no drag.
std::optional<int32_t> headerDragTo(TableModel& table, const HeaderDrag& drag, int32_t x);
inline void headerRelease(HeaderDrag& drag) { drag.startX = 0; }

}  // namespace chengling
