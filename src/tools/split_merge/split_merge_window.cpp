#include "tools/split_merge/split_merge_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

#include "foundation/internal_text.h"
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
#include "tools/split_merge/merge_engine.h"
#include "tools/split_merge/split_engine.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

// The captions of the two start buttons (the merge button's with five trailing blanks), the
// titles and filters of the dialogs, and the headings of the details dialog after a run.
const StartCaptions kSplitCaptions{u"开始分割（选择文件）.."_s, u"正在分割，点击停止"_s, u"正在停止中"_s};
const StartCaptions kMergeCaptions{u"开始合并（选择文件夹）..     "_s, u"正在合并，点击停止"_s, u"正在停止中     "_s};
const QString kSplitFilesTitle = u"选择多个文件进行分割："_s;
const QString kSplitFilesFilter = u"TXT文档(*.txt)|*.txt|HTML文档(*.htm;*.html)|*.htm;*.html|所有文件(*.*)|*.*"_s;
const QString kJoinFileTitle = u"选择一个文件作为合并中间数据"_s;
const QString kJoinFileFilter = u"全部文件(*.*)|*.*"_s;
const QString kSeparatorPrompt = u"请输入用于分割的字符串，这些字符串必然多次出现在目标文件中，这样才能以此为分割点"_s;
const QString kFailuresPrompt = u"以下文件未能处理："_s;
const QString kSplitWarningsHeading = u"以下文件已分割，请留意："_s;
const QString kMergeWarningsHeading = u"以下各项需要留意："_s;

QString mergeFolderTitle(const QString& patterns) {
  return u"选择一个文件夹，将读入文件夹下的所有 %1 文件进行合并。你也可以直接拖放要合并的文件或文件夹到软件"_s.arg(patterns);
}

}  // namespace

QString SplitMergeTool::stateName() { return u"文件分割合并"_s; }

SplitMergeTool::SplitMergeTool(SettingsStore& settings, QWidget* parent) : QWidget(parent) {
  setObjectName(u"SplitMergeTool"_s);
  panel_ = new RunPanel(this);

  auto* areas = new QHBoxLayout;
  areas->addWidget(buildSplitArea(), 1);
  areas->addWidget(buildMergeArea(), 1);
  auto* page = new QVBoxLayout(this);
  page->addLayout(areas, 1);
  page->addWidget(panel_->makeProgressBar());
  named(new QLabel(this), u"标签3"_s)->hide();

  splitStart_ = panel_->addStartButton(splitButton_, kSplitCaptions);
  mergeStart_ = panel_->addStartButton(mergeButton_, kMergeCaptions);
  connectControls();

  KeepControlStates(settings, this, stateName());
  applySplitRules();
  applyMergeRules();
  const auto idle = [this] { return !running(); };
  new DropTarget(splitGroup_, u"拖放对象1"_s, idle,
                 [this](PathList paths, Qt::KeyboardModifiers) { splitDropped(paths); });
  new DropTarget(mergeGroup_, u"拖放对象2"_s, idle,
                 [this](PathList paths, Qt::KeyboardModifiers) { mergeDropped(paths); });
}

SplitMergeTool::~SplitMergeTool() = default;

bool SplitMergeTool::running() const { return panel_->running(); }

namespace {

// A framed hint that fills the free height of an area: where to drop, and what happens then.
QLabel* dropHint(const QString& name, const QString& text) {
  auto* hint = named(new QLabel(text), name);
  hint->setAlignment(Qt::AlignCenter);
  hint->setWordWrap(true);
  hint->setFrameShape(QFrame::StyledPanel);
  hint->setEnabled(false);
  hint->setMinimumHeight(48);
  return hint;
}

// An options row: the controls left-aligned.
QHBoxLayout* optionRow(std::initializer_list<QWidget*> widgets) {
  auto* row = new QHBoxLayout;
  for (QWidget* widget : widgets) row->addWidget(widget);
  row->addStretch();
  return row;
}

// The patterns box beside the start button, which takes the larger share.
QHBoxLayout* startRow(QLineEdit* patterns, QPushButton* start) {
  start->setMinimumHeight(32);
  patterns->setMinimumHeight(32);
  auto* row = new QHBoxLayout;
  row->addWidget(patterns, 1);
  row->addWidget(start, 2);
  return row;
}

}  // namespace

