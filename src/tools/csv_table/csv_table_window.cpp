#include "tools/csv_table/csv_table_window.h"

#include <QLabel>
#include <QPalette>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "platform/clipboard.h"
#include "platform/dialogs.h"
#include "platform/keyboard.h"
#include "platform/message_box.h"
#include "platform/qt_text.h"
#include "shell/controls.h"
#include "shell/drop_target.h"
#include "shell/input_dialog.h"
#include "shell/run_panel.h"
#include "shell/window_utils.h"
#include "tools/csv_table/grid_geometry.h"
#include "tools/csv_table/table_grid.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

constexpr int kMargin = 10;
constexpr int kButtonHeight = 30;
constexpr int kButtonPadding = 24;
constexpr int kMinimumButtonWidth = 90;
// Widest a column is made by fitting it to its contents after an import.
constexpr int32_t kFitMaximum = 600;

}  // namespace

CsvTableTool::CsvTableTool(QWidget* parent) : QWidget(parent) {
  setObjectName(u"CsvTableTool"_s);
  // Created before the grid: the worker is stopped and waited for before the table it reads goes.
  panel_ = new RunPanel(this);

  import_ = makeButton(u"按钮导入文本表格"_s, toQString(kCsvImportIdleCaption));
  paste_ = makeButton(u"按钮粘贴文本表格"_s, toQString(kCsvPasteCaption));
  export_ = makeButton(u"按钮导出文本表格"_s, toQString(kCsvExportCaption));
  copy_ = makeButton(u"按钮复制文本表格"_s, toQString(kCsvCopyCaption));
  help_ = makeButton(u"按钮什么是csv文件"_s, toQString(kCsvHelpButtonCaption));
  for (QPushButton* button : {import_, paste_, export_, copy_, help_}) button->setParent(this);
  import_->setToolTip(toQString(kCsvImportTip));
  paste_->setToolTip(toQString(kCsvPasteTip));
  export_->setToolTip(toQString(kCsvExportTip));
  copy_->setToolTip(toQString(kCsvCopyTip));
  help_->setToolTip(toQString(kCsvHelpTip));
  panel_->makeProgressBar();
  panel_->statusLabel()->setAccessibleName(u"状态"_s);
  showProgress(false);
  showStatus(toQString(kCsvIdleStatus), true);
  named(new QLabel(this), u"标签1"_s)->hide();

  grid_ = new TableGrid(this);
  menu_ = named(new QMenu(this), u"菜单"_s);
  menu_->setAccessibleName(u"排序方式"_s);
  for (int k = 0; k < kSortOrderCount; ++k) {
    QAction* item = menu_->addAction(toQString(kSortOrderNames[k]));
    item->setObjectName(item->text());
    connect(item, &QAction::triggered, this, [this, k] { sortChosen(static_cast<SortOrder>(k)); });
  }

  importStart_ = panel_->addStartButton(import_, {toQString(kCsvImportIdleCaption), toQString(kCsvImportRunningCaption),
                                                  toQString(kCsvImportStoppingCaption)});
  // An export cannot be stopped half-way: a click on it while it runs changes nothing.
  exportStart_ = panel_->addStartButton(
      export_, {toQString(kCsvExportCaption), toQString(kCsvExportingCaption), toQString(kCsvExportingCaption)});
  panel_->disableWhileRunning({import_, paste_, export_, copy_});

  connect(import_, &QPushButton::clicked, this, &CsvTableTool::importClicked);
  connect(paste_, &QPushButton::clicked, this, &CsvTableTool::pasteClicked);
  connect(export_, &QPushButton::clicked, this, &CsvTableTool::exportClicked);
  connect(copy_, &QPushButton::clicked, this, &CsvTableTool::copyClicked);
  connect(help_, &QPushButton::clicked, this, &CsvTableTool::helpClicked);
  connect(grid_, &TableGrid::sortRequested, this, &CsvTableTool::showSortMenu);
  new DropTarget(this, u"拖放对象1"_s, [this] { return !running(); },
                 [this](PathList paths, Qt::KeyboardModifiers modifiers) {
                   importPaths(std::move(paths), modifiers.testFlag(Qt::ControlModifier));
                 });
  resize(952, 518);
  placeControls();
}

CsvTableTool::~CsvTableTool() = default;

bool CsvTableTool::running() const { return panel_->running(); }

void CsvTableTool::resizeEvent(QResizeEvent*) { placeControls(); }

void CsvTableTool::placeControls() {
  int x = kMargin;
  for (QPushButton* button : {import_, paste_, export_, copy_, help_}) {
    const int width = std::max(kMinimumButtonWidth, button->sizeHint().width() + kButtonPadding);
    button->setGeometry(x, kMargin, width, kButtonHeight);
    x += width + kMargin;
  }
  QProgressBar* bar = panel_->progressBar();
  bar->setGeometry(x, kMargin + (kButtonHeight - bar->height()) / 2, std::max(0, width() - x - kMargin), bar->height());
  const int top = import_->geometry().bottom() + 1 + kMargin;
  grid_->SetBounds(QRect(kMargin, top, std::max(0, width() - 2 * kMargin), std::max(0, height() - top - kMargin)));
}

// ---- status ----

void CsvTableTool::showProgress(bool importing) {
  // Between imports the box is a status line: no frame, no field, the page's own background.
  panel_->progressBar()->setStyleSheet(
      importing ? QString()
                : u"QProgressBar { border: none; background: transparent; }"
                  u" QProgressBar::chunk { background: transparent; }"_s);
}

