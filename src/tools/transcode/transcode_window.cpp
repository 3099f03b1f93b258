#include "tools/transcode/transcode_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <utility>

#include "foundation/file_system.h"
#include "foundation/path_helpers.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/message_box.h"
#include "platform/qt_text.h"
#include "shell/alternative_matcher.h"
#include "shell/control_states.h"
#include "shell/control_tag.h"
#include "shell/controls.h"
#include "shell/drop_target.h"
#include "shell/run_panel.h"
#include "shell/start_button.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

// The codes of the encoding radio buttons, in their order; Detect is "自动" on both sides. Input also
// offers BIG5 and output UTF-8 without a mark, after the others (so the saved buttons keep theirs).
constexpr std::array<TextEncoding, 6> kEncodings = {TextEncoding::Detect,  TextEncoding::Ansi,
                                                    TextEncoding::Utf8,    TextEncoding::Utf16Le,
                                                    TextEncoding::Utf16Be, TextEncoding::Big5};
constexpr std::array<TextEncoding, 6> kOutputEncodings = {TextEncoding::Detect,  TextEncoding::Ansi,
                                                          TextEncoding::Utf8,    TextEncoding::Utf16Le,
                                                          TextEncoding::Utf16Be, TextEncoding::Utf8NoMark};
constexpr std::array<ChineseMode, 7> kModes = {
    ChineseMode::None,
    ChineseMode::SimplifiedToTraditional,
    ChineseMode::TraditionalToSimplified,
    ChineseMode::SimplifiedToBig5,
    ChineseMode::TraditionalToBig5,
    ChineseMode::Big5ToSimplified,
    ChineseMode::Big5ToTraditional,
};

// The captions of the two start buttons (the folder button's with a leading blank), the file
// dialog's title and filter, and the folder dialog's title around the patterns.
const StartCaptions kFilesCaptions{u"批量转换"_s, u"点我停止"_s, u"停止中.."_s};
const StartCaptions kFolderCaptions{u" 批量转换(文件夹方式)"_s, u" 点我停止"_s, u" 停止中.."_s};
const QString kFilesTitle = u"选择要批量转换的多个文件："_s;
const QString kFilesFilter =
    u"文本和网页文件|*.txt;*.htm;*.html|文本文件(*.txt)|*.txt|网页文件(*.htm;*.html)|*.htm;*.html|全部文件(*.*)|*.*"_s;
QString folderTitle(const QString& patterns) { return u"选择要批量转换的文件(%1)所在文件夹："_s.arg(patterns); }

// The caption of the encoding a preview names: the input button's.
QString encodingCaption(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Ansi: return u"ANSI"_s;
    case TextEncoding::Utf8: return u"UTF-8"_s;
    case TextEncoding::Utf16Le: return u"Unicode"_s;
    case TextEncoding::Utf16Be: return u"Unicode big endian"_s;
    case TextEncoding::Big5: return u"Big5"_s;
    case TextEncoding::Big5Hkscs: return u"Big5-HKSCS"_s;
    default: return u"-"_s;
  }
}

// The preview's dialog: one row per file, read only.
void showPreview(QWidget* owner, const std::vector<PreviewEntry>& entries) {
  QDialog dialog(owner);
  dialog.setObjectName(u"预览窗口"_s);
  dialog.setWindowTitle(u"预览：每个文件将按哪种编码读取"_s);
  auto* table = new QTableWidget(static_cast<int>(entries.size()), 3, &dialog);
  table->setObjectName(u"预览列表"_s);
  table->setAccessibleName(u"预览列表"_s);
  table->setHorizontalHeaderLabels({u"文件"_s, u"编码"_s, u"第一行"_s});
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->setVisible(false);
  for (size_t row = 0; row < entries.size(); ++row) {
    const PreviewEntry& entry = entries[row];
    const QString cells[] = {qStringFromPath(entry.path), encodingCaption(entry.used),
                             toQString(entry.problem.empty() ? entry.firstLine : entry.problem)};
    for (int column = 0; column < 3; ++column) {
      table->setItem(static_cast<int>(row), column, new QTableWidgetItem(cells[column]));
    }
  }
  table->resizeColumnsToContents();
  table->horizontalHeader()->setStretchLastSection(true);
  auto* close = new QPushButton(u"关闭"_s, &dialog);
  close->setObjectName(u"按钮关闭预览"_s);
  close->setAccessibleName(u"关闭"_s);
  QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dialog);
  if (entries.empty()) layout->addWidget(new QLabel(u"没有找到要转换的文件"_s, &dialog));
  layout->addWidget(table, 1);
  layout->addWidget(close, 0, Qt::AlignRight);
  dialog.resize(720, 400);
  dialog.exec();
}

