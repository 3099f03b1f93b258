#include "shell/input_dialog.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>

#include "support/window_test_kit.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

using testing::Modals;

QPlainTextEdit* body(QWidget* dialog) { return dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s); }
QPushButton* button(QWidget* dialog, const QString& name) { return dialog->findChild<QPushButton*>(name); }

// Answers the next message box with `answer`, after recording its caption and text.
void answerMessage(Modals& modals, QMessageBox::StandardButton answer, QString* caption, QString* text) {
  modals.next([=](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    *caption = box->windowTitle();
    *text = box->text();
    box->button(answer)->click();
  });
}

TEST(InputDialog, ConfirmingAnUnchangedTextGivesItBack) {
  Modals modals;
  QString title;
  QString prompt;
  modals.next([&](QWidget* dialog) {
    title = dialog->windowTitle();
    prompt = dialog->findChild<QTextEdit*>(u"编辑框提示"_s)->toPlainText();
    EXPECT_EQ(body(dialog)->toPlainText(), u"第一行\n第二行"_s);
    // Only one dialog at a time: a second request returns false at once.
    QString ignored;
    EXPECT_FALSE(ShowInputDialog(u"别的"_s, std::nullopt, {}, nullptr, &ignored));
    button(dialog, u"按钮确定"_s)->click();
  });
  QString result = u"旧"_s;
  EXPECT_TRUE(ShowInputDialog(u"第一行\r\n第二行"_s, u""_s, {}, nullptr, &result));
  EXPECT_EQ(result, u"第一行\r\n第二行"_s);
  EXPECT_EQ(title, u"输入："_s);
  EXPECT_EQ(prompt, u"请输入数据："_s);
  EXPECT_EQ(InputDialog::current(), nullptr);
}

TEST(InputDialog, EditedTextComesBackWithCrLf) {
  Modals modals;
  modals.next([&](QWidget* dialog) {
    body(dialog)->setPlainText(u"甲\n乙\n"_s);
    button(dialog, u"按钮确定"_s)->click();
  });
  QString result;
  EXPECT_TRUE(ShowInputDialog(u"原来"_s, std::nullopt, u"输入文件路径列表"_s, nullptr, &result));
  EXPECT_EQ(result, u"甲\r\n乙\r\n"_s);
}

TEST(InputDialog, CancelAfterEditingLeavesTheCallersText) {
  Modals modals;
  modals.next([&](QWidget* dialog) {
    body(dialog)->setPlainText(u"改过了"_s);
    button(dialog, u"按钮取消"_s)->click();  // no question for the cancel button
  });
  QString result = u"调用者的文本"_s;
  EXPECT_FALSE(ShowInputDialog(u"原来"_s, std::nullopt, {}, nullptr, &result));
  EXPECT_EQ(result, u"调用者的文本"_s);
}

TEST(InputDialog, CloseBoxAfterEditingAsksFirst) {
  Modals modals;
  QString caption;
  QString text;
  QString bodyAfterNo;
  bool openAfterNo = false;
  modals.next([&](QWidget* dialog) {
    body(dialog)->setPlainText(u"改过了"_s);
    answerMessage(modals, QMessageBox::No, &caption, &text);
    dialog->close();  // the close box; No keeps the dialog and the edits
    openAfterNo = dialog->isVisible();
    bodyAfterNo = body(dialog)->toPlainText();
    QString ignored;
    answerMessage(modals, QMessageBox::Yes, &ignored, &ignored);
    dialog->close();
  });
  QString result = u"调用者的文本"_s;
  EXPECT_FALSE(ShowInputDialog(u"原来"_s, std::nullopt, {}, nullptr, &result));
  EXPECT_EQ(caption, u"岚舟："_s);
  EXPECT_EQ(text, u"内容已被改动，是否要放弃？"_s);
  EXPECT_TRUE(openAfterNo);
  EXPECT_EQ(bodyAfterNo, u"改过了"_s);
  EXPECT_EQ(result, u"调用者的文本"_s);

  // Unchanged: the close box closes at once.
  modals.next([](QWidget* dialog) { dialog->close(); });
  EXPECT_FALSE(ShowInputDialog(u"原来"_s, std::nullopt, {}, nullptr, &result));
}

