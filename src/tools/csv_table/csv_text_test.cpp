#include "tools/csv_table/csv_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "foundation/text_codec.h"
#include "support/test_support.h"
#include "tools/csv_table/csv_record.h"
#include "tools/csv_table/table_sort.h"

namespace chengling {
namespace {

using testing::gb;
using testing::hex;
using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;
using Fields = std::vector<std::string>;

std::vector<Fields> cellsOf(const TableModel& table) {
  std::vector<Fields> out;
  for (int32_t r = 1; r <= table.RowCount(); ++r) out.push_back(table.row(r).cells());
  return out;
}

Fields titlesOf(const TableModel& table) {
  Fields out;
  for (const TableColumn& column : table.columns()) out.push_back(column.title);
  return out;
}

TEST(ParseCsvLine, FollowsTheQuoteCommaAndBackslashRules) {
  struct Case {
    std::string line;
    Fields want;
  };
  const Case kCases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a,b,,c", {"a", "b", "", "c"}},
      {"a,", {"a"}},                                   // a trailing comma adds no field
      {",x", {"", "x"}},
      {",", {""}},
      {"\"#评论#\",\"#时间#\",\"#昵称#\"", {"#评论#", "#时间#", "#昵称#"}},
      {"\"a,b\",c", {"a,b", "c"}},                     // a comma inside quotes
      {"\"it's\",x", {"it's", "x"}},                   // the other quote character inside quotes
      {"'say \"hi\"',x", {"say \"hi\"", "x"}},
      {"\"a\"\"b\"", {"a\"b"}},                        // a doubled quote inside quotes is one quote
      {"it's,x", {"it's", "x"}},                       // a quote inside an unquoted field is plain
      {"ab\"cd\",e", {"ab\"cd\"", "e"}},                 // ... however many
      {"\"a\"xyz,b", {"axyz", "b"}},                    // bytes after a closing quote stay
      {"\"a\\\"b\",c", {"a\\\"b", "c"}},               // an escaped quote does not close; \ stays
      {"a\\,b,c", {"a\\,b", "c"}},                     // an escaped comma does not separate
      {"x,\"y\"", {"x", "y"}},
      {"\"\",\"\"", {"", ""}},
      {"\"unclosed,a,b", {"\"unclosed", "a", "b"}},     // a quote never closed is plain
      {"a,b\\", {"a", "b\\"}},
  };
  for (const Case& c : kCases) EXPECT_EQ(ParseCsvLine(c.line), c.want) << c.line;
}

// Import of one or more files into the table.
class CsvImport : public ::testing::Test {
 protected:
  std::string file(const std::string& name, std::string_view bytes) {
    const std::string path = dir_ / name;
    writeBytes(path, bytes);
    return path;
  }
  CsvImportOutcome import(std::vector<std::string> paths, bool numbered = false) {
    CsvImportOptions options;
    options.paths = std::move(paths);
    options.numberedTitles = numbered;
    return ImportCsvFiles(options, table_, ctx_);
  }

