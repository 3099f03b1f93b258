#include "tools/classify/classify_window.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <exiv2/exiv2.hpp>

#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/program_directory.h"
#include "platform/qt_text.h"
#include "shell/control_tag.h"
#include "shell/settings_store.h"
#include "shell/tool_tip.h"
#include "support/test_support.h"
#include "support/window_test_kit.h"
#include "tools/classify/path_template.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

using testing::Modals;
using testing::OpenedPaths;
using testing::TempDir;
using testing::kRunTimeoutMs;
using testing::native;
using testing::clickIndicator;
using testing::clickWith;
using testing::dropPaths;
using testing::exists;
using testing::listNames;
using testing::pickInFileDialog;
using testing::readBytes;
using testing::waitUntilIdle;
using testing::writeBytes;

const QString kIdle = u"立即执行归类"_s;


// The program directory of this test process (CHENGLING_HOME), native.
std::string home() { return nativeFromInternal(programDirectory()); }

// The lines of a log: the names' own bytes, LF after each.
std::vector<std::string> logLines(const std::string& name) { return splitText(readBytes(home() + "/" + name), "\n"); }

// What a details or input dialog showed, and the answer it got.
struct ShownDialog {
  QString title;
  QString prompt;
  QString body;
};

class ClassifyWindow : public testing::ToolWindowTest<ClassifyTool> {
 protected:
  QPushButton* runButton() { return control<QPushButton>(u"按钮立即执行归类"_s); }
  void setText(const QString& name, const QString& text) { control<QLineEdit>(name)->setText(text); }

  // Answers every input or details dialog by recording it and clicking `button`.
  Modals::Action record(std::vector<ShownDialog>& shown, const QString& button = u"按钮取消"_s,
                        const QString& typed = QString()) {
    return [&shown, button, typed](QWidget* dialog) {
      auto* body = dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s);
      auto* prompt = dialog->findChild<QTextEdit*>(u"编辑框提示"_s);
      ASSERT_NE(body, nullptr) << dialog->windowTitle().toStdString();
      shown.push_back({dialog->windowTitle(), prompt->toPlainText(),
                       body->toPlainText()});
      if (!typed.isNull()) body->setPlainText(typed);
      dialog->findChild<QPushButton*>(button)->click();
    };
  }

  // Pops up the token menu with its button and clicks the item `text`.
  void pickToken(const QString& text) {
    auto* menu = control<QMenu>(u"元符"_s);
    QTest::mouseClick(control(u"按钮元符"_s), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
    QAction* chosen = nullptr;
    for (QAction* action : menu->actions()) {
      if (action->text() == text) chosen = action;
    }
    ASSERT_NE(chosen, nullptr) << text.toStdString();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }, 5000));
  }

  // Clicks the run button and waits until the run has ended and its dialogs have been answered.
  void runAndWait(Modals& modals, std::vector<ShownDialog>& shown, size_t dialogs,
                  Qt::MouseButton button = Qt::LeftButton) {
    modals.other = record(shown);
    clickWith(runButton(), button);
    ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return shown.size() >= dialogs; }));
  }

};

