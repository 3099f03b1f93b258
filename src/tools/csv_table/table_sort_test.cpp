#include "tools/csv_table/table_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <regex>
#include <string>
#include <variant>
#include <vector>

#include "foundation/internal_text.h"
#include "tools/csv_table/number_key.h"

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
  struct IntegerCase {
    SortOrder order;
    std::string text;
    int64_t want;
  };
  const IntegerCase kIntegers[] = {
      {SortOrder::Length, "", 0},
      {SortOrder::Length, "中a", 3},
      {SortOrder::Chars, "中a", 2},
      {SortOrder::Chars, "a\r\nb", 3},
  };
  for (const IntegerCase& c : kIntegers) {
    EXPECT_EQ(integerSortKey(c.order, c.text), c.want) << static_cast<int>(c.order) << " " << c.text;
  }
  struct NumberCase {
    std::string text;
    DecimalValue want;  // 0.digits × 10^exponent
  };
  const NumberCase kNumbers[] = {
      {"100", {false, "1", 3}},
      {" -42x", {true, "42", 2}},     // not a number as a whole: its leading integer
      {"3.7", {false, "37", 1}},
      {"3.7kg", {false, "3", 1}},
      {"1e3", {false, "1", 4}},
      {"2E-3", {false, "2", -2}},
      {"-0.5", {true, "5", 0}},
      {".5", {false, "5", 0}},
      {"5.", {false, "5", 1}},
      {" +0012.3400 ", {false, "1234", 2}},
      {"１２", {false, "12", 2}},
      {"１．５", {false, "15", 1}},
      {"abc", {}},
      {"-0", {}},
      {"1e", {false, "1", 1}},        // an "e" without digits makes it no number: 1 leads
      {"1,000", {false, "1", 1}},
      {"4294967297", {false, "4294967297", 10}},  // no wrap-around
      {"123456789012345678901234567890", {false, "12345678901234567890123456789", 30}},
  };
  for (const NumberCase& c : kNumbers) EXPECT_EQ(numberValue(c.text), c.want) << c.text;
  struct DigitsCase {
    std::string text;
    DecimalValue want;
  };
  const DigitsCase kDigits[] = {
      {"2017-03-12", {false, "20170312", 8}},
      {"2017/3/12", {false, "2017312", 7}},
      {"无数字", {}},
      {"a1b2中3", {false, "123", 3}},
      {"１２", {}},  // only ASCII digits join
      {"0010-20", {false, "102", 4}},
      {"138-0013-8000", {false, "13800138", 11}},
  };
  for (const DigitsCase& c : kDigits) EXPECT_EQ(joinedDigitsValue(c.text), c.want) << c.text;
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
  EXPECT_EQ(dateTimeSeconds("1970-01-01 08:00:00"), 0);
  EXPECT_EQ(dateTimeSeconds("1970-01-01 08:00:01"), 1);
  EXPECT_EQ(dateTimeSeconds("2017-03-12"), 1489248000);
  EXPECT_EQ(dateTimeSeconds("2038-01-19 11:14:08"), int64_t{1} << 31) << "no wrap-around after 2038";
  EXPECT_EQ(dateTimeSeconds("9999-12-31 23:59:59"), 253402300799 - 8 * 3600);
  // A bare time is that time on 1991-01-21.
  EXPECT_EQ(dateTimeSeconds("08:30:00"), dateTimeSeconds("1991-01-21 08:30:00"));
  // Nothing readable: below every moment, the earliest readable one included.
  const int64_t earliest = secondsFromEpoch(Moment{100, 1, 1, 0, 0, 0});
  EXPECT_EQ(earliest, -59011459200 - 8 * 3600);
  EXPECT_EQ(dateTimeSeconds("0100-01-01"), earliest);
  EXPECT_EQ(dateTimeSeconds("hello"), kNoMoment);
  EXPECT_EQ(dateTimeSeconds("2017-13-45 99:99"), kNoMoment);
  EXPECT_LT(kNoMoment, earliest);
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
  // Decimals count.
  EXPECT_EQ(sorted({"1.5", "1.2", "0"}, SortOrder::Number, kDesc), (Fields{"1.5", "1.2", "0"}));
  EXPECT_EQ(sorted({"1.5", "1.2", "0"}, SortOrder::Number, kAsc), (Fields{"0", "1.2", "1.5"}));
  EXPECT_EQ(sorted({"1.5", "1.9", "1", "2", "-0.5", "2e3", "10"}, SortOrder::Number, kAsc),
            (Fields{"-0.5", "1", "1.5", "1.9", "2", "10", "2e3"}));
  // Equal values keep table order both ways, however they are written.
  EXPECT_EQ(sorted({"2000", "5", "2e3", "2000.0", "5.00"}, SortOrder::Number, kDesc),
            (Fields{"2000", "2e3", "2000.0", "5", "5.00"}));
  EXPECT_EQ(sorted({"2000", "5", "2e3", "2000.0", "5.00"}, SortOrder::Number, kAsc),
            (Fields{"5", "5.00", "2000", "2e3", "2000.0"}));
  EXPECT_EQ(sorted({"2017-01-01", "08:30:00"}, SortOrder::DateTime, kAsc),
            (Fields{"08:30:00", "2017-01-01"}));
  // Texts that name no moment share one key and keep their order, below every moment.
  EXPECT_EQ(sorted({"x", "2017-01-01", "y"}, SortOrder::DateTime, kDesc), (Fields{"2017-01-01", "x", "y"}));
  EXPECT_EQ(sorted({"2039-01-01", "x", "0100-01-01", "2037-12-31", "y"}, SortOrder::DateTime, kAsc),
            (Fields{"x", "y", "0100-01-01", "2037-12-31", "2039-01-01"}));
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