template <typename T, size_t N>
T checkedValue(const std::array<QRadioButton*, N>& buttons, const std::array<T, N>& values) {
  for (size_t i = 0; i < N; ++i) {
    if (buttons[i]->isChecked()) return values[i];
  }
  return values[0];
}

}  // namespace

QString TranscodeTool::stateName() { return u"文件批量转码"_s; }

TranscodeTool::TranscodeTool(SettingsStore& settings, QWidget* parent)
    : QWidget(parent), encodings_(std::make_shared<LiveOptions<PassEncodings>>()) {
  setObjectName(u"TranscodeTool"_s);
  panel_ = new RunPanel(this);

  const QString encodingCaptions[] = {u"自动"_s, u"ANSI"_s, u"UTF-8"_s, u"Unicode"_s, u"Unicode big endian"_s,
                                      u"UTF-8(无BOM)"_s};
  const QString inputNames[] = {u"单选框自动输入"_s, u"单选框输入ANSI"_s, u"单选框输入UTF8"_s,
                                u"单选框输入Ule"_s,   u"单选框输入Ube"_s,  u"单选框输入Big5"_s};
  const QString outputNames[] = {u"单选框自动输出"_s, u"单选框输出ANSI"_s, u"单选框输出UTF8"_s,
                                 u"单选框输出Ule"_s,  u"单选框输出Ube"_s,  u"单选框输出UTF8无BOM"_s};
  // The captions use the encodings' everyday names; the tips say which encoding each one is.
  const QString inputTips[] = {
      u"自动识别：看 BOM、网页的 charset 声明和 UTF-8 的特征，都不是时按 ANSI（GBK）读取，"
      u"除非字节本身有力地表明是 Big5 或不带 BOM 的 Unicode"_s,
      u"ANSI 即 GBK，简体中文的本地编码（兼容 GB2312）"_s,
      u"UTF-8，有无 BOM 均可"_s,
      u"Unicode 即 UTF-16LE（小端序）；开头两个字节当作 BOM 跳过"_s,
      u"Unicode big endian 即 UTF-16BE（大端序）；开头两个字节当作 BOM 跳过"_s,
      u"Big5，繁体中文的本地编码"_s,
  };
  const QString outputTips[] = {
      u"与每个文件识别出的输入编码相同"_s,
      u"ANSI 即 GBK，简体中文的本地编码"_s,
      u"UTF-8，文件开头写入 BOM（EF BB BF）"_s,
      u"Unicode 即 UTF-16LE（小端序），文件开头写入 BOM（FF FE）"_s,
      u"Unicode big endian 即 UTF-16BE（大端序），文件开头写入 BOM（FE FF）"_s,
      u"UTF-8，文件开头不写 BOM"_s,
  };
  for (size_t i = 0; i < inputs_.size(); ++i) {
    inputs_[i] = makeRadio(inputNames[i], i == 5 ? u"Big5"_s : encodingCaptions[i], i == 0);
    inputs_[i]->setToolTip(inputTips[i]);
  }
  for (size_t i = 0; i < outputs_.size(); ++i) {
    outputs_[i] = makeRadio(outputNames[i], encodingCaptions[i], i == 2);
    outputs_[i]->setToolTip(outputTips[i]);
  }
  const QString modeNames[] = {u"单选框不转"_s,   u"单选框简到繁"_s, u"单选框繁到简"_s, u"单选框简到b5"_s,
                               u"单选框繁到b5"_s, u"单选框b5到简"_s, u"单选框b5到繁"_s};
  const QString modeCaptions[] = {u"不转"_s,       u"简体到繁体"_s, u"繁体到简体"_s, u"简体到Big5"_s,
                                  u"繁体到Big5"_s, u"Big5到简体"_s, u"Big5到繁体"_s};
  for (size_t i = 0; i < modes_.size(); ++i) modes_[i] = makeRadio(modeNames[i], modeCaptions[i], i == 0);
  convertNames_ = makeCheck(u"选择框同时转换文件名"_s, u"同时转换文件名"_s);
  subfolders_ = makeCheck(u"选择框包含子文件夹"_s, u"包含子文件夹"_s);
  overwrite_ = makeCheck(u"选择框覆盖原文件"_s, u"覆盖原文件"_s);
  filter_ = makeEdit(u"编辑框文件过滤"_s, u"*.*"_s, u"文件过滤"_s);
  filter_->setToolTip(u"文件夹方式转换的文件类型，多个类型用 | 分隔，如 *.txt|*.htm"_s);
  filesButton_ = makeButton(u"按钮批量转换"_s, kFilesCaptions.idle);
  folderButton_ = makeButton(u"按钮批量转换文件夹"_s, kFolderCaptions.idle);
  folderButton_->setToolTip(u"右键点击：文件类型整体作为一个匹配模式"_s);
  previewButton_ = makeButton(u"按钮预览"_s, u"预览"_s);
  previewButton_->setToolTip(u"列出文件夹中（右键点击：所选的）每个文件将按哪种编码读取及其第一行，不写任何文件"_s);

  // One grid for the four option rows, so that the choices line up in columns.
  auto* options = new QFrame;
  options->setFrameShape(QFrame::StyledPanel);
  auto* grid = new QGridLayout(options);
  grid->setContentsMargins(12, 4, 12, 4);
  // Big5 stands under "UTF-8(无BOM)", after the two columns of "Unicode big endian".
  addOptionRow(grid, 0, makeLabel(u"标签1"_s, u"输入编码："_s), {inputs_.begin(), inputs_.end()}, {1, 1, 1, 1, 2});
  // "Unicode big endian" takes two columns there, so that it widens none.
  addOptionRow(grid, 1, makeLabel(u"标签2"_s, u"输出编码："_s), {outputs_.begin(), outputs_.end()}, {1, 1, 1, 1, 2});
  addOptionRow(grid, 2, makeLabel(u"标签4"_s, u"繁简互转："_s), {modes_.begin(), modes_.end()});
  addOptionRow(grid, 3, makeLabel(u"标签5"_s, u"高级选项："_s), {convertNames_, subfolders_, overwrite_}, {2, 2});
  // The grid is one parent for all radio buttons: each choice is exclusive within its own group.
  for (const QList<QRadioButton*>& group : {QList<QRadioButton*>(inputs_.begin(), inputs_.end()),
                                             QList<QRadioButton*>(outputs_.begin(), outputs_.end())}) {
    auto* exclusive = new QButtonGroup(this);
    for (QRadioButton* button : group) {
      exclusive->addButton(button);
      connect(button, &QRadioButton::toggled, this, &TranscodeTool::encodingsChanged);
    }
  }
  auto* modeGroup = new QButtonGroup(this);
  for (QRadioButton* button : modes_) modeGroup->addButton(button);
  grid->setColumnMinimumWidth(0, 80);
  for (int column = 1; column <= static_cast<int>(modes_.size()); ++column) grid->setColumnStretch(column, 1);
  auto* page = new QVBoxLayout(this);
  page->addWidget(options, 1);
  auto* start = new QHBoxLayout;
  start->addWidget(filter_, 1);
  for (QPushButton* button : {filesButton_, folderButton_}) {
    button->setMinimumHeight(40);
    start->addWidget(button, 2);
  }
  previewButton_->setMinimumHeight(40);
  start->addWidget(previewButton_, 1);
  page->addLayout(start);
  page->addWidget(panel_->makeProgressBar());
  status_ = panel_->statusLabel();

  filesStart_ = panel_->addStartButton(filesButton_, kFilesCaptions);
  folderStart_ = panel_->addStartButton(folderButton_, kFolderCaptions);
  connect(filesButton_, &QPushButton::clicked, this, &TranscodeTool::filesClicked);
  startWithEitherMatcher(folderButton_, [this](Matcher matcher) { folderClicked(matcher); });
  startWithEitherMatcher(previewButton_, [this](Matcher matcher) { previewClicked(matcher == Matcher::Alternative); });
  status_->installEventFilter(this);

  KeepControlStates(settings, this, stateName());
  encodingsChanged();
  new DropTarget(this, u"拖放对象"_s, [this] { return !running(); },
                 [this](PathList paths, Qt::KeyboardModifiers) { dropped(paths); });
}

