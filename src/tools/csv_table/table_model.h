#pragma once
// The table of the CSV tool without any drawing: rows, columns, the selection and the scroll
// position. Rows and columns are 1-based in every operation; a number outside 1 .. count is a caller
// error (asserted). The view paints from this model and the geometry functions of grid_geometry.h.
//
// The model keeps imported texts whole and each row as offsets into them (see RowShape); TableRow is
// the stand-alone form of one row, packed in one block, for building rows and reading them back.
// A cell is any bytes: a NUL is carried like every other byte.

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
  void appendCell(std::string_view text);
  // Cuts or pads (with empty cells) to `count`.
  void fit(int32_t count);
  void setCell(int32_t index, std::string_view text);  // pads with empty cells as needed
  // Cells 0 .. count - 1 (missing ones empty), "," before every cell after the first, each wrapped
  // in double quotes when `quoted`, appended to `out` in one pass over the row.
  void appendJoined(int32_t count, bool quoted, std::string& out) const;

 private:
  // The block: the end of every cell (a 32-bit offset into the bytes), then the cells' bytes.
  uint32_t endOf(int32_t index) const;
  const char* bytes() const { return data_.get() + static_cast<size_t>(count_) * sizeof(uint32_t); }
  // Builds a new block of `cells` (which may view the old one) and then replaces the old.
  void assign(const std::vector<std::string_view>& cells);
  std::vector<std::string_view> views(int32_t count) const;  // the first `count` cells, padded

  std::unique_ptr<char[]> data_;  // allocated to the exact size
  uint32_t size_ = 0;             // of the block
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

// The bytes of one cell as the table holds them: internal text, or UTF-8 for cells read from a
// UTF-8 file (foundation/utf8_internal.h reads those as internal text).
struct CellBytes {
  std::string_view bytes;
  bool utf8 = false;
};

class TableModel {
 private:
  // Storage for the bytes of rows built in the model: pieces that never move.
  struct ByteStore {
    std::vector<std::unique_ptr<char[]>> pieces;
    char* spare = nullptr;  // room left in the last piece
    size_t spareSize = 0;
    char* take(size_t size);
  };

 public:
  TableModel() = default;
  // Rows point into texts the model owns: a move keeps them, a copy would not.
  TableModel(TableModel&&) noexcept = default;
  TableModel& operator=(TableModel&&) noexcept = default;
  TableModel(const TableModel&) = delete;
  TableModel& operator=(const TableModel&) = delete;

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
  void AddRow(const TableRow& row, bool fit = false);
  void AddRow(const std::vector<std::string>& cells, int32_t iconIndex = 0, bool fit = false);
  void insertRow(int32_t position, const TableRow& row, bool fit = false);  // up to count + 1
  void removeRow(int32_t row);
  void replaceRow(int32_t row, const TableRow& replacement, bool fit = false);
  void ClearRows();  // firstRow becomes 0, the selection empties, every text is released
  // Room for `count` more rows, so that a large import never holds two copies of its row list while
  // it grows.
  void reserveRows(size_t count);
  // A copy of the row's cells as internal text, with its icon index.
  TableRow row(int32_t row) const;

  // Import without copying: the model takes `text` and returns where it now lives;
  // addTextRow then adds a row of `fields`, views into one line of that text starting at
  // `lineStart`, cut or padded to `count` cells. The row may use the `room` bytes from `lineStart`
  // (the line and its line break): the fields are moved together to the line's start in place and
  // the row's index follows them when it fits, so those bytes must not be needed afterwards.
  char* adoptText(std::string text);
  void addTextRow(char* lineStart, size_t room, const std::vector<std::string_view>& fields, int32_t count,
                  bool utf8);

  // addTextRow on several threads at once: each LineRows fills its own range of row places at the
  // end of the table, in order, and no two share any state. Between openLineRows and closeLineRows
  // the table is used only through its LineRows.
  class LineRows {
   public:
    // addTextRow into the next place of the range; false when the range is full.
    bool add(char* lineStart, size_t room, const std::vector<std::string_view>& fields, int32_t count,
             bool utf8);
    size_t added() const { return added_; }
    // Every row meant for this range is in it (it may hold fewer than its places).
    void markComplete() { complete_ = true; }

   private:
    friend class TableModel;
    uint64_t* places_ = nullptr;
    size_t size_ = 0;
    size_t added_ = 0;
    bool complete_ = false;
    std::vector<uint64_t> ends_;
    ByteStore store_;
  };
  // Places for sizes[0] + sizes[1] + ... more rows, one consecutive range each.
  std::vector<LineRows> openLineRows(const std::vector<size_t>& sizes);
  // Keeps the ranges' rows in order, one after the other, up to the first range that is not
  // complete (its rows included), and drops every other place. Returns the number of rows kept.
  size_t closeLineRows(std::vector<LineRows>& ranges);

  int32_t cellCount(int32_t row) const;
  // The bytes of all the row's cells together.
  uint64_t rowByteSize(int32_t row) const;
  // The cell as the table holds it; the empty text beyond the row's cells.
  CellBytes cellBytes(int32_t row, int32_t column) const;
  // The cell as internal text.
  std::string GetCell(int32_t row, int32_t column) const;
  void SetCell(int32_t row, int32_t column, std::string_view text);
  bool rowIsUtf8(int32_t row) const;

