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
#include "shell/start_button.h"
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

// The words of this page: the captions of its two start buttons (an export cannot be stopped
// half-way: a click on it while it runs changes nothing), the other captions and tooltips, the
// dialogs' titles, filter and help.
const StartCaptions kImportCaptions{u"导入csv文件"_s, u"正在导入.."_s, u"停止中.."_s};
const StartCaptions kExportCaptions{u"导出"_s, u"导出中.."_s, u"导出中.."_s};
const QString kPasteCaption = u"粘贴csv数据"_s;
const QString kCopyCaption = u"复制"_s;
const QString kCopiedCaption = u"已复制"_s;
const QString kHelpButtonCaption = u"什么是csv文件？"_s;
const QString kImportTip = u"选择一个或多个 csv、txt 文件导入，后面文件的行接在第一个文件的表头下；"
                           u"按住 Ctrl 导入时第一行也作为数据。导入中再点一下停止"_s;
const QString kPasteTip = u"把剪贴板里的表格文本导入，替换现在的表格；按住 Ctrl 时第一行也作为数据"_s;
const QString kExportTip =
    u"把表格写入文件，编码与第一个导入的文件相同：文件名以 .csv 结尾时每项加引号，否则只用逗号隔开"_s;
const QString kCopyTip = u"把全部数据行（不含表头）以加引号的 csv 文本复制到剪贴板"_s;
const QString kHelpTip = u"csv 文件是什么样的，怎样从表格软件得到"_s;
const QString kIdleStatus = u"尚未导入，可拖入文件"_s;
const QString kImportTitle = u"可以选择多个文件合并导入："_s;
const QString kFileFilter = u"csv文件|*.csv|txt文件|*.txt|全部文件|*.*"_s;
const QString kHelpCaption = u"什么是csv文件"_s;
const QString kHelpText =
    u"csv是一种文本表格，能被Excel或wps表格软件兼容显示为多列多行的表格数据。\r\n"
    u"比如：\"#评论#\",\"#时间#\",\"#昵称#\"，这种格式就是csv格式，使用引号围住每个项目，多个项目使用"
    u"逗号隔开，然后文件扩展名填为csv即可。\r\n\r\n"
    u"Excel或wps表格另存为csv文件即可导入本软件进行排序。如果你的csv数据没有表头又需要显示表头的话，"
    u"可以在导入时按住Ctrl键。\r\n\r\n"
    u"点击表头列即可排序。"_s;

}  // namespace

CsvTableTool::CsvTableTool(QWidget* parent) : QWidget(parent) {
  setObjectName(u"CsvTableTool"_s);
  // Created before the grid: the worker is stopped and waited for before the table it reads goes.
  panel_ = new RunPanel(this);

  import_ = makeButton(u"按钮导入文本表格"_s, kImportCaptions.idle);
  paste_ = makeButton(u"按钮粘贴文本表格"_s, kPasteCaption);
  export_ = makeButton(u"按钮导出文本表格"_s, kExportCaptions.idle);
  copy_ = makeButton(u"按钮复制文本表格"_s, kCopyCaption);
  help_ = makeButton(u"按钮什么是csv文件"_s, kHelpButtonCaption);
  for (QPushButton* button : {import_, paste_, export_, copy_, help_}) button->setParent(this);
  import_->setToolTip(kImportTip);
  paste_->setToolTip(kPasteTip);
  export_->setToolTip(kExportTip);
  copy_->setToolTip(kCopyTip);
  help_->setToolTip(kHelpTip);
  panel_->makeProgressBar();
  panel_->statusLabel()->setAccessibleName(u"状态"_s);
  showProgress(false);
  showStatus(kIdleStatus, true);
  named(new QLabel(this), u"标签1"_s)->hide();

  grid_ = new TableGrid(this);
  menu_ = named(new QMenu(this), u"菜单"_s);
  menu_->setAccessibleName(u"排序方式"_s);
  for (int k = 0; k < kSortOrderCount; ++k) {
    QAction* item = menu_->addAction(toQString(kSortOrderNames[k]));
    item->setObjectName(item->text());
    connect(item, &QAction::triggered, this, [this, k] { sortChosen(static_cast<SortOrder>(k)); });
  }

  importStart_ = panel_->addStartButton(import_, kImportCaptions);
  exportStart_ = panel_->addStartButton(export_, kExportCaptions);
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
  PathList paths = pathListFromText(chooseFiles(this, kImportTitle, kFileFilter));
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
  const std::string path = ChooseSaveFile(this, kExportCaptions.idle, kFileFilter);
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
        FlashCaption(copy_, kCopiedCaption, kCopyCaption);
      });
}

void CsvTableTool::helpClicked() {
  ShowInputDialog(kHelpText, std::nullopt, kHelpCaption, this, nullptr);
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
