#include "tools/split_merge/split_merge_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/native_text.h"
#include "platform/qt_text.h"
#include "shell/control_tag.h"
#include "shell/settings_store.h"
#include "support/test_support.h"
#include "support/window_test_kit.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

using testing::Modals;
using testing::OpenedPaths;
using testing::TempDir;
using testing::kRunTimeoutMs;
using testing::native;
using testing::clickIndicator;
using testing::dropPaths;
using testing::pickInFileDialog;
using testing::exists;
using testing::listNames;
using testing::readBytes;
using testing::waitUntilIdle;
using testing::writeBytes;



class SplitMergeWindow : public testing::ToolWindowTest<SplitMergeTool> {
 protected:
  // Drops `paths` (native) on the area's group box. Returns whether the drop was taken.
  bool drop(const QString& area, const std::vector<std::string>& paths) { return dropPaths(control(area), paths); }

  // Waits until a question has been asked and the run it started (if any) has ended with all it
  // shows at its end.
  void waitForRunAfterQuestion(Modals& modals, int questions = 1) {
    ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return modals.texts.size() >= questions; }));
  }

  void setText(const QString& name, const QString& text) { control<QLineEdit>(name)->setText(text); }

};

const QString kSplitIdle = u"开始分割（选择文件）.."_s;
const QString kMergeIdle = u"开始合并（选择文件夹）..     "_s;

