#include "tools/csv_table/table_model.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "foundation/utf8_internal.h"
#include "tools/csv_table/csv_record.h"

namespace chengling {

TableRow::TableRow(const std::vector<std::string>& cells, int32_t icon) : iconIndex(icon) {
  assign(std::vector<std::string_view>(cells.begin(), cells.end()));
}

TableRow::TableRow(const std::vector<std::string_view>& cells, int32_t count) {
  if (count <= 0) return;
  std::vector<std::string_view> taken(cells.begin(), cells.begin() + std::min(cells.size(), static_cast<size_t>(count)));
  taken.resize(count);
  assign(taken);
}

TableRow& TableRow::operator=(const TableRow& other) {
  if (this != &other) {
    std::unique_ptr<char[]> data(other.size_ == 0 ? nullptr : new char[other.size_]);
    if (other.size_ != 0) std::memcpy(data.get(), other.data_.get(), other.size_);
    data_ = std::move(data);
    size_ = other.size_;
    count_ = other.count_;
    iconIndex = other.iconIndex;
  }
  return *this;
}

void TableRow::assign(const std::vector<std::string_view>& cells) {
  const size_t count = cells.size();
  size_t total = 0;
  for (std::string_view cell : cells) total += cell.size();
  const size_t size = count * sizeof(uint32_t) + total;
  assert(size <= UINT32_MAX);
  std::unique_ptr<char[]> data(size == 0 ? nullptr : new char[size]);
  char* out = data.get() + count * sizeof(uint32_t);
  uint32_t end = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!cells[i].empty()) std::memcpy(out + end, cells[i].data(), cells[i].size());
    end += static_cast<uint32_t>(cells[i].size());
    std::memcpy(data.get() + i * sizeof(uint32_t), &end, sizeof end);
  }
  data_ = std::move(data);
  size_ = static_cast<uint32_t>(size);
  count_ = static_cast<int32_t>(count);
}

uint32_t TableRow::endOf(int32_t index) const {
  uint32_t end;
  std::memcpy(&end, data_.get() + static_cast<size_t>(index) * sizeof(uint32_t), sizeof end);
  return end;
}

std::vector<std::string_view> TableRow::views(int32_t count) const {
  std::vector<std::string_view> out(std::max(count, 0));
  for (int32_t i = 0; i < std::min(count, count_); ++i) out[i] = cell(i);
  return out;
}

std::string_view TableRow::cell(int32_t index) const {
  if (index < 0 || index >= count_) return {};
  const uint32_t start = index == 0 ? 0 : endOf(index - 1);
  return {bytes() + start, endOf(index) - start};
}

std::vector<std::string> TableRow::cells() const {
  std::vector<std::string> out;
  out.reserve(count_);
  for (int32_t i = 0; i < count_; ++i) out.emplace_back(cell(i));
  return out;
}

void TableRow::appendCell(std::string_view text) {
  std::vector<std::string_view> cells = views(count_);
  cells.push_back(text);
  assign(cells);
}

void TableRow::fit(int32_t count) {
  if (count < 0) count = 0;
  if (count != count_) assign(views(count));
}

void TableRow::setCell(int32_t index, std::string_view text) {
  assert(index >= 0);
  std::vector<std::string_view> cells = views(std::max(count_, index + 1));
  cells[index] = text;
  assign(cells);
}

void TableRow::appendJoined(int32_t count, bool quoted, std::string& out) const {
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0) out += ',';
    if (quoted) out += '"';
    out += cell(i);
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

namespace {

constexpr uint64_t kAddressBits = (uint64_t{1} << 48) - 1;
constexpr int kWidthShift = 48;
constexpr uint64_t kUtf8Flag = uint64_t{1} << 50;
constexpr uint64_t kDetachedFlag = uint64_t{1} << 51;
constexpr int kCountShift = 52;
constexpr uint64_t kLongCount = 0xFFF;  // the count and the icon lead the index
constexpr size_t kPieceSize = size_t{1} << 20;

unsigned widthFor(uint64_t length) {
  return length <= 0xFF ? 1 : length <= 0xFFFF ? 2 : length <= 0xFFFFFFFFu ? 4 : 8;
}

unsigned widthCode(unsigned width) { return width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3; }

bool isLong(int32_t count, int32_t iconIndex) {
  return iconIndex != 0 || static_cast<uint64_t>(count) >= kLongCount;
}

}  // namespace

