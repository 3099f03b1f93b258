#include "tools/classify/photo_records_ahead.h"

#include <system_error>
#include <utility>

#include "foundation/two_cores.h"

namespace chengling {
namespace {

// How far the reading runs ahead: far enough to hide a slow read, near enough that a file read
// ahead is seldom changed (or moved by the run) before it is taken.
constexpr size_t kReadAhead = 256;

}  // namespace

PhotoRecordsAhead::PhotoRecordsAhead(std::vector<const std::string*> files, bool needed)
    : files_(std::move(files)) {
  if (!needed || files_.size() < 2 || !hasSecondCore()) return;
  slots_ = std::make_unique<Slot[]>(files_.size());
  try {
    thread_ = std::thread([this] { readAhead(); });
  } catch (const std::system_error&) {
    slots_.reset();
  }
}

PhotoRecordsAhead::~PhotoRecordsAhead() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  taken_.notify_all();
  thread_.join();
}

void PhotoRecordsAhead::readAhead() {
  for (size_t i = 0; i < files_.size(); ++i) {
    {
      std::unique_lock lock(mutex_);
      taken_.wait(lock, [this, i] { return quit_ || i < consumed_ + kReadAhead; });
      if (quit_) return;
      if (i < consumed_) continue;  // already taken: read by the planning thread itself
      reading_ = i;
    }
    Slot& slot = slots_[i];
    // The stamp first: a change between it and the read shows as a different stamp at take().
    slot.stamped = fileStamp(*files_[i], slot.stamp);
    slot.record = slot.stamped ? readPhotoRecord(*files_[i]) : PhotoRecord();
    slot.ready.store(true, std::memory_order_release);
    {
      std::lock_guard lock(mutex_);
      reading_ = SIZE_MAX;
    }
    read_.notify_all();
  }
}

const PhotoRecord* PhotoRecordsAhead::take(size_t index) {
  if (!slots_ || index >= files_.size()) return nullptr;
  Slot& slot = slots_[index];
  {
    std::unique_lock lock(mutex_);
    consumed_ = index + 1;
    // Caught up with the read-ahead: its read of this very file ends soon, and reading it twice
    // would cost more.
    read_.wait(lock, [this, index] { return reading_ != index; });
  }
  taken_.notify_one();
  if (!slot.ready.load(std::memory_order_acquire) || !slot.stamped) return nullptr;
  FileStamp now;
  if (!fileStamp(*files_[index], now) || !(now == slot.stamp)) return nullptr;
  return &slot.record;
}

}  // namespace chengling
