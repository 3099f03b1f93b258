#include "tools/transcode/transcode_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "foundation/charset_conversion.h"
#include "foundation/native_text.h"
#include "platform/qt_text.h"
#include "shell/control_tag.h"
#include "shell/settings_store.h"
#include "support/fault_fixtures.h"
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
using testing::clickWith;
using testing::dropPaths;
using testing::exists;
using testing::gb;
using testing::listNames;
using testing::pickInFileDialog;
using testing::readBytes;
using testing::utf8;
using testing::writeBytes;

const std::string kBom = "\xEF\xBB\xBF";
const QString kFilesIdle = u"批量转换"_s;
const QString kFolderIdle = u" 批量转换(文件夹方式)"_s;
const QString kDone = u"转换完成！点击可打开目录："_s;


// A GBK file and what the default run (detect, UTF-8 out) makes of it.
const std::string kGbkText = gb(u8"中文内容");
const std::string kUtf8Text = kBom + utf8(u8"中文内容");

class TranscodeWindow : public testing::ToolWindowTest<TranscodeTool> {
 protected:
  QPushButton* button(const QString& name) { return control<QPushButton>(name); }
  QLabel* status() { return control<QLabel>(u"透明标签"_s); }
  // i of the status "(n:i) name"; 0 for any other status.
  int fileNumber() {
    const QString text = status()->text();
    if (!text.startsWith(u'(')) return 0;
    return text.section(u':', 1).section(u')', 0, 0).toInt();
  }

  // Drops `paths` (native) anywhere on the page: here on the encoding options.
  bool drop(const std::vector<std::string>& paths) { return dropPaths(control(u"单选框输入UTF8"_s), paths); }

  // Waits until `questions` questions have been asked and the run started (if any) has ended.
  void waitForRunAfterQuestion(Modals& modals, int questions = 1) {
    ASSERT_TRUE(testing::waitUntilIdle(*tool_, [&] { return modals.texts.size() >= questions; }));
  }

};

