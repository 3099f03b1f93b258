#pragma once
// The classification run: sends every file of a folder walk or of a file list to the path that the
// template gives it, copying or moving, counting files into batches, and writes the before, after
// and failure logs and the list of the folders it made. Runs synchronously on the caller's thread;
// stops after the current file when the RunContext asks.
//
// Shared by the engine and the window: Chinese texts are declared here and defined in the .cpp.

#include <cstdint>
#include <string>

#include "foundation/run_context.h"
#include "tools/classify/classify_options.h"

namespace chengling {

struct ClassifyOutcome {
  int64_t processed = 0;
  int64_t failed = 0;
  bool stopped = false;
  // The targets of the first 100 processed files, each followed by CR LF.
  std::string preview;
  // Set when the run could not start (the logs cannot be written); nothing was touched then.
  std::string error;
  // Set when a log could not be completed at the end; the files were classified all the same.
  std::string logError;
};

ClassifyOutcome ClassifyRun(const ClassifyOptions& options, RunContext& ctx);

// "归类完成：共 N 个文件，失败 M 个", with "已停止。" in front after a stop.
std::string runSummary(const ClassifyOutcome& outcome);

// Log names in the program directory; classify_log.h tells how their lines are written.
extern const char* const kBeforeLogName;   // "归类前文件路径.txt"
extern const char* const kAfterLogName;    // "归类后文件路径.txt"
extern const char* const kFailureLogName;  // "归类失败的文件路径.txt"
// The folders the run made for the files it classified, outermost first, one a line: what an undo
// takes away again once they are empty. Runs of earlier versions left none.
extern const char* const kMadeFoldersLogName;  // "归类新建的文件夹路径.txt"

}  // namespace chengling
