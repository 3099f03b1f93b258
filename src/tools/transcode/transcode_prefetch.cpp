#include "tools/transcode/transcode_prefetch.h"

#include <system_error>
#include <utility>

namespace chengling {

TranscodePrefetch::TranscodePrefetch(const PathList& files, Prepare prepare, size_t ahead)
    : files_(files), prepare_(std::move(prepare)), ahead_(ahead), slots_(files.size()) {
  try {
    helper_ = std::thread([this] { work(); });
  } catch (const std::system_error&) {
    prepared_ = files_.size();  // every slot stays unprepared: the run does all itself
  }
}

TranscodePrefetch::~TranscodePrefetch() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (helper_.joinable()) helper_.join();
}

void TranscodePrefetch::work() {
  for (size_t i = 0; i < files_.size(); ++i) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || i < taken_ + ahead_; });
      if (stopping_) return;
    }
    PreparedFile file = prepare_(files_[i]);
    {
      std::lock_guard lock(mutex_);
      slots_[i] = std::move(file);
      prepared_ = i + 1;
    }
    changed_.notify_all();
  }
}

PreparedFile TranscodePrefetch::take(size_t index) {
  std::unique_lock lock(mutex_);
  taken_ = index + 1;
  changed_.notify_all();
  changed_.wait(lock, [&] { return prepared_ > index; });
  return std::move(slots_[index]);
}

}  // namespace chengling