TEST_F(SplitMergeWindow, ControlsStartWithTheirCaptionsAndInitialStates) {
  struct Case {
    QString name;
    QString text;
  };
  const Case kTexts[] = {
      {u"单选框按份数"_s, u"按份数"_s},       {u"编辑框份数"_s, u"100"_s},
      {u"单选框按字节"_s, u"按字节"_s},       {u"编辑框字节"_s, u"3.12"_s},
      {u"单选框按字符数"_s, u"按字符数"_s},   {u"编辑框字数1"_s, u"200"_s},
      {u"标签2"_s, u"-"_s},                   {u"编辑框字数2"_s, u"500"_s},
      {u"单选框按行数"_s, u"按行数"_s},       {u"编辑框行数1"_s, u"5"_s},
      {u"标签1"_s, u"-"_s},                   {u"编辑框行数2"_s, u"10"_s},
      {u"选择框忽略空行"_s, u"忽略空行"_s},   {u"单选框按字符串"_s, u"按字符串"_s},
      {u"按钮输入字符串"_s, u"输入字符串"_s}, {u"选择框识别编码"_s, u"识别编码(效率较低)"_s},
      {u"选择框矫正换行"_s, u"矫正换行(不支持大文件)"_s},
      {u"选择框子目录保存"_s, u"分割到子目录"_s},
      {u"选择框分割后删除文件"_s, u"分割后删除"_s},
      {u"选择框随机改名"_s, u"随机改名"_s},   {u"编辑框文件类型"_s, u"*.*"_s},
      {u"按钮开始分割"_s, kSplitIdle},
      {u"选择框合并中间"_s, u"合并时使用中间数据连接"_s},
      {u"单选框使用字符串"_s, u"使用字符串"_s}, {u"编辑框字符串"_s, u"我是中间字符串"_s},
      {u"单选框使用文件"_s, u"使用文件"_s},   {u"编辑框文件路径"_s, u"/home/用户/1.txt"_s},
      {u"按钮选择文件"_s, u".."_s},           {u"选择框处理文本编码"_s, u"处理编码"_s},
      {u"选择框父目录保存"_s, u"合并到父目录"_s},
      {u"选择框合并后删除文件"_s, u"合并后删除"_s},
      {u"选择框遍历子目录"_s, u"遍历子级"_s}, {u"编辑框文件类型1"_s, u"*.*"_s},
      {u"按钮开始合并"_s, kMergeIdle},
  };
  for (const Case& c : kTexts) {
    QWidget* widget = control(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(testing::shownText(widget), c.text) << c.name.toStdString();
  }
  EXPECT_EQ(control<QGroupBox>(u"分组框分割"_s)->title(), u"分割操作区"_s);
  EXPECT_EQ(control<QGroupBox>(u"分组框合并"_s)->title(), u"合并操作区"_s);

  const QStringList kChecked = {u"单选框按份数"_s, u"单选框使用字符串"_s, u"选择框子目录保存"_s, u"选择框父目录保存"_s};
  for (QAbstractButton* button : tool_->findChildren<QAbstractButton*>()) {
    if (qobject_cast<QPushButton*>(button)) continue;
    EXPECT_EQ(button->isChecked(), kChecked.contains(button->objectName())) << button->objectName().toStdString();
  }
  auto* unit = control<QComboBox>(u"组合框字节单位"_s);
  EXPECT_EQ(unit->count(), 4);
  EXPECT_EQ(unit->currentText(), u"KB"_s);

  // The status label lies on the progress bar.
  auto* bar = control<QProgressBar>(u"进度条"_s);
  auto* status = control<QLabel>(u"透明标签"_s);
  EXPECT_EQ(status->parentWidget(), bar);
  EXPECT_EQ(status->geometry(), QRect(10, 0, bar->width() - 10, bar->height()));
  EXPECT_TRUE(control<QLabel>(u"标签3"_s)->isHidden());
}

TEST_F(SplitMergeWindow, EnablingRulesFollowTheModeAndTheJoinOptions) {
  const QStringList kModeControls = {u"编辑框份数"_s,   u"编辑框字节"_s,   u"组合框字节单位"_s, u"编辑框字数1"_s,
                                     u"编辑框字数2"_s,  u"编辑框行数1"_s,  u"编辑框行数2"_s,    u"选择框忽略空行"_s,
                                     u"按钮输入字符串"_s};
  struct Case {
    QString mode;
    QStringList enabled;
  };
  const Case kCases[] = {
      {u"单选框按字节"_s, {u"编辑框字节"_s, u"组合框字节单位"_s}},
      {u"单选框按字符数"_s, {u"编辑框字数1"_s, u"编辑框字数2"_s}},
      {u"单选框按行数"_s, {u"编辑框行数1"_s, u"编辑框行数2"_s, u"选择框忽略空行"_s}},
      {u"单选框按字符串"_s, {u"按钮输入字符串"_s}},
      {u"单选框按份数"_s, {u"编辑框份数"_s}},
  };
  auto* detect = control<QCheckBox>(u"选择框识别编码"_s);
  auto* fix = control<QCheckBox>(u"选择框矫正换行"_s);
  for (const Case& c : kCases) {
    clickIndicator(control(c.mode));
    for (const QString& name : kModeControls) {
      EXPECT_EQ(control(name)->isEnabled(), c.enabled.contains(name)) << c.mode.toStdString() << " " << name.toStdString();
    }
    const bool lines = c.mode == u"单选框按行数"_s;
    EXPECT_EQ(detect->isHidden(), !lines) << c.mode.toStdString();
    EXPECT_EQ(fix->isHidden(), !lines) << c.mode.toStdString();
    if (lines) {
      EXPECT_FALSE(fix->isEnabled());
      clickIndicator(detect);
      EXPECT_TRUE(detect->isChecked());
      EXPECT_TRUE(fix->isEnabled());
      clickIndicator(detect);
      EXPECT_FALSE(fix->isEnabled());
    }
  }

  auto* join = control<QCheckBox>(u"选择框合并中间"_s);
  auto* byText = control<QRadioButton>(u"单选框使用字符串"_s);
  auto* byFile = control<QRadioButton>(u"单选框使用文件"_s);
  auto* text = control(u"编辑框字符串"_s);
  auto* file = control(u"编辑框文件路径"_s);
  auto* pick = control(u"按钮选择文件"_s);
  auto expectMerge = [&](bool radios, bool textOn, bool fileOn, const char* when) {
    EXPECT_EQ(byText->isEnabled(), radios) << when;
    EXPECT_EQ(byFile->isEnabled(), radios) << when;
    EXPECT_EQ(text->isEnabled(), textOn) << when;
    EXPECT_EQ(file->isEnabled(), fileOn) << when;
    EXPECT_EQ(pick->isEnabled(), fileOn) << when;
  };
  expectMerge(false, false, false, "join off");
  clickIndicator(join);
  expectMerge(true, true, false, "join on, text");
  clickIndicator(byFile);
  expectMerge(true, false, true, "join on, file");
  clickIndicator(join);
  expectMerge(false, false, false, "join off again, file still checked");
}

TEST_F(SplitMergeWindow, DroppingOneFolderOnTheSplitAreaAsksThenSplitsAndOffersTheFolder) {
  const std::string folder = dir_ / "分卷";
  writeBytes(folder + "/a.txt", "0123456789");
  writeBytes(folder + "/b.txt", "abcdef");
  setText(u"编辑框份数"_s, u"2"_s);
  Modals modals;
  modals.answerBox = [](const QString& text) {
    return text.startsWith(u"分割完毕"_s) ? QMessageBox::Yes : QMessageBox::Ok;
  };
  OpenedPaths opened;

  ASSERT_TRUE(drop(u"分组框分割"_s, {folder}));
  EXPECT_TRUE(modals.texts.isEmpty()) << "the question waits until the drop has completed";
  waitForRunAfterQuestion(modals, 2);

  EXPECT_EQ(modals.texts, (QStringList{u"确定分割被拖放目录下的所有文件吗？"_s,
                                       u"分割完毕！是否打开保存目录："_s + native(folder)}));
  EXPECT_EQ(opened.paths, QStringList{native(folder)});
  EXPECT_EQ(readBytes(folder + "/a/a_1.txt"), "01234");
  EXPECT_EQ(readBytes(folder + "/a/a_2.txt"), "56789");
  EXPECT_EQ(readBytes(folder + "/b/b_2.txt"), "def");
  EXPECT_EQ(controlTag(control(u"按钮开始分割"_s)), native(folder));
  EXPECT_EQ(control<QPushButton>(u"按钮开始分割"_s)->text(), kSplitIdle);
  EXPECT_EQ(control<QLabel>(u"透明标签"_s)->text(), u"[2] (2/2)b.txt"_s);
}

TEST_F(SplitMergeWindow, DroppingTwoFoldersOnTheSplitAreaAsksAboutTheirNumber) {
  writeBytes(dir_ / "one/a.txt", "aaaa");
  writeBytes(dir_ / "two/b.txt", "bbbb");
  Modals modals;
  modals.answerBox = [](const QString&) { return QMessageBox::Cancel; };

  ASSERT_TRUE(drop(u"分组框分割"_s, {dir_ / "one", dir_ / "two"}));
  waitForRunAfterQuestion(modals);

  EXPECT_EQ(modals.texts, QStringList{u"确定分割被拖放的 2 个文件吗？"_s});
  EXPECT_EQ(listNames(dir_ / "one"), std::vector<std::string>{"a.txt"}) << "cancel splits nothing";
  EXPECT_EQ(control<QPushButton>(u"按钮开始分割"_s)->text(), kSplitIdle);
}

TEST_F(SplitMergeWindow, DroppedFilesAreMergedFirstWithoutAQuestionThenTheFolderAsks) {
  const std::string in = dir_ / "in";
  writeBytes(in + "/a.txt", "A");
  writeBytes(in + "/b.txt", "B");
  writeBytes(in + "/c.txt", "C");
  writeBytes(in + "/sub/x.txt", "X");
  writeBytes(in + "/sub/y.txt", "Y");
  Modals modals;

  ASSERT_TRUE(drop(u"分组框合并"_s, {in + "/a.txt", in + "/sub", in + "/b.txt", in + "/c.txt"}));
  EXPECT_TRUE(modals.texts.isEmpty());
  waitForRunAfterQuestion(modals, 2);

  // The files go to the parent of their folder, the folder's merge to the folder's parent.
  EXPECT_EQ(modals.texts, (QStringList{u"确定合并被拖放的 4 个吗？"_s, u"合并完毕！是否打开保存目录："_s + native(in)}));
  EXPECT_EQ(readBytes(dir_ / "a等3个文件.txt"), "ABC");
  EXPECT_EQ(readBytes(in + "/x等2个文件.txt"), "XY");
  EXPECT_EQ(control<QPushButton>(u"按钮开始合并"_s)->text(), kMergeIdle);
  EXPECT_FALSE(control(u"编辑框文件类型1"_s)->isHidden());
}

TEST_F(SplitMergeWindow, StopClickEndsTheSplitAfterTheCurrentPieceAndSaysSo) {
  // A file cut into one-byte pieces: a run far longer than the test needs.
  writeBytes(dir_ / "big.txt", std::string(200000, 'x'));
  writeBytes(dir_ / "other.txt", "other");
  setText(u"编辑框份数"_s, u"200000"_s);
  Modals modals;
  auto* button = control<QPushButton>(u"按钮开始分割"_s);
  auto* status = control<QLabel>(u"透明标签"_s);
  auto* mergeButton = control<QPushButton>(u"按钮开始合并"_s);

  ASSERT_TRUE(drop(u"分组框分割"_s, {dir_ / "big.txt"}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return status->text().startsWith(u'['); }, kRunTimeoutMs));
  EXPECT_EQ(button->text(), u"正在分割，点击停止"_s);

  // The window keeps handling events: the status moves on, and the other area refuses to start.
  const QString seen = status->text();
  ASSERT_TRUE(QTest::qWaitFor([&] { return status->text() != seen; }, kRunTimeoutMs));
  EXPECT_TRUE(tool_->running());
  EXPECT_FALSE(mergeButton->isEnabled());
  EXPECT_FALSE(drop(u"分组框合并"_s, {dir_ / "other.txt"}));
  EXPECT_FALSE(drop(u"分组框分割"_s, {dir_ / "other.txt"}));

  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(button->text(), u"正在停止中"_s);
  waitForRunAfterQuestion(modals, 2);

  // The end says that the run stopped and what it did, and still offers the folder it wrote in.
  std::vector<std::string> names = listNames(dir_ / "big");
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(modals.texts, (QStringList{u"确定分割被拖放的 1 个文件吗？"_s,
                                       u"已停止。写出 %1 个分割文件。是否打开保存目录："_s.arg(names.size()) +
                                           native(dir_.path())}));
  EXPECT_EQ(button->text(), kSplitIdle);
  EXPECT_TRUE(mergeButton->isEnabled());
  // Only whole pieces, numbered without gaps: the run ended after the piece it was writing.
  EXPECT_LT(names.size(), 199999u);
  std::vector<std::string> expected;
  for (size_t k = 1; k <= names.size(); ++k) expected.push_back("big_" + std::to_string(k) + ".txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(exists(dir_ / "big.txt"));
}

TEST_F(SplitMergeWindow, ClosingTheWindowDuringARunStopsItAndKeepsTheOptions) {
  writeBytes(dir_ / "big.txt", std::string(200000, 'x'));
  setText(u"编辑框份数"_s, u"200000"_s);
  Modals modals;
  auto* status = control<QLabel>(u"透明标签"_s);
  ASSERT_TRUE(drop(u"分组框分割"_s, {dir_ / "big.txt"}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return status->text().startsWith(u'['); }, kRunTimeoutMs));

  tool_->close();
  tool_.reset();  // waits for the worker, which ends after its current piece
  const size_t written = listNames(dir_ / "big").size();
  // A worker still at work would write its next piece within milliseconds.
  EXPECT_FALSE(QTest::qWaitFor([&] { return listNames(dir_ / "big").size() != written; }, 50));
  EXPECT_LT(written, 199999u);
  EXPECT_EQ(modals.texts, QStringList{u"确定分割被拖放的 1 个文件吗？"_s}) << "no question from a window that is gone";
  EXPECT_TRUE(toQString(store_.text()).contains(u"编辑框份数=200000"_s));
}