  // Puts the rows in `order` (0-based indices, each row exactly once); the selection keeps its row
  // numbers. While some rows are hidden, `order` covers the whole table (tableRowCount() indices)
  // and the rows shown follow it: they are the same rows, in their new order.
  void permuteRows(const std::vector<int32_t>& order);
  // The same with the index in the low 32 bits of each word, so that sort keys packed above it need
  // no second array; `order` is used up (it holds the old row list afterwards).
  void permuteRows(std::vector<uint64_t>& order);

  // A filter shows some rows only. While it does, row numbers 1 .. RowCount() count the rows shown,
  // in table order, and every row operation above (cells, export text, selection, scrolling) works
  // on them; rows are then neither added nor removed. The whole table stays behind them: sorts
  // read it through tableRowCount() and tableCellBytes() and reorder all of it.
  //
  // Shows the rows at `indices` (0-based table indices, ascending) only; the selection empties and
  // the view scrolls to the top.
  void showRows(std::vector<int32_t> indices);
  // Shows every row again, in the table's current order.
  void showAllRows();
  bool filtered() const { return filtered_; }
  // Every row, shown or not.
  int32_t tableRowCount() const { return static_cast<int32_t>(wholeRows().size()); }
  // The cell of the table's row `index` (0-based, shown or not).
  CellBytes tableCellBytes(int32_t index, int32_t column) const;
  // The 0-based table index of row `row` (1-based, among the rows shown).
  int32_t tableIndex(int32_t row) const;
  // A hint to the cache that `row` is read soon: a walk over rows in an order far from the text's
  // asks a few rows ahead.
  void prefetchRow(int32_t row) const;

  // The cells of `row` for columns 1 .. ColumnCount() (row 0: the titles), "," before every field
  // after the first, each wrapped in double quotes when `quoted`, written so that the reader of
  // csv_record.h gives them back: appendExportField (a quote inside doubled, a field with a line
  // break quoted even when not `quoted`).
  std::string RowText(int32_t row, bool quoted) const;
  void appendRowText(int32_t row, bool quoted, std::string& out) const;
  // The same for a data row in the bytes the table holds (UTF-8 for a UTF-8 row).
  void appendRowBytes(int32_t row, bool quoted, std::string& out) const;

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
  // A row is one word: the address of its index in the low 48 bits and, above them, the width of a
  // cell end (1, 2, 4 or 8 bytes, whichever the row's length needs), a UTF-8 flag, a "detached" flag
  // and the cell count. The index holds the ends of the cells (offsets from the first cell's start);
  // the cells lie one after the other right before the index, or, when detached, where an address
  // in front of the ends says. A count too large for the word, or an icon, leads the index as two
  // 32-bit words. An imported row keeps its cells and its index in its own line, so a million short
  // rows cost 8 bytes each beyond their text.
  struct RowShape {
    const char* text = nullptr;
    const unsigned char* ends = nullptr;
    int32_t count = 0;
    int32_t iconIndex = 0;
    unsigned width = 1;
    bool utf8 = false;
  };
  static RowShape shape(uint64_t word);
  static uint64_t endAt(const RowShape& shape, int32_t index);
  static std::string_view shapeCell(const RowShape& shape, int32_t index);
  // True when the first `present` cells go out as they are in an export (in quotes when `quoted`):
  // no quote inside, no escape at a cell's end, no line break (csv_record.h).
  static bool rowIsPlain(const RowShape& shape, int32_t present, bool quoted);
  // The bytes of the index of a row whose cells take `total` bytes.
  static size_t indexBytes(uint64_t total, int32_t count, int32_t iconIndex, bool detached);
  // Writes the index of a row with these cell ends to `at` and returns the row's word; `cells` is
  // the first cell's start when the cells are not right before `at` (a detached row), else null.
  static uint64_t writeIndex(char* at, const std::vector<uint64_t>& ends, int32_t count, bool utf8,
                             int32_t iconIndex, const char* cells);
  // addTextRow's word for one line, writing its index into the line or into `store`.
  static uint64_t lineRow(char* lineStart, size_t room, const std::vector<std::string_view>& fields,
                          int32_t count, bool utf8, std::vector<uint64_t>& ends, ByteStore& store);
  // A row of cells given as internal text, copied into the model's own storage.
  uint64_t rowFor(const std::vector<std::string_view>& cells, int32_t count, bool utf8, int32_t iconIndex);
  uint64_t rowFor(const TableRow& row, bool fit);

  const std::vector<uint64_t>& wholeRows() const { return filtered_ ? allRows_ : rows_; }

  // The rows shown: all of them, or, while filtered_, those of allRows_ at shown_.
  std::vector<uint64_t> rows_;
  std::vector<uint64_t> allRows_;  // the whole table while filtered_, else empty
  std::vector<int32_t> shown_;     // ascending indices into allRows_ while filtered_
  bool filtered_ = false;
  std::vector<uint64_t> endsScratch_;  // reused while a row is added
  std::vector<std::unique_ptr<std::string>> texts_;  // imported texts
  ByteStore store_;                                  // own storage: built and edited rows
  std::vector<TableColumn> columns_;
  std::vector<int32_t> selection_;
};

}  // namespace chengling
