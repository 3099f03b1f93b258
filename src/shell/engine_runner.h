#pragma once
// Runs a tool's engine on the window's one worker thread. Each run gets a fresh RunContext whose
// progress, status, phase, failures and warnings reach the window as queued signals (emitted on the
// window's thread), and whose stop flag requestStop() sets. A second start while a run is active is
// refused, not nested. Tools whose runs share a stop request (split and merge) share one runner.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

#include "foundation/run_context.h"

namespace chengling {

class EngineRunner : public QObject {
  Q_OBJECT

 public:
  using Job = std::function<void(RunContext&)>;

  // Progress, status and phase reach the window at most once per this many milliseconds (25 times
  // a second): a run over many small items reports thousands of times a second, and repainting the
  // bar and the label for each would take the window thread from the user and the engine alike.
  // The first report of a run and the last, at its end, are delivered at once.
  static constexpr int kDeliveryIntervalMs = 40;

  explicit EngineRunner(QObject* parent = nullptr);
  // Requests a stop and waits for the worker: the run ends at its next checkpoint.
  ~EngineRunner() override;

  bool isRunning() const { return running_; }
  // Starts `job` on the worker thread. Returns false (and does nothing) while a run is active.
  bool start(Job job);
  // Sets the stop flag of the active run; nothing happens when none is active.
  void requestStop();

 signals:
  // Progress, status and phase are coalesced and paced (kDeliveryIntervalMs): the window sees the
  // latest value, not every call.
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
  void deliverSoon();
  void deliver();
  void deliverProgress();
  void deliverStatus();
  void deliverPhase();
  void finish(const std::shared_ptr<Context>& context);

  QThread thread_;
  QObject* worker_ = nullptr;  // lives on thread_
  bool running_ = false;
  std::shared_ptr<Context> context_;
  QTimer pace_;                 // single shot: the next delivery, when one came too soon
  QElapsedTimer lastDelivery_;  // invalid until the first delivery of a run
};

}  // namespace chengling
