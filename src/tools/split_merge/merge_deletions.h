#pragma once
// The inputs a merge deletes once its output is on disk are first recorded (foundation/held_record.h),
// and the record goes when they are gone. A merge killed among its deletions leaves its record; the
// next merge that deletes its inputs and holds every input of that record still there as it was
// finishes those deletions, instead of merging what is left a second time.
//
// A record names the output and every input to delete, each with its stamp (file_system.h) taken
// once the output was on disk. An input is deleted on the strength of a record only when it is still
// exactly as recorded and the output too: then its content is in the output as it was written.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_collector.h"
#include "foundation/file_system.h"
#include "foundation/run_context.h"

namespace chengling {

struct MergeDeletions {
  struct Entry {
    std::string path;  // internal text
    FileStamp stamp;
  };
  Entry output;
  std::vector<Entry> inputs;
};

// The record's text, and back; parsing fails on anything that is not a whole record.
std::string mergeDeletionsText(const MergeDeletions& deletions);
bool parseMergeDeletions(std::string_view text, MergeDeletions& deletions);

// "上次合并在删除输入文件时中断……": what the run that finishes a record says about its output.
std::string finishedDeletionsNote(int64_t deleted);

struct FinishedDeletions {
  int64_t deleted = 0;
  int64_t failures = 0;  // inputs that could not be deleted, each reported
};

// Finishes every record in `folder` left by a killed merge whose output stands as written and whose
// inputs, as far as they are still there as recorded, are all in `list`: those inputs are deleted
// and taken out of `list`, and the output is named through ctx.warning. A record whose output was
// changed or is gone, or whose inputs all are, is dropped without deleting anything. Other records
// stay for the merge they belong to.
FinishedDeletions finishInterruptedDeletions(std::string_view folder, PathList& list, RunContext& ctx);

}  // namespace chengling