TEST_F(TranscodeWindow, ControlsStartWithTheirCaptionsAndInitialStates) {
  struct Case {
    QString name;
    QString text;
  };
  const Case kTexts[] = {
      {u"标签1"_s, u"输入编码："_s},           {u"单选框自动输入"_s, u"自动"_s},
      {u"单选框输入ANSI"_s, u"ANSI"_s},        {u"单选框输入UTF8"_s, u"UTF-8"_s},
      {u"单选框输入Ule"_s, u"Unicode"_s},      {u"单选框输入Ube"_s, u"Unicode big endian"_s},
      {u"标签2"_s, u"输出编码："_s},           {u"单选框自动输出"_s, u"自动"_s},
      {u"单选框输出ANSI"_s, u"ANSI"_s},        {u"单选框输出UTF8"_s, u"UTF-8"_s},
      {u"单选框输出Ule"_s, u"Unicode"_s},      {u"单选框输出Ube"_s, u"Unicode big endian"_s},
      {u"单选框输出UTF8无BOM"_s, u"UTF-8(无BOM)"_s},
      {u"标签4"_s, u"繁简互转："_s},           {u"单选框不转"_s, u"不转"_s},
      {u"单选框简到繁"_s, u"简体到繁体"_s},    {u"单选框繁到简"_s, u"繁体到简体"_s},
      {u"单选框简到b5"_s, u"简体到Big5"_s},    {u"单选框繁到b5"_s, u"繁体到Big5"_s},
      {u"单选框b5到简"_s, u"Big5到简体"_s},    {u"单选框b5到繁"_s, u"Big5到繁体"_s},
      {u"标签5"_s, u"高级选项："_s},           {u"选择框同时转换文件名"_s, u"同时转换文件名"_s},
      {u"选择框包含子文件夹"_s, u"包含子文件夹"_s}, {u"选择框覆盖原文件"_s, u"覆盖原文件"_s},
      {u"编辑框文件过滤"_s, u"*.*"_s},         {u"按钮批量转换"_s, kFilesIdle},
      {u"按钮批量转换文件夹"_s, kFolderIdle},  {u"透明标签"_s, QString()},
  };
  for (const Case& c : kTexts) {
    QWidget* widget = control(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(testing::shownText(widget), c.text) << c.name.toStdString();
  }
  const QStringList kChecked = {u"单选框自动输入"_s, u"单选框输出UTF8"_s, u"单选框不转"_s};
  for (QAbstractButton* each : tool_->findChildren<QAbstractButton*>()) {
    if (qobject_cast<QPushButton*>(each)) continue;
    EXPECT_EQ(each->isChecked(), kChecked.contains(each->objectName())) << each->objectName().toStdString();
  }
  // The three groups of radio buttons are independent.
  clickIndicator(control(u"单选框输入Ube"_s));
  clickIndicator(control(u"单选框b5到繁"_s));
  EXPECT_TRUE(control<QRadioButton>(u"单选框输出UTF8"_s)->isChecked());
  EXPECT_TRUE(control<QRadioButton>(u"单选框输入Ube"_s)->isChecked());
  EXPECT_FALSE(control<QRadioButton>(u"单选框自动输入"_s)->isChecked());
  EXPECT_FALSE(control<QRadioButton>(u"单选框不转"_s)->isChecked());

  // The names ANSI and Unicode say which encodings they are.
  const struct {
    QString name;
    QString says;
  } kTips[] = {
      {u"单选框输入ANSI"_s, u"GBK"_s},     {u"单选框输出ANSI"_s, u"GBK"_s},
      {u"单选框输入Ule"_s, u"UTF-16LE"_s}, {u"单选框输出Ule"_s, u"UTF-16LE"_s},
      {u"单选框输入Ube"_s, u"UTF-16BE"_s}, {u"单选框输出Ube"_s, u"UTF-16BE"_s},
      {u"单选框输出UTF8"_s, u"BOM"_s},     {u"单选框输出UTF8无BOM"_s, u"不写 BOM"_s},
  };
  for (const auto& tip : kTips) {
    EXPECT_TRUE(control(tip.name)->toolTip().contains(tip.says)) << tip.name.toStdString();
  }

  auto* bar = control<QProgressBar>(u"进度条"_s);
  EXPECT_EQ(status()->parentWidget(), bar);
  EXPECT_EQ(status()->geometry(), QRect(10, 0, bar->width() - 10, bar->height()));
  EXPECT_EQ(control(u"编辑框文件过滤"_s)->accessibleName(), u"文件过滤"_s);
  // The page fits the smallest main window (800 x 560, the page 126 pixels below its top).
  EXPECT_LE(tool_->minimumSizeHint().width(), 800);
  EXPECT_LE(tool_->minimumSizeHint().height(), 560 - 126);
  // Every control a user acts on has a name a screen reader can say.
  for (QWidget* each : tool_->findChildren<QWidget*>()) {
    if (auto* box = qobject_cast<QLineEdit*>(each)) {
      EXPECT_FALSE(box->accessibleName().isEmpty()) << box->objectName().toStdString();
    }
    if (auto* clickable = qobject_cast<QAbstractButton*>(each)) {
      EXPECT_FALSE(clickable->text().trimmed().isEmpty()) << clickable->objectName().toStdString();
    }
  }
}

TEST_F(TranscodeWindow, FilesButtonConvertsTheChosenFilesIntoTheConvertedTree) {
  const std::string folder = dir_ / "文档";
  writeBytes(folder + "/a.txt", kGbkText);
  writeBytes(folder + "/b.htm", kGbkText);
  writeBytes(dir_ / "last/x.txt", "x");
  setControlTag(button(u"按钮批量转换"_s), native(dir_ / "last"));
  Modals modals;
  QString preselected;
  QString filters;
  modals.other = [&](QWidget* modal) {
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      preselected = dialog->directory().absolutePath();
      filters = dialog->nameFilters().join(u"|"_s);
    }
    pickInFileDialog({native(folder + "/a.txt"), native(folder + "/b.htm")})(modal);
  };
  OpenedPaths opened;

  QTest::mouseClick(button(u"按钮批量转换"_s), Qt::LeftButton);
  ASSERT_TRUE(testing::waitUntilIdle(*tool_));

  EXPECT_EQ(modals.otherTitles, QStringList{u"选择要批量转换的多个文件："_s});
  EXPECT_EQ(preselected, native(dir_ / "last"));
  EXPECT_TRUE(filters.startsWith(u"文本和网页文件 (*.txt *.htm *.html)"_s)) << filters.toStdString();
  EXPECT_EQ(readBytes(folder + "(已转换)/a.txt"), kUtf8Text);
  EXPECT_EQ(readBytes(folder + "(已转换)/b.htm"), kUtf8Text);
  EXPECT_EQ(readBytes(folder + "/a.txt"), kGbkText);
  EXPECT_EQ(controlTag(button(u"按钮批量转换"_s)), native(folder));
  EXPECT_EQ(button(u"按钮批量转换"_s)->text(), kFilesIdle);
  EXPECT_TRUE(button(u"按钮批量转换文件夹"_s)->isEnabled());
  EXPECT_EQ(status()->text(), kDone + native(folder + "(已转换)"));
  EXPECT_TRUE(modals.texts.isEmpty());

  // A left click on the completion opens the folder; a right click does nothing.
  clickWith(status(), Qt::RightButton);
  EXPECT_TRUE(opened.paths.isEmpty());
  clickWith(status(), Qt::LeftButton);
  EXPECT_EQ(opened.paths, QStringList{native(folder + "(已转换)")});

  // A cancelled dialog starts nothing and keeps the tag.
  modals.other = pickInFileDialog({});
  QTest::mouseClick(button(u"按钮批量转换"_s), Qt::LeftButton);
  EXPECT_FALSE(tool_->running());
  EXPECT_EQ(controlTag(button(u"按钮批量转换"_s)), native(folder));
  EXPECT_EQ(button(u"按钮批量转换"_s)->text(), kFilesIdle);
}