TEST_F(ClassifyWindow, ControlsStartWithTheirCaptionsAndInitialStates) {
  struct Case {
    QString name;
    QString text;
  };
  const Case kTexts[] = {
      {u"标签1"_s, u"归类目标："_s},
      {u"单选框指定目录"_s, u"来自文件夹"_s},
      {u"单选框文件列表"_s, u"来自列表"_s},
      {u"编辑框目录"_s, QString()},
      {u"按钮选择目录"_s, u".."_s},
      {u"编辑框过滤"_s, u"*.*"_s},
      {u"选择框遍历子目录"_s, u"遍历子目录"_s},
      {u"按钮输入文件列表"_s, u"输入文件列表(也可以拖放文件到这).."_s},
      {u"标签2"_s, u"归类到路径："_s},
      {u"编辑框归类到"_s, u"[父目录路径]/[批次名]/[文件名]"_s},
      {u"按钮元符"_s, u"显示元符"_s},
      {u"标签4"_s, u"每批次的归类数量："_s},
      {u"编辑框每批次归类数量"_s, u"100"_s},
      {u"标签3"_s, u"批次名："_s},
      {u"单选框使用数字"_s, u"使用数字"_s},
      {u"单选框使用字母"_s, u"使用字母"_s},
      {u"单选框使用指定"_s, u"使用指定"_s},
      {u"按钮输入批次名列表"_s, u"输入.."_s},
      {u"选择框保留原文件"_s, u"保留原文件"_s},
      {u"按钮立即执行归类"_s, kIdle},
      {u"按钮预览"_s, u"预览"_s},
      {u"按钮撤销上次归类"_s, u"撤销上次归类"_s},
  };
  for (const Case& c : kTexts) {
    QWidget* widget = control(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(testing::shownText(widget), c.text) << c.name.toStdString();
  }
  EXPECT_EQ(tool_->windowTitle(), u"文件归类 - 使用元符构建动态归类路径，实现复杂归类需求。帮助：点击显示元符按钮"_s);

  const QStringList kChecked = {u"单选框指定目录"_s, u"单选框使用数字"_s, u"选择框保留原文件"_s};
  for (QAbstractButton* button : tool_->findChildren<QAbstractButton*>()) {
    if (qobject_cast<QPushButton*>(button)) continue;
    EXPECT_EQ(button->isChecked(), kChecked.contains(button->objectName())) << button->objectName().toStdString();
  }
  // Every control a user acts on can be found by a screen reader.
  for (QWidget* widget : tool_->findChildren<QWidget*>()) {
    if (qobject_cast<QLineEdit*>(widget)) {
      EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
    }
  }
  EXPECT_EQ(control(u"编辑框目录"_s)->accessibleName(), u"来自文件夹"_s);
  EXPECT_EQ(control(u"编辑框归类到"_s)->accessibleName(), u"归类到路径："_s);
  EXPECT_EQ(control(u"按钮选择目录"_s)->accessibleName(), u"选择文件夹"_s);
  // The page fits a main window of 800 x 560 (a page of 800 x 434 less its frame) without clipping.
  EXPECT_LE(tool_->minimumSizeHint().width(), 800);
  EXPECT_LE(tool_->minimumSizeHint().height(), 400) << tool_->minimumSizeHint().height();
  // No move run has left its logs: there is nothing to undo.
  EXPECT_FALSE(control(u"按钮撤销上次归类"_s)->isEnabled());
}

TEST_F(ClassifyWindow, EnablingRulesFollowTheInputAndTheBatchNames) {
  const QStringList kFolderControls = {u"编辑框目录"_s, u"编辑框过滤"_s, u"按钮选择目录"_s, u"选择框遍历子目录"_s};
  auto* list = control(u"按钮输入文件列表"_s);
  auto expectInput = [&](bool folder, const char* when) {
    for (const QString& name : kFolderControls) EXPECT_EQ(control(name)->isEnabled(), folder) << when << name.toStdString();
    EXPECT_EQ(list->isEnabled(), !folder) << when;
  };
  expectInput(true, "at start");
  clickIndicator(control(u"单选框文件列表"_s));
  EXPECT_FALSE(control<QRadioButton>(u"单选框指定目录"_s)->isChecked());
  expectInput(false, "list");
  clickIndicator(control(u"单选框指定目录"_s));
  expectInput(true, "folder again");

  auto* names = control(u"按钮输入批次名列表"_s);
  struct Case {
    QString mode;
    bool enabled;
  };
  const Case kCases[] = {{u"单选框使用指定"_s, true}, {u"单选框使用字母"_s, false},
                         {u"单选框使用指定"_s, true}, {u"单选框使用数字"_s, false}};
  EXPECT_FALSE(names->isEnabled());
  for (const Case& c : kCases) {
    clickIndicator(control(c.mode));
    EXPECT_TRUE(control<QRadioButton>(c.mode)->isChecked()) << c.mode.toStdString();
    EXPECT_EQ(names->isEnabled(), c.enabled) << c.mode.toStdString();
    // The two groups of radio buttons are independent.
    EXPECT_TRUE(control<QRadioButton>(u"单选框指定目录"_s)->isChecked()) << c.mode.toStdString();
  }
}

TEST_F(ClassifyWindow, TheTokenMenuInsertsAtTheCaretAndShowsItsHelp) {
  auto* edit = control<QLineEdit>(u"编辑框归类到"_s);
  auto* menu = control<QMenu>(u"元符"_s);
  edit->setText(u"/out/AB/CD"_s);

  // The menu's items and separators, in order.
  QStringList items;
  for (QAction* action : menu->actions()) items << (action->isSeparator() ? u"-"_s : action->text());
  const QStringList kItems = {
      u"元符帮助"_s, u"-"_s, u"[父目录路径]"_s, u"[父目录名]"_s, u"[文件名]"_s, u"[主名]"_s, u"[扩展名]"_s,
      u"[大小]"_s, u"[批次名]"_s, u"[父目录段]"_s, u"[子目录段]"_s, u"[年]"_s, u"[月]"_s, u"[日]"_s, u"[时]"_s,
      u"[分]"_s, u"[秒]"_s, u"-"_s, u"[2父目录路径]"_s, u"[3父目录路径]"_s, u"[4父目录路径]"_s,
      u"[5父目录路径]"_s, u"-"_s, u"[2父目录段]"_s, u"[3父目录段]"_s, u"[4父目录段]"_s, u"[5父目录段]"_s, u"-"_s,
      u"[2父目录名]"_s, u"[3父目录名]"_s, u"[4父目录名]"_s, u"[5父目录名]"_s, u"-"_s,
      u"[拍摄日期]"_s, u"[拍摄年]"_s, u"[拍摄月]"_s, u"[拍摄日]"_s, u"[拍摄时间]"_s, u"[相机型号]"_s};
  EXPECT_EQ(items, kItems);

  auto pick = [&](const QString& text) {
    QTest::mouseClick(control(u"按钮元符"_s), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
    QAction* chosen = nullptr;
    for (QAction* action : menu->actions()) {
      if (action->text() == text) chosen = action;
    }
    ASSERT_NE(chosen, nullptr) << text.toStdString();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }, 5000));
  };

  // The caret after "/out/AB/": the token goes there and the box has the focus again.
  QTest::mouseClick(edit, Qt::LeftButton);
  QTest::keyClick(edit, Qt::Key_End);
  QTest::keyClick(edit, Qt::Key_Left);
  QTest::keyClick(edit, Qt::Key_Left);
  pick(u"[主名]"_s);
  EXPECT_EQ(edit->text(), u"/out/AB/[主名]CD"_s);
  EXPECT_TRUE(edit->hasFocus());
  EXPECT_EQ(edit->cursorPosition(), QString(u"/out/AB/[主名]"_s).size());

  // A selection ("AB") is replaced.
  QTest::keyClick(edit, Qt::Key_Home);
  for (int i = 0; i < 5; ++i) QTest::keyClick(edit, Qt::Key_Right);
  QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(edit, Qt::Key_Right, Qt::ShiftModifier);
  pick(u"[3父目录名]"_s);
  EXPECT_EQ(edit->text(), u"/out/[3父目录名]/[主名]CD"_s);

  Modals modals;
  std::vector<ShownDialog> shown;
  modals.other = record(shown);
  pick(u"元符帮助"_s);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.empty(); }, 5000));
  EXPECT_EQ(shown[0].title, u"元符帮助"_s);
  EXPECT_EQ(shown[0].prompt, QString());
  EXPECT_EQ(shown[0].body, toQString(tokenHelpText()).replace(u"\r\n"_s, u"\n"_s));
  EXPECT_TRUE(shown[0].body.startsWith(u"归类到：是一个新的文件路径"_s));
  EXPECT_TRUE(shown[0].body.contains(u"组合引用。\n\n\n[拍摄日期][拍摄年][拍摄月][拍摄日][拍摄时间][相机型号]："_s));
}