TEST_F(SplitMergeWindow, ItemsThatFailAreListedBeforeTheCompletionQuestion) {
  writeBytes(dir_ / "ok.txt", "abcd");
  writeBytes(dir_ / "folder/inside.txt", "x");
  setText(u"编辑框份数"_s, u"2"_s);
  Modals modals;
  QString details;
  modals.other = [&](QWidget* dialog) {
    details = dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->toPlainText();
    dialog->findChild<QPushButton*>(u"按钮取消"_s)->click();
  };

  ASSERT_TRUE(drop(u"分组框分割"_s, {dir_ / "ok.txt", dir_ / "folder"}));
  waitForRunAfterQuestion(modals, 2);

  EXPECT_EQ(modals.otherTitles, QStringList{u"信息："_s});
  EXPECT_TRUE(details.contains(native(dir_ / "folder"))) << details.toStdString();
  EXPECT_EQ(modals.texts, (QStringList{u"确定分割被拖放的 2 个文件吗？"_s,
                                       u"分割完毕：写出 2 个分割文件，失败 1 个。是否打开保存目录："_s +
                                           native(dir_.path())}));
  EXPECT_EQ(readBytes(dir_ / "ok/ok_2.txt"), "cd");
}

TEST_F(SplitMergeWindow, FilesThatAreNoTextAreNeitherSplitNorMergedWhenDecoding) {
  const std::string png = testing::pngLikeBytes(20000, 1);
  const std::string program = testing::binaryWithoutNul(5000, 2);
  writeBytes(dir_ / "s/a.txt", testing::gb(u8"第一行\r\n第二行\r\n第三行\r\n"));
  writeBytes(dir_ / "s/picture.png", png);
  writeBytes(dir_ / "s/program.bin", program);
  control<QRadioButton>(u"单选框按行数"_s)->click();
  control<QCheckBox>(u"选择框识别编码"_s)->click();
  control<QCheckBox>(u"选择框矫正换行"_s)->click();
  control<QCheckBox>(u"选择框分割后删除文件"_s)->click();
  setText(u"编辑框行数1"_s, u"1"_s);
  setText(u"编辑框行数2"_s, u"1"_s);
  Modals modals;
  QString details;
  modals.other = [&](QWidget* dialog) {
    details = dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->toPlainText();
    dialog->findChild<QPushButton*>(u"按钮取消"_s)->click();
  };

  ASSERT_TRUE(drop(u"分组框分割"_s, {dir_ / "s"}));
  waitForRunAfterQuestion(modals, 2);
  EXPECT_EQ(modals.texts.last(), u"分割完毕：写出 3 个分割文件，失败 2 个。是否打开保存目录："_s + native(dir_ / "s"));
  EXPECT_EQ(listNames(dir_ / "s"), (std::vector<std::string>{"a", "picture.png", "program.bin"}));
  EXPECT_EQ(readBytes(dir_ / "s/picture.png"), png);
  EXPECT_EQ(readBytes(dir_ / "s/program.bin"), program);
  EXPECT_EQ(details.count(u"不是文本文件，未分割"_s), 2) << details.toStdString();
  EXPECT_TRUE(details.contains(native(dir_ / "s/picture.png"))) << details.toStdString();

  // Merged with decoding, they stay out and stay where they are.
  writeBytes(dir_ / "m/1.txt", testing::gb(u8"中文一"));
  writeBytes(dir_ / "m/2.png", png);
  writeBytes(dir_ / "m/3.txt", testing::gb(u8"中文三"));
  control<QCheckBox>(u"选择框处理文本编码"_s)->click();
  control<QCheckBox>(u"选择框合并后删除文件"_s)->click();
  control<QCheckBox>(u"选择框父目录保存"_s)->setChecked(false);
  details.clear();
  ASSERT_TRUE(drop(u"分组框合并"_s, {dir_ / "m/1.txt", dir_ / "m/2.png", dir_ / "m/3.txt"}));
  waitForRunAfterQuestion(modals, 4);
  EXPECT_EQ(modals.texts.last(), u"合并完毕：写出 1 个合并文件，失败 1 个。是否打开保存目录："_s + native(dir_ / "m"));
  EXPECT_EQ(readBytes(dir_ / "m/1等3个文件.txt"), testing::gb(u8"中文一中文三"));
  EXPECT_EQ(readBytes(dir_ / "m/2.png"), png);
  EXPECT_FALSE(exists(dir_ / "m/1.txt"));
  EXPECT_TRUE(details.contains(u"不是文本文件，未合并"_s)) << details.toStdString();
}

