#include "cli/progress_line.h"

#include <cctype>

#include "foundation/internal_text.h"
#include "tools/classify/path_template.h"

namespace chengling::cli {
namespace {

constexpr std::string_view kGap = "  ";
constexpr std::string_view kEllipsis = "…";

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Length of a counter "12/30" or "30:12" at the start of `text`; 0 when there is none.
size_t counterLength(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isDigit(text[i])) ++i;
  if (i == 0 || i == text.size() || (text[i] != '/' && text[i] != ':')) return 0;
  const size_t separator = i++;
  while (i < text.size() && isDigit(text[i])) ++i;
  return i > separator + 1 ? i : 0;
}

// Columns of the character of `length` bytes at `pos`.
int charWidth(std::string_view text, size_t pos, size_t length) {
  return leadsDoubleByte(text[pos]) ? 2 : static_cast<int>(length);
}

void skipBlanks(std::string_view& text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
}

std::string countText(int64_t value, ProgressUnit unit) {
  return unit == ProgressUnit::Bytes ? SizeText(value) : numberToText(value);
}

std::string rateText(double perSecond, ProgressUnit unit) {
  if (unit == ProgressUnit::Bytes) return SizeText(static_cast<int64_t>(perSecond)) + "/秒";
  return numberToText(roundTo(perSecond, perSecond < 10 ? 1 : 0)) + " 个/秒";
}

}  // namespace

std::string itemFromStatus(std::string_view status) {
  skipBlanks(status);
  if (const size_t bare = counterLength(status); bare == status.size()) return std::string();
  // "[piece] " stays: it is not the counter of the run.
  size_t keep = 0;
  if (!status.empty() && status.front() == '[') {
    const size_t close = status.find("] ");
    if (close != std::string_view::npos) keep = close + 2;
  }
  std::string_view rest = status.substr(keep);
  if (!rest.empty() && rest.front() == '(') {
    const size_t counter = counterLength(rest.substr(1));
    if (counter > 0 && counter + 1 < rest.size() && rest[counter + 1] == ')') {
      rest.remove_prefix(counter + 2);
      skipBlanks(rest);
    }
  }
  return std::string(status.substr(0, keep)) + std::string(rest);
}

int displayWidth(std::string_view internal) {
  int width = 0;
  for (size_t pos = 0; pos < internal.size();) {
    const size_t length = charLengthAt(internal, pos);
    width += charWidth(internal, pos, length);
    pos += length;
  }
  return width;
}

std::string progressLine(const ProgressSnapshot& snapshot, ProgressUnit unit, int columns) {
  std::string line;
  if (snapshot.maximum > 0) {
    line = countText(snapshot.position, unit) + "/" + countText(snapshot.maximum, unit) + " (" +
           numberToText(snapshot.position * 100 / snapshot.maximum) + "%)";
  }
  if (snapshot.perSecond >= 0) {
    if (!line.empty()) line += kGap;
    line += rateText(snapshot.perSecond, unit);
  }
  std::string_view item = snapshot.item;
  if (item.empty()) return line;

  // The last column stays free: writing into it makes some terminals wrap at once.
  const int room = columns - 1 - displayWidth(line) - (line.empty() ? 0 : static_cast<int>(kGap.size()));
  const int itemWidth = displayWidth(item);
  if (itemWidth <= room) {
    return line + (line.empty() ? "" : std::string(kGap)) + std::string(item);
  }
  const int ellipsisWidth = displayWidth(kEllipsis);
  if (room < ellipsisWidth + 4) return line;
  int width = itemWidth;
  size_t start = 0;
  while (width + ellipsisWidth > room && start < item.size()) {
    const size_t length = charLengthAt(item, start);
    width -= charWidth(item, start, length);
    start += length;
  }
  return line + (line.empty() ? "" : std::string(kGap)) + std::string(kEllipsis) +
         std::string(item.substr(start));
}

}  // namespace chengling::cli
