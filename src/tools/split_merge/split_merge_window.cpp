#include "tools/split_merge/split_merge_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "foundation/internal_text.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/keyboard.h"
#include "platform/message_box.h"
#include "platform/qt_text.h"
#include "shell/control_states.h"
#include "shell/control_tag.h"
#include "shell/engine_runner.h"
#include "shell/input_dialog.h"
#include "shell/settings_store.h"
#include "shell/start_button.h"
#include "shell/window_utils.h"
#include "tools/split_merge/merge_engine.h"
#include "tools/split_merge/split_engine.h"
#include "tools/split_merge/split_merge_workflow.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

// One drop target: takes the local paths of a drag that `accepts` allows and hands them on. The
// object carries the target's name; the widget it watches is the group box of its area.
class DropZone : public QObject {
 public:
  DropZone(const QString& name, QWidget* zone, std::function<bool()> accepts,
           std::function<void(PathList)> deliver)
      : QObject(zone), accepts_(std::move(accepts)), deliver_(std::move(deliver)) {
    setObjectName(name);
    zone->setAcceptDrops(true);
    zone->installEventFilter(this);
  }

  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (accepts_() && !localPaths(drag->mimeData()).empty()) {
          drag->acceptProposedAction();
        } else {
          drag->ignore();
        }
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        PathList paths = localPaths(drop->mimeData());
        if (!accepts_() || paths.empty()) {
          drop->ignore();
          return true;
        }
        drop->acceptProposedAction();
        deliver_(std::move(paths));
        return true;
      }
      default:
        return false;
    }
  }

 private:
  static PathList localPaths(const QMimeData* mime) {
    PathList paths;
    if (mime == nullptr) return paths;
    for (const QUrl& url : mime->urls()) {
      if (!url.isLocalFile()) continue;
      QString path = url.toLocalFile();
      // A folder dragged from some file managers ends with a separator; the folder rules want none.
      while (path.size() > 1 && path.endsWith(u'/')) path.chop(1);
      if (!path.isEmpty()) paths.push_back(pathFromQString(path));
    }
    return paths;
  }

  std::function<bool()> accepts_;
  std::function<void(PathList)> deliver_;
};

template <typename W>
W* named(W* widget, const QString& name) {
  widget->setObjectName(name);
  return widget;
}

// Edit boxes inside a drop area must not take the drop themselves.
QLineEdit* edit(const QString& name, const QString& text) {
  auto* box = named(new QLineEdit(text), name);
  box->setAcceptDrops(false);
  return box;
}

QString failureLine(const QString& item, const QString& reason) {
  return reason.isEmpty() ? item : item + u"："_s + reason;
}

}  // namespace

struct SplitMergeTool::SplitState {
  std::string resultFolder;
  size_t sourceCount = 0;
  SplitOutcome outcome;
};

struct SplitMergeTool::MergeState {
  bool ask = false;
  std::string resultFolder;
};

QString SplitMergeTool::stateName() { return u"文件分割合并"_s; }

SplitMergeTool::SplitMergeTool(SettingsStore& settings, QWidget* parent) : QWidget(parent), settings_(settings) {
  setObjectName(u"SplitMergeTool"_s);
  runner_ = new EngineRunner;
  buildControls();

  splitStart_ = new StartButton(
      splitButton_, {toQString(kSplitIdleCaption), toQString(kSplitRunningCaption), toQString(kSplitStoppingCaption)},
      runner_);
  mergeStart_ = new StartButton(
      mergeButton_, {toQString(kMergeIdleCaption), toQString(kMergeRunningCaption), toQString(kMergeStoppingCaption)},
      runner_);
  // Runs never nest: the other area's start button waits while one runs.
  splitStart_->setSiblings({mergeButton_});
  mergeStart_->setSiblings({splitButton_});

  connect(runner_, &EngineRunner::progress, this, [this](qint64 position, qint64 maximum) {
    progress_->setRange(0, static_cast<int>(std::clamp<qint64>(maximum, 0, INT32_MAX)));
    progress_->setValue(static_cast<int>(std::clamp<qint64>(position, 0, INT32_MAX)));
  });
  connect(runner_, &EngineRunner::status, this, [this](const QString& text) { status_->setText(text); });
  // Phase texts share the split button's caption; once a stop was asked for, the stopping caption stays.
  connect(runner_, &EngineRunner::phase, this, [this](const QString& text) {
    if (!splitStart_->isIdle() && splitButton_->text() != splitStart_->captions().stopping) {
      splitButton_->setText(text);
    }
  });
  connect(runner_, &EngineRunner::failure, this,
          [this](const QString& item, const QString& reason) { failures_ << failureLine(item, reason); });

  RestoreControls(settings_, this, stateName());
  applySplitRules();
  applyMergeRules();
  attachProgressOverlay(progress_, status_);
  new DropZone(u"拖放对象1"_s, splitGroup_, [this] { return acceptsDrops(); },
               [this](PathList paths) { dropped(Area::Split, std::move(paths)); });
  new DropZone(u"拖放对象2"_s, mergeGroup_, [this] { return acceptsDrops(); },
               [this](PathList paths) { dropped(Area::Merge, std::move(paths)); });
}