// A number for a comparison written apart from the sort's own: the text is matched as a whole
// against the pattern of a number (else its leading integer is taken); the value is its significant
// digits and where the point stands before the first of them.
struct ReferenceNumber {
  int sign = 0;         // -1, 0, 1
  std::string digits;   // no leading or trailing zeros
  long long point = 0;  // digits before the point (negative: zeros after it first)

  auto operator<=>(const ReferenceNumber& o) const {
    if (sign != o.sign) return sign <=> o.sign;
    const auto magnitude = point != o.point ? point <=> o.point : digits <=> o.digits;
    return sign < 0 ? 0 <=> magnitude : magnitude;
  }
  bool operator==(const ReferenceNumber& o) const { return (*this <=> o) == 0; }
};

ReferenceNumber referenceOf(bool negative, const std::string& integer, const std::string& fraction, long long exponent) {
  std::string all = integer + fraction;
  const size_t first = all.find_first_not_of('0');
  if (first == std::string::npos) return {};
  const size_t last = all.find_last_not_of('0');
  return {negative ? -1 : 1, all.substr(first, last + 1 - first),
          static_cast<long long>(integer.size()) - static_cast<long long>(first) + exponent};
}

ReferenceNumber referenceNumber(std::string_view original) {
  const std::string text = asciiFromFullWidth(original);
  static const std::regex whole(R"(^[ \t]*([+-]?)([0-9]*)(?:\.([0-9]*))?(?:[eE]([+-]?[0-9]+))?[ \t]*$)");
  static const std::regex leading(R"(^[ \t]*([+-]?)([0-9]*))");
  std::smatch m;
  if (std::regex_match(text, m, whole) && m[2].length() + m[3].length() > 0) {
    // Exponents beyond 10^17 count as 10^17: no cell has the digits for the difference to matter.
    long long exponent = 0;
    if (m[4].matched) {
      const std::string e = m[4].str();
      const bool negative = e[0] == '-';
      const std::string magnitude = e.substr(e[0] == '-' || e[0] == '+' ? 1 : 0);
      exponent = magnitude.size() > 17 ? 100000000000000000LL : std::min(std::stoll(magnitude), 100000000000000000LL);
      if (negative) exponent = -exponent;
    }
    return referenceOf(m[1] == "-", m[2].str(), m[3].str(), exponent);
  }
  std::regex_search(text, m, leading);
  return referenceOf(m[1] == "-", m[2].str(), "", 0);
}

