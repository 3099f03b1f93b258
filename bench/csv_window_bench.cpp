// The CSV page measured as a user drives it, on Qt's offscreen platform:
//   csv_window_bench import FILE             a drop of FILE on the page, until the grid shows it
//   csv_window_bench sort FILE COLUMN ORDER  that import, then ORDER (0-6, menu order) chosen from the
//                                            menu of COLUMN's title, until the grid shows the rows
//   csv_window_bench paint FILE [REPEATS]    that import, then the grid (1280x800) painted into an
//                                            image, scrolled to the start, the middle and the end
//   csv_window_bench filter FILE COLUMN TEST VALUE
//                                            that import, then one condition (TEST 0-7, list order)
//                                            added in the filter bar, until the grid shows the rows
//   csv_window_bench find FILE TEXT          that import, then TEXT found from the find bar (the
//                                            search, then the median of 50 steps to the next match)
//   csv_window_bench pauses FILE             that import, 按数值排序 of column 2, a filter of column 2
//                                            above 5000000 and a find of 好评 with a step, each with
//                                            the longest time the window's thread went without
//                                            running its event loop (a 5 ms timer on it)
//   csv_window_bench picture FILE OUT.png    that import, a sort, a filter of column 4 above 20 and a
//                                            find of "好", saved as a picture of the page (for docs/)
// Each prints the seconds of its last step on standard output ("paint" the median and the spread
// of one paint per position, in milliseconds); csv_window_bench.sh runs them against chengling-cli.
// "paint" with a fourth argument FIND paints with a filter (column 2 above 0) and the first match of
// FIND highlighted.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/qt_text.h"
#include "shell/drop_target.h"
#include "tools/csv_table/csv_table_window.h"
#include "tools/csv_table/grid_geometry.h"
#include "tools/csv_table/table_grid.h"

namespace {

using chengling::CsvTableTool;
using chengling::TableGrid;

void waitIdle(const CsvTableTool& tool) {
  while (tool.running()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QCoreApplication::processEvents();
}

bool importFile(CsvTableTool& tool, const char* file) {
  if (!chengling::DropTarget::deliverTo(&tool, {chengling::pathFromQString(QString::fromLocal8Bit(file))})) {
    return false;
  }
  while (!tool.running()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  waitIdle(tool);
  return tool.grid()->model().RowCount() > 0;
}

double sortFromMenu(CsvTableTool& tool, int column, int order) {
  TableGrid* grid = tool.grid();
  const int x = chengling::columnLeft(grid->model(), column) + grid->model().GetColumnWidth(column) / 2;
  QElapsedTimer timer;
  timer.start();
  QTest::mousePress(grid->panel(TableGrid::Panel::Header), Qt::LeftButton, {}, QPoint(x, 12));
  QMenu* menu = tool.sortMenu();
  QAction* item = menu->actions().value(order);
  if (item == nullptr) return -1;
  item->trigger();
  menu->hide();
  waitIdle(tool);
  return timer.nsecsElapsed() / 1e9;
}

template <typename T>
T* control(CsvTableTool& tool, const char* name) {
  return tool.findChild<T*>(QString::fromUtf8(name));
}

void type(QWidget* edit, const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() < 0x80) {
      QTest::keyClick(edit, c.toLatin1());
    } else {
      QInputMethodEvent event;
      event.setCommitString(QString(c));
      QApplication::sendEvent(edit, &event);
    }
  }
}

// The longest gap between two turns of the window thread's event loop: a timer due every 5 ms on
// that thread notes how late each of its calls comes.
class PauseWatch : public QObject {
 public:
  PauseWatch() {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
  }
  void begin() {
    longest_ = 0;
    clock_.start();
    last_ = 0;
    timer_.start(5);
  }
  // The longest gap since begin(), in milliseconds.
  double end() {
    tick();
    timer_.stop();
    return longest_ / 1e6;
  }