SplitMergeTool::~SplitMergeTool() {
  // The worker must be gone before the widgets its deliveries reach.
  delete runner_;
  runner_ = nullptr;
}

bool SplitMergeTool::running() const { return runner_ != nullptr && runner_->isRunning(); }

void SplitMergeTool::buildControls() {
  // Split area.
  splitGroup_ = named(new QGroupBox(u"分割操作区"_s), u"分组框分割"_s);
  byCount_ = named(new QRadioButton(u"按份数"_s), u"单选框按份数"_s);
  pieceCount_ = edit(u"编辑框份数"_s, u"100"_s);
  bySize_ = named(new QRadioButton(u"按字节"_s), u"单选框按字节"_s);
  sizeValue_ = edit(u"编辑框字节"_s, u"3.12"_s);
  sizeUnit_ = named(new QComboBox, u"组合框字节单位"_s);
  sizeUnit_->addItems({u"B"_s, u"KB"_s, u"MB"_s, u"GB"_s});
  sizeUnit_->setCurrentIndex(1);
  byChars_ = named(new QRadioButton(u"按字符数"_s), u"单选框按字符数"_s);
  charsLow_ = edit(u"编辑框字数1"_s, u"200"_s);
  auto* charsDash = named(new QLabel(u"-"_s), u"标签2"_s);
  charsHigh_ = edit(u"编辑框字数2"_s, u"500"_s);
  byLines_ = named(new QRadioButton(u"按行数"_s), u"单选框按行数"_s);
  linesLow_ = edit(u"编辑框行数1"_s, u"5"_s);
  auto* linesDash = named(new QLabel(u"-"_s), u"标签1"_s);
  linesHigh_ = edit(u"编辑框行数2"_s, u"10"_s);
  skipBlank_ = named(new QCheckBox(u"忽略空行"_s), u"选择框忽略空行"_s);
  bySeparator_ = named(new QRadioButton(u"按字符串"_s), u"单选框按字符串"_s);
  separatorButton_ = named(new QPushButton(u"输入字符串"_s), u"按钮输入字符串"_s);
  detect_ = named(new QCheckBox(u"识别编码(效率较低)"_s), u"选择框识别编码"_s);
  fixLineEnds_ = named(new QCheckBox(u"矫正换行(不支持大文件)"_s), u"选择框矫正换行"_s);
  intoSubfolder_ = named(new QCheckBox(u"分割到子目录"_s), u"选择框子目录保存"_s);
  deleteSources_ = named(new QCheckBox(u"分割后删除"_s), u"选择框分割后删除文件"_s);
  contentNames_ = named(new QCheckBox(u"随机改名"_s), u"选择框随机改名"_s);
  splitPatterns_ = edit(u"编辑框文件类型"_s, u"*.*"_s);
  splitButton_ = named(new QPushButton(toQString(kSplitIdleCaption)), u"按钮开始分割"_s);
  byCount_->setChecked(true);
  intoSubfolder_->setChecked(true);
  for (QLineEdit* box : {pieceCount_, sizeValue_, charsLow_, charsHigh_, linesLow_, linesHigh_}) {
    box->setMaximumWidth(90);
  }

  auto* splitLayout = new QGridLayout(splitGroup_);
  splitLayout->addWidget(byCount_, 0, 0);
  splitLayout->addWidget(pieceCount_, 0, 1);
  splitLayout->addWidget(bySize_, 1, 0);
  splitLayout->addWidget(sizeValue_, 1, 1);
  splitLayout->addWidget(sizeUnit_, 1, 2);
  splitLayout->addWidget(byChars_, 2, 0);
  splitLayout->addWidget(charsLow_, 2, 1);
  splitLayout->addWidget(charsDash, 2, 2, Qt::AlignCenter);
  splitLayout->addWidget(charsHigh_, 2, 3);
  splitLayout->addWidget(byLines_, 3, 0);
  splitLayout->addWidget(linesLow_, 3, 1);
  splitLayout->addWidget(linesDash, 3, 2, Qt::AlignCenter);
  splitLayout->addWidget(linesHigh_, 3, 3);
  splitLayout->addWidget(skipBlank_, 3, 4);
  splitLayout->addWidget(bySeparator_, 4, 0);
  splitLayout->addWidget(separatorButton_, 4, 1, 1, 2);
  auto* lineOptions = new QHBoxLayout;
  lineOptions->addWidget(detect_);
  lineOptions->addWidget(fixLineEnds_);
  lineOptions->addStretch();
  splitLayout->addLayout(lineOptions, 5, 0, 1, 5);
  auto* splitOptionsRow = new QHBoxLayout;
  splitOptionsRow->addWidget(intoSubfolder_);
  splitOptionsRow->addWidget(deleteSources_);
  splitOptionsRow->addWidget(contentNames_);
  splitOptionsRow->addStretch();
  splitLayout->addLayout(splitOptionsRow, 6, 0, 1, 5);
  splitLayout->setRowStretch(7, 1);
  auto* splitStartRow = new QHBoxLayout;
  splitStartRow->addWidget(splitPatterns_, 1);
  splitStartRow->addWidget(splitButton_, 2);
  splitLayout->addLayout(splitStartRow, 8, 0, 1, 5);
  splitLayout->setColumnStretch(4, 1);

  // Merge area.
  mergeGroup_ = named(new QGroupBox(u"合并操作区"_s), u"分组框合并"_s);
  joinData_ = named(new QCheckBox(u"合并时使用中间数据连接"_s), u"选择框合并中间"_s);
  joinByText_ = named(new QRadioButton(u"使用字符串"_s), u"单选框使用字符串"_s);
  joinText_ = edit(u"编辑框字符串"_s, u"我是中间字符串"_s);
  joinByFile_ = named(new QRadioButton(u"使用文件"_s), u"单选框使用文件"_s);
  joinFile_ = edit(u"编辑框文件路径"_s, u"C:\\1.txt"_s);
  joinFileButton_ = named(new QPushButton(u".."_s), u"按钮选择文件"_s);
  decode_ = named(new QCheckBox(u"处理编码"_s), u"选择框处理文本编码"_s);
  intoParent_ = named(new QCheckBox(u"合并到父目录"_s), u"选择框父目录保存"_s);
  deleteInputs_ = named(new QCheckBox(u"合并后删除"_s), u"选择框合并后删除文件"_s);
  recursive_ = named(new QCheckBox(u"遍历子级"_s), u"选择框遍历子目录"_s);
  mergePatterns_ = edit(u"编辑框文件类型1"_s, u"*.*"_s);
  mergeButton_ = named(new QPushButton(toQString(kMergeIdleCaption)), u"按钮开始合并"_s);
  joinByText_->setChecked(true);
  intoParent_->setChecked(true);
  joinFileButton_->setMaximumWidth(40);

  auto* mergeLayout = new QGridLayout(mergeGroup_);
  mergeLayout->addWidget(joinData_, 0, 0, 1, 3);
  mergeLayout->addWidget(joinByText_, 1, 0);
  mergeLayout->addWidget(joinText_, 1, 1, 1, 2);
  mergeLayout->addWidget(joinByFile_, 2, 0);
  mergeLayout->addWidget(joinFile_, 2, 1);
  mergeLayout->addWidget(joinFileButton_, 2, 2);
  auto* mergeOptionsRow = new QHBoxLayout;
  mergeOptionsRow->addWidget(decode_);
  mergeOptionsRow->addWidget(intoParent_);
  mergeOptionsRow->addWidget(deleteInputs_);
  mergeOptionsRow->addWidget(recursive_);
  mergeOptionsRow->addStretch();
  mergeLayout->addLayout(mergeOptionsRow, 3, 0, 1, 3);
  mergeLayout->setRowStretch(4, 1);
  auto* mergeStartRow = new QHBoxLayout;
  mergeStartRow->addWidget(mergePatterns_, 1);
  mergeStartRow->addWidget(mergeButton_, 2);
  mergeLayout->addLayout(mergeStartRow, 5, 0, 1, 3);
  mergeLayout->setColumnStretch(1, 1);

  // Shared: the progress bar with the status label over it, and the carrier of the queued drop.
  progress_ = named(new QProgressBar, u"进度条"_s);
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  progress_->setFixedHeight(24);
  status_ = named(new QLabel, u"透明标签"_s);
  dropCarrier_ = named(new QLabel(this), u"标签3"_s);
  dropCarrier_->hide();

  auto* areas = new QHBoxLayout;
  areas->addWidget(splitGroup_, 1);
  areas->addWidget(mergeGroup_, 1);
  auto* page = new QVBoxLayout(this);
  page->addLayout(areas, 1);
  page->addWidget(progress_);
  page->addWidget(status_);  // moved into the bar by the overlay

  for (QRadioButton* mode : {byCount_, bySize_, byChars_, byLines_, bySeparator_}) {
    connect(mode, &QRadioButton::toggled, this, &SplitMergeTool::applySplitRules);
  }
  connect(detect_, &QCheckBox::toggled, this, &SplitMergeTool::applySplitRules);
  for (QAbstractButton* control : std::initializer_list<QAbstractButton*>{joinData_, joinByText_, joinByFile_}) {
    connect(control, &QAbstractButton::toggled, this, &SplitMergeTool::applyMergeRules);
  }
  connect(splitButton_, &QPushButton::clicked, this, &SplitMergeTool::splitClicked);
  connect(mergeButton_, &QPushButton::clicked, this, &SplitMergeTool::mergeClicked);
  connect(separatorButton_, &QPushButton::clicked, this, &SplitMergeTool::askSeparator);
  connect(joinFileButton_, &QPushButton::clicked, this, &SplitMergeTool::chooseJoinFile);
}

