// Tables read from UTF-8 files keep their UTF-8 bytes: everything that reads them must see exactly
// the internal text a conversion of the whole file would have given, and exports back to UTF-8 must
// carry the untouched bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/charset_conversion.h"
#include "foundation/gb18030_table.h"
#include "foundation/text_codec.h"
#include "foundation/utf8_internal.h"
#include "support/test_support.h"
#include "tools/csv_table/csv_record.h"
#include "tools/csv_table/csv_text.h"
#include "tools/csv_table/grid_geometry.h"
#include "tools/csv_table/table_sort.h"

namespace chengling {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;
using Fields = std::vector<std::string>;

// iconv's UTF-8 for internal text: the independent reference.
std::string utf8(std::string_view internal) { return ConvertCharset(internal, "GB18030", "UTF-8"); }

// Two GBK characters whose second byte is 5C, the escape of the line parser.
const std::string kEscapeA = "\x81\x5C";
const std::string kEscapeB = "\xDF\x5C";

std::vector<std::string> internalFieldsOfUtf8(std::string_view utf8Line) {
  std::vector<std::string> out;
  for (const std::string& v : csvRecordFields(utf8Line, true)) out.push_back(ConvertCharset(v, "UTF-8", "GB18030"));
  return out;
}

TEST(Utf8Cells, FitCheckAgreesWithTheTableOnEveryCharacterAndRejectsIllFormedText) {
  auto encode = [](char32_t point) {
    std::string out;
    if (point < 0x80) {
      out += static_cast<char>(point);
    } else if (point < 0x800) {
      out += static_cast<char>(0xC0 | point >> 6);
      out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
      out += static_cast<char>(0xE0 | point >> 12);
      out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | point >> 18);
      out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (point & 0x3F));
    }
    return out;
  };
  const gb18030::Table& table = gb18030::Table::get();
  int64_t rejected = 0;
  for (char32_t point = 0x80; point < 0x10000; ++point) {
    if (point >= 0xD800 && point <= 0xDFFF) continue;
    const bool fits = table.encodedLength(static_cast<char16_t>(point)) != 0;
    rejected += fits ? 0 : 1;
    // Alone, after enough ASCII to be reached by a stride over plain bytes, and across the edge of
    // a block of sixteen.
    for (size_t before : {0, 10, 14, 15, 31}) {
      ASSERT_EQ(utf8FitsInternal(std::string(before, 'a') + encode(point) + "x"), fits)
          << std::hex << static_cast<uint32_t>(point) << " after " << before;
    }
  }
  EXPECT_GT(rejected, 0);  // the converter leaves some private-use characters out
  EXPECT_TRUE(utf8FitsInternal(encode(0x1F600) + encode(0x4E2D)));

  const char* const illFormed[] = {
      "\xE0\x80\x80",      // overlong three-byte form of NUL
      "\xE0\x9F\xBF",      // overlong three-byte form of U+07FF
      "\xED\xA0\x80",      // surrogate
      "\xED\xBF\xBF",      // surrogate
      "\xC0\x80",          // overlong two-byte form
      "\xC1\xBF",          // overlong two-byte form
      "\xE4\xB8",          // cut off at the end
      "\xE4\x41\xAD",      // a continuation missing
      "\xE4\xB8\xC0",      // a lead where a continuation belongs
      "\x80",              // a continuation alone
      "\xF4\x90\x80\x80",  // beyond U+10FFFF
      "\xF8\x88\x80\x80\x80",
  };
  for (const char* bad : illFormed) {
    for (size_t before = 0; before <= 33; ++before) {
      EXPECT_FALSE(utf8FitsInternal(std::string(before, 'a') + bad + "\xE4\xB8\xAD")) << bad << " after " << before;
    }
    EXPECT_FALSE(utf8FitsInternal(std::string(30, 'a') + bad)) << bad << " at the end";
  }
}