TableModel::RowShape TableModel::shape(uint64_t word) {
  const auto* at = reinterpret_cast<const unsigned char*>(word & kAddressBits);
  RowShape s;
  s.width = 1u << (word >> kWidthShift & 3u);
  s.utf8 = (word & kUtf8Flag) != 0;
  const uint64_t count = word >> kCountShift;
  if (count == kLongCount) {
    std::memcpy(&s.count, at, 4);
    std::memcpy(&s.iconIndex, at + 4, 4);
    at += 8;
  } else {
    s.count = static_cast<int32_t>(count);
  }
  if (word & kDetachedFlag) {
    std::memcpy(&s.text, at, sizeof s.text);
    s.ends = at + sizeof s.text;
  } else {
    s.ends = at;
    s.text = reinterpret_cast<const char*>(word & kAddressBits) - (s.count == 0 ? 0 : endAt(s, s.count - 1));
  }
  return s;
}

uint64_t TableModel::endAt(const RowShape& s, int32_t index) {
  const unsigned char* p = s.ends + static_cast<size_t>(index) * s.width;
  switch (s.width) {
    case 1: return *p;
    case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case 4: { uint32_t v; std::memcpy(&v, p, 4); return v; }
    default: { uint64_t v; std::memcpy(&v, p, 8); return v; }
  }
}

std::string_view TableModel::shapeCell(const RowShape& s, int32_t index) {
  if (index < 0 || index >= s.count) return {};
  const uint64_t start = index == 0 ? 0 : endAt(s, index - 1);
  return {s.text + start, static_cast<size_t>(endAt(s, index) - start)};
}

size_t TableModel::indexBytes(uint64_t total, int32_t count, int32_t iconIndex, bool detached) {
  return (isLong(count, iconIndex) ? 8 : 0) + (detached ? sizeof(char*) : 0) +
         static_cast<size_t>(count) * widthFor(total);
}

uint64_t TableModel::writeIndex(char* at, const std::vector<uint64_t>& ends, int32_t count, bool utf8,
                                int32_t iconIndex, const char* cells) {
  assert(count >= 0);
  const auto address = reinterpret_cast<uintptr_t>(at);
  // User-space addresses of 64-bit Linux fit in 48 bits; a row word could not hold any other.
  if (address > kAddressBits) std::abort();
  const unsigned width = widthFor(count == 0 ? 0 : ends[count - 1]);
  uint64_t word = address | uint64_t{widthCode(width)} << kWidthShift | (utf8 ? kUtf8Flag : 0);
  if (isLong(count, iconIndex)) {
    word |= kLongCount << kCountShift;
    std::memcpy(at, &count, 4);
    std::memcpy(at + 4, &iconIndex, 4);
    at += 8;
  } else {
    word |= static_cast<uint64_t>(count) << kCountShift;
  }
  if (cells) {
    word |= kDetachedFlag;
    std::memcpy(at, &cells, sizeof cells);
    at += sizeof cells;
  }
  for (int32_t i = 0; i < count; ++i) {
    const uint64_t end = ends[i];
    std::memcpy(at + static_cast<size_t>(i) * width, &end, width);  // little-endian: the low bytes
  }
  return word;
}

char* TableModel::ByteStore::take(size_t size) {
  if (size > kPieceSize / 4) {
    pieces.emplace_back(new char[size]);
    return pieces.back().get();
  }
  if (size > spareSize) {
    pieces.emplace_back(new char[kPieceSize]);
    spare = pieces.back().get();
    spareSize = kPieceSize;
  }
  char* at = spare;
  spare += size;
  spareSize -= size;
  return at;
}