QWidget* SplitMergeTool::buildSplitArea() {
  splitGroup_ = named(new QGroupBox(u"分割操作区"_s), u"分组框分割"_s);
  byCount_ = makeRadio(u"单选框按份数"_s, u"按份数"_s, true);
  pieceCount_ = makeEdit(u"编辑框份数"_s, u"100"_s, u"份数"_s);
  bySize_ = makeRadio(u"单选框按字节"_s, u"按字节"_s);
  sizeValue_ = makeEdit(u"编辑框字节"_s, u"3.12"_s, u"字节"_s);
  sizeUnit_ = makeCombo(u"组合框字节单位"_s, {u"B"_s, u"KB"_s, u"MB"_s, u"GB"_s}, 1, u"字节单位"_s);
  wholeLines_ = makeCheck(u"选择框不截断行"_s, u"不截断行"_s);
  wholeLines_->setAccessibleName(u"按份数或按字节分割时不截断行"_s);
  wholeLines_->setToolTip(
      u"按份数或按字节分割时，切分点后移到下一个换行之后：一行不会分到两个文件里，每份因此可能稍大；不是文本的文件仍按字节分割"_s);
  byChars_ = makeRadio(u"单选框按字符数"_s, u"按字符数"_s);
  charsLow_ = makeEdit(u"编辑框字数1"_s, u"200"_s, u"最少字符数"_s);
  charsHigh_ = makeEdit(u"编辑框字数2"_s, u"500"_s, u"最多字符数"_s);
  byLines_ = makeRadio(u"单选框按行数"_s, u"按行数"_s);
  linesLow_ = makeEdit(u"编辑框行数1"_s, u"5"_s, u"最少行数"_s);
  linesHigh_ = makeEdit(u"编辑框行数2"_s, u"10"_s, u"最多行数"_s);
  skipBlank_ = makeCheck(u"选择框忽略空行"_s, u"忽略空行"_s);
  bySeparator_ = makeRadio(u"单选框按字符串"_s, u"按字符串"_s);
  separatorButton_ = makeButton(u"按钮输入字符串"_s, u"输入字符串"_s);
  detect_ = makeCheck(u"选择框识别编码"_s, u"识别编码(效率较低)"_s);
  fixLineEnds_ = makeCheck(u"选择框矫正换行"_s, u"矫正换行(不支持大文件)"_s);
  detect_->setToolTip(
      u"识别文件的编码（ANSI 即 GBK、UTF-8、Unicode 即 UTF-16），分割文件仍用原来的编码写出；不是文本的文件不分割"_s);
  intoSubfolder_ = makeCheck(u"选择框子目录保存"_s, u"分割到子目录"_s, true);
  deleteSources_ = makeCheck(u"选择框分割后删除文件"_s, u"分割后删除"_s);
  contentNames_ = makeCheck(u"选择框随机改名"_s, u"随机改名"_s);
  splitPatterns_ = makeEdit(u"编辑框文件类型"_s, u"*.*"_s, u"分割的文件类型"_s);
  splitButton_ = makeButton(u"按钮开始分割"_s, kSplitCaptions.idle);
  for (QLineEdit* box : {pieceCount_, sizeValue_, charsLow_, charsHigh_, linesLow_, linesHigh_}) {
    box->setMaximumWidth(90);
  }

  auto* modes = new QGridLayout;
  modes->setVerticalSpacing(8);
  const auto row = [modes](int at, std::initializer_list<QWidget*> widgets) {
    int column = 0;
    for (QWidget* widget : widgets) modes->addWidget(widget, at, column++);
  };
  row(0, {byCount_, pieceCount_});
  row(1, {bySize_, sizeValue_, sizeUnit_});
  modes->addWidget(wholeLines_, 2, 1, 1, 3);  // under the two modes it serves
  row(3, {byChars_, charsLow_, named(new QLabel(u"-"_s), u"标签2"_s), charsHigh_});
  row(4, {byLines_, linesLow_, named(new QLabel(u"-"_s), u"标签1"_s), linesHigh_, skipBlank_});
  modes->addWidget(bySeparator_, 5, 0);
  modes->addWidget(separatorButton_, 5, 1, 1, 3);
  modes->setColumnStretch(5, 1);

  auto* area = new QVBoxLayout(splitGroup_);
  area->setSpacing(10);
  area->addLayout(modes);
  area->addLayout(optionRow({detect_, fixLineEnds_}));
  area->addLayout(optionRow({intoSubfolder_, deleteSources_, contentNames_}));
  area->addWidget(dropHint(u"标签拖放提示1"_s,
                           u"把要分割的文件拖放到这里；\n拖入一个文件夹时，分割其中符合下方文件类型的文件"_s), 1);
  area->addLayout(startRow(splitPatterns_, splitButton_));
  return splitGroup_;
}

