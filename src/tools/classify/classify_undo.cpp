#include "tools/classify/classify_undo.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "foundation/created_folders.h"
#include "foundation/file_streams.h"
#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/path_helpers.h"
#include "tools/classify/classify_engine.h"
#include "tools/classify/classify_journal.h"
#include "tools/classify/classify_log.h"

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
    case UndoAction::RemovedCopy: return "原文件仍在，多余的副本已删除";
  }
  return std::string();
}

namespace {

// The bytes of log `name`; false with `error` set when it cannot be read.
bool readLog(std::string_view folder, const char* name, std::string& bytes, std::string& error) {
  const std::string path = joinPath(folder, name);
  std::string reason;
  if (!readWholeFile(path, bytes, &reason)) {
    error = "无法读取上次归类的记录 " + path + "：" + reason;
    return false;
  }
  return true;
}

}  // namespace

UndoLogs parseUndoLogs(std::string_view beforeLog, std::string_view afterLog,
                       std::string_view failureLog) {
  UndoLogs logs;
  logs.before = readLogLines(beforeLog);
  logs.after = readLogLines(afterLog);
  logs.uneven = logs.before.size() != logs.after.size();
  logs.pairs = std::min(logs.before.size(), logs.after.size());
  logs.before.resize(logs.pairs);
  logs.after.resize(logs.pairs);
  // The failure log names sources only; a source listed k times with f failures failed in its last
  // f occurrences (once a file has moved away, later attempts on the same path can only fail).
  std::unordered_map<std::string, int64_t> remaining;
  for (const std::string& path : readLogLines(failureLog)) ++remaining[path];
  logs.failed.assign(logs.pairs, false);
  for (size_t i = logs.pairs; i-- > 0;) {
    auto it = remaining.find(logs.before[i]);
    if (it != remaining.end() && it->second > 0) {
      logs.failed[i] = true;
      --it->second;
    }
  }
  return logs;
}

namespace {

// False with `error` set when the before or after log cannot be read.
bool readLogs(std::string_view logFolder, UndoLogs& logs, std::string& error, RunContext* ctx) {
  std::string before;
  std::string after;
  std::string failures;
  if (!readLog(logFolder, kBeforeLogName, before, error) ||
      !readLog(logFolder, kAfterLogName, after, error)) {
    return false;
  }
  std::string ignored;
  if (!readLog(logFolder, kFailureLogName, failures, ignored)) failures.clear();
  logs = parseUndoLogs(before, after, failures);
  if (logs.uneven && ctx != nullptr) {
    ctx->warning(joinPath(logFolder, kAfterLogName), "归类前后的记录行数不同，只处理两者都有的行");
  }
  return true;
}

// What pair `i` calls for now: Restored means it can be moved back.
UndoAction checkPair(const UndoLogs& logs, size_t i) {
  const std::string& before = logs.before[i];
  const std::string& after = logs.after[i];
  if (logs.failed[i]) return UndoAction::SkippedFailed;
  if (before.empty() || after.empty()) return UndoAction::SkippedEmpty;
  if (before == after) return UndoAction::SkippedSamePath;
  if (!isRegularFile(after)) return UndoAction::SkippedMissing;
  if (pathExists(before)) return UndoAction::SkippedOccupied;
  return UndoAction::Restored;
}

// Removes the empty folders of the made-folders log and writes back the ones that stay. A log
// that is not there (a run of an earlier version) removes nothing.
std::vector<std::string> removeMadeFolders(std::string_view logFolder, RunContext& ctx) {
  FileSystem& fs = ctx.fileSystem();
  const std::string path = joinPath(logFolder, kMadeFoldersLogName);
  if (!pathExists(fs, path)) return {};
  std::string bytes;
  std::string reason;
  if (!readWholeFile(fs, path, bytes, &reason)) {
    ctx.warning(path, "无法读取归类新建的文件夹，未删除空文件夹：" + reason);
    return {};
  }
  const std::vector<std::string> made = readLogLines(bytes);
  std::vector<std::string> removed = removeEmptyFolders(fs, made);
  if (removed.empty()) return removed;
  const std::unordered_set<std::string> gone(removed.begin(), removed.end());
  std::string rest;
  for (const std::string& folder : made) {
    if (gone.count(folder) == 0) rest += logLine(folder);
  }
  if (!writeFileAtomic(fs, path, rest, &reason)) ctx.warning(path, "无法更新归类新建的文件夹记录：" + reason);
  return removed;
}

// Takes away the complete copies that a killed run made of files still in place, each only while
// it is the very copy the run recorded and its source is a file of the same size.
void removeStrayCopies(const RecoveredRun& run, UndoOutcome& outcome, RunContext& ctx) {
  FileSystem& fs = ctx.fileSystem();
  for (const RecoveredRun::StrayCopy& stray : run.strayCopies) {
    UndoStep step{stray.source, stray.copy, UndoAction::RemovedCopy, {}};
    if (!fileIdentity(fs, stray.copy).sameAs(stray.identity) || regularFileSize(fs, stray.source) < 0 ||
        regularFileSize(fs, stray.source) != regularFileSize(fs, stray.copy)) {
      continue;
    }
    if (removeFile(fs, stray.copy, &step.reason)) {
      ++outcome.removedCopies;
    } else {
      step.action = UndoAction::Failed;
      step.reason = "无法删除多余的副本：" + step.reason;
      ctx.failure(step.after, step.reason);
      ++outcome.failed;
    }
    outcome.steps.push_back(std::move(step));
  }
}

}  // namespace