  TempDir dir_;
  TableModel table_;
  PlainRunContext ctx_;
};

TEST_F(CsvImport, FirstLineIsTheHeaderAndRowsAreFittedToIt) {
  const std::string path = file("a.csv",
                                "\"#评论#\",\"#时间#\",\"#昵称#\"\r\n"
                                "好,2017-03-12,张三\r\n"
                                "短\r\n"
                                "1,2,3,4,5\n"
                                "x,y,z");
  const CsvImportOutcome outcome = import({path});
  EXPECT_EQ(titlesOf(table_), (Fields{"#评论#", "#时间#", "#昵称#"}));
  EXPECT_EQ(cellsOf(table_), (std::vector<Fields>{{"好", "2017-03-12", "张三"},
                                                   {"短", "", ""},
                                                   {"1", "2", "3"},
                                                   {"x", "y", "z"}}));
  EXPECT_EQ(outcome.rowsAdded, 4);
  EXPECT_EQ(outcome.encoding, TextEncoding::Ansi);
  EXPECT_FALSE(outcome.stopped);
}

TEST_F(CsvImport, CtrlMakesNumberedTitlesAndKeepsTheFirstLineAsData) {
  const std::string path = file("a.txt", "a,b,c\nd,e,f\n");
  import({path}, true);
  EXPECT_EQ(titlesOf(table_), (Fields{"第1列", "第2列", "第3列"}));
  EXPECT_EQ(cellsOf(table_), (std::vector<Fields>{{"a", "b", "c"}, {"d", "e", "f"}}));
}

TEST_F(CsvImport, FilesMergeUnderOneHeaderAndARepeatedHeaderIsSkipped) {
  const std::string first = file("1.csv", "name,n\na,1\nb,2\n");
  const std::string second = file("2.csv", "name,n\nc,3\n");
  const std::string third = file("3.csv", "d,4\ne,5\n");  // no header: its first line is data
  const CsvImportOutcome outcome = import({first, second, third});
  EXPECT_EQ(titlesOf(table_), (Fields{"name", "n"}));
  EXPECT_EQ(cellsOf(table_),
            (std::vector<Fields>{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}}));
  EXPECT_EQ(outcome.rowsAdded, 5);
}

TEST_F(CsvImport, EachFileIsDecodedWithDetectionAndTheFirstEncodingIsKept) {
  const std::string utf8 = file("u.csv", reinterpret_cast<const char*>(u8"名字,城市\n张三,北京\n"));
  const std::string ansi = file("g.csv", "名字,城市\n李四,上海\n");
  const CsvImportOutcome outcome = import({utf8, ansi});
  EXPECT_EQ(outcome.encoding, TextEncoding::Utf8);
  EXPECT_EQ(titlesOf(table_), (Fields{"名字", "城市"}));
  EXPECT_EQ(cellsOf(table_), (std::vector<Fields>{{"张三", "北京"}, {"李四", "上海"}}));
}

TEST_F(CsvImport, AnUnreadableFileIsReportedAndTheOthersStillImport) {
  const std::string good = file("good.csv", "h\n1\n");
  const CsvImportOutcome outcome = import({dir_ / "missing.csv", good});
  EXPECT_EQ(outcome.filesFailed, 1);
  ASSERT_EQ(ctx_.failures.size(), 1u);
  EXPECT_EQ(ctx_.failures[0].item, dir_ / "missing.csv");
  EXPECT_EQ(titlesOf(table_), Fields{"h"});
  EXPECT_EQ(cellsOf(table_), std::vector<Fields>{{"1"}});
}

TEST_F(CsvImport, AnEmptyListOrEmptyFirstPathLeavesTheTableAlone) {
  table_.AddColumn("keep");
  table_.AddRow(Fields{"x"});
  import({});
  import({"", dir_ / "x.csv"});
  EXPECT_EQ(titlesOf(table_), Fields{"keep"});
  EXPECT_EQ(table_.RowCount(), 1);
}

TEST_F(CsvImport, LeadingEmptyLinesDoNotMakeAnEmptyHeader) {
  const std::string plain = file("p.csv", "\r\n\na,b\n1,2\n");
  import({plain});
  EXPECT_EQ(titlesOf(table_), (Fields{"a", "b"}));
  EXPECT_EQ(cellsOf(table_), (std::vector<Fields>{{"1", "2"}}));
  import({plain}, true);
  EXPECT_EQ(titlesOf(table_), (Fields{"第1列", "第2列"}));
  EXPECT_EQ(cellsOf(table_), (std::vector<Fields>{{"a", "b"}, {"1", "2"}}));
}

TEST_F(CsvImport, StopsAfterTheCurrentLineWhenAsked) {
  const std::string path = file("big.csv", "h\n1\n2\n3\n4\n5\n");
  ctx_.onCheckpointHook = [](PlainRunContext& ctx, int64_t count) {
    if (count == 3) ctx.requestStop();  // header line, row 1, row 2
  };
  const CsvImportOutcome outcome = import({path, path});
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(cellsOf(table_), (std::vector<Fields>{{"1"}, {"2"}}));
}

