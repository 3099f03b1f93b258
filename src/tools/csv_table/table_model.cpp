#include "tools/csv_table/table_model.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace chengling {

namespace {

std::string_view beforeNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

}  // namespace

TableRow::TableRow(const std::vector<std::string>& cells, int32_t icon) : iconIndex(icon) {
  std::string packed;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) packed += '\0';
    packed += beforeNul(cells[i]);
  }
  assignPacked(packed, static_cast<int32_t>(cells.size()));
}

TableRow::TableRow(const std::vector<std::string_view>& cells, int32_t count) {
  if (count <= 0) return;
  const size_t taken = std::min(cells.size(), static_cast<size_t>(count));
  size_t total = static_cast<size_t>(count) - 1;
  for (size_t i = 0; i < taken; ++i) total += beforeNul(cells[i]).size();
  data_.reset(new char[total]);
  char* out = data_.get();
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0) *out++ = '\0';
    if (static_cast<size_t>(i) < taken) {
      const std::string_view text = beforeNul(cells[i]);
      std::memcpy(out, text.data(), text.size());
      out += text.size();
    }
  }
  size_ = static_cast<uint32_t>(total);
  count_ = count;
}

TableRow& TableRow::operator=(const TableRow& other) {
  if (this != &other) {
    assignPacked(other.packed(), other.count_);
    iconIndex = other.iconIndex;
  }
  return *this;
}

void TableRow::assignPacked(std::string_view packed, int32_t count) {
  std::unique_ptr<char[]> data(packed.empty() ? nullptr : new char[packed.size()]);
  if (!packed.empty()) std::memcpy(data.get(), packed.data(), packed.size());
  data_ = std::move(data);
  size_ = static_cast<uint32_t>(packed.size());
  count_ = count;
}

std::string_view TableRow::cell(int32_t index) const {
  if (index < 0 || index >= count_) return {};
  const char* start = data_.get();
  const char* end = start + size_;
  for (int32_t i = 0; i < index; ++i) {
    start = static_cast<const char*>(std::memchr(start, '\0', end - start)) + 1;
  }
  const void* nul = size_ == 0 ? nullptr : std::memchr(start, '\0', end - start);
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
  std::string packed(this->packed());
  if (count_ > 0) packed += '\0';
  packed += beforeNul(text);
  assignPacked(packed, count_ + 1);
}

void TableRow::fit(int32_t count) {
  if (count < 0) count = 0;
  if (count_ > count) {
    size_t keep = 0;
    if (count > 0) {
      const std::string_view last = cell(count - 1);
      keep = static_cast<size_t>(last.data() - data_.get()) + last.size();
    }
    assignPacked(packed().substr(0, keep), count);
  } else if (count_ < count) {
    std::string packed(this->packed());
    for (int32_t i = count_; i < count; ++i) {
      if (i > 0) packed += '\0';
    }
    assignPacked(packed, count);
  }
}

void TableRow::setCell(int32_t index, std::string_view text) {
  assert(index >= 0);
  if (count_ <= index) fit(index + 1);
  const std::string_view old = cell(index);
  const size_t at = static_cast<size_t>(old.data() - data_.get());
  std::string packed(this->packed());
  packed.replace(at, old.size(), beforeNul(text));
  assignPacked(packed, count_);
}

void TableRow::appendJoined(int32_t count, bool quoted, std::string& out) const {
  const char* at = data_.get();
  const char* const end = at + size_;
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0) out += ',';
    if (quoted) out += '"';
    if (i < count_) {
      const void* nul = at == end ? nullptr : std::memchr(at, '\0', end - at);
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
