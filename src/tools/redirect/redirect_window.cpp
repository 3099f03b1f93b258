#include "tools/redirect/redirect_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextCursor>
#include <QVBoxLayout>

#include <optional>
#include <utility>

#include "platform/clipboard.h"
#include "platform/qt_text.h"
#include "shell/control_states.h"
#include "shell/control_tag.h"
#include "shell/controls.h"
#include "shell/input_dialog.h"
#include "shell/run_panel.h"
#include "shell/start_button.h"
#include "shell/window_utils.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {


// The captions of the start button, the failed list's caption, and the source list before any
// state was saved: a few public addresses that redirect.
const StartCaptions kStartCaptions{u"开始获取"_s, u"停止获取"_s, u"停止中.."_s};
const QString kFailedListCaption = u"获取跳转失败的地址列表："_s;
const QString kSampleAddresses = u"https://doi.org/10.1000/182\n"
                                 u"https://en.wikipedia.org/wiki/Special:Random\n"
                                 u"http://wikipedia.org/\n"
                                 u"http://python.org/\n"
                                 u"http://debian.org/\n"
                                 u"https://w3.org/"_s;

QPlainTextEdit* makeList(const QString& name, const QString& text) {
  auto* box = named(new QPlainTextEdit(text), name);
  // One address per line, never wrapped, so that line n of both lists stays side by side.
  box->setLineWrapMode(QPlainTextEdit::NoWrap);
  setControlTag(box, u"字节集方式"_s);
  return box;
}

}  // namespace

QString RedirectTool::stateName() { return u"跳转地址获取"_s; }

RedirectTool::RedirectTool(SettingsStore& settings, QWidget* parent)
    : QWidget(parent), agent_(std::make_shared<LiveOptions<std::string>>()) {
  setObjectName(u"RedirectTool"_s);
  panel_ = new RunPanel(this);
  buildControls();
  start_ = panel_->addStartButton(startButton_, kStartCaptions);
  connectControls();

  KeepControlStates(settings, this, stateName());
  if (agentText_->text().isEmpty()) applyUserAgentChoice();
  agentText_->setCursorPosition(0);
  agent_->set(fromQString(agentText_->text()));
  updateEmptyPlaceholder();
}

RedirectTool::~RedirectTool() {
  // The run delivers its result lines to this window: it is stopped (its request aborted) and
  // waited for while the window is still whole.
  delete panel_;
}

bool RedirectTool::running() const { return panel_->running(); }