void SplitMergeTool::applySplitRules() {
  pieceCount_->setEnabled(byCount_->isChecked());
  sizeValue_->setEnabled(bySize_->isChecked());
  sizeUnit_->setEnabled(bySize_->isChecked());
  charsLow_->setEnabled(byChars_->isChecked());
  charsHigh_->setEnabled(byChars_->isChecked());
  linesLow_->setEnabled(byLines_->isChecked());
  linesHigh_->setEnabled(byLines_->isChecked());
  skipBlank_->setEnabled(byLines_->isChecked());
  separatorButton_->setEnabled(bySeparator_->isChecked());
  detect_->setVisible(byLines_->isChecked());
  fixLineEnds_->setVisible(byLines_->isChecked());
  fixLineEnds_->setEnabled(detect_->isChecked());
}

void SplitMergeTool::applyMergeRules() {
  joinByText_->setEnabled(joinData_->isChecked());
  joinByFile_->setEnabled(joinData_->isChecked());
  const bool text = joinByText_->isEnabled() && joinByText_->isChecked();
  const bool file = joinByFile_->isEnabled() && joinByFile_->isChecked();
  joinText_->setEnabled(text);
  joinFile_->setEnabled(file);
  joinFileButton_->setEnabled(file);
}

SplitOptions SplitMergeTool::splitOptions() const {
  SplitOptions options;
  if (byCount_->isChecked()) {
    options.mode = SplitMode::ByCount;
  } else if (bySize_->isChecked()) {
    options.mode = SplitMode::BySize;
  } else if (byLines_->isChecked()) {
    options.mode = SplitMode::ByLines;
  } else if (byChars_->isChecked()) {
    options.mode = SplitMode::ByChars;
  } else if (bySeparator_->isChecked()) {
    options.mode = SplitMode::BySeparator;
  }
  options.pieceCount = textToInteger(fromQString(pieceCount_->text()));
  options.sizeValue = sizeValueFromText(fromQString(sizeValue_->text()));
  options.sizeUnit = std::max(0, sizeUnit_->currentIndex());
  options.linesLow = textToInteger(fromQString(linesLow_->text()));
  options.linesHigh = textToInteger(fromQString(linesHigh_->text()));
  options.charsLow = textToInteger(fromQString(charsLow_->text()));
  options.charsHigh = textToInteger(fromQString(charsHigh_->text()));
  options.separator = fromQString(controlTag(separatorButton_));
  options.skipBlankLines = skipBlank_->isChecked();
  options.detectEncoding = detect_->isChecked();
  options.fixLineEndings = fixLineEnds_->isChecked();
  options.intoSubfolder = intoSubfolder_->isChecked();
  options.deleteSource = deleteSources_->isChecked();
  options.contentNames = contentNames_->isChecked();
  return options;
}