 private:
  void tick() {
    const qint64 now = clock_.nsecsElapsed();
    longest_ = std::max(longest_, now - last_);
    last_ = now;
  }
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 longest_ = 0;
};

// One condition through the filter bar; the seconds from the click to the rows shown.
// With `watch`, its watch starts right before that click.
double filterFromBar(CsvTableTool& tool, int column, int test, const QString& value, PauseWatch* watch = nullptr) {
  if (tool.filterBar()->isHidden()) QTest::mouseClick(control<QPushButton>(tool, "按钮筛选"), Qt::LeftButton);
  control<QComboBox>(tool, "组合框筛选列")->setCurrentIndex(column - 1);
  control<QComboBox>(tool, "组合框筛选条件")->setCurrentIndex(test);
  auto* edit = control<QLineEdit>(tool, "编辑框筛选值");
  edit->clear();
  type(edit, value);
  QCoreApplication::processEvents();
  if (watch != nullptr) watch->begin();
  QElapsedTimer timer;
  timer.start();
  QTest::mouseClick(control<QPushButton>(tool, "按钮添加条件"), Qt::LeftButton);
  waitIdle(tool);
  return timer.nsecsElapsed() / 1e9;
}

// The seconds of the search that the first Enter starts; with `watch`, its watch starts right before.
double findFromBar(CsvTableTool& tool, const QString& text, PauseWatch* watch = nullptr) {
  QTest::keyClick(tool.grid(), Qt::Key_F, Qt::ControlModifier);
  auto* edit = control<QLineEdit>(tool, "编辑框查找内容");
  edit->clear();
  type(edit, text);
  QCoreApplication::processEvents();
  if (watch != nullptr) watch->begin();
  QElapsedTimer timer;
  timer.start();
  QTest::keyClick(edit, Qt::Key_Return);
  waitIdle(tool);
  return timer.nsecsElapsed() / 1e9;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int paint(CsvTableTool& tool, int repeats) {
  TableGrid* grid = tool.grid();
  grid->SetBounds(QRect(0, 0, 1280, 800));
  QImage image(grid->size(), QImage::Format_RGB32);
  const int32_t rows = grid->model().RowCount();
  const struct {
    const char* name;
    int32_t firstRow;
  } kPositions[] = {{"start", 0}, {"middle", rows / 2}, {"end", rows}};
  for (const auto& position : kPositions) {
    grid->ScrollToRow(position.firstRow);
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
      QElapsedTimer timer;
      timer.start();
      grid->render(&image);
      times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("%s %.3f %.3f %.3f\n", position.name, median(times), *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string mode = argc >= 3 ? argv[1] : "";
  if (mode != "import" && mode != "sort" && mode != "paint" && mode != "filter" && mode != "find" &&
      mode != "picture" && mode != "pauses") {
    std::fprintf(stderr,
                 "usage: csv_window_bench import|sort|paint|filter|find|picture|pauses FILE [COLUMN ORDER | REPEATS [FIND] |"
                 " COLUMN TEST VALUE | TEXT | OUT.png]\n");
    return 2;
  }
  CsvTableTool tool;
  if (mode == "picture") {
    tool.resize(972, 560);
  } else {
    tool.resize(1300, 900);
  }
  tool.show();
  tool.activateWindow();
  // The window's first layout and paint are done before anything is timed.
  if (!QTest::qWaitForWindowExposed(&tool)) {
    std::fprintf(stderr, "csv_window_bench: the window was never shown\n");
    return 1;
  }
  QTest::qWait(50);
  tool.grab();
  PauseWatch watch;
  watch.begin();
  QElapsedTimer timer;
  timer.start();
  if (!importFile(tool, argv[2])) {
    std::fprintf(stderr, "csv_window_bench: nothing imported from %s\n", argv[2]);
    return 1;
  }
  if (mode == "import") {
    std::printf("%.6f\n", timer.nsecsElapsed() / 1e9);
    return 0;
  }
  if (mode == "pauses") {
    // Each line: the step, its seconds, the longest pause of the window's thread in milliseconds.
    std::printf("import %.3f %.1f\n", timer.nsecsElapsed() / 1e9, watch.end());
    watch.begin();
    const double sorted = sortFromMenu(tool, 2, 4);
    std::printf("sort %.3f %.1f\n", sorted, watch.end());
    const double filtered = filterFromBar(tool, 2, 4, QStringLiteral("5000000"), &watch);
    std::printf("filter %.3f %.1f\n", filtered, watch.end());
    const double found = findFromBar(tool, QString::fromUtf8("好评"), &watch);
    std::printf("find %.3f %.1f\n", found, watch.end());
    watch.begin();
    QElapsedTimer step;
    step.start();
    QTest::keyClick(tool.grid(), Qt::Key_F3);
    QCoreApplication::processEvents();
    std::printf("step %.3f %.1f\n", step.nsecsElapsed() / 1e9, watch.end());
    return 0;
  }
  if (mode == "paint") {
    if (argc >= 5) {
      filterFromBar(tool, 2, 4, QStringLiteral("0"));
      findFromBar(tool, QString::fromLocal8Bit(argv[4]));
    }
    return paint(tool, argc >= 4 ? std::atoi(argv[3]) : 50);
  }
  if (mode == "filter" && argc >= 6) {
    std::printf("%.6f\n", filterFromBar(tool, std::atoi(argv[3]), std::atoi(argv[4]), QString::fromLocal8Bit(argv[5])));
    return 0;
  }
  if (mode == "find" && argc >= 4) {
    const double search = findFromBar(tool, QString::fromLocal8Bit(argv[3]));
    std::vector<double> steps;
    for (int i = 0; i < 50; ++i) {
      QElapsedTimer timer;
      timer.start();
      QTest::keyClick(tool.grid(), Qt::Key_F3);
      QCoreApplication::processEvents();
      steps.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::printf("%.6f %.6f\n", search, median(steps));
    return 0;
  }
  if (mode == "picture" && argc >= 4) {
    sortFromMenu(tool, 4, 4);
    sortFromMenu(tool, 4, 4);  // ascending: the arrow points up
    filterFromBar(tool, 4, 4, QStringLiteral("20"));
    findFromBar(tool, QString::fromUtf8("好"));
    QTest::keyClick(tool.grid(), Qt::Key_F3);
    QCoreApplication::processEvents();
    QTest::qWait(300);
    return tool.grab().save(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
  }
  if (argc < 5) return 2;
  const double seconds = sortFromMenu(tool, std::atoi(argv[3]), std::atoi(argv[4]));
  std::printf("%.6f\n", seconds);
  return seconds < 0 ? 1 : 0;
}
