// The find bar, the filter bar and the sort arrow of the " Csv数据排序 " page, driven with real
// clicks and keys on the offscreen platform; exports and copies are checked on disk and on the
// clipboard.
#include "tools/csv_table/csv_table_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "foundation/native_text.h"
#include "platform/clipboard.h"
#include "support/test_support.h"
#include "support/window_test_kit.h"
#include "tools/csv_table/grid_geometry.h"
#include "tools/csv_table/table_grid.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

using testing::kRunTimeoutMs;
using testing::Modals;
using testing::native;
using testing::pickInFileDialog;
using testing::readBytes;
using testing::TempDir;
using testing::waitUntilIdle;
using testing::writeBytes;
using Panel = TableGrid::Panel;
using Rows = std::vector<std::vector<std::string>>;

// A few fruits: titles and cells to find, numbers to compare, an empty cell.
const std::string kFruits = "名称,数量,备注\n苹果,10,红色\n香蕉,9.5,\napple,100,Red\nApple,-3,red apple\n梨,abc,甜\n";

// Types `text` into `edit`: ASCII key by key, anything else as an input method commits it, the way
// Chinese reaches an edit box.
void type(QWidget* edit, const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() < 0x80) {
      QTest::keyClick(edit, c.toLatin1());
    } else {
      QInputMethodEvent event;
      event.setCommitString(QString(c));
      QApplication::sendEvent(edit, &event);
    }
  }
}

class CsvFindFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    tool_ = std::make_unique<CsvTableTool>();
    tool_->resize(972, 528);
    tool_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tool_.get()));
    tool_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(tool_.get()));
  }

  template <typename T = QWidget>
  T* control(const QString& name) {
    return testing::findControl<T>(tool_.get(), name);
  }
  QPushButton* button(const QString& name) { return control<QPushButton>(name); }
  TableGrid* grid() { return tool_->grid(); }
  TableModel& model() { return grid()->model(); }
  QString status() { return control<QLabel>(u"透明标签"_s)->text(); }
  QString findCount() { return control<QLabel>(u"标签查找结果"_s)->text(); }

  void importText(const std::string& text) {
    writeBytes(dir_ / "in.csv", text);
    ASSERT_TRUE(testing::dropPaths(tool_.get(), {dir_ / "in.csv"}));
    ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return model().ColumnCount() > 0; }));
  }

  Rows rows() {
    Rows out;
    for (int32_t r = 1; r <= model().RowCount(); ++r) {
      out.emplace_back();
      for (const std::string& cell : model().row(r).cells()) out.back().push_back(utf8FromInternal(cell));
    }
    return out;
  }
  std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const auto& row : rows()) out.push_back(row[0]);
    return out;
  }

  // Picks item `index` of a combo box with the keyboard, as a user would without the mouse.
  void choose(QComboBox* combo, int index) {
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(combo, Qt::Key_Down);
    ASSERT_EQ(combo->currentIndex(), index);
  }

  // Opens the filter bar when it is closed, fills in one condition and clicks 添加条件.
  void addCondition(int column, FilterTest test, const QString& value) {
    if (tool_->filterBar()->isHidden()) QTest::mouseClick(button(u"按钮筛选"_s), Qt::LeftButton);
    ASSERT_TRUE(tool_->filterBar()->isVisible());
    choose(control<QComboBox>(u"组合框筛选列"_s), column - 1);
    choose(control<QComboBox>(u"组合框筛选条件"_s), static_cast<int>(test));
    auto* edit = control<QLineEdit>(u"编辑框筛选值"_s);
    edit->clear();
    if (edit->isEnabled()) type(edit, value);
    QTest::mouseClick(button(u"按钮添加条件"_s), Qt::LeftButton);
    ASSERT_TRUE(waitUntilIdle(*tool_));
  }

  void sortBy(int column, int order) {
    const int x = columnLeft(model(), column) + model().GetColumnWidth(column) / 2;
    QTest::mousePress(grid()->panel(Panel::Header), Qt::LeftButton, {}, QPoint(x, 12));
    QMenu* menu = tool_->sortMenu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
    menu->actions().at(order)->trigger();
    menu->hide();
    ASSERT_TRUE(waitUntilIdle(*tool_));
  }

  // Types `text` into the find bar (opened with Ctrl+F) and presses Enter.
  void findText(const QString& text) {
    QTest::keyClick(grid(), Qt::Key_F, Qt::ControlModifier);
    auto* edit = control<QLineEdit>(u"编辑框查找内容"_s);
    ASSERT_TRUE(tool_->findBar()->isVisible());
    ASSERT_TRUE(edit->hasFocus());
    edit->selectAll();
    type(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_TRUE(waitUntilIdle(*tool_));
  }
  std::pair<int32_t, int32_t> mark() { return {grid()->findMarkRow(), grid()->findMarkColumn()}; }

  TempDir dir_;
  std::unique_ptr<CsvTableTool> tool_;
};

