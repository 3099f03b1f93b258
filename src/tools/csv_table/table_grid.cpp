#include "tools/csv_table/table_grid.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "platform/chinese_font.h"
#include "platform/clipboard.h"
#include "platform/qt_text.h"
#include "shell/tool_tip.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

const QColor kBackground(255, 255, 255);
const QColor kBarBackground(236, 236, 236);
const QColor kFrame(127, 157, 185);
const QColor kHotHeader(235, 234, 219);
const QColor kGridLine(199, 199, 199);
const QColor kSelectedFill(70, 130, 180);  // "#4682B4"
const QColor kSelectedText(255, 255, 255);
const QColor kCellText(0, 0, 0);
const QColor kBarPart(255, 245, 238);
const QColor kBarPartPressed(255, 231, 186);
const QColor kArrow(96, 96, 96);
const QColor kFindFill(255, 214, 102);  // the current find match
const QColor kFindFrame(230, 145, 56);
constexpr int32_t kSortMarkWidth = 14;  // at the right end of the sorted column's title

constexpr int32_t kFontPoints = 11;
constexpr int kWheelRows = 3;

// A cell or title as the grid shows it: a NUL, which no font draws, shows as the replacement
// character. The table, exports and copies keep the NUL itself.
QString shownText(std::string_view internal) {
  QString text = toQString(internal);
  text.replace(QChar(u'\0'), QChar(0xFFFD));
  return text;
}

}  // namespace

// One drawing panel: paints through the grid and hands it every mouse event.
class TableGrid::PanelWidget : public QWidget {
 public:
  PanelWidget(TableGrid* grid, Panel which, const QString& name) : QWidget(grid), grid_(grid), which_(which) {
    setObjectName(name);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(which == Panel::Header || which == Panel::Data);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    grid_->paintPanel(which_, painter);
  }
  void mousePressEvent(QMouseEvent* event) override { grid_->mouseEvent(which_, event); }
  void mouseReleaseEvent(QMouseEvent* event) override { grid_->mouseEvent(which_, event); }
  void mouseMoveEvent(QMouseEvent* event) override { grid_->mouseEvent(which_, event); }
  void mouseDoubleClickEvent(QMouseEvent* event) override { grid_->mouseEvent(which_, event); }
  void wheelEvent(QWheelEvent* event) override { grid_->wheelEvent(event); }
  void leaveEvent(QEvent*) override {
    if (which_ == Panel::Header && !grid_->resizeHot_) grid_->setHotColumn(0);
  }

 private:
  TableGrid* grid_;
  Panel which_;
};

TableGrid::TableGrid(QWidget* parent) : QWidget(parent) {
  setObjectName(u"画板容器"_s);
  setAccessibleName(u"表格"_s);
  setFocusPolicy(Qt::WheelFocus);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kBackground);
  setPalette(palette);

  data_ = new PanelWidget(this, Panel::Data, u"画板数据"_s);
  header_ = new PanelWidget(this, Panel::Header, u"画板表头"_s);
  verticalBar_ = new PanelWidget(this, Panel::VerticalBar, u"画板纵滚"_s);
  horizontalBar_ = new PanelWidget(this, Panel::HorizontalBar, u"画板横滚"_s);
  data_->setAccessibleName(u"表格数据"_s);
  header_->setAccessibleName(u"表头"_s);
  verticalBar_->setAccessibleName(u"纵向滚动条"_s);
  horizontalBar_->setAccessibleName(u"横向滚动条"_s);

  tip_ = new ToolTip(this);
  tip_->Create(true, false);

  const QString family = chineseFontFamily();
  dataFont_ = family.isEmpty() ? QFont() : QFont(family);
  dataFont_.setPointSize(kFontPoints);
  headerFont_ = dataFont_;
  const QFontMetrics fm(dataFont_);
  fontAscent_ = fm.ascent() - fm.descent();
  metrics_ = setUpMetrics(30, 24, 24, fm.horizontalAdvance(QChar(0x4E2D)), fm.boundingRect(u"是"_s).height(), true);
  layOut();
}

TableGrid::~TableGrid() = default;

QWidget* TableGrid::panel(Panel which) const {
  switch (which) {
    case Panel::Header:
      return header_;
    case Panel::Data:
      return data_;
    case Panel::VerticalBar:
      return verticalBar_;
    case Panel::HorizontalBar:
      return horizontalBar_;
  }
  return nullptr;
}

