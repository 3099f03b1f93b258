#pragma once
// The split engine: cuts each file of a list into pieces written as new files, by number of pieces,
// byte size, random line or character counts, or a separator text.
//
// Counting and size modes, and line splits without detection, stream the source through buffers of
// a few MiB whatever its size; the modes that decode hold the decoded file in memory. The modes that
// decode split no file that is no text (foundation/text_check.h): it fails with kNotTextSplit and
// gets no piece.
//
// Counting and size modes cut at exact byte offsets, or, when asked, move each cut forward to the
// next line end or character start (piece_cuts.h). Such a split of a file that is no text cuts at
// the exact offsets and warns (kNotTextCutBytes); one by count that cannot make the pieces asked for
// without empty ones makes fewer and warns.

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/run_context.h"
#include "tools/split_merge/piece_cuts.h"

namespace chengling {

enum class SplitMode { ByCount, BySize, ByLines, ByChars, BySeparator };

// The setting an invalid outcome is about.
enum class SplitField { None, PieceCount, SizeValue, LinesLow, CharsLow };

// Read from the split area's controls once, when the run starts. Defaults are the controls' initial
// states.
struct SplitOptions {
  SplitMode mode = SplitMode::ByCount;
  int32_t pieceCount = 100;  // pieces per file (ByCount), at least 1
  float sizeValue = 3.12f;   // piece size in `sizeUnit`s (BySize); a piece of at least 1 byte
  int sizeUnit = 1;          // 0 B, 1 KB, 2 MB, 3 GB
  int32_t linesLow = 5;      // random lines per piece between the two, either order, at least 1
  int32_t linesHigh = 10;
  int32_t charsLow = 200;    // random characters per piece between the two, either order, at least 1
  int32_t charsHigh = 500;
  std::string separator;     // internal text (BySeparator); empty asks for it
  SplitCut cut = SplitCut::Bytes;  // ByCount and BySize: where a piece may end
  bool skipBlankLines = false;  // line mode: blank lines are not counted nor written
  bool detectEncoding = false;  // line mode: decode the source (whole file in memory)
  bool fixLineEndings = false;  // lone CR or LF become CR LF (only together with detection)
  bool intoSubfolder = true;    // pieces go into a folder named after the source
  bool deleteSource = false;    // the source goes once all its pieces are committed
  bool contentNames = false;    // pieces are named after a phrase of their content
  // The setting of the chosen mode whose text was no number of its kind (see countFromText and
  // sizeFromText): the run refuses to start, naming it.
  SplitField unreadable = SplitField::None;
  // Not a control: told the path of every piece once it is committed (the command line prints it).
  std::function<void(std::string_view path)> onPieceWritten;
};

enum class SplitEnd {
  Finished,      // the whole list was handled (some items may have failed: see failures)
  Stopped,       // a stop request ended the run after the current piece
  Invalid,       // a setting is invalid: show `message` with only an OK button, focus `field`
  AskSeparator,  // the separator is empty: show `message`, then open the separator input
};

struct SplitOutcome {
  SplitEnd end = SplitEnd::Finished;
  std::string message;  // internal text
  SplitField field = SplitField::None;
  int64_t piecesWritten = 0;
  int64_t failures = 0;
  int64_t sourcesDeleted = 0;
};

// Splits every source, in list order. Reports "(i/n)name" and "[k] (i/n)name" as status, the line
// mode's phase texts, progress over the sources, and each failure with its path and reason. A source
// is deleted (deleteSource) only when every piece of it was committed.
SplitOutcome SplitRun(const std::vector<std::string>& sources, const SplitOptions& options,
                      RunContext& ctx);

// The whole of `text` as a 32-bit integer, blanks around it allowed; false for anything else, such
// as "1e30", "3abc", "1.9" or a number beyond 32 bits. A value below 1 is read: the run refuses it
// with its own message.
bool countFromText(std::string_view text, int32_t& value);

// The whole of `text` as a size in `unit`s (0 B .. 3 GB): an optional sign, digits with at most one
// decimal point, blanks around them allowed, naming at most 2^62 bytes; false for anything else. 0
// and below are read: the run refuses them with its own message.
bool sizeFromText(std::string_view text, int unit, float& value);

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

// A piece count above this and above a source's size in bytes is refused (it would only add empty
// pieces).
inline constexpr int32_t kMaxEmptyPieceCount = 1000;

// Messages of the split area (internal text; defined in the engine).
extern const char* const kCountInvalid;       // 份数必须大于0
extern const char* const kSizeInvalid;        // 字节长度不能等于0
extern const char* const kLinesInvalid;       // 行数至少 1
extern const char* const kCharsInvalid;       // 字数至少 1 个
extern const char* const kCountUnreadable;    // 份数应是 1 到 2147483647 之间的整数
extern const char* const kSizeUnreadable;     // 大小应是一个数，可带小数，如 3.12
extern const char* const kLinesUnreadable;    // 行数应是 1 到 2147483647 之间的整数
extern const char* const kCharsUnreadable;    // 字数应是 1 到 2147483647 之间的整数
extern const char* const kSeparatorMissing;   // 请输入用于分割的字符串！
extern const char* const kPhaseReading;       // 读入文件..
extern const char* const kPhaseFixing;        // 矫正换行..
extern const char* const kPhaseToMemory;      // 写到内存..
extern const char* const kPhaseSplitting;     // 开始分割..
extern const char* const kNotTextSplit;       // 不是文本文件，未分割
extern const char* const kNotTextCutBytes;    // 不是文本文件，按字节分割

}  // namespace chengling
