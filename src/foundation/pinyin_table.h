#pragma once
// The first pinyin reading of a GB2312 hanzi, generated from Unicode's Unihan readings by
// scripts/gen_pinyin_table.py (the generated pinyin_table.cpp is committed).

#include <string_view>

namespace chengling {

// The reading of the character with the bytes `lead` `trail` in plain lower-case letters, the u with
// diaeresis written as v ("lv"); empty when the bytes are not a GB2312 hanzi (B0A1-F7FE).
std::string_view gb2312Reading(unsigned char lead, unsigned char trail);

}  // namespace chengling
