#pragma once
// What a running engine reports and how it learns that it should stop. An engine is a synchronous
// function of its options and a RunContext; the window runs it on its worker thread, the command line
// on its main thread. Options that may change while a run goes on reach it as LiveOptions.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/file_system_calls.h"

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

  // How far the run has come: `position` of `maximum` items (files, pieces, rows, addresses).
  virtual void progress(int64_t /*position*/, int64_t /*maximum*/) {}
  // What the run is at now, in one line ("[2] (2/2)b.txt").
  virtual void status(std::string_view /*text*/) {}
  // The stage the run has reached, in a few words ("正在分割", "10:3"); it stands where the run
  // was started from.
  virtual void phase(std::string_view /*text*/) {}
  // One item that failed and why; `item` is usually a path. The run goes on.
  virtual void failure(std::string_view /*item*/, std::string_view /*reason*/) {}
  // A notice about an item that was done but deserves a look (a lossy conversion, say).
  virtual void warning(std::string_view /*item*/, std::string_view /*reason*/) {}

  // The file system the run reads and writes: the real one unless another was set before the run.
  FileSystem& fileSystem() const { return *fileSystem_; }
  void useFileSystem(FileSystem& fs) { fileSystem_ = &fs; }

 protected:
  virtual void onCheckpoint() {}

 private:
  std::atomic<bool> stop_{false};
  FileSystem* fileSystem_ = &posixFileSystem();
};

// Options that may change while a run goes on: the window sets them whenever its controls change,
// and the run takes a snapshot at the points where it may pick a change up (the transcoding
// encodings at every pass, the user agent before every address). Safe from any thread.
template <typename Options>
class LiveOptions {
 public:
  explicit LiveOptions(Options options = {}) : options_(std::move(options)) {}

  void set(Options options) {
    std::lock_guard lock(mutex_);
    options_ = std::move(options);
  }
  Options snapshot() const {
    std::lock_guard lock(mutex_);
    return options_;
  }

 private:
  mutable std::mutex mutex_;
  Options options_;
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
