#pragma once
// Simplified and traditional Chinese on internal text, and the GBK / BIG5 code pages.
//
// ToTraditional and ToSimplified go through OpenCC's phrase-aware s2t and t2s conversions (头发 →
// 頭髮, where a character map would say 頭發). Their result has the byte length of their input: a
// converted character that GBK cannot hold, or that would change its byte length, keeps its original
// form; bytes that are not valid GB18030 pass through untouched. The converters are loaded once and
// shared; every function here is safe to call from any thread.

#include <string>
#include <string_view>

namespace chengling {

std::string ToTraditional(std::string_view text);
std::string ToSimplified(std::string_view text);

// Code page 936 text to code page 950 bytes and back, through Unicode. A character the target
// cannot hold, and a byte that starts no character of the source, become one "?"; the text is never
// cut short.
std::string GbkToBig5(std::string_view text);
std::string Big5ToGbk(std::string_view bytes);

// True when the OpenCC tables for both directions could be loaded. Without them ToTraditional and
// ToSimplified return their input unchanged.
bool chineseTablesAvailable();

}  // namespace chengling
