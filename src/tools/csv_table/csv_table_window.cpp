#include "tools/csv_table/csv_table_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QPainter>
#include <QPixmap>
#include <QShortcut>

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
// A sort runs through the import button, which stops it.
const StartCaptions kSortCaptions{u"导入csv文件"_s, u"停止排序"_s, u"停止中.."_s};
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
const QString kFindCaption = u"查找"_s;
const QString kFilterCaption = u"筛选"_s;
const QString kFindTip = u"查找：在表头和显示的各行中查找文字（Ctrl+F）：回车或 F3 找下一个，Shift+F3 找上一个，Esc 关闭"_s;
const QString kFilterTip = u"筛选：只显示符合条件的行；导出和复制也只写显示的行"_s;
const StartCaptions kFilterCaptions{u"添加条件"_s, u"停止筛选"_s, u"停止中.."_s};
const QString kFilterAddTip = u"把这个条件加到筛选中，并按全部条件重新筛选"_s;
const QString kFindingText = u"正在查找.."_s;
const QString kFindStoppedText = u"查找已停止"_s;
constexpr int kBarHeight = 30;
constexpr int kIconButtonWidth = 26;
constexpr int kIconButtonGap = 3;

// The pictures of the find and filter buttons, drawn in the grid's arrow colour: a magnifier and
// a funnel.
QIcon drawnIcon(bool funnel) {
  QPixmap picture(32, 32);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QColor ink(96, 96, 96);
  if (funnel) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    const QPointF points[6] = {{4, 5}, {28, 5}, {18.5, 16}, {18.5, 27}, {13.5, 24}, {13.5, 16}};
    painter.drawPolygon(points, 6);
  } else {
    painter.setPen(QPen(ink, 3.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(4, 4, 16, 16));
    painter.setPen(QPen(ink, 4.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(18.5, 18.5), QPointF(27, 27));
  }
  return QIcon(picture);
}
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
  find_ = makeButton(u"按钮查找"_s, QString());
  filter_ = makeButton(u"按钮筛选"_s, QString());
  find_->setAccessibleName(kFindCaption);
  filter_->setAccessibleName(kFilterCaption);
  find_->setIcon(drawnIcon(false));
  filter_->setIcon(drawnIcon(true));
  filter_->setCheckable(true);
  for (QPushButton* button : {find_, filter_}) {
    button->setParent(this);
    button->setIconSize(QSize(16, 16));
  }
  find_->setToolTip(kFindTip);
  filter_->setToolTip(kFilterTip);
  buildFindBar();
  buildFilterBar();
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
  sortStart_ = panel_->addStartButton(import_, kSortCaptions);
  exportStart_ = panel_->addStartButton(export_, kExportCaptions);
  filterStart_ = panel_->addStartButton(filterAdd_, kFilterCaptions);
  panel_->disableWhileRunning({import_, paste_, export_, copy_, filterClear_, filterJoin_});

  connect(import_, &QPushButton::clicked, this, &CsvTableTool::importClicked);
  connect(paste_, &QPushButton::clicked, this, &CsvTableTool::pasteClicked);
  connect(export_, &QPushButton::clicked, this, &CsvTableTool::exportClicked);
  connect(copy_, &QPushButton::clicked, this, &CsvTableTool::copyClicked);
  connect(help_, &QPushButton::clicked, this, &CsvTableTool::helpClicked);
  connect(grid_, &TableGrid::sortRequested, this, &CsvTableTool::showSortMenu);
  connect(find_, &QPushButton::clicked, this, &CsvTableTool::openFind);
  connect(filter_, &QPushButton::clicked, this, &CsvTableTool::toggleFilterBar);
  auto* findKey = new QShortcut(QKeySequence::Find, this, this, &CsvTableTool::openFind);
  findKey->setContext(Qt::WidgetWithChildrenShortcut);
  auto* nextKey = new QShortcut(QKeySequence(Qt::Key_F3), this, this, [this] { findStep(false); });
  nextKey->setContext(Qt::WidgetWithChildrenShortcut);
  auto* previousKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this, this, [this] { findStep(true); });
  previousKey->setContext(Qt::WidgetWithChildrenShortcut);
  auto* escapeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this, this, [this] {
    if (!findBar_->isHidden()) closeFind();
  });
  escapeKey->setContext(Qt::WidgetWithChildrenShortcut);
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
  // The find and filter buttons are small squares with pictures, so that the status line keeps
  // its room on a narrow page.
  for (QPushButton* button : {find_, filter_}) {
    button->setGeometry(x, kMargin, kIconButtonWidth, kButtonHeight);
    x += kIconButtonWidth + kIconButtonGap;
  }
  QProgressBar* bar = panel_->progressBar();
  bar->setGeometry(x, kMargin + (kButtonHeight - bar->height()) / 2, std::max(0, width() - x - kMargin), bar->height());
  int top = import_->geometry().bottom() + 1 + kMargin;
  for (QWidget* strip : {findBar_, filterBar_}) {
    if (strip->isHidden()) continue;
    strip->setGeometry(kMargin, top, std::max(0, width() - 2 * kMargin), kBarHeight);
    top += kBarHeight + kMargin;
  }
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
        importStatus_ = toQString(csvImportSummary(imported.outcome));
        conditions_.clear();
        showFilterText();
        refreshFilterColumns();
        forgetMatches();
        showStatus(importStatus_, false);
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
          const TableModel& shown = grid_->model();
          std::string message = csvExportedMessage(path);
          if (shown.filtered()) message += "\n" + filteredRowsNote(shown.RowCount(), shown.tableRowCount());
          showMessage(this, toQString(message));
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
        const TableModel& shown = grid_->model();
        if (shown.filtered()) {
          showStatus(kCopiedCaption + u"："_s + toQString(filteredRowsNote(shown.RowCount(), shown.tableRowCount())),
                     false);
        }
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
  const SortDirectionFlag before = direction_;
  const SortDirection direction = direction_.take();
  const TableModel* table = &grid_->model();
  // A click on the import button stops it; a stopped sort leaves the rows, the sort mark and the
  // next direction as they were.
  panel_->start(
      sortStart_,
      [table, column, order, direction](RunContext& ctx) {
        // The new row lists are made here too: the window's thread only swaps them in.
        const std::vector<int32_t> rowOrder = sortedRowOrder(*table, column, order, direction, &ctx);
        if (rowOrder.size() != static_cast<size_t>(table->tableRowCount())) return TableModel::PreparedRows();
        return table->prepareOrder(rowOrder);
      },
      [this, column, title, direction, before](TableModel::PreparedRows& rows, bool stopped) {
        grid_->model().SetColumnTitle(column, title);
        if (stopped || !rows.reorder) {
          direction_ = before;
          grid_->Redraw();
          return;
        }
        grid_->model().applyPrepared(rows);
        grid_->setSortMark(column, direction == SortDirection::Ascending);
        forgetMatches();
        grid_->Redraw();
      });
}

