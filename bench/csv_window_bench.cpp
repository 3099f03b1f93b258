// The CSV page measured as a user drives it, on Qt's offscreen platform:
//   csv_window_bench import FILE             a drop of FILE on the page, until the grid shows it
//   csv_window_bench sort FILE COLUMN ORDER  that import, then ORDER (0-6, menu order) chosen from the
//                                            menu of COLUMN's title, until the grid shows the rows
//   csv_window_bench paint FILE [REPEATS]    that import, then the grid (1280x800) painted into an
//                                            image, scrolled to the start, the middle and the end
// Each prints the seconds of its last step on standard output ("paint" the median and the spread
// of one paint per position, in milliseconds); csv_window_bench.sh runs them against chengling-cli.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QTest>

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
  if (mode != "import" && mode != "sort" && mode != "paint") {
    std::fprintf(stderr, "usage: csv_window_bench import|sort|paint FILE [COLUMN ORDER | REPEATS]\n");
    return 2;
  }
  CsvTableTool tool;
  tool.resize(1300, 900);
  tool.show();
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
  if (mode == "paint") return paint(tool, argc >= 4 ? std::atoi(argv[3]) : 50);
  if (argc < 5) return 2;
  const double seconds = sortFromMenu(tool, std::atoi(argv[3]), std::atoi(argv[4]));
  std::printf("%.6f\n", seconds);
  return seconds < 0 ? 1 : 0;
}