void CsvTableTool::showStatus(const QString& text, bool hint) {
  QLabel* label = panel_->statusLabel();
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, palette().color(hint ? QPalette::PlaceholderText : QPalette::WindowText));
  label->setPalette(colours);
  label->setText(text);
}

// ---- import ----

void CsvTableTool::importClicked() {
  if (panel_->busyClick(importStart_)) return;
  PathList paths = pathListFromText(chooseFiles(this, toQString(kCsvImportTitle), toQString(kCsvFileFilter)));
  importPaths(std::move(paths), ctrlHeld());
}

void CsvTableTool::importPaths(PathList paths, bool numberedTitles) {
  if (running()) return;
  if (paths.empty() || paths.front().empty()) return;
  CsvImportOptions options{std::move(paths), numberedTitles};
  startImport(importStart_, [options = std::move(options)](TableModel& table, RunContext& ctx) {
    return ImportCsvFiles(options, table, ctx);
  });
}

void CsvTableTool::pasteClicked() {
  if (running()) return;
  auto text = std::make_shared<const std::string>(readClipboard());
  const bool numberedTitles = ctrlHeld();
  startImport(nullptr, [text, numberedTitles](TableModel& table, RunContext& ctx) {
    CsvImportOutcome outcome = ImportCsvText(*text, numberedTitles, table, ctx);
    // Clipboard text is the desktop's, which is UTF-8 here.
    outcome.encoding = TextEncoding::Utf8;
    return outcome;
  });
}

void CsvTableTool::startImport(StartButton* start, ImportJob job) {
  if (running()) return;
  struct Imported {
    TableModel table;
    CsvImportOutcome outcome;
  };
  // The previous table leaves the grid now and is freed on the worker.
  auto previous = std::make_shared<TableModel>(std::move(grid_->model()));
  grid_->setModel(TableModel());
  const GridMetrics metrics = grid_->metrics();
  showStatus(QString(), false);
  showProgress(true);
  const bool started = panel_->start(
      start,
      [previous, job = std::move(job), metrics](RunContext& ctx) {
        *previous = TableModel();
        Imported imported;
        imported.outcome = job(imported.table, ctx);
        AutoFitColumns(imported.table, metrics, FitMode::HeaderAndCells, 0, kFitMaximum);
        return imported;
      },
      [this](Imported& imported, bool) {
        grid_->setModel(std::move(imported.table));
        encoding_ = imported.outcome.encoding;
        showProgress(false);
        panel_->progressBar()->setValue(0);
        showStatus(toQString(csvImportSummary(imported.outcome)), false);
        // Unclosed quotes are told in the status line; a dialog only when files could not be read,
        // and then it lists those notes too.
        if (!panel_->failures().isEmpty()) {
          panel_->showFailures(u"以下文件未能导入："_s, u"以下文件中有没有闭合的引号，已把引号当作普通字符导入："_s);
        }
      });
  if (!started) showProgress(false);
}

// ---- export and copy ----

void CsvTableTool::exportClicked() {
  if (panel_->busyClick(exportStart_)) return;
  const std::string path = ChooseSaveFile(this, toQString(kCsvExportCaption), toQString(kCsvFileFilter));
  if (path.empty()) return;
  struct Written {
    bool ok = false;
    std::string error;
  };
  const TableModel* table = &grid_->model();
  panel_->start(
      exportStart_,
      [table, path, encoding = encoding_](RunContext&) {
        Written written;
        written.ok = ExportCsv(*table, path, encoding, &written.error);
        return written;
      },
      [this, path](const Written& written, bool) {
        if (written.ok) {
          showMessage(this, toQString(csvExportedMessage(path)));
        } else {
          showMessage(this, toQString(csvExportFailedMessage(path, written.error)), {}, MessageIcon::Warning);
        }
      });
}

void CsvTableTool::copyClicked() {
  if (running()) return;
  const TableModel* table = &grid_->model();
  panel_->start(
      nullptr, [table](RunContext&) { return copyText(*table); },
      [this](const std::string& text, bool) {
        writeClipboard(text);
        FlashCaption(copy_, toQString(kCsvCopiedCaption), toQString(kCsvCopyCaption));
      });
}

void CsvTableTool::helpClicked() {
  ShowInputDialog(toQString(kCsvHelpText), std::nullopt, toQString(kCsvHelpCaption), this, nullptr);
}

// ---- sort ----

void CsvTableTool::showSortMenu(int column, const QPoint& at) {
  sortColumn_ = column;
  if (running()) return;
  menu_->popup(at);
}

void CsvTableTool::sortChosen(SortOrder order) {
  const int column = sortColumn_;
  if (running() || column < 1 || column > grid_->model().ColumnCount()) return;
  const std::string title = grid_->model().GetColumnTitle(column);
  grid_->model().SetColumnTitle(column, title + kSortingMarker);
  grid_->panel(TableGrid::Panel::Header)->repaint();
  const SortDirection direction = direction_.take();
  const TableModel* table = &grid_->model();
  panel_->start(
      nullptr,
      [table, column, order, direction](RunContext&) { return sortedRowOrder(*table, column, order, direction); },
      [this, column, title](const std::vector<int32_t>& rowOrder, bool) {
        applyRowOrder(grid_->model(), rowOrder);
        grid_->model().SetColumnTitle(column, title);
        grid_->Redraw();
      });
}

}  // namespace chengling