void TableGrid::setModel(TableModel model) {
  model_ = std::move(model);
  model_.firstRow = 0;
  model_.firstColumn = 0;
  model_.clearSelection();
  pressedRow_ = hotColumn_ = pressedColumn_ = 0;
  headerRelease(headerDrag_);
  barRelease(verticalDrag_);
  barRelease(horizontalDrag_);
  tip_->RemoveTool(data_);
  hoverColumn_ = hoverRow_ = 0;
  sortMark_ = findRow_ = findColumn_ = 0;
  Redraw();
}

void TableGrid::setSortMark(int32_t column, bool ascending) {
  sortMark_ = column;
  sortAscending_ = ascending;
  header_->update();
}

void TableGrid::setFindMark(int32_t row, int32_t column) {
  findRow_ = row;
  findColumn_ = column;
  header_->update();
  data_->update();
}

void TableGrid::scrollToCell(int32_t row, int32_t column) {
  if (column >= 1 && column <= model_.ColumnCount()) {
    // Scrolled out to the left, or reaching past the right edge: it becomes the first column shown.
    if (column <= model_.firstColumn || columnRight(model_, column) > layout_.data.width) ScrollToColumn(column - 1);
  }
  if (row >= 1 && row <= model_.RowCount()) {
    const int32_t page = pageRows();
    if (row <= model_.firstRow || row > model_.firstRow + page) ScrollToRow(std::max(0, row - 1 - page / 2));
  }
}

void TableGrid::SetBounds(const QRect& bounds) {
  setGeometry(bounds);
  Redraw();
}

void TableGrid::Redraw() {
  layOut();
  chengling::ScrollToRow(model_, layout_.rowCapacity, std::nullopt);
  chengling::ScrollToColumn(model_, layout_.header.width, std::nullopt);
  layOut();
  repaintAll();
}

void TableGrid::ScrollToRow(std::optional<int32_t> value, int32_t delta) {
  const int32_t before = model_.firstRow;
  chengling::ScrollToRow(model_, layout_.rowCapacity, value, delta);
  if (model_.firstRow != before) {
    data_->update();
    verticalBar_->update();
  }
}

void TableGrid::ScrollToColumn(std::optional<int32_t> value, int32_t delta) {
  const int32_t before = model_.firstColumn;
  chengling::ScrollToColumn(model_, layout_.header.width, value, delta);
  if (model_.firstColumn != before) {
    // Which columns show decides whether the horizontal bar is needed.
    layOut();
    repaintAll();
  }
}

void TableGrid::resizeEvent(QResizeEvent*) { Redraw(); }

void TableGrid::layOut() {
  layout_ = layOutGrid(model_, metrics_, width(), height());
  auto place = [](QWidget* panel, const GridRect& r) { panel->setGeometry(r.left, r.top, r.width, r.height); };
  place(header_, layout_.header);
  place(data_, layout_.data);
  place(verticalBar_, layout_.verticalBar);
  place(horizontalBar_, layout_.horizontalBar);
  verticalBar_->setVisible(layout_.verticalShown);
  horizontalBar_->setVisible(layout_.horizontalShown);
  verticalBar_->raise();
  horizontalBar_->raise();
}

void TableGrid::repaintAll() {
  header_->update();
  data_->update();
  verticalBar_->update();
  horizontalBar_->update();
}

int32_t TableGrid::pageRows() const { return std::max(1, static_cast<int32_t>(layout_.rowCapacity)); }

// ---- painting ----

void TableGrid::paintPanel(Panel which, QPainter& painter) const {
  switch (which) {
    case Panel::Header:
      paintHeader(painter);
      break;
    case Panel::Data:
      paintData(painter);
      break;
    case Panel::VerticalBar:
      paintBar(true, painter);
      break;
    case Panel::HorizontalBar:
      paintBar(false, painter);
      break;
  }
}