QWidget* SplitMergeTool::buildMergeArea() {
  mergeGroup_ = named(new QGroupBox(u"合并操作区"_s), u"分组框合并"_s);
  joinData_ = makeCheck(u"选择框合并中间"_s, u"合并时使用中间数据连接"_s);
  joinByText_ = makeRadio(u"单选框使用字符串"_s, u"使用字符串"_s, true);
  joinText_ = makeEdit(u"编辑框字符串"_s, u"我是中间字符串"_s, u"中间字符串"_s);
  joinByFile_ = makeRadio(u"单选框使用文件"_s, u"使用文件"_s);
  joinFile_ = makeEdit(u"编辑框文件路径"_s, u"/home/用户/1.txt"_s, u"中间数据文件"_s);
  joinFileButton_ = makeButton(u"按钮选择文件"_s, u".."_s);
  joinFileButton_->setAccessibleName(u"选择中间数据文件"_s);
  joinFileButton_->setMaximumWidth(40);
  decode_ = makeCheck(u"选择框处理文本编码"_s, u"处理编码"_s);
  decode_->setToolTip(
      u"识别每个文件的编码（ANSI 即 GBK、UTF-8、Unicode 即 UTF-16）后合并，结果采用最后一个文件的编码；不是文本的文件不合并"_s);
  intoParent_ = makeCheck(u"选择框父目录保存"_s, u"合并到父目录"_s, true);
  deleteInputs_ = makeCheck(u"选择框合并后删除文件"_s, u"合并后删除"_s);
  recursive_ = makeCheck(u"选择框遍历子目录"_s, u"遍历子级"_s);
  naturalOrder_ = makeCheck(u"选择框数字顺序"_s, u"按数字顺序"_s);
  naturalOrder_->setToolTip(u"文件夹中的文件按名称里的数字大小排列：book_2 在 book_10 之前"_s);
  mergePatterns_ = makeEdit(u"编辑框文件类型1"_s, u"*.*"_s, u"合并的文件类型"_s);
  mergeButton_ = makeButton(u"按钮开始合并"_s, kMergeCaptions.idle);

  auto* join = new QGridLayout;
  join->setVerticalSpacing(10);
  join->addWidget(joinData_, 0, 0, 1, 3);
  join->addWidget(joinByText_, 1, 0);
  join->addWidget(joinText_, 1, 1, 1, 2);
  join->addWidget(joinByFile_, 2, 0);
  join->addWidget(joinFile_, 2, 1);
  join->addWidget(joinFileButton_, 2, 2);
  join->setColumnStretch(1, 1);

  auto* area = new QVBoxLayout(mergeGroup_);
  area->setSpacing(10);
  area->addLayout(join);
  area->addLayout(optionRow({decode_, intoParent_, deleteInputs_}));
  area->addLayout(optionRow({recursive_, naturalOrder_}));
  area->addWidget(dropHint(u"标签拖放提示2"_s,
                           u"把要合并的文件或文件夹拖放到这里；\n文件按拖放的顺序合并为一个文件，每个文件夹各合并为一个文件"_s), 1);
  area->addLayout(startRow(mergePatterns_, mergeButton_));
  return mergeGroup_;
}

void SplitMergeTool::connectControls() {
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
  wholeLines_->setEnabled(byCount_->isChecked() || bySize_->isChecked());
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
  // Only the chosen mode's boxes must hold numbers; the first that does not is named.
  const auto read = [&options](bool chosen, SplitField field, bool readable) {
    if (chosen && !readable && options.unreadable == SplitField::None) options.unreadable = field;
  };
  options.sizeUnit = std::max(0, sizeUnit_->currentIndex());
  read(byCount_->isChecked(), SplitField::PieceCount, countFromText(fromQString(pieceCount_->text()), options.pieceCount));
  read(bySize_->isChecked(), SplitField::SizeValue,
       sizeFromText(fromQString(sizeValue_->text()), options.sizeUnit, options.sizeValue));
  read(byLines_->isChecked(), SplitField::LinesLow, countFromText(fromQString(linesLow_->text()), options.linesLow));
  read(byLines_->isChecked(), SplitField::LinesLow, countFromText(fromQString(linesHigh_->text()), options.linesHigh));
  read(byChars_->isChecked(), SplitField::CharsLow, countFromText(fromQString(charsLow_->text()), options.charsLow));
  read(byChars_->isChecked(), SplitField::CharsLow, countFromText(fromQString(charsHigh_->text()), options.charsHigh));
  options.separator = fromQString(controlTag(separatorButton_));
  options.skipBlankLines = skipBlank_->isChecked();
  options.detectEncoding = detect_->isChecked();
  options.fixLineEndings = fixLineEnds_->isChecked();
  options.intoSubfolder = intoSubfolder_->isChecked();
  options.deleteSource = deleteSources_->isChecked();
  options.contentNames = contentNames_->isChecked();
  options.cut = wholeLines_->isChecked() ? SplitCut::WholeLines : SplitCut::Bytes;
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
  options.naturalOrder = naturalOrder_->isChecked();
  options.patterns = fromQString(mergePatterns_->text());
  options.matcher = matcherOfKeyboard();
  return options;
}

