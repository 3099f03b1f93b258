#include "shell/control_states.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "foundation/native_text.h"
#include "platform/qt_text.h"
#include "shell/control_tag.h"
#include "shell/settings_store.h"
#include "support/test_support.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

// A tool window with one control of each kind, at its layout defaults.
struct ToolWindow {
  QWidget window;
  QLineEdit* agent = add<QLineEdit>(u"编辑框UA"_s);
  QPlainTextEdit* list = add<QPlainTextEdit>(u"编辑框列表"_s);
  QCheckBox* placeholder = add<QCheckBox>(u"选择框失败占位"_s);
  QRadioButton* first = add<QRadioButton>(u"单选框按份数"_s);
  QRadioButton* second = add<QRadioButton>(u"单选框按大小"_s);
  QComboBox* protocol = add<QComboBox>(u"组合框协议模拟方式"_s);
  QPushButton* separator = add<QPushButton>(u"按钮输入字符串"_s);
  QLineEdit* source = add<QLineEdit>(u"编辑框原地址"_s);
  QLineEdit* scratch = add<QLineEdit>(u"编辑框临时"_s);
  QLabel* label = add<QLabel>(u"标签3"_s);
  QLineEdit* unnamed = add<QLineEdit>(QString());

  ToolWindow() {
    agent->setText(u"默认UA"_s);
    first->setChecked(true);
    for (int i = 0; i < 15; ++i) protocol->addItem(QString::number(i));
    setControlTag(separator, u"分隔符"_s);
    setControlTag(source, u"字节集方式"_s);
    setControlTag(scratch, u"禁止保存"_s);
    scratch->setText(u"布局默认"_s);
  }

  template <typename T>
  T* add(const QString& name) {
    auto* control = new T(&window);
    control->setObjectName(name);
    return control;
  }
};

struct Home {
  testing::TempDir dir;
  std::string valuePath = internalFromNative(dir.path()) + "/" + SettingsStore::valueFileName();
  QString file() const { return toQString(testing::readBytes(nativeFromInternal(valuePath))); }
};

TEST(ControlStates, SaveThenRestoreInAFreshWindow) {
  Home home;
  {
    SettingsStore store;
    ASSERT_TRUE(store.Bind(home.valuePath));
    ToolWindow tool;
    tool.agent->setText(u"Mozilla/5.0"_s);
    tool.list->setPlainText(u"一\n二"_s);
    tool.placeholder->setChecked(true);
    tool.second->setChecked(true);
    tool.protocol->setCurrentIndex(14);
    setControlTag(tool.separator, u"==\r\n--"_s);
    tool.source->setText(u"http://例子.cn/a"_s);
    tool.scratch->setText(u"不该保存"_s);
    SaveControls(store, &tool.window, u"跳转地址获取"_s);
  }
  // Creation order, each new key right after the header: the last control comes first.
  EXPECT_EQ(home.file(),
            u"[跳转地址获取]\r\n按钮输入字符串.标记===┊*┊--\r\n组合框协议模拟方式=14\r\n单选框按大小=1\r\n单选框按份数=0\r\n"
            u"选择框失败占位=1\r\n编辑框列表=一┊*┊二\r\n编辑框UA=Mozilla/5.0"_s);
  const std::string bytesFile = home.dir / nativeFromInternal(fromQString(u"inibin/跳转地址获取-编辑框原地址.ibn"_s));
  EXPECT_EQ(testing::readBytes(bytesFile), fromQString(u"http://例子.cn/a"_s));

  SettingsStore store;
  ASSERT_TRUE(store.Bind(home.valuePath));
  ToolWindow tool;
  RestoreControls(store, &tool.window, u"跳转地址获取"_s);
  EXPECT_EQ(tool.agent->text(), u"Mozilla/5.0"_s);
  EXPECT_EQ(tool.list->toPlainText(), u"一\n二"_s);
  EXPECT_TRUE(tool.placeholder->isChecked());
  EXPECT_FALSE(tool.first->isChecked());
  EXPECT_TRUE(tool.second->isChecked());
  EXPECT_EQ(tool.protocol->currentIndex(), 14);
  EXPECT_EQ(controlTag(tool.separator), u"==\r\n--"_s);
  EXPECT_EQ(tool.source->text(), u"http://例子.cn/a"_s);
  EXPECT_EQ(tool.scratch->text(), u"布局默认"_s);
}

