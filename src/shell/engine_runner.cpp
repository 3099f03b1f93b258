#include "shell/engine_runner.h"

#include <QMetaObject>

#include <atomic>
#include <mutex>

#include "platform/qt_text.h"

namespace chengling {

// Lives as long as the run and the deliveries it posted. Called on the worker; posts to the runner.
class EngineRunner::Context : public RunContext {
 public:
  explicit Context(EngineRunner* runner) : runner_(runner) {}

  void progress(int64_t position, int64_t maximum) override {
    {
      std::lock_guard lock(mutex_);
      position_ = position;
      maximum_ = maximum;
    }
    if (!progressPending_.exchange(true)) {
      QMetaObject::invokeMethod(runner_, [runner = runner_] { runner->deliverSoon(); }, Qt::QueuedConnection);
    }
  }
  void status(std::string_view text) override {
    {
      std::lock_guard lock(mutex_);
      status_ = toQString(text);
    }
    if (!statusPending_.exchange(true)) {
      QMetaObject::invokeMethod(runner_, [runner = runner_] { runner->deliverSoon(); }, Qt::QueuedConnection);
    }
  }
  void phase(std::string_view text) override {
    {
      std::lock_guard lock(mutex_);
      phase_ = toQString(text);
    }
    if (!phasePending_.exchange(true)) {
      QMetaObject::invokeMethod(runner_, [runner = runner_] { runner->deliverSoon(); }, Qt::QueuedConnection);
    }
  }
  void failure(std::string_view item, std::string_view reason) override {
    QMetaObject::invokeMethod(
        runner_, [runner = runner_, i = toQString(item), r = toQString(reason)] { emit runner->failure(i, r); },
        Qt::QueuedConnection);
  }
  void warning(std::string_view item, std::string_view reason) override {
    QMetaObject::invokeMethod(
        runner_, [runner = runner_, i = toQString(item), r = toQString(reason)] { emit runner->warning(i, r); },
        Qt::QueuedConnection);
  }

  bool takeProgress(qint64& position, qint64& maximum) {
    if (!progressPending_.exchange(false)) return false;
    std::lock_guard lock(mutex_);
    position = position_;
    maximum = maximum_;
    return true;
  }
  bool takeStatus(QString& text) { return take(statusPending_, status_, text); }
  bool takePhase(QString& text) { return take(phasePending_, phase_, text); }

 private:
  bool take(std::atomic<bool>& pending, const QString& latest, QString& text) {
    if (!pending.exchange(false)) return false;
    std::lock_guard lock(mutex_);
    text = latest;
    return true;
  }

  EngineRunner* runner_;
  std::mutex mutex_;
  int64_t position_ = 0;
  int64_t maximum_ = 0;
  QString status_;
  QString phase_;
  std::atomic<bool> progressPending_{false};
  std::atomic<bool> statusPending_{false};
  std::atomic<bool> phasePending_{false};
};

EngineRunner::EngineRunner(QObject* parent) : QObject(parent) {
  worker_ = new QObject;
  worker_->moveToThread(&thread_);
  connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
  thread_.setObjectName(QStringLiteral("engine worker"));
  pace_.setSingleShot(true);
  connect(&pace_, &QTimer::timeout, this, &EngineRunner::deliver);
  thread_.start();
}

EngineRunner::~EngineRunner() {
  if (context_) context_->requestStop();
  thread_.quit();
  thread_.wait();
}

bool EngineRunner::start(Job job) {
  if (running_ || !job) return false;
  running_ = true;
  auto context = std::make_shared<Context>(this);
  context_ = context;
  QMetaObject::invokeMethod(
      worker_,
      [this, context, job = std::move(job)] {
        job(*context);
        QMetaObject::invokeMethod(this, [this, context] { finish(context); }, Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
  return true;
}

void EngineRunner::requestStop() {
  if (context_) context_->requestStop();
}

void EngineRunner::deliverSoon() {
  if (pace_.isActive()) return;  // that delivery takes this report too
  const qint64 since = lastDelivery_.isValid() ? lastDelivery_.elapsed() : kDeliveryIntervalMs;
  if (since >= kDeliveryIntervalMs) {
    deliver();
  } else {
    pace_.start(static_cast<int>(kDeliveryIntervalMs - since));
  }
}

void EngineRunner::deliver() {
  lastDelivery_.start();
  deliverProgress();
  deliverStatus();
  deliverPhase();
}

void EngineRunner::deliverProgress() {
  qint64 position = 0;
  qint64 maximum = 0;
  if (context_ && context_->takeProgress(position, maximum)) emit progress(position, maximum);
}

void EngineRunner::deliverStatus() {
  QString text;
  if (context_ && context_->takeStatus(text)) emit status(text);
}

void EngineRunner::deliverPhase() {
  QString text;
  if (context_ && context_->takePhase(text)) emit phase(text);
}

void EngineRunner::finish(const std::shared_ptr<Context>& context) {
  if (context != context_) return;
  // The last progress, status and phase come before the end, whatever order their deliveries had.
  pace_.stop();
  deliverProgress();
  deliverStatus();
  deliverPhase();
  lastDelivery_.invalidate();
  const bool stopped = context->stopRequested();
  context_.reset();
  running_ = false;
  emit finished(stopped);
}

}  // namespace chengling