void SplitMergeTool::splitClicked() {
  if (panel_->busyClick(splitStart_)) return;
  const std::string lastFolder = pathFromQString(controlTag(splitButton_));
  PathList paths = pathListFromText(chooseFiles(this, kSplitFilesTitle, kSplitFilesFilter, lastFolder));
  if (paths.empty()) return;
  startSplit([paths = std::move(paths)](const SplitOptions& options, RunContext& ctx) {
    return SplitFiles(paths, options, ctx);
  });
}

void SplitMergeTool::mergeClicked() {
  if (panel_->busyClick(mergeStart_)) return;
  const std::string folder =
      chooseFolder(this, mergeFolderTitle(mergePatterns_->text()), pathFromQString(controlTag(splitButton_)));
  if (folder.empty()) return;
  setControlTag(mergeButton_, qStringFromPath(folder));
  startMerge([folder](const MergeOptions& options, RunContext& ctx) { return MergeChosenFolder(folder, options, ctx); });
}

void SplitMergeTool::askSeparator() {
  QString separator;
  // The long text is the caption, which a title bar cuts; it stands above the box as well.
  if (ShowInputDialog(controlTag(separatorButton_), kSeparatorPrompt, kSeparatorPrompt, this, &separator)) {
    setControlTag(separatorButton_, separator);
  }
}

void SplitMergeTool::chooseJoinFile() {
  const std::string file = chooseFile(this, kJoinFileTitle, kJoinFileFilter, pathFromQString(joinFile_->text()));
  if (!file.empty()) joinFile_->setText(qStringFromPath(file));
}

void SplitMergeTool::splitDropped(const PathList& paths) {
  SplitDrop drop = planSplitDrop(paths);
  if (!askOkCancel(this, toQString(drop.question))) return;
  if (drop.isFolder) setControlTag(splitButton_, qStringFromPath(drop.folder));
  const std::string patterns = fromQString(splitPatterns_->text());
  // The matcher follows the Ctrl key at the moment the folder is listed, which is now.
  const Matcher matcher = drop.isFolder ? matcherOfKeyboard() : Matcher::Standard;
  startSplit([drop = std::move(drop), patterns, matcher](const SplitOptions& options, RunContext& ctx) {
    return SplitDropped(drop, patterns, matcher, options, ctx);
  });
}

void SplitMergeTool::mergeDropped(const PathList& paths) {
  MergeDrop drop = planMergeDrop(paths);
  if (!askOkCancel(this, toQString(drop.question))) return;
  startMerge([drop = std::move(drop)](const MergeOptions& options, RunContext& ctx) {
    return MergeDropped(drop, options, ctx);
  });
}

void SplitMergeTool::startSplit(SplitJob split) {
  panel_->start(
      splitStart_, [split = std::move(split), options = splitOptions()](RunContext& ctx) { return split(options, ctx); },
      [this](const SplitReport& report, bool) { splitFinished(report); });
}

void SplitMergeTool::splitFinished(const SplitReport& report) {
  panel_->showFailures(kFailuresPrompt, kSplitWarningsHeading);
  const SplitOutcome& outcome = report.outcome;
  switch (outcome.end) {
    case SplitEnd::Invalid: {
      showMessage(this, toQString(outcome.message));
      QLineEdit* const boxes[] = {nullptr, pieceCount_, sizeValue_, linesLow_, charsLow_};
      if (QLineEdit* box = boxes[static_cast<int>(outcome.field)]) box->setFocus();
      return;  // nothing was split: no completion question
    }
    case SplitEnd::AskSeparator:
      showMessage(this, toQString(outcome.message));
      askSeparator();
      return;
    case SplitEnd::Finished:
    case SplitEnd::Stopped:
      break;
  }
  showEnd(splitEnd(report));
}

void SplitMergeTool::showEnd(const RunEnd& end) {
  if (end.text.empty()) return;
  if (end.folder.empty()) {
    showMessage(this, toQString(end.text));
  } else if (askYesNo(this, toQString(end.text))) {
    OpenInFileManager(end.folder);
  }
}

void SplitMergeTool::startMerge(MergeJob merge) {
  mergePatterns_->hide();
  const bool started = panel_->start(
      mergeStart_, [merge = std::move(merge), options = mergeOptions()](RunContext& ctx) { return merge(options, ctx); },
      [this](const MergeReport& report, bool) { mergeFinished(report); });
  if (!started) mergePatterns_->show();
}

void SplitMergeTool::mergeFinished(const MergeReport& report) {
  mergePatterns_->show();
  panel_->showFailures(kFailuresPrompt, kMergeWarningsHeading);
  repaint();
  showEnd(mergeEnd(report));
}

}  // namespace chengling