void RedirectTool::buildControls() {
  sources_ = makeList(u"编辑框原地址"_s, kSampleAddresses);
  results_ = makeList(u"编辑框跳转后地址"_s, QString());
  startButton_ = makeButton(u"按钮开始获取"_s, kStartCaptions.idle);
  startButton_->setMinimumWidth(140);
  paste_ = makeButton(u"按钮1"_s, u"粘贴"_s);
  paste_->setToolTip(u"用剪贴板里的地址列表替换原地址"_s);
  copy_ = makeButton(u"按钮2"_s, u"复制"_s);
  copy_->setToolTip(u"把跳转后地址复制到剪贴板"_s);
  copyChains_ = makeButton(u"按钮复制跳转链"_s, u"复制跳转链"_s);
  copyChains_->setToolTip(u"把上次获取的每个地址的跳转链复制到剪贴板：每行一个地址，每一跳写成“种类 地址”，用制表符分隔"_s);
  copyChains_->setEnabled(false);
  setControlTag(copyChains_, u"禁止保存"_s);
  QStringList entries;
  for (int i = 0; i < kUserAgentCount; ++i) entries << toQString(userAgentEntryName(i));
  agentChoice_ = makeCombo(u"组合框协议模拟方式"_s, entries, kDefaultUserAgentEntry, QString());
  agentText_ = makeEdit(u"编辑框UA"_s, QString(), u"发送的协议文本(UserAgent)"_s);
  looseMatch_ = makeCheck(u"选择框扩展模式"_s, u"扩展模式(宽松匹配)"_s);
  looseMatch_->setToolTip(
      u"网页脚本里带条件判断（if）的跳转也采用；还读取 Refresh 头、location.replace 等更多写法，并解码地址中的 &amp;"_s);
  follow_ = makeCheck(u"选择框跟随多次跳转"_s, u"跟随多次跳转"_s);
  follow_->setToolTip(u"跳转后的地址再次获取，直到不再跳转（最多 10 次），写出最后到达的地址"_s);
  failurePlaceholder_ = makeCheck(u"选择框失败占位"_s, u"失败占位"_s, true);
  failurePlaceholder_->setToolTip(u"获取失败的地址也写一行（原地址），让结果与原地址逐行对齐"_s);
  emptyPlaceholder_ = makeCheck(u"选择框空占位"_s, u"空占位"_s);
  emptyPlaceholder_->setToolTip(u"获取失败的地址写一个空行，而不是原地址"_s);
  jobs_ = named(new QSpinBox, u"编辑框同时获取"_s);
  jobs_->setRange(1, kMaxRedirectJobs);
  jobs_->setValue(1);
  jobs_->setToolTip(u"同时获取几个地址；结果仍按原地址的顺序写出"_s);

  // Each list is headed by its label, with its clipboard button at the right.
  const auto heading = [](QLabel* label, QPushButton* button, QPushButton* second = nullptr) {
    auto* line = new QHBoxLayout;
    line->addWidget(label);
    line->addStretch();
    if (second != nullptr) line->addWidget(second);
    line->addWidget(button);
    return line;
  };
  auto* grid = new QGridLayout;
  grid->addLayout(heading(makeLabel(u"标签1"_s, u"原地址："_s, sources_), paste_), 0, 0);
  grid->addLayout(heading(makeLabel(u"标签2"_s, u"跳转后地址："_s, results_), copy_, copyChains_), 0, 1);
  grid->addWidget(sources_, 1, 0);
  grid->addWidget(results_, 1, 1);
  grid->setRowStretch(1, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);

  auto* agentLine = new QHBoxLayout;
  agentLine->addWidget(makeLabel(u"标签3"_s, u"协议方式(UserAgent)："_s, agentChoice_));
  agentLine->addWidget(agentChoice_);
  agentLine->addWidget(agentText_, 1);

  auto* optionLine = new QHBoxLayout;
  optionLine->addWidget(named(new QLabel(u"获取不到？试试："_s), u"标签4"_s));
  optionLine->addWidget(looseMatch_);
  optionLine->addWidget(follow_);
  optionLine->addWidget(failurePlaceholder_);
  optionLine->addWidget(emptyPlaceholder_);
  optionLine->addSpacing(16);
  optionLine->addWidget(makeLabel(u"标签同时获取"_s, u"同时获取："_s, jobs_));
  optionLine->addWidget(jobs_);
  optionLine->addStretch();
  optionLine->addWidget(startButton_);

  auto* page = new QVBoxLayout(this);
  page->addLayout(grid, 1);
  page->addLayout(agentLine);
  page->addLayout(optionLine);
}

void RedirectTool::connectControls() {
  connect(startButton_, &QPushButton::clicked, this, &RedirectTool::startClicked);
  connect(paste_, &QPushButton::clicked, this, [this] { sources_->setPlainText(withLf(clipboardText())); });
  connect(copy_, &QPushButton::clicked, this, [this] { setClipboardText(results_->toPlainText()); });
  connect(copyChains_, &QPushButton::clicked, this, [this] {
    setClipboardText(chains_);
    FlashCaption(copyChains_, u"已复制"_s, u"复制跳转链"_s);
  });
  connect(agentChoice_, &QComboBox::activated, this, &RedirectTool::applyUserAgentChoice);
  // The run sends the agent the box holds when each address starts.
  connect(agentText_, &QLineEdit::textChanged, this, [this](const QString& text) { agent_->set(fromQString(text)); });
  connect(failurePlaceholder_, &QCheckBox::toggled, this, &RedirectTool::updateEmptyPlaceholder);
  // The source list drives the result list, so that source line n and result line n stay side by side.
  // Its scroll bar moved by the user reports the change; the keyboard moves it silently, but the
  // page scrolls, which updateRequest tells with the distance.
  connect(sources_->verticalScrollBar(), &QScrollBar::valueChanged, results_->verticalScrollBar(),
          &QScrollBar::setValue);
  connect(sources_, &QPlainTextEdit::updateRequest, this, [this](const QRect&, int dy) {
    if (dy != 0) results_->verticalScrollBar()->setValue(sources_->verticalScrollBar()->value());
  });
  connect(sources_->horizontalScrollBar(), &QScrollBar::valueChanged, results_->horizontalScrollBar(),
          &QScrollBar::setValue);
  // Results that arrive later catch up with a source list scrolled further than they reached.
  connect(results_->verticalScrollBar(), &QScrollBar::rangeChanged, this,
          [this] { results_->verticalScrollBar()->setValue(sources_->verticalScrollBar()->value()); });
}

