#include "foundation/two_cores.h"

#include <sched.h>

namespace chengling {

bool hasSecondCore() {
  static const bool second = [] {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set) > 1;
    return std::thread::hardware_concurrency() > 1;
  }();
  return second;
}

HelperThread::~HelperThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool HelperThread::start(std::function<void()> job) {
  if (!thread_.joinable()) {
    if (tried_ || !hasSecondCore()) return false;
    tried_ = true;
    try {
      thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
      return false;
    }
  }
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  job_ = std::move(job);
  busy_ = true;
  lock.unlock();
  changed_.notify_all();
  return true;
}

void HelperThread::wait() {
  if (!thread_.joinable()) return;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
}

void HelperThread::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || quit_; });
    if (!busy_) return;
    std::function<void()> job = std::move(job_);
    lock.unlock();
    job();
    job = nullptr;
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace chengling
