#include "platform/dialogs.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeView>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include "platform/message_box.h"
#include "support/test_support.h"
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

// The file list of Qt's dialog, whatever the desktop's locale: a folder's type, the column titles,
// the sizes and the dates are Chinese.
TEST(Dialogs, TheFileListSpeaksChinese) {
  testing::TempDir dir;
  testing::writeBytes(dir / "子文件夹/里面.txt", "x");
  testing::writeBytes(dir / "说明.txt", "hello\n");
  for (const char* name : {"子文件夹", "说明.txt"}) {
    const std::string path = dir / name;
    // A fixed afternoon, so that an English month or "PM" would show.
    const timespec times[2] = {{1700049600, 0}, {1700049600, 0}};  // 2023-11-15 12:00 UTC
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << name;
  }

  testing::Modals modals;
  QStringList headers;
  QStringList showActions;
  QStringList folderRow;
  QStringList fileRow;
  QList<bool> fits;  // the size and date columns are wide enough for the file's texts
  modals.next([&](QWidget* modal) {
    auto* tree = modal->findChild<QTreeView*>(u"treeView"_s);
    ASSERT_NE(tree, nullptr);
    const QAbstractItemModel* model = tree->model();
    const auto row = [&](const QString& name) {
      QStringList texts;
      const QModelIndex root = tree->rootIndex();
      for (int r = 0; r < model->rowCount(root); ++r) {
        if (model->index(r, 0, root).data().toString() != name) continue;
        for (int c = 0; c < model->columnCount(root); ++c) texts << model->index(r, c, root).data().toString();
      }
      return texts;
    };
    // The list fills in the background; the last column to arrive is the date.
    EXPECT_TRUE(QTest::qWaitFor([&] {
      folderRow = row(u"子文件夹"_s);
      fileRow = row(u"说明.txt"_s);
      return folderRow.size() == 4 && fileRow.size() == 4 && !folderRow[2].isEmpty() && !fileRow[1].isEmpty() &&
             !fileRow[3].isEmpty();
    }, 10000));
    EXPECT_TRUE(tree->isVisible()) << "the detailed list is the one shown";
    for (int section = 0; section < tree->header()->count(); ++section) {
      if (!tree->header()->isSectionHidden(section)) headers << model->headerData(section, Qt::Horizontal).toString();
    }
    for (const QAction* action : tree->header()->actions()) showActions << action->text();
    for (const int column : {1, 3}) {
      fits << (tree->header()->sectionSize(column) > tree->fontMetrics().horizontalAdvance(fileRow.value(column)));
    }
    modal->close();
  });
  EXPECT_TRUE(chooseFiles(nullptr, u"选择"_s, u"所有文件|*.*"_s, dir.path()).empty());

  EXPECT_EQ(headers, (QStringList{u"名称"_s, u"大小"_s, u"类型"_s, u"修改日期"_s}));
  EXPECT_EQ(showActions, (QStringList{u"显示大小"_s, u"显示类型"_s, u"显示修改日期"_s}));
  ASSERT_EQ(folderRow.size(), 4);
  EXPECT_EQ(folderRow[1], QString()) << "a folder shows no size";
  EXPECT_EQ(folderRow[2], u"文件夹"_s);
  ASSERT_EQ(fileRow.size(), 4);
  EXPECT_EQ(fileRow[1], u"6 字节"_s);
  // The date in the program's (Chinese) short form, in local time: digits, "/", ":" and a space.
  const QRegularExpression chineseShortDate(u"^\\d{4}/\\d{1,2}/\\d{1,2} \\d{1,2}:\\d{2}$"_s);
  EXPECT_TRUE(chineseShortDate.match(fileRow[3]).hasMatch()) << fileRow[3].toStdString();
  EXPECT_TRUE(chineseShortDate.match(folderRow[3]).hasMatch()) << folderRow[3].toStdString();
  EXPECT_TRUE(fileRow[3].startsWith(u"2023/11/1"_s)) << fileRow[3].toStdString();
  EXPECT_EQ(fits, (QList<bool>{true, true})) << "a size or date cut short";
}

}  // namespace
}  // namespace chengling