TEST(Utf8CsvLine, GivesTheFieldsOfItsInternalText) {
  const std::string cases[] = {
      "甲,乙,,丙",
      "\"中,文\",'它\"的',尾",
      kEscapeA + "\"x\",y",       // the 5C byte escapes the quote: no quoted field opens
      kEscapeA + ",b,c",          // ... and the comma: no separator
      "a," + kEscapeB,            // a 5C-ending character ends the line
      "\"" + kEscapeA + "\",b",   // inside quotes: the escape takes the closing quote
      "\\中\",x",                 // an escape takes the first byte of a character only
      "\\" + kEscapeA + ",x",     // ... whose 5C then escapes the comma
      "a,\\中",                   // the escaped character ends the line
      "\"未闭合,中",
      "前\"中\"后,b",
      "\xF0\x9F\x98\x80,\"\xF0\x9F\x98\x80\"",  // four-byte characters
  };
  for (const std::string& line : cases) {
    const std::string internal = line.find('\xF0') == std::string::npos ? line : ConvertCharset(line, "UTF-8", "GB18030");
    const std::string u = line.find('\xF0') == std::string::npos ? utf8(line) : line;
    ASSERT_FALSE(u.empty()) << line;
    EXPECT_EQ(internalFieldsOfUtf8(u), ParseCsvLine(internal)) << line;
  }
}

class Utf8Table : public ::testing::Test {
 protected:
  std::string file(const std::string& name, std::string_view bytes) {
    const std::string path = dir_ / name;
    writeBytes(path, bytes);
    return path;
  }
  CsvImportOutcome import(TableModel& table, std::vector<std::string> paths) {
    CsvImportOptions options;
    options.paths = std::move(paths);
    return ImportCsvFiles(options, table, ctx_);
  }
  TempDir dir_;
  PlainRunContext ctx_;
};

// The same table as a UTF-8 file (with and without a mark) and as a GBK file must read the same.
TEST_F(Utf8Table, ReadsLikeTheSameTableInGbk) {
  const std::string text = "名,值,注\r\n\"中,文\",12,啊\r\n一," + kEscapeA + "\"q\",x\r\n\\丙,-3,\"'\"\r\n丁\n";
  const std::string paths[] = {file("mark.csv", "\xEF\xBB\xBF" + utf8(text)), file("plain.csv", utf8(text))};
  TableModel gbk;
  ASSERT_EQ(import(gbk, {file("gbk.csv", text)}).encoding, TextEncoding::Ansi);
  for (const std::string& path : paths) {
    TableModel table;
    const CsvImportOutcome outcome = import(table, {path});
    EXPECT_EQ(outcome.encoding, TextEncoding::Utf8) << path;
    ASSERT_EQ(table.RowCount(), gbk.RowCount()) << path;
    ASSERT_EQ(table.ColumnCount(), gbk.ColumnCount()) << path;
    for (int32_t c = 1; c <= gbk.ColumnCount(); ++c) EXPECT_EQ(table.GetColumnTitle(c), gbk.GetColumnTitle(c));
    for (int32_t r = 0; r <= gbk.RowCount(); ++r) EXPECT_EQ(table.RowText(r, true), gbk.RowText(r, true)) << r;
    GridMetrics metrics;
    EXPECT_EQ(AutoFitColumns(table, metrics, FitMode::CellsOnly, 1, 0, true),
              AutoFitColumns(gbk, metrics, FitMode::CellsOnly, 1, 0, true))
        << "widths count the bytes of internal text";
  }
}

TEST_F(Utf8Table, SortsInTheOrderOfInternalText) {
  // In UTF-8 一 (U+4E00) comes before 啊 (U+554A); in GB18030 啊 (B0A1) comes first.
  const std::string text = "k\r\n一\r\n啊\r\nb\r\n阿\r\n１２\r\n3\r\n";
  TableModel gbk, table;
  import(gbk, {file("gbk.csv", text)});
  import(table, {file("u.csv", utf8(text))});
  ASSERT_TRUE(table.rowIsUtf8(1));
  for (int order = 0; order < kSortOrderCount; ++order) {
    for (SortDirection direction : {SortDirection::Ascending, SortDirection::Descending}) {
      EXPECT_EQ(sortedRowOrder(table, 1, static_cast<SortOrder>(order), direction),
                sortedRowOrder(gbk, 1, static_cast<SortOrder>(order), direction))
          << kSortOrderNames[order] << static_cast<int>(direction);
    }
  }
}

