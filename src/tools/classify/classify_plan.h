#pragma once
// The dry run: what a classification run would do, read without writing anything.
//
// Shared by the engine and the window: Chinese texts are declared here and defined in the .cpp.

#include <string>
#include <vector>

#include "foundation/run_context.h"
#include "tools/classify/classify_options.h"

namespace chengling {

// One file of a dry run, in run order, with what the real run would run into.
struct PlannedFile {
  std::string source;
  std::string target;
  bool targetExists = false;  // a file or folder is there now (and it is not the source itself)
  bool sameAsSource = false;  // the target is the source file: nothing would change
  bool sharedTarget = false;  // another source of the run has the same target
};

// A dry run: the files in run order, or why it could not start (classifyInputError; then it read
// nothing and lists no file).
struct ClassifyPlanOutcome {
  std::vector<PlannedFile> files;
  std::string error;
};

// The sources and targets that ClassifyRun would process, with the same walk and batch counting;
// reads folders and file attributes only, writes nothing.
ClassifyPlanOutcome ClassifyPlan(const ClassifyOptions& options, RunContext& ctx);

// One planned file as "source → target", followed by what the real run would run into. A target
// that exists is replaced by a copy run and makes a move run fail.
std::string planLine(const PlannedFile& file, bool keepSources);
// "预演：共 N 个文件，目标已存在 X 个，目标重复 Y 个；未改动任何文件".
std::string planSummary(const std::vector<PlannedFile>& plan);

}  // namespace chengling
