#include "tools/csv_table/table_model.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace chengling {

TableRow::TableRow(const std::vector<std::string>& cells, int32_t icon) : iconIndex(icon) {
  size_t total = cells.size();
  for (const std::string& cell : cells) total += cell.size();
  packed_.reserve(total);
  for (const std::string& cell : cells) appendCell(cell);
}

std::string_view TableRow::cell(int32_t index) const {
  if (index < 0 || index >= count_) return {};
  const char* data = packed_.data();
  const char* end = data + packed_.size();
  const char* start = data;
  for (int32_t i = 0; i < index; ++i) {
    start = static_cast<const char*>(std::memchr(start, '\0', end - start)) + 1;
  }
  const void* nul = std::memchr(start, '\0', end - start);
  const char* stop = nul ? static_cast<const char*>(nul) : end;
  return {start, static_cast<size_t>(stop - start)};
}

std::vector<std::string> TableRow::cells() const {
  std::vector<std::string> out;
  out.reserve(count_);
  for (int32_t i = 0; i < count_; ++i) out.emplace_back(cell(i));
  return out;
}

void TableRow::appendCell(std::string_view text) {
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  if (count_ > 0) packed_ += '\0';
  packed_.append(text);
  ++count_;
}

void TableRow::fit(int32_t count) {
  if (count < 0) count = 0;
  if (count_ > count) {
    if (count == 0) {
      packed_.clear();
    } else {
      // Cut just before the separator that ends cell `count`.
      const std::string_view last = cell(count - 1);
      packed_.resize(static_cast<size_t>(last.data() - packed_.data()) + last.size());
    }
    packed_.shrink_to_fit();
    count_ = count;
  }
  while (count_ < count) appendCell({});
}

void TableRow::setCell(int32_t index, std::string_view text) {
  assert(index >= 0);
  while (count_ <= index) appendCell({});
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  const std::string_view old = cell(index);
  const size_t at = static_cast<size_t>(old.data() - packed_.data());
  packed_.replace(at, old.size(), text);
}

void TableRow::appendJoined(int32_t count, bool quoted, std::string& out) const {
  const char* at = packed_.data();
  const char* const end = at + packed_.size();
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0) out += ',';
    if (quoted) out += '"';
    if (i < count_) {
      const void* nul = std::memchr(at, '\0', end - at);
      const char* stop = nul ? static_cast<const char*>(nul) : end;
      out.append(at, stop);
      at = stop < end ? stop + 1 : end;
    }
    if (quoted) out += '"';
  }
}

// ---- columns ----

void TableModel::AddColumn(std::string_view title, int32_t width) {
  columns_.push_back({width, std::string(title)});
}

void TableModel::insertColumn(int32_t position, std::string_view title, int32_t width) {
  assert(position >= 1 && position <= ColumnCount() + 1);
  columns_.insert(columns_.begin() + (position - 1), TableColumn{width, std::string(title)});
}

void TableModel::removeColumn(int32_t column) {
  assert(column >= 1 && column <= ColumnCount());
  columns_.erase(columns_.begin() + (column - 1));
}

void TableModel::ClearColumns() {
  columns_.clear();
  firstColumn = 0;
}

const std::string& TableModel::GetColumnTitle(int32_t column) const {
  assert(column >= 1 && column <= ColumnCount());
  return columns_[column - 1].title;
}

void TableModel::SetColumnTitle(int32_t column, std::string_view title) {
  assert(column >= 1 && column <= ColumnCount());
  columns_[column - 1].title = std::string(title);
}

int32_t TableModel::GetColumnWidth(int32_t column) const {
  assert(column >= 1 && column <= ColumnCount());
  return columns_[column - 1].width;
}

void TableModel::SetColumnWidth(int32_t column, int32_t width) {
  assert(column >= 1 && column <= ColumnCount());
  columns_[column - 1].width = width;
}

// ---- rows ----

