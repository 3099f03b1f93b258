#include "tools/classify/classify_workflow.h"

#include "foundation/internal_text.h"
#include "tools/classify/classify_undo.h"

namespace chengling {

bool undoAvailableAfter(const ClassifyOptions& options, const ClassifyOutcome& outcome) {
  const bool copied = options.keepSources && outcome.error.empty() && outcome.processed > 0;
  return !copied && ClassifyUndoAvailable(options.logFolder);
}

std::string unknownWordsNotice(const std::vector<std::string>& words) {
  if (words.empty()) return std::string();
  constexpr size_t kNamed = 5;
  std::string notice;
  for (size_t i = 0; i < words.size() && i < kNamed; ++i) {
    if (i > 0) notice += "、";
    notice += words[i];
  }
  // "[文名] 不是…", but "… 等 7 个不是…".
  notice += words.size() > kNamed ? " 等 " + numberToText(static_cast<int64_t>(words.size())) + " 个" : " ";
  return notice + "不是元符，将作为文字保留。";
}

std::string unknownWordsQuestion(const std::vector<std::string>& words) {
  return unknownWordsNotice(words) + "继续吗？";
}

std::string droppedFileList(std::string_view list, const PathList& dropped, bool append) {
  std::string result;
  if (append) {
    result = list;
    if (!result.empty() && (result.size() < 2 || result.compare(result.size() - 2, 2, "\r\n") != 0)) {
      result += "\r\n";
    }
  }
  for (const std::string& path : dropped) {
    result += path;
    result += "\r\n";
  }
  return result;
}

std::string planText(const std::vector<PlannedFile>& plan, bool keepSources, size_t maxLines) {
  std::string text;
  const size_t shown = plan.size() < maxLines ? plan.size() : maxLines;
  for (size_t i = 0; i < shown; ++i) {
    text += planLine(plan[i], keepSources);
    text += "\r\n";
  }
  if (shown < plan.size()) {
    text += "……另有 " + numberToText(static_cast<int64_t>(plan.size() - shown)) + " 个文件未列出\r\n";
  }
  return text;
}

}  // namespace chengling