// ---- find ----

void CsvTableTool::buildFindBar() {
  findBar_ = named(new QWidget(this), u"查找栏"_s);
  findText_ = makeEdit(u"编辑框查找内容"_s, QString(), u"查找内容"_s);
  findPrevious_ = makeButton(u"按钮上一个"_s, u"上一个"_s);
  findNext_ = makeButton(u"按钮下一个"_s, u"下一个"_s);
  matchCase_ = makeCheck(u"选择框区分大小写"_s, u"区分大小写"_s);
  findCount_ = named(new QLabel, u"标签查找结果"_s);
  findCount_->setAccessibleName(u"查找结果"_s);
  findClose_ = makeButton(u"按钮关闭查找"_s, u"关闭"_s);
  findPrevious_->setToolTip(u"Shift+F3"_s);
  findNext_->setToolTip(u"回车或 F3"_s);
  findClose_->setToolTip(u"Esc"_s);
  auto* row = new QHBoxLayout(findBar_);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(makeLabel(u"标签查找"_s, u"查找："_s, findText_));
  row->addWidget(findText_, 3);
  row->addWidget(findPrevious_);
  row->addWidget(findNext_);
  row->addWidget(matchCase_);
  row->addWidget(findCount_, 2);
  row->addWidget(findClose_);
  findBar_->hide();

  connect(findText_, &QLineEdit::returnPressed, this, [this] { findStep(false); });
  connect(findNext_, &QPushButton::clicked, this, [this] { findStep(false); });
  connect(findPrevious_, &QPushButton::clicked, this, [this] { findStep(true); });
  connect(findClose_, &QPushButton::clicked, this, &CsvTableTool::closeFind);
}

void CsvTableTool::openFind() {
  if (findBar_->isHidden()) {
    findBar_->show();
    placeControls();
  }
  findText_->setFocus();
  findText_->selectAll();
}

void CsvTableTool::closeFind() {
  // Closing the bar is the stop of a find that still runs.
  if (finding_) panel_->runner()->requestStop();
  findBar_->hide();
  grid_->setFindMark(0, 0);
  matchIndex_ = -1;
  findCount_->clear();
  placeControls();
  grid_->setFocus();
}