uint64_t TableModel::rowFor(const std::vector<std::string_view>& cells, int32_t count, bool utf8,
                            int32_t iconIndex) {
  const size_t taken = std::min(cells.size(), static_cast<size_t>(count));
  std::vector<uint64_t>& ends = endsScratch_;
  ends.resize(count);
  uint64_t total = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (static_cast<size_t>(i) < taken) total += cells[i].size();
    ends[i] = total;
  }
  char* text = store_.take(total + indexBytes(total, count, iconIndex, false));
  char* out = text;
  for (size_t i = 0; i < taken; ++i) {
    const std::string_view cell = cells[i];
    if (!cell.empty()) std::memcpy(out, cell.data(), cell.size());
    out += cell.size();
  }
  return writeIndex(out, ends, count, utf8, iconIndex, nullptr);
}

uint64_t TableModel::rowFor(const TableRow& row, bool fit) {
  std::vector<std::string_view> cells(row.cellCount());
  for (int32_t i = 0; i < row.cellCount(); ++i) cells[i] = row.cell(i);
  return rowFor(cells, fit ? ColumnCount() : row.cellCount(), false, row.iconIndex);
}

char* TableModel::adoptText(std::string text) {
  texts_.push_back(std::make_unique<std::string>(std::move(text)));
  return texts_.back()->data();
}

uint64_t TableModel::lineRow(char* lineStart, size_t room, const std::vector<std::string_view>& fields,
                             int32_t count, bool utf8, std::vector<uint64_t>& ends, ByteStore& store) {
  if (count < 0) count = 0;
  const size_t taken = std::min(fields.size(), static_cast<size_t>(count));
  ends.resize(count);
  char* out = lineStart;
  for (int32_t i = 0; i < count; ++i) {
    if (static_cast<size_t>(i) < taken) {
      // Fields come in order and never start before the bytes already written: a move to the left.
      const std::string_view field = fields[i];
      if (out != field.data() && !field.empty()) std::memmove(out, field.data(), field.size());
      out += field.size();
    }
    ends[i] = static_cast<uint64_t>(out - lineStart);
  }
  const uint64_t total = static_cast<uint64_t>(out - lineStart);
  // The separators, quotes and line break left behind usually hold the index; else it goes apart.
  if (indexBytes(total, count, 0, false) <= room - total) return writeIndex(out, ends, count, utf8, 0, nullptr);
  char* index = store.take(indexBytes(total, count, 0, true));
  return writeIndex(index, ends, count, utf8, 0, lineStart);
}

void TableModel::addTextRow(char* lineStart, size_t room, const std::vector<std::string_view>& fields,
                            int32_t count, bool utf8) {
  assert(!filtered_);
  rows_.push_back(lineRow(lineStart, room, fields, count, utf8, endsScratch_, store_));
}

bool TableModel::LineRows::add(char* lineStart, size_t room, const std::vector<std::string_view>& fields,
                               int32_t count, bool utf8) {
  if (added_ == size_) return false;
  places_[added_++] = lineRow(lineStart, room, fields, count, utf8, ends_, store_);
  return true;
}

std::vector<TableModel::LineRows> TableModel::openLineRows(const std::vector<size_t>& sizes) {
  size_t total = 0;
  for (size_t size : sizes) total += size;
  assert(!filtered_);
  const size_t base = rows_.size();
  rows_.resize(base + total);
  std::vector<LineRows> ranges(sizes.size());
  size_t at = base;
  for (size_t i = 0; i < sizes.size(); ++i) {
    ranges[i].places_ = rows_.data() + at;
    ranges[i].size_ = sizes[i];
    at += sizes[i];
  }
  return ranges;
}