TranscodeTool::~TranscodeTool() = default;

bool TranscodeTool::running() const { return panel_->running(); }

void TranscodeTool::addOptionRow(QGridLayout* grid, int index, QLabel* label, const QList<QWidget*>& controls,
                                 const QList<int>& spans) {
  const int row = 2 * index;
  if (index > 0) {
    auto* rule = new QFrame;
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    grid->addWidget(rule, row - 1, 0, 1, -1);
  }
  grid->addWidget(label, row, 0);
  int column = 1;
  for (int i = 0; i < controls.size(); ++i) {
    const int span = i < spans.size() ? spans[i] : 1;
    // The last one may take the rest of the row: a long caption there widens no column.
    grid->addWidget(controls[i], row, column, 1, i + 1 == controls.size() ? -1 : span);
    column += span;
  }
  grid->setRowStretch(row, 1);
}

bool TranscodeTool::eventFilter(QObject* watched, QEvent* event) {
  if (watched == status_ && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    statusPressed();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

TextEncoding TranscodeTool::inputEncoding() const { return checkedValue(inputs_, kEncodings); }

TextEncoding TranscodeTool::outputEncoding() const { return checkedValue(outputs_, kOutputEncodings); }

void TranscodeTool::encodingsChanged() { encodings_->set({inputEncoding(), outputEncoding()}); }

TranscodeOptions TranscodeTool::options(Matcher matcher) const {
  TranscodeOptions options;
  options.input = inputEncoding();
  options.output = outputEncoding();
  options.chinese = checkedValue(modes_, kModes);
  options.convertNames = convertNames_->isChecked();
  options.includeSubfolders = subfolders_->isChecked();
  options.overwrite = overwrite_->isChecked();
  options.filter = fromQString(filter_->text());
  options.matcher = matcher;
  options.liveEncodings = encodings_;
  return options;
}

void TranscodeTool::filesClicked() {
  if (panel_->busyClick(filesStart_)) return;
  PathList paths =
      pathListFromText(chooseFiles(this, kFilesTitle, kFilesFilter, pathFromQString(controlTag(filesButton_))));
  if (paths.empty()) return;
  setControlTag(filesButton_, qStringFromPath(PathDirectory(paths.front())));
  startRun(filesStart_, Matcher::Standard, [paths = std::move(paths)](const TranscodeOptions& options, RunContext& ctx) {
    return TranscodeFiles(paths, options, ctx);
  });
}

void TranscodeTool::folderClicked(Matcher matcher) {
  if (panel_->busyClick(folderStart_)) return;
  const std::string folder =
      chooseFolder(this, folderTitle(filter_->text()), pathFromQString(controlTag(folderButton_)));
  if (folder.empty()) return;
  setControlTag(folderButton_, qStringFromPath(folder));
  startRun(folderStart_, matcher, [folder](const TranscodeOptions& options, RunContext& ctx) {
    return TranscodeFolder(folder, options, ctx);
  });
}

void TranscodeTool::previewClicked(bool files) {
  if (running()) return;
  DropLists lists;
  if (files) {
    lists.files =
        pathListFromText(chooseFiles(this, kFilesTitle, kFilesFilter, pathFromQString(controlTag(filesButton_))));
    if (lists.files.empty()) return;
  } else {
    const std::string folder =
        chooseFolder(this, folderTitle(filter_->text()), pathFromQString(controlTag(folderButton_)));
    if (folder.empty()) return;
    lists.folders.push_back(folder);
  }
  // A large folder is listed on the worker: the window stays live, and a start button stops it.
  panel_->start(
      nullptr,
      [lists = std::move(lists), options = options(Matcher::Standard)](RunContext& ctx) {
        return PreviewDropped(lists, options, [&ctx] { return ctx.stopRequested(); });
      },
      [this](const std::vector<PreviewEntry>& entries, bool stopped) {
        if (!stopped) showPreview(this, entries);
      });
}

void TranscodeTool::dropped(const PathList& paths) {
  DropLists lists = splitDrop(paths);
  if (lists.files.empty() && lists.folders.empty()) return;
  if (!askOkCancel(this, toQString(dropQuestion(lists)))) return;
  startRun(nullptr, Matcher::Standard, [lists = std::move(lists)](const TranscodeOptions& options, RunContext& ctx) {
    return TranscodeDropped(lists, options, ctx);
  });
}

void TranscodeTool::startRun(StartButton* start, Matcher matcher, Engine engine) {
  panel_->start(
      start, [engine = std::move(engine), options = options(matcher)](RunContext& ctx) { return engine(options, ctx); },
      [this](const TranscodeOutcome& outcome, bool) { runFinished(outcome); });
}

void TranscodeTool::runFinished(const TranscodeOutcome& outcome) {
  // Only a folder the run wrote into is offered: the text says so, and a click opens it.
  setControlTag(status_, qStringFromPath(outcome.offeredFolder));
  status_->setText(toQString(outcome.completionText));
  if (outcome.offeredFolder.empty()) {
    status_->unsetCursor();
  } else {
    status_->setCursor(Qt::PointingHandCursor);
  }
  status_->raise();
  panel_->showFailures(u"以下文件未能处理："_s, u"以下文件已处理，但有字符未能转换："_s);
}

void TranscodeTool::statusPressed() {
  const std::string folder = pathFromQString(controlTag(status_));
  if (!folder.empty() && pathExists(folder)) OpenInFileManager(folder);
}

}  // namespace chengling