TEST_F(Utf8Table, ExportWritesTheUntouchedBytesAndEncodesTheRest) {
  const std::string body = "名,值\r\n中,\"1,2\"\r\n" + kEscapeA + "x,尾\r\n";  // the 5C takes the x
  TableModel table;
  import(table, {file("u.csv", "\xEF\xBB\xBF" + utf8(body)), file("g.csv", "名,值\r\n乙,3\r\n")});
  ASSERT_EQ(table.RowCount(), 3);
  EXPECT_FALSE(table.rowIsUtf8(3)) << "the GBK file's row is internal text";
  table.SetCell(1, 2, "改");
  struct Case {
    std::string name;
    TextEncoding encoding;
    std::string want;
  };
  const std::string quoted = "\"名\",\"值\"\r\n\"中\",\"改\"\r\n\"" + kEscapeA + "x\",\"尾\"\r\n\"乙\",\"3\"\r\n";
  const Case cases[] = {
      {"out.csv", TextEncoding::Utf8, "\xEF\xBB\xBF" + utf8(quoted)},
      {"out.txt", TextEncoding::Utf8, "\xEF\xBB\xBF" + utf8("名,值\r\n中,改\r\n" + kEscapeA + "x,尾\r\n乙,3\r\n")},
      {"gbk.csv", TextEncoding::Ansi, quoted},
      {"le.csv", TextEncoding::Utf16Le, "\xFF\xFE" + ConvertCharset(quoted, "GB18030", "UTF-16LE")},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(ExportCsv(table, dir_ / c.name, c.encoding)) << c.name;
    EXPECT_EQ(readBytes(dir_ / c.name), c.want) << c.name;
  }
}

// Large enough for the export to format blocks of rows on two cores: untouched UTF-8 rows, edited
// ones, rows of a GBK file and one row of more than a MiB, in blocks of both kinds, come out as the
// table's own text in the file's encoding.
TEST_F(Utf8Table, ALargeTableExportsEveryKindOfRowInPlace) {
  std::string body = "名,值\r\n";
  for (int i = 0; i < 80000; ++i) body += "中" + std::to_string(i) + ",\"v," + std::to_string(i % 7) + "\"\r\n";
  TableModel table;
  import(table, {file("u.csv", utf8(body)), file("g.csv", "名,值\r\n乙,3\r\n丙,4\r\n")});
  ASSERT_EQ(table.RowCount(), 80002);
  for (int32_t row : {2, 4097, 5000, 12289, 60000}) table.SetCell(row, 2, "改" + std::to_string(row));
  table.SetCell(4100, 1, std::string((size_t{1} << 20) + 10, 'h'));
  for (TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Ansi}) {
    std::string want;
    for (int32_t r = 0; r <= table.RowCount(); ++r) want += table.RowText(r, true) + "\r\n";
    if (encoding == TextEncoding::Utf8) want = "\xEF\xBB\xBF" + utf8(want);
    ASSERT_TRUE(ExportCsv(table, dir_ / "out.csv", encoding));
    EXPECT_TRUE(readBytes(dir_ / "out.csv") == want) << static_cast<int>(encoding);
  }
}

TEST_F(Utf8Table, AHugeFieldGoesOutWhole) {
  // Larger than the pieces the export writes in, in both a direct and an encoded export.
  std::string cell(9 << 20, 'x');
  for (size_t i = 0; i < cell.size(); i += 1000) cell.replace(i, 2, "中");
  const std::string text = "h\r\n\"" + cell + "\"\r\nend\r\n";
  TableModel table;
  import(table, {file("big.csv", text)});
  ASSERT_EQ(table.RowCount(), 2);
  ASSERT_TRUE(ExportCsv(table, dir_ / "out.csv", TextEncoding::Ansi));
  EXPECT_EQ(readBytes(dir_ / "out.csv"), "\"h\"\r\n\"" + cell + "\"\r\n\"end\"\r\n");
  ASSERT_TRUE(ExportCsv(table, dir_ / "u.csv", TextEncoding::Utf8));
  EXPECT_EQ(readBytes(dir_ / "u.csv"), "\xEF\xBB\xBF" + utf8("\"h\"\r\n\"" + cell + "\"\r\n\"end\"\r\n"));
}

}  // namespace
}  // namespace chengling
