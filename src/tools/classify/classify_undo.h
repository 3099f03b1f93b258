#pragma once
// Undoing the last classification run from its logs: every file at an after-path goes back to its
// before-path, as long as the after-path holds a file and the before-path is free. A copy run, whose
// sources are still in place, therefore undoes nothing. Then the folders the run made go again, as
// far as they are empty. When the last run was killed, its journal (classify_journal.h) stands for
// it: it becomes that run's logs first, so that the undo takes back exactly what the killed run did
// and never the run before it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/run_context.h"

namespace chengling {

enum class UndoAction {
  Restored,         // moved from `after` back to `before`
  SkippedFailed,    // the file failed in the run: it never moved
  SkippedSamePath,  // before and after are one path
  SkippedEmpty,     // a log line is empty
  SkippedMissing,   // nothing (or no file) at `after`
  SkippedOccupied,  // something is at `before` already
  Failed,           // the move back failed; `reason` says why
  RemovedCopy,      // a killed run had copied `before` to `after` but not yet removed it: the copy went
};

struct UndoStep {
  std::string before;
  std::string after;
  UndoAction action = UndoAction::Restored;
  std::string reason;
};

struct UndoOutcome {
  std::vector<UndoStep> steps;  // in the order processed: the run's files from last to first
  int64_t restored = 0;
  int64_t skipped = 0;
  int64_t failed = 0;
  int64_t removedCopies = 0;
  bool stopped = false;
  // Set when the logs cannot be read, or a run is going on now; nothing was touched then.
  std::string error;
  // The empty folders taken away, deepest first: only folders the run made (a run of an earlier
  // version noted none), never one that existed before it or that holds anything.
  std::vector<std::string> removedFolders;
};

// The three logs of a run, read as readLogLines reads them: the before and after paths, paired by
// line and cut to the shorter log; `failed` marks each pair the failure log accounts for.
struct UndoLogs {
  std::vector<std::string> before;
  std::vector<std::string> after;
  std::vector<bool> failed;
  size_t pairs = 0;
  bool uneven = false;  // the before and after logs had different line counts
};
UndoLogs parseUndoLogs(std::string_view beforeLog, std::string_view afterLog,
                       std::string_view failureLog);

// Reads the three logs in `logFolder` and moves files back, last file of the run first (so that a
// path used twice in one run comes back in the right order). A journal that a killed run left
// becomes its logs first, and the complete copies it made of files that are still in place go. A pair whose source is listed in the
// failure log is skipped; when a path appears several times, its last occurrences are the failed ones.
// Then removes the folders of the made-folders log that are empty now, deepest first, and takes
// them off that log, so that a later undo never removes a folder made anew under the same name.
UndoOutcome ClassifyUndo(std::string_view logFolder, RunContext& ctx);

// Whether ClassifyUndo would move at least one file back now: the logs in `logFolder` are those of
// a move run whose files still wait at their targets. Reads the logs; moves nothing. Stops at the
// first such file, so it is quick after a move run (a copy run's logs are read through).
bool ClassifyUndoAvailable(std::string_view logFolder);

// One step as the user reads it: "已移回：after → before", "跳过：after → before（why）",
// "失败：after → before（reason）" or "已删除多余副本：after（原文件仍在 before）".
std::string undoStepLine(const UndoStep& step);
// "已删除空文件夹：folder".
std::string undoFolderLine(std::string_view folder);
// "撤销归类：移回 R 个，跳过 S 个，失败 F 个", with "已停止。" in front after a stop, then
// "，删除多余副本 C 个" when copies were removed and "，删除空文件夹 N 个" when folders were.
std::string undoSummary(const UndoOutcome& outcome);

// The Chinese description of a skipped or failed step ("归类后的文件不存在", ...).
std::string undoActionText(UndoAction action);

}  // namespace chengling
