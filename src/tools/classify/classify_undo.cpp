#include "tools/classify/classify_undo.h"

#include <algorithm>
#include <unordered_map>

#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/path_helpers.h"
#include "tools/classify/classify_engine.h"

namespace chengling {

std::string undoActionText(UndoAction action) {
  switch (action) {
    case UndoAction::Restored: return "已移回原位置";
    case UndoAction::SkippedFailed: return "归类时失败，文件未曾移动";
    case UndoAction::SkippedSamePath: return "归类前后是同一路径";
    case UndoAction::SkippedEmpty: return "记录中的路径为空";
    case UndoAction::SkippedMissing: return "归类后的位置上没有该文件";
    case UndoAction::SkippedOccupied: return "原位置已有文件";
    case UndoAction::Failed: return "无法移回";
  }
  return std::string();
}

namespace {

bool readLog(std::string_view folder, const char* name, std::vector<std::string>& lines,
             std::string& error) {
  const std::string path = joinPath(folder, name);
  std::string bytes;
  std::string reason;
  if (!readWholeFile(path, bytes, &reason)) {
    error = "无法读取上次归类的记录 " + path + "：" + reason;
    return false;
  }
  lines = splitText(bytes, "\r\n");
  return true;
}

// Marks which pairs failed in the run. The failure log names sources only; a source listed k times
// with f failures failed in its last f occurrences (once a file has moved away, later attempts on
// the same path can only fail).
std::vector<bool> failedPairs(const std::vector<std::string>& before,
                              const std::vector<std::string>& failures) {
  std::unordered_map<std::string, int64_t> remaining;
  for (const std::string& path : failures) ++remaining[path];
  std::vector<bool> failed(before.size(), false);
  for (size_t i = before.size(); i-- > 0;) {
    auto it = remaining.find(before[i]);
    if (it != remaining.end() && it->second > 0) {
      failed[i] = true;
      --it->second;
    }
  }
  return failed;
}

}  // namespace

UndoOutcome ClassifyUndo(std::string_view logFolder, RunContext& ctx) {
  UndoOutcome outcome;
  std::vector<std::string> before;
  std::vector<std::string> after;
  std::vector<std::string> failures;
  if (!readLog(logFolder, kBeforeLogName, before, outcome.error) ||
      !readLog(logFolder, kAfterLogName, after, outcome.error)) {
    return outcome;
  }
  std::string ignored;
  if (!readLog(logFolder, kFailureLogName, failures, ignored)) failures.clear();
  if (before.size() != after.size()) {
    ctx.warning(joinPath(logFolder, kAfterLogName), "归类前后的记录行数不同，只处理两者都有的行");
  }
  const size_t pairs = std::min(before.size(), after.size());
  before.resize(pairs);
  after.resize(pairs);
  const std::vector<bool> failed = failedPairs(before, failures);

  for (size_t i = pairs; i-- > 0;) {
    if (ctx.checkpoint()) {
      outcome.stopped = true;
      break;
    }
    UndoStep step{before[i], after[i], UndoAction::Restored, {}};
    if (failed[i]) {
      step.action = UndoAction::SkippedFailed;
    } else if (step.before.empty() || step.after.empty()) {
      step.action = UndoAction::SkippedEmpty;
    } else if (step.before == step.after) {
      step.action = UndoAction::SkippedSamePath;
    } else if (!isRegularFile(step.after)) {
      step.action = UndoAction::SkippedMissing;
    } else if (pathExists(step.before)) {
      step.action = UndoAction::SkippedOccupied;
    } else {
      std::string folderError;
      const std::string folder = PathDirectory(step.before);
      if (!folder.empty() && !MakeDirectories(folder, &folderError)) {
        folderError = "无法创建文件夹 " + folder + "：" + folderError;
      } else {
        folderError.clear();
      }
      if (!moveWithoutReplacing(step.after, step.before, step.reason)) {
        if (!folderError.empty()) step.reason = folderError;
        step.action = UndoAction::Failed;
        ctx.failure(step.after, step.reason);
      }
    }
    switch (step.action) {
      case UndoAction::Restored: ++outcome.restored; break;
      case UndoAction::Failed: ++outcome.failed; break;
      default: ++outcome.skipped; break;
    }
    ctx.progress(static_cast<int64_t>(pairs - i), static_cast<int64_t>(pairs));
    outcome.steps.push_back(std::move(step));
  }
  return outcome;
}

}  // namespace chengling
