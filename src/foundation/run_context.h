#pragma once
// What a running engine reports and how it learns that it should stop. An engine is a synchronous
// function of its options and a RunContext; the window runs it on its worker thread, the command line
// on its main thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace chengling {

class RunContext {
 public:
  virtual ~RunContext() = default;

  // Called at every item boundary (file, piece, line, address, row) and where long scans let events
  // run. Returns true when a stop was requested. Cheap: safe to call often.
  bool checkpoint() {
    onCheckpoint();
    return stop_.load(std::memory_order_relaxed);
  }
  // Any thread may request a stop; the engine ends at its next item boundary.
  void requestStop() { stop_.store(true, std::memory_order_relaxed); }
  bool stopRequested() const { return stop_.load(std::memory_order_relaxed); }
  // The stop request itself, for work that polls it below the engine (an HTTP transfer's abort).
  const std::atomic<bool>& stopFlag() const { return stop_; }

  virtual void progress(int64_t /*position*/, int64_t /*maximum*/) {}
  // The status label over the progress bar.
  virtual void status(std::string_view /*text*/) {}
  // A caption phase text of the start button ("正在分割", ...).
  virtual void phase(std::string_view /*text*/) {}
  // One item that failed and why; `item` is usually a path. The run goes on.
  virtual void failure(std::string_view /*item*/, std::string_view /*reason*/) {}
  // A notice about an item that was done but deserves a look (a lossy conversion, say).
  virtual void warning(std::string_view /*item*/, std::string_view /*reason*/) {}

 protected:
  virtual void onCheckpoint() {}

 private:
  std::atomic<bool> stop_{false};
};

// Keeps everything it is told, for tests and the command line. `onCheckpointHook`, when set, runs at
// every checkpoint with the number of checkpoints so far (tests stop a run at a chosen point).
class PlainRunContext : public RunContext {
 public:
  struct Report {
    std::string item;
    std::string reason;
  };

  void progress(int64_t position, int64_t maximum) override;
  void status(std::string_view text) override;
  void phase(std::string_view text) override;
  void failure(std::string_view item, std::string_view reason) override;
  void warning(std::string_view item, std::string_view reason) override;

  std::function<void(PlainRunContext&, int64_t)> onCheckpointHook;
  std::function<void(const Report&)> onFailure;  // also called for every failure when set
  std::function<void(std::string_view)> onStatus;

  int64_t checkpoints = 0;
  int64_t lastPosition = 0;
  int64_t lastMaximum = 0;
  std::vector<std::string> statuses;
  std::vector<std::string> phases;
  std::vector<Report> failures;
  std::vector<Report> warnings;

 protected:
  void onCheckpoint() override;
};

}  // namespace chengling
