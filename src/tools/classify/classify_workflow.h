#pragma once
// What the classification window and the command line share around the engine: the notice about
// bracketed words that are no token, the file list that a drop leaves behind, and the text of a dry
// run.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_collector.h"
#include "tools/classify/classify_engine.h"

namespace chengling {

// What the words of unknownBracketWords come to: "[文名] 不是元符，将作为文字保留。", several joined by
// "、" (past five, the first five and "等 N 个"); empty when there are none. The command line
// prints it as a warning, 预览 puts it above its summary.
std::string unknownWordsNotice(const std::vector<std::string>& words);
// The notice + "继续吗？": asked before a run starts.
std::string unknownWordsQuestion(const std::vector<std::string>& words);

// The file list after a drop of `dropped`: the dropped paths, one a line, each followed by CR LF,
// after the present list when `append` (Ctrl held) or in its place. A present list whose last line
// lacks its CR LF (typed by hand) gets one first, so that its last path and the first dropped one
// stay two paths.
std::string droppedFileList(std::string_view list, const PathList& dropped, bool append);

// Whether 撤销上次归类 has files to move back after `outcome`, a run over `options`: never after a copy
// run that classified files (its logs are its own, and a copy leaves nothing to move back); else the
// logs in options.logFolder decide (ClassifyUndoAvailable), which a run that could not start left as
// they were. Reads the logs.
bool undoAvailableAfter(const ClassifyOptions& options, const ClassifyOutcome& outcome);

// The dry run for reading: planLine of the first `maxLines` files, CR LF after each, and a last line
// that tells how many more there are when the plan is longer.
std::string planText(const std::vector<PlannedFile>& plan, bool keepSources, size_t maxLines);

}  // namespace chengling