TEST_F(ClassifyWindow, ACtrlDropAppendsToTheListAPlainDropReplacesIt) {
  auto* list = control(u"按钮输入文件列表"_s);
  auto* fromList = control<QRadioButton>(u"单选框文件列表"_s);
  setControlTag(list, u"/earlier/one.txt"_s);  // typed by hand, no line break at its end

  // The caption flashes inside the drop's handling, which waits with events: watch it from a timer.
  QStringList captions{fromList->text()};
  QTimer sampler;
  sampler.callOnTimeout([&] {
    if (captions.last() != fromList->text()) captions << fromList->text();
  });
  sampler.start(5);

  ASSERT_TRUE(dropPaths(tool_.get(), {dir_ / "a.txt", dir_ / "b 两.txt"}, Qt::ControlModifier));
  EXPECT_EQ(controlTag(list), u"/earlier/one.txt"_s) << "handled once the drop has completed";
  ASSERT_TRUE(QTest::qWaitFor([&] { return captions.size() == 3; }, 5000));
  EXPECT_EQ(captions, (QStringList{u"来自列表"_s, u"已拖入"_s, u"文件列表"_s}));
  EXPECT_TRUE(fromList->isChecked());
  EXPECT_FALSE(control<QRadioButton>(u"单选框指定目录"_s)->isChecked());
  EXPECT_TRUE(list->isEnabled());
  EXPECT_FALSE(control(u"编辑框目录"_s)->isEnabled());
  EXPECT_EQ(controlTag(list), u"/earlier/one.txt\r\n"_s + native(dir_ / "a.txt") + u"\r\n"_s +
                                  native(dir_ / "b 两.txt") + u"\r\n"_s);

  ASSERT_TRUE(dropPaths(tool_.get(), {dir_ / "c.txt"}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return controlTag(list) == native(dir_ / "c.txt") + u"\r\n"_s; }, 5000));

  // The list button opens the same list for editing; what is confirmed replaces it.
  Modals modals;
  std::vector<ShownDialog> shown;
  modals.other = record(shown, u"按钮确定"_s, u"/typed/x.txt"_s);
  QTest::mouseClick(list, Qt::LeftButton);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, u"输入文件路径列表"_s);
  EXPECT_EQ(shown[0].prompt, u"可以在别处复制文件列表在这里粘贴，也可以直接拖放文件列表，按住Ctrl键可以追加拖放："_s);
  EXPECT_EQ(shown[0].body, native(dir_ / "c.txt") + u"\n"_s);
  EXPECT_EQ(controlTag(list), u"/typed/x.txt"_s);
}

TEST_F(ClassifyWindow, AFolderRunMakesBatchesAndShowsTheirTargets) {
  const std::string src = dir_ / "源";
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}) writeBytes(src + "/" + name, name);
  setText(u"编辑框目录"_s, native(src));
  setText(u"编辑框每批次归类数量"_s, u"2"_s);
  Modals modals;
  std::vector<ShownDialog> shown;
  runAndWait(modals, shown, 1);

  const std::vector<std::vector<std::string>> kBatches = {{"a.txt", "b.txt"}, {"c.txt", "d.txt"}, {"e.txt"}};
  QStringList targets;
  std::vector<std::string> before;
  std::vector<std::string> after;
  for (size_t batch = 0; batch < kBatches.size(); ++batch) {
    const std::string folder = src + "/" + std::to_string(batch + 1);
    EXPECT_EQ(listNames(folder), kBatches[batch]) << folder;
    for (const std::string& name : kBatches[batch]) {
      EXPECT_EQ(readBytes(folder + "/" + name), name);
      EXPECT_TRUE(exists(src + "/" + name)) << "a copy keeps its source";
      targets << native(folder + "/" + name);
      before.push_back(src + "/" + name);
      after.push_back(folder + "/" + name);
    }
  }
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, u"归类完成！"_s);
  EXPECT_EQ(shown[0].prompt, u"下面仅显示部分归类后的文件路径。\n完整记录请看软件目录下的【归类后文件路径.txt】"_s);
  EXPECT_EQ(shown[0].body, targets.join(u'\n') + u'\n');
  EXPECT_TRUE(modals.texts.isEmpty());
  EXPECT_EQ(logLines("归类前文件路径.txt"), before);
  EXPECT_EQ(logLines("归类后文件路径.txt"), after);
  EXPECT_EQ(readBytes(home() + "/" + "归类失败的文件路径.txt"), "");
  EXPECT_EQ(runButton()->text(), kIdle);
  EXPECT_TRUE(runButton()->styleSheet().isEmpty()) << "the caption is centred again";
  EXPECT_EQ(control<QLabel>(u"透明标签"_s)->text(), u"归类完成：共 5 个文件，失败 0 个"_s);
  EXPECT_FALSE(control(u"按钮撤销上次归类"_s)->isEnabled()) << "a copy run leaves nothing to undo";
}