void TableGrid::paintHeader(QPainter& painter) const {
  const int32_t width = layout_.header.width;
  const int32_t height = layout_.header.height;
  painter.fillRect(0, 0, width, height, kBackground);
  painter.setFont(headerFont_);
  const int32_t baseline = (height + fontAscent_) / 2;
  int32_t left = 0;
  for (int32_t c = model_.firstColumn + 1; c <= model_.ColumnCount() && left < width; ++c) {
    const int32_t columnWidth = model_.GetColumnWidth(c);
    const QRect cell(left, 0, columnWidth, height);
    if (c == hotColumn_ || c == pressedColumn_) painter.fillRect(cell, kHotHeader);
    if (findRow_ == 0 && c == findColumn_) painter.fillRect(cell.adjusted(1, 1, -1, -1), kFindFill);
    painter.setPen(kFrame);
    painter.drawRect(cell.adjusted(0, 0, 0, -1));
    const bool marked = c == sortMark_;
    painter.setClipRect(cell.adjusted(1, 1, marked ? -1 - kSortMarkWidth : -1, -1));
    painter.setPen(kCellText);
    painter.drawText(left + 5, baseline, shownText(model_.GetColumnTitle(c)));
    painter.setClipping(false);
    if (marked && columnWidth > kSortMarkWidth) {
      // The triangle of the scroll-bar arrows, pointing up for ascending.
      painter.setClipRect(cell.adjusted(1, 1, -1, -1));
      painter.setRenderHint(QPainter::Antialiasing, true);
      painter.setPen(Qt::NoPen);
      painter.setBrush(kArrow);
      const double x = left + columnWidth - kSortMarkWidth / 2.0 - 1;
      const double y = height / 2.0;
      const double d = sortAscending_ ? -3 : 3;
      const QPointF points[3] = {{x, y + d}, {x - 4, y - d}, {x + 4, y - d}};
      painter.drawPolygon(points, 3);
      painter.setBrush(Qt::NoBrush);
      painter.setRenderHint(QPainter::Antialiasing, false);
      painter.setClipping(false);
    }
    left += columnWidth;
  }
  // Past the last column the header still closes the frame that the data area draws.
  painter.setPen(kFrame);
  if (left < width) painter.drawLine(left, height - 1, width - 1, height - 1);
  painter.drawLine(0, 0, 0, height - 1);
  painter.drawLine(width - 1, 0, width - 1, height - 1);
}

void TableGrid::paintData(QPainter& painter) const {
  const int32_t width = layout_.data.width;
  const int32_t height = layout_.data.height;
  painter.setPen(kFrame);
  painter.setBrush(kBackground);
  painter.drawRect(0, 0, width - 1, height - 1);
  painter.setBrush(Qt::NoBrush);
  painter.setFont(dataFont_);
  const QRect inside(1, 1, width - 2, height - 2);
  const int32_t rowHeight = metrics_.rowHeight;
  const int32_t lines = std::max(0, (height + rowHeight - 1) / rowHeight);
  const int32_t lastRow = std::min<int64_t>(model_.RowCount(), int64_t{model_.firstRow} + lines);
  const int32_t baselineOffset = (metrics_.glyphHeight + fontAscent_) / 2;

  int32_t left = 0;
  std::string cell;
  for (int32_t c = model_.firstColumn + 1; c <= model_.ColumnCount() && left < width; ++c) {
    const int32_t columnWidth = model_.GetColumnWidth(c);
    painter.setClipRect(QRect(left, 0, columnWidth, height) & inside);
    for (int32_t r = model_.firstRow + 1; r <= lastRow; ++r) {
      const int32_t line = r - model_.firstRow - 1;
      const CellPlacement at = placeCell(model_, metrics_, c, line, false);
      const bool selected = model_.isSelected(r);
      if (selected) painter.fillRect(at.cell.left, at.cell.top, at.cell.width, at.cell.height, kSelectedFill);
      if (r == findRow_ && c == findColumn_) {
        const QRect mark(at.cell.left, at.cell.top, at.cell.width, at.cell.height);
        painter.fillRect(mark, kFindFill);
        painter.setPen(kFindFrame);
        painter.drawRect(mark.adjusted(1, 1, -2, -2));
      }
      cell = model_.GetCell(r, c);
      if (cell.empty()) continue;
      painter.setPen(selected && !(r == findRow_ && c == findColumn_) ? kSelectedText : kCellText);
      painter.drawText(at.textX, at.textY + baselineOffset, shownText(clipCellText(model_, metrics_, width, c, cell)));
    }
    left += columnWidth;
  }
  painter.setClipping(false);
  painter.setPen(kGridLine);
  left = 0;
  for (int32_t c = model_.firstColumn + 1; c <= model_.ColumnCount() && left < width; ++c) {
    left += model_.GetColumnWidth(c);  // the left edge of the next column
    if (left >= 1 && left <= width - 1) painter.drawLine(left, 1, left, height - 2);
  }
}

BarGeometry TableGrid::barGeometryOf(bool vertical) const {
  if (vertical) {
    return barGeometry(layout_.verticalBar.height, metrics_.barSize, model_.RowCount(), layout_.rowCapacity,
                       model_.firstRow);
  }
  return barGeometry(layout_.horizontalBar.width, metrics_.barSize, model_.ColumnCount(), layout_.visibleColumns,
                     model_.firstColumn);
}

