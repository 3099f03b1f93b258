#pragma once
// What the split/merge window hands to the engines: a chosen folder, a path list or a drop, the
// questions it asks before and after a run, and the folder it offers to open. The window only shows
// these texts and starts what they describe; the command line follows the same paths.

#include <string>
#include <string_view>

#include "foundation/file_collector.h"
#include "foundation/run_context.h"
#include "tools/split_merge/merge_engine.h"
#include "tools/split_merge/split_engine.h"

namespace chengling {

// The question before a dropped folder is split (internal text): 确定分割被拖放目录下的所有文件吗？
extern const char* const kSplitFolderQuestion;

// A drop on the split area: one path that is a folder asks kSplitFolderQuestion and splits that
// folder; anything else asks about the number of paths and splits the list as it is.
struct SplitDrop {
  std::string question;
  bool isFolder = false;
  std::string folder;
  PathList paths;
};
SplitDrop planSplitDrop(const PathList& dropped);

// A drop on the merge area: the files in drop order, the folders in reverse drop order. The files
// are merged first (no completion question when folders follow), then each folder unless a stop
// was requested.
struct MergeDrop {
  std::string question;
  PathList files;
  PathList folders;
  bool filesQuestionSuppressed = false;
};
MergeDrop planMergeDrop(const PathList& dropped);

// The ways a split starts, shared by the window and the command line: a list of files, a folder
// (its files matching `patterns`, listed now) or a drop planned with planSplitDrop. The report
// carries the folder offered afterwards and the number of sources; no sources split nothing.
struct SplitReport {
  SplitOutcome outcome;
  std::string resultFolder;
  size_t sourceCount = 0;
};
SplitReport SplitFiles(PathList list, const SplitOptions& options, RunContext& ctx);
SplitReport SplitFolder(std::string_view folder, std::string_view patterns, Matcher matcher,
                        const SplitOptions& options, RunContext& ctx);
SplitReport SplitDropped(const SplitDrop& drop, std::string_view patterns, Matcher matcher,
                         const SplitOptions& options, RunContext& ctx);

// The ways a merge starts besides MergeFiles and MergeFolder: a list of folders, and a drop planned
// with planMergeDrop (the files first, then the folders unless a stop was requested). `ask` tells
// whether the completion question follows, about `resultFolder`.
struct MergeReport {
  MergeOutcome outcome;
  bool ask = false;
  std::string resultFolder;
};
MergeOutcome MergeFolders(const PathList& folders, const MergeOptions& options, RunContext& ctx);
MergeReport MergeDropped(const MergeDrop& drop, const MergeOptions& options, RunContext& ctx);
// A folder chosen with the merge button: merged as MergeFolder merges it, and no completion
// question follows (the user has just picked the folder).
MergeReport MergeChosenFolder(std::string_view folder, const MergeOptions& options, RunContext& ctx);

// The folder offered after a merge of a list of folders (the first one) or of files (the first
// file's folder), moved to its parent with intoParent when it has one.
std::string mergeResultFolder(const PathList& list, bool listHoldsFolders, bool intoParent);

// The completion questions, with the folder they offer to open.
std::string splitDoneQuestion(std::string_view resultFolder);
std::string mergeDoneQuestion(std::string_view resultFolder);

// How a run ends for the user. A folder is offered only when the run wrote files and the folder
// exists; the question is then asked with Yes and No, else the text is a plain message.
//  - a clean run: splitDoneQuestion / mergeDoneQuestion of the folder (with no file written,
//    "分割完毕：没有写出分割文件" / "合并完毕：没有写出合并文件");
//  - a stopped run: "已停止。写出 N 个分割文件" (合并文件) + ("，失败 M 个" when some failed);
//  - a run with failures: "分割完毕：写出 N 个分割文件，失败 M 个" (合并完毕 ... 合并文件);
// the last two followed by "。是否打开保存目录：" + folder when it is offered.
struct RunEnd {
  std::string summary;  // what was done, without the question; empty after a clean run
  std::string folder;   // the folder offered; empty when none
  std::string text;     // what the window shows; empty: nothing (see below)
};
// Empty for a split that never started (an invalid setting, no source).
RunEnd splitEnd(const SplitReport& report);
// A merge that asks no completion question (a folder chosen with the button, the files of a drop
// with folders after them) says nothing after a clean run.
RunEnd mergeEnd(const MergeReport& report);

}  // namespace chengling
