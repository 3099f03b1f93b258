#include "tools/csv_table/csv_table_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "foundation/native_text.h"
#include "platform/clipboard.h"
#include "platform/qt_text.h"
#include "shell/tool_tip.h"
#include "support/fault_fixtures.h"
#include "support/test_support.h"
#include "support/window_test_kit.h"
#include "tools/csv_table/table_grid.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

using testing::Modals;
using testing::TempDir;
using testing::dropPaths;
using testing::pickInFileDialog;
using testing::readBytes;
using testing::waitUntilIdle;
using testing::writeBytes;
using Panel = TableGrid::Panel;
using Rows = std::vector<std::vector<std::string>>;

using testing::kRunTimeoutMs;

using testing::native;

// Literals here are UTF-8; the table holds internal text.
std::string in(std::string_view utf8) { return internalFromUtf8(utf8); }

// Every caption a button shows while the test waits, including those shown inside a nested wait.
class CaptionLog : public QObject {
 public:
  explicit CaptionLog(QPushButton* button) : button_(button) {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] {
      if (seen.isEmpty() || seen.constLast() != button_->text()) seen << button_->text();
    });
    timer->start(5);
  }
  QStringList seen;

 private:
  QPushButton* button_;
};

class CsvTableWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    tool_ = std::make_unique<CsvTableTool>();
    tool_->resize(972, 528);
    tool_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tool_.get()));
  }

  template <typename T = QWidget>
  T* control(const QString& name) {
    return testing::findControl<T>(tool_.get(), name);
  }
  QPushButton* button(const QString& name) { return control<QPushButton>(name); }
  TableGrid* grid() { return tool_->grid(); }
  TableModel& model() { return grid()->model(); }
  QWidget* panel(Panel which) { return grid()->panel(which); }

  // Drops `paths` on the page and waits for the import they start.
  void dropAndWait(const std::vector<std::string>& paths, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    ASSERT_TRUE(dropPaths(tool_.get(), paths, modifiers));
    ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return model().ColumnCount() > 0; }));
  }

  std::vector<std::string> titles() {
    std::vector<std::string> out;
    for (const TableColumn& column : model().columns()) out.push_back(utf8FromInternal(column.title));
    return out;
  }
  Rows rows() {
    Rows out;
    for (int32_t r = 1; r <= model().RowCount(); ++r) {
      out.emplace_back();
      for (const std::string& cell : model().row(r).cells()) out.back().push_back(utf8FromInternal(cell));
    }
    return out;
  }

  // Fills the grid with `count` rows of one 60-pixel column "列" holding the row number.
  void fillNumbers(int count, int width = 60) {
    TableModel table;
    table.AddColumn(in("列"), width);
    for (int i = 1; i <= count; ++i) table.AddRow({std::to_string(i)});
    grid()->setModel(std::move(table));
  }

  // Picks sort order `name` from the menu that a press on the title of `column` opens.
  void sortBy(int column, const QString& name) {
    const int x = columnLeft(model(), column) + model().GetColumnWidth(column) / 2;
    QTest::mousePress(panel(Panel::Header), Qt::LeftButton, {}, QPoint(x, 12));
    QMenu* menu = tool_->sortMenu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
    QAction* item = menu->findChild<QAction*>(name);
    ASSERT_NE(item, nullptr);
      const std::string title = model().GetColumnTitle(column);
    item->trigger();
    menu->hide();
    EXPECT_EQ(model().GetColumnTitle(column), title + ">>") << "the title is marked while sorting";
    ASSERT_TRUE(waitUntilIdle(*tool_));
    EXPECT_EQ(model().GetColumnTitle(column), title);
  }

  TempDir dir_;
  std::unique_ptr<CsvTableTool> tool_;
};

