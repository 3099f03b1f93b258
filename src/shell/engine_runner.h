#pragma once
// Runs a tool's engine on the window's one worker thread. Each run gets a fresh RunContext whose
// progress, status, phase, failures and warnings reach the window as queued signals (emitted on the
// window's thread), and whose stop flag requestStop() sets. A second start while a run is active is
// refused, not nested. Tools whose runs share a stop request (split and merge) share one runner.

#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

#include "foundation/run_context.h"

namespace chengling {

class EngineRunner : public QObject {
  Q_OBJECT

 public:
  using Job = std::function<void(RunContext&)>;

  explicit EngineRunner(QObject* parent = nullptr);
  // Requests a stop and waits for the worker: the run ends at its next checkpoint.
  ~EngineRunner() override;

  bool isRunning() const { return running_; }
  // Starts `job` on the worker thread. Returns false (and does nothing) while a run is active.
  bool start(Job job);
  // Sets the stop flag of the active run; nothing happens when none is active.
  void requestStop();

 signals:
  // Progress, status and phase are coalesced: the window sees the latest value, not every call.
  void progress(qint64 position, qint64 maximum);
  void status(const QString& text);
  void phase(const QString& text);
  void failure(const QString& item, const QString& reason);
  void warning(const QString& item, const QString& reason);
  // The run has ended; `stopped` tells whether a stop had been requested.
  void finished(bool stopped);

 private:
  class Context;
  friend class Context;
  void deliverProgress();
  void deliverStatus();
  void deliverPhase();
  void finish(const std::shared_ptr<Context>& context);

  QThread thread_;
  QObject* worker_ = nullptr;  // lives on thread_
  bool running_ = false;
  std::shared_ptr<Context> context_;
};

}  // namespace chengling