TEST_F(CsvImport, RowsOfEveryShapeReadAndExportWholeAfterASort) {
  // The lines differ in what they leave behind once their fields are read: separators, quotes and
  // the line break, sometimes too little to index the row in place.
  auto joined = [](int count, const std::string& cell, bool quoted) {
    std::string line;
    for (int i = 0; i < count; ++i) {
      if (i > 0) line += ',';
      line += quoted ? "\"" + cell + std::to_string(i) + "\"" : cell + std::to_string(i);
    }
    return line;
  };
  auto cellsOfLine = [](int count, const std::string& cell) {
    Fields out;
    for (int i = 0; i < count; ++i) out.push_back(cell + std::to_string(i));
    return out;
  };
  const std::string wide(300, 'w');
  const std::string huge(70000, 'h');
  const std::string utf8Cell = reinterpret_cast<const char*>(u8"张");
  struct Case {
    const char* name;
    int columns;
    std::string body;  // after the header line
    std::vector<Fields> rows;
  };
  const Case cases[] = {
      {"LF, every field", 3, "a,b,c\ndd,e,f\n", {{"a", "b", "c"}, {"dd", "e", "f"}}},
      {"LF, short rows", 3, "a\nbb,c\n", {{"a", "", ""}, {"bb", "c", ""}}},
      {"no break at the end", 3, "a,b,c\nxx,y,z", {{"a", "b", "c"}, {"xx", "y", "z"}}},
      {"CR LF, quoted", 3, "\"a\",\"b\",\"c\"\r\n\"dd\",'e',f\r\n", {{"a", "b", "c"}, {"dd", "e", "f"}}},
      {"long rows", 3, wide + ",1,2\n\"" + wide + "w\",\"1\",\"2\"\r\n" + huge + ",1,2\n",
       {{wide, "1", "2"}, {wide + "w", "1", "2"}, {huge, "1", "2"}}},
      {"thousands of columns", 5000, joined(5000, "q", false) + "\n" + joined(5000, "r", true) + "\r\n",
       {cellsOfLine(5000, "q"), cellsOfLine(5000, "r")}},
      {"UTF-8", 2, utf8Cell + "," + utf8Cell + "\n" + utf8Cell + utf8Cell + "\n",
       {{"张", "张"}, {"张张", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fields titles;
    for (int i = 0; i < c.columns; ++i) titles.push_back("t" + std::to_string(i));
    const std::string path = file("shapes.csv", joined(c.columns, "t", false) + "\n" + c.body);
    import({path});
    ASSERT_EQ(titlesOf(table_), titles);
    EXPECT_EQ(cellsOf(table_), c.rows);
    // Longest first cell first: the rows move as a whole.
    SortRows(table_, 1, SortDirection::Descending, SortOrder::Length);
    std::vector<Fields> sorted = c.rows;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Fields& a, const Fields& b) { return a[0].size() > b[0].size(); });
    EXPECT_EQ(cellsOf(table_), sorted);
    std::string exported = joined(c.columns, "t", false) + "\r\n";
    for (const Fields& row : sorted) {
      for (size_t i = 0; i < row.size(); ++i) exported += (i > 0 ? "," : "") + row[i];
      exported += "\r\n";
    }
    EXPECT_EQ(exportText(table_, false), exported);
  }
}

TEST_F(CsvImport, AFileOfManyMegabytesReadsLikeItsLinesOneByOne) {
  // Large enough to be parsed on two cores: every row must still be what its own line gives, in
  // file order, in both of the parser's forms (internal text and UTF-8). (A double quote that is
  // never closed on its line would take the next lines into its field; an apostrophe ends with it.)
  const std::vector<std::string> shapes = {
      "a,b,c,d,e,f", "\"q,1\",'r',s\\,t", "", "short", "x,,y", "'open", "1,2,3,4,5,6,7,8,9"};
  for (const std::string& accent : {std::string("中"), std::string(reinterpret_cast<const char*>(u8"中"))}) {
    SCOPED_TRACE(accent.size() == 2 ? "internal text" : "UTF-8");
    std::mt19937 random(7);
    std::string text = "h1,h2,h3,h4,h5,h6\r\n";
    std::vector<std::string> lines;
    while (text.size() < (size_t{9} << 20)) {
      std::string line = shapes[random() % shapes.size()] + std::to_string(random() % 1000);
      if (random() % 4 == 0) line += "," + accent;
      lines.push_back(line);
      text += line + (random() % 2 ? "\r\n" : "\n");
    }
    const CsvImportOutcome outcome = import({file("many.csv", text)});
    ASSERT_FALSE(outcome.stopped);
    ASSERT_EQ(table_.RowCount(), static_cast<int32_t>(lines.size()));
    EXPECT_EQ(outcome.rowsAdded, table_.RowCount());
    for (size_t i = 0; i < lines.size(); ++i) {
      Fields fields = csvRecordFields(lines[i], accent.size() != 2);
      fields.resize(6);
      for (int32_t c = 1; c <= 6; ++c) {
        const CellBytes cell = table_.cellBytes(static_cast<int32_t>(i) + 1, c);
        ASSERT_EQ(cell.bytes, fields[c - 1]) << "line " << i << " column " << c << ": " << lines[i];
      }
    }
  }
}

TEST_F(CsvImport, AStopInALargeFileKeepsTheRowsBeforeIt) {
  std::string text = "h,k\n";
  for (int i = 0; i < 700000; ++i) text += std::to_string(i) + ",v\n";
  ctx_.onCheckpointHook = [](PlainRunContext& ctx, int64_t count) {
    if (count == 1001) ctx.requestStop();  // the header line, then rows 1 to 1000
  };
  const CsvImportOutcome outcome = import({file("big.csv", text)});
  EXPECT_TRUE(outcome.stopped);
  ASSERT_EQ(table_.RowCount(), 1000);
  EXPECT_EQ(outcome.rowsAdded, 1000);
  for (int32_t r = 1; r <= 1000; ++r) ASSERT_EQ(table_.GetCell(r, 1), std::to_string(r - 1));
}

TEST_F(CsvImport, AnyBytesImportWithoutHarm) {
  std::string hostile = "a,b\n";
  hostile += std::string("x\x1A,y\n", 5);
  hostile += "\xFF\xFE\x80,\xC3\n";                       // invalid in every encoding around
  hostile += std::string(10 << 20, 'q') + ",tail\n";        // a 10 MB line
  hostile += std::string("z\0,w\n", 5);                     // internal text ends at a NUL
  hostile += "after\n";
  const std::string path = file("hostile.csv", hostile);
  const CsvImportOutcome outcome = import({path});
  EXPECT_EQ(titlesOf(table_), (Fields{"a", "b"}));
  ASSERT_GE(table_.RowCount(), 3);
  EXPECT_EQ(table_.GetCell(1, 1), "x\x1A");
  EXPECT_EQ(table_.GetCell(3, 1).size(), size_t{10} << 20);
  EXPECT_EQ(table_.GetCell(3, 2), "tail");
  for (int32_t r = 1; r <= table_.RowCount(); ++r) EXPECT_EQ(table_.cellCount(r), 2);
  EXPECT_EQ(outcome.rowsAdded, table_.RowCount());
}

// A NUL is a byte of its cell: a file holding some imports every row after it, and exported in its
// own encoding comes out byte for byte (a .txt name: the same cells, unquoted).
TEST_F(CsvImport, NulBytesInCellsRoundTripInEveryEncoding) {
  using namespace std::string_literals;
  const std::string quoted = gb(u8"\"名\",\"值") + "\0"s + gb(u8"注\"\r\n") +
                             "\"1\",\"x\0y\"\r\n\"\0\",\"\0\0\"\r\n"s +
                             gb(u8"\"2\",\"中") + "\0"s + gb(u8"文\"\r\n") + "\"3\",\"z\"\r\n";
  const std::string plain = gb(u8"名,值") + "\0"s + gb(u8"注\r\n") + "1,x\0y\r\n\0,\0\0\r\n"s +
                            gb(u8"2,中") + "\0"s + gb(u8"文\r\n") + "3,z\r\n";
  const Fields titles = {gb(u8"名"), gb(u8"值") + "\0"s + gb(u8"注")};
  const std::vector<Fields> rows = {{"1", "x\0y"s}, {"\0"s, "\0\0"s}, {"2", gb(u8"中") + "\0"s + gb(u8"文")}, {"3", "z"}};
  for (TextEncoding encoding : {TextEncoding::Ansi, TextEncoding::Utf8, TextEncoding::Utf16Le, TextEncoding::Utf16Be}) {
    SCOPED_TRACE(static_cast<int>(encoding));
    const CsvImportOutcome outcome = import({file("n.csv", encodedText(quoted, encoding))});
    EXPECT_EQ(outcome.encoding, encoding);
    EXPECT_EQ(titlesOf(table_), titles);
    EXPECT_EQ(cellsOf(table_), rows);
    ASSERT_TRUE(ExportCsv(table_, dir_ / "out.csv", outcome.encoding));
    EXPECT_EQ(hex(readBytes(dir_ / "out.csv")), hex(encodedText(quoted, encoding)));
    ASSERT_TRUE(ExportCsv(table_, dir_ / "out.txt", outcome.encoding));
    EXPECT_EQ(hex(readBytes(dir_ / "out.txt")), hex(encodedText(plain, encoding)));
  }
  // UTF-8 without a mark is held as UTF-8 too.
  const CsvImportOutcome outcome = import({file("n.csv", encodedText(plain, TextEncoding::Utf8NoMark))});
  EXPECT_EQ(outcome.encoding, TextEncoding::Utf8);
  EXPECT_EQ(titlesOf(table_), titles);
  EXPECT_EQ(cellsOf(table_), rows);
  EXPECT_EQ(copyText(table_), quoted.substr(quoted.find('\n') + 1));
}

// What a spreadsheet program saves (written by Python's csv module: tests/data/csv/spreadsheet.py)
// imports cell for cell, and exported to a .csv name comes out byte for byte as the same program
// writes the rows with every field quoted.
TEST_F(CsvImport, ASpreadsheetTableExportsAsTheSpreadsheetWroteIt) {
  const char* data = std::getenv("CHENGLING_TEST_DATA");
  ASSERT_NE(data, nullptr);
  const std::string folder = std::string(data) + "/csv/";
  const std::vector<Fields> wantRows = {
      {gb(u8"1"), gb(u8"他说\"好的\""), gb(u8"1,234.50"), gb(u8"2023-05-12 08:30:15"), ""},
      {"2", gb(u8"第一行\n第二行"), "-0.5", "2023/5/1", gb(u8"换行在中间，逗号,也在")},
      {"3", "\"", "\"\"", gb(u8"引号在两头：\"甲\""), gb(u8"多行\r\n带回车换行")},
      {"4", "", "2e3", "", gb(u8"末尾换行\n")},
      {"5", gb(u8" 前后空格 "), "10", "2038-01-20", gb(u8"英文, comma and \"quotes\"")},
      {"6", "\n", "1.9", "2100-12-31 23:59:59", "a,b,c"},
      {"7", gb(u8"它说：“中文引号”不用转义"), "0001", "12:00", gb(u8"最后一格")},
  };
  for (const char* name : {"utf8", "gbk"}) {
    SCOPED_TRACE(name);
    const std::string source = folder + "spreadsheet-" + name + ".csv";
    const std::string quoted = folder + "spreadsheet-" + name + "-quoted.csv";
    for (const std::string& path : {source, quoted}) {
      const CsvImportOutcome outcome = import({path});
      EXPECT_EQ(outcome.unclosedQuoteLines, 0);
      EXPECT_EQ(titlesOf(table_), (Fields{gb(u8"编号"), gb(u8"评论"), gb(u8"金额"), gb(u8"日期"), gb(u8"备注")}));
      EXPECT_EQ(cellsOf(table_), wantRows) << path;
      ASSERT_TRUE(ExportCsv(table_, dir_ / "out.csv", outcome.encoding));
      EXPECT_EQ(readBytes(dir_ / "out.csv"), readBytes(quoted)) << path;
    }
  }
}

// Any table goes out to a .csv name and comes back the same, whatever its cells hold, in internal
// text and in UTF-8, with enough rows to be read on two cores.
TEST_F(CsvImport, AnyTableExportedToCsvImportsAsTheSameTable) {
  const std::vector<std::string> pieces = {"a",  "\"", "\"\"", "'",  "\\", ",",  "\n", "\r\n", "\r",
                                           "中", "，", "\x81\x5C", "\xDF\x5C", " ",   "1.5", "#"};
  std::mt19937 random(31);
  auto cell = [&] {
    std::string text;
    for (int k = static_cast<int>(random() % 6); k > 0; --k) text += pieces[random() % pieces.size()];
    return text;
  };
  for (TextEncoding encoding : {TextEncoding::Ansi, TextEncoding::Utf8}) {
    SCOPED_TRACE(static_cast<int>(encoding));
    TableModel table;
    for (int c = 0; c < 4; ++c) table.AddColumn(c == 0 ? "'t\\" : cell() + "t");  // the first title must not repeat
    std::vector<Fields> rows;
    for (int r = 0; r < 150000; ++r) {
      rows.push_back({cell(), cell(), cell(), cell()});
      table.AddRow(rows.back());
    }
    const Fields titles = titlesOf(table);
    const std::string path = dir_ / "round.csv";
    ASSERT_TRUE(ExportCsv(table, path, encoding));
    const CsvImportOutcome outcome = import({path});
    EXPECT_EQ(outcome.unclosedQuoteLines, 0);
    EXPECT_EQ(titlesOf(table_), titles);
    ASSERT_EQ(table_.RowCount(), static_cast<int32_t>(rows.size()));
    for (int32_t r = 1; r <= table_.RowCount(); ++r) ASSERT_EQ(table_.row(r).cells(), rows[r - 1]) << "row " << r;
  }
}

// Many megabytes of records whose quoted fields hold line breaks: read on two cores, cut where a
// record starts, the rows are those that were written, in order.
TEST_F(CsvImport, RecordsOverSeveralLinesReadWholeOnTwoCores) {
  std::mt19937 random(5);
  const std::vector<std::string> pieces = {"x", "中文", ",", "\"", "\n", "\r\n", "'", "1"};
  // Written as a spreadsheet does: quotes only where needed, a quote inside doubled.
  auto field = [](const std::string& cell) {
    if (cell.find_first_of(",\"\r\n") == std::string::npos && (cell.empty() || cell[0] != '\'')) return cell;
    std::string out = "\"";
    for (char c : cell) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
  };
  std::string text = "a,b,c\r\n";
  std::vector<Fields> rows;
  while (text.size() < (size_t{9} << 20)) {
    Fields row;
    for (int c = 0; c < 3; ++c) {
      std::string cell;
      for (int k = static_cast<int>(random() % 5); k > 0; --k) cell += pieces[random() % pieces.size()];
      // A long run of lines inside one field now and then, maybe across the middle of the text.
      if (random() % 5000 == 0) cell += std::string(20000, '\n');
      text += (c > 0 ? "," : "") + field(cell);
      row.push_back(cell);
    }
    text += "\r\n";
    rows.push_back(row);
  }
  const CsvImportOutcome outcome = import({file("lines.csv", text)});
  EXPECT_EQ(outcome.rowsAdded, static_cast<int64_t>(rows.size()));
  ASSERT_EQ(table_.RowCount(), static_cast<int32_t>(rows.size()));
  for (int32_t r = 1; r <= table_.RowCount(); ++r) ASSERT_EQ(table_.row(r).cells(), rows[r - 1]) << "row " << r;
}

TEST_F(CsvImport, QuotesNeverClosedAreReadAsCharactersAndCounted) {
  const std::string first = file("1.csv", "name,note\n'x,1\nit's,2\n'y,z\n");
  const std::string second = file("2.csv", "name,note\nok,\"never closed\nlast,3\n");
  const CsvImportOutcome outcome = import({first, second});
  EXPECT_EQ(cellsOf(table_), (std::vector<Fields>{{"'x", "1"}, {"it's", "2"}, {"'y", "z"},
                                                   {"ok", "\"never closed"}, {"last", "3"}}));
  EXPECT_EQ(outcome.unclosedQuoteLines, 3);
  ASSERT_EQ(ctx_.warnings.size(), 2u);
  EXPECT_EQ(ctx_.warnings[0].item, first);
  EXPECT_EQ(ctx_.warnings[0].reason, csvUnclosedQuoteNote(2));
  EXPECT_EQ(ctx_.warnings[1].item, second);
  EXPECT_EQ(ctx_.warnings[1].reason, csvUnclosedQuoteNote(1));
  EXPECT_TRUE(ctx_.failures.empty());
}

TEST(CsvClipboardImport, ReplacesTheTableWithTheText) {
  TableModel table;
  table.AddColumn("old");
  table.AddRow(Fields{"gone"});
  PlainRunContext ctx;
  ImportCsvText("x,y\r\n1,2\r\n", false, table, ctx);
  EXPECT_EQ(titlesOf(table), (Fields{"x", "y"}));
  EXPECT_EQ(cellsOf(table), (std::vector<Fields>{{"1", "2"}}));
}

TEST(CsvClipboardImport, KeepsNulBytesAndTheRowsAfterThem) {
  using namespace std::string_literals;
  TableModel table;
  PlainRunContext ctx;
  ImportCsvText("a,b\r\n1,x\0y\r\n2,z\r\n"s, false, table, ctx);
  EXPECT_EQ(cellsOf(table), (std::vector<Fields>{{"1", "x\0y"s}, {"2", "z"}}));
}

class CsvExport : public ::testing::Test {
 protected:
  void SetUp() override {
    table_.AddColumn("甲");
    table_.AddColumn("b");
    table_.AddRow(Fields{"", "x"});
    table_.AddRow(Fields{"中文", "q\"t"});
  }
  TempDir dir_;
  TableModel table_;
};

TEST_F(CsvExport, QuotesOnlyForCsvNamesAndKeepsAnEmptyFirstCell) {
  struct Case {
    const char* name;
    const char* want;
  };
  const Case kCases[] = {
      {"out.CSV", "\"甲\",\"b\"\r\n\"\",\"x\"\r\n\"中文\",\"q\"\"t\"\r\n"},  // a quote inside is doubled
      {"out.csv", "\"甲\",\"b\"\r\n\"\",\"x\"\r\n\"中文\",\"q\"\"t\"\r\n"},
      {"out.txt", "甲,b\r\n,x\r\n中文,q\"t\r\n"},
      {"csv", "甲,b\r\n,x\r\n中文,q\"t\r\n"},
  };
  for (const Case& c : kCases) {
    std::string error;
    ASSERT_TRUE(ExportCsv(table_, dir_ / c.name, TextEncoding::Ansi, &error)) << c.name << error;
    EXPECT_EQ(readBytes(dir_ / c.name), c.want) << c.name;
  }
}

TEST_F(CsvExport, ACellWithALineBreakIsQuotedInEveryFormAndReadsBackWhole) {
  table_.AddRow(Fields{"第一行\r\n第二行", "说\"好\"\n"});
  table_.AddRow(Fields{"C:\\", "x"});
  struct Case {
    const char* name;
    const char* want;
  };
  const Case kCases[] = {
      {"out.csv", "\"甲\",\"b\"\r\n\"\",\"x\"\r\n\"中文\",\"q\"\"t\"\r\n"
                  "\"第一行\r\n第二行\",\"说\"\"好\"\"\n\"\r\n\"C:\"\\,\"x\"\r\n"},
      {"out.txt", "甲,b\r\n,x\r\n中文,q\"t\r\n\"第一行\r\n第二行\",\"说\"\"好\"\"\n\"\r\nC:\\,x\r\n"},
  };
  for (const Case& c : kCases) {
    ASSERT_TRUE(ExportCsv(table_, dir_ / c.name, TextEncoding::Ansi)) << c.name;
    EXPECT_EQ(readBytes(dir_ / c.name), c.want) << c.name;
  }
  TableModel back;
  PlainRunContext ctx;
  CsvImportOptions options;
  options.paths = {dir_ / "out.csv"};
  ImportCsvFiles(options, back, ctx);
  ASSERT_EQ(back.RowCount(), 4);
  for (int32_t r = 1; r <= 4; ++r) EXPECT_EQ(back.row(r).cells(), table_.row(r).cells()) << r;
}

TEST_F(CsvExport, ATableWithoutRowsWritesTheTitleLineOnly) {
  table_.ClearRows();
  ASSERT_TRUE(ExportCsv(table_, dir_ / "t.txt", TextEncoding::Ansi));
  EXPECT_EQ(readBytes(dir_ / "t.txt"), "甲,b\r\n");
}

TEST_F(CsvExport, WritesTheImportedEncodingWithOneMark) {
  // Enough rows that the text is encoded in several pieces.
  for (int i = 0; i < 200000; ++i) table_.AddRow(Fields{"行" + std::to_string(i), "值"});
  const std::string path = dir_ / "u.csv";
  ASSERT_TRUE(ExportCsv(table_, path, TextEncoding::Utf8));
  const std::string bytes = readBytes(path);
  ASSERT_TRUE(bytes.starts_with("\xEF\xBB\xBF"));
  EXPECT_EQ(bytes.find("\xEF\xBB\xBF", 3), std::string::npos);
  EXPECT_EQ(DecodeBuffer(bytes, TextEncoding::Detect), exportText(table_, true));
}

TEST_F(CsvExport, AFailedWriteSaysSoAndLeavesNoFile) {
  std::string error;
  EXPECT_FALSE(ExportCsv(table_, dir_ / "no/such/folder/x.csv", TextEncoding::Ansi, &error));
  EXPECT_FALSE(error.empty());
}

TEST_F(CsvExport, CopyTextHoldsTheQuotedRowsWithoutTitles) {
  EXPECT_EQ(copyText(table_), "\"\",\"x\"\r\n\"中文\",\"q\"\"t\"\r\n");
  table_.ClearRows();
  EXPECT_EQ(copyText(table_), "");
  EXPECT_EQ(table_.RowText(0, false), "甲,b");
}

TEST(CsvMessages, ExportAndImportTextsNameWhatHappened) {
  EXPECT_EQ(csvExportedMessage("/d/表.csv"), gb(u8"已导出：/d/表.csv"));
  EXPECT_EQ(csvExportFailedMessage("/d/表.csv", gb(u8"磁盘已满")), gb(u8"未能导出到 /d/表.csv：磁盘已满"));
  EXPECT_EQ(csvExportFailedMessage("/x", ""), gb(u8"未能导出到 /x：无法写入"));
  struct Case {
    CsvImportOutcome outcome;
    std::string want;
  };
  const Case kCases[] = {
      {{TextEncoding::Ansi, 3, 0, false}, gb(u8"共导入 3 行")},
      {{TextEncoding::Ansi, 12, 0, true}, gb(u8"导入已停止，共导入 12 行")},
      {{TextEncoding::Ansi, 0, 2, false}, gb(u8"共导入 0 行，2 个文件未能读取")},
      {{TextEncoding::Ansi, 5, 0, false, 2}, gb(u8"共导入 5 行；2 行的引号没有闭合，已把引号当作普通字符导入")},
  };
  for (const Case& c : kCases) EXPECT_EQ(csvImportSummary(c.outcome), c.want) << c.want;
}

}  // namespace
}  // namespace chengling