// A photo made by the EXIF library, and a file without a record last written on 2021-11-05.
TEST_F(ClassifyWindow, PhotoTokensFromTheMenuShowInThePreviewAndSortTheRun) {
  const std::string src = dir_ / "src";
  std::filesystem::create_directories(src);
  {
    auto image = Exiv2::ImageFactory::create(Exiv2::ImageType::jpeg, src + "/IMG_1.jpg");
    Exiv2::ExifData exif;
    exif["Exif.Photo.DateTimeOriginal"] = std::string("2017:03:09 08:05:07");
    exif["Exif.Image.Model"] = std::string("Canon EOS R5");
    image->setExifData(exif);
    image->writeMetadata();
  }
  writeBytes(src + "/notes.txt", "no record");
  std::tm t{};
  t.tm_year = 2021 - 1900;
  t.tm_mon = 10;
  t.tm_mday = 5;
  t.tm_hour = 12;
  t.tm_isdst = -1;
  const timespec times[2] = {{mktime(&t), 0}, {mktime(&t), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (src + "/notes.txt").c_str(), times, 0), 0);
  setText(u"编辑框目录"_s, native(src));

  // The template typed and picked: <out>/[拍摄年]/[拍摄月]/[相机型号]/[拍摄日期] [拍摄时间] [文件名]
  auto* edit = control<QLineEdit>(u"编辑框归类到"_s);
  edit->clear();
  QTest::mouseClick(edit, Qt::LeftButton);
  QTest::keyClicks(edit, native(dir_ / "out") + u"/"_s);
  for (const QString& token : {u"[拍摄年]"_s, u"[拍摄月]"_s, u"[相机型号]"_s}) {
    pickToken(token);
    QTest::keyClicks(edit, u"/"_s);
  }
  pickToken(u"[拍摄日期]"_s);
  QTest::keyClicks(edit, u" "_s);
  pickToken(u"[拍摄时间]"_s);
  QTest::keyClicks(edit, u" "_s);
  pickToken(u"[文件名]"_s);
  EXPECT_EQ(edit->text(), native(dir_ / "out") + u"/[拍摄年]/[拍摄月]/[相机型号]/[拍摄日期] [拍摄时间] [文件名]"_s);

  const QString photoTarget = native(dir_ / "out") + u"/2017/03/Canon EOS R5/2017-03-09 08-05-07 IMG_1.jpg"_s;
  const QString fileTarget = native(dir_ / "out") + u"/2021/11/未知型号/2021-11-05 12-00-00 notes.txt"_s;
  Modals modals;
  std::vector<ShownDialog> shown;
  modals.other = record(shown);
  QTest::mouseClick(control(u"按钮预览"_s), Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return !shown.empty(); }));
  EXPECT_EQ(shown[0].body, native(src + "/IMG_1.jpg") + u" → "_s + photoTarget + u"\n"_s +
                               native(src + "/notes.txt") + u" → "_s + fileTarget + u"\n"_s);
  EXPECT_FALSE(exists(dir_ / "out"));

  shown.clear();
  runAndWait(modals, shown, 1);
  EXPECT_EQ(shown[0].body, photoTarget + u"\n"_s + fileTarget + u"\n"_s);
  EXPECT_EQ(listNames(dir_ / "out"), (std::vector<std::string>{"2017", "2021"}));
  EXPECT_TRUE(exists(dir_ / "out/2017/03/Canon EOS R5/2017-03-09 08-05-07 IMG_1.jpg"));
  EXPECT_EQ(readBytes(dir_ / "out/2021/11/未知型号/2021-11-05 12-00-00 notes.txt"), "no record");
}

TEST_F(ClassifyWindow, AFolderLeftUnwalkedIsListedAfterTheRunUnderANoticeOfItsOwn) {
  const std::string src = dir_ / "源";
  writeBytes(src + "/a.txt", "a");
  std::filesystem::create_directory_symlink(src, src + "/回到上级");
  setText(u"编辑框目录"_s, native(src));
  clickIndicator(control(u"选择框遍历子目录"_s));
  setText(u"编辑框归类到"_s, native(dir_ / "out/[文件名]"));
  Modals modals;
  std::vector<ShownDialog> shown;
  runAndWait(modals, shown, 2);

  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].title, u"归类完成！"_s);
  EXPECT_EQ(shown[1].title, u"信息："_s);
  EXPECT_EQ(shown[1].prompt, u"以下各项需要留意："_s);
  EXPECT_EQ(shown[1].body, native(src + "/回到上级") + u"：链接指回上级文件夹，未遍历"_s);
  EXPECT_EQ(readBytes(dir_ / "out/a.txt"), "a");
}

TEST_F(ClassifyWindow, AMoveOntoAnExistingFileFailsOpensTheFailureLogAndLosesNothing) {
  const std::string src = dir_ / "src";
  writeBytes(src + "/one.txt", "one");
  writeBytes(src + "/two.txt", "two");
  writeBytes(src + "/1/two.txt", "already there");
  setText(u"编辑框目录"_s, native(src));
  clickIndicator(control(u"选择框保留原文件"_s));
  ASSERT_FALSE(control<QCheckBox>(u"选择框保留原文件"_s)->isChecked());
  OpenedPaths opened;
  Modals modals;
  std::vector<ShownDialog> shown;
  runAndWait(modals, shown, 1);

  const std::string failureLog = home() + "/" + "归类失败的文件路径.txt";
  EXPECT_EQ(opened.paths, QStringList{native(failureLog)});
  EXPECT_EQ(modals.texts,
            QStringList{u"归类完成，但有 1 个文件归类失败，具体请看已打开的【归类失败的文件路径.txt】"_s});
  EXPECT_EQ(readBytes(failureLog), src + "/two.txt\n");
  // The reasons follow in the details dialog.
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, u"信息："_s);
  EXPECT_TRUE(shown[0].body.startsWith(native(src + "/two.txt"))) << shown[0].body.toStdString();
  EXPECT_TRUE(shown[0].body.contains(u"已存在"_s)) << shown[0].body.toStdString();
  // Nothing lost, nothing replaced.
  EXPECT_EQ(readBytes(src + "/1/one.txt"), "one");
  EXPECT_FALSE(exists(src + "/one.txt"));
  EXPECT_EQ(readBytes(src + "/two.txt"), "two");
  EXPECT_EQ(readBytes(src + "/1/two.txt"), "already there");
  EXPECT_TRUE(control(u"按钮撤销上次归类"_s)->isEnabled());
}

