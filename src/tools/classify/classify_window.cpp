#include "tools/classify/classify_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCursor>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <optional>
#include <utility>
#include <vector>

#include "foundation/internal_text.h"
#include "foundation/path_helpers.h"
#include "foundation/program_directory.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/message_box.h"
#include "platform/qt_text.h"
#include "shell/alternative_matcher.h"
#include "shell/control_states.h"
#include "shell/control_tag.h"
#include "shell/controls.h"
#include "shell/drop_target.h"
#include "shell/input_dialog.h"
#include "shell/run_panel.h"
#include "shell/start_button.h"
#include "shell/tool_tip.h"
#include "shell/window_utils.h"
#include "tools/classify/classify_undo.h"
#include "tools/classify/classify_workflow.h"
#include "tools/classify/path_template.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

// A dry run of a huge tree lists this many files in its dialog; the summary counts them all.
constexpr size_t kPreviewLines = 10000;

// The words of this page: the captions of its three start buttons (a stop click leaves the run
// button's caption to its phase texts), and its titles, prompts and questions.
const StartCaptions kRunCaptions{u"立即执行归类"_s, u"正在初始化中.."_s, QString()};
const StartCaptions kPreviewCaptions{u"预览"_s, u"停止预览"_s, u"停止中.."_s};
const StartCaptions kUndoCaptions{u"撤销上次归类"_s, u"停止撤销"_s, u"停止中.."_s};
const QString kWindowTitle = u"文件归类 - 使用元符构建动态归类路径，实现复杂归类需求。帮助：点击显示元符按钮"_s;
const QString kFileListPrompt = u"可以在别处复制文件列表在这里粘贴，也可以直接拖放文件列表，按住Ctrl键可以追加拖放："_s;
const QString kFileListCaption = u"输入文件路径列表"_s;
const QString kBatchNamesPrompt =
    u"这个批次名列表在每换一个批次（比如100个文件的归类数量为一个批次）时按顺序循环使用，"
    u"你可以在【归类到】编辑框中引用[批次名]以构建文件将归类到的一个新路径："_s;
const QString kBatchNamesCaption = u"输入批次名列表"_s;
const QString kDroppedCaption = u"已拖入"_s;
const QString kDroppedRestingCaption = u"文件列表"_s;
const QString kSummaryCaption = u"归类完成！"_s;
const QString kSummaryPrompt = u"下面仅显示部分归类后的文件路径。\r\n完整记录请看软件目录下的【归类后文件路径.txt】"_s;
const QString kFailuresPrompt = u"以下文件未能归类："_s;
const QString kWarningsHeading = u"以下各项需要留意："_s;
const QString kPreviewCaption = u"归类预览"_s;
const QString kUndoQuestion = u"确定把上次归类移动的文件移回原位置吗？"_s;
const QString kUndoCaption = u"撤销归类"_s;

QString folderTitle(const QString& filter) { return u"请选择需要归类的文件所在文件夹(%1)："_s.arg(filter); }

QString failureSummary(int64_t failures) {
  return u"归类完成，但有 %1 个文件归类失败，具体请看已打开的【归类失败的文件路径.txt】"_s.arg(failures);
}

}  // namespace

QString ClassifyTool::stateName() { return u"文件批量归类"_s; }

ClassifyTool::ClassifyTool(SettingsStore& settings, QWidget* parent) : QWidget(parent) {
  setObjectName(u"ClassifyTool"_s);
  setWindowTitle(kWindowTitle);
  panel_ = new RunPanel(this);
  buildControls();
  buildTokenMenu();
  addToolTips();

  runStart_ = panel_->addStartButton(runButton_, kRunCaptions);
  // The folders a dry run reads show on the status label.
  previewStart_ = panel_->addStartButton(previewButton_, kPreviewCaptions, RunPanel::Phases::OnStatus);
  undoStart_ = panel_->addStartButton(undoButton_, kUndoCaptions, RunPanel::Phases::OnStatus);
  connectControls();

  KeepControlStates(settings, this, stateName());
  applyInputRules();
  applyBatchRules();
  undoButton_->setEnabled(ClassifyUndoAvailable(programDirectory()));
  new DropTarget(this, u"拖放对象"_s, [this] { return !running(); },
                 [this](PathList paths, Qt::KeyboardModifiers modifiers) { filesDropped(paths, modifiers); });
}