TEST_F(TranscodeWindow, RightButtonFolderRunUsesTheAlternativeMatcher) {
  const std::string folder = dir_ / "mixed";
  writeBytes(folder + "/a.txt", kGbkText);
  writeBytes(folder + "/b.md", kGbkText);
  writeBytes(folder + "/c.log", kGbkText);
  control<QLineEdit>(u"编辑框文件过滤"_s)->setText(u"*.txt|*.md"_s);
  const QString title = u"选择要批量转换的文件(*.txt|*.md)所在文件夹："_s;
  Modals modals;
  modals.other = pickInFileDialog({native(folder)});

  // The whole filter is one pattern that names no file: no folder was made, none is offered.
  OpenedPaths opened;
  clickWith(button(u"按钮批量转换文件夹"_s), Qt::RightButton);
  ASSERT_TRUE(testing::waitUntilIdle(*tool_));
  EXPECT_EQ(modals.otherTitles, QStringList{title});
  EXPECT_FALSE(exists(folder + "(已转换)"));
  EXPECT_EQ(status()->text(), u"转换完成：没有转换任何文件"_s);
  clickWith(status(), Qt::LeftButton);
  EXPECT_TRUE(opened.paths.isEmpty());
  EXPECT_EQ(controlTag(button(u"按钮批量转换文件夹"_s)), native(folder));

  // The left button lists each pattern in turn.
  QTest::mouseClick(button(u"按钮批量转换文件夹"_s), Qt::LeftButton);
  ASSERT_TRUE(testing::waitUntilIdle(*tool_));
  EXPECT_EQ(modals.otherTitles, (QStringList{title, title}));
  EXPECT_EQ(listNames(folder + "(已转换)"), (std::vector<std::string>{"a.txt", "b.md"}));
  EXPECT_EQ(readBytes(folder + "(已转换)/b.md"), kUtf8Text);
  EXPECT_EQ(button(u"按钮批量转换文件夹"_s)->text(), kFolderIdle);
}