size_t TableModel::closeLineRows(std::vector<LineRows>& ranges) {
  const size_t base = ranges.empty() ? rows_.size() : static_cast<size_t>(ranges.front().places_ - rows_.data());
  size_t kept = 0;
  for (const LineRows& range : ranges) {
    // A range may hold fewer rows than it has places: the next range's rows close up behind them.
    uint64_t* const to = rows_.data() + base + kept;
    if (range.places_ != to && range.added_ > 0) std::memmove(to, range.places_, range.added_ * sizeof(uint64_t));
    kept += range.added_;
    if (!range.complete_ && range.added_ < range.size_) break;
  }
  for (LineRows& range : ranges) {
    // A row of a dropped range may have put its index into the range's store: keep them all.
    for (auto& piece : range.store_.pieces) store_.pieces.push_back(std::move(piece));
    range.store_ = {};
  }
  rows_.resize(base + kept);
  return kept;
}

void TableModel::AddRow(const TableRow& row, bool fit) {
  assert(!filtered_);
  rows_.push_back(rowFor(row, fit));
}

void TableModel::AddRow(const std::vector<std::string>& cells, int32_t iconIndex, bool fit) {
  std::vector<std::string_view> views(cells.begin(), cells.end());
  const int32_t count = fit ? ColumnCount() : static_cast<int32_t>(cells.size());
  assert(!filtered_);
  rows_.push_back(rowFor(views, count, false, iconIndex));
}

void TableModel::insertRow(int32_t position, const TableRow& row, bool fit) {
  assert(position >= 1 && position <= RowCount() + 1 && !filtered_);
  rows_.insert(rows_.begin() + (position - 1), rowFor(row, fit));
  for (int32_t& selected : selection_) {
    if (selected >= position) ++selected;
  }
}

void TableModel::removeRow(int32_t row) {
  assert(row >= 1 && row <= RowCount() && !filtered_);
  rows_.erase(rows_.begin() + (row - 1));
  std::erase(selection_, row);
  for (int32_t& selected : selection_) {
    if (selected > row) --selected;
  }
}

void TableModel::replaceRow(int32_t row, const TableRow& replacement, bool fit) {
  assert(row >= 1 && row <= RowCount());
  rows_[row - 1] = rowFor(replacement, fit);
  if (filtered_) allRows_[shown_[row - 1]] = rows_[row - 1];
}

void TableModel::ClearRows() {
  rows_.clear();
  rows_.shrink_to_fit();
  allRows_ = {};
  shown_ = {};
  filtered_ = false;
  texts_.clear();
  store_ = {};
  selection_.clear();
  firstRow = 0;
}

TableRow TableModel::row(int32_t row) const {
  assert(row >= 1 && row <= RowCount());
  const RowShape s = shape(rows_[row - 1]);
  std::vector<std::string> cells(s.count);
  for (int32_t c = 1; c <= s.count; ++c) cells[c - 1] = GetCell(row, c);
  return TableRow(cells, s.iconIndex);
}

void TableModel::reserveRows(size_t count) { rows_.reserve(rows_.size() + count); }

uint64_t TableModel::rowByteSize(int32_t row) const {
  assert(row >= 1 && row <= RowCount());
  const RowShape s = shape(rows_[row - 1]);
  return s.count == 0 ? 0 : endAt(s, s.count - 1);
}

int32_t TableModel::cellCount(int32_t row) const {
  assert(row >= 1 && row <= RowCount());
  return shape(rows_[row - 1]).count;
}

bool TableModel::rowIsUtf8(int32_t row) const {
  assert(row >= 1 && row <= RowCount());
  return (rows_[row - 1] & kUtf8Flag) != 0;
}

CellBytes TableModel::cellBytes(int32_t row, int32_t column) const {
  assert(row >= 1 && row <= RowCount() && column >= 1);
  const RowShape s = shape(rows_[row - 1]);
  return {shapeCell(s, column - 1), s.utf8};
}

std::string TableModel::GetCell(int32_t row, int32_t column) const {
  const CellBytes cell = cellBytes(row, column);
  if (!cell.utf8) return std::string(cell.bytes);
  std::string out;
  appendUtf8AsInternal(cell.bytes, out);
  return out;
}

