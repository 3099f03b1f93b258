#pragma once
// Simplified and traditional Chinese on internal text, and the GBK / BIG5 code pages.
//
// ToTraditional and ToSimplified convert phrase by phrase (头发 → 頭髮, where a character map would
// say 頭發), with tables generated at build time from the installed OpenCC dictionaries: at each
// character the longest phrase of OpenCC's list that starts there, else the character's own entry,
// which is what OpenCC's s2t and t2s do. Their result has the byte length of their input: a
// converted character that GBK cannot hold, or that would change its byte length, keeps its original
// form; bytes that are not valid GB18030 pass through untouched and end any phrase. No phrase holds
// an ASCII character, so a text cut right after one converts piece by piece exactly as it does whole.
// The tables are read-only; every function here is safe to call from any thread.

#include <string>
#include <string_view>
#include <vector>

namespace chengling {

std::string ToTraditional(std::string_view text);
std::string ToSimplified(std::string_view text);

// The same conversions on UTF-8 text, every character written as the tables have it (no GBK limit,
// no length kept): the output of OpenCC's s2t and t2s. Bytes that are not UTF-8 pass through.
std::string Utf8ToTraditional(std::string_view utf8);
std::string Utf8ToSimplified(std::string_view utf8);

// Code page 936 text to code page 950 bytes and back, through Unicode. A character the target
// cannot hold, and a byte that starts no character of the source, become one "?"; the text is never
// cut short.
std::string GbkToBig5(std::string_view text);
std::string Big5ToGbk(std::string_view bytes);

// Steps of the functions above, run one after the other on text that arrives in pieces. What put()
// appends is final, and all of it together is, byte for byte, what the steps give on the whole text.
// Each step holds back only what a phrase or a character may still reach into: its text after the
// last byte below 0x30 (a character of its own in every code page here, and in no phrase), or, in a
// long stretch without one, its last longest phrase. So a file of any size converts in pieces.
class ChineseStream {
 public:
  enum class Step { ToTraditional, ToSimplified, GbkToBig5, Big5ToGbk };
  explicit ChineseStream(std::vector<Step> steps);
  // `last`: the piece ends the text, and everything held is converted too.
  void put(std::string_view piece, std::string& out, bool last = false);

 private:
  struct Stage {
    Step step;
    std::string held;
    size_t clean = 0;  // bytes of `held` known to hold no byte below 0x30
  };
  void run(size_t stage, std::string_view piece, bool last, std::string& out);
  std::vector<Stage> stages_;
};

// True when the tables for both directions are there; they are built into the program, so always.
bool chineseTablesAvailable();

}  // namespace chengling