// "预览" lists every file of the chosen folder (or the chosen files, with the right button) with the
// encoding it would be read in and its first line, and writes nothing; the chosen input encoding
// counts, Big5 among them.
TEST_F(TranscodeWindow, PreviewListsEachFileWithItsEncodingAndFirstLineAndWritesNothing) {
  const std::string folder = dir_ / "texts";
  const std::string big5 = ConvertCharset(utf8(u8"我們今天下午去圖書館借了幾本書\r\n第二行"), "UTF-8", "BIG5");
  writeBytes(folder + "/a.txt", big5);
  writeBytes(folder + "/b.txt", kGbkText + "\r\nmore");
  writeBytes(folder + "/c.txt", ConvertCharset(utf8(u8"你好 world\n"), "UTF-8", "UTF-16LE"));
  QPushButton* preview = button(u"按钮预览"_s);
  EXPECT_EQ(preview->text(), u"预览"_s);

  Modals modals;
  QList<QStringList> shown;  // the rows of each preview, cells joined by "|"
  const auto readTable = [&](QWidget* modal) {
    auto* table = modal->findChild<QTableWidget*>(u"预览列表"_s);
    ASSERT_NE(table, nullptr);
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
      rows << table->item(row, 0)->text() + u"|"_s + table->item(row, 1)->text() + u"|"_s + table->item(row, 2)->text();
    }
    shown << rows;
    QTest::mouseClick(modal->findChild<QPushButton*>(u"按钮关闭预览"_s), Qt::LeftButton);
  };
  modals.next(pickInFileDialog({native(folder)}));
  modals.next(readTable);
  QTest::mouseClick(preview, Qt::LeftButton);
  ASSERT_TRUE(testing::waitUntilIdle(*tool_, [&] { return shown.size() == 1; }));
  EXPECT_EQ(shown[0], (QStringList{native(folder + "/a.txt") + u"|Big5|我們今天下午去圖書館借了幾本書"_s,
                                   native(folder + "/b.txt") + u"|ANSI|中文内容"_s,
                                   native(folder + "/c.txt") + u"|Unicode|你好 world"_s}));
  EXPECT_FALSE(exists(folder + "(已转换)"));

  // Chosen files with the right button, read as Big5 because the input says so.
  clickIndicator(control<QRadioButton>(u"单选框输入Big5"_s));
  modals.next(pickInFileDialog({native(folder + "/a.txt")}));
  modals.next(readTable);
  clickWith(preview, Qt::RightButton);
  ASSERT_TRUE(testing::waitUntilIdle(*tool_, [&] { return shown.size() == 2; }));
  EXPECT_EQ(shown[1], QStringList{native(folder + "/a.txt") + u"|Big5|我們今天下午去圖書館借了幾本書"_s});
  EXPECT_FALSE(exists(folder + "(已转换)"));
  EXPECT_EQ(readBytes(folder + "/a.txt"), big5);

  // And a run reads them as the preview said.
  clickIndicator(control<QRadioButton>(u"单选框自动输入"_s));
  modals.next(pickInFileDialog({native(folder)}));
  QTest::mouseClick(button(u"按钮批量转换文件夹"_s), Qt::LeftButton);
  ASSERT_TRUE(testing::waitUntilIdle(*tool_));
  EXPECT_EQ(readBytes(folder + "(已转换)/a.txt"), kBom + utf8(u8"我們今天下午去圖書館借了幾本書\r\n第二行"));
  EXPECT_EQ(readBytes(folder + "(已转换)/c.txt"), kBom + utf8(u8"你好 world\n"));
}