ClassifyTool::~ClassifyTool() = default;

bool ClassifyTool::running() const { return panel_->running(); }

void ClassifyTool::buildControls() {
  fromFolder_ = makeRadio(u"单选框指定目录"_s, u"来自文件夹"_s, true);
  fromList_ = makeRadio(u"单选框文件列表"_s, u"来自列表"_s);
  inputGroup_ = new QButtonGroup(this);
  inputGroup_->addButton(fromFolder_);
  inputGroup_->addButton(fromList_);
  folder_ = makeEdit(u"编辑框目录"_s, QString(), fromFolder_->text());
  folderButton_ = makeButton(u"按钮选择目录"_s, u".."_s);
  folderButton_->setAccessibleName(u"选择文件夹"_s);
  folderButton_->setMaximumWidth(40);
  filter_ = makeEdit(u"编辑框过滤"_s, u"*.*"_s, QString());
  filter_->setMaximumWidth(240);
  recursive_ = makeCheck(u"选择框遍历子目录"_s, u"遍历子目录"_s);
  fileListButton_ = makeButton(u"按钮输入文件列表"_s, u"输入文件列表(也可以拖放文件到这).."_s);
  // The list button doubles as the place to drop files on: it takes the room the page has left.
  fileListButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  fileListButton_->setMinimumHeight(48);

  template_ = makeEdit(u"编辑框归类到"_s, toQString(kDefaultTemplate), QString());
  tokenButton_ = makeButton(u"按钮元符"_s, u"显示元符"_s);
  perBatch_ = makeEdit(u"编辑框每批次归类数量"_s, u"100"_s, QString());
  perBatch_->setMaximumWidth(90);
  numbers_ = makeRadio(u"单选框使用数字"_s, u"使用数字"_s, true);
  letters_ = makeRadio(u"单选框使用字母"_s, u"使用字母"_s);
  named_ = makeRadio(u"单选框使用指定"_s, u"使用指定"_s);
  batchGroup_ = new QButtonGroup(this);
  for (QRadioButton* mode : {numbers_, letters_, named_}) batchGroup_->addButton(mode);
  batchNamesButton_ = makeButton(u"按钮输入批次名列表"_s, u"输入.."_s);
  batchNamesButton_->setAccessibleName(u"输入批次名列表"_s);
  keepSources_ = makeCheck(u"选择框保留原文件"_s, u"保留原文件"_s, true);

  runButton_ = makeButton(u"按钮立即执行归类"_s, kRunCaptions.idle);
  // Per-file captions are long and change all the time: the button keeps the width the page gives it.
  runButton_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  runButton_->setMinimumSize(240, 40);
  previewButton_ = makeButton(u"按钮预览"_s, kPreviewCaptions.idle);
  undoButton_ = makeButton(u"按钮撤销上次归类"_s, kUndoCaptions.idle);
  for (QPushButton* button : {previewButton_, undoButton_}) {
    button->setMinimumSize(120, 40);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  }

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(10);
  grid->addWidget(makeLabel(u"标签1"_s, u"归类目标："_s), 0, 0);
  grid->addWidget(fromFolder_, 0, 1);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folder_, 1);
  folderRow->addWidget(folderButton_);
  grid->addLayout(folderRow, 0, 2);
  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(makeLabel(u"标签文件类型"_s, u"文件类型："_s, filter_));
  filterRow->addWidget(filter_, 1);
  filterRow->addSpacing(16);
  filterRow->addWidget(recursive_);
  filterRow->addStretch(1);
  grid->addLayout(filterRow, 1, 2);
  grid->addWidget(fromList_, 2, 1, Qt::AlignTop);
  grid->addWidget(fileListButton_, 2, 2);
  grid->setRowStretch(2, 1);

  auto* rule = named(new QFrame, u"分隔线"_s);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  grid->addWidget(rule, 3, 0, 1, 3);

  grid->addWidget(makeLabel(u"标签2"_s, u"归类到路径："_s, template_), 4, 0);
  auto* templateRow = new QHBoxLayout;
  templateRow->addWidget(template_, 1);
  templateRow->addWidget(tokenButton_);
  grid->addLayout(templateRow, 4, 1, 1, 2);
  grid->addWidget(makeLabel(u"标签4"_s, u"每批次的归类数量："_s, perBatch_), 5, 0);
  auto* batchRow = new QHBoxLayout;
  batchRow->addWidget(perBatch_);
  batchRow->addSpacing(30);
  batchRow->addWidget(makeLabel(u"标签3"_s, u"批次名："_s));
  for (QWidget* widget : std::initializer_list<QWidget*>{numbers_, letters_, named_, batchNamesButton_}) {
    batchRow->addWidget(widget);
  }
  batchRow->addStretch(1);
  grid->addLayout(batchRow, 5, 1, 1, 2);
  grid->addWidget(keepSources_, 6, 1, 1, 2);
  grid->setColumnStretch(2, 1);

  auto* runRow = new QHBoxLayout;
  runRow->addWidget(runButton_, 1);
  runRow->addWidget(previewButton_);
  runRow->addWidget(undoButton_);

  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(12, 12, 12, 8);
  page->setSpacing(10);
  page->addLayout(grid, 1);
  page->addSpacing(6);
  page->addLayout(runRow);
  page->addWidget(panel_->makeProgressBar());
}

