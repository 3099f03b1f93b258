#pragma once
// What the run and the dry run share: the files of the folder walk or of the file list, in run
// order and grouped as batches restart, and the batch counting over them.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/file_collector.h"
#include "foundation/run_context.h"
#include "tools/classify/classify_options.h"
#include "tools/classify/path_template.h"

namespace chengling {

// Why a run or a plan over `options` cannot start: no folder given, or the folder is not there.
// Empty when it can. ClassifyRun reports the same text in its outcome.
std::string classifyInputError(const ClassifyOptions& options);

// The files of one walked folder (batches restart in each), or the whole file list.
struct RunGroup {
  PathList files;
};

// The entry folder with "/" at its end; empty for a file list.
std::string entryFolderOf(const ClassifyOptions& options);

// The groups of the run: one per walked folder, or the whole file list.
std::vector<RunGroup> collectGroups(const ClassifyOptions& options, const std::string& entry,
                                    RunContext& ctx);

// The batch number and the count of files in the current batch.
class BatchCounter {
 public:
  explicit BatchCounter(const ClassifyOptions& options) : perBatch_(options.perBatch) {
    batch_.mode = options.batchMode;
    batch_.names = options.batchNames;
  }
  void restart() {
    batch_.number = 1;
    inBatch_ = 0;
  }
  // Counts one file (failed or not) into the current batch and opens the next batch when it is full.
  void advance() {
    ++inBatch_;
    if (inBatch_ >= perBatch_ || perBatch_ <= 0) {
      batch_.number = static_cast<int32_t>(static_cast<uint32_t>(batch_.number) + 1u);
      inBatch_ = 0;
    }
  }
  BatchContext& context() { return batch_; }

 private:
  BatchContext batch_;
  int32_t perBatch_;
  int32_t inBatch_ = 0;
};

}  // namespace chengling