void TableModel::SetCell(int32_t row, int32_t column, std::string_view text) {
  assert(row >= 1 && row <= RowCount() && column >= 1);
  const RowShape s = shape(rows_[row - 1]);
  // The edited row is rebuilt as internal text in own storage.
  std::vector<std::string> owned(std::max(s.count, column));
  for (int32_t i = 0; i < s.count; ++i) owned[i] = GetCell(row, i + 1);
  owned[column - 1] = std::string(text);
  std::vector<std::string_view> views(owned.begin(), owned.end());
  rows_[row - 1] = rowFor(views, static_cast<int32_t>(views.size()), false, s.iconIndex);
  if (filtered_) allRows_[shown_[row - 1]] = rows_[row - 1];
}

namespace {

// Cycle by cycle, so that no second array of rows is needed. `from(at)` is the index of the row
// that goes to `at`; `placed` tells and marks the places done.
template <typename From, typename Placed>
void permuteInPlace(std::vector<uint64_t>& rows, From&& from, Placed&& placed) {
  for (size_t start = 0; start < rows.size(); ++start) {
    if (placed(start, false)) continue;
    const uint64_t first = rows[start];
    size_t at = start;
    while (true) {
      placed(at, true);
      const size_t source = from(at);
      if (source == start) {
        rows[at] = first;
        break;
      }
      rows[at] = rows[source];
      at = source;
    }
  }
}

}  // namespace

void TableModel::permuteRows(const std::vector<int32_t>& order) {
  std::vector<uint64_t>& whole = filtered_ ? allRows_ : rows_;
  assert(order.size() == whole.size());
  std::vector<bool> done(order.size());
  permuteInPlace(
      whole, [&](size_t at) { return static_cast<size_t>(order[at]); },
      [&](size_t at, bool mark) { return mark ? (done[at] = true) : done[at]; });
  if (!filtered_) return;
  // The rows shown are the same rows as before, now wherever the order put them.
  std::vector<bool> wasShown(order.size());
  for (int32_t index : shown_) wasShown[index] = true;
  size_t next = 0;
  for (size_t at = 0; at < order.size(); ++at) {
    if (!wasShown[order[at]]) continue;
    shown_[next] = static_cast<int32_t>(at);
    rows_[next] = allRows_[at];
    ++next;
  }
}

void TableModel::permuteRows(std::vector<uint64_t>& order) {
  if (filtered_) {
    std::vector<int32_t> indices(order.size());
    for (size_t i = 0; i < order.size(); ++i) indices[i] = static_cast<int32_t>(order[i] & 0xFFFFFFFFu);
    permuteRows(indices);
    return;
  }
  assert(order.size() == rows_.size());
  // Each place reads its row straight from the old list, into the order's own word: the reads do
  // not wait for one another, so their cache misses overlap, where following the cycles of the
  // permutation would take them one after the other.
  constexpr size_t kAhead = 16;
  const size_t n = order.size();
  for (size_t i = 0; i < n; ++i) {
    if (i + kAhead < n) __builtin_prefetch(&rows_[order[i + kAhead] & 0xFFFFFFFFu]);
    order[i] = rows_[order[i] & 0xFFFFFFFFu];
  }
  rows_.swap(order);
}

void TableModel::showRows(std::vector<int32_t> indices) {
  if (!filtered_) {
    allRows_.swap(rows_);
    filtered_ = true;
  }
  rows_.assign(indices.size(), 0);
  for (size_t i = 0; i < indices.size(); ++i) {
    assert(indices[i] >= 0 && static_cast<size_t>(indices[i]) < allRows_.size() &&
           (i == 0 || indices[i] > indices[i - 1]));
    rows_[i] = allRows_[indices[i]];
  }
  shown_ = std::move(indices);
  selection_.clear();
  firstRow = 0;
}