ReferenceNumber referenceDigits(std::string_view text) {
  std::string digits;
  for (size_t pos = 0; pos < text.size(); ++pos) {
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b >= 0x80) {
      ++pos;  // a double-byte unit: its second byte is no digit of its own
    } else if (b >= '0' && b <= '9') {
      digits += static_cast<char>(b);
    }
  }
  return referenceOf(false, digits, "", 0);
}

// The insertion procedure as stated: groups found by halving search, rows appended to an equal
// scalar group, a new group for every sequence key.
using Key = std::variant<int64_t, ReferenceNumber, std::vector<int32_t>>;

Key keyOf(SortOrder order, std::string_view text) {
  switch (order) {
    case SortOrder::Codes: {
      std::vector<int32_t> bytes;
      for (unsigned char b : text) bytes.push_back(b);
      return bytes;
    }
    case SortOrder::Pinyin: {
      std::vector<int32_t> values;
      appendPinyinValues(text, values);
      return values;
    }
    case SortOrder::Number:
      return referenceNumber(text);
    case SortOrder::Digits:
      return referenceDigits(text);
    case SortOrder::Length:
      return static_cast<int64_t>(text.size());
    case SortOrder::Chars:
      return CharCount(text);
    case SortOrder::DateTime:
      return dateTimeSeconds(text);
  }
  return int64_t{0};
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
      // Numbers of every size and form, and moments on both sides of 2038.
      "1.9", "-0.5", "2e3", "1e-3", ".5", "0.50", "123456789012345678901234567", "123456789012345678901234568",
      "-123456789012345678901234567", "13800138000", "4294967297", "1e5000", "-1e5000", "1e-5000",
      "2039-01-01", "2038-01-19 11:14:08", "0100-01-01",
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

// A NUL is a byte like any other in every order: codes put "a" before "a\0" before "a\0b", and the
// bytes after a NUL count in every key.
TEST(SortRows, CellsHoldingNulSortByAllTheirBytes) {
  using namespace std::string_literals;
  EXPECT_EQ(sorted({"a\0"s, "a"s, "a\0b"s, "\0"s, ""s}, SortOrder::Codes, kAsc),
            (Fields{""s, "\0"s, "a"s, "a\0"s, "a\0b"s}));
  EXPECT_EQ(sorted({"a"s, "a\0\0\0\0\0\0\0"s, "a\0\0\0\0\0\0"s}, SortOrder::Codes, kDesc),
            (Fields{"a\0\0\0\0\0\0\0"s, "a\0\0\0\0\0\0"s, "a"s}));
  EXPECT_EQ(sorted({"x\0yy"s, "x"s, "x\0y"s}, SortOrder::Length, kDesc), (Fields{"x\0yy"s, "x\0y"s, "x"s}));
  EXPECT_EQ(sorted({"\0\0"s, "\0"s, "\0\0\0"s}, SortOrder::Chars, kAsc), (Fields{"\0"s, "\0\0"s, "\0\0\0"s}));

  const std::vector<std::string> pieces = {""s, "\0"s, "a"s, "1"s, "\0\0"s, "9"s, "中"s, "-"s, "x\0y"s, "2017-03-12"s};
  std::mt19937 random(20240921);
  for (int round = 0; round < 6; ++round) {
    Fields cells;
    for (int i = 0; i < 200; ++i) {
      std::string cell;
      for (int k = static_cast<int>(random() % 4); k > 0; --k) cell += pieces[random() % pieces.size()];
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

// Every neighbouring pair of the sorted rows stands as the insertion procedure puts it, and every
// row is there once.
void expectInInsertionOrder(const Fields& cells, SortOrder order, SortDirection direction) {
  const TableModel table = oneColumn(cells);
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
    ASSERT_TRUE(inOrder) << "order " << static_cast<int>(order) << " direction " << static_cast<int>(direction)
                         << " at " << i << ": " << cells[a] << " / " << cells[b];
  }
}

TEST(SortRows, ALargeTableIsInTheSameOrderAsASmallOne) {
  // Large enough for the keys and the sort to be shared between two cores.
  const std::vector<std::string> pieces = {"", "1", "10", "-3", "a", "B", "中", "张", "阿", "2017-03-12", "１２"};
  std::mt19937 random(20261210);
  Fields cells;
  for (int i = 0; i < 90000; ++i) {
    cells.push_back(pieces[random() % pieces.size()] + pieces[random() % pieces.size()] +
                    std::to_string(random() % 50));
  }
  for (SortOrder order : {SortOrder::Number, SortOrder::Length, SortOrder::Codes, SortOrder::Pinyin}) {
    for (SortDirection direction : {kAsc, kDesc}) expectInInsertionOrder(cells, order, direction);
  }
}

TEST(SortRows, ALargeTableOfNumbersAndMomentsOfEverySizeSortsByFullValue) {
  // Prices, 11-digit phones, 18-digit IDs, numbers longer than any machine word, exponents, and
  // moments of four centuries, with many equal values among them.
  std::mt19937 random(2038);
  auto digits = [&](int count) {
    std::string out;
    for (int k = 0; k < count; ++k) out += static_cast<char>('0' + random() % 10);
    return out;
  };
  Fields cells;
  for (int i = 0; i < 90000; ++i) {
    std::string cell;
    switch (random() % 6) {
      case 0: cell = std::to_string(random() % 100) + "." + digits(2); break;
      case 1: cell = "1" + digits(10); break;
      case 2: cell = "11010519491231002" + digits(1); break;
      case 3: cell = (random() % 2 ? "-" : "") + digits(1 + random() % 30) + "." + digits(random() % 30); break;
      case 4: cell = digits(1 + random() % 3) + "e" + std::to_string(static_cast<int>(random() % 60) - 30); break;
      default:
        cell = std::to_string(1900 + random() % 300) + "-0" + std::to_string(1 + random() % 9) + "-1" +
               std::to_string(random() % 10) + (random() % 8 == 0 ? "x" : "");
        break;
    }
    cells.push_back(cell);
  }
  for (SortOrder order : {SortOrder::Number, SortOrder::Digits, SortOrder::DateTime, SortOrder::Chars}) {
    for (SortDirection direction : {kAsc, kDesc}) expectInInsertionOrder(cells, order, direction);
  }
  // Prices alone (counted in cents), and prices among whole numbers too wide for one word.
  Fields prices, mixed;
  for (int i = 0; i < 90000; ++i) {
    prices.push_back(std::to_string(random() % 10000) + (random() % 3 ? "." + digits(1 + random() % 2) : ""));
    mixed.push_back(random() % 2 ? prices.back() : "-" + digits(12));
  }
  for (const Fields* column : {&prices, &mixed}) {
    for (SortDirection direction : {kAsc, kDesc}) expectInInsertionOrder(*column, SortOrder::Number, direction);
  }
}

// A sort asked to stop gives no order in any of the seven, small table or large (keys and sort on
// two cores); one that is not asked gives the order it gives without a run at all.
TEST(SortRows, AStoppedSortGivesNoOrder) {
  std::mt19937 random(7);
  const std::vector<std::string> pieces = {"", "1", "1.5", "-3", "a", "中", "张", "2017-03-12", "１２"};
  for (int rows : {1000, 200000}) {
    Fields cells;
    for (int i = 0; i < rows; ++i) cells.push_back(pieces[random() % pieces.size()] + std::to_string(random() % 100));
    const TableModel table = oneColumn(cells);
    for (int order = 0; order < kSortOrderCount; ++order) {
      SCOPED_TRACE(std::to_string(rows) + " rows, order " + std::to_string(order));
      PlainRunContext running;
      EXPECT_EQ(sortedRowOrder(table, 1, static_cast<SortOrder>(order), kAsc, &running),
                sortedRowOrder(table, 1, static_cast<SortOrder>(order), kAsc));
      PlainRunContext stopped;
      stopped.requestStop();
      EXPECT_TRUE(sortedRowOrder(table, 1, static_cast<SortOrder>(order), kDesc, &stopped).empty());
    }
  }
}

}  // namespace
}  // namespace chengling