void CsvTableTool::forgetMatches() {
  matches_.clear();
  searchedValid_ = false;
  matchIndex_ = -1;
  grid_->setFindMark(0, 0);
  findCount_->clear();
}

void CsvTableTool::findStep(bool backwards) {
  if (findBar_->isHidden()) {
    openFind();
    if (findText_->text().isEmpty()) return;
  }
  if (running()) return;
  FindOptions wanted{fromQString(findText_->text()), matchCase_->isChecked()};
  if (wanted.text.empty()) {
    forgetMatches();
    return;
  }
  if (!searchedValid_ || !(wanted == searched_)) {
    startFind(std::move(wanted), backwards);
    return;
  }
  moveToMatch(backwards);
}

void CsvTableTool::startFind(FindOptions options, bool backwards) {
  struct Found {
    std::vector<CellMatch> matches;
    bool complete = false;
  };
  forgetMatches();
  findCount_->setText(kFindingText);
  const TableModel* table = &grid_->model();
  finding_ = panel_->start(
      nullptr,
      [table, options](RunContext& ctx) {
        Found found;
        found.complete = findCells(*table, options, found.matches, ctx);
        return found;
      },
      [this, options, backwards](Found& found, bool) {
        finding_ = false;
        if (!found.complete) {
          findCount_->setText(kFindStoppedText);
          return;
        }
        matches_ = std::move(found.matches);
        searched_ = options;
        searchedValid_ = true;
        matchIndex_ = -1;
        if (!findBar_->isHidden()) moveToMatch(backwards);
      });
}

void CsvTableTool::moveToMatch(bool backwards) {
  const int64_t count = static_cast<int64_t>(matches_.size());
  if (count == 0) {
    findCount_->setText(toQString(findCountText(-1, 0)));
    grid_->setFindMark(0, 0);
    return;
  }
  int64_t index;
  const int32_t selected = grid_->model().selectedRow();
  if (matchIndex_ < 0 && selected >= 1) {
    // The first step goes from the selected row: to the first match after it, or the last before it.
    const auto after = std::lower_bound(matches_.begin(), matches_.end(), selected + 1,
                                        [](const CellMatch& m, int32_t row) { return m.row < row; });
    const auto at = std::lower_bound(matches_.begin(), matches_.end(), selected,
                                     [](const CellMatch& m, int32_t row) { return m.row < row; });
    index = backwards ? (at - matches_.begin()) - 1 : after - matches_.begin();
    if (index < 0) index = count - 1;
    if (index >= count) index = 0;
  } else {
    index = stepMatch(matchIndex_, count, backwards);
  }
  matchIndex_ = index;
  const CellMatch& match = matches_[static_cast<size_t>(index)];
  grid_->setFindMark(match.row, match.column);
  grid_->scrollToCell(match.row, match.column);
  findCount_->setText(toQString(findCountText(index, count)));
}

// ---- filter ----

void CsvTableTool::buildFilterBar() {
  filterBar_ = named(new QWidget(this), u"筛选栏"_s);
  filterColumn_ = makeCombo(u"组合框筛选列"_s, {}, -1, u"筛选的列"_s);
  QStringList tests;
  for (const char* name : kFilterTestNames) tests << toQString(name);
  filterTest_ = makeCombo(u"组合框筛选条件"_s, tests, 0, u"条件"_s);
  filterValue_ = makeEdit(u"编辑框筛选值"_s, QString(), u"值"_s);
  filterAdd_ = makeButton(u"按钮添加条件"_s, kFilterCaptions.idle);
  filterAdd_->setToolTip(kFilterAddTip);
  filterJoin_ = makeCombo(u"组合框条件组合"_s, {u"并且"_s, u"或者"_s}, 0, u"几个条件之间"_s);
  filterJoin_->setToolTip(u"并且：每个条件都满足的行；或者：满足任一条件的行"_s);
  filterClear_ = makeButton(u"按钮清除筛选"_s, u"清除筛选"_s);
  filterText_ = named(new QLabel, u"标签筛选条件"_s);
  filterText_->setAccessibleName(u"筛选条件"_s);
  filterText_->setMinimumWidth(40);
  auto* row = new QHBoxLayout(filterBar_);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(makeLabel(u"标签筛选列"_s, u"筛选："_s, filterColumn_));
  row->addWidget(filterColumn_, 2);
  row->addWidget(filterTest_);
  row->addWidget(filterValue_, 2);
  row->addWidget(filterAdd_);
  row->addWidget(filterJoin_);
  row->addWidget(filterClear_);
  row->addWidget(filterText_, 3);
  filterBar_->hide();

  connect(filterTest_, &QComboBox::currentIndexChanged, this,
          [this](int index) { filterValue_->setEnabled(filterTestTakesValue(static_cast<FilterTest>(index))); });
  connect(filterAdd_, &QPushButton::clicked, this, &CsvTableTool::addConditionClicked);
  connect(filterValue_, &QLineEdit::returnPressed, this, [this] {
    if (!running()) addConditionClicked();
  });
  connect(filterJoin_, &QComboBox::activated, this, [this] {
    if (!conditions_.empty() && !running()) runFilter(conditions_);
  });
  connect(filterClear_, &QPushButton::clicked, this, &CsvTableTool::clearFilter);
}