TEST_F(SplitMergeWindow, ARunThatWroteNothingOffersNoFolder) {
  // Every source fails: no question about a folder, a message that says how many failed.
  writeBytes(dir_ / "x/picture.png", testing::pngLikeBytes(2000, 3));
  control<QRadioButton>(u"单选框按字符数"_s)->click();
  Modals modals;
  modals.other = [](QWidget* dialog) { dialog->findChild<QPushButton*>(u"按钮取消"_s)->click(); };
  // Every box must take OK: a Yes/No question at the end would fail here.
  modals.answerBox = [](const QString&) { return QMessageBox::Ok; };
  ASSERT_TRUE(drop(u"分组框分割"_s, {dir_ / "x/picture.png"}));
  waitForRunAfterQuestion(modals, 2);
  EXPECT_EQ(modals.texts.last(), u"分割完毕：写出 0 个分割文件，失败 1 个"_s);
  EXPECT_EQ(listNames(dir_ / "x"), std::vector<std::string>{"picture.png"});

  // Nor does a merge that wrote nothing.
  writeBytes(dir_ / "y/picture.png", testing::pngLikeBytes(2000, 4));
  control<QCheckBox>(u"选择框处理文本编码"_s)->click();
  ASSERT_TRUE(drop(u"分组框合并"_s, {dir_ / "y/picture.png"}));
  waitForRunAfterQuestion(modals, 4);
  EXPECT_EQ(modals.texts.last(), u"合并完毕：写出 0 个合并文件，失败 1 个"_s);
  EXPECT_EQ(listNames(dir_ / "y"), std::vector<std::string>{"picture.png"});
  EXPECT_EQ(listNames(dir_.path()), (std::vector<std::string>{"x", "y"}));
}