void RedirectTool::applyUserAgentChoice() {
  const int entry = agentChoice_->currentIndex();
  if (entry < 0) return;
  agentText_->setText(toQString(userAgentText(entry)));
  agentText_->setCursorPosition(0);  // the start of an agent tells it apart
}

void RedirectTool::updateEmptyPlaceholder() { emptyPlaceholder_->setEnabled(failurePlaceholder_->isChecked()); }

RedirectOptions RedirectTool::runOptions() const {
  RedirectOptions options;
  options.addresses = splitAddressList(fromQString(withCrLf(sources_->toPlainText())));
  options.userAgent = fromQString(agentText_->text());
  options.liveUserAgent = agent_;
  options.looseMatch = looseMatch_->isChecked();
  options.follow = follow_->isChecked();
  options.failurePlaceholder = failurePlaceholder_->isChecked();
  options.emptyPlaceholder = emptyPlaceholder_->isChecked();
  options.jobs = jobs_->value();
  options.stopAbortsRequests = true;
  return options;
}

void RedirectTool::startClicked() {
  if (panel_->busyClick(start_)) return;
  RedirectOptions options = runOptions();
  // Lines cross to the window in the order the run hands them on, ahead of the progress caption.
  options.onAddress = [this](const AddressOutcome& item) {
    if (!item.writesLine) return;
    QMetaObject::invokeMethod(this, [this, line = toQString(item.line)] { appendResult(line); }, Qt::QueuedConnection);
  };
  results_->clear();
  results_->setFocus();
  chains_.clear();
  copyChains_->setEnabled(false);
  panel_->start(
      start_, [options = std::move(options)](RunContext& ctx) { return RedirectRun(options, ctx); },
      [this](const RedirectOutcome& outcome, bool) { runFinished(outcome); });
}

void RedirectTool::appendResult(const QString& line) {
  QTextCursor end(results_->document());
  end.movePosition(QTextCursor::End);
  end.insertText(line + u'\n');
}

void RedirectTool::runFinished(const RedirectOutcome& outcome) {
  chains_ = withLf(toQString(outcome.chains));
  copyChains_->setEnabled(!chains_.isEmpty());
  if (outcome.failedList.empty()) return;
  // The body stays a plain list of addresses to copy and try again; the prompt says why some of
  // them were never requested; below it each address stands with its reason.
  std::optional<QString> prompt;
  if (outcome.invalid > 0) prompt = toQString(invalidAddressesNote(outcome.invalid));
  const std::vector<std::string> failed = splitAddressList(outcome.failedList);
  const std::vector<std::string> reasons = splitAddressList(outcome.failedReasons);
  QString notes;
  for (size_t i = 0; i < failed.size(); ++i) {
    const std::string reason = i < reasons.size() ? reasons[i] : std::string();
    notes += (failed[i].empty() ? u"（空行）"_s : toQString(failed[i])) + u'\t' + toQString(reason) + u'\n';
  }
  ShowInputDialog(toQString(outcome.failedList), prompt, kFailedListCaption, this, nullptr, notes, u"失败原因："_s);
}

}  // namespace chengling