void TableGrid::paintBar(bool vertical, QPainter& painter) const {
  const GridRect& r = vertical ? layout_.verticalBar : layout_.horizontalBar;
  painter.fillRect(0, 0, r.width, r.height, kBarBackground);
  const BarGeometry bar = barGeometryOf(vertical);
  const BarDrag& drag = vertical ? verticalDrag_ : horizontalDrag_;
  const int32_t side = metrics_.barSize;
  // A rectangle along the bar from `start` to `end`, across its whole thickness.
  auto along = [&](int32_t start, int32_t end) {
    return vertical ? QRect(0, start, r.width, end - start) : QRect(start, 0, end - start, r.height);
  };
  auto part = [&](BarPart which, const QRect& rect) {
    painter.fillRect(rect, drag.pressed == which ? kBarPartPressed : kBarPart);
    painter.setPen(kFrame);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
  };
  part(BarPart::Back, along(0, side));
  part(BarPart::Forward, along(bar.length - side, bar.length));
  if (bar.thumbEnd > bar.thumbStart) part(BarPart::Thumb, along(bar.thumbStart, bar.thumbEnd));

  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kArrow);
  const double mid = side / 2.0;
  auto arrow = [&](double centre, bool forward) {
    const double d = forward ? 3 : -3;
    QPointF points[3];
    if (vertical) {
      points[0] = {mid, centre + d};
      points[1] = {mid - 4, centre - d};
      points[2] = {mid + 4, centre - d};
    } else {
      points[0] = {centre + d, mid};
      points[1] = {centre - d, mid - 4};
      points[2] = {centre - d, mid + 4};
    }
    painter.drawPolygon(points, 3);
  };
  arrow(mid, false);
  arrow(bar.length - mid, true);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setBrush(Qt::NoBrush);
}

// ---- mouse ----

void TableGrid::mouseEvent(Panel which, QMouseEvent* event) {
  switch (which) {
    case Panel::Header:
      headerMouse(event);
      break;
    case Panel::Data:
      dataMouse(event);
      break;
    case Panel::VerticalBar:
      barMouse(true, event);
      break;
    case Panel::HorizontalBar:
      barMouse(false, event);
      break;
  }
}

void TableGrid::setHotColumn(int32_t column) {
  if (column == hotColumn_) return;
  hotColumn_ = column;
  header_->update();
}

void TableGrid::headerMouse(QMouseEvent* event) {
  const int32_t x = static_cast<int32_t>(event->position().x());
  switch (event->type()) {
    case QEvent::MouseMove:
      if (headerDrag_.startX >= 1) {
        if (headerDragTo(model_, headerDrag_, x)) {
          header_->update();
          data_->update();
          // A width change may show or hide the horizontal bar.
          const bool shown = layout_.horizontalShown;
          layOut();
          if (shown != layout_.horizontalShown) repaintAll();
        }
        return;
      }
      setHotColumn(columnAtX(model_, x));
      resizeHot_ = resizeHotAt(model_, hotColumn_, x);
      header_->setCursor(resizeHot_ ? Qt::SizeHorCursor : Qt::ArrowCursor);
      return;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      if (event->button() != Qt::LeftButton) return;
      // A press without a move before it (a touch, a test) still finds its column and border.
      setHotColumn(columnAtX(model_, x));
      resizeHot_ = resizeHotAt(model_, hotColumn_, x);
      const int32_t column = headerPress(model_, headerDrag_, resizeHot_, x);
      if (resizeHot_) return;
      pressedColumn_ = column;
      header_->repaint();
      if (column > 0) {
        // The release is applied at once: the menu takes the pointer from here on.
        pressedColumn_ = 0;
        header_->update();
        emit sortRequested(column, event->globalPosition().toPoint());
      }
      return;
    }
    case QEvent::MouseButtonRelease:
      if (event->button() != Qt::LeftButton) return;
      headerRelease(headerDrag_);
      pressedColumn_ = 0;
      if (!resizeHot_) setHotColumn(columnAtX(model_, x));
      header_->update();
      return;
    default:
      return;
  }
}