TEST_F(SplitMergeWindow, ChoosingAFolderWithTheMergeButtonMergesItAndAsksNothing) {
  const std::string folder = dir_ / "parts";
  writeBytes(folder + "/p1.txt", "1");
  writeBytes(folder + "/p2.txt", "2");
  writeBytes(dir_ / "last/x.txt", "x");
  setControlTag(control(u"按钮开始分割"_s), native(dir_ / "last"));
  Modals modals;
  QString preselected;
  modals.other = [&](QWidget* modal) {
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) preselected = dialog->directory().absolutePath();
    pickInFileDialog({native(folder)})(modal);
  };

  QTest::mouseClick(control(u"按钮开始合并"_s), Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_));

  EXPECT_EQ(modals.otherTitles,
            QStringList{u"选择一个文件夹，将读入文件夹下的所有 *.* 文件进行合并。你也可以直接拖放要合并的文件或文件夹到软件"_s});
  EXPECT_EQ(preselected, native(dir_ / "last"));
  EXPECT_TRUE(modals.texts.isEmpty());
  EXPECT_EQ(readBytes(dir_ / "p1等2个文件.txt"), "12");
  EXPECT_EQ(controlTag(control(u"按钮开始合并"_s)), native(folder));

  // A cancelled folder dialog starts nothing.
  modals.other = pickInFileDialog({});
  QTest::mouseClick(control(u"按钮开始合并"_s), Qt::LeftButton);
  EXPECT_FALSE(tool_->running());
  EXPECT_EQ(control<QPushButton>(u"按钮开始合并"_s)->text(), kMergeIdle);
  EXPECT_TRUE(modals.texts.isEmpty());
}

TEST_F(SplitMergeWindow, TheMergeFolderDialogNamesThePatternsTyped) {
  setText(u"编辑框文件类型1"_s, u"*.txt|*.log"_s);
  Modals modals;
  modals.other = pickInFileDialog({});
  QTest::mouseClick(control(u"按钮开始合并"_s), Qt::LeftButton);
  EXPECT_EQ(modals.otherTitles,
            QStringList{u"选择一个文件夹，将读入文件夹下的所有 *.txt|*.log 文件进行合并。你也可以直接拖放要合并的文件或文件夹到软件"_s});
  EXPECT_FALSE(tool_->running());
}

TEST_F(SplitMergeWindow, SplitButtonSplitsTheChosenFilesAndOffersTheirFolder) {
  writeBytes(dir_ / "m/one.txt", "1111");
  writeBytes(dir_ / "m/two.txt", "2222");
  setText(u"编辑框份数"_s, u"2"_s);
  control<QCheckBox>(u"选择框子目录保存"_s)->setChecked(false);
  Modals modals;
  modals.other = pickInFileDialog({native(dir_ / "m/one.txt"), native(dir_ / "m/two.txt")});

  QTest::mouseClick(control(u"按钮开始分割"_s), Qt::LeftButton);
  waitForRunAfterQuestion(modals);

  EXPECT_EQ(modals.otherTitles, QStringList{u"选择多个文件进行分割："_s});
  EXPECT_EQ(modals.texts, QStringList{u"分割完毕！是否打开保存目录："_s + native(dir_ / "m")});
  EXPECT_EQ(listNames(dir_ / "m"),
            (std::vector<std::string>{"one.txt", "one_1.txt", "one_2.txt", "two.txt", "two_1.txt", "two_2.txt"}));
}

TEST_F(SplitMergeWindow, CtrlHeldWhenAFolderSplitStartsUsesTheAlternativeMatcher) {
  const std::string folder = dir_ / "mixed";
  writeBytes(folder + "/a.txt", "aa");
  writeBytes(folder + "/b.md", "bb");
  setText(u"编辑框文件类型"_s, u"*.txt|*.md"_s);
  setText(u"编辑框份数"_s, u"1"_s);
  control<QCheckBox>(u"选择框子目录保存"_s)->setChecked(false);

  {
    // With Ctrl the whole list is one pattern that names no file: nothing to split, nothing asked.
    Modals modals;
    QTest::keyPress(tool_->windowHandle(), Qt::Key_Control, Qt::ControlModifier);
    ASSERT_TRUE(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier));
    ASSERT_TRUE(drop(u"分组框分割"_s, {folder}));
    waitForRunAfterQuestion(modals);
    QTest::keyRelease(tool_->windowHandle(), Qt::Key_Control, Qt::NoModifier);
    EXPECT_EQ(modals.texts, QStringList{u"确定分割被拖放目录下的所有文件吗？"_s});
    EXPECT_EQ(listNames(folder), (std::vector<std::string>{"a.txt", "b.md"}));
  }
  {
    Modals modals;
    ASSERT_FALSE(QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier));
    ASSERT_TRUE(drop(u"分组框分割"_s, {folder}));
    waitForRunAfterQuestion(modals, 2);
    EXPECT_EQ(listNames(folder), (std::vector<std::string>{"a.txt", "a_1.txt", "b.md", "b_1.md"}));
  }
}

