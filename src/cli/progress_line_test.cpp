#include "cli/progress_line.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace chengling::cli {
namespace {

using testing::gb;

TEST(ProgressLine, ItemLosesOnlyTheRunCounter) {
  struct Case {
    std::u8string status;
    std::u8string want;
  };
  const Case cases[] = {
      {u8"(3/10)甲.txt", u8"甲.txt"},                  // split and merge
      {u8"[12] (3/10)甲.txt", u8"[12] 甲.txt"},        // a split piece keeps its number
      {u8"    (10:3) /文档/甲.txt", u8"/文档/甲.txt"},  // classification
      {u8"(10:3) 甲.txt", u8"甲.txt"},                 // transcoding
      {u8"10:3", u8""},                                // the address resolver says only the count
      {u8"/数据/表.csv", u8"/数据/表.csv"},
      {u8"(草稿)甲.txt", u8"(草稿)甲.txt"},            // brackets of a name are not a counter
      {u8"(3/)甲.txt", u8"(3/)甲.txt"},
      {u8"正在读取文件夹：/x", u8"正在读取文件夹：/x"},
  };
  for (const Case& c : cases) EXPECT_EQ(itemFromStatus(gb(c.status)), gb(c.want)) << testing::utf8(c.status);
}

TEST(ProgressLine, ShowsCountRateAndItem) {
  struct Case {
    const char* name;
    ProgressSnapshot snapshot;
    ProgressUnit unit;
    std::u8string want;
  };
  const Case cases[] = {
      {"items", {gb(u8"甲.txt"), 3, 10, 2.46}, ProgressUnit::Items, u8"3/10 (30%)  2.5 个/秒  甲.txt"},
      {"fast items", {"a.txt", 300, 1000, 1234.5}, ProgressUnit::Items, u8"300/1000 (30%)  1235 个/秒  a.txt"},
      {"rate not measured yet", {"a.txt", 1, 4, -1}, ProgressUnit::Items, u8"1/4 (25%)  a.txt"},
      {"count not known yet", {gb(u8"正在读取"), 0, 0, -1}, ProgressUnit::Items, u8"正在读取"},
      {"bytes", {"a.csv", 1572864, 12582912, 3355443.2}, ProgressUnit::Bytes,
       u8"1.5 MB/12 MB (12%)  3.2 MB/秒  a.csv"},
      {"no item", {"", 5, 5, 0}, ProgressUnit::Items, u8"5/5 (100%)  0 个/秒"},
  };
  for (const Case& c : cases) EXPECT_EQ(progressLine(c.snapshot, c.unit, 80), gb(c.want)) << c.name;
}

TEST(ProgressLine, NeverWiderThanTheTerminal) {
  const std::string item = gb(u8"/很长的文件夹名称/") + std::string(60, 'x') + gb(u8"/结尾的文件.txt");
  const ProgressSnapshot snapshot{item, 7, 20, 1.5};
  for (int columns : {80, 60, 40, 34}) {
    const std::string line = progressLine(snapshot, ProgressUnit::Items, columns);
    EXPECT_LT(displayWidth(line), columns) << columns;
    EXPECT_EQ(line.rfind(gb(u8"7/20 (35%)  1.5 个/秒"), 0), 0u) << columns;
    // The end of a path (the file's own name) is what stays.
    EXPECT_NE(line.find(gb(u8"文件.txt")), std::string::npos) << columns;
    EXPECT_NE(line.find(gb(u8"…")), std::string::npos) << columns;
  }
  // Too narrow for any of the item: the count and rate alone.
  EXPECT_EQ(progressLine(snapshot, ProgressUnit::Items, 22), gb(u8"7/20 (35%)  1.5 个/秒"));
  EXPECT_EQ(displayWidth(gb(u8"ab甲乙")), 6);
}

}  // namespace
}  // namespace chengling::cli