TEST_F(CsvTableWindow, ButtonsCarryTheirCaptionsAndTheGridFollowsEveryResize) {
  struct Case {
    QString name;
    QString caption;
  };
  const Case kButtons[] = {
      {u"按钮导入文本表格"_s, u"导入csv文件"_s}, {u"按钮粘贴文本表格"_s, u"粘贴csv数据"_s},
      {u"按钮导出文本表格"_s, u"导出"_s},        {u"按钮复制文本表格"_s, u"复制"_s},
      {u"按钮什么是csv文件"_s, u"什么是csv文件？"_s},
  };
  for (const Case& c : kButtons) {
    QPushButton* b = button(c.name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->text(), c.caption) << c.name.toStdString();
    EXPECT_TRUE(b->isVisible()) << c.name.toStdString();
  }
  for (const QString& name : {u"画板容器"_s, u"画板表头"_s, u"画板数据"_s}) {
    EXPECT_FALSE(control(name)->accessibleName().isEmpty()) << name.toStdString();
  }
  EXPECT_TRUE(control<QLabel>(u"标签1"_s)->isHidden());
  EXPECT_EQ(tool_->sortMenu()->objectName(), u"菜单"_s);
  QStringList items;
  for (QAction* item : tool_->sortMenu()->actions()) items << item->text();
  EXPECT_EQ(items, (QStringList{u"按文本长度排序"_s, u"按字符数量排序"_s, u"按字符代码排序"_s, u"按拼音字母排序"_s,
                                u"按数值排序"_s, u"按拼接数值排序"_s, u"按日期时间排序"_s}));

  const QRect importRect = button(u"按钮导入文本表格"_s)->geometry();
  for (const QSize size : {QSize(972, 528), QSize(800, 434), QSize(1280, 700)}) {
    tool_->resize(size);
    const int top = importRect.bottom() + 1 + 10;
    EXPECT_EQ(grid()->geometry(), QRect(10, top, size.width() - 20, size.height() - top - 10)) << size.width();
    for (const Case& c : kButtons) {
      EXPECT_LE(button(c.name)->geometry().right(), size.width() - 10) << "nothing clipped at " << size.width();
    }
  }
}

// Whether the box beside the buttons shows a frame or a field of its own colour (as an empty edit
// box would) rather than the page's background: along its edges and in the strips above and below
// where its text runs.
bool statusBoxLooksLikeAField(QWidget* page, QProgressBar* bar) {
  const QImage image = page->grab(bar->geometry()).toImage();
  const QColor background = page->palette().color(QPalette::Window);
  for (int x = 0; x < image.width(); ++x) {
    for (int y : {0, 1, 2, 3, image.height() - 4, image.height() - 3, image.height() - 2, image.height() - 1}) {
      if (image.pixelColor(x, y) != background) return true;
    }
  }
  for (int y = 0; y < image.height(); ++y) {
    for (int x : {0, 1, 2, image.width() - 3, image.width() - 2, image.width() - 1}) {
      if (image.pixelColor(x, y) != background) return true;
    }
  }
  return false;
}

TEST_F(CsvTableWindow, EveryButtonExplainsItselfAndTheIdleStatusBoxReadsAsAStatusLine) {
  struct Case {
    QString name;
    QString tip;
  };
  const Case kTips[] = {
      {u"按钮导入文本表格"_s, u"选择一个或多个 csv、txt 文件导入，后面文件的行接在第一个文件的表头下；"
                              u"按住 Ctrl 导入时第一行也作为数据。导入中再点一下停止"_s},
      {u"按钮粘贴文本表格"_s, u"把剪贴板里的表格文本导入，替换现在的表格；按住 Ctrl 时第一行也作为数据"_s},
      {u"按钮导出文本表格"_s,
       u"把表格写入文件，编码与第一个导入的文件相同：文件名以 .csv 结尾时每项加引号，否则只用逗号隔开"_s},
      {u"按钮复制文本表格"_s, u"把全部数据行（不含表头）以加引号的 csv 文本复制到剪贴板"_s},
      {u"按钮什么是csv文件"_s, u"csv 文件是什么样的，怎样从表格软件得到"_s},
  };
  for (const Case& c : kTips) EXPECT_EQ(button(c.name)->toolTip(), c.tip) << c.name.toStdString();

  auto* status = control<QLabel>(u"透明标签"_s);
  auto* bar = control<QProgressBar>(u"进度条"_s);
  EXPECT_EQ(status->accessibleName(), u"状态"_s);
  EXPECT_EQ(status->text(), u"尚未导入，可拖入文件"_s);
  tool_->resize(800, 434);
  EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->width()) << "not clipped at 800";
  tool_->resize(972, 528);
  EXPECT_EQ(status->palette().color(QPalette::WindowText), tool_->palette().color(QPalette::PlaceholderText))
      << "a hint, in the muted colour";
  EXPECT_FALSE(statusBoxLooksLikeAField(tool_.get(), bar));

  writeBytes(dir_ / "in.csv", "a\n1\n");
  dropAndWait({dir_ / "in.csv"});
  EXPECT_EQ(status->text(), u"共导入 1 行"_s);
  EXPECT_EQ(status->palette().color(QPalette::WindowText), tool_->palette().color(QPalette::WindowText));
  EXPECT_FALSE(statusBoxLooksLikeAField(tool_.get(), bar)) << "a status line after an import too";
}