TEST_F(SplitMergeWindow, InvalidSettingsShowTheMessageAndFocusTheirEditBox) {
  writeBytes(dir_ / "s.txt", "some text\r\nmore text\r\n");
  struct Case {
    QString mode;
    QString edit;
    QString value;
    QString message;
  };
  const Case kCases[] = {
      {u"单选框按份数"_s, u"编辑框份数"_s, u"0"_s, u"份数必须大于0"_s},
      {u"单选框按份数"_s, u"编辑框份数"_s, u"-5"_s, u"份数必须大于0"_s},
      {u"单选框按字节"_s, u"编辑框字节"_s, u"-2"_s, u"字节长度不能等于0"_s},
      {u"单选框按字节"_s, u"编辑框字节"_s, u"0.00000001"_s, u"字节长度不能等于0"_s},
      {u"单选框按行数"_s, u"编辑框行数1"_s, u"0"_s, u"行数至少 1"_s},
      {u"单选框按字符数"_s, u"编辑框字数1"_s, u"-3"_s, u"字数至少 1 个"_s},
      // A box is read whole: junk after a number, a fraction of a count or a number out of range
      // is named instead of being cut to what it starts with.
      {u"单选框按份数"_s, u"编辑框份数"_s, u"3abc"_s, u"份数应是 1 到 2147483647 之间的整数"_s},
      {u"单选框按字节"_s, u"编辑框字节"_s, u"1e3"_s, u"大小应是一个数，可带小数，如 3.12"_s},
      {u"单选框按行数"_s, u"编辑框行数1"_s, u"5.5"_s, u"行数应是 1 到 2147483647 之间的整数"_s},
      {u"单选框按字符数"_s, u"编辑框字数1"_s, u"99999999999"_s, u"字数应是 1 到 2147483647 之间的整数"_s},
  };
  for (const Case& c : kCases) {
    control<QRadioButton>(c.mode)->click();
    const QString before = control<QLineEdit>(c.edit)->text();
    setText(c.edit, c.value);
    control(u"编辑框文件类型"_s)->setFocus();
    Modals modals;
    ASSERT_TRUE(drop(u"分组框分割"_s, {dir_ / "s.txt"}));
    waitForRunAfterQuestion(modals, 2);
    EXPECT_EQ(modals.texts, (QStringList{u"确定分割被拖放的 1 个文件吗？"_s, c.message})) << c.mode.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return tool_->focusWidget() == control(c.edit); })) << c.mode.toStdString();
    setText(c.edit, before);
  }
  // Nothing was written, and no folder was made for it.
  EXPECT_FALSE(exists(dir_ / "s"));
}

// The program's own pieces come back whole when the merge takes them in number order.
TEST_F(SplitMergeWindow, SplitThenMergeByNumberOrderGivesTheFileBack) {
  std::string novel;
  for (int i = 0; i < 400; ++i) novel += "line " + std::to_string(i) + "\r\n";
  writeBytes(dir_ / "book.txt", novel);
  setText(u"编辑框份数"_s, u"12"_s);
  Modals modals;
  ASSERT_TRUE(drop(u"分组框分割"_s, {dir_ / "book.txt"}));
  waitForRunAfterQuestion(modals, 2);
  ASSERT_EQ(listNames(dir_ / "book").size(), 12u);

  clickIndicator(control(u"选择框数字顺序"_s));
  ASSERT_TRUE(control<QCheckBox>(u"选择框数字顺序"_s)->isChecked());
  control<QCheckBox>(u"选择框父目录保存"_s)->setChecked(false);
  modals.other = pickInFileDialog({native(dir_ / "book")});
  QTest::mouseClick(control(u"按钮开始合并"_s), Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return !modals.otherTitles.isEmpty(); }));
  EXPECT_EQ(readBytes(dir_ / "book/book_1等12个文件.txt"), novel);
}

TEST_F(SplitMergeWindow, AnEmptySeparatorIsAskedForAndTheButtonEditsIt) {
  writeBytes(dir_ / "t.txt", "###a###b###");
  control<QRadioButton>(u"单选框按字符串"_s)->click();
  auto* separator = control<QPushButton>(u"按钮输入字符串"_s);
  const QString caption = u"请输入用于分割的字符串，这些字符串必然多次出现在目标文件中，这样才能以此为分割点"_s;
  Modals modals;
  QString initial;
  QString prompt;
  modals.other = [&](QWidget* dialog) {
    prompt = dialog->findChild<QTextEdit*>(u"编辑框提示"_s)->toPlainText();
    initial = dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->toPlainText();
    dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->setPlainText(u"###"_s);
    dialog->findChild<QPushButton*>(u"按钮确定"_s)->click();
  };

  ASSERT_TRUE(drop(u"分组框分割"_s, {dir_ / "t.txt"}));
  waitForRunAfterQuestion(modals, 2);
  EXPECT_EQ(modals.texts, (QStringList{u"确定分割被拖放的 1 个文件吗？"_s, u"请输入用于分割的字符串！"_s}));
  EXPECT_EQ(modals.otherTitles, QStringList{caption});
  EXPECT_EQ(prompt, caption) << "the caption alone is cut by the title bar";
  EXPECT_EQ(initial, QString());
  EXPECT_EQ(controlTag(separator), u"###"_s);

  // Now the split runs: an empty first part, then a, then b.
  ASSERT_TRUE(drop(u"分组框分割"_s, {dir_ / "t.txt"}));
  waitForRunAfterQuestion(modals, 4);
  EXPECT_EQ(modals.texts.last(), u"分割完毕！是否打开保存目录："_s + native(dir_.path()));
  EXPECT_EQ(readBytes(dir_ / "t/t_1.txt"), "");
  EXPECT_EQ(readBytes(dir_ / "t/t_2.txt"), "a");
  EXPECT_EQ(readBytes(dir_ / "t/t_3.txt"), "b");
  EXPECT_FALSE(exists(dir_ / "t/t_4.txt"));

  // The button opens the same input with the present separator; cancelling keeps it.
  modals.other = [&](QWidget* dialog) {
    initial = dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->toPlainText();
    dialog->findChild<QPushButton*>(u"按钮取消"_s)->click();
  };
  QTest::mouseClick(separator, Qt::LeftButton);
  EXPECT_EQ(initial, u"###"_s);
  EXPECT_EQ(controlTag(separator), u"###"_s);
}