void ClassifyTool::addToolTips() {
  tips_ = new ToolTip(this);
  tips_->Create(true, false);
  const QString perBatchTip = u"每归类这么多个文件换一个批次，[批次名] 随之变化；0 表示每个文件自成一批"_s;
  const std::pair<QWidget*, QString> tips[] = {
      {filter_, u"要归类的文件类型，多个类型用 | 分隔，如 *.txt|*.jpg"_s},
      {recursive_, u"同时归类所有子文件夹中的文件；每个文件夹的批次各自从头算起"_s},
      {fromList_, u"归类“输入文件列表”中的文件，也可以把文件拖放到本页"_s},
      {tokenButton_, u"元符是路径中用方括号标出、归类时替换的部分，如 [文件名]；点击可插入元符或查看元符帮助"_s},
      {perBatch_, perBatchTip},
      {numbers_, u"批次名依次为 1、2、3……"_s},
      {letters_, u"批次名依次为 A、B……Z、AA、AB……"_s},
      {named_, u"批次名按顺序取自“输入..”中的名称列表，用完后从头循环"_s},
      {batchNamesButton_, u"输入批次名列表，每行一个名称"_s},
      {keepSources_, u"勾选：复制文件，原文件留在原处，目标处的同名文件会被替换\n"
                     u"不勾选：移动文件，目标处已有同名文件时不移动，记为失败"_s},
      {runButton_, u"右键点击：文件类型整体作为一个匹配模式"_s},
      {previewButton_, u"列出每个文件将归类到的路径，不改动任何文件"_s},
      {undoButton_, u"把上次移动归类的文件移回原位置，并删除归类时新建、现已变空的文件夹"_s},
  };
  for (const auto& [control, text] : tips) tips_->AddTool(control, text, false);
  // The label of the batch size explains the same box.
  tips_->AddTool(findChild<QLabel*>(u"标签4"_s), perBatchTip, false);
}

void ClassifyTool::buildTokenMenu() {
  tokenMenu_ = named(new QMenu(this), u"元符"_s);
  const std::vector<std::string> items = tokenMenuItems();
  for (const std::string& item : items) {
    if (item.empty()) {
      tokenMenu_->addSeparator();
      continue;
    }
    QAction* action = tokenMenu_->addAction(toQString(item));
    if (item == kTokenHelpCaption) {
      action->setObjectName(u"元符帮助"_s);
      connect(action, &QAction::triggered, this, [this] {
        ShowInputDialog(toQString(tokenHelpText()), std::nullopt, toQString(kTokenHelpCaption), this, nullptr);
      });
    } else {
      action->setData(toQString(item));
      connect(action, &QAction::triggered, this, [this, action] { insertToken(action->data().toString()); });
    }
  }
}

void ClassifyTool::connectControls() {
  connect(inputGroup_, &QButtonGroup::buttonToggled, this, &ClassifyTool::applyInputRules);
  connect(batchGroup_, &QButtonGroup::buttonToggled, this, &ClassifyTool::applyBatchRules);
  connect(folderButton_, &QPushButton::clicked, this, &ClassifyTool::chooseEntryFolder);
  connect(fileListButton_, &QPushButton::clicked, this, &ClassifyTool::editFileList);
  connect(batchNamesButton_, &QPushButton::clicked, this, &ClassifyTool::editBatchNames);
  connect(tokenButton_, &QPushButton::clicked, this, &ClassifyTool::showTokenMenu);
  startWithEitherMatcher(runButton_, [this](Matcher matcher) { runPressed(matcher); });
  connect(previewButton_, &QPushButton::clicked, this, &ClassifyTool::previewClicked);
  connect(undoButton_, &QPushButton::clicked, this, &ClassifyTool::undoClicked);
  template_->installEventFilter(this);
}

