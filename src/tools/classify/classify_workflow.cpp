#include "tools/classify/classify_workflow.h"

#include "foundation/internal_text.h"

namespace chengling {

const char* const kClassifyWindowTitle =
    "文件归类 - 使用元符构建动态归类路径，实现复杂归类需求。帮助：点击显示元符按钮";
const char* const kFileListPrompt =
    "可以在别处复制文件列表在这里粘贴，也可以直接拖放文件列表，按住Ctrl键可以追加拖放：";
const char* const kFileListCaption = "输入文件路径列表";
const char* const kBatchNamesPrompt =
    "这个批次名列表在每换一个批次（比如100个文件的归类数量为一个批次）时按顺序循环使用，"
    "你可以在【归类到】编辑框中引用[批次名]以构建文件将归类到的一个新路径：";
const char* const kBatchNamesCaption = "输入批次名列表";
const char* const kDroppedCaption = "已拖入";
const char* const kDroppedRestingCaption = "文件列表";
const char* const kClassifyFailuresPrompt = "以下文件未能归类：";
const char* const kPreviewIdleCaption = "预览";
const char* const kPreviewRunningCaption = "停止预览";
const char* const kPreviewCaption = "归类预览";
const char* const kUndoIdleCaption = "撤销上次归类";
const char* const kUndoRunningCaption = "停止撤销";
const char* const kUndoQuestion = "确定把上次归类移动的文件移回原位置吗？";
const char* const kUndoCaption = "撤销归类";
const char* const kStoppingCaption = "停止中..";

std::string classifyFolderTitle(std::string_view filter) {
  return "请选择需要归类的文件所在文件夹(" + std::string(filter) + ")：";
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