// The kept kinds are those the tool windows have: a list box, a list box with check marks or a
// colour picker is neither saved nor restored, whatever its name says.
TEST(ControlStates, KindsNoWindowHasAreLeftAlone) {
  Home home;
  testing::writeBytes(nativeFromInternal(home.valuePath),
                      fromQString(u"[文件批量归类]\r\n列表框类型.选中=0,2\r\n选择列表框类型.选中=2\r\n"
                                  u"选择列表框类型.打勾=1\r\n颜色选择器背景=255"_s));
  SettingsStore store;
  ASSERT_TRUE(store.Bind(home.valuePath));
  QWidget window;
  auto* choices = new QListWidget(&window);
  choices->setObjectName(u"列表框类型"_s);
  auto* checks = new QListWidget(&window);
  checks->setObjectName(u"选择列表框类型"_s);
  for (const QString& item : {u"甲"_s, u"乙"_s, u"丙"_s}) {
    choices->addItem(item);
    (new QListWidgetItem(item, checks))->setCheckState(Qt::Unchecked);
  }
  choices->setSelectionMode(QAbstractItemView::MultiSelection);
  auto* colour = new QWidget(&window);
  colour->setObjectName(u"颜色选择器背景"_s);
  colour->setProperty("color", QColor(Qt::blue));

  RestoreControls(store, &window, u"文件批量归类"_s);
  EXPECT_TRUE(choices->selectedItems().isEmpty());
  EXPECT_EQ(checks->item(1)->checkState(), Qt::Unchecked);
  EXPECT_EQ(checks->currentRow(), -1);
  EXPECT_EQ(colour->property("color").value<QColor>(), QColor(Qt::blue));

  choices->item(1)->setSelected(true);
  checks->item(0)->setCheckState(Qt::Checked);
  const QString before = home.file();
  SaveControls(store, &window, u"文件批量归类"_s);
  EXPECT_EQ(home.file(), before);
}

TEST(ControlStates, MissingEmptyOrUnusableValuesLeaveControlsAlone) {
  Home home;
  testing::writeBytes(nativeFromInternal(home.valuePath),
                      fromQString(u"[文件批量归类]\r\n编辑框UA=\r\n组合框协议模拟方式=99\r\n按钮输入字符串.标记=\r\n"
                                  u"编辑框临时=存过的\r\n[跳转地址获取]\r\n选择框失败占位=1"_s));
  SettingsStore store;
  ASSERT_TRUE(store.Bind(home.valuePath));
  ToolWindow tool;
  tool.protocol->setCurrentIndex(3);
  RestoreControls(store, &tool.window, u"文件批量归类"_s);
  EXPECT_EQ(tool.agent->text(), u"默认UA"_s);
  EXPECT_EQ(tool.protocol->currentIndex(), 3);
  EXPECT_EQ(controlTag(tool.separator), u"分隔符"_s);
  EXPECT_EQ(tool.scratch->text(), u"布局默认"_s) << "禁止保存 must not be restored";
  EXPECT_FALSE(tool.placeholder->isChecked()) << "a key of another section must not count";
  EXPECT_TRUE(tool.first->isChecked());
  EXPECT_EQ(tool.source->text(), QString());
}

TEST(ControlStates, ButtonTagInBytesMode) {
  Home home;
  SettingsStore store;
  ASSERT_TRUE(store.Bind(home.valuePath));
  QWidget window;
  auto* button = new QPushButton(&window);
  button->setObjectName(u"按钮文件列表"_s);
  setControlTag(button, u"字节集方式\r\n/路径/一.txt"_s);
  SaveControls(store, &window, u"文件批量归类"_s);
  EXPECT_EQ(home.file(), u""_s);
  const std::string bytesFile =
      home.dir / nativeFromInternal(fromQString(u"inibin/文件批量归类-按钮文件列表.标记.ibn"_s));
  EXPECT_EQ(testing::readBytes(bytesFile), fromQString(u"字节集方式\r\n/路径/一.txt"_s));

  // A restored byte value ends at its first zero byte.
  testing::writeBytes(bytesFile, fromQString(u"字节集方式 新"_s) + std::string("\0tail", 5));
  setControlTag(button, u"字节集方式"_s);
  RestoreControls(store, &window, u"文件批量归类"_s);
  EXPECT_EQ(controlTag(button), u"字节集方式 新"_s);
}

}  // namespace
}  // namespace chengling
