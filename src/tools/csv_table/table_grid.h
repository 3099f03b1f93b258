#pragma once
// The table of the CSV tool as the program draws it: a container ("画板容器") holding four panels it
// paints itself, the header ("画板表头"), the data area ("画板数据") and the two scroll bars
// ("画板纵滚", "画板横滚"). It owns the TableModel and paints and hit-tests through grid_geometry.h;
// everything it computes is there, this file only draws and routes events.
//
// Mouse: header press selects the sort column (sortRequested) or starts a column resize within 2
// pixels of a border; data press and release select one row; a right press on a row copies its
// cells joined by "," and beeps; the bars page, jump and drag. Qt's implicit grab sends the moves
// and the release of a drag to the panel that was pressed, wherever the pointer goes, which is what
// forwarding the window's own moves and releases would do. Besides, the wheel scrolls three rows
// (Shift: one column per notch) and Up/Down, Page Up/Down, Home/End and Left/Right move through the
// rows and columns.
//
// User-interface thread only. While a worker reads the model (a sort or an export), the caller must
// not change its rows or columns; the grid itself then changes only widths, selection and scroll
// position.

#include <QColor>
#include <QFont>
#include <QWidget>

#include <optional>
#include <string_view>

#include "tools/csv_table/grid_geometry.h"
#include "tools/csv_table/table_model.h"

class QPainter;

namespace chengling {

class ToolTip;

class TableGrid : public QWidget {
  Q_OBJECT

 public:
  enum class Panel { Header, Data, VerticalBar, HorizontalBar };

  // Set up as the CSV tool uses it: row height 30, no pictures, scroll bars shown, single
  // selection, the data font a Chinese font of the desktop (chineseFontFamily) at 11 points.
  explicit TableGrid(QWidget* parent = nullptr);
  ~TableGrid() override;

  TableModel& model() { return model_; }
  const TableModel& model() const { return model_; }
  const GridMetrics& metrics() const { return metrics_; }
  const GridLayout& gridLayout() const { return layout_; }
  QWidget* panel(Panel which) const;
  ToolTip* toolTip() const { return tip_; }
  const QFont& dataFont() const { return dataFont_; }

  // Takes `model` whole (an import's result), scrolled to the start with nothing selected.
  void setModel(TableModel model);
  // Places the container (parent coordinates), re-lays out, clamps and repaints.
  void SetBounds(const QRect& bounds);
  // Re-lays out, clamps the scroll position and repaints everything: after any change of the model.
  void Redraw();
  void ScrollToRow(std::optional<int32_t> value, int32_t delta = 0);
  void ScrollToColumn(std::optional<int32_t> value, int32_t delta = 0);

  // The header column under the pointer (0 none) and the one drawn pressed (0 none).
  int32_t hotColumn() const { return hotColumn_; }
  int32_t pressedColumn() const { return pressedColumn_; }
  bool resizeHot() const { return resizeHot_; }

  // The header cell of the last sorted column carries a small ▲ (ascending) or ▼ (descending);
  // column 0 shows none. A new model shows none.
  void setSortMark(int32_t column, bool ascending);
  int32_t sortMarkColumn() const { return sortMark_; }
  bool sortMarkAscending() const { return sortAscending_; }
  // The cell of a find match is drawn in the highlight colour (row 0: its title); row and column
  // 0 show none. A new model shows none.
  void setFindMark(int32_t row, int32_t column);
  int32_t findMarkRow() const { return findRow_; }
  int32_t findMarkColumn() const { return findColumn_; }
  // Scrolls as little as it takes to show the cell (row 0: only the column).
  void scrollToCell(int32_t row, int32_t column);

  // Draws panel `which` as it is now; paint events and the paint benchmark come here.
  void paintPanel(Panel which, QPainter& painter) const;

 signals:
  // A left press on a header title, not on a border: the column to sort by and the pointer.
  void sortRequested(int column, const QPoint& globalPos);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class PanelWidget;
  friend class PanelWidget;

  void layOut();
  void repaintAll();
  void mouseEvent(Panel which, QMouseEvent* event);
  void headerMouse(QMouseEvent* event);
  void dataMouse(QMouseEvent* event);
  void barMouse(bool vertical, QMouseEvent* event);
  void hover(int32_t x, int32_t y);
  void setHotColumn(int32_t column);
  BarGeometry barGeometryOf(bool vertical) const;
  int32_t pageRows() const;

  void paintHeader(QPainter& painter) const;
  void paintData(QPainter& painter) const;
  void paintBar(bool vertical, QPainter& painter) const;

  TableModel model_;
  GridMetrics metrics_;
  GridLayout layout_;
  SelectionMode selectionMode_ = SelectionMode::Single;
  QFont dataFont_;
  QFont headerFont_;
  int32_t fontAscent_ = 0;

  PanelWidget* header_ = nullptr;
  PanelWidget* data_ = nullptr;
  PanelWidget* verticalBar_ = nullptr;
  PanelWidget* horizontalBar_ = nullptr;
  ToolTip* tip_ = nullptr;

  int32_t pressedRow_ = 0;
  int32_t hotColumn_ = 0;
  int32_t pressedColumn_ = 0;
  bool resizeHot_ = false;
  HeaderDrag headerDrag_;
  BarDrag verticalDrag_;
  BarDrag horizontalDrag_;
  int32_t lastDragCoordinate_ = -1;
  int32_t hoverColumn_ = 0;
  int32_t hoverRow_ = 0;
  int32_t sortMark_ = 0;
  bool sortAscending_ = false;
  int32_t findRow_ = 0;
  int32_t findColumn_ = 0;
};

}  // namespace chengling