bool ClassifyTool::eventFilter(QObject* watched, QEvent* event) {
  if (watched == template_ && event->type() == QEvent::FocusOut) {
    // Seen before the box handles the event, which may drop the selection.
    savedCaret_ = template_->cursorPosition();
    savedSelectionStart_ = template_->selectionStart();
    savedSelectionLength_ = template_->selectionLength();
  }
  return QWidget::eventFilter(watched, event);
}

void ClassifyTool::applyInputRules() {
  const bool folder = fromFolder_->isChecked();
  for (QWidget* control : std::initializer_list<QWidget*>{folder_, filter_, folderButton_, recursive_}) {
    control->setEnabled(folder);
  }
  fileListButton_->setEnabled(!folder);
}

void ClassifyTool::applyBatchRules() { batchNamesButton_->setEnabled(named_->isChecked()); }

void ClassifyTool::chooseEntryFolder() {
  const std::string chosen = chooseFolder(this, folderTitle(filter_->text()), pathFromQString(folder_->text()));
  if (!chosen.empty()) folder_->setText(qStringFromPath(chosen));
}

void ClassifyTool::editFileList() {
  QString list;
  if (ShowInputDialog(controlTag(fileListButton_), kFileListPrompt, kFileListCaption, this, &list)) {
    setControlTag(fileListButton_, list);
  }
}

void ClassifyTool::editBatchNames() {
  QString names;
  if (ShowInputDialog(controlTag(batchNamesButton_), kBatchNamesPrompt, kBatchNamesCaption, this, &names)) {
    setControlTag(batchNamesButton_, names);
  }
}

void ClassifyTool::showTokenMenu() { tokenMenu_->popup(QCursor::pos()); }

void ClassifyTool::insertToken(const QString& token) {
  if (!template_->hasFocus() && savedCaret_ >= 0) {
    if (savedSelectionLength_ > 0) {
      template_->setSelection(savedSelectionStart_, savedSelectionLength_);
    } else {
      template_->setCursorPosition(savedCaret_);
    }
  }
  template_->insert(token);
  template_->setFocus(Qt::OtherFocusReason);
}

void ClassifyTool::filesDropped(const PathList& paths, Qt::KeyboardModifiers modifiers) {
  const bool append = modifiers.testFlag(Qt::ControlModifier);
  const std::string list = droppedFileList(fromQString(controlTag(fileListButton_)), paths, append);
  setControlTag(fileListButton_, toQString(list));
  fromList_->setChecked(true);
  applyInputRules();
  FlashCaption(fromList_, kDroppedCaption, kDroppedRestingCaption);
}

bool ClassifyTool::confirmTemplate() {
  const std::vector<std::string> words = unknownBracketWords(fromQString(template_->text()));
  return words.empty() || askYesNo(this, toQString(unknownWordsQuestion(words)));
}

ClassifyOptions ClassifyTool::options(Matcher matcher) const {
  ClassifyOptions options;
  options.source = fromList_->isChecked() ? ClassifySource::FileList : ClassifySource::Folder;
  options.entryFolder = pathFromQString(folder_->text());
  options.filter = fromQString(filter_->text());
  options.recursive = recursive_->isChecked();
  options.matcher = matcher;
  options.fileList = pathListFromText(fromQString(controlTag(fileListButton_)));
  options.templateText = fromQString(template_->text());
  options.perBatch = textToInteger(fromQString(perBatch_->text()));
  if (numbers_->isChecked()) {
    options.batchMode = BatchNameMode::Numbers;
  } else if (letters_->isChecked()) {
    options.batchMode = BatchNameMode::Letters;
  } else {
    options.batchMode = BatchNameMode::NamedList;
  }
  options.batchNames = splitText(fromQString(controlTag(batchNamesButton_)), "\r\n");
  options.keepSources = keepSources_->isChecked();
  options.logFolder = programDirectory();
  return options;
}

