#include "shell/start_button.h"

#include <QAbstractButton>
#include <QWidget>

#include <memory>

namespace chengling {

bool isIdleCaption(const QAbstractButton* button, const QString& idleCaption) {
  return button != nullptr && button->text() == idleCaption;
}

StartButton::StartButton(QAbstractButton* button, StartCaptions captions, EngineRunner* runner)
    : QObject(button), button_(button), captions_(std::move(captions)), runner_(runner) {}

bool StartButton::isIdle() const { return isIdleCaption(button_, captions_.idle); }

void StartButton::setSiblings(QList<QWidget*> siblings) {
  siblings_.clear();
  for (QWidget* sibling : siblings) siblings_ << sibling;
}

bool StartButton::stopIfRunning() {
  if (isIdle()) return false;
  runner_->requestStop();
  stopping_ = true;
  if (button_ && !captions_.stopping.isNull()) button_->setText(captions_.stopping);
  return true;
}

void StartButton::showPhase(const QString& text) {
  if (!button_ || isIdle() || (stopping_ && !captions_.stopping.isNull())) return;
  button_->setText(text);
}

bool StartButton::run(EngineRunner::Job job, std::function<void(bool stopped)> done) {
  if (runner_->isRunning()) return false;
  auto connection = std::make_shared<QMetaObject::Connection>();
  *connection = connect(runner_, &EngineRunner::finished, this, [this, connection, done](bool stopped) {
    disconnect(*connection);
    if (button_) button_->setText(captions_.idle);
    for (const QPointer<QWidget>& widget : disabled_) {
      if (widget) widget->setEnabled(true);
    }
    disabled_.clear();
    if (done) done(stopped);
  });
  if (!runner_->start(std::move(job))) {
    disconnect(*connection);
    return false;
  }
  stopping_ = false;
  if (button_) button_->setText(captions_.running);
  disabled_.clear();
  for (const QPointer<QWidget>& sibling : siblings_) {
    if (sibling && sibling->isEnabled()) {
      sibling->setEnabled(false);
      disabled_ << sibling;
    }
  }
  return true;
}

}  // namespace chengling