TEST_F(CsvFindFilter, EveryNewControlHasANameAUserCanHear) {
  QTest::mouseClick(button(u"按钮筛选"_s), Qt::LeftButton);
  QTest::keyClick(grid(), Qt::Key_F, Qt::ControlModifier);
  for (const QString& name : {u"按钮查找"_s, u"按钮筛选"_s, u"编辑框查找内容"_s, u"按钮上一个"_s, u"按钮下一个"_s,
                              u"选择框区分大小写"_s, u"标签查找结果"_s, u"按钮关闭查找"_s, u"组合框筛选列"_s,
                              u"组合框筛选条件"_s, u"编辑框筛选值"_s, u"按钮添加条件"_s, u"组合框条件组合"_s,
                              u"按钮清除筛选"_s, u"标签筛选条件"_s}) {
    QWidget* widget = control(name);
    ASSERT_NE(widget, nullptr) << name.toStdString();
    EXPECT_TRUE(widget->isVisible()) << name.toStdString();
    const QString heard = widget->accessibleName().isEmpty() ? widget->property("text").toString() : widget->accessibleName();
    EXPECT_FALSE(heard.isEmpty()) << name.toStdString();
  }
  EXPECT_EQ(button(u"按钮查找"_s)->accessibleName(), u"查找"_s);
  EXPECT_EQ(button(u"按钮筛选"_s)->accessibleName(), u"筛选"_s);
  QStringList tests;
  auto* combo = control<QComboBox>(u"组合框筛选条件"_s);
  for (int i = 0; i < combo->count(); ++i) tests << combo->itemText(i);
  EXPECT_EQ(tests, (QStringList{u"包含"_s, u"不包含"_s, u"等于"_s, u"不等于"_s, u"大于"_s, u"小于"_s, u"为空"_s,
                                u"不为空"_s}));
  // The bars sit between the buttons and the grid.
  EXPECT_LT(tool_->findBar()->geometry().bottom(), grid()->geometry().top());
  EXPECT_LT(tool_->filterBar()->geometry().bottom(), grid()->geometry().top());
}

