#pragma once
// The small files of a pass prepared ahead of the run on a second thread: read, decoded, encoded
// and written to a temporary file beside their target, so that the run itself only commits them,
// in their order. A prepared file that the run does not commit (it was skipped, the run stopped)
// goes with its temporary file; nothing is ever written under a final name here.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/file_collector.h"
#include "foundation/file_streams.h"
#include "foundation/text_codec.h"

namespace chengling {

struct PreparedFile {
  bool ready = false;  // false: the run converts the file itself
  bool notText = false;  // the source is no text: the run reports it and writes nothing
  TextEncoding used = TextEncoding::Detect;
  bool lossy = false;
  int64_t invalid = -1;              // bytes that start no GBK character, when counted
  std::vector<std::string> notes;    // what the decode lost
  std::unique_ptr<AtomicFile> file;  // written, not committed
};

class TranscodePrefetch {
 public:
  // `prepare` runs on the helper thread, once per file, in order, at most `ahead` files before
  // the one the run takes.
  using Prepare = std::function<PreparedFile(const std::string& source)>;
  TranscodePrefetch(const PathList& files, Prepare prepare, size_t ahead = 8);
  // Stops the helper and drops what was not taken.
  ~TranscodePrefetch();
  TranscodePrefetch(const TranscodePrefetch&) = delete;
  TranscodePrefetch& operator=(const TranscodePrefetch&) = delete;

  // The file at `index` (each index once, in increasing order), waiting for it when needed. Without
  // a helper thread to be had, nothing is prepared.
  PreparedFile take(size_t index);

 private:
  void work();

  const PathList& files_;
  const Prepare prepare_;
  const size_t ahead_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<PreparedFile> slots_;
  size_t prepared_ = 0;  // files done by the helper
  size_t taken_ = 0;     // files taken by the run
  bool stopping_ = false;
  std::thread helper_;
};

}  // namespace chengling
