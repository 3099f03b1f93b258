#!/usr/bin/env python3
"""Writes the spreadsheet tables of the CSV tests with Python's csv module, as a spreadsheet program
saves them: every line ending in CR LF, a field quoted only when it holds a comma, a quote or a line
break (a quote inside doubled), line breaks inside a cell kept as the cell has them.
  spreadsheet-utf8.csv   UTF-8 with a byte order mark ("CSV UTF-8")
  spreadsheet-gbk.csv    GBK, no mark (the plain "CSV" of a Chinese desktop)
and beside each the same rows with every field quoted (*-quoted.csv): what an export to a .csv name
must write back, byte for byte.
   tests/data/csv/spreadsheet.py   (from anywhere; writes next to itself)"""
import csv, os

rows = [
    ["编号", "评论", "金额", "日期", "备注"],
    ["1", '他说"好的"', "1,234.50", "2023-05-12 08:30:15", ""],
    ["2", "第一行\n第二行", "-0.5", "2023/5/1", "换行在中间，逗号,也在"],
    ["3", '"', '""', "引号在两头：\"甲\"", "多行\r\n带回车换行"],
    ["4", "", "2e3", "", "末尾换行\n"],
    ["5", " 前后空格 ", "10", "2038-01-20", "英文, comma and \"quotes\""],
    ["6", "\n", "1.9", "2100-12-31 23:59:59", "a,b,c"],
    ["7", "它说：“中文引号”不用转义", "0001", "12:00", "最后一格"],
]

here = os.path.dirname(os.path.abspath(__file__))
for name, encoding in (("utf8", "utf-8-sig"), ("gbk", "gbk")):
    for suffix, quoting in (("", csv.QUOTE_MINIMAL), ("-quoted", csv.QUOTE_ALL)):
        with open(os.path.join(here, "spreadsheet-%s%s.csv" % (name, suffix)), "w", encoding=encoding,
                  newline="") as f:
            csv.writer(f, quoting=quoting, lineterminator="\r\n").writerows(rows)
