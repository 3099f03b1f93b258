#!/usr/bin/env python3
"""Generates src/foundation/pinyin_table.cpp: the first pinyin reading of every GB2312 hanzi as plain
lower-case letters (u with diaeresis written as v), from Unicode's Unihan readings.

Usage: scripts/gen_pinyin_table.py [UNIHAN_READINGS] > src/foundation/pinyin_table.cpp
The readings file defaults to the one of Debian's unicode-data package (plain or bz2-compressed).

GB2312 level 1 (B0A1-D7F9) is ordered by reading, so a character there gets the one of its readings
(kMandarin, kHanyuPinyin, kXHC1983, in that preference) that fits the order of its neighbours; the
best fit is the longest non-decreasing chain of readings over the whole level. A level 1 character
none of whose readings fits takes the reading of the group it sits in. Level 2 (D8A1-F7FE) is
ordered by radical, so it takes kMandarin's first reading (else the first of the other two).
"""

import bz2
import sys
import unicodedata

DEFAULT_READINGS = "/usr/share/unicode/Unihan_Readings.txt.bz2"
FIELDS = ("kMandarin", "kHanyuPinyin", "kXHC1983")


def plain(reading):
    """Tone marks removed, u with diaeresis as v, lower case: 'lǚ' -> 'lv'."""
    out = []
    for ch in unicodedata.normalize("NFD", reading.lower()):
        if ch == "\u0308" and out and out[-1] == "u":
            out[-1] = "v"
        elif "a" <= ch <= "z":
            out.append(ch)
    return "".join(out)


def order_key(reading):
    """Dictionary order of the level 1 table: u with diaeresis sorts as u, just after plain u."""
    return (reading.replace("v", "u"), reading)


def read_unihan(path):
    opener = bz2.open if path.endswith(".bz2") else open
    readings = {}
    with opener(path, "rt", encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            code, field, value = line.rstrip("\n").split("\t", 2)
            if field not in FIELDS:
                continue
            if field == "kMandarin":
                items = value.split()
            else:  # "0121.040:cháng 1456.020:zhǎng" or "10019.020:tiàn,tian"
                items = [r for entry in value.split() for r in entry.split(":", 1)[1].split(",")]
            readings.setdefault(int(code[2:], 16), {})[field] = [plain(r) for r in items if plain(r)]
    return readings


def candidates(fields):
    seen = []
    for field in FIELDS:
        for r in fields.get(field, []):
            if r not in seen:
                seen.append(r)
    return seen


def gb2312_char(lead, trail):
    try:
        return bytes([lead, trail]).decode("gb2312")
    except UnicodeDecodeError:
        return None


def fit_level1(chars, readings):
    """Chooses one reading per character so that as many as possible form a non-decreasing chain."""
    all_readings = sorted({r for c in chars for r in candidates(readings.get(ord(c), {}))}, key=order_key)
    rank = {r: i for i, r in enumerate(all_readings)}
    size = len(all_readings)
    # best[v]: (length, position, reading rank) of the longest chain ending with a rank <= v.
    best = [(0, -1, -1)] * size
    back = {}
    for i, c in enumerate(chars):
        updates = []
        for r in candidates(readings.get(ord(c), {})):
            v = rank[r]
            length, pos, prev_rank = best[v]
            back[(i, v)] = (pos, prev_rank)
            updates.append((v, length + 1))
        for v, length in updates:
            for w in range(v, size):
                if best[w][0] >= length:
                    break
                best[w] = (length, i, v)
    chosen = [None] * len(chars)
    _, pos, v = best[size - 1]
    while pos >= 0:
        chosen[pos] = all_readings[v]
        pos, v = back[(pos, v)]
    # Characters off the chain sit inside a group of equal neighbours (or between two groups, where
    # the earlier one is taken).
    for i in range(len(chosen)):
        if chosen[i] is None:
            earlier = next((chosen[j] for j in range(i - 1, -1, -1) if chosen[j]), None)
            later = next((chosen[j] for j in range(i + 1, len(chosen)) if chosen[j]), None)
            chosen[i] = earlier or later
    return chosen


def main():
    readings = read_unihan(sys.argv[1] if len(sys.argv) > 1 else DEFAULT_READINGS)
    table = {}
    level1 = [(lead, trail) for lead in range(0xB0, 0xD8) for trail in range(0xA1, 0xFF)
              if gb2312_char(lead, trail)]
    chars = [gb2312_char(lead, trail) for lead, trail in level1]
    for code, reading in zip(level1, fit_level1(chars, readings)):
        if reading:
            table[code] = reading
    for lead in range(0xD8, 0xF8):
        for trail in range(0xA1, 0xFF):
            c = gb2312_char(lead, trail)
            if c is None:
                continue
            fields = readings.get(ord(c), {})
            first = next((fields[f][0] for f in FIELDS if fields.get(f)), None)
            if first:
                table[(lead, trail)] = first

    names = sorted(set(table.values()))
    index = {r: i + 1 for i, r in enumerate(names)}
    out = sys.stdout
    out.write("// Generated by scripts/gen_pinyin_table.py from Unicode's Unihan readings. Do not edit.\n")
    out.write('#include "foundation/pinyin_table.h"\n\n#include <cstdint>\n\nnamespace chengling {\nnamespace {\n\n')
    out.write("// Every reading, in letter order; an entry of the table below is 1 + its index here.\n")
    out.write("constexpr const char* kReadings[] = {\n")
    line = "   "
    for r in names:
        item = ' "%s",' % r
        if len(line) + len(item) > 100:
            out.write(line + "\n")
            line = "   "
        line += item
    out.write(line + "\n};\n\n")
    out.write("// Rows B0-F7, cells A1-FE of GB2312; 0 where there is no hanzi.\n")
    out.write("constexpr uint16_t kReadingOfCode[72 * 94] = {\n")
    for lead in range(0xB0, 0xF8):
        values = [index.get(table.get((lead, trail)), 0) for trail in range(0xA1, 0xFF)]
        out.write("    // %02X\n" % lead)
        for start in range(0, 94, 16):
            out.write("    " + ", ".join(str(v) for v in values[start:start + 16]) + ",\n")
    out.write("};\n\n}  // namespace\n\n")
    out.write("std::string_view gb2312Reading(unsigned char lead, unsigned char trail) {\n")
    out.write("  if (lead < 0xB0 || lead > 0xF7 || trail < 0xA1 || trail > 0xFE) return {};\n")
    out.write("  const uint16_t entry = kReadingOfCode[(lead - 0xB0) * 94 + (trail - 0xA1)];\n")
    out.write("  return entry == 0 ? std::string_view() : std::string_view(kReadings[entry - 1]);\n")
    out.write("}\n\n}  // namespace chengling\n")
    print("%d characters, %d readings" % (len(table), len(names)), file=sys.stderr)


if __name__ == "__main__":
    main()