void TableGrid::dataMouse(QMouseEvent* event) {
  const int32_t x = static_cast<int32_t>(event->position().x());
  const int32_t y = static_cast<int32_t>(event->position().y());
  const int32_t rowHere = rowAtY(model_, metrics_, layout_.data.height, y);
  switch (event->type()) {
    case QEvent::MouseMove:
      hover(x, y);
      return;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (event->button() == Qt::LeftButton) {
        pressedRow_ = rowHere;
      } else if (event->button() == Qt::RightButton) {
        model_.selectOnRelease(selectionMode_, rowHere, rowHere, SelectKeys::None);
        pressedRow_ = 0;
        data_->update();
        // No row under the pointer: nothing is copied and no beep sounds.
        if (rowHere > 0) {
          writeClipboard(rowCopyText(model_));
          QApplication::beep();
        }
      }
      return;
    case QEvent::MouseButtonRelease: {
      if (event->button() != Qt::LeftButton) return;
      SelectKeys keys = SelectKeys::None;
      if (event->modifiers().testFlag(Qt::ControlModifier)) keys = SelectKeys::Ctrl;
      if (event->modifiers().testFlag(Qt::ShiftModifier)) keys = SelectKeys::Shift;
      model_.selectOnRelease(selectionMode_, rowHere, pressedRow_, keys);
      pressedRow_ = 0;
      data_->update();
      return;
    }
    default:
      return;
  }
}

void TableGrid::hover(int32_t x, int32_t y) {
  const int32_t column = columnAtX(model_, x);
  const int32_t row = rowAtY(model_, metrics_, layout_.data.height, y);
  if (column == hoverColumn_ && row == hoverRow_) return;
  hoverColumn_ = column;
  hoverRow_ = row;
  if (column < 1 || row < 1) {
    tip_->RemoveTool(data_);
    return;
  }
  const std::string text = model_.GetCell(row, column);
  if (clipCellText(model_, metrics_, layout_.data.width, column, text) != text) {
    tip_->RemoveTool(data_);
    tip_->AddTool(data_, shownText(text), false);
  } else {
    tip_->RemoveTool(data_);
  }
}

void TableGrid::barMouse(bool vertical, QMouseEvent* event) {
  const int32_t coordinate = static_cast<int32_t>(vertical ? event->position().y() : event->position().x());
  BarDrag& drag = vertical ? verticalDrag_ : horizontalDrag_;
  QWidget* bar = vertical ? static_cast<QWidget*>(verticalBar_) : horizontalBar_;
  const int64_t total = vertical ? model_.RowCount() : model_.ColumnCount();
  const double page = vertical ? layout_.rowCapacity : layout_.visibleColumns;
  const int32_t value = vertical ? model_.firstRow : model_.firstColumn;
  auto scrollTo = [&](int32_t wanted) {
    if (vertical) {
      ScrollToRow(wanted);
    } else {
      ScrollToColumn(wanted);
    }
  };
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
      const bool right = event->button() == Qt::RightButton;
      const std::optional<int32_t> wanted =
          barPress(drag, barGeometryOf(vertical), right, coordinate, value, total, page);
      lastDragCoordinate_ = coordinate;
      if (wanted) scrollTo(*wanted);
      bar->update();
      return;
    }
    case QEvent::MouseMove: {
      if (coordinate == lastDragCoordinate_) return;
      const std::optional<int32_t> wanted = barDragTo(drag, barGeometryOf(vertical), coordinate, total);
      if (!wanted) return;
      lastDragCoordinate_ = coordinate;
      scrollTo(*wanted);
      bar->update();
      return;
    }
    case QEvent::MouseButtonRelease:
      barRelease(drag);
      lastDragCoordinate_ = -1;
      bar->update();
      return;
    default:
      return;
  }
}

// ---- wheel and keys ----

void TableGrid::wheelEvent(QWheelEvent* event) {
  const QPoint delta = event->angleDelta();
  const bool columns = event->modifiers().testFlag(Qt::ShiftModifier) || (delta.y() == 0 && delta.x() != 0);
  const int notches = (delta.y() != 0 ? delta.y() : delta.x()) / 120;
  if (notches == 0) {
    event->ignore();
    return;
  }
  if (columns) {
    ScrollToColumn(std::nullopt, -notches);
  } else {
    ScrollToRow(std::nullopt, -notches * kWheelRows);
  }
  event->accept();
}

void TableGrid::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up:
      ScrollToRow(std::nullopt, -1);
      break;
    case Qt::Key_Down:
      ScrollToRow(std::nullopt, 1);
      break;
    case Qt::Key_PageUp:
      ScrollToRow(std::nullopt, -pageRows());
      break;
    case Qt::Key_PageDown:
      ScrollToRow(std::nullopt, pageRows());
      break;
    case Qt::Key_Home:
      ScrollToRow(0);
      break;
    case Qt::Key_End:
      ScrollToRow(model_.RowCount());
      break;
    case Qt::Key_Left:
      ScrollToColumn(std::nullopt, -1);
      break;
    case Qt::Key_Right:
      ScrollToColumn(std::nullopt, 1);
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

}  // namespace chengling
