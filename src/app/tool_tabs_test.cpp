#include "app/tool_tabs.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTabBar>
#include <QWidget>

#include <memory>
#include <string>

#include "foundation/native_text.h"
#include "platform/qt_text.h"
#include "shell/settings_store.h"
#include "support/test_support.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

TEST(ToolTabs, TheStripShowsEveryToolInTabOrderWithItsCaptionTipAndOwnIcon) {
  struct Case {
    QString caption;
    QString tip;
  };
  const Case kTabs[] = {
      {u" 跳转地址获取 "_s, u"比如使用安卓协议可以获取到很多网页的手机版地址"_s},
      {u" Csv数据排序 "_s, u"将Excel表格导出为CSV文本格式再导入本功能就可以排序了"_s},
      {u" 文件批量归类 "_s, u"使用元符构建动态归类路径，实现复杂归类需求。帮助：点击显示元符按钮"_s},
      {u" 文件批量转码 "_s, u"UTF8、GBK、Unicode互转"_s},
      {u" 文件分割合并 "_s, QString()},
  };
  testing::TempDir dir;
  SettingsStore settings;
  ASSERT_TRUE(settings.Bind(internalFromNative(dir.path()) + "/" + SettingsStore::valueFileName()));
  MainWindow window(settings, toolTabs());
  const QTabBar* tabs = window.tabs();
  ASSERT_EQ(tabs->count(), static_cast<int>(std::size(kTabs)));
  QList<QImage> icons;
  for (int i = 0; i < tabs->count(); ++i) {
    EXPECT_EQ(tabs->tabText(i), kTabs[i].caption) << i;
    EXPECT_EQ(tabs->tabToolTip(i), kTabs[i].tip) << i;
    const QImage icon = tabs->tabIcon(i).pixmap(24, 24).toImage();
    EXPECT_EQ(icon.size(), QSize(24, 24)) << i;
    EXPECT_FALSE(icons.contains(icon)) << "tab " << i << " shares its icon";
    icons << icon;
  }
  window.close();
}

// The state name of a tab is the section its window writes when it closes; the table tab keeps no
// states and writes nothing.
TEST(ToolTabs, EachWindowKeepsItsControlsUnderTheStateNameOfItsTab) {
  const QString kStateNames[] = {u"跳转地址获取"_s, QString(), u"文件批量归类"_s, u"文件批量转码"_s, u"文件分割合并"_s};
  const std::vector<ToolTab> tabs = toolTabs();
  ASSERT_EQ(tabs.size(), std::size(kStateNames));
  for (size_t i = 0; i < tabs.size(); ++i) {
    const ToolTab& tab = tabs[i];
    EXPECT_EQ(tab.stateName, kStateNames[i]) << i;
    testing::TempDir dir;
    SettingsStore settings;
    ASSERT_TRUE(settings.Bind(internalFromNative(dir.path()) + "/" + SettingsStore::valueFileName()));
    ASSERT_TRUE(tab.make);
    std::unique_ptr<QWidget> window(tab.make(settings));
    ASSERT_NE(window, nullptr) << i;
    window->close();
    const QString written = toQString(settings.text());
    if (tab.stateName.isEmpty()) {
      EXPECT_TRUE(written.isEmpty()) << i << ": " << written.toStdString();
    } else {
      EXPECT_TRUE(written.startsWith(u"["_s + tab.stateName + u"]\r\n"_s)) << i << ": " << written.left(40).toStdString();
      EXPECT_EQ(written.count(u"\r\n["_s), 0) << i << ": one section";
    }
  }
}

}  // namespace
}  // namespace chengling