TEST_F(CsvFindFilter, FindStepsThroughTitlesAndCellsWrapsAroundAndEscCloses) {
  importText(kFruits);
  findText(u"apple"_s);
  EXPECT_EQ(findCount(), u"第 1 处，共 3 处"_s);
  EXPECT_EQ(mark(), std::make_pair(3, 1));
  QTest::keyClick(control<QLineEdit>(u"编辑框查找内容"_s), Qt::Key_Return);
  EXPECT_EQ(mark(), std::make_pair(4, 1));
  QTest::keyClick(grid(), Qt::Key_F3);
  EXPECT_EQ(mark(), std::make_pair(4, 3));
  EXPECT_EQ(findCount(), u"第 3 处，共 3 处"_s);
  QTest::mouseClick(button(u"按钮下一个"_s), Qt::LeftButton);
  EXPECT_EQ(mark(), std::make_pair(3, 1)) << "past the last match it starts again";
  QTest::keyClick(grid(), Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_EQ(mark(), std::make_pair(4, 3)) << "and before the first it goes to the last";
  QTest::mouseClick(button(u"按钮上一个"_s), Qt::LeftButton);
  EXPECT_EQ(findCount(), u"第 2 处，共 3 处"_s);

  // Letter case: the check box makes it a new search.
  testing::clickIndicator(control<QCheckBox>(u"选择框区分大小写"_s));
  QTest::mouseClick(button(u"按钮下一个"_s), Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_));
  EXPECT_EQ(findCount(), u"第 1 处，共 2 处"_s);
  EXPECT_EQ(mark(), std::make_pair(3, 1));

  findText(u"数量"_s);  // a title
  EXPECT_EQ(findCount(), u"第 1 处，共 1 处"_s);
  EXPECT_EQ(mark(), std::make_pair(0, 2));
  findText(u"红"_s);
  EXPECT_EQ(mark(), std::make_pair(1, 3));
  findText(u"没有这个"_s);
  EXPECT_EQ(findCount(), u"没有找到"_s);
  EXPECT_EQ(mark(), std::make_pair(0, 0));

  findText(u"甜"_s);
  EXPECT_EQ(mark(), std::make_pair(5, 3));
  QTest::keyClick(control<QLineEdit>(u"编辑框查找内容"_s), Qt::Key_Escape);
  EXPECT_TRUE(tool_->findBar()->isHidden());
  EXPECT_EQ(mark(), std::make_pair(0, 0));
  EXPECT_EQ(grid()->geometry().top(), button(u"按钮导入文本表格"_s)->geometry().bottom() + 1 + 10);
}