MergeOptions SplitMergeTool::mergeOptions() const {
  MergeOptions options;
  options.join = JoinData::None;
  if (joinData_->isChecked()) {
    if (joinByText_->isChecked()) {
      options.join = JoinData::Text;
    } else if (joinByFile_->isChecked()) {
      options.join = JoinData::File;
    }
  }
  options.joinText = fromQString(joinText_->text());
  options.joinFile = pathFromQString(joinFile_->text());
  options.decode = decode_->isChecked();
  options.intoParent = intoParent_->isChecked();
  options.deleteInputs = deleteInputs_->isChecked();
  options.recursive = recursive_->isChecked();
  options.patterns = fromQString(mergePatterns_->text());
  options.matcher = ctrlHeld() ? Matcher::Alternative : Matcher::Standard;
  return options;
}

void SplitMergeTool::splitClicked() {
  if (splitStart_->stopIfRunning()) return;
  if (running()) return;
  const std::string lastFolder = pathFromQString(controlTag(splitButton_));
  PathList paths = pathListFromText(
      chooseFiles(this, toQString(kSplitFilesTitle), toQString(kSplitFilesFilter), lastFolder));
  if (paths.empty()) return;
  startSplit({{}, std::move(paths)});
}

void SplitMergeTool::mergeClicked() {
  if (mergeStart_->stopIfRunning()) return;
  if (running()) return;
  const std::string folder = chooseFolder(this, toQString(mergeFolderTitle(fromQString(mergePatterns_->text()))),
                                          pathFromQString(controlTag(splitButton_)));
  if (folder.empty()) return;
  startMerge({folder, {}, {}});
}