TEST_F(ClassifyWindow, UndoAfterAMoveRunPutsEveryFileBack) {
  const std::string src = dir_ / "src";
  const std::vector<std::string> names = {"a.txt", "b.txt", "c.txt", "d.txt"};
  for (const std::string& name : names) writeBytes(src + "/" + name, name);
  writeBytes(src + "/sub/e.txt", "e.txt");
  setText(u"编辑框目录"_s, native(src));
  setText(u"编辑框每批次归类数量"_s, u"3"_s);
  control<QCheckBox>(u"选择框遍历子目录"_s)->setChecked(true);
  control<QCheckBox>(u"选择框保留原文件"_s)->setChecked(false);
  Modals modals;
  std::vector<ShownDialog> shown;
  runAndWait(modals, shown, 1);
  ASSERT_EQ(listNames(src), (std::vector<std::string>{"1", "2", "sub"}));
  ASSERT_EQ(listNames(src + "/sub"), std::vector<std::string>{"1"});
  auto* undo = control<QPushButton>(u"按钮撤销上次归类"_s);
  ASSERT_TRUE(undo->isEnabled());

  QTest::mouseClick(undo, Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return shown.size() >= 2; }));
  EXPECT_EQ(modals.texts, QStringList{u"确定把上次归类移动的文件移回原位置吗？"_s});
  EXPECT_EQ(shown[1].title, u"撤销归类"_s);
  EXPECT_EQ(shown[1].prompt, u"撤销归类：移回 5 个，跳过 0 个，失败 0 个，删除空文件夹 3 个"_s);
  EXPECT_TRUE(shown[1].body.startsWith(u"已移回："_s + native(src + "/sub/1/e.txt"))) << shown[1].body.toStdString();
  for (const char* made : {"/sub/1", "/1", "/2"}) {
    EXPECT_TRUE(shown[1].body.contains(u"\n已删除空文件夹："_s + native(src + made) + u"\n"_s)) << made;
  }
  for (const std::string& name : names) EXPECT_EQ(readBytes(src + "/" + name), name);
  EXPECT_EQ(readBytes(src + "/sub/e.txt"), "e.txt");
  // The batch folders the run made are gone again; the tree is as it was.
  EXPECT_EQ(listNames(src), (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt", "sub"}));
  EXPECT_EQ(listNames(src + "/sub"), std::vector<std::string>{"e.txt"});
  EXPECT_FALSE(undo->isEnabled()) << "nothing is left to undo";
  EXPECT_EQ(undo->text(), u"撤销上次归类"_s);
}

TEST_F(ClassifyWindow, PreviewShowsSourcesAndTargetsAndTouchesNothing) {
  const std::string src = dir_ / "src";
  writeBytes(src + "/a.txt", "a");
  writeBytes(src + "/b.txt", "b");
  writeBytes(dir_ / "out/b.txt", "taken");
  setText(u"编辑框目录"_s, native(src));
  setText(u"编辑框归类到"_s, native(dir_ / "out") + u"\\[文件名]"_s);  // "\" separates too
  control<QCheckBox>(u"选择框保留原文件"_s)->setChecked(false);
  Modals modals;
  std::vector<ShownDialog> shown;
  modals.other = record(shown);
  QTest::mouseClick(control(u"按钮预览"_s), Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return !shown.empty(); }));

  EXPECT_EQ(shown[0].title, u"归类预览"_s);
  EXPECT_EQ(shown[0].prompt, u"预演：共 2 个文件，目标已存在 1 个，目标重复 0 个；未改动任何文件"_s);
  EXPECT_EQ(shown[0].body, native(src + "/a.txt") + u" → "_s + native(dir_ / "out/a.txt") + u"\n"_s +
                               native(src + "/b.txt") + u" → "_s + native(dir_ / "out/b.txt") +
                               u"  [目标已存在，将失败]\n"_s);
  EXPECT_EQ(listNames(src), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(listNames(dir_ / "out"), std::vector<std::string>{"b.txt"});

  // A folder that is not there is named, before anything is read.
  setText(u"编辑框目录"_s, native(dir_ / "missing"));
  QTest::mouseClick(control(u"按钮预览"_s), Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return !modals.texts.isEmpty(); }));
  EXPECT_EQ(modals.texts, QStringList{u"找不到文件夹 "_s + native(dir_ / "missing")});
}