TEST_F(SplitMergeWindow, TheIntermediateFileIsChosenInAFileDialog) {
  writeBytes(dir_ / "join.bin", "--");
  Modals modals;
  control<QCheckBox>(u"选择框合并中间"_s)->click();
  control<QRadioButton>(u"单选框使用文件"_s)->click();
  auto* path = control<QLineEdit>(u"编辑框文件路径"_s);

  modals.other = pickInFileDialog({});
  QTest::mouseClick(control(u"按钮选择文件"_s), Qt::LeftButton);
  EXPECT_EQ(path->text(), u"/home/用户/1.txt"_s) << "a cancelled dialog changes nothing";

  modals.other = pickInFileDialog({native(dir_ / "join.bin")});
  QTest::mouseClick(control(u"按钮选择文件"_s), Qt::LeftButton);
  EXPECT_EQ(path->text(), native(dir_ / "join.bin"));
  EXPECT_EQ(modals.otherTitles, (QStringList{u"选择一个文件作为合并中间数据"_s, u"选择一个文件作为合并中间数据"_s}));

  // The chosen file joins a merge.
  writeBytes(dir_ / "j/1.txt", "1");
  writeBytes(dir_ / "j/2.txt", "2");
  control<QCheckBox>(u"选择框父目录保存"_s)->setChecked(false);
  ASSERT_TRUE(drop(u"分组框合并"_s, {dir_ / "j/1.txt", dir_ / "j/2.txt"}));
  waitForRunAfterQuestion(modals, 2);
  EXPECT_EQ(readBytes(dir_ / "j/1等2个文件.txt"), "1--2");
  EXPECT_EQ(modals.texts.last(), u"合并完毕！是否打开保存目录："_s + native(dir_ / "j"));
}

TEST_F(SplitMergeWindow, AnIntermediateFileThatCannotBeReadIsListedUnderANoticeOfItsOwn) {
  writeBytes(dir_ / "j/1.txt", "1");
  writeBytes(dir_ / "j/2.txt", "2");
  control<QCheckBox>(u"选择框合并中间"_s)->click();
  control<QRadioButton>(u"单选框使用文件"_s)->click();
  setText(u"编辑框文件路径"_s, native(dir_ / "missing.bin"));
  control<QCheckBox>(u"选择框父目录保存"_s)->setChecked(false);
  Modals modals;
  QString prompt;
  QString details;
  modals.other = [&](QWidget* dialog) {
    prompt = dialog->findChild<QTextEdit*>(u"编辑框提示"_s)->toPlainText();
    details = dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->toPlainText();
    dialog->findChild<QPushButton*>(u"按钮取消"_s)->click();
  };

  ASSERT_TRUE(drop(u"分组框合并"_s, {dir_ / "j/1.txt", dir_ / "j/2.txt"}));
  waitForRunAfterQuestion(modals, 2);
  EXPECT_EQ(readBytes(dir_ / "j/1等2个文件.txt"), "12");
  EXPECT_EQ(prompt, u"以下各项需要留意："_s);
  EXPECT_TRUE(details.startsWith(native(dir_ / "missing.bin") + u"：无法读取中间数据文件，按空内容合并："_s))
      << details.toStdString();
}

