#pragma once
// The " Csv数据排序 " page: five buttons in a row (import, paste, export, copy, help) with the
// progress bar beside them, and the drawn TableGrid under them, 10 pixels from the import button and
// from the page's other edges at every size. A drop of files on the page imports them; a press on
// a column title opens the sort menu "菜单".
//
// Import, paste, sort, export and copy all run on the page's one worker, one at a time: the import
// fills a table of its own that the grid takes when it ends; a sort computes the new row order
// there and the grid takes it at the end; an export and a copy only read the grid's table, which
// nothing changes meanwhile. The page keeps no control states.

#include <QString>
#include <QWidget>

#include <functional>

#include "foundation/file_collector.h"
#include "foundation/run_context.h"
#include "foundation/text_codec.h"
#include "tools/csv_table/csv_text.h"
#include "tools/csv_table/table_sort.h"

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

  RunPanel* panel_ = nullptr;
  QPushButton* import_ = nullptr;
  QPushButton* paste_ = nullptr;
  QPushButton* export_ = nullptr;
  QPushButton* copy_ = nullptr;
  QPushButton* help_ = nullptr;
  StartButton* importStart_ = nullptr;
  StartButton* exportStart_ = nullptr;
  TableGrid* grid_ = nullptr;
  QMenu* menu_ = nullptr;

  int sortColumn_ = 0;
  SortDirectionFlag direction_;
  TextEncoding encoding_ = TextEncoding::Utf8;
};

}  // namespace chengling
