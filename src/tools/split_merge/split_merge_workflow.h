#pragma once
// What the split/merge window hands to the engines: a chosen folder, a path list or a drop, the
// questions it asks before and after a run, and the folder it offers to open. The window only shows
// these texts and starts what they describe; the command line follows the same paths.

#include <string>
#include <string_view>

#include "foundation/file_collector.h"
#include "foundation/run_context.h"
#include "tools/split_merge/merge_engine.h"

namespace chengling {

// Texts of the split/merge window (internal text; defined in the engine).
extern const char* const kSplitIdleCaption;       // 开始分割（选择文件）..
extern const char* const kSplitRunningCaption;    // 正在分割，点击停止
extern const char* const kSplitStoppingCaption;   // 正在停止中
extern const char* const kMergeIdleCaption;       // 开始合并（选择文件夹）..     (five spaces)
extern const char* const kMergeRunningCaption;    // 正在合并，点击停止
extern const char* const kMergeStoppingCaption;   // 正在停止中     (five spaces)
extern const char* const kSeparatorPrompt;        // the prompt of the separator input
extern const char* const kSplitFilesTitle;        // 选择多个文件进行分割：
extern const char* const kSplitFilesFilter;       // the filter of that dialog
extern const char* const kJoinFileTitle;          // 选择一个文件作为合并中间数据
extern const char* const kJoinFileFilter;         // 全部文件(*.*)|*.*
extern const char* const kSplitFolderQuestion;    // 确定分割被拖放目录下的所有文件吗？

// A split started with a folder or a path list: the sources and the folder offered afterwards.
struct SplitStart {
  PathList sources;
  std::string resultFolder;
};
SplitStart splitStartFromFolder(std::string_view folder, std::string_view patterns, Matcher matcher);
SplitStart splitStartFromList(PathList list);

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

// The title of the folder dialog of the merge button.
std::string mergeFolderTitle(std::string_view patterns);

// The folder offered after a merge of a list of folders (the first one) or of files (the first
// file's folder), moved to its parent with intoParent when it has one.
std::string mergeResultFolder(const PathList& list, bool listHoldsFolders, bool intoParent);

// Merges each folder in list order; a stop ends the list after the current folder.
MergeOutcome mergeFolders(const PathList& folders, const MergeOptions& options, RunContext& ctx);

// The completion questions, with the folder they offer to open.
std::string splitDoneQuestion(std::string_view resultFolder);
std::string mergeDoneQuestion(std::string_view resultFolder);

}  // namespace chengling