TEST_F(ClassifyWindow, AStoppedPreviewSaysSoInItsSummary) {
  // One file listed very many times: a dry run far longer than the test needs.
  writeBytes(dir_ / "one.txt", "1");
  QString list;
  const QString line = native(dir_ / "one.txt") + u"\r\n"_s;
  for (int i = 0; i < 200000; ++i) list += line;
  setControlTag(control(u"按钮输入文件列表"_s), list);
  control<QRadioButton>(u"单选框文件列表"_s)->click();
  setText(u"编辑框每批次归类数量"_s, u"1"_s);
  setText(u"编辑框归类到"_s, native(dir_ / "out/[批次名].txt"));
  Modals modals;
  std::vector<ShownDialog> shown;
  modals.other = record(shown);

  auto* preview = control<QPushButton>(u"按钮预览"_s);
  QTest::mouseClick(preview, Qt::LeftButton);
  EXPECT_EQ(preview->text(), u"停止预览"_s);
  QTest::mouseClick(preview, Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return !shown.empty(); }));

  const QRegularExpression summary(u"^已停止。预演：共 (\\d+) 个文件，目标已存在 0 个，目标重复 0 个；未改动任何文件$"_s);
  const QRegularExpressionMatch match = summary.match(shown[0].prompt);
  ASSERT_TRUE(match.hasMatch()) << shown[0].prompt.toStdString();
  EXPECT_LT(match.captured(1).toInt(), 200000);
  EXPECT_EQ(preview->text(), u"预览"_s);
  EXPECT_FALSE(exists(dir_ / "out"));
}

TEST_F(ClassifyWindow, ADropWhileARunIsActiveIsRefusedAndLeavesTheListAlone) {
  writeBytes(dir_ / "one.txt", "1");
  writeBytes(dir_ / "late.txt", "2");
  QString list;
  const QString line = native(dir_ / "one.txt") + u"\r\n"_s;
  for (int i = 0; i < 200000; ++i) list += line;
  auto* listButton = control(u"按钮输入文件列表"_s);
  setControlTag(listButton, list);
  control<QRadioButton>(u"单选框文件列表"_s)->click();
  setText(u"编辑框归类到"_s, native(dir_ / "out/[批次名].txt"));
  Modals modals;
  std::vector<ShownDialog> shown;
  modals.other = record(shown);

  auto* preview = control<QPushButton>(u"按钮预览"_s);
  QTest::mouseClick(preview, Qt::LeftButton);
  ASSERT_TRUE(tool_->running());
  EXPECT_FALSE(dropPaths(tool_.get(), {dir_ / "late.txt"}));
  QTest::mouseClick(preview, Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return !shown.empty(); }));
  EXPECT_TRUE(controlTag(listButton) == list) << "the list of the run is left alone";

  // Once the run has ended, a drop is taken again.
  ASSERT_TRUE(dropPaths(tool_.get(), {dir_ / "late.txt"}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return controlTag(listButton) != list; }, kRunTimeoutMs));
  EXPECT_EQ(controlTag(listButton), native(dir_ / "late.txt") + u"\r\n"_s);
}

TEST_F(ClassifyWindow, AWordThatIsNoTokenIsAskedAboutBeforeARunAndMarkedInThePreview) {
  const std::string src = dir_ / "src";
  writeBytes(src + "/a.txt", "a");
  setText(u"编辑框目录"_s, native(src));
  setText(u"编辑框归类到"_s, native(dir_ / "out") + u"/[文名]/[批次]/[文件名]"_s);
  const std::string beforeLog = home() + "/" + "归类前文件路径.txt";
  writeBytes(beforeLog, "earlier run\n");
  const QString notice = u"[文名]、[批次] 不是元符，将作为文字保留。"_s;

  // 预览 asks nothing: it names the words above its summary.
  Modals modals;
  std::vector<ShownDialog> shown;
  modals.other = record(shown);
  QTest::mouseClick(control(u"按钮预览"_s), Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return !shown.empty(); }));
  EXPECT_EQ(shown[0].prompt, notice + u"\n预演：共 1 个文件，目标已存在 0 个，目标重复 0 个；未改动任何文件"_s);
  EXPECT_TRUE(shown[0].body.contains(native(dir_ / "out/[文名]/[批次]/a.txt"))) << shown[0].body.toStdString();
  EXPECT_TRUE(modals.texts.isEmpty());

  // No, to either button: nothing starts and nothing is written, not even the logs.
  modals.answerBox = [](const QString&) { return QMessageBox::No; };
  QTest::mouseClick(runButton(), Qt::LeftButton);
  clickWith(runButton(), Qt::RightButton);
  EXPECT_EQ(modals.texts, (QStringList{notice + u"继续吗？"_s, notice + u"继续吗？"_s}));
  EXPECT_EQ(modals.buttonTexts.last(), u"是|否"_s);
  // The question is answered inside the click: a run that started would be running now.
  EXPECT_FALSE(tool_->running());
  EXPECT_EQ(runButton()->text(), kIdle);
  EXPECT_EQ(shown.size(), 1u);
  EXPECT_FALSE(exists(dir_ / "out"));
  EXPECT_EQ(listNames(src), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(readBytes(beforeLog), "earlier run\n");

  // Yes: the words stay in the path as typed.
  modals.answerBox = [](const QString&) { return QMessageBox::Yes; };
  runAndWait(modals, shown, 2);
  EXPECT_EQ(modals.texts.size(), 3);
  EXPECT_EQ(shown[1].title, u"归类完成！"_s);
  EXPECT_EQ(readBytes(dir_ / "out/[文名]/[批次]/a.txt"), "a");

  // A template of tokens only asks nothing.
  setText(u"编辑框归类到"_s, native(dir_ / "out2") + u"/[批次名]/[文件名]"_s);
  runAndWait(modals, shown, 3);
  EXPECT_EQ(modals.texts.size(), 3);
  EXPECT_EQ(readBytes(dir_ / "out2/1/a.txt"), "a");
}