TEST_F(TranscodeWindow, DroppedFilesAndASubfolderGoIntoOneConvertedTree) {
  const std::string docs = dir_ / "docs";
  writeBytes(docs + "/a.txt", kGbkText);
  writeBytes(docs + "/b.txt", kGbkText);
  writeBytes(docs + "/sub/c.txt", kGbkText);
  writeBytes(docs + "/sub/deeper/d.txt", kGbkText);
  writeBytes(docs + "/untouched.txt", kGbkText);
  control<QCheckBox>(u"选择框包含子文件夹"_s)->click();
  Modals modals;

  ASSERT_TRUE(drop({docs + "/b.txt", docs + "/sub", docs + "/a.txt"}));
  EXPECT_TRUE(modals.texts.isEmpty()) << "the question waits until the drop has completed";
  waitForRunAfterQuestion(modals);

  EXPECT_EQ(modals.texts, QStringList{u"确定要转换被拖放的 2 个文件和 1 个目录的编码吗？"_s});
  const std::string tree = docs + "(已转换)";
  EXPECT_EQ(listNames(tree), (std::vector<std::string>{"a.txt", "b.txt", "sub"}));
  EXPECT_EQ(listNames(tree + "/sub"), (std::vector<std::string>{"c.txt", "deeper"}));
  EXPECT_EQ(readBytes(tree + "/sub/deeper/d.txt"), kUtf8Text);
  EXPECT_EQ(readBytes(tree + "/a.txt"), kUtf8Text);
  EXPECT_EQ(status()->text(), kDone + native(tree));
  // Drop runs change no caption.
  EXPECT_EQ(button(u"按钮批量转换"_s)->text(), kFilesIdle);
  EXPECT_EQ(button(u"按钮批量转换文件夹"_s)->text(), kFolderIdle);
}

TEST_F(TranscodeWindow, DroppedFoldersEachGetTheirOwnConvertedSibling) {
  writeBytes(dir_ / "x/one.txt", kGbkText);
  writeBytes(dir_ / "y/two.txt", kGbkText);
  const QString question = u"确定要转换被拖放的 0 个文件和 2 个目录的编码吗？"_s;
  Modals modals;
  modals.answerBox = [](const QString&) { return QMessageBox::Cancel; };
  ASSERT_TRUE(drop({dir_ / "x", dir_ / "y"}));
  waitForRunAfterQuestion(modals);
  EXPECT_EQ(modals.texts, QStringList{question});
  EXPECT_EQ(listNames(dir_.path()), (std::vector<std::string>{"x", "y"})) << "cancel converts nothing";

  modals.answerBox = nullptr;
  ASSERT_TRUE(drop({dir_ / "x", dir_ / "y"}));
  waitForRunAfterQuestion(modals, 2);
  EXPECT_EQ(listNames(dir_.path()), (std::vector<std::string>{"x", "x(已转换)", "y", "y(已转换)"}));
  EXPECT_EQ(readBytes(dir_ / "x(已转换)/one.txt"), kUtf8Text);
  EXPECT_EQ(readBytes(dir_ / "y(已转换)/two.txt"), kUtf8Text);
  // Folders go from the last dropped to the first: x was the last base.
  EXPECT_EQ(status()->text(), kDone + native(dir_ / "x(已转换)"));

  // Files alone: the question leaves the folders out.
  ASSERT_TRUE(drop({dir_ / "x/one.txt"}));
  waitForRunAfterQuestion(modals, 3);
  EXPECT_EQ(modals.texts, (QStringList{question, question, u"确定要转换被拖放的 1 个文件的编码吗？"_s}));
}

