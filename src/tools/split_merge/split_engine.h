#pragma once
// The split engine: cuts each file of a list into pieces written as new files, by number of pieces,
// byte size, random line or character counts, or a separator text.
//
// Counting and size modes, and line splits without detection, stream the source through buffers of
// a few MiB whatever its size; the modes that decode hold the decoded file in memory.

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/run_context.h"

namespace chengling {

enum class SplitMode { ByCount, BySize, ByLines, ByChars, BySeparator };

// Read from the split area's controls once, when the run starts. Defaults are the controls' initial
// states.
struct SplitOptions {
  SplitMode mode = SplitMode::ByCount;
  int32_t pieceCount = 100;  // 编辑框份数 (textToInteger of its text)
  float sizeValue = 3.12f;   // 编辑框字节 (sizeValueFromText of its text)
  int sizeUnit = 1;          // 组合框字节单位: 0 B, 1 KB, 2 MB, 3 GB
  int32_t linesLow = 5;      // 编辑框行数1, 编辑框行数2 (either order)
  int32_t linesHigh = 10;
  int32_t charsLow = 200;    // 编辑框字数1, 编辑框字数2 (either order)
  int32_t charsHigh = 500;
  std::string separator;     // the tag of 按钮输入字符串 (internal text)
  bool skipBlankLines = false;  // 选择框忽略空行
  bool detectEncoding = false;  // 选择框识别编码 (line mode)
  bool fixLineEndings = false;  // 选择框矫正换行 (only together with detection)
  bool intoSubfolder = true;    // 选择框子目录保存
  bool deleteSource = false;    // 选择框分割后删除文件
  bool contentNames = false;    // 选择框随机改名
  // Not a control: told the path of every piece once it is committed (the command line prints it).
  std::function<void(std::string_view path)> onPieceWritten;
};

enum class SplitEnd {
  Finished,      // the whole list was handled (some items may have failed: see failures)
  Stopped,       // a stop request ended the run after the current piece
  Invalid,       // a setting is invalid: show `message` with only an OK button, focus `focus`
  AskSeparator,  // the separator is empty: show `message`, then open the separator input
};

struct SplitOutcome {
  SplitEnd end = SplitEnd::Finished;
  std::string message;  // internal text
  std::string focus;    // objectName of the edit box that gets the keyboard focus
  int64_t piecesWritten = 0;
  int64_t failures = 0;
  int64_t sourcesDeleted = 0;
};

// Splits every source, in list order. Reports "(i/n)name" and "[k] (i/n)name" as status, the line
// mode's phase texts, progress over the sources, and each failure with its path and reason. A source
// is deleted (deleteSource) only when every piece of it was committed.
SplitOutcome SplitRun(const std::vector<std::string>& sources, const SplitOptions& options,
                      RunContext& ctx);

// The single-precision value of a size text: leading blanks, an optional sign, digits with an
// optional decimal point and fraction; anything after is ignored; no number gives 0.
float sizeValueFromText(std::string_view text);

// Piece length in bytes for a size value and unit index (0 B .. 3 GB), truncated; 0 or below means
// no pieces. Saturates instead of overflowing.
int64_t pieceLengthFor(float value, int unit);

// From `position` (0-based), takes the bytes of the next `n` characters (character rule) into
// `piece`, never ending inside a double-byte character or between CR and LF; everything left when
// fewer remain. Moves `position` past the piece; returns whether bytes remain after it.
bool TakeChars(std::string_view bytes, int64_t n, size_t& position, std::string_view& piece);

// Hands `part` the parts of `text` between occurrences of `separator`, in order, matched byte for
// byte and never at the second byte of a double-byte character; the separators are dropped. Empty
// parts stay except a trailing one; "" gives none. Returns false when `part` asked to stop.
bool forEachSeparatorPart(std::string_view text, std::string_view separator,
                          const std::function<bool(std::string_view)>& part);

// Control names and messages of the split area (internal text; defined in the engine).
extern const char* const kCountControl;       // 编辑框份数
extern const char* const kSizeControl;        // 编辑框字节
extern const char* const kLinesControl;       // 编辑框行数1
extern const char* const kCharsControl;       // 编辑框字数1
extern const char* const kCountInvalid;       // 份数必须大于0
extern const char* const kSizeInvalid;        // 字节长度不能等于0
extern const char* const kLinesInvalid;       // 行数至少 1
extern const char* const kCharsInvalid;       // 字数至少 1 个
extern const char* const kSeparatorMissing;   // 请输入用于分割的字符串！
extern const char* const kPhaseReading;       // 读入文件..
extern const char* const kPhaseFixing;        // 矫正换行..
extern const char* const kPhaseToMemory;      // 写到内存..
extern const char* const kPhaseSplitting;     // 开始分割..

}  // namespace chengling