TEST_F(ClassifyWindow, OptionsExplainThemselvesInTooltips) {
  auto* tip = tool_->findChild<ToolTip*>();
  ASSERT_NE(tip, nullptr);
  struct Case {
    QString control;
    QString part;
  };
  const Case kCases[] = {
      {u"编辑框过滤"_s, u"多个类型用 | 分隔"_s},
      {u"选择框遍历子目录"_s, u"子文件夹中的文件"_s},
      {u"单选框文件列表"_s, u"拖放"_s},
      {u"按钮元符"_s, u"元符帮助"_s},
      {u"标签4"_s, u"换一个批次"_s},
      {u"编辑框每批次归类数量"_s, u"0 表示每个文件自成一批"_s},
      {u"单选框使用数字"_s, u"1、2、3"_s},
      {u"单选框使用字母"_s, u"Z、AA"_s},
      {u"单选框使用指定"_s, u"从头循环"_s},
      {u"按钮输入批次名列表"_s, u"每行一个名称"_s},  // disabled until 使用指定 is chosen
      {u"选择框保留原文件"_s, u"不勾选：移动文件"_s},
      {u"按钮立即执行归类"_s, u"右键点击"_s},
      {u"按钮预览"_s, u"不改动任何文件"_s},
      {u"按钮撤销上次归类"_s, u"变空的文件夹"_s},
  };
  for (const Case& c : kCases) {
    QWidget* widget = control(c.control);
    ASSERT_NE(widget, nullptr);
    const QPoint at = widget->rect().center();
    QHelpEvent rest(QEvent::ToolTip, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &rest);
    EXPECT_TRUE(tip->shownText().contains(c.part)) << c.control.toStdString() << ": " << tip->shownText().toStdString();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(widget, &leave);
    EXPECT_EQ(tip->shownText(), QString()) << c.control.toStdString();
  }
  // A caption that says it all has none.
  QWidget* plain = control(u"单选框指定目录"_s);
  QHelpEvent rest(QEvent::ToolTip, QPoint(5, 5), plain->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(plain, &rest);
  EXPECT_EQ(tip->shownText(), QString());
}

TEST_F(ClassifyWindow, TheRightButtonListsFoldersWithTheAlternativeMatcher) {
  const std::string src = dir_ / "src";
  writeBytes(src + "/a.txt", "a");
  writeBytes(src + "/b.md", "b");
  setText(u"编辑框目录"_s, native(src));
  setText(u"编辑框过滤"_s, u"*.txt|*.md"_s);
  Modals modals;
  std::vector<ShownDialog> shown;
  // The whole filter is one pattern then, which names no file.
  runAndWait(modals, shown, 1, Qt::RightButton);
  EXPECT_EQ(shown[0].title, u"归类完成！"_s);
  EXPECT_EQ(shown[0].body, QString());
  EXPECT_EQ(listNames(src), (std::vector<std::string>{"a.txt", "b.md"}));

  runAndWait(modals, shown, 2, Qt::LeftButton);
  EXPECT_EQ(listNames(src + "/1"), (std::vector<std::string>{"a.txt", "b.md"}));
}

TEST_F(ClassifyWindow, AFileListRunWithNamedBatches) {
  writeBytes(dir_ / "x/1.txt", "1");
  writeBytes(dir_ / "y/2.txt", "2");
  writeBytes(dir_ / "y/3.txt", "3");
  setControlTag(control(u"按钮输入文件列表"_s),
                native(dir_ / "x/1.txt") + u"\r\n\r\n"_s + native(dir_ / "y/2.txt") + u"\r\n"_s + native(dir_ / "y/3.txt"));
  control<QRadioButton>(u"单选框文件列表"_s)->click();
  setText(u"编辑框每批次归类数量"_s, u"1"_s);
  setText(u"编辑框归类到"_s, native(dir_ / "out/[批次名]/[文件名]"));
  control<QRadioButton>(u"单选框使用指定"_s)->click();
  Modals modals;
  std::vector<ShownDialog> shown;
  modals.other = record(shown, u"按钮确定"_s, u"北\n南"_s);
  QTest::mouseClick(control(u"按钮输入批次名列表"_s), Qt::LeftButton);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, u"输入批次名列表"_s);
  EXPECT_TRUE(shown[0].prompt.startsWith(u"这个批次名列表在每换一个批次"_s));
  EXPECT_EQ(controlTag(control(u"按钮输入批次名列表"_s)), u"北\r\n南"_s);

  // The empty entry fails (and counts as a batch); the names repeat in a cycle.
  OpenedPaths opened;
  runAndWait(modals, shown, 2);
  EXPECT_EQ(readBytes(dir_ / "out/北/1.txt"), "1");
  EXPECT_EQ(readBytes(dir_ / "out/北/2.txt"), "2");
  EXPECT_EQ(readBytes(dir_ / "out/南/3.txt"), "3");
  EXPECT_EQ(readBytes(home() + "/" + "归类失败的文件路径.txt"), "\n");
  EXPECT_EQ(modals.texts.size(), 1);
  EXPECT_EQ(opened.paths.size(), 1);
}

