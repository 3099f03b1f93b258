#pragma once
// The " Csv数据排序 " page: seven buttons in a row (import, paste, export, copy, help, find,
// filter) with the progress bar beside them, and the drawn TableGrid under them, 10 pixels from the
// import button and from the page's other edges at every size. A drop of files on the page imports
// them; a press on a column title opens the sort menu "菜单".
//
// The find bar (Ctrl+F) and the filter bar open between the buttons and the grid. A find looks
// through the titles and the rows shown, then steps from match to match (Enter, F3, Shift+F3),
// highlighting each and scrolling to it; Esc closes the bar. A filter shows the rows that pass its
// conditions, combined with 并且 or 或者; sorts still order the whole table, and export, copy,
// selection and the row copy work on the rows shown.
//
// Import, paste, sort, filter, find, export and copy all run on the page's one worker, one at a
// time: the import fills a table of its own that the grid takes when it ends; a sort computes the
// new row order there and the grid takes it at the end; a filter computes the rows to show, a find
// its matches; an export and a copy only read the grid's table, which nothing changes meanwhile. A
// filter stops with a click on its button, a find when its bar closes. The page keeps no control
// states.

#include <QString>
#include <QWidget>

#include <functional>

#include "foundation/file_collector.h"
#include "foundation/run_context.h"
#include "foundation/text_codec.h"
#include "tools/csv_table/csv_text.h"
#include "tools/csv_table/table_filter.h"
#include "tools/csv_table/table_sort.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace chengling {

class RunPanel;
class StartButton;
class TableGrid;

class CsvTableTool : public QWidget {
  Q_OBJECT

 public:
  explicit CsvTableTool(QWidget* parent = nullptr);
  ~CsvTableTool() override;

  bool running() const;
  TableGrid* grid() const { return grid_; }
  QMenu* sortMenu() const { return menu_; }
  // The encoding exports are written in: the first imported file's.
  TextEncoding exportEncoding() const { return encoding_; }
  QWidget* findBar() const { return findBar_; }
  QWidget* filterBar() const { return filterBar_; }
  // The conditions of the filter in force; empty when every row shows.
  const std::vector<FilterCondition>& filterConditions() const { return conditions_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  using ImportJob = std::function<CsvImportOutcome(TableModel& table, RunContext& ctx)>;

  void placeControls();
  // The box beside the buttons: a progress bar while an import runs, a status line otherwise.
  void showProgress(bool importing);
  // Its text; a hint (the idle text) in the muted colour of placeholder text.
  void showStatus(const QString& text, bool hint);
  void importClicked();
  void importPaths(PathList paths, bool numberedTitles);
  void pasteClicked();
  void startImport(StartButton* start, ImportJob job);
  void exportClicked();
  void copyClicked();
  void helpClicked();
  void showSortMenu(int column, const QPoint& at);
  void sortChosen(SortOrder order);

  void buildFindBar();
  void buildFilterBar();
  void openFind();
  void closeFind();
  // Next (or previous) match; searches first when the text or the letter case changed.
  void findStep(bool backwards);
  void startFind(FindOptions options, bool backwards);
  void moveToMatch(bool backwards);
  // After any change of the rows shown or their order: the matches no longer hold.
  void forgetMatches();
  void toggleFilterBar();
  void refreshFilterColumns();
  void addConditionClicked();
  void runFilter(std::vector<FilterCondition> conditions);
  void clearFilter();
  void showFilterText();
  // The status line for the table as it is: the rows shown under a filter, else the import's summary.
  void showTableStatus();

  RunPanel* panel_ = nullptr;
  QPushButton* import_ = nullptr;
  QPushButton* paste_ = nullptr;
  QPushButton* export_ = nullptr;
  QPushButton* copy_ = nullptr;
  QPushButton* help_ = nullptr;
  QPushButton* find_ = nullptr;
  QPushButton* filter_ = nullptr;
  StartButton* importStart_ = nullptr;
  StartButton* sortStart_ = nullptr;  // the import button while a sort runs
  StartButton* exportStart_ = nullptr;
  TableGrid* grid_ = nullptr;
  QMenu* menu_ = nullptr;

  QWidget* findBar_ = nullptr;
  QLineEdit* findText_ = nullptr;
  QPushButton* findPrevious_ = nullptr;
  QPushButton* findNext_ = nullptr;
  QCheckBox* matchCase_ = nullptr;
  QLabel* findCount_ = nullptr;
  QPushButton* findClose_ = nullptr;
  std::vector<CellMatch> matches_;
  int64_t matchIndex_ = -1;
  FindOptions searched_;
  bool searchedValid_ = false;
  bool finding_ = false;

  QWidget* filterBar_ = nullptr;
  QComboBox* filterColumn_ = nullptr;
  QComboBox* filterTest_ = nullptr;
  QLineEdit* filterValue_ = nullptr;
  QPushButton* filterAdd_ = nullptr;
  QComboBox* filterJoin_ = nullptr;
  QPushButton* filterClear_ = nullptr;
  QLabel* filterText_ = nullptr;
  StartButton* filterStart_ = nullptr;
  std::vector<FilterCondition> conditions_;

  QString importStatus_;  // the summary of the last import; empty before any

  int sortColumn_ = 0;
  SortDirectionFlag direction_;
  TextEncoding encoding_ = TextEncoding::Utf8;
};

}  // namespace chengling
