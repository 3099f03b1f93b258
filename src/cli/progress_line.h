#pragma once
// The one-line progress display of chengling-cli on a terminal: the item at work, how far the run is
// and how fast it goes. Pure text functions on internal text, so the layout can be checked without
// a terminal.

#include <cstdint>
#include <string>
#include <string_view>

namespace chengling::cli {

// What an engine's progress counts: items (files, pieces, addresses) or bytes of text.
enum class ProgressUnit { Items, Bytes };

struct ProgressSnapshot {
  std::string item;       // internal text; may be empty
  int64_t position = 0;
  int64_t maximum = 0;    // 0 while the engine has not said how much there is
  double perSecond = -1;  // units per second; negative until it could be measured
};

// The item as the line shows it: the engine's status or phase text without the leading counter
// ("(3/10)a.txt", "    (10:3) /x/a.txt", "10:3") that the line shows in its own form.
std::string itemFromStatus(std::string_view status);

// Terminal columns taken by internal text: one for an ASCII byte, two for a double-byte character.
int displayWidth(std::string_view internal);

// "3/10 (30%) · 2.5 个/秒 · a.txt", or with bytes "1.5 MB/12 MB (12%) · 3.2 MB/秒 · a.csv", never
// wider than `columns` (a line that wraps could not be redrawn in place): a long item loses its
// beginning and starts with "…". Internal text.
std::string progressLine(const ProgressSnapshot& snapshot, ProgressUnit unit, int columns);

}  // namespace chengling::cli