void SplitMergeTool::askSeparator() {
  QString separator;
  if (ShowInputDialog(controlTag(separatorButton_), std::nullopt, toQString(kSeparatorPrompt), this, &separator)) {
    setControlTag(separatorButton_, separator);
  }
}

void SplitMergeTool::chooseJoinFile() {
  const std::string file =
      chooseFile(this, toQString(kJoinFileTitle), toQString(kJoinFileFilter), pathFromQString(joinFile_->text()));
  if (!file.empty()) joinFile_->setText(qStringFromPath(file));
}

bool SplitMergeTool::acceptsDrops() const { return !running(); }

void SplitMergeTool::dropped(Area area, PathList paths) {
  droppedPaths_ = std::move(paths);
  QMetaObject::invokeMethod(dropCarrier_, [this, area] { handleDrop(area); }, Qt::QueuedConnection);
}

void SplitMergeTool::handleDrop(Area area) {
  PathList paths = std::move(droppedPaths_);
  droppedPaths_.clear();
  // A run may have started between the drop and now (another queued call); it is not nested.
  if (paths.empty() || running()) return;
  if (area == Area::Split) {
    const SplitDrop drop = planSplitDrop(paths);
    if (!askOkCancel(this, toQString(drop.question))) return;
    if (drop.isFolder) {
      startSplit({drop.folder, {}});
    } else {
      startSplit({{}, drop.paths});
    }
    return;
  }
  MergeDrop drop = planMergeDrop(paths);
  if (!askOkCancel(this, toQString(drop.question))) return;
  startMerge({{}, std::move(drop.files), std::move(drop.folders)});
}

