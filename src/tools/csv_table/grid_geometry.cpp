#include "tools/csv_table/grid_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/internal_text.h"
#include "foundation/utf8_internal.h"

namespace chengling {

namespace {

int32_t clampToInt(double value) {
  if (value >= 2147483647.0) return 2147483647;
  if (value <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(value);  // toward zero
}

}  // namespace

GridMetrics setUpMetrics(int32_t rowHeight, int32_t iconWidth, int32_t iconHeight, int32_t glyphWidth,
                         int32_t glyphHeight, bool showScrollBars) {
  GridMetrics m;
  m.rowHeight = rowHeight > 0 ? rowHeight : 30;
  m.iconWidth = iconWidth;
  m.iconHeight = iconHeight;
  if (m.iconHeight + 4 > m.rowHeight) m.rowHeight = m.iconHeight + 4;
  m.glyphWidth = glyphWidth;
  m.glyphHeight = glyphHeight;
  if (m.glyphWidth + 4 > m.rowHeight) m.rowHeight = m.glyphWidth + 4;
  m.showScrollBars = showScrollBars;
  return m;
}

int32_t visibleColumnCount(const TableModel& table, int32_t headerWidth) {
  int64_t total = 0;
  int32_t count = 0;
  for (int32_t c = table.firstColumn + 1; c <= table.ColumnCount(); ++c) {
    total += table.GetColumnWidth(c);
    ++count;
    if (total >= headerWidth) break;
  }
  return count;
}

GridLayout layOutGrid(const TableModel& table, const GridMetrics& m, int32_t width, int32_t height) {
  GridLayout layout;
  layout.header = {0, 0, width, m.headerHeight};
  layout.data = {0, m.headerHeight - 1, width, height - m.headerHeight + 1};
  layout.visibleColumns = visibleColumnCount(table, width);
  layout.horizontalShown = m.showScrollBars && layout.visibleColumns < table.ColumnCount();
  layout.rowCapacity =
      static_cast<double>(layout.data.height - (layout.horizontalShown ? m.barSize : 0)) / m.rowHeight;
  layout.verticalShown = m.showScrollBars && layout.rowCapacity < table.RowCount();
  layout.verticalBar = {width - m.barSize - 2, m.headerHeight + 1, m.barSize,
                        height - m.headerHeight - 3 - (layout.horizontalShown ? m.barSize : 0)};
  layout.horizontalBar = {2, height - m.barSize - 2, width - 4 - (layout.verticalShown ? m.barSize : 0),
                          m.barSize};
  return layout;
}

void ScrollToRow(TableModel& table, double rowCapacity, std::optional<int32_t> value, int32_t delta) {
  const int64_t wanted = int64_t{value.value_or(table.firstRow)} + delta;
  const double last = table.RowCount() - rowCapacity;
  if (wanted < 0) {
    table.firstRow = 0;
  } else if (static_cast<double>(wanted) > last) {
    table.firstRow = last < 0 ? 0 : clampToInt(last);
  } else {
    table.firstRow = static_cast<int32_t>(wanted);
  }
}

void ScrollToColumn(TableModel& table, int32_t headerWidth, std::optional<int32_t> value, int32_t delta) {
  const int64_t wanted = int64_t{value.value_or(table.firstColumn)} + delta;
  const int32_t last = table.ColumnCount() - visibleColumnCount(table, headerWidth);
  if (wanted < 0) {
    table.firstColumn = 0;
  } else if (wanted > last) {
    table.firstColumn = std::max(last, 0);
    int64_t rest = 0;
    for (int32_t c = table.firstColumn + 1; c <= table.ColumnCount(); ++c) rest += table.GetColumnWidth(c);
    if (rest > headerWidth && table.firstColumn < table.ColumnCount() - 1) ++table.firstColumn;
  } else {
    table.firstColumn = static_cast<int32_t>(wanted);
  }
}

int32_t columnLeft(const TableModel& table, int32_t column) {
  int64_t left = 0;
  for (int32_t c = 1; c < column; ++c) left += table.GetColumnWidth(c);
  for (int32_t c = 1; c <= table.firstColumn && c <= table.ColumnCount(); ++c) left -= table.GetColumnWidth(c);
  return static_cast<int32_t>(left);
}

int32_t columnRight(const TableModel& table, int32_t column) {
  return columnLeft(table, column) + table.GetColumnWidth(column);
}

int32_t columnAtX(const TableModel& table, int32_t x) {
  // Columns scrolled out to the left lie at negative x and are never hit.
  const int32_t firstShown = table.firstColumn + 1;
  for (int32_t n = table.ColumnCount(); n >= firstShown; --n) {
    const int32_t left = columnLeft(table, n);
    const int32_t right = left + table.GetColumnWidth(n);
    if (x >= left + (n > firstShown ? 3 : 0) && x < right + 3) return n;
  }
  return 0;
}

int32_t rowAtY(const TableModel& table, const GridMetrics& m, int32_t dataHeight, int32_t y) {
  if (y < 1 || y > dataHeight - 1 || m.rowHeight <= 0) return 0;
  const int64_t n = int64_t{y / m.rowHeight} + table.firstRow + 1;
  return n > table.RowCount() ? 0 : static_cast<int32_t>(n);
}

std::string clipCellText(const TableModel& table, const GridMetrics& m, int32_t dataWidth, int32_t column,
                         std::string_view text) {
  const int32_t left = columnLeft(table, column);
  const int32_t right = left + table.GetColumnWidth(column);
  int64_t available = right > dataWidth ? dataWidth - left : table.GetColumnWidth(column);
  if (column == 1 && m.hasPictures) available -= m.iconWidth + 3;
  auto fits = [&](size_t bytes) {
    return static_cast<double>(bytes) * m.glyphWidth / 2 <= static_cast<double>(available - 12);
  };
  if (fits(text.size())) return std::string(text);
  // The longest whole-character prefix that fits; dropping characters from the end one by one
  // ends at the same place.
  size_t keep = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t next = pos + charLengthAt(text, pos);
    if (!fits(next)) break;
    keep = pos = next;
  }
  std::string clipped(text.substr(0, keep));
  clipped += "..";
  return clipped;
}

CellPlacement placeCell(const TableModel& table, const GridMetrics& m, int32_t column, int32_t line,
                        bool withIcon) {
  CellPlacement p;
  const int32_t left = columnLeft(table, column);
  p.cell = {left, line * m.rowHeight + 1, table.GetColumnWidth(column), m.rowHeight};
  int32_t textLeft = left;
  if (withIcon) {
    p.iconX = left + 3;
    p.iconY = line * m.rowHeight + (m.rowHeight - m.iconHeight) / 2 + 1;
    textLeft += m.iconWidth + 3;
  }
  p.textX = textLeft + 5;
  p.textY = line * m.rowHeight + (m.rowHeight - m.glyphHeight) / 2 + 1;
  return p;
}

int32_t AutoFitColumns(TableModel& table, const GridMetrics& m, FitMode mode, int32_t column, int32_t maximum,
                       bool returnOnly) {
  const int32_t from = column == 0 ? 1 : column;
  const int32_t to = column == 0 ? table.ColumnCount() : column;
  const double perByte = m.glyphWidth / 2.0 + 1;
  int32_t w = 0;
  for (int32_t c = from; c <= to; ++c) {
    w = 0;
    if (mode != FitMode::CellsOnly) w = clampToInt(static_cast<double>(table.GetColumnTitle(c).size()) * 8 + 10);
    if (mode != FitMode::HeaderOnly) {
      const int32_t icon = c == 1 && m.hasPictures ? m.iconWidth : 0;
      size_t longest = 0;  // the width grows with the byte count, so the longest cell decides
      bool any = false;
      for (int32_t r = 1; r <= table.RowCount(); ++r) {
        const CellBytes cell = table.cellBytes(r, c);
        const bool converted = cell.utf8 && hasHighByte(cell.bytes);
        longest = std::max(longest, converted ? internalLengthOfUtf8(cell.bytes) : cell.bytes.size());
        any = true;
      }
      if (any) w = std::max(w, clampToInt(static_cast<double>(longest) * perByte + 10) + icon);
    }
    if (column != 0 && returnOnly) return w;
    if (maximum > 0 && w > maximum) w = maximum;
    table.SetColumnWidth(c, w);
  }
  return w;
}

std::string rowCopyText(const TableModel& table) {
  const int32_t row = table.selectedRow();
  if (row < 1 || row > table.RowCount()) return {};
  std::string out;
  for (int32_t c = 1; c <= table.ColumnCount(); ++c) {
    if (c > 1) out += ',';
    out += table.GetCell(row, c);
  }
  return out;
}

Rgb parseColourText(std::string_view text) {
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  auto digit = [&](size_t pos) -> int32_t {
    if (pos >= text.size()) return -1;
    char c = text[pos];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const size_t at = kDigits.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int32_t>(at);
  };
  auto pair = [&](size_t pos) { return digit(pos) * 16 + digit(pos + 1); };  // 1-based 2, 4, 6
  return {pair(1), pair(3), pair(5)};
}

// ---- scroll bars ----

BarGeometry barGeometry(int32_t length, int32_t button, int64_t total, double page, int32_t first) {
  BarGeometry bar;
  bar.length = length;
  bar.button = button;
  const double track = bar.trackLength();
  double size = total > 0 ? track * std::min(1.0, page / static_cast<double>(total)) : track;
  size = std::max(size, static_cast<double>(std::min<int32_t>(button, bar.trackLength())));
  double start = total > 0 ? track * first / static_cast<double>(total) : 0;
  start = std::min(start, track - size);
  bar.thumbStart = button + clampToInt(std::max(start, 0.0));
  bar.thumbEnd = bar.thumbStart + clampToInt(size);
  return bar;
}

BarPart barPartAt(const BarGeometry& bar, int32_t coordinate) {
  if (coordinate < 0 || coordinate >= bar.length) return BarPart::None;
  if (coordinate < bar.button) return BarPart::Back;
  if (coordinate >= bar.length - bar.button) return BarPart::Forward;
  if (coordinate >= bar.thumbStart && coordinate <= bar.thumbEnd) return BarPart::Thumb;
  return BarPart::Track;
}

std::optional<int32_t> barPress(BarDrag& drag, const BarGeometry& bar, bool rightButton, int32_t coordinate,
                                int32_t value, int64_t total, double page) {
  const BarPart part = barPartAt(bar, coordinate);
  if (rightButton) {
    if (part == BarPart::Back) return 0;
    if (part == BarPart::Forward) return clampToInt(static_cast<double>(total));  // clamps to the last page
    return std::nullopt;
  }
  drag.pressed = part;
  drag.startValue = value;
  switch (part) {
    case BarPart::Back:
      return clampToInt(value - page);
    case BarPart::Forward:
      return clampToInt(value + page);
    case BarPart::Thumb:
      drag.anchor = std::max(coordinate, 1);
      return std::nullopt;
    case BarPart::Track:
      return clampToInt(static_cast<double>(coordinate - 2 * bar.button) / bar.trackLength() * total);
    case BarPart::None:
      break;
  }
  return std::nullopt;
}

std::optional<int32_t> barDragTo(const BarDrag& drag, const BarGeometry& bar, int32_t coordinate, int64_t total) {
  if (drag.anchor <= 0) return std::nullopt;
  return clampToInt(drag.startValue + static_cast<double>(coordinate - drag.anchor) / bar.trackLength() * total);
}

void barRelease(BarDrag& drag) {
  drag.anchor = 0;
  drag.pressed = BarPart::None;
}

// ---- header ----

bool resizeHotAt(const TableModel& table, int32_t hotColumn, int32_t x) {
  if (hotColumn < 1 || hotColumn > table.ColumnCount()) return false;
  return std::abs(x - columnRight(table, hotColumn)) <= 2;
}

int32_t headerPress(const TableModel& table, HeaderDrag& drag, bool resizeHot, int32_t x) {
  if (resizeHot) {
    drag = HeaderDrag{x, 0, 0};
    for (int32_t n = table.ColumnCount(); n >= 1; --n) {
      if (std::abs(x - columnRight(table, n)) <= 2) {
        drag.column = n;
        drag.startWidth = table.GetColumnWidth(n);
        break;
      }
    }
    return 0;
  }
  return columnAtX(table, x);
}

std::optional<int32_t> headerDragTo(TableModel& table, const HeaderDrag& drag, int32_t x) {
  if (drag.startX < 1 || drag.column < 1 || drag.column > table.ColumnCount()) return std::nullopt;
  const int32_t width = std::max(0, x + drag.startWidth - drag.startX);
  table.SetColumnWidth(drag.column, width);
  return width;
}

}  // namespace chengling