void CsvTableTool::toggleFilterBar() {
  filterBar_->setVisible(filterBar_->isHidden());
  filter_->setChecked(!filterBar_->isHidden());
  if (!filterBar_->isHidden()) {
    refreshFilterColumns();
    filterValue_->setFocus();
  }
  placeControls();
}

void CsvTableTool::refreshFilterColumns() {
  const int current = filterColumn_->currentIndex();
  QStringList titles;
  const TableModel& table = grid_->model();
  for (int32_t c = 1; c <= table.ColumnCount(); ++c) {
    const QString title = toQString(table.GetColumnTitle(c));
    titles << (title.isEmpty() ? u"第%1列"_s.arg(c) : title);
  }
  filterColumn_->clear();
  filterColumn_->addItems(titles);
  if (current >= 0 && current < titles.size()) filterColumn_->setCurrentIndex(current);
}

void CsvTableTool::addConditionClicked() {
  if (panel_->busyClick(filterStart_)) return;
  const int column = filterColumn_->currentIndex() + 1;
  if (column < 1 || column > grid_->model().ColumnCount()) return;
  const auto test = static_cast<FilterTest>(std::max(0, filterTest_->currentIndex()));
  std::vector<FilterCondition> conditions = conditions_;
  conditions.push_back({column, test, filterTestTakesValue(test) ? fromQString(filterValue_->text()) : std::string()});
  runFilter(std::move(conditions));
}

void CsvTableTool::runFilter(std::vector<FilterCondition> conditions) {
  struct Filtered {
    TableModel::PreparedRows rows;  // made on the worker: the window's thread only swaps them in
    bool complete = false;
  };
  const RowFilter filter{conditions, filterJoin_->currentIndex() == 1 ? FilterJoin::Any : FilterJoin::All};
  const TableModel* table = &grid_->model();
  forgetMatches();
  showProgress(true);
  panel_->start(
      filterStart_,
      [table, filter](RunContext& ctx) {
        Filtered filtered;
        std::vector<int32_t> kept;
        filtered.complete = filterRows(*table, filter, kept, ctx);
        if (filtered.complete) filtered.rows = table->prepareShownRows(std::move(kept));
        return filtered;
      },
      [this, conditions = std::move(conditions)](Filtered& filtered, bool) {
        showProgress(false);
        panel_->progressBar()->setValue(0);
        if (!filtered.complete) {
          showTableStatus();
          return;
        }
        conditions_ = conditions;
        grid_->model().applyPrepared(filtered.rows);
        grid_->Redraw();
        showFilterText();
        showTableStatus();
      });
}

void CsvTableTool::clearFilter() {
  if (running()) return;
  conditions_.clear();
  grid_->model().showAllRows();
  forgetMatches();
  grid_->Redraw();
  showFilterText();
  showTableStatus();
}

void CsvTableTool::showFilterText() {
  QStringList parts;
  const TableModel& table = grid_->model();
  for (const FilterCondition& c : conditions_) {
    QString part = c.column <= table.ColumnCount() ? toQString(table.GetColumnTitle(c.column)) : QString::number(c.column);
    part += u' ' + toQString(kFilterTestNames[static_cast<int>(c.test)]);
    if (filterTestTakesValue(c.test)) part += u" “"_s + toQString(c.value) + u"”"_s;
    parts << part;
  }
  const QString text = parts.join(filterJoin_->currentIndex() == 1 ? u" 或者 "_s : u" 并且 "_s);
  filterText_->setText(text);
  filterText_->setToolTip(text);
}

void CsvTableTool::showTableStatus() {
  const TableModel& table = grid_->model();
  if (table.filtered()) {
    showStatus(toQString(shownRowsText(table.RowCount(), table.tableRowCount())), false);
  } else if (importStatus_.isEmpty()) {
    showStatus(kIdleStatus, true);
  } else {
    showStatus(importStatus_, false);
  }
}

}  // namespace chengling