void TableModel::AddRow(TableRow row, bool fit) {
  if (fit) row.fit(ColumnCount());
  rows_.push_back(std::move(row));
}

void TableModel::AddRow(const std::vector<std::string>& cells, int32_t iconIndex, bool fit) {
  AddRow(TableRow(cells, iconIndex), fit);
}

void TableModel::insertRow(int32_t position, TableRow row, bool fit) {
  assert(position >= 1 && position <= RowCount() + 1);
  if (fit) row.fit(ColumnCount());
  rows_.insert(rows_.begin() + (position - 1), std::move(row));
  for (int32_t& selected : selection_) {
    if (selected >= position) ++selected;
  }
}

void TableModel::removeRow(int32_t row) {
  assert(row >= 1 && row <= RowCount());
  rows_.erase(rows_.begin() + (row - 1));
  std::erase(selection_, row);
  for (int32_t& selected : selection_) {
    if (selected > row) --selected;
  }
}

void TableModel::replaceRow(int32_t row, TableRow replacement, bool fit) {
  assert(row >= 1 && row <= RowCount());
  if (fit) replacement.fit(ColumnCount());
  rows_[row - 1] = std::move(replacement);
}

void TableModel::replaceAllRows(std::vector<TableRow> rows) {
  rows_ = std::move(rows);
  std::erase_if(selection_, [&](int32_t r) { return r > RowCount(); });
}

void TableModel::ClearRows() {
  rows_.clear();
  rows_.shrink_to_fit();
  selection_.clear();
  firstRow = 0;
}

const TableRow& TableModel::row(int32_t row) const {
  assert(row >= 1 && row <= RowCount());
  return rows_[row - 1];
}

std::string_view TableModel::GetCell(int32_t row, int32_t column) const {
  assert(row >= 1 && row <= RowCount() && column >= 1);
  return rows_[row - 1].cell(column - 1);
}

void TableModel::SetCell(int32_t row, int32_t column, std::string_view text) {
  assert(row >= 1 && row <= RowCount() && column >= 1);
  rows_[row - 1].setCell(column - 1, text);
}

void TableModel::appendRowText(int32_t row, bool quoted, std::string& out) const {
  assert(row >= 0 && row <= RowCount());
  if (row > 0) {
    rows_[row - 1].appendJoined(ColumnCount(), quoted, out);
    return;
  }
  for (int32_t c = 1; c <= ColumnCount(); ++c) {
    if (c > 1) out += ',';
    if (quoted) out += '"';
    out += columns_[c - 1].title;
    if (quoted) out += '"';
  }
}

std::string TableModel::RowText(int32_t row, bool quoted) const {
  std::string out;
  appendRowText(row, quoted, out);
  return out;
}

// ---- selection ----

bool TableModel::isSelected(int32_t row) const {
  return std::binary_search(selection_.begin(), selection_.end(), row);
}

void TableModel::selectOnRelease(SelectionMode mode, int32_t rowAtRelease, int32_t pressedRow,
                                 SelectKeys keys) {
  switch (mode) {
    case SelectionMode::None:
      selection_.clear();
      return;
    case SelectionMode::Single:
      selection_.clear();
      if (rowAtRelease >= 1) selection_.push_back(rowAtRelease);
      return;
    case SelectionMode::Multiple:
      break;
  }
  if (rowAtRelease < 1 || rowAtRelease != pressedRow) return;
  if (keys == SelectKeys::Shift) {
    const int32_t anchor = selection_.empty() ? rowAtRelease : selection_.front();
    selection_.clear();
    for (int32_t r = std::min(anchor, rowAtRelease); r <= std::max(anchor, rowAtRelease); ++r) {
      selection_.push_back(r);
    }
  } else if (keys == SelectKeys::Ctrl) {
    if (!isSelected(rowAtRelease)) selection_.push_back(rowAtRelease);
  } else {
    selection_.assign(1, rowAtRelease);
  }
  std::sort(selection_.begin(), selection_.end());
}

}  // namespace chengling
