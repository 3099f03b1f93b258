#include "platform/dialogs.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>

#include "platform/message_box.h"
#include "support/window_test_kit.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

TEST(Dialogs, FilterListsBecomeQtFilters) {
  struct Case {
    QString list;
    QString want;
  };
  const Case kCases[] = {
      {u"TXT文档(*.txt)|*.txt|HTML文档(*.htm;*.html)|*.htm;*.html|所有文件(*.*)|*.*"_s,
       u"TXT文档 (*.txt);;HTML文档 (*.htm *.html);;所有文件 (*)"_s},
      {u"文本和网页文件|*.txt;*.htm;*.html|全部文件|*.*"_s, u"文本和网页文件 (*.txt *.htm *.html);;全部文件 (*)"_s},
      {u"csv文件|*.csv"_s, u"csv文件 (*.csv)"_s},
      {u"无模式|"_s, u"无模式 (*)"_s},
      {u"落单的描述"_s, QString()},
      {QString(), QString()},
  };
  for (const Case& c : kCases) EXPECT_EQ(qtFilterFromList(c.list), c.want) << c.list.toStdString();
}

// The questions' buttons and Qt's own file dialog speak Chinese (the test main installs the
// translations as the program's main does).
TEST(Dialogs, QuestionsAndFileDialogsAreInChinese) {
  testing::Modals modals;
  EXPECT_FALSE(askYesNo(nullptr, u"要打开吗？"_s));
  EXPECT_TRUE(askOkCancel(nullptr, u"确定吗？"_s));
  showMessage(nullptr, u"完成"_s);
  EXPECT_EQ(modals.buttonTexts, (QStringList{u"是|否"_s, u"确定|取消"_s, u"确定"_s}));

  QStringList buttons;
  QStringList labels;
  modals.next([&](QWidget* modal) {
    for (QPushButton* button : modal->findChild<QDialogButtonBox*>()->findChildren<QPushButton*>()) {
      buttons << button->text();
    }
    for (QLabel* label : modal->findChildren<QLabel*>()) labels << label->text();
    modal->close();
  });
  EXPECT_TRUE(chooseFile(nullptr, u"选择"_s).empty());
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{u"取消"_s, u"打开(&O)"_s})) << buttons.join(u',').toStdString();
  EXPECT_TRUE(labels.contains(u"查找范围："_s) || labels.contains(u"查看："_s)) << labels.join(u',').toStdString();
}

}  // namespace
}  // namespace chengling