TEST_F(TranscodeWindow, OverwritingWithConvertedNamesReplacesTheSimplifiedName) {
  const std::string folder = dir_ / "names";
  writeBytes(folder + "/简体.txt", gb(u8"简体中文"));
  clickIndicator(control(u"选择框覆盖原文件"_s));
  clickIndicator(control(u"选择框同时转换文件名"_s));
  clickIndicator(control(u"单选框简到繁"_s));
  clickIndicator(control(u"单选框输出ANSI"_s));
  Modals modals;

  ASSERT_TRUE(drop({folder + "/简体.txt"}));
  waitForRunAfterQuestion(modals);
  EXPECT_EQ(listNames(folder), std::vector<std::string>{"簡體.txt"});
  EXPECT_EQ(readBytes(folder + "/簡體.txt"), gb(u8"簡體中文"));
  // Over the sources the completion names the base folder itself.
  EXPECT_EQ(status()->text(), kDone + native(folder));

  // With 不转 the option changes no name.
  clickIndicator(control(u"单选框不转"_s));
  clickIndicator(control(u"单选框输出UTF8"_s));
  ASSERT_TRUE(drop({folder + "/簡體.txt"}));
  waitForRunAfterQuestion(modals, 2);
  EXPECT_EQ(listNames(folder), std::vector<std::string>{"簡體.txt"});
  EXPECT_EQ(readBytes(folder + "/簡體.txt"), kBom + utf8(u8"簡體中文"));
}

TEST_F(TranscodeWindow, AReadOnlyFolderLosesNothingAndTheFailuresAreListed) {
  const std::string folder = dir_ / "locked";
  writeBytes(folder + "/简体.txt", gb(u8"简体中文"));
  writeBytes(dir_ / "bad.txt", "A\xFF\xFE\x42");  // a forced UTF-8 decode cannot read these bytes
  clickIndicator(control(u"选择框覆盖原文件"_s));
  clickIndicator(control(u"选择框同时转换文件名"_s));
  clickIndicator(control(u"单选框简到繁"_s));
  testing::ReadOnlyFolder locked(folder);
  if (!locked.ready()) GTEST_SKIP() << "cannot make a folder read-only here";
  Modals modals;
  QString title;
  QString details;
  modals.other = [&](QWidget* dialog) {
    title = dialog->windowTitle();
    details = dialog->findChild<QWidget*>(u"编辑框提示"_s)->property("plainText").toString() + u"\n"_s +
              dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->toPlainText();
    dialog->findChild<QPushButton*>(u"按钮取消"_s)->click();
  };

  ASSERT_TRUE(drop({folder + "/简体.txt"}));
  waitForRunAfterQuestion(modals);
  EXPECT_EQ(listNames(folder), std::vector<std::string>{"简体.txt"});
  EXPECT_EQ(readBytes(folder + "/简体.txt"), gb(u8"简体中文"));
  EXPECT_EQ(title, u"信息："_s);
  EXPECT_TRUE(details.contains(native(folder + "/简体.txt"))) << details.toStdString();
  EXPECT_TRUE(details.contains(u"原文件未改动"_s)) << details.toStdString();
  // The end says how many failed; nothing was written, so nothing is offered.
  EXPECT_EQ(status()->text(), u"转换完成：已转换 0 个文件，失败 1 个"_s);
  OpenedPaths opened;
  clickWith(status(), Qt::LeftButton);
  EXPECT_TRUE(opened.paths.isEmpty());

  // A file written with losses is listed under its own heading.
  details.clear();
  clickIndicator(control(u"单选框输入UTF8"_s));
  clickIndicator(control(u"单选框不转"_s));
  ASSERT_TRUE(drop({dir_ / "bad.txt"}));
  waitForRunAfterQuestion(modals, 2);
  EXPECT_TRUE(details.contains(u"以下文件已处理，但有字符未能转换："_s)) << details.toStdString();
  EXPECT_TRUE(details.contains(native(dir_ / "bad.txt"))) << details.toStdString();
}

