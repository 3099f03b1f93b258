#include "shell/run_panel.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <memory>

#include "shell/input_dialog.h"
#include "shell/window_utils.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

QString reportLine(const QString& item, const QString& reason) {
  return reason.isEmpty() ? item : item + u"："_s + reason;
}

}  // namespace

RunPanel::RunPanel(QWidget* window) : QObject(window), window_(window), runner_(new EngineRunner) {
  connect(runner_, &EngineRunner::failure, this,
          [this](const QString& item, const QString& reason) { failures_ << reportLine(item, reason); });
  connect(runner_, &EngineRunner::warning, this,
          [this](const QString& item, const QString& reason) { warnings_ << reportLine(item, reason); });
  connect(runner_, &EngineRunner::phase, this, [this](const QString& text) {
    if (active_ != nullptr && !phasesOnStatus_.contains(active_)) {
      active_->showPhase(text);
    } else if (status_ != nullptr) {
      status_->setText(text);
    }
  });
}

RunPanel::~RunPanel() {
  // Not a child: the worker must be gone before the window's widgets that its deliveries reach,
  // and a QObject's children are deleted after the owner's own destructor has run.
  delete runner_;
}

bool RunPanel::running() const { return runner_->isRunning(); }

QProgressBar* RunPanel::makeProgressBar() {
  bar_ = new QProgressBar(window_);
  bar_->setObjectName(u"进度条"_s);
  bar_->setRange(0, 1);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  bar_->setFixedHeight(24);
  bar_->setAccessibleName(u"进度"_s);
  status_ = new QLabel(window_);
  status_->setObjectName(u"透明标签"_s);
  attachProgressOverlay(bar_, status_);
  connect(runner_, &EngineRunner::progress, bar_, [this](qint64 position, qint64 maximum) {
    bar_->setRange(0, static_cast<int>(std::clamp<qint64>(maximum, 0, INT_MAX)));
    bar_->setValue(static_cast<int>(std::clamp<qint64>(position, 0, INT_MAX)));
  });
  connect(runner_, &EngineRunner::status, status_, [this](const QString& text) { status_->setText(text); });
  return bar_;
}

StartButton* RunPanel::addStartButton(QAbstractButton* button, StartCaptions captions, Phases phases) {
  auto* start = new StartButton(button, std::move(captions), runner_);
  starts_ << start;
  if (phases == Phases::OnStatus) phasesOnStatus_ << start;
  for (StartButton* each : starts_) {
    QList<QWidget*> siblings;
    for (StartButton* other : starts_) {
      // Two runs may share one button (each with its own captions): it is no sibling of itself.
      if (other != each && other->button() != each->button()) siblings << other->button();
    }
    each->setSiblings(siblings);
  }
  return start;
}

void RunPanel::disableWhileRunning(const QList<QWidget*>& widgets) {
  for (QWidget* widget : widgets) locked_ << widget;
}

void RunPanel::disableLocked(const QWidget* keep) {
  for (const QPointer<QWidget>& widget : locked_) {
    if (widget && widget != keep && widget->isEnabled()) {
      widget->setEnabled(false);
      disabled_ << widget;
    }
  }
}

void RunPanel::enableLocked() {
  for (const QPointer<QWidget>& widget : disabled_) {
    if (widget) widget->setEnabled(true);
  }
  disabled_.clear();
}

bool RunPanel::run(StartButton* button, EngineRunner::Job job, std::function<void(bool stopped)> done) {
  if (running()) return false;
  failures_.clear();
  warnings_.clear();
  const bool started = button->run(std::move(job), [this, done = std::move(done)](bool stopped) {
    active_ = nullptr;
    enableLocked();
    if (done) done(stopped);
  });
  if (started) {
    active_ = button;
    disableLocked(button->button());
  }
  return started;
}

bool RunPanel::runQuietly(EngineRunner::Job job, std::function<void(bool stopped)> done) {
  if (running()) return false;
  failures_.clear();
  warnings_.clear();
  auto connection = std::make_shared<QMetaObject::Connection>();
  *connection = connect(runner_, &EngineRunner::finished, this, [this, connection, done](bool stopped) {
    disconnect(*connection);
    quiet_ = false;
    // A stop click showed its stopping caption; the buttons are idle again.
    for (StartButton* start : starts_) {
      if (start->button() != nullptr) start->button()->setText(start->captions().idle);
    }
    enableLocked();
    if (done) done(stopped);
  });
  if (!runner_->start(std::move(job))) {
    disconnect(*connection);
    return false;
  }
  quiet_ = true;
  disableLocked(nullptr);
  return true;
}

bool RunPanel::stopIfRunning(StartButton* button) {
  if (button->stopIfRunning()) return true;
  if (!quiet_) return false;
  runner_->requestStop();
  if (button->button() != nullptr) button->button()->setText(button->captions().stopping);
  return true;
}

bool RunPanel::showFailures(const QString& failuresPrompt, const QString& warningsHeading) {
  if (failures_.isEmpty() && warnings_.isEmpty()) return false;
  QStringList lines = failures_;
  if (!warnings_.isEmpty()) {
    if (!lines.isEmpty()) lines << QString() << warningsHeading;
    lines << warnings_;
  }
  const QString prompt = failures_.isEmpty() ? warningsHeading : failuresPrompt;
  failures_.clear();
  warnings_.clear();
  ShowInputDialog(lines.join(u"\r\n"_s), prompt, u"信息："_s, window_, nullptr);
  return true;
}

}  // namespace chengling
