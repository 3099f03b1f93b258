#pragma once
// The classification path template: an ordinary path in which bracketed tokens stand for parts of a
// file's own path, its size, its modification time, the name of its batch, and when and with which
// camera a photo was taken. Pure text logic; the only file access is reading a file's size, its
// modification time and a photo's EXIF record, each only when the template asks for it.
//
// Shared by the engine and the window: no Chinese literal is defined in this header (the two sides
// compile literals in different charsets); the token texts and the help text live in the .cpp.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/classify/photo_record.h"

namespace chengling {

// The 33 tokens, in the order in which Expand replaces them.
enum class TemplateToken : int {
  SubfolderSegment,  // [子目录段]
  FolderPath1, FolderSegment1, FolderName1,
  FolderPath2, FolderSegment2, FolderName2,
  FolderPath3, FolderSegment3, FolderName3,
  FolderPath4, FolderSegment4, FolderName4,
  FolderPath5, FolderSegment5, FolderName5,
  FileName,   // [文件名]
  MainName,   // [主名]
  Extension,  // [扩展名]
  Size,       // [大小]
  Year, Month, Day, Hour, Minute, Second,
  BatchName,  // [批次名]
  // From a photo's EXIF record (photo_record.h); the date tokens fall back to the modification
  // time, the model to "未知型号".
  TakenDate,    // [拍摄日期] YYYY-MM-DD
  TakenYear,    // [拍摄年] four digits
  TakenMonth,   // [拍摄月] two digits
  TakenDay,     // [拍摄日] two digits
  TakenTime,    // [拍摄时间] HH-MM-SS
  CameraModel,  // [相机型号]
};
inline constexpr int kTemplateTokenCount = 33;

// The token's text with its brackets, as internal text.
std::string_view tokenText(TemplateToken token);

// The template that a fresh window and the command line start with: "[父目录路径]/[批次名]/[文件名]".
extern const char* const kDefaultTemplate;

// The items of the token menu in menu order; an empty entry stands for a separator. The first item
// is the help entry, whose caption is kTokenHelpCaption.
std::vector<std::string> tokenMenuItems();
extern const char* const kTokenHelpCaption;  // "元符帮助"
// The help of the file tokens (lines joined by CR LF, ending with CR LF).
extern const char* const kTokenHelpText;
// The help of the photo tokens, in the same form.
extern const char* const kPhotoTokenHelpText;
// What the help entry shows: the file tokens' help, two empty lines, the photo tokens' help.
std::string tokenHelpText();
// The value of [相机型号] for a file without a model in its record.
extern const char* const kUnknownCameraModel;  // "未知型号"

enum class BatchNameMode { Numbers, Letters, NamedList };

// The run's batch state that Expand reads. `number` starts at 1; naming a batch beyond the end of
// the named list sets it back to 1, so the names repeat in a cycle.
struct BatchContext {
  BatchNameMode mode = BatchNameMode::Numbers;
  int32_t number = 1;
  std::vector<std::string> names;
};

// "0 B", "1023 B", "1 KB", "1.5 KB", "117.74 MB", ... up to EB; a negative count stays in bytes.
std::string SizeText(int64_t bytes);

// The name of batch `batch.number`: decimal, bijective base 26 with A-Z, or the listed name. In
// named-list mode a number past the end of the list is set back to 1 first (an empty list names
// every batch with the empty text).
std::string BatchName(BatchContext& batch);

// Letters of bijective base 26: 1 A, 26 Z, 27 AA, 702 ZZ, 703 AAA; empty for n < 1.
std::string batchLetters(int64_t n);

// A prepared template: the text with every "\" outside a double-byte character turned into "/"
// (both separate), plus one presence flag per token. Only present tokens are ever replaced.
class PathTemplate {
 public:
  PathTemplate() = default;
  explicit PathTemplate(std::string_view text);

  const std::string& text() const { return text_; }
  bool has(TemplateToken token) const { return present_[static_cast<int>(token)]; }
  bool needsSize() const { return has(TemplateToken::Size); }
  bool needsTime() const;
  // Whether the template holds a token of the photo's record; only then is the record read.
  bool needsPhotoRecord() const;

  // The target path of `file` ("/"-separated internal text). `entryFolder` ends with "/" in a folder
  // walk and is empty in a file-list run. Reads the file's size, time and EXIF record only when
  // needed, and the time for the photo tokens only when the record holds no date. May set
  // `batch.number` back to 1 (named list). A doubled separator in the result becomes one.
  // No value adds a level that climbs: a name or batch name is one level ("/" in it becomes "／",
  // the whole value "." or ".." becomes "．" or "．．"), and a "." or ".." level of a path value
  // becomes "．" or "．．" as well. Only the template's own separators and dots are taken as typed.
  // `knownRegular`: the caller has just found a regular file at `file` (readPhotoRecord).
  // `photo`: the file's record as the caller has already read it; null reads it here when needed.
  std::string expand(std::string_view file, std::string_view entryFolder, BatchContext& batch,
                     bool knownRegular = false, const PhotoRecord* photo = nullptr) const;

  // The same with the size, the modification time (seconds since the epoch) and the photo's record
  // supplied; without a record the photo tokens take the modification time and "未知型号".
  std::string expandWith(std::string_view file, std::string_view entryFolder, BatchContext& batch,
                         int64_t size, int64_t modified, const PhotoRecord& photo = {}) const;

 private:
  std::string text_;
  std::array<bool, kTemplateTokenCount> present_{};
};

// The bracketed words of a template that are no token: each "[" + text + "]" whose text is not
// empty and holds neither a bracket nor a separator ("/" or "\"), and that is not one of the 33
// tokens exactly ("[文名]", "[6父目录路径]", "[ 文件名]"). Expand leaves them in the target as typed,
// which is rarely what was meant. In order of first appearance, each once, with their brackets.
std::vector<std::string> unknownBracketWords(std::string_view templateText);

// Every occurrence of `from` that starts on a character boundary replaced by `to`, left to right.
std::string replaceOnBoundaries(std::string_view text, std::string_view from, std::string_view to);

}  // namespace chengling
