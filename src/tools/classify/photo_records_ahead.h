#pragma once
// The photo records of a run's files, read on the second core ahead of the thread that plans the
// run: reading and parsing a record costs more than the rename that moves the file, so a move run
// by photo dates would otherwise wait on every one.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/file_system.h"
#include "tools/classify/photo_record.h"

namespace chengling {

class PhotoRecordsAhead {
 public:
  // Reads ahead over `files` (each must outlive this), in their order, when the template needs
  // records and a second core is to be had; otherwise take() reads each record itself.
  PhotoRecordsAhead(std::vector<const std::string*> files, bool needed);
  ~PhotoRecordsAhead();
  PhotoRecordsAhead(const PhotoRecordsAhead&) = delete;
  PhotoRecordsAhead& operator=(const PhotoRecordsAhead&) = delete;

  // The record of file `index` (in the order given), or null when it was not read ahead or the file
  // changed since (another name, other bytes, other times): the caller then reads it itself. Files
  // are taken in order; a file passed over is never read after.
  const PhotoRecord* take(size_t index);

 private:
  struct Slot {
    std::atomic<bool> ready{false};
    bool stamped = false;
    FileStamp stamp;
    PhotoRecord record;
  };
  void readAhead();

  std::vector<const std::string*> files_;
  std::unique_ptr<Slot[]> slots_;
  std::mutex mutex_;
  std::condition_variable taken_;
  std::condition_variable read_;
  size_t consumed_ = 0;  // under mutex_: files taken so far
  size_t reading_ = SIZE_MAX;  // under mutex_: the file being read ahead now
  bool quit_ = false;    // under mutex_
  std::thread thread_;
};

}  // namespace chengling
