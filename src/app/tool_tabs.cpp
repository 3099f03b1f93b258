#include "app/tool_tabs.h"

#include <type_traits>

#include "shell/artwork.h"
#include "tools/classify/classify_window.h"
#include "tools/csv_table/csv_table_window.h"
#include "tools/redirect/redirect_window.h"
#include "tools/split_merge/split_merge_window.h"
#include "tools/transcode/transcode_window.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

// The tab of `Tool`: its window keeps its controls under Tool::stateName() when it has one, and
// takes the settings when its constructor asks for them.
template <typename Tool>
ToolTab tab(const QString& caption, const QString& tip, const QIcon& icon) {
  ToolTab made{caption, tip, icon, QString(), nullptr};
  if constexpr (requires { Tool::stateName(); }) made.stateName = Tool::stateName();
  if constexpr (std::is_constructible_v<Tool, SettingsStore&>) {
    made.make = [](SettingsStore& settings) -> QWidget* { return new Tool(settings); };
  } else {
    made.make = [](SettingsStore&) -> QWidget* { return new Tool; };
  }
  return made;
}

template <typename Tool>
ToolTab tab(const QString& caption, const QString& tip, ToolIcon icon) {
  return tab<Tool>(caption, tip, QIcon(toolIcon(icon)));
}

}  // namespace

std::vector<ToolTab> toolTabs() {
  return {
      tab<RedirectTool>(u" 跳转地址获取 "_s, u"比如使用安卓协议可以获取到很多网页的手机版地址"_s, ToolIcon::Redirect),
      tab<CsvTableTool>(u" Csv数据排序 "_s, u"将Excel表格导出为CSV文本格式再导入本功能就可以排序了"_s, ToolIcon::CsvTable),
      tab<ClassifyTool>(u" 文件批量归类 "_s, u"使用元符构建动态归类路径，实现复杂归类需求。帮助：点击显示元符按钮"_s, ToolIcon::Classify),
      tab<TranscodeTool>(u" 文件批量转码 "_s, u"UTF8、GBK、Unicode互转"_s, ToolIcon::Transcode),
      tab<SplitMergeTool>(u" 文件分割合并 "_s, QString(), ToolIcon::SplitMerge),
  };
}

}  // namespace chengling