TEST_F(TranscodeWindow, StopClickEndsTheRunAfterTheCurrentFile) {
  // Enough files over the sources (each replacement is synced) for a run far longer than the test.
  constexpr int kFiles = 3000;
  const std::string folder = dir_ / "many";
  for (int i = 0; i < kFiles; ++i) writeBytes(folder + "/" + std::to_string(100000 + i) + ".txt", kGbkText);
  clickIndicator(control(u"选择框覆盖原文件"_s));
  auto* files = button(u"按钮批量转换"_s);
  auto* folderButton = button(u"按钮批量转换文件夹"_s);
  const auto countConverted = [&] {
    int converted = 0;
    for (const std::string& name : listNames(folder)) {
      const std::string bytes = readBytes(folder + "/" + name);
      EXPECT_TRUE(bytes == kGbkText || bytes == kUtf8Text) << name << " is neither old nor new";
      converted += bytes == kUtf8Text;
    }
    EXPECT_EQ(listNames(folder).size(), static_cast<size_t>(kFiles)) << "no file lost or left behind";
    return converted;
  };

  Modals modals;
  modals.other = pickInFileDialog({native(folder)});
  QTest::mouseClick(folderButton, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return status()->text().startsWith(u"(3000:"_s); }, kRunTimeoutMs));
  EXPECT_EQ(folderButton->text(), u" 点我停止"_s);
  EXPECT_FALSE(files->isEnabled());
  EXPECT_FALSE(drop({folder})) << "no drop while a run is active";
  // The window keeps handling events while the worker converts.
  const QString seen = status()->text();
  ASSERT_TRUE(QTest::qWaitFor([&] { return status()->text() != seen; }, kRunTimeoutMs));

  QTest::mouseClick(folderButton, Qt::LeftButton);
  EXPECT_EQ(folderButton->text(), u" 停止中.."_s);
  ASSERT_TRUE(testing::waitUntilIdle(*tool_));
  EXPECT_EQ(folderButton->text(), kFolderIdle);
  EXPECT_TRUE(files->isEnabled());
  const int first = countConverted();
  EXPECT_GT(first, 0);
  EXPECT_LT(first, kFiles);
  // The end says that the run stopped and what it did.
  const QString stopped = u"已停止。已转换 %1 个文件。点击可打开目录："_s;
  EXPECT_EQ(status()->text(), stopped.arg(first) + native(folder));

  // A drop run shows no caption; a click on either button stops it all the same. It starts again
  // from the first file: let it pass the files converted before.
  ASSERT_TRUE(drop({folder}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return fileNumber() > first + 10; }, kRunTimeoutMs));
  EXPECT_EQ(files->text(), kFilesIdle);
  EXPECT_EQ(folderButton->text(), kFolderIdle);
  QTest::mouseClick(files, Qt::LeftButton);
  EXPECT_EQ(files->text(), u"停止中.."_s);
  ASSERT_TRUE(testing::waitUntilIdle(*tool_));
  EXPECT_EQ(files->text(), kFilesIdle);
  EXPECT_TRUE(status()->text().startsWith(u"已停止。已转换 "_s)) << status()->text().toStdString();
  EXPECT_TRUE(status()->text().endsWith(u" 个文件。点击可打开目录："_s + native(folder)))
      << status()->text().toStdString();
  EXPECT_EQ(modals.otherTitles.size(), 1) << "the stop click opened no dialog";
  const int second = countConverted();
  EXPECT_GT(second, first);
  EXPECT_LT(second, kFiles);
}