TEST_F(SplitMergeWindow, TheWholeLinesBoxMovesCountAndSizeCutsToLineEndsAndIsKept) {
  auto* whole = control<QCheckBox>(u"选择框不截断行"_s);
  EXPECT_EQ(whole->text(), u"不截断行"_s);
  EXPECT_FALSE(whole->accessibleName().isEmpty());
  EXPECT_FALSE(whole->isChecked());
  // It serves the count and the size modes only.
  struct Mode {
    QString name;
    bool enabled;
  };
  const Mode kModes[] = {{u"单选框按字符数"_s, false}, {u"单选框按行数"_s, false}, {u"单选框按字符串"_s, false},
                         {u"单选框按字节"_s, true},    {u"单选框按份数"_s, true}};
  for (const Mode& m : kModes) {
    clickIndicator(control(m.name));
    EXPECT_EQ(whole->isEnabled(), m.enabled) << m.name.toStdString();
    // With the box, the page still fits the smallest main window (800 x 560, the page 126 pixels
    // below its top), also with the line mode's own options shown.
    EXPECT_LE(tool_->minimumSizeHint().width(), 800) << m.name.toStdString();
    EXPECT_LE(tool_->minimumSizeHint().height(), 560 - 126) << m.name.toStdString();
  }

  // 52 bytes in 4 pieces: each byte-exact cut falls inside a line, the first between CR and LF.
  const std::string poem = testing::gb(u8"床前明月光，\r\n疑是地上霜。\r\n举头望明月\r\n低头思故乡\r\n");
  writeBytes(dir_ / "poem.txt", poem);
  writeBytes(dir_ / "short.txt", "one\ntwo");
  setText(u"编辑框份数"_s, u"4"_s);
  clickIndicator(whole);
  ASSERT_TRUE(whole->isChecked());
  Modals modals;
  QString details;
  QString prompt;
  modals.other = [&](QWidget* dialog) {
    details = dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->toPlainText();
    prompt = dialog->findChild<QTextEdit*>(u"编辑框提示"_s)->toPlainText();
    dialog->findChild<QPushButton*>(u"按钮取消"_s)->click();
  };
  ASSERT_TRUE(drop(u"分组框分割"_s, {dir_ / "poem.txt", dir_ / "short.txt"}));
  waitForRunAfterQuestion(modals, 2);
  EXPECT_EQ(readBytes(dir_ / "poem/poem_1.txt"), testing::gb(u8"床前明月光，\r\n"));
  EXPECT_EQ(readBytes(dir_ / "poem/poem_2.txt"), testing::gb(u8"疑是地上霜。\r\n"));
  EXPECT_EQ(readBytes(dir_ / "poem/poem_3.txt"), testing::gb(u8"举头望明月\r\n"));
  EXPECT_EQ(readBytes(dir_ / "poem/poem_4.txt"), testing::gb(u8"低头思故乡\r\n"));
  // The file with fewer lines than pieces gets a piece per line, and the window says so before
  // the completion question.
  EXPECT_EQ(listNames(dir_ / "short"), (std::vector<std::string>{"short_1.txt", "short_2.txt"}));
  EXPECT_EQ(prompt, u"以下文件已分割，请留意："_s);
  EXPECT_TRUE(details.contains(native(dir_ / "short.txt") + u"：只有 2 行，不截断行时分成 2 份，而不是 4 份"_s))
      << details.toStdString();
  EXPECT_EQ(modals.texts, (QStringList{u"确定分割被拖放的 2 个文件吗？"_s,
                                       u"分割完毕！是否打开保存目录："_s + native(dir_.path())}));

  tool_->close();
  tool_.reset();
  store_.release();
  ASSERT_TRUE(store_.Bind(valuePath_));
  openWindow();
  EXPECT_TRUE(control<QCheckBox>(u"选择框不截断行"_s)->isChecked());
  EXPECT_TRUE(control(u"选择框不截断行"_s)->isEnabled());
}

TEST_F(SplitMergeWindow, OptionsSurviveClosingAndReopeningTheProgram) {
  control<QRadioButton>(u"单选框按行数"_s)->click();
  control<QCheckBox>(u"选择框识别编码"_s)->click();
  setText(u"编辑框行数1"_s, u"7"_s);
  setText(u"编辑框字节"_s, u"1.5"_s);
  control<QComboBox>(u"组合框字节单位"_s)->setCurrentIndex(3);
  control<QCheckBox>(u"选择框子目录保存"_s)->setChecked(false);
  control<QCheckBox>(u"选择框合并中间"_s)->click();
  control<QRadioButton>(u"单选框使用文件"_s)->click();
  setText(u"编辑框字符串"_s, u"——分隔——"_s);
  setText(u"编辑框文件类型1"_s, u"*.txt|*.log"_s);
  setControlTag(control(u"按钮输入字符串"_s), u"第一行\r\n第二行"_s);
  setControlTag(control(u"按钮开始分割"_s), native(dir_.path()));

  tool_->close();
  tool_.reset();
  store_.release();
  ASSERT_TRUE(store_.Bind(valuePath_));
  openWindow();

  EXPECT_TRUE(control<QRadioButton>(u"单选框按行数"_s)->isChecked());
  EXPECT_FALSE(control<QRadioButton>(u"单选框按份数"_s)->isChecked());
  EXPECT_TRUE(control<QCheckBox>(u"选择框识别编码"_s)->isChecked());
  EXPECT_EQ(control<QLineEdit>(u"编辑框行数1"_s)->text(), u"7"_s);
  EXPECT_EQ(control<QLineEdit>(u"编辑框字节"_s)->text(), u"1.5"_s);
  EXPECT_EQ(control<QComboBox>(u"组合框字节单位"_s)->currentIndex(), 3);
  EXPECT_FALSE(control<QCheckBox>(u"选择框子目录保存"_s)->isChecked());
  EXPECT_TRUE(control<QCheckBox>(u"选择框合并中间"_s)->isChecked());
  EXPECT_TRUE(control<QRadioButton>(u"单选框使用文件"_s)->isChecked());
  EXPECT_EQ(control<QLineEdit>(u"编辑框字符串"_s)->text(), u"——分隔——"_s);
  EXPECT_EQ(control<QLineEdit>(u"编辑框文件类型1"_s)->text(), u"*.txt|*.log"_s);
  EXPECT_EQ(controlTag(control(u"按钮输入字符串"_s)), u"第一行\r\n第二行"_s);
  EXPECT_EQ(controlTag(control(u"按钮开始分割"_s)), native(dir_.path()));
  // The enabling rules hold for the restored states.
  EXPECT_TRUE(control(u"编辑框行数1"_s)->isEnabled());
  EXPECT_FALSE(control(u"编辑框份数"_s)->isEnabled());
  EXPECT_FALSE(control(u"选择框识别编码"_s)->isHidden());
  EXPECT_TRUE(control(u"选择框矫正换行"_s)->isEnabled());
  EXPECT_TRUE(control(u"编辑框文件路径"_s)->isEnabled());
  EXPECT_FALSE(control(u"编辑框字符串"_s)->isEnabled());
  // Captions are not state: the buttons come back idle.
  EXPECT_EQ(control<QPushButton>(u"按钮开始分割"_s)->text(), kSplitIdle);
}

}  // namespace
}  // namespace chengling