void ClassifyTool::runPressed(Matcher matcher) {
  if (panel_->busyClick(runStart_) || !confirmTemplate()) return;
  struct Result {
    ClassifyOutcome outcome;
    bool undoAvailable = false;
  };
  // Per-file captions name paths: they read from the left while the run shows them.
  runButton_->setStyleSheet(u"text-align: left; padding-left: 8px;"_s);
  const bool started = panel_->start(
      runStart_,
      [options = options(matcher)](RunContext& ctx) {
        Result result{ClassifyRun(options, ctx)};
        result.undoAvailable = undoAvailableAfter(options, result.outcome);
        return result;
      },
      [this](const Result& result, bool) { runFinished(result.outcome, result.undoAvailable); });
  if (!started) runButton_->setStyleSheet(QString());
}

void ClassifyTool::runFinished(const ClassifyOutcome& outcome, bool undoAvailable) {
  runButton_->setStyleSheet(QString());
  undoButton_->setEnabled(undoAvailable);
  if (!outcome.error.empty()) {
    panel_->statusLabel()->clear();
    showMessage(this, toQString(outcome.error), {}, MessageIcon::Warning);
    return;
  }
  panel_->statusLabel()->setText(toQString(runSummary(outcome)));
  if (outcome.failed < 1) {
    ShowInputDialog(toQString(outcome.preview), kSummaryPrompt, kSummaryCaption, this, nullptr);
  } else {
    openDocument(joinPath(programDirectory(), kFailureLogName));
    showMessage(this, failureSummary(outcome.failed), {}, MessageIcon::Warning);
  }
  // Why each file failed, and what deserves a look (a log that could not be completed).
  panel_->showFailures(kFailuresPrompt, kWarningsHeading);
}

void ClassifyTool::previewClicked() {
  if (panel_->busyClick(previewStart_)) return;
  const ClassifyOptions planned = options(Matcher::Standard);
  const std::string notice = unknownWordsNotice(unknownBracketWords(planned.templateText));
  panel_->statusLabel()->clear();
  panel_->start(
      previewStart_, [planned](RunContext& ctx) { return ClassifyPlan(planned, ctx); },
      [this, keepSources = planned.keepSources, notice](const ClassifyPlanOutcome& plan, bool stopped) {
        panel_->statusLabel()->clear();
        if (!plan.error.empty()) {
          showMessage(this, toQString(plan.error), {}, MessageIcon::Warning);
          return;
        }
        QString summary = toQString(planSummary(plan.files));
        if (stopped) summary = u"已停止。"_s + summary;
        // The words the template leaves as text come first: they show in every target below.
        if (!notice.empty()) summary = toQString(notice) + u"\r\n"_s + summary;
        ShowInputDialog(toQString(planText(plan.files, keepSources, kPreviewLines)), summary,
                        kPreviewCaption, this, nullptr);
      });
}

void ClassifyTool::undoClicked() {
  if (panel_->busyClick(undoStart_)) return;
  if (!askOkCancel(this, kUndoQuestion)) return;
  struct Result {
    UndoOutcome outcome;
    bool undoAvailable = false;
  };
  panel_->statusLabel()->clear();
  panel_->start(
      undoStart_,
      [logFolder = programDirectory()](RunContext& ctx) {
        Result result{ClassifyUndo(logFolder, ctx)};
        result.undoAvailable = ClassifyUndoAvailable(logFolder);
        return result;
      },
      [this](const Result& result, bool) { undoFinished(result.outcome, result.undoAvailable); });
}

void ClassifyTool::undoFinished(const UndoOutcome& outcome, bool undoAvailable) {
  undoButton_->setEnabled(undoAvailable);
  if (!outcome.error.empty()) {
    showMessage(this, toQString(outcome.error), {}, MessageIcon::Warning);
    return;
  }
  const std::string summary = undoSummary(outcome);
  panel_->statusLabel()->setText(toQString(summary));
  // Failed steps are among the lines with their reasons; a notice about the logs comes first.
  QString notices;
  for (const QString& warning : panel_->warnings()) notices += warning + u"\r\n"_s;
  std::string lines;
  for (const UndoStep& step : outcome.steps) {
    lines += undoStepLine(step);
    lines += "\r\n";
  }
  for (const std::string& folder : outcome.removedFolders) {
    lines += undoFolderLine(folder);
    lines += "\r\n";
  }
  ShowInputDialog(notices + toQString(lines), toQString(summary), kUndoCaption, this, nullptr);
}

}  // namespace chengling
