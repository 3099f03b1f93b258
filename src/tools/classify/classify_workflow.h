#pragma once
// What the classification window shows and asks around the engine: its captions, the prompts of its
// two list inputs, the file list that a drop leaves behind, and the texts of a dry run and of an
// undo. The window only shows these texts; the command line prints the same lines.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_collector.h"
#include "tools/classify/classify_engine.h"

namespace chengling {

// Texts of the classification window (internal text; defined in the engine).
extern const char* const kClassifyWindowTitle;     // 文件归类 - 使用元符构建动态归类路径，...
extern const char* const kFileListPrompt;          // the prompt of the file-list input
extern const char* const kFileListCaption;         // 输入文件路径列表
extern const char* const kBatchNamesPrompt;        // the prompt of the batch-name input
extern const char* const kBatchNamesCaption;       // 输入批次名列表
extern const char* const kDroppedCaption;          // 已拖入
extern const char* const kDroppedRestingCaption;   // 文件列表
extern const char* const kClassifyFailuresPrompt;  // 以下文件未能归类：
extern const char* const kPreviewIdleCaption;      // 预览
extern const char* const kPreviewRunningCaption;   // 停止预览
extern const char* const kPreviewCaption;          // 归类预览 (the dialog)
extern const char* const kUndoIdleCaption;         // 撤销上次归类
extern const char* const kUndoRunningCaption;      // 停止撤销
extern const char* const kUndoQuestion;            // asked before an undo starts
extern const char* const kUndoCaption;             // 撤销归类 (the dialog)
extern const char* const kStoppingCaption;         // 停止中..

// What the words of unknownBracketWords come to: "[文名] 不是元符，将作为文字保留。", several joined by
// "、" (past five, the first five and "等 N 个"); empty when there are none. The command line
// prints it as a warning, 预览 puts it above its summary.
std::string unknownWordsNotice(const std::vector<std::string>& words);
// The notice + "继续吗？": asked before a run starts.
std::string unknownWordsQuestion(const std::vector<std::string>& words);

// The title of the folder dialog: "请选择需要归类的文件所在文件夹(" + filter + ")："
std::string classifyFolderTitle(std::string_view filter);

// The file list after a drop of `dropped`: the dropped paths, one a line, each followed by CR LF,
// after the present list when `append` (Ctrl held) or in its place. A present list whose last line
// lacks its CR LF (typed by hand) gets one first, so that its last path and the first dropped one
// stay two paths.
std::string droppedFileList(std::string_view list, const PathList& dropped, bool append);

// The dry run for reading: planLine of the first `maxLines` files, CR LF after each, and a last line
// that tells how many more there are when the plan is longer.
std::string planText(const std::vector<PlannedFile>& plan, bool keepSources, size_t maxLines);

}  // namespace chengling