TEST(InputDialog, DetailsModeShowsOnlyTheTextAndTheCloseButton) {
  Modals modals;
  bool checked = false;
  modals.next([&](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), u"信息："_s);
    EXPECT_EQ(dialog->findChild<QTextEdit*>(u"编辑框提示"_s)->toPlainText(), u"以下为信息详情："_s);
    EXPECT_TRUE(body(dialog)->isReadOnly());
    EXPECT_EQ(body(dialog)->toPlainText(), u"失败一\n失败二"_s);
    EXPECT_FALSE(button(dialog, u"按钮确定"_s)->isVisible());
    EXPECT_FALSE(dialog->findChild<QWidget*>(u"外形框"_s)->isVisible());
    QPushButton* close = button(dialog, u"按钮取消"_s);
    EXPECT_TRUE(close->isVisible());
    EXPECT_EQ(close->text(), u"关闭(&G)"_s);
    EXPECT_TRUE(close->isDefault());
    checked = true;
    close->click();
  });
  EXPECT_FALSE(ShowInputDialog(u"失败一\r\n失败二"_s, u""_s, {}, nullptr, nullptr));
  EXPECT_TRUE(checked);

  // No prompt at all: the prompt box takes no room.
  InputDialog bare(u"文本"_s, std::nullopt, u"获取跳转失败的地址列表："_s, false, nullptr);
  EXPECT_EQ(bare.windowTitle(), u"获取跳转失败的地址列表："_s);
  EXPECT_EQ(bare.findChild<QTextEdit*>(u"编辑框提示"_s)->height(), 0);
}

TEST(InputDialog, PromptHeightFollowsItsDisplayLines) {
  const QString twenty = u"一二三四五六七八九十"_s;         // 20 GBK bytes
  const QString seventy = u"abcdefghij"_s.repeated(3) + u"一二三四五六七八九十"_s.repeated(2);  // 70 bytes
  struct Case {
    QString prompt;
    int lines;
  };
  const Case kCases[] = {
      {twenty + u"\r\n"_s + twenty, 2},
      {twenty + u"\r\n"_s + twenty + u"\r\n"_s, 2},
      {seventy, 3},
      {u"a"_s.repeated(33), 1},
      {u"a"_s.repeated(34), 2},
      {u"a\r\n\r\nb"_s, 3},
      {QString(), 0},
  };
  for (const Case& c : kCases) EXPECT_EQ(promptDisplayLines(c.prompt, 200), c.lines) << c.prompt.toStdString();

  // The same figures in a dialog whose prompt box is 200 pixels wide.
  for (const auto& [prompt, height] : {std::pair{twenty + u"\r\n"_s + twenty, 24}, std::pair{seventy, 36}}) {
    InputDialog dialog(u"正文"_s, prompt, {}, true, nullptr);
    dialog.resize(200 + 2 * InputDialog::kMargin, 300);
    dialog.layoutControls();
    const QWidget* box = dialog.findChild<QTextEdit*>(u"编辑框提示"_s);
    EXPECT_EQ(box->geometry(), QRect(5, 5, 200, height));
    EXPECT_EQ(body(&dialog)->y(), 5 + height + 5);
    const QWidget* bar = dialog.findChild<QWidget*>(u"外形框"_s);
    EXPECT_EQ(bar->y(), body(&dialog)->geometry().bottom() + 1);
    EXPECT_EQ(bar->geometry().bottom(), 299);
    EXPECT_EQ(button(&dialog, u"按钮取消"_s)->geometry().right(), 210 - 5 - 1);
    EXPECT_EQ(button(&dialog, u"按钮确定"_s)->geometry().right() + 1, button(&dialog, u"按钮取消"_s)->x());
  }
}

TEST(InputDialog, RestoreWithoutInitialTextSaysSo) {
  Modals modals;
  QString caption;
  QString text;
  QString bodyAfter;
  modals.next([&](QWidget* dialog) {
    body(dialog)->setPlainText(u"打的字"_s);
    answerMessage(modals, QMessageBox::Ok, &caption, &text);
    button(dialog, u"按钮恢复"_s)->click();
    bodyAfter = body(dialog)->toPlainText();
    button(dialog, u"按钮清空"_s)->click();
    EXPECT_TRUE(body(dialog)->toPlainText().isEmpty());
    button(dialog, u"按钮取消"_s)->click();
  });
  QString result;
  EXPECT_FALSE(ShowInputDialog(QString(), std::nullopt, {}, nullptr, &result));
  EXPECT_EQ(caption, u"岚舟："_s);
  EXPECT_EQ(text, u"启动值为空！"_s);
  EXPECT_EQ(bodyAfter, u"打的字"_s);

  // With an initial text, 恢复 puts it back.
  modals.next([&](QWidget* dialog) {
    body(dialog)->setPlainText(u"打的字"_s);
    button(dialog, u"按钮恢复"_s)->click();
    bodyAfter = body(dialog)->toPlainText();
    button(dialog, u"按钮确定"_s)->click();
  });
  EXPECT_TRUE(ShowInputDialog(u"初始\r\n两行"_s, std::nullopt, {}, nullptr, &result));
  EXPECT_EQ(bodyAfter, u"初始\n两行"_s);
  EXPECT_EQ(result, u"初始\r\n两行"_s);
}

}  // namespace
}  // namespace chengling