TEST_F(ClassifyWindow, StopEndsTheRunAfterTheCurrentFileAndTheWindowKeepsResponding) {
  // One file listed very many times, each into a batch folder of its own: a run far longer than the
  // test needs.
  writeBytes(dir_ / "one.txt", "1");
  QString list;
  const QString line = native(dir_ / "one.txt") + u"\r\n"_s;
  for (int i = 0; i < 200000; ++i) list += line;
  setControlTag(control(u"按钮输入文件列表"_s), list);
  control<QRadioButton>(u"单选框文件列表"_s)->click();
  setText(u"编辑框每批次归类数量"_s, u"1"_s);
  setText(u"编辑框归类到"_s, native(dir_ / "out/[批次名].txt"));
  Modals modals;
  std::vector<ShownDialog> shown;
  modals.other = record(shown);

  QTest::mouseClick(runButton(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return runButton()->text().startsWith(u"    (200000:"_s); }, kRunTimeoutMs));
  const QString seen = runButton()->text();
  ASSERT_TRUE(QTest::qWaitFor([&] { return runButton()->text() != seen; }, kRunTimeoutMs));
  EXPECT_FALSE(control(u"按钮预览"_s)->isEnabled());
  // The page still answers while the run goes on.
  clickIndicator(control(u"单选框使用字母"_s));
  EXPECT_TRUE(control<QRadioButton>(u"单选框使用字母"_s)->isChecked());

  QTest::mouseClick(runButton(), Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return !shown.empty(); }));
  EXPECT_EQ(shown[0].title, u"归类完成！"_s);
  EXPECT_EQ(runButton()->text(), kIdle);
  // Every logged file was classified completely, and the run ended well before the list did.
  const size_t logged = logLines("归类前文件路径.txt").size();
  EXPECT_LT(logged, 200000u);
  EXPECT_EQ(listNames(dir_ / "out").size(), logged);
  EXPECT_EQ(logLines("归类后文件路径.txt").size(), logged);
  EXPECT_EQ(readBytes(dir_ / "out/" + std::to_string(logged) + ".txt"), "1");
  EXPECT_TRUE(control(u"按钮预览"_s)->isEnabled());
}

TEST_F(ClassifyWindow, TheFolderDialogNamesTheFilterAndStartsAtTheFolder) {
  writeBytes(dir_ / "start/x.txt", "x");
  writeBytes(dir_ / "chosen/y.txt", "y");
  setText(u"编辑框目录"_s, native(dir_ / "start"));
  setText(u"编辑框过滤"_s, u"*.txt"_s);
  Modals modals;
  QString preselected;
  auto pick = [&](QStringList paths) {
    return [&preselected, paths](QWidget* modal) {
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) preselected = dialog->directory().absolutePath();
      pickInFileDialog(paths)(modal);
    };
  };
  modals.other = pick({});
  QTest::mouseClick(control(u"按钮选择目录"_s), Qt::LeftButton);
  EXPECT_EQ(control<QLineEdit>(u"编辑框目录"_s)->text(), native(dir_ / "start")) << "cancelled";
  modals.other = pick({native(dir_ / "chosen")});
  QTest::mouseClick(control(u"按钮选择目录"_s), Qt::LeftButton);
  EXPECT_EQ(control<QLineEdit>(u"编辑框目录"_s)->text(), native(dir_ / "chosen"));
  EXPECT_EQ(preselected, native(dir_ / "start"));
  EXPECT_EQ(modals.otherTitles, (QStringList{u"请选择需要归类的文件所在文件夹(*.txt)："_s,
                                              u"请选择需要归类的文件所在文件夹(*.txt)："_s}));
}

TEST_F(ClassifyWindow, OptionsSurviveClosingAndReopeningTheProgram) {
  control<QRadioButton>(u"单选框文件列表"_s)->click();
  control<QRadioButton>(u"单选框使用指定"_s)->click();
  control<QCheckBox>(u"选择框遍历子目录"_s)->setChecked(true);
  control<QCheckBox>(u"选择框保留原文件"_s)->setChecked(false);
  setText(u"编辑框目录"_s, native(dir_.path()));
  setText(u"编辑框过滤"_s, u"*.txt|*.log"_s);
  setText(u"编辑框归类到"_s, u"/归档/[年]/[月]/[文件名]"_s);
  setText(u"编辑框每批次归类数量"_s, u"25"_s);
  setControlTag(control(u"按钮输入文件列表"_s), u"/a/一.txt\r\n/b/二.txt\r\n"_s);
  setControlTag(control(u"按钮输入批次名列表"_s), u"甲\r\n乙"_s);

  tool_->close();
  tool_.reset();
  store_.release();
  ASSERT_TRUE(store_.Bind(valuePath_));
  openWindow();

  EXPECT_TRUE(control<QRadioButton>(u"单选框文件列表"_s)->isChecked());
  EXPECT_FALSE(control<QRadioButton>(u"单选框指定目录"_s)->isChecked());
  EXPECT_TRUE(control<QRadioButton>(u"单选框使用指定"_s)->isChecked());
  EXPECT_FALSE(control<QRadioButton>(u"单选框使用数字"_s)->isChecked());
  EXPECT_TRUE(control<QCheckBox>(u"选择框遍历子目录"_s)->isChecked());
  EXPECT_FALSE(control<QCheckBox>(u"选择框保留原文件"_s)->isChecked());
  EXPECT_EQ(control<QLineEdit>(u"编辑框目录"_s)->text(), native(dir_.path()));
  EXPECT_EQ(control<QLineEdit>(u"编辑框过滤"_s)->text(), u"*.txt|*.log"_s);
  EXPECT_EQ(control<QLineEdit>(u"编辑框归类到"_s)->text(), u"/归档/[年]/[月]/[文件名]"_s);
  EXPECT_EQ(control<QLineEdit>(u"编辑框每批次归类数量"_s)->text(), u"25"_s);
  EXPECT_EQ(controlTag(control(u"按钮输入文件列表"_s)), u"/a/一.txt\r\n/b/二.txt\r\n"_s);
  EXPECT_EQ(controlTag(control(u"按钮输入批次名列表"_s)), u"甲\r\n乙"_s);
  // The enabling rules hold for the restored states.
  EXPECT_TRUE(control(u"按钮输入文件列表"_s)->isEnabled());
  EXPECT_FALSE(control(u"编辑框目录"_s)->isEnabled());
  EXPECT_TRUE(control(u"按钮输入批次名列表"_s)->isEnabled());
  EXPECT_EQ(runButton()->text(), kIdle);
}

}  // namespace
}  // namespace chengling