TEST_F(CsvFindFilter, FindScrollsTheMatchIntoViewAndStartsFromTheSelectedRow) {
  std::string text = "n,v\n";
  for (int i = 1; i <= 1000; ++i) text += std::to_string(i) + (i % 100 == 0 ? ",hit\n" : ",x\n");
  importText(text);
  EXPECT_EQ(model().firstRow, 0);
  findText(u"hit"_s);
  EXPECT_EQ(mark(), std::make_pair(100, 2));
  QTest::keyClick(grid(), Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_EQ(mark(), std::make_pair(1000, 2));
  EXPECT_GT(model().firstRow + 1, 900);
  EXPECT_LE(model().firstRow + 1, 1000);
  EXPECT_GE(model().firstRow + std::ceil(grid()->gridLayout().rowCapacity), 1000) << "the row shows";

  // A new search goes from the row the user selected.
  QTest::keyClick(grid(), Qt::Key_Home);
  const int y = 5 * 30 + 15;  // the sixth row shown: row 6
  QTest::mouseClick(grid()->panel(Panel::Data), Qt::LeftButton, {}, QPoint(20, y));
  ASSERT_EQ(model().selectedRow(), 6);
  findText(u"99"_s);
  EXPECT_EQ(mark(), std::make_pair(99, 1));
  QTest::keyClick(grid(), Qt::Key_F3);
  EXPECT_EQ(mark(), std::make_pair(199, 1));
}

TEST_F(CsvFindFilter, EachConditionOfTheFilterBarShowsItsRows) {
  importText(kFruits);
  struct Case {
    int column;
    FilterTest test;
    QString value;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {1, FilterTest::Contains, u"pp"_s, {"apple", "Apple"}},
      {1, FilterTest::NotContains, u"pp"_s, {"苹果", "香蕉", "梨"}},
      {1, FilterTest::Equals, u"苹果"_s, {"苹果"}},
      {1, FilterTest::NotEquals, u"苹果"_s, {"香蕉", "apple", "Apple", "梨"}},
      {2, FilterTest::Greater, u"9.5"_s, {"苹果", "apple"}},
      {2, FilterTest::Less, u"9.5"_s, {"Apple", "梨"}},
      {3, FilterTest::Empty, QString(), {"香蕉"}},
      {3, FilterTest::NotEmpty, QString(), {"苹果", "apple", "Apple", "梨"}},
  };
  for (const Case& c : cases) {
    addCondition(c.column, c.test, c.value);
    const std::string name = kFilterTestNames[static_cast<int>(c.test)];
    EXPECT_EQ(names(), c.want) << name;
    EXPECT_EQ(status(), u"显示 %1 行，共 5 行"_s.arg(c.want.size())) << name;
    EXPECT_EQ(tool_->filterConditions().size(), 1u);
    QTest::mouseClick(button(u"按钮清除筛选"_s), Qt::LeftButton);
    EXPECT_EQ(model().RowCount(), 5) << name;
    EXPECT_EQ(status(), u"共导入 5 行"_s);
  }
}

TEST_F(CsvFindFilter, TwoConditionsCombineWithAndThenOr) {
  importText(kFruits);
  addCondition(1, FilterTest::Contains, u"pp"_s);
  addCondition(2, FilterTest::Greater, u"0"_s);
  EXPECT_EQ(names(), (std::vector<std::string>{"apple"}));
  EXPECT_EQ(control<QLabel>(u"标签筛选条件"_s)->text(), u"名称 包含 “pp” 并且 数量 大于 “0”"_s);
  choose(control<QComboBox>(u"组合框条件组合"_s), 1);
  ASSERT_TRUE(waitUntilIdle(*tool_));
  EXPECT_EQ(names(), (std::vector<std::string>{"苹果", "香蕉", "apple", "Apple"}));
  EXPECT_EQ(status(), u"显示 4 行，共 5 行"_s);
  EXPECT_EQ(control<QLabel>(u"标签筛选条件"_s)->text(), u"名称 包含 “pp” 或者 数量 大于 “0”"_s);
}

TEST_F(CsvFindFilter, SortExportAndCopyWhileFilteredThenClearingShowsTheWholeTableInItsNewOrder) {
  importText(kFruits);
  addCondition(2, FilterTest::Greater, u"0"_s);
  ASSERT_EQ(names(), (std::vector<std::string>{"苹果", "香蕉", "apple"}));
  EXPECT_EQ(grid()->sortMarkColumn(), 0) << "no arrow before a sort";

  sortBy(2, static_cast<int>(SortOrder::Number));  // the first sort: descending
  EXPECT_EQ(names(), (std::vector<std::string>{"apple", "苹果", "香蕉"}));
  EXPECT_EQ(grid()->sortMarkColumn(), 2);
  EXPECT_FALSE(grid()->sortMarkAscending());
  EXPECT_EQ(status(), u"显示 3 行，共 5 行"_s);

  // The arrow is drawn at the right end of the sorted title in the grid's arrow colour.
  const QImage header = grid()->panel(Panel::Header)->grab().toImage();
  auto arrowPixels = [&](int column) {
    const int right = columnRight(model(), column);
    int count = 0;
    for (int x = right - 14; x < right; ++x) {
      for (int y = 0; y < header.height(); ++y) count += header.pixelColor(x, y) == QColor(96, 96, 96);
    }
    return count;
  };
  EXPECT_GT(arrowPixels(2), 5);
  EXPECT_EQ(arrowPixels(1), 0);

  Modals modals;
  modals.next(pickInFileDialog({native(dir_ / "out.txt")}));
  QTest::mouseClick(button(u"按钮导出文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return modals.texts.size() == 1; }, kRunTimeoutMs));
  EXPECT_EQ(readBytes(dir_ / "out.txt"), "\xEF\xBB\xBF名称,数量,备注\r\napple,100,Red\r\n苹果,10,红色\r\n香蕉,9.5,\r\n");
  EXPECT_EQ(modals.texts[0], u"已导出："_s + native(dir_ / "out.txt") + u"\n只有筛选后显示的 3 行（共 5 行）"_s);

  setClipboardText(u"旧"_s);
  QTest::mouseClick(button(u"按钮复制文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return clipboardText() != u"旧"_s; }, kRunTimeoutMs));
  EXPECT_EQ(clipboardText(), u"\"apple\",\"100\",\"Red\"\n\"苹果\",\"10\",\"红色\"\n\"香蕉\",\"9.5\",\"\"\n"_s);
  EXPECT_EQ(status(), u"已复制：只有筛选后显示的 3 行（共 5 行）"_s);

  // The right-click row copy takes the row shown under the pointer.
  QTest::mousePress(grid()->panel(Panel::Data), Qt::RightButton, {}, QPoint(20, 30 + 15));
  QTest::mouseRelease(grid()->panel(Panel::Data), Qt::RightButton, {}, QPoint(20, 30 + 15));
  EXPECT_EQ(clipboardText(), u"苹果,10,红色"_s);

  QTest::mouseClick(button(u"按钮清除筛选"_s), Qt::LeftButton);
  EXPECT_EQ(names(), (std::vector<std::string>{"apple", "苹果", "香蕉", "梨", "Apple"}));
  EXPECT_EQ(status(), u"共导入 5 行"_s);
  EXPECT_TRUE(control<QLabel>(u"标签筛选条件"_s)->text().isEmpty());

  sortBy(1, static_cast<int>(SortOrder::Length));  // ascending now
  EXPECT_EQ(grid()->sortMarkColumn(), 1);
  EXPECT_TRUE(grid()->sortMarkAscending());

  // With nothing filtered the export is the whole table and its message the usual one.
  modals.next(pickInFileDialog({native(dir_ / "all.txt")}));
  QTest::mouseClick(button(u"按钮导出文本表格"_s), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return modals.texts.size() == 2; }, kRunTimeoutMs));
  EXPECT_EQ(modals.texts[1], u"已导出："_s + native(dir_ / "all.txt"));
  EXPECT_EQ(readBytes(dir_ / "all.txt"), "\xEF\xBB\xBF名称,数量,备注\r\n梨,abc,甜\r\n苹果,10,红色\r\n香蕉,9.5,\r\napple,100,Red\r\n"
                                         "Apple,-3,red apple\r\n");
}

// A filter stops with a click on its button and leaves the rows as they were; a find stops when
// its bar closes.
TEST_F(CsvFindFilter, AFilterAndAFindOnALargeTableStop) {
  TableModel table;
  table.AddColumn("n");
  table.AddColumn("v");
  const int kRows = 2000000;
  table.reserveRows(kRows);
  for (int i = 0; i < kRows; ++i) table.AddRow({std::to_string(i), "x"});
  grid()->setModel(std::move(table));
  QTest::mouseClick(button(u"按钮筛选"_s), Qt::LeftButton);
  choose(control<QComboBox>(u"组合框筛选列"_s), 0);  // the list follows the table
  choose(control<QComboBox>(u"组合框筛选条件"_s), static_cast<int>(FilterTest::Greater));
  QTest::keyClicks(control<QLineEdit>(u"编辑框筛选值"_s), u"1999990"_s);
  auto* add = button(u"按钮添加条件"_s);
  QTest::mouseClick(add, Qt::LeftButton);
  ASSERT_TRUE(tool_->running());
  EXPECT_EQ(add->text(), u"停止筛选"_s);
  QTest::mouseClick(add, Qt::LeftButton);
  ASSERT_TRUE(waitUntilIdle(*tool_));
  EXPECT_EQ(add->text(), u"添加条件"_s);
  EXPECT_FALSE(model().filtered());
  EXPECT_EQ(model().RowCount(), kRows);
  EXPECT_TRUE(tool_->filterConditions().empty());

  QTest::mouseClick(add, Qt::LeftButton);  // run to the end this time
  ASSERT_TRUE(waitUntilIdle(*tool_));
  EXPECT_EQ(model().RowCount(), 9);
  EXPECT_EQ(status(), u"显示 9 行，共 2 000 000 行"_s);
  QTest::mouseClick(button(u"按钮清除筛选"_s), Qt::LeftButton);

  QTest::keyClick(grid(), Qt::Key_F, Qt::ControlModifier);
  auto* edit = control<QLineEdit>(u"编辑框查找内容"_s);
  QTest::keyClicks(edit, u"1999999"_s);
  QTest::keyClick(edit, Qt::Key_Return);
  ASSERT_TRUE(tool_->running());
  EXPECT_EQ(findCount(), u"正在查找.."_s);
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_TRUE(tool_->findBar()->isHidden());
  ASSERT_TRUE(waitUntilIdle(*tool_));
  EXPECT_EQ(mark(), std::make_pair(0, 0));
  EXPECT_EQ(findCount(), u"查找已停止"_s);
}

}  // namespace
}  // namespace chengling