UndoOutcome ClassifyUndo(std::string_view logFolder, RunContext& ctx) {
  UndoOutcome outcome;
  const LeftJournal journal = recoverLeftJournal(
      logFolder, outcome.error, [&](const RecoveredRun& run) { removeStrayCopies(run, outcome, ctx); });
  if (journal == LeftJournal::Busy) outcome.error = "另一个归类正在进行，等它结束后才能撤销";
  if (journal == LeftJournal::Busy || journal == LeftJournal::Failed) return outcome;
  UndoLogs logs;
  if (!readLogs(logFolder, logs, outcome.error, &ctx)) return outcome;
  const size_t pairs = logs.pairs;

  for (size_t i = pairs; i-- > 0;) {
    if (ctx.checkpoint()) {
      outcome.stopped = true;
      break;
    }
    UndoStep step{logs.before[i], logs.after[i], checkPair(logs, i), {}};
    if (step.action == UndoAction::Restored) {
      std::string folderError;
      const std::string folder = PathDirectory(step.before);
      if (!folder.empty() && !MakeDirectories(ctx.fileSystem(), folder, &folderError)) {
        folderError = "无法创建文件夹 " + folder + "：" + folderError;
      } else {
        folderError.clear();
      }
      if (!moveWithoutReplacing(ctx.fileSystem(), step.after, step.before, step.reason)) {
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
  // After a stop as well: a folder whose files have all gone back is empty either way.
  outcome.removedFolders = removeMadeFolders(logFolder, ctx);
  return outcome;
}

bool ClassifyUndoAvailable(std::string_view logFolder) {
  UndoLogs logs;
  RecoveredRun run;
  switch (peekLeftJournal(logFolder, run)) {
    case LeftJournal::Busy:
    case LeftJournal::Failed: return false;
    case LeftJournal::Recovered:
      if (!run.strayCopies.empty()) return true;
      logs = parseUndoLogs(run.beforeLog, run.afterLog, run.failureLog);
      break;
    case LeftJournal::None: {
      std::string error;
      if (!readLogs(logFolder, logs, error, nullptr)) return false;
      break;
    }
  }
  for (size_t i = logs.pairs; i-- > 0;) {
    if (checkPair(logs, i) == UndoAction::Restored) return true;
  }
  return false;
}

std::string undoStepLine(const UndoStep& step) {
  const std::string pair = step.after + " → " + step.before;
  switch (step.action) {
    case UndoAction::Restored: return "已移回：" + pair;
    case UndoAction::Failed: return "失败：" + pair + "（" + step.reason + "）";
    case UndoAction::RemovedCopy: return "已删除多余副本：" + step.after + "（原文件仍在 " + step.before + "）";
    default: return "跳过：" + pair + "（" + undoActionText(step.action) + "）";
  }
}

std::string undoFolderLine(std::string_view folder) { return "已删除空文件夹：" + std::string(folder); }

std::string undoSummary(const UndoOutcome& outcome) {
  std::string summary = "撤销归类：移回 " + numberToText(outcome.restored) + " 个，跳过 " +
                        numberToText(outcome.skipped) + " 个，失败 " + numberToText(outcome.failed) + " 个";
  if (outcome.removedCopies > 0) summary += "，删除多余副本 " + numberToText(outcome.removedCopies) + " 个";
  if (!outcome.removedFolders.empty()) {
    summary += "，删除空文件夹 " + numberToText(static_cast<int64_t>(outcome.removedFolders.size())) + " 个";
  }
  return outcome.stopped ? "已停止。" + summary : summary;
}

}  // namespace chengling