void SplitMergeTool::startSplit(SplitInput input) {
  if (splitStart_->stopIfRunning() || running()) return;
  const SplitOptions options = splitOptions();
  const std::string patterns = fromQString(splitPatterns_->text());
  // The matcher follows the Ctrl key at the moment the folder is listed, which is now.
  const Matcher matcher = !input.folder.empty() && ctrlHeld() ? Matcher::Alternative : Matcher::Standard;
  if (!input.folder.empty()) setControlTag(splitButton_, qStringFromPath(input.folder));
  failures_.clear();
  auto state = std::make_shared<SplitState>();
  splitStart_->run(
      [state, input = std::move(input), options, patterns, matcher](RunContext& ctx) {
        const SplitStart start = input.folder.empty() ? splitStartFromList(input.paths)
                                                      : splitStartFromFolder(input.folder, patterns, matcher);
        state->resultFolder = start.resultFolder;
        state->sourceCount = start.sources.size();
        if (!start.sources.empty()) state->outcome = SplitRun(start.sources, options, ctx);
      },
      [this, state](bool) { splitFinished(*state); });
}

void SplitMergeTool::splitFinished(const SplitState& state) {
  showFailures();
  switch (state.outcome.end) {
    case SplitEnd::Invalid: {
      showMessage(this, toQString(state.outcome.message));
      if (auto* box = findChild<QWidget*>(toQString(state.outcome.focus))) box->setFocus();
      return;  // nothing was split: no completion question
    }
    case SplitEnd::AskSeparator:
      showMessage(this, toQString(state.outcome.message));
      askSeparator();
      return;
    case SplitEnd::Finished:
    case SplitEnd::Stopped:
      break;
  }
  if (state.sourceCount == 0) return;
  if (askYesNo(this, toQString(splitDoneQuestion(state.resultFolder)))) OpenInFileManager(state.resultFolder);
}

void SplitMergeTool::startMerge(MergeInput input) {
  if (mergeStart_->stopIfRunning() || running()) return;
  const MergeOptions options = mergeOptions();
  if (!input.folder.empty()) setControlTag(mergeButton_, qStringFromPath(input.folder));
  failures_.clear();
  auto state = std::make_shared<MergeState>();
  mergePatterns_->hide();
  const bool started = mergeStart_->run(
      [state, input = std::move(input), options](RunContext& ctx) {
        // A folder chosen with the button is merged without a question afterwards.
        if (!input.folder.empty()) {
          MergeFolder(input.folder, options, ctx);
          return;
        }
        if (!input.files.empty()) {
          MergeFiles(input.files, options, ctx);
          // With folders to follow, only the folders' merge asks.
          if (input.folders.empty()) {
            state->ask = true;
            state->resultFolder = mergeResultFolder(input.files, false, options.intoParent);
          }
        }
        if (!input.folders.empty() && !ctx.stopRequested()) {
          mergeFolders(input.folders, options, ctx);
          state->ask = true;
          state->resultFolder = mergeResultFolder(input.folders, true, options.intoParent);
        }
      },
      [this, state](bool) { mergeFinished(*state); });
  if (!started) mergePatterns_->show();
}

void SplitMergeTool::mergeFinished(const MergeState& state) {
  mergePatterns_->show();
  showFailures();
  if (!state.ask) return;
  repaint();
  if (askYesNo(this, toQString(mergeDoneQuestion(state.resultFolder)))) OpenInFileManager(state.resultFolder);
}

void SplitMergeTool::showFailures() {
  if (failures_.isEmpty()) return;
  const QString list = failures_.join(u"\r\n"_s);
  failures_.clear();
  ShowInputDialog(list, u"以下文件未能处理："_s, u"信息："_s, this, nullptr);
}

void SplitMergeTool::closeEvent(QCloseEvent* event) {
  SaveControls(settings_, this, stateName());
  QWidget::closeEvent(event);
}

}  // namespace chengling