TEST_F(TranscodeWindow, PicturesAndProgramsAreLeftAloneAndTheEndCountsThem) {
  // The folder of the report: GBK texts, a picture and a program, over the originals with
  // simplified to traditional and converted names.
  const std::string folder = dir_ / "mixed";
  const std::string png = testing::pngLikeBytes(200000, 1);
  const std::string program = testing::binaryWithoutNul(8000, 2);
  writeBytes(folder + "/简体.txt", gb(u8"简体中文"));
  writeBytes(folder + "/图片.png", png);
  writeBytes(folder + "/程序.bin", program);
  clickIndicator(control(u"选择框覆盖原文件"_s));
  clickIndicator(control(u"选择框同时转换文件名"_s));
  clickIndicator(control(u"单选框简到繁"_s));
  clickIndicator(control(u"单选框输出UTF8无BOM"_s));
  Modals modals;
  QString details;
  modals.other = [&](QWidget* dialog) {
    details = dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->toPlainText();
    dialog->findChild<QPushButton*>(u"按钮取消"_s)->click();
  };
  OpenedPaths opened;

  ASSERT_TRUE(drop({folder}));
  waitForRunAfterQuestion(modals);
  EXPECT_EQ(listNames(folder), (std::vector<std::string>{"图片.png", "程序.bin", "簡體.txt"}));
  EXPECT_EQ(readBytes(folder + "/图片.png"), png);
  EXPECT_EQ(readBytes(folder + "/程序.bin"), program);
  EXPECT_EQ(readBytes(folder + "/簡體.txt"), utf8(u8"簡體中文")) << "UTF-8 without a mark";
  EXPECT_EQ(details.count(u"不是文本文件，未转换"_s), 2) << details.toStdString();
  EXPECT_TRUE(details.contains(native(folder + "/图片.png"))) << details.toStdString();
  EXPECT_EQ(status()->text(), u"转换完成：已转换 1 个文件，失败 2 个。点击可打开目录："_s + native(folder));
  clickWith(status(), Qt::LeftButton);
  EXPECT_EQ(opened.paths, QStringList{native(folder)});
}

TEST_F(TranscodeWindow, OptionsSurviveClosingAndReopeningTheProgram) {
  clickIndicator(control(u"单选框输入Ule"_s));
  clickIndicator(control(u"单选框自动输出"_s));
  clickIndicator(control(u"单选框繁到b5"_s));
  clickIndicator(control(u"选择框包含子文件夹"_s));
  control<QLineEdit>(u"编辑框文件过滤"_s)->setText(u"*.txt|*.htm"_s);
  setControlTag(button(u"按钮批量转换"_s), native(dir_ / "files"));
  setControlTag(button(u"按钮批量转换文件夹"_s), native(dir_ / "folder"));

  tool_->close();
  tool_.reset();
  store_.release();
  ASSERT_TRUE(store_.Bind(valuePath_));
  openWindow();

  const QStringList kChecked = {u"单选框输入Ule"_s, u"单选框自动输出"_s, u"单选框繁到b5"_s, u"选择框包含子文件夹"_s};
  for (QAbstractButton* each : tool_->findChildren<QAbstractButton*>()) {
    if (qobject_cast<QPushButton*>(each)) continue;
    EXPECT_EQ(each->isChecked(), kChecked.contains(each->objectName())) << each->objectName().toStdString();
  }
  EXPECT_EQ(control<QLineEdit>(u"编辑框文件过滤"_s)->text(), u"*.txt|*.htm"_s);
  EXPECT_EQ(controlTag(button(u"按钮批量转换"_s)), native(dir_ / "files"));
  EXPECT_EQ(controlTag(button(u"按钮批量转换文件夹"_s)), native(dir_ / "folder"));
  EXPECT_EQ(button(u"按钮批量转换文件夹"_s)->text(), kFolderIdle);
  EXPECT_TRUE(toQString(store_.text()).contains(u"[文件批量转码]"_s));

  // The restored encodings are the ones a run uses: UTF-16LE in, the detected code out.
  // Forced UTF-16 skips the first two bytes; detection would take the file as ANSI up to its NUL.
  writeBytes(dir_ / "w/u.txt", std::string("  A\0B\0", 6));
  Modals modals;
  ASSERT_TRUE(drop({dir_ / "w/u.txt"}));
  waitForRunAfterQuestion(modals);
  EXPECT_EQ(testing::hex(readBytes(dir_ / "w(已转换)/u.txt")), testing::hex(std::string("\xFF\xFE" "A\0B\0", 6)));
}

}  // namespace
}  // namespace chengling