// A table saved by a spreadsheet program goes out to a .csv name as the program wrote it with every
// field quoted (tests/data/csv/spreadsheet.py), line breaks, doubled quotes and all.
TEST_F(CsvTableWindow, ASpreadsheetTableExportsAsTheSpreadsheetWroteIt) {
  const std::string data = std::string(std::getenv("CHENGLING_TEST_DATA")) + "/csv/";
  dropAndWait({data + "spreadsheet-utf8.csv"});
  EXPECT_EQ(control<QLabel>(u"透明标签"_s)->text(), u"共导入 7 行"_s);
  EXPECT_EQ(rows()[0][1], "他说\"好的\"");
  EXPECT_EQ(rows()[1][1], "第一行\n第二行");
  Modals modals;
  modals.next(pickInFileDialog({native(dir_ / "out.csv")}));
  QTest::mouseClick(button(u"按钮导出文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return modals.texts.size() == 1; }, kRunTimeoutMs));
  EXPECT_EQ(readBytes(dir_ / "out.csv"), readBytes(data + "spreadsheet-utf8-quoted.csv"));
}

TEST_F(CsvTableWindow, QuotesNeverClosedAreToldInTheStatusLineWithoutADialog) {
  writeBytes(dir_ / "q.csv", "a,b\n'x,1\n\"y,2\n");
  Modals modals;
  dropAndWait({dir_ / "q.csv"});
  EXPECT_EQ(rows(), (Rows{{"'x", "1"}, {"\"y", "2"}}));
  EXPECT_EQ(control<QLabel>(u"透明标签"_s)->text(), u"共导入 2 行；2 行的引号没有闭合，已把引号当作普通字符导入"_s);
  EXPECT_TRUE(modals.otherTitles.isEmpty());
  EXPECT_TRUE(modals.texts.isEmpty());
}

TEST_F(CsvTableWindow, TwoDroppedFilesMakeOneTableUnderTheFirstHeaderWithFittedWidths) {
  const std::string longCell(200, 'x');
  writeBytes(dir_ / "a.csv", "\"#评论#\",\"#时间#\",\"#昵称#\"\r\n\"好\",\"2017-03-12\",\"甲\"\r\n\"短\",\"" + longCell + "\"\r\n");
  writeBytes(dir_ / "b.csv", "\"#评论#\",\"#时间#\",\"#昵称#\"\n\"再来\",\"2018-01-01\",\"乙\",\"多余\"\n");

  dropAndWait({dir_ / "a.csv", dir_ / "b.csv"});

  EXPECT_EQ(titles(), (std::vector<std::string>{"#评论#", "#时间#", "#昵称#"}));
  EXPECT_EQ(rows(), (Rows{{"好", "2017-03-12", "甲"}, {"短", longCell, ""}, {"再来", "2018-01-01", "乙"}}));
  EXPECT_EQ(button(u"按钮导入文本表格"_s)->text(), u"导入csv文件"_s);
  // Titles of 6 bytes (GBK) give 6 × 8 + 10; the 200-byte cell is capped at 600.
  EXPECT_EQ(model().GetColumnWidth(1), 58);
  EXPECT_EQ(model().GetColumnWidth(2), 600);
  EXPECT_EQ(control<QLabel>(u"透明标签"_s)->text(), u"共导入 3 行"_s);
  EXPECT_EQ(tool_->exportEncoding(), TextEncoding::Utf8);
}

TEST_F(CsvTableWindow, CtrlHeldAtTheDropNumbersTheColumnsAndKeepsTheFirstLineAsData) {
  writeBytes(dir_ / "plain.csv", "1,2,3\n4,5,6\n");
  dropAndWait({dir_ / "plain.csv"}, Qt::ControlModifier);
  EXPECT_EQ(titles(), (std::vector<std::string>{"第1列", "第2列", "第3列"}));
  EXPECT_EQ(rows(), (Rows{{"1", "2", "3"}, {"4", "5", "6"}}));
}

TEST_F(CsvTableWindow, ImportChosenInTheDialogReplacesTheTable) {
  writeBytes(dir_ / "one.csv", "h\nr1\n");
  writeBytes(dir_ / "two.csv", "k\nq\n");
  dropAndWait({dir_ / "one.csv"});
  Modals modals;
  modals.next(pickInFileDialog({native(dir_ / "two.csv")}));
  QTest::mouseClick(button(u"按钮导入文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return !titles().empty() && titles()[0] == "k"; }));
  EXPECT_EQ(modals.otherTitles, QStringList{u"可以选择多个文件合并导入："_s});
  EXPECT_EQ(rows(), (Rows{{"q"}}));

  modals.next(pickInFileDialog({}));
  QTest::mouseClick(button(u"按钮导入文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return modals.otherTitles.size() == 2; }, kRunTimeoutMs));
  EXPECT_EQ(rows(), (Rows{{"q"}})) << "a cancelled dialog changes nothing";
}

TEST_F(CsvTableWindow, AClickDuringAnImportStopsItAndKeepsTheRowsReadSoFar) {
  std::string text = "n,v\n";
  const int kLines = 3000000;
  text.reserve(kLines * 10);
  for (int i = 0; i < kLines; ++i) text += std::to_string(i) + ",x\n";
  writeBytes(dir_ / "big.csv", text);
  auto* import = button(u"按钮导入文本表格"_s);

  ASSERT_TRUE(dropPaths(tool_.get(), {dir_ / "big.csv"}));
  // Some rows are read before the stop: progress comes every few thousand rows.
  auto* progress = control<QProgressBar>(u"进度条"_s);
  ASSERT_TRUE(QTest::qWaitFor([&] { return progress->value() > 0; }, kRunTimeoutMs));
  EXPECT_EQ(import->text(), u"正在导入.."_s);
  EXPECT_FALSE(button(u"按钮粘贴文本表格"_s)->isEnabled());
  QTest::mouseClick(import, Qt::LeftButton);
  EXPECT_EQ(import->text(), u"停止中.."_s);
  ASSERT_TRUE(waitUntilIdle(*tool_));

  EXPECT_EQ(import->text(), u"导入csv文件"_s);
  EXPECT_TRUE(button(u"按钮粘贴文本表格"_s)->isEnabled());
  EXPECT_EQ(titles(), (std::vector<std::string>{"n", "v"}));
  EXPECT_GT(model().RowCount(), 0);
  EXPECT_LT(model().RowCount(), kLines);
  EXPECT_EQ(model().GetCell(model().RowCount(), 1), std::to_string(model().RowCount() - 1)) << "whole rows, in order";
  EXPECT_TRUE(control<QLabel>(u"透明标签"_s)->text().startsWith(u"导入已停止"_s));
}

TEST_F(CsvTableWindow, ExportThenImportGivesTheSameTableAndTxtIsUnquoted) {
  writeBytes(dir_ / "in.csv", "\"名\",\"值\"\r\n\"\",\"x\"\r\n\"中文\",\"a,b\"\r\n");
  dropAndWait({dir_ / "in.csv"});
  const std::vector<std::string> titlesBefore = titles();
  const Rows rowsBefore = rows();

  Modals modals;
  modals.next(pickInFileDialog({native(dir_ / "out.CSV")}));
  QTest::mouseClick(button(u"按钮导出文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return modals.texts.size() == 1; }, kRunTimeoutMs));
  EXPECT_EQ(modals.otherTitles, QStringList{u"导出"_s});
  EXPECT_EQ(modals.texts, QStringList{u"已导出："_s + native(dir_ / "out.CSV")});
  EXPECT_EQ(button(u"按钮导出文本表格"_s)->text(), u"导出"_s);
  // The first file was UTF-8 without a mark; the export is UTF-8 with one.
  EXPECT_EQ(readBytes(dir_ / "out.CSV"), "\xEF\xBB\xBF\"名\",\"值\"\r\n\"\",\"x\"\r\n\"中文\",\"a,b\"\r\n");

  modals.next(pickInFileDialog({native(dir_ / "out.txt")}));
  QTest::mouseClick(button(u"按钮导出文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return modals.texts.size() == 2; }, kRunTimeoutMs));
  EXPECT_EQ(readBytes(dir_ / "out.txt"), "\xEF\xBB\xBF名,值\r\n,x\r\n中文,a,b\r\n");

  dropAndWait({dir_ / "out.CSV"});
  EXPECT_EQ(titles(), titlesBefore);
  EXPECT_EQ(rows(), rowsBefore);
}

// A NUL is a byte of its cell: the grid shows it as a replacement character, and the table goes
// out to a file and through the clipboard with the NUL where it was and every row after it.
TEST_F(CsvTableWindow, ANulInACellIsShownAndComesBackOutWhole) {
  using namespace std::string_literals;
  const std::string quoted = "\xEF\xBB\xBF\"名\",\"值\"\r\n\"1\",\"x\0y\"\r\n\"\0\",\"中\0文\"\r\n\"2\",\"z\"\r\n"s;
  writeBytes(dir_ / "in.csv", quoted);
  dropAndWait({dir_ / "in.csv"});
  const Rows imported = {{"1", "x\0y"s}, {"\0"s, "中\0文"s}, {"2", "z"}};
  ASSERT_EQ(rows(), imported);

  // The cell that holds only a NUL is drawn, not left blank like an empty one.
  const QImage data = panel(Panel::Data)->grab().toImage();
  const int rowHeight = grid()->metrics().rowHeight;
  auto inked = [&](int row) {
    for (int x = 2; x < model().GetColumnWidth(1) - 1; ++x) {
      for (int y = (row - 1) * rowHeight + 3; y < row * rowHeight - 1; ++y) {
        if (data.pixelColor(x, y).value() < 128) return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(inked(2)) << "a NUL alone";
  EXPECT_TRUE(inked(1));

  Modals modals;
  modals.next(pickInFileDialog({native(dir_ / "out.csv")}));
  QTest::mouseClick(button(u"按钮导出文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return modals.texts.size() == 1; }, kRunTimeoutMs));
  EXPECT_EQ(testing::hex(readBytes(dir_ / "out.csv")), testing::hex(quoted));
  modals.next(pickInFileDialog({native(dir_ / "out.txt")}));
  QTest::mouseClick(button(u"按钮导出文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return modals.texts.size() == 2; }, kRunTimeoutMs));
  EXPECT_EQ(testing::hex(readBytes(dir_ / "out.txt")),
            testing::hex("\xEF\xBB\xBF名,值\r\n1,x\0y\r\n\0,中\0文\r\n2,z\r\n"s));

  auto* copy = button(u"按钮复制文本表格"_s);
  CaptionLog log(copy);
  QTest::mouseClick(copy, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.seen.size() >= 2; }, kRunTimeoutMs));
  EXPECT_EQ(clipboardText(), u"\"1\",\"x\0y\"\n\"\0\",\"中\0文\"\n\"2\",\"z\"\n"_s);
  setClipboardText(u"a,b\n"_s + clipboardText());
  QTest::mouseClick(button(u"按钮粘贴文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return model().RowCount() == 3 && !tool_->running(); }, kRunTimeoutMs));
  EXPECT_EQ(rows(), imported);

  // A clipped cell's tip shows its NUL as the grid does.
  TableModel table;
  table.AddColumn("a", 60);
  table.AddRow({in("很长很长很长很长的") + "\0"s + in("一段文字")});
  grid()->setModel(std::move(table));
  QWidget* panelData = panel(Panel::Data);
  const QPoint at(30, 15);
  QTest::mouseMove(panelData, at);
  QHelpEvent rest(QEvent::ToolTip, at, panelData->mapToGlobal(at));
  QApplication::sendEvent(panelData, &rest);
  EXPECT_EQ(grid()->toolTip()->shownText(), u"很长很长很长很长的\uFFFD一段文字"_s);
}

TEST_F(CsvTableWindow, AnExportThatCannotBeWrittenSaysSoAndWritesNothing) {
  writeBytes(dir_ / "locked/keep.txt", "k");
  testing::ReadOnlyFolder readOnly(dir_ / "locked");
  ASSERT_TRUE(readOnly.ready());
  writeBytes(dir_ / "in.csv", "a\nb\n");
  dropAndWait({dir_ / "in.csv"});
  Modals modals;
  modals.next(pickInFileDialog({native(dir_ / "locked/out.csv")}));
  QTest::mouseClick(button(u"按钮导出文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return modals.texts.size() == 1; }, kRunTimeoutMs));
  EXPECT_TRUE(modals.texts[0].startsWith(u"未能导出到 "_s + native(dir_ / "locked/out.csv") + u"："_s))
      << modals.texts[0].toStdString();
  EXPECT_FALSE(testing::exists(dir_ / "locked/out.csv"));
}

TEST_F(CsvTableWindow, CopyPutsTheQuotedDataRowsOnTheClipboardAndFlashes) {
  auto* copy = button(u"按钮复制文本表格"_s);
  CaptionLog log(copy);
  setClipboardText(u"旧"_s);
  QTest::mouseClick(copy, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.seen.size() >= 2; }, kRunTimeoutMs));
  EXPECT_EQ(log.seen, (QStringList{u"已复制"_s, u"复制"_s}));
  EXPECT_EQ(clipboardText(), QString()) << "an empty table copies an empty text";

  writeBytes(dir_ / "in.csv", "t1,t2\n甲,1\n,2\n");
  dropAndWait({dir_ / "in.csv"});
  QTest::mouseClick(copy, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.seen.size() >= 4; }, kRunTimeoutMs));
  EXPECT_EQ(log.seen.mid(2), (QStringList{u"已复制"_s, u"复制"_s}));
  EXPECT_EQ(clipboardText(), u"\"甲\",\"1\"\n\"\",\"2\"\n"_s);
}

TEST_F(CsvTableWindow, PasteImportsTheClipboardText) {
  setClipboardText(u"\"甲\",\"乙\"\r\n1,2\r\n3\r\n"_s);
  QTest::mouseClick(button(u"按钮粘贴文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return model().RowCount() == 2; }));
  EXPECT_EQ(titles(), (std::vector<std::string>{"甲", "乙"}));
  EXPECT_EQ(rows(), (Rows{{"1", "2"}, {"3", ""}}));
  EXPECT_EQ(button(u"按钮粘贴文本表格"_s)->text(), u"粘贴csv数据"_s);
}

TEST_F(CsvTableWindow, HelpShowsTheFourLinesInTheDetailsDialog) {
  Modals modals;
  QString body;
  modals.other = [&](QWidget* dialog) {
    body = dialog->findChild<QPlainTextEdit*>()->toPlainText();
    dialog->close();
  };
  QTest::mouseClick(button(u"按钮什么是csv文件"_s), Qt::LeftButton);
  EXPECT_EQ(modals.otherTitles, QStringList{u"什么是csv文件"_s});
  EXPECT_EQ(body, u"csv是一种文本表格，能被Excel或wps表格软件兼容显示为多列多行的表格数据。\n"
                  u"比如：\"#评论#\",\"#时间#\",\"#昵称#\"，这种格式就是csv格式，使用引号围住每个项目，"
                  u"多个项目使用逗号隔开，然后文件扩展名填为csv即可。\n\n"
                  u"Excel或wps表格另存为csv文件即可导入本软件进行排序。如果你的csv数据没有表头又需要显示表头的话，"
                  u"可以在导入时按住Ctrl键。\n\n"
                  u"点击表头列即可排序。"_s);
}

TEST_F(CsvTableWindow, TwoSortsInARowGoDescendingThenAscendingWhateverTheColumn) {
  writeBytes(dir_ / "in.csv", "数,文\n10,bb\n9,a\n100,ccc\n");
  dropAndWait({dir_ / "in.csv"});

  sortBy(1, u"按数值排序"_s);
  EXPECT_EQ(rows(), (Rows{{"100", "ccc"}, {"10", "bb"}, {"9", "a"}}));
  sortBy(2, u"按文本长度排序"_s);
  EXPECT_EQ(rows(), (Rows{{"9", "a"}, {"10", "bb"}, {"100", "ccc"}}));
  sortBy(1, u"按字符代码排序"_s);
  EXPECT_EQ(rows(), (Rows{{"9", "a"}, {"100", "ccc"}, {"10", "bb"}})) << "descending again";
}

// A click on the import button, which reads 停止排序 while a sort runs, stops it: the rows keep their order, the title its
// text, no arrow appears and the next sort still goes descending. Run to its end, the sort does sort.
TEST_F(CsvTableWindow, AStoppedSortLeavesTheRowsInTheirOrder) {
  const int kRows = 1000000;
  fillNumbers(kRows);
  auto cellAt = [&](int32_t row) { return model().GetCell(row, 1); };
  const int x = columnLeft(model(), 1) + model().GetColumnWidth(1) / 2;
  QTest::mousePress(panel(Panel::Header), Qt::LeftButton, {}, QPoint(x, 12));
  QMenu* menu = tool_->sortMenu();
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
  QAction* item = menu->findChild<QAction*>(u"按拼音字母排序"_s);
  ASSERT_NE(item, nullptr);
  item->trigger();
  menu->hide();
  ASSERT_TRUE(tool_->running());
  QPushButton* import = button(u"按钮导入文本表格"_s);
  EXPECT_EQ(import->text(), u"停止排序"_s);
  ASSERT_TRUE(import->isEnabled());
  QTest::mouseClick(import, Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_));
  EXPECT_EQ(import->text(), u"导入csv文件"_s);
  EXPECT_EQ(model().GetColumnTitle(1), in("列"));
  EXPECT_EQ(grid()->sortMarkColumn(), 0);
  ASSERT_EQ(model().RowCount(), kRows);
  for (int32_t row : {1, 2, 10, 500000, kRows}) EXPECT_EQ(cellAt(row), std::to_string(row)) << row;

  sortBy(1, u"按字符代码排序"_s);
  EXPECT_EQ(cellAt(1), "999999") << "descending, as the first sort is";
  EXPECT_EQ(cellAt(kRows), "1");
  EXPECT_EQ(grid()->sortMarkColumn(), 1);
}

TEST_F(CsvTableWindow, TheNumberSortCountsDecimalsExponentsAndEveryDigit) {
  writeBytes(dir_ / "in.csv", "数\n1.5\n1.9\n1\n2\n-0.5\n2e3\n10\n13800138000\n13800138001\n");
  dropAndWait({dir_ / "in.csv"});
  sortBy(1, u"按数值排序"_s);
  EXPECT_EQ(rows(), (Rows{{"13800138001"}, {"13800138000"}, {"2e3"}, {"10"}, {"2"}, {"1.9"}, {"1.5"}, {"1"}, {"-0.5"}}));
  sortBy(1, u"按数值排序"_s);
  EXPECT_EQ(rows(), (Rows{{"-0.5"}, {"1"}, {"1.5"}, {"1.9"}, {"2"}, {"10"}, {"2e3"}, {"13800138000"}, {"13800138001"}}));
}

TEST_F(CsvTableWindow, ATitlePressOpensTheMenuAndABorderPressDragsTheWidthNeverBelowZero) {
  TableModel table;
  table.AddColumn(in("甲"), 60);
  table.AddColumn(in("乙"), 80);
  table.AddRow({"1", "2"});
  grid()->setModel(std::move(table));
  QWidget* header = panel(Panel::Header);
  QMenu* menu = tool_->sortMenu();

  // The border of column 1 lies at x 60: a press there resizes and opens no menu.
  QTest::mouseMove(header, QPoint(61, 12));
  EXPECT_TRUE(grid()->resizeHot());
  EXPECT_EQ(header->cursor().shape(), Qt::SizeHorCursor);
  QTest::mousePress(header, Qt::LeftButton, {}, QPoint(61, 12));
  QTest::mouseMove(header, QPoint(-39, 12));
  QTest::mouseRelease(header, Qt::LeftButton, {}, QPoint(-39, 12));
  EXPECT_EQ(model().GetColumnWidth(1), 0);
  EXPECT_FALSE(menu->isVisible());

  QTest::mouseMove(header, QPoint(40, 12));
  EXPECT_FALSE(grid()->resizeHot());
  EXPECT_EQ(header->cursor().shape(), Qt::ArrowCursor);
  QTest::mousePress(header, Qt::LeftButton, {}, QPoint(40, 12));
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
  EXPECT_EQ(grid()->pressedColumn(), 0) << "the release is applied when the menu opens";
  menu->hide();
}

TEST_F(CsvTableWindow, ThousandRowsInTenRowHeightsScrollByPagesWithTheBarButtons) {
  fillNumbers(1000);
  // A data area of exactly 10 rows: header 25 high, sharing one pixel with the data.
  grid()->SetBounds(QRect(10, 50, 400, 10 * 30 + 25 - 1));
  ASSERT_DOUBLE_EQ(grid()->gridLayout().rowCapacity, 10.0);
  QWidget* bar = panel(Panel::VerticalBar);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_FALSE(panel(Panel::HorizontalBar)->isVisible());

  const QPoint down(9, bar->height() - 9);
  QTest::mouseClick(bar, Qt::LeftButton, {}, down);
  EXPECT_EQ(model().firstRow, 10);
  QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(9, 9));
  EXPECT_EQ(model().firstRow, 0);
  QTest::mousePress(bar, Qt::RightButton, {}, down);
  QTest::mouseRelease(bar, Qt::RightButton, {}, down);
  EXPECT_EQ(model().firstRow, 990) << "the last 10 rows";
  QTest::mousePress(bar, Qt::RightButton, {}, QPoint(9, 9));
  EXPECT_EQ(model().firstRow, 0);

  // A press on the track jumps in proportion; the thumb then follows a drag.
  const int track = bar->height() - 2 * 18;
  QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(9, 18 + track - 2));
  EXPECT_GT(model().firstRow, 500);
  QTest::mousePress(bar, Qt::RightButton, {}, QPoint(9, 9));
  ASSERT_EQ(model().firstRow, 0);
  QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(9, 20));
  QTest::mouseMove(bar, QPoint(9, 20 + track / 2));
  EXPECT_NEAR(model().firstRow, 500, 10);
  QTest::mouseMove(bar, QPoint(9, 20 + 4 * track));
  EXPECT_EQ(model().firstRow, 990) << "clamped";
  QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(9, 20 + 4 * track));
}

TEST_F(CsvTableWindow, WheelAndKeysMoveThroughRowsAndColumns) {
  TableModel table;
  for (int c = 1; c <= 30; ++c) table.AddColumn("c" + std::to_string(c), 100);
  for (int r = 1; r <= 1000; ++r) table.AddRow({std::to_string(r)});
  grid()->setModel(std::move(table));
  grid()->SetBounds(QRect(10, 50, 800, 10 * 30 + 25 - 1 + 18));
  ASSERT_TRUE(panel(Panel::HorizontalBar)->isVisible());
  QWidget* data = panel(Panel::Data);
  auto wheel = [&](int notches, Qt::KeyboardModifiers modifiers) {
    QWheelEvent event(QPointF(50, 50), data->mapToGlobal(QPointF(50, 50)), {}, QPoint(0, -120 * notches),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(data, &event);
  };
  wheel(1, {});
  EXPECT_EQ(model().firstRow, 3);
  wheel(-2, {});
  EXPECT_EQ(model().firstRow, 0);
  wheel(2, Qt::ShiftModifier);
  EXPECT_EQ(model().firstColumn, 2);
  EXPECT_EQ(model().firstRow, 0);

  grid()->setFocus();
  struct Case {
    Qt::Key key;
    int firstRow;
  };
  const Case kKeys[] = {{Qt::Key_PageDown, 10}, {Qt::Key_Down, 11}, {Qt::Key_Up, 10}, {Qt::Key_End, 990},
                        {Qt::Key_PageUp, 980},  {Qt::Key_Home, 0},  {Qt::Key_Up, 0}};
  for (const Case& c : kKeys) {
    QTest::keyClick(grid(), c.key);
    EXPECT_EQ(model().firstRow, c.firstRow) << c.key;
  }
  QTest::keyClick(grid(), Qt::Key_Right);
  EXPECT_EQ(model().firstColumn, 3);
  QTest::keyClick(grid(), Qt::Key_Left);
  EXPECT_EQ(model().firstColumn, 2);
}

TEST_F(CsvTableWindow, AClippedCellShowsItsTextOnHoverAndAFittingOneShowsNone) {
  TableModel table;
  table.AddColumn("a", 60);
  table.AddColumn("b", 300);
  table.AddRow({in("很长很长很长很长的一段文字"), in("短")});
  grid()->setModel(std::move(table));
  QWidget* data = panel(Panel::Data);
  ToolTip* tip = grid()->toolTip();
  auto hoverAt = [&](QPoint at) {
    QTest::mouseMove(data, at);
    QHelpEvent rest(QEvent::ToolTip, at, data->mapToGlobal(at));
    QApplication::sendEvent(data, &rest);
    return tip->shownText();
  };
  EXPECT_EQ(hoverAt(QPoint(30, 15)), u"很长很长很长很长的一段文字"_s);
  EXPECT_EQ(hoverAt(QPoint(100, 15)), QString());
  EXPECT_EQ(hoverAt(QPoint(30, 15)), u"很长很长很长很长的一段文字"_s);
  EXPECT_EQ(hoverAt(QPoint(30, 200)), QString()) << "below the last row";
}

TEST_F(CsvTableWindow, ALeftClickSelectsARowAndARightPressAlsoCopiesIt) {
  TableModel table;
  table.AddColumn("a", 80);
  table.AddColumn("b", 80);
  table.AddRow({in("甲"), "x"});
  table.AddRow({"", "y,z"});
  grid()->setModel(std::move(table));
  QWidget* data = panel(Panel::Data);

  QTest::mouseClick(data, Qt::LeftButton, {}, QPoint(20, 15));
  EXPECT_EQ(model().selection(), std::vector<int32_t>{1});
  setClipboardText(u"旧"_s);
  QTest::mousePress(data, Qt::RightButton, {}, QPoint(20, 45));
  EXPECT_EQ(model().selection(), std::vector<int32_t>{2});
  EXPECT_EQ(clipboardText(), u",y,z"_s);

  setClipboardText(u"旧"_s);
  QTest::mousePress(data, Qt::RightButton, {}, QPoint(20, 200));
  EXPECT_TRUE(model().selection().empty());
  EXPECT_EQ(clipboardText(), u"旧"_s) << "nothing under the pointer: nothing copied";
  QTest::mouseClick(data, Qt::LeftButton, {}, QPoint(20, 200));
  EXPECT_TRUE(model().selection().empty());
}

TEST_F(CsvTableWindow, TheGridPaintsItsRowsTitlesAndSelection) {
  TableModel table;
  table.AddColumn(in("甲"), 100);
  table.AddRow({in("一")});
  table.AddRow({""});
  grid()->setModel(std::move(table));
  model().selectOnRelease(SelectionMode::Single, 2, 2, SelectKeys::None);
  const QImage data = panel(Panel::Data)->grab().toImage();
  EXPECT_EQ(data.pixelColor(0, 10), QColor(127, 157, 185)) << "frame";
  EXPECT_EQ(data.pixelColor(100, 10), QColor(199, 199, 199)) << "column line";
  EXPECT_EQ(data.pixelColor(90, 45), QColor(70, 130, 180)) << "selected row";
  EXPECT_EQ(data.pixelColor(90, 15), QColor(255, 255, 255));
  bool inked = false;  // the text of row 1
  for (int x = 5; x < 30 && !inked; ++x) {
    for (int y = 2; y < 30 && !inked; ++y) inked = data.pixelColor(x, y).value() < 128;
  }
  EXPECT_TRUE(inked);
}

}  // namespace
}  // namespace chengling
