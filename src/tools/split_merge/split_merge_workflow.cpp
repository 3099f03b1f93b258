#include "tools/split_merge/split_merge_workflow.h"

#include <vector>

#include "foundation/file_system.h"
#include "foundation/path_helpers.h"

namespace chengling {

const char* const kSplitFolderQuestion = "确定分割被拖放目录下的所有文件吗？";

SplitReport SplitFiles(PathList list, const SplitOptions& options, RunContext& ctx) {
  SplitReport report;
  if (list.empty()) return report;
  report.resultFolder = PathDirectory(list.front());
  report.sourceCount = list.size();
  report.outcome = SplitRun(list, options, ctx);
  return report;
}

SplitReport SplitFolder(std::string_view folder, std::string_view patterns, Matcher matcher,
                        const SplitOptions& options, RunContext& ctx) {
  SplitReport report;
  report.resultFolder = std::string(folder);
  PathList sources;
  ListFolder(folder, patterns, ListingKind::Files, false, matcher, sources);
  report.sourceCount = sources.size();
  if (!sources.empty()) report.outcome = SplitRun(sources, options, ctx);
  return report;
}

SplitReport SplitDropped(const SplitDrop& drop, std::string_view patterns, Matcher matcher,
                         const SplitOptions& options, RunContext& ctx) {
  return drop.isFolder ? SplitFolder(drop.folder, patterns, matcher, options, ctx)
                       : SplitFiles(drop.paths, options, ctx);
}

SplitDrop planSplitDrop(const PathList& dropped) {
  SplitDrop drop;
  if (dropped.size() == 1 && IsDirectory(dropped.front())) {
    drop.isFolder = true;
    drop.folder = dropped.front();
    drop.question = kSplitFolderQuestion;
  } else {
    drop.paths = dropped;
    drop.question = "确定分割被拖放的 " + std::to_string(dropped.size()) + " 个文件吗？";
  }
  return drop;
}

MergeDrop planMergeDrop(const PathList& dropped) {
  MergeDrop drop;
  for (const std::string& path : dropped) {
    if (!IsDirectory(path)) drop.files.push_back(path);
  }
  for (auto it = dropped.rbegin(); it != dropped.rend(); ++it) {
    if (IsDirectory(*it)) drop.folders.push_back(*it);
  }
  drop.question = "确定合并被拖放的 " + std::to_string(drop.files.size() + drop.folders.size()) + " 个吗？";
  drop.filesQuestionSuppressed = !drop.files.empty() && !drop.folders.empty();
  return drop;
}


std::string mergeResultFolder(const PathList& list, bool listHoldsFolders, bool intoParent) {
  if (list.empty()) return {};
  std::string folder = listHoldsFolders ? list.front() : PathDirectory(list.front());
  if (intoParent) {
    std::string parent = PathDirectory(folder);
    if (!parent.empty()) folder = std::move(parent);
  }
  return folder;
}

MergeOutcome MergeFolders(const PathList& folders, const MergeOptions& options, RunContext& ctx) {
  MergeOutcome outcome;
  for (const std::string& folder : folders) {
    outcome += MergeFolder(folder, options, ctx);
    if (ctx.checkpoint()) {
      outcome.stopped = true;
      break;
    }
  }
  return outcome;
}

MergeReport MergeDropped(const MergeDrop& drop, const MergeOptions& options, RunContext& ctx) {
  MergeReport report;
  if (!drop.files.empty()) {
    report.outcome += MergeFiles(drop.files, options, ctx);
    // With folders to follow, only the folders' merge asks.
    if (drop.folders.empty()) {
      report.ask = true;
      report.resultFolder = mergeResultFolder(drop.files, false, options.intoParent);
    }
  }
  if (!drop.folders.empty() && !ctx.stopRequested()) {
    report.outcome += MergeFolders(drop.folders, options, ctx);
    report.ask = true;
    report.resultFolder = mergeResultFolder(drop.folders, true, options.intoParent);
  }
  if (ctx.stopRequested()) report.outcome.stopped = true;
  return report;
}

MergeReport MergeChosenFolder(std::string_view folder, const MergeOptions& options, RunContext& ctx) {
  MergeReport report;
  report.outcome = MergeFolder(folder, options, ctx);
  return report;
}

std::string splitDoneQuestion(std::string_view resultFolder) {
  return "分割完毕！是否打开保存目录：" + std::string(resultFolder);
}

std::string mergeDoneQuestion(std::string_view resultFolder) {
  return "合并完毕！是否打开保存目录：" + std::string(resultFolder);
}

namespace {

// `what`: "分割" or "合并"; `written`: the files the run wrote; `done`: the clean run's question.
RunEnd runEnd(std::string_view what, std::string (*done)(std::string_view), bool stopped, int64_t written,
              int64_t failures, bool ask, const std::string& resultFolder) {
  RunEnd end;
  const std::string files = std::to_string(written) + " 个" + std::string(what) + "文件";
  if (ask && written > 0 && pathExists(resultFolder)) end.folder = resultFolder;
  if (stopped) {
    end.summary = "已停止。写出 " + files;
    if (failures > 0) end.summary += "，失败 " + std::to_string(failures) + " 个";
  } else if (failures > 0) {
    end.summary = std::string(what) + "完毕：写出 " + files + "，失败 " + std::to_string(failures) + " 个";
  } else if (!ask) {
    return end;
  } else if (end.folder.empty()) {
    end.text = std::string(what) + "完毕：没有写出" + std::string(what) + "文件";
    return end;
  } else {
    end.text = done(end.folder);
    return end;
  }
  end.text = end.summary;
  if (!end.folder.empty()) end.text += "。是否打开保存目录：" + end.folder;
  return end;
}

}  // namespace

RunEnd splitEnd(const SplitReport& report) {
  const SplitOutcome& outcome = report.outcome;
  if (report.sourceCount == 0 || outcome.end == SplitEnd::Invalid || outcome.end == SplitEnd::AskSeparator) return {};
  return runEnd("分割", splitDoneQuestion, outcome.end == SplitEnd::Stopped, outcome.piecesWritten,
                outcome.failures, true, report.resultFolder);
}

RunEnd mergeEnd(const MergeReport& report) {
  const MergeOutcome& outcome = report.outcome;
  return runEnd("合并", mergeDoneQuestion, outcome.stopped, outcome.outputsWritten, outcome.failures, report.ask,
                report.resultFolder);
}

}  // namespace chengling
