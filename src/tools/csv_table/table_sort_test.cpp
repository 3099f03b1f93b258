#include "tools/csv_table/table_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <variant>
#include <vector>

namespace chengling {
namespace {

using Fields = std::vector<std::string>;

TableModel oneColumn(const Fields& cells) {
  TableModel table;
  table.AddColumn("c");
  for (const std::string& cell : cells) table.AddRow(Fields{cell});
  return table;
}

Fields columnOf(const TableModel& table) {
  Fields out;
  for (int32_t r = 1; r <= table.RowCount(); ++r) out.emplace_back(table.GetCell(r, 1));
  return out;
}

Fields sorted(const Fields& cells, SortOrder order, SortDirection direction) {
  TableModel table = oneColumn(cells);
  SortRows(table, 1, direction, order);
  return columnOf(table);
}

constexpr SortDirection kAsc = SortDirection::Ascending;
constexpr SortDirection kDesc = SortDirection::Descending;

TEST(SortDirectionFlag, FirstSortIsDescendingThenItAlternates) {
  SortDirectionFlag flag;
  EXPECT_EQ(flag.take(), kDesc);
  EXPECT_EQ(flag.take(), kAsc);
  EXPECT_EQ(flag.take(), kDesc);
}

TEST(SortKeys, ScalarKeysOfEachOrder) {
  struct Case {
    SortOrder order;
    std::string text;
    int32_t want;
  };
  const Case kCases[] = {
      {SortOrder::Length, "", 0},
      {SortOrder::Length, "中a", 3},
      {SortOrder::Chars, "中a", 2},
      {SortOrder::Chars, "a\r\nb", 3},
      {SortOrder::Number, "100", 100},
      {SortOrder::Number, " -42x", -42},
      {SortOrder::Number, "3.7", 3},
      {SortOrder::Number, "1e3", 1},
      {SortOrder::Number, "１２", 12},
      {SortOrder::Number, "abc", 0},
      {SortOrder::Number, "4294967297", 1},  // wraps around in 32 bits
      {SortOrder::Digits, "2017-03-12", 20170312},
      {SortOrder::Digits, "2017/3/12", 2017312},
      {SortOrder::Digits, "无数字", 0},
      {SortOrder::Digits, "a1b2中3", 123},
      {SortOrder::Digits, "１２", 0},  // only ASCII digits join
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(scalarSortKey(c.order, c.text), c.want) << static_cast<int>(c.order) << " " << c.text;
  }
}

TEST(SortKeys, DateFormsThatReadAsMoments) {
  struct Case {
    std::string text;
    Moment want;
  };
  const Case kCases[] = {
      {"2017-03-12 08:30", {2017, 3, 12, 8, 30, 0}},
      {"2017/3/12", {2017, 3, 12, 0, 0, 0}},
      {"2017年3月12日8时5分", {2017, 3, 12, 8, 5, 0}},
      {"2017年3月12日8时5分9秒", {2017, 3, 12, 8, 5, 9}},
      {"2017.03.12", {2017, 3, 12, 0, 0, 0}},
      {"20170312", {2017, 3, 12, 0, 0, 0}},
      {"２０１７－０３－１２", {2017, 3, 12, 0, 0, 0}},
      {"2016-02-29 23:59:59", {2016, 2, 29, 23, 59, 59}},
      {"0100-01-01", {100, 1, 1, 0, 0, 0}},
  };
  for (const Case& c : kCases) {
    Moment got;
    ASSERT_TRUE(readMoment(c.text, got)) << c.text;
    EXPECT_EQ(std::tie(got.year, got.month, got.day, got.hour, got.minute, got.second),
              std::tie(c.want.year, c.want.month, c.want.day, c.want.hour, c.want.minute, c.want.second))
        << c.text;
  }
  for (const char* bad : {"", "08:30:00", "2017", "2017-13-01", "2017-02-29", "1900-02-29",
                          "2017-03-12 24:00", "2017-03-12abc", "0099-01-01", "hello"}) {
    Moment got;
    EXPECT_FALSE(readMoment(bad, got)) << bad;
  }
}

TEST(SortKeys, DateTimeKeyCountsFromEightOClockAndFallsBack) {
  EXPECT_EQ(dateTimeKey("1970-01-01 08:00:00"), 0);
  EXPECT_EQ(dateTimeKey("1970-01-01 08:00:01"), 1);
  EXPECT_EQ(dateTimeKey("2017-03-12"), 1489248000);
  // A bare time is that time on 1991-01-21.
  EXPECT_EQ(dateTimeKey("08:30:00"), dateTimeKey("1991-01-21 08:30:00"));
  // Nothing readable: the empty date 0100-01-01 00:00:00, reduced to 32 bits.
  const int64_t empty = secondsFromEpoch(Moment{100, 1, 1, 0, 0, 0});
  EXPECT_EQ(empty, -59011459200 - 8 * 3600);
  EXPECT_EQ(dateTimeKey("hello"), static_cast<int32_t>(static_cast<uint32_t>(empty)));
  EXPECT_EQ(dateTimeKey("hello"), dateTimeKey("2017-13-45 99:99"));
}

TEST(SortKeys, PinyinValuesOfEachKindOfCharacter) {
  auto value = [](std::string_view ch) {
    size_t length = 0;
    const int32_t v = pinyinValue(ch, length);
    EXPECT_EQ(length, ch.size()) << ch;
    return v;
  };
  EXPECT_EQ(value("a"), 12);
  EXPECT_EQ(value("A"), 13);
  EXPECT_EQ(value("b"), 14);
  EXPECT_EQ(value("Z"), 63);
  EXPECT_EQ(value("0"), 0);
  EXPECT_EQ(value("7"), 7);
  EXPECT_EQ(value("７"), 7);
  EXPECT_EQ(value(","), 44 - 1000000);
  EXPECT_EQ(value("\r\n"), 1310 - 1000000);
  EXPECT_EQ(value("，"), 163172 - 1000000);  // A3 AC: no reading
  // 啊 (B0 A1) reads "a": 1 x 38461538 + 176161.
  EXPECT_EQ(value("啊"), 38461538 + 176161);
  // 长 (B3 A4) sits among the "chang" readings: c h a n g.
  EXPECT_EQ(value("长"), 3 * 38461538 + 8 * 1479289 + 1 * 56895 + 14 * 2188 + 7 * 84 + 179164);
  // 女 reads "nv": the u with diaeresis is v.
  EXPECT_EQ(value("女"), 14 * 38461538 + 22 * 1479289 + 197174);
}

TEST(SortRows, OrdersFromTheEdgeCases) {
  EXPECT_EQ(sorted({"10", "9", "100"}, SortOrder::Number, kDesc), (Fields{"100", "10", "9"}));
  EXPECT_EQ(sorted({"10", "9", "100"}, SortOrder::Number, kAsc), (Fields{"9", "10", "100"}));
  // 1.5 and 1.2 both have the key 1: table order both ways.
  EXPECT_EQ(sorted({"1.5", "1.2", "0"}, SortOrder::Number, kDesc), (Fields{"1.5", "1.2", "0"}));
  EXPECT_EQ(sorted({"1.5", "1.2", "0"}, SortOrder::Number, kAsc), (Fields{"0", "1.5", "1.2"}));
  EXPECT_EQ(sorted({"2017-01-01", "08:30:00"}, SortOrder::DateTime, kAsc),
            (Fields{"08:30:00", "2017-01-01"}));
  // Texts that name no moment share one key and keep their order.
  EXPECT_EQ(sorted({"x", "2017-01-01", "y"}, SortOrder::DateTime, kDesc), (Fields{"2017-01-01", "x", "y"}));
  EXPECT_EQ(sorted({"abc", "", "ab", "b"}, SortOrder::Codes, kAsc), (Fields{"", "ab", "abc", "b"}));
  EXPECT_EQ(sorted({"中", "z", "\xFF"}, SortOrder::Codes, kDesc), (Fields{"\xFF", "中", "z"}));
  EXPECT_EQ(sorted({"张", "b", "A", "3", "a", "!", "安", "10"}, SortOrder::Pinyin, kAsc),
            (Fields{"!", "10", "3", "a", "A", "b", "安", "张"}));
  EXPECT_EQ(sorted({"长度", "重要", "阿", "北京"}, SortOrder::Pinyin, kAsc),
            (Fields{"阿", "北京", "长度", "重要"}));
  EXPECT_EQ(sorted({"中文", "abc", "a"}, SortOrder::Length, kDesc), (Fields{"中文", "abc", "a"}));
  EXPECT_EQ(sorted({"中文", "abc", "a"}, SortOrder::Chars, kDesc), (Fields{"abc", "中文", "a"}));
  // Equal sequence keys: table order descending, reversed ascending.
  EXPECT_EQ(sorted({"x", "x2", "x"}, SortOrder::Codes, kDesc), (Fields{"x2", "x", "x"}));
}

TEST(SortRows, WholeRowsMoveTogether) {
  TableModel table;
  table.AddColumn("name");
  table.AddColumn("n");
  table.AddRow(Fields{"a", "2"}, 5);
  table.AddRow(Fields{"b", "1"}, 6);
  SortRows(table, 2, kAsc, SortOrder::Number);
  EXPECT_EQ(table.row(1).cells(), (Fields{"b", "1"}));
  EXPECT_EQ(table.row(1).iconIndex, 6);
  EXPECT_EQ(table.row(2).cells(), (Fields{"a", "2"}));
  EXPECT_EQ(table.row(2).iconIndex, 5);
}

// The insertion procedure as stated: groups found by halving search, rows appended to an equal
// scalar group, a new group for every sequence key.
using Key = std::variant<int32_t, std::vector<int32_t>>;

Key keyOf(SortOrder order, std::string_view text) {
  if (order == SortOrder::Codes) {
    std::vector<int32_t> bytes;
    for (unsigned char b : text) bytes.push_back(b);
    return bytes;
  }
  if (order == SortOrder::Pinyin) {
    std::vector<int32_t> values;
    appendPinyinValues(text, values);
    return values;
  }
  return scalarSortKey(order, text);
}

std::vector<int32_t> insertionOrder(const Fields& cells, SortOrder order, SortDirection direction) {
  struct Group {
    Key key;
    std::vector<int32_t> rows;
  };
  std::vector<Group> groups;
  for (int32_t r = 0; r < static_cast<int32_t>(cells.size()); ++r) {
    const Key k = keyOf(order, cells[r]);
    size_t low = 0;
    size_t high = groups.size();  // the answer lies in [low, high]
    while (low < high) {
      const size_t mid = (low + high) / 2;
      const bool fits = direction == kAsc ? !(groups[mid].key < k) : groups[mid].key < k;
      if (fits) {
        high = mid;
      } else {
        low = mid + 1;
      }
    }
    if (!isSequenceOrder(order) && low < groups.size() && groups[low].key == k) {
      groups[low].rows.push_back(r);
    } else {
      groups.insert(groups.begin() + static_cast<std::ptrdiff_t>(low), Group{k, {r}});
    }
  }
  std::vector<int32_t> result;
  for (const Group& g : groups) result.insert(result.end(), g.rows.begin(), g.rows.end());
  return result;
}

TEST(SortRows, AgreesWithTheInsertionProcedureOnTablesWithManyTies) {
  const std::vector<std::string> pieces = {
      "",  "1", "10", "9", "-3", "1.5", "a", "A", "b", "ab", "中", "长", "张", "阿", "，", ",", " ",
      "2017-03-12", "2017/3/12", "08:30:00", "１２", "\xFF", "x\r\ny", "2016年2月29日",
  };
  std::mt19937 random(20240607);
  for (int round = 0; round < 12; ++round) {
    Fields cells;
    const int rows = 50 + static_cast<int>(random() % 400);
    for (int i = 0; i < rows; ++i) {
      std::string cell = pieces[random() % pieces.size()];
      if (random() % 3 == 0) cell += pieces[random() % pieces.size()];
      cells.push_back(cell);
    }
    const TableModel table = oneColumn(cells);
    for (int o = 0; o < kSortOrderCount; ++o) {
      for (SortDirection direction : {kAsc, kDesc}) {
        const auto order = static_cast<SortOrder>(o);
        EXPECT_EQ(sortedRowOrder(table, 1, order, direction), insertionOrder(cells, order, direction))
            << "round " << round << " order " << o << " direction " << static_cast<int>(direction);
      }
    }
  }
}

TEST(SortRows, ALargeTableIsInTheSameOrderAsASmallOne) {
  // Large enough for the keys and the sort to be shared between two cores; every neighbouring pair
  // must stand as the insertion procedure puts it.
  const std::vector<std::string> pieces = {"", "1", "10", "-3", "a", "B", "中", "张", "阿", "2017-03-12", "１２"};
  std::mt19937 random(20261210);
  Fields cells;
  for (int i = 0; i < 90000; ++i) {
    cells.push_back(pieces[random() % pieces.size()] + pieces[random() % pieces.size()] +
                    std::to_string(random() % 50));
  }
  const TableModel table = oneColumn(cells);
  for (SortOrder order : {SortOrder::Number, SortOrder::Length, SortOrder::Codes, SortOrder::Pinyin}) {
    for (SortDirection direction : {kAsc, kDesc}) {
      const std::vector<int32_t> result = sortedRowOrder(table, 1, order, direction);
      std::vector<int32_t> seen(result);
      std::sort(seen.begin(), seen.end());
      std::vector<int32_t> all(cells.size());
      std::iota(all.begin(), all.end(), 0);
      ASSERT_EQ(seen, all) << "each row once";
      const bool tiesReversed = isSequenceOrder(order) && direction == kAsc;
      for (size_t i = 1; i < result.size(); ++i) {
        const int32_t a = result[i - 1], b = result[i];
        const Key ka = keyOf(order, cells[a]), kb = keyOf(order, cells[b]);
        const bool inOrder = ka == kb ? (tiesReversed ? a > b : a < b) : (direction == kAsc ? ka < kb : kb < ka);
        ASSERT_TRUE(inOrder) << "order " << static_cast<int>(order) << " direction "
                             << static_cast<int>(direction) << " at " << i << ": " << cells[a] << " / " << cells[b];
      }
    }
  }
}

}  // namespace
}  // namespace chengling
