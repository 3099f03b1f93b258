#include "shell/window_utils.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QThread>

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

constexpr int kSliceMs = 10;
constexpr int kFlashMs = 500;

// Keeps the overlay label sized to its bar.
class OverlayFollower : public QObject {
 public:
  OverlayFollower(QProgressBar* bar, QLabel* label) : QObject(bar), bar_(bar), label_(label) {
    bar->installEventFilter(this);
    place();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == bar_ && event->type() == QEvent::Resize) place();
    return false;
  }

 private:
  void place() {
    if (label_) label_->setGeometry(10, 0, bar_->width() - 10, bar_->height());
  }

  QProgressBar* bar_;
  QPointer<QLabel> label_;
};

}  // namespace

int WaitWithEvents(int milliseconds, const bool& stop) {
  int passes = 0;
  for (int counted = 0; counted < milliseconds && !stop; counted += kSliceMs) {
    QThread::msleep(kSliceMs);
    QCoreApplication::processEvents();
    ++passes;
  }
  return passes;
}

void FlashCaption(QAbstractButton* control, const QString& transient, const QString& resting) {
  QPointer<QAbstractButton> guarded(control);
  if (!guarded) return;
  guarded->setText(transient);
  const bool never = false;
  WaitWithEvents(kFlashMs, never);
  if (guarded) guarded->setText(resting);
}

void attachProgressOverlay(QProgressBar* bar, QLabel* label) {
  if (!bar || !label) return;
  bar->setTextVisible(false);  // the label carries the text
  label->setParent(bar);
  label->setAttribute(Qt::WA_TranslucentBackground);
  label->setAutoFillBackground(false);
  new OverlayFollower(bar, label);
  label->show();
  label->raise();
}

bool attachProgressOverlay(QWidget* window) {
  auto* bar = window->findChild<QProgressBar*>(u"进度条"_s);
  auto* label = window->findChild<QLabel*>(u"透明标签"_s);
  if (!bar || !label) return false;
  attachProgressOverlay(bar, label);
  return true;
}

}  // namespace chengling