void TableModel::showAllRows() {
  if (!filtered_) return;
  rows_.swap(allRows_);
  allRows_ = {};
  shown_ = {};
  filtered_ = false;
  selection_.clear();
  firstRow = 0;
}

CellBytes TableModel::tableCellBytes(int32_t index, int32_t column) const {
  const std::vector<uint64_t>& whole = wholeRows();
  assert(index >= 0 && static_cast<size_t>(index) < whole.size() && column >= 1);
  const RowShape s = shape(whole[index]);
  return {shapeCell(s, column - 1), s.utf8};
}

int32_t TableModel::tableIndex(int32_t row) const {
  assert(row >= 1 && row <= RowCount());
  return filtered_ ? shown_[row - 1] : row - 1;
}

void TableModel::prefetchRow(int32_t row) const {
  assert(row >= 1 && row <= RowCount());
  const char* const index = reinterpret_cast<const char*>(rows_[row - 1] & kAddressBits);
  __builtin_prefetch(index);
  __builtin_prefetch(index - 64);  // the cells usually end right before their index
}

bool TableModel::rowIsPlain(const RowShape& s, int32_t present, bool quoted) {
  const uint64_t total = present == 0 ? 0 : endAt(s, present - 1);
  if (total == 0) return true;
  if (!quoted) return std::memchr(s.text, '\n', total) == nullptr && std::memchr(s.text, '\r', total) == nullptr;
  if (std::memchr(s.text, '"', total) != nullptr) return false;
  // Only a cell that ends in a backslash, or in UTF-8 in some other character, can end in an escape.
  uint64_t start = 0;
  for (int32_t i = 0; i < present; ++i) {
    const uint64_t end = endAt(s, i);
    if (end > start) {
      const auto last = static_cast<unsigned char>(s.text[end - 1]);
      if ((last == '\\' || (s.utf8 && last >= 0x80)) &&
          !exportFieldIsPlain(std::string_view(s.text + start, end - start), s.utf8, true)) {
        return false;
      }
    }
    start = end;
  }
  return true;
}

void TableModel::appendRowBytes(int32_t row, bool quoted, std::string& out) const {
  assert(row >= 1 && row <= RowCount());
  const RowShape s = shape(rows_[row - 1]);
  const int32_t columns = ColumnCount();
  const int32_t present = std::min(s.count, columns);
  if (columns == 0) return;
  if (!rowIsPlain(s, present, quoted)) {
    for (int32_t i = 0; i < columns; ++i) {
      if (i > 0) out += ',';
      appendExportField(i < present ? shapeCell(s, i) : std::string_view(), s.utf8, quoted, out);
    }
    return;
  }
  // One resize and plain stores: this runs once per row of every export.
  const uint64_t cellBytes = present == 0 ? 0 : endAt(s, present - 1);
  const size_t at = out.size();
  out.resize(at + cellBytes + static_cast<size_t>(columns - 1) + (quoted ? 2 * static_cast<size_t>(columns) : 0));
  char* p = out.data() + at;
  uint64_t start = 0;
  for (int32_t i = 0; i < columns; ++i) {
    if (i > 0) *p++ = ',';
    if (quoted) *p++ = '"';
    if (i < present) {
      const uint64_t end = endAt(s, i);
      if (end > start) std::memcpy(p, s.text + start, end - start);
      p += end - start;
      start = end;
    }
    if (quoted) *p++ = '"';
  }
}

void TableModel::appendRowText(int32_t row, bool quoted, std::string& out) const {
  assert(row >= 0 && row <= RowCount());
  if (row > 0) {
    if (!rowIsUtf8(row)) {
      appendRowBytes(row, quoted, out);
      return;
    }
    std::string bytes;
    appendRowBytes(row, quoted, bytes);
    appendUtf8AsInternal(bytes, out);  // the commas and quotes are the same bytes in both
    return;
  }
  for (int32_t c = 1; c <= ColumnCount(); ++c) {
    if (c > 1) out += ',';
    appendExportField(columns_[c - 1].title, false, quoted, out);
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
