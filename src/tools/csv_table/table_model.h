#pragma once
// The table of the CSV tool without any drawing: rows, columns, the selection and the scroll
// position. Rows and columns are 1-based in every operation; a number outside 1 .. count is a caller
// error (asserted). The view paints from this model and the geometry functions of grid_geometry.h.
//
// A row keeps its cells packed in one block (NUL-separated: internal text never holds a NUL), so a
// million-row table costs little more than its text.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace chengling {

class TableRow {
 public:
  TableRow() = default;
  explicit TableRow(const std::vector<std::string>& cells, int32_t iconIndex = 0);
  // The first `count` of `cells` (fewer when there are fewer), padded with empty cells to `count`.
  TableRow(const std::vector<std::string_view>& cells, int32_t count);
  TableRow(const TableRow& other) { *this = other; }
  TableRow& operator=(const TableRow& other);
  TableRow(TableRow&& other) noexcept { *this = std::move(other); }
  TableRow& operator=(TableRow&& other) noexcept {  // leaves `other` an empty row
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
    count_ = std::exchange(other.count_, 0);
    iconIndex = other.iconIndex;
    return *this;
  }

  int32_t cellCount() const { return count_; }
  // 0-based; an index at or beyond cellCount() reads as the empty text.
  std::string_view cell(int32_t index) const;
  std::vector<std::string> cells() const;
  // Appends one cell; a NUL in `text` ends it (internal text ends there).
  void appendCell(std::string_view text);
  // Cuts or pads (with empty cells) to `count`.
  void fit(int32_t count);
  void setCell(int32_t index, std::string_view text);  // pads with empty cells as needed
  // Cells 0 .. count - 1 (missing ones empty), "," before every cell after the first, each wrapped
  // in double quotes when `quoted`, appended to `out` in one pass over the row.
  void appendJoined(int32_t count, bool quoted, std::string& out) const;

 private:
  std::string_view packed() const { return {data_.get(), size_}; }
  void assignPacked(std::string_view packed, int32_t count);

  std::unique_ptr<char[]> data_;  // cells joined by NUL, allocated to the exact size
  uint32_t size_ = 0;
  int32_t count_ = 0;

 public:
  // 1-based index into the row pictures; 0 or less: no icon. The CSV tool always uses 0.
  int32_t iconIndex = 0;
};

struct TableColumn {
  int32_t width = 88;
  std::string title;
};

// 0 none, 1 single (the CSV tool), 2 multiple.
enum class SelectionMode { None = 0, Single = 1, Multiple = 2 };

// Key state of a release in multiple mode.
enum class SelectKeys { None = 0, Ctrl = 1, Shift = 2 };

class TableModel {
 public:
  int32_t RowCount() const { return static_cast<int32_t>(rows_.size()); }
  int32_t ColumnCount() const { return static_cast<int32_t>(columns_.size()); }

  void AddColumn(std::string_view title, int32_t width = 88);
  void insertColumn(int32_t position, std::string_view title, int32_t width = 88);  // up to count + 1
  void removeColumn(int32_t column);
  void ClearColumns();  // firstColumn becomes 0
  const std::string& GetColumnTitle(int32_t column) const;
  void SetColumnTitle(int32_t column, std::string_view title);
  int32_t GetColumnWidth(int32_t column) const;
  void SetColumnWidth(int32_t column, int32_t width);
  const std::vector<TableColumn>& columns() const { return columns_; }

  // With `fit` the cells are cut or padded with empty texts to ColumnCount().
  void AddRow(TableRow row, bool fit = false);
  void AddRow(const std::vector<std::string>& cells, int32_t iconIndex = 0, bool fit = false);
  void insertRow(int32_t position, TableRow row, bool fit = false);  // up to count + 1
  void removeRow(int32_t row);
  void replaceRow(int32_t row, TableRow replacement, bool fit = false);
  void replaceAllRows(std::vector<TableRow> rows);
  void ClearRows();  // firstRow becomes 0, the selection empties
  void reserveRows(size_t count) { rows_.reserve(count); }
  const TableRow& row(int32_t row) const;
  std::vector<TableRow>& mutableRows() { return rows_; }
  const std::vector<TableRow>& rows() const { return rows_; }

  std::string_view GetCell(int32_t row, int32_t column) const;
  void SetCell(int32_t row, int32_t column, std::string_view text);

  // The cells of `row` for columns 1 .. ColumnCount() (row 0: the titles), "," before every field
  // after the first, each wrapped in double quotes when `quoted`; contents are written unchanged.
  std::string RowText(int32_t row, bool quoted) const;
  void appendRowText(int32_t row, bool quoted, std::string& out) const;

  // Selected rows, ascending. selectedRow() is the first of them, -1 when there is none.
  const std::vector<int32_t>& selection() const { return selection_; }
  int32_t selectedRow() const { return selection_.empty() ? -1 : selection_.front(); }
  void clearSelection() { selection_.clear(); }
  bool isSelected(int32_t row) const;
  // The selection after a left-button release over the data area: `rowAtRelease` and `pressedRow`
  // are the rows under the pointer (0 for none).
  void selectOnRelease(SelectionMode mode, int32_t rowAtRelease, int32_t pressedRow, SelectKeys keys);

  // Rows scrolled out above the data area (0-based) and leading columns scrolled out to the left;
  // grid_geometry.h clamps them.
  int32_t firstRow = 0;
  int32_t firstColumn = 0;

 private:
  std::vector<TableRow> rows_;
  std::vector<TableColumn> columns_;
  std::vector<int32_t> selection_;
};

}  // namespace chengling
