#include "tools/classify/path_template.h"

#include <cstdio>
#include <ctime>

#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/path_helpers.h"

namespace chengling {
namespace {

constexpr std::string_view kTokenTexts[kTemplateTokenCount] = {
    "[子目录段]",
    "[父目录路径]", "[父目录段]", "[父目录名]",
    "[2父目录路径]", "[2父目录段]", "[2父目录名]",
    "[3父目录路径]", "[3父目录段]", "[3父目录名]",
    "[4父目录路径]", "[4父目录段]", "[4父目录名]",
    "[5父目录路径]", "[5父目录段]", "[5父目录名]",
    "[文件名]", "[主名]", "[扩展名]", "[大小]",
    "[年]", "[月]", "[日]", "[时]", "[分]", "[秒]",
    "[批次名]",
    "[拍摄日期]", "[拍摄年]", "[拍摄月]", "[拍摄日]", "[拍摄时间]", "[相机型号]",
};

// Boundary-aware search: a match never starts inside a double-byte character.
size_t findOnBoundary(std::string_view text, std::string_view needle) {
  if (needle.empty() || needle.size() > text.size()) return std::string_view::npos;
  for (size_t pos = 0; pos + needle.size() <= text.size(); pos += charLengthAt(text, pos)) {
    if (text.compare(pos, needle.size(), needle) == 0) return pos;
  }
  return std::string_view::npos;
}

// Replaces `token` in `text` when the template holds it.
void replaceToken(std::string& text, const PathTemplate& tmpl, TemplateToken token,
                  std::string_view value) {
  if (!tmpl.has(token)) return;
  text = replaceOnBoundaries(text, tokenText(token), value);
}

// The harmless stand-ins of a "." or ".." level: the full-width full stop, which reads the same.
constexpr std::string_view kDotLevel = "．";
constexpr std::string_view kDotDotLevel = "．．";

std::string_view harmlessLevel(std::string_view level) {
  if (level == ".") return kDotLevel;
  if (level == "..") return kDotDotLevel;
  return level;
}

// A value taken from a file's name or a list line is one level of the target, whatever it holds: a
// "/" in it becomes the full-width "／", and the value "." or ".." becomes "．" or "．．". Only the
// separators of the template itself make folders, so a name such as "...txt" (main name "..") or a
// batch name "../../x" never climbs out of the folder that the template puts it in.
std::string nameValue(std::string value) {
  if (value.find(kPathSeparator) != std::string::npos) return replaceOnBoundaries(value, "/", "／");
  if (value == "." || value == "..") return std::string(harmlessLevel(value));
  return value;
}

// A value that is a path ([子目录段], [父目录段], [父目录路径]) keeps its separators, but a "." or ".."
// level in it (a list line such as "/a/../../x.txt") becomes "．" or "．．": it names a folder
// below the place where the template puts the value, never one above it. Paths without such
// levels, which is every path of a folder walk, stay as they are.
void replacePathToken(std::string& text, const PathTemplate& tmpl, TemplateToken token, std::string_view value) {
  if (value.find('.') == std::string_view::npos) {
    replaceToken(text, tmpl, token, value);
    return;
  }
  std::string harmless;
  harmless.reserve(value.size());
  size_t start = 0;
  while (true) {
    const size_t slash = value.find(kPathSeparator, start);
    harmless += harmlessLevel(value.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
    if (slash == std::string_view::npos) break;
    harmless += kPathSeparator;
    start = slash + 1;
  }
  replaceToken(text, tmpl, token, harmless);
}

std::string afterFirstSeparator(std::string_view path) {
  const size_t slash = path.find(kPathSeparator);
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(slash + 1));
}

// The file's folder less the entry folder. In a file-list run (no entry folder) that is the whole
// folder path. The entry folder is only ever taken off the front: a folder further down that
// happens to repeat its text, or a folder named like the file, is part of the segment.
std::string subfolderSegment(std::string_view file, std::string_view entryFolder) {
  std::string_view rest = file;
  if (!entryFolder.empty() && rest.substr(0, entryFolder.size()) == entryFolder) {
    rest.remove_prefix(entryFolder.size());
  }
  return PathDirectory(rest);
}

constexpr TemplateToken kPhotoTokens[] = {TemplateToken::TakenDate, TemplateToken::TakenYear,
                                          TemplateToken::TakenMonth, TemplateToken::TakenDay,
                                          TemplateToken::TakenTime, TemplateToken::CameraModel};

bool needsPhotoDate(const PathTemplate& tmpl) {
  for (TemplateToken t : kPhotoTokens) {
    if (t != TemplateToken::CameraModel && tmpl.has(t)) return true;
  }
  return false;
}

// The photo tokens, last of all: a camera's model is the camera's text, and no token in it is
// ever replaced. The date is the record's wall clock as written; without one, the file's
// modification time in local time, as [年] and the others read it.
void replacePhotoTokens(std::string& text, const PathTemplate& tmpl, int64_t modified, const PhotoRecord& photo) {
  using T = TemplateToken;
  PhotoTime taken = photo.taken;
  if (!photo.hasTaken) {
    const time_t seconds = static_cast<time_t>(modified);
    std::tm local{};
    localtime_r(&seconds, &local);
    taken = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
  }
  char value[64];
  auto put = [&](T token, const char* format, auto... numbers) {
    if (!tmpl.has(token)) return;
    std::snprintf(value, sizeof value, format, numbers...);
    replaceToken(text, tmpl, token, value);
  };
  put(T::TakenDate, "%04d-%02d-%02d", taken.year, taken.month, taken.day);
  put(T::TakenYear, "%04d", taken.year);
  put(T::TakenMonth, "%02d", taken.month);
  put(T::TakenDay, "%02d", taken.day);
  put(T::TakenTime, "%02d-%02d-%02d", taken.hour, taken.minute, taken.second);
  if (tmpl.has(T::CameraModel)) {
    std::string model = SanitizeFileName(photo.model, true, true);
    if (model.empty()) model = kUnknownCameraModel;
    replaceToken(text, tmpl, T::CameraModel, nameValue(std::move(model)));
  }
}

}  // namespace

std::string_view tokenText(TemplateToken token) { return kTokenTexts[static_cast<int>(token)]; }

const char* const kDefaultTemplate = "[父目录路径]/[批次名]/[文件名]";

const char* const kTokenHelpCaption = "元符帮助";

const char* const kTokenHelpText =
    "归类到：是一个新的文件路径，即原文件路径将归类到这个新路径。\r\n\r\n"
    "新路径可以自由引用元符来构建一个动态的归类路径（点击菜单列表中的元符可以插入），元符意义如下：\r\n\r\n"
    "例子：\r\n\r\n"
    "入口目录路径：/1/2/3/\r\n"
    "文件路径：/1/2/3/4/5/6.txt\r\n\r\n\r\n"
    "[父目录路径]：/1/2/3/4/5\r\n\r\n"
    "[2父目录路径]：/1/2/3/4\r\n\r\n"
    "[3父目录路径]：/1/2/3\r\n\r\n"
    "[4父目录路径]：/1/2\r\n\r\n"
    "[5父目录路径]：/1\r\n\r\n"
    "[父目录名]：5\r\n\r\n"
    "[2父目录名]：4\r\n\r\n"
    "[3父目录名]：3\r\n\r\n"
    "[4父目录名]：2\r\n\r\n"
    "[5父目录名]：1\r\n\r\n\r\n"
    "[父目录段]：1/2/3/4/5（也就是[父目录路径]但不包含盘符）\r\n\r\n"
    "[2父目录段]：1/2/3/4\r\n\r\n"
    "[3父目录段]：1/2/3\r\n\r\n"
    "[4父目录段]：1/2\r\n\r\n"
    "[5父目录段]：1\r\n\r\n\r\n"
    "[子目录段]：4/5（从文件路径中，删去入口目录路径，再删去[文件名]，就是[子目录段]）\r\n\r\n"
    "[文件名]：6.txt\r\n\r\n"
    "[主名]：6\r\n\r\n"
    "[扩展名]：txt\r\n\r\n"
    "[大小]：XX KB （该文件的大小，软件会自动转换为一个合适的显示单位）\r\n\r\n"
    "[批次名]：每换一个批次（比如100个文件的归类数量为一个批次）时的名称。使用数字或字母都是递进的，"
    "使用指定名称列表则按顺序取用。\r\n\r\n\r\n"
    "[年][月][日][时][分][秒]：文件的修改时间，可自由分拆，组合引用。\r\n";

const char* const kPhotoTokenHelpText =
    "[拍摄日期][拍摄年][拍摄月][拍摄日][拍摄时间][相机型号]：照片的拍摄时间和相机型号，取自照片自带的EXIF记录"
    "（拍摄时间依次取原始拍摄时间、数字化时间、修改时间记录）。没有这些记录的文件，拍摄时间取文件的修改时间，"
    "相机型号为“未知型号”。\r\n\r\n"
    "例子：2017年3月9日8点5分7秒用Canon EOS R5拍摄的照片/1/2/3/4/5/6.jpg\r\n\r\n"
    "[拍摄日期]：2017-03-09\r\n\r\n"
    "[拍摄年]：2017\r\n\r\n"
    "[拍摄月]：03（两位数字）\r\n\r\n"
    "[拍摄日]：09（两位数字）\r\n\r\n"
    "[拍摄时间]：08-05-07（时-分-秒）\r\n\r\n"
    "[相机型号]：Canon EOS R5\r\n\r\n"
    "[父目录路径]/[拍摄年]/[拍摄月]/[文件名]：/1/2/3/4/5/2017/03/6.jpg（按拍摄的年月把照片归入文件夹）\r\n";

std::string tokenHelpText() { return std::string(kTokenHelpText) + "\r\n\r\n" + kPhotoTokenHelpText; }

const char* const kUnknownCameraModel = "未知型号";

std::vector<std::string> tokenMenuItems() {
  using T = TemplateToken;
  const T firstGroup[] = {T::FolderPath1, T::FolderName1, T::FileName,         T::MainName,
                          T::Extension,   T::Size,        T::BatchName,        T::FolderSegment1,
                          T::SubfolderSegment, T::Year,   T::Month,            T::Day,
                          T::Hour,        T::Minute,      T::Second};
  std::vector<std::string> items{kTokenHelpCaption, ""};
  for (T token : firstGroup) items.emplace_back(tokenText(token));
  // Levels 2 to 5: paths, then segments, then names, each group after a separator.
  for (int kind = 0; kind < 3; ++kind) {
    items.emplace_back();
    for (int level = 2; level <= 5; ++level) {
      const int index = static_cast<int>(T::FolderPath1) + (level - 1) * 3 + kind;
      items.emplace_back(tokenText(static_cast<T>(index)));
    }
  }
  // The photo tokens, after everything else.
  items.emplace_back();
  for (T token : {T::TakenDate, T::TakenYear, T::TakenMonth, T::TakenDay, T::TakenTime, T::CameraModel}) {
    items.emplace_back(tokenText(token));
  }
  return items;
}

std::vector<std::string> unknownBracketWords(std::string_view templateText) {
  std::vector<std::string> words;
  size_t open = std::string_view::npos;
  // Character by character: a bracket or a backslash that is the trail byte of a double-byte
  // character neither opens, closes nor cuts a word.
  for (size_t pos = 0; pos < templateText.size(); pos += charLengthAt(templateText, pos)) {
    if (charLengthAt(templateText, pos) != 1) continue;
    const char c = templateText[pos];
    if (c == '[') {
      open = pos;
    } else if (c == '/' || c == '\\') {
      open = std::string_view::npos;
    } else if (c == ']' && open != std::string_view::npos) {
      const std::string_view word = templateText.substr(open, pos + 1 - open);
      open = std::string_view::npos;
      if (word.size() == 2) continue;
      bool known = false;
      for (std::string_view token : kTokenTexts) known = known || word == token;
      bool listed = false;
      for (const std::string& seen : words) listed = listed || word == seen;
      if (!known && !listed) words.emplace_back(word);
    }
  }
  return words;
}

std::string replaceOnBoundaries(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string result;
  result.reserve(text.size() + to.size());
  size_t copied = 0;
  size_t pos = 0;
  while (pos + from.size() <= text.size()) {
    if (text.compare(pos, from.size(), from) == 0) {
      result.append(text.substr(copied, pos - copied));
      result.append(to);
      pos += from.size();
      copied = pos;
    } else {
      pos += charLengthAt(text, pos);
    }
  }
  result.append(text.substr(copied));
  return result;
}

std::string SizeText(int64_t bytes) {
  double value = static_cast<double>(bytes);
  if (value - 1024 < -0.0000001) return numberToText(bytes) + " B";
  static constexpr const char* kUnits[] = {" KB", " MB", " GB", " TB", " PB", " EB"};
  value /= 1024;
  size_t unit = 0;
  while (value - 1024 >= -0.0000001 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  return numberToText(roundTo(value, 2)) + kUnits[unit];
}

std::string batchLetters(int64_t n) {
  std::string name;
  while (n > 0) {
    const int64_t r = n % 26;
    if (r == 0) {
      name.insert(name.begin(), 'Z');
      --n;
    } else {
      name.insert(name.begin(), static_cast<char>('A' + r - 1));
    }
    n /= 26;
  }
  return name;
}

std::string BatchName(BatchContext& batch) {
  switch (batch.mode) {
    case BatchNameMode::Numbers:
      return numberToText(int64_t{batch.number});
    case BatchNameMode::Letters:
      return batchLetters(batch.number);
    case BatchNameMode::NamedList:
      if (batch.number < 1 || static_cast<size_t>(batch.number) > batch.names.size()) batch.number = 1;
      return batch.names.empty() ? std::string() : batch.names[static_cast<size_t>(batch.number) - 1];
  }
  return std::string();
}

PathTemplate::PathTemplate(std::string_view text) {
  text_.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = charLengthAt(text, pos);
    if (length == 1 && text[pos] == '\\') {
      text_ += kPathSeparator;
    } else {
      text_.append(text.substr(pos, length));
    }
    pos += length;
  }
  for (int i = 0; i < kTemplateTokenCount; ++i) {
    present_[i] = findOnBoundary(text_, kTokenTexts[i]) != std::string_view::npos;
  }
}

bool PathTemplate::needsTime() const {
  for (TemplateToken t : {TemplateToken::Year, TemplateToken::Month, TemplateToken::Day,
                          TemplateToken::Hour, TemplateToken::Minute, TemplateToken::Second}) {
    if (has(t)) return true;
  }
  return false;
}

bool PathTemplate::needsPhotoRecord() const {
  for (TemplateToken t : kPhotoTokens) {
    if (has(t)) return true;
  }
  return false;
}

std::string PathTemplate::expand(std::string_view file, std::string_view entryFolder,
                                 BatchContext& batch, bool knownRegular, const PhotoRecord* known) const {
  const int64_t size = needsSize() ? fileSize(file) : -1;
  const PhotoRecord photo = !needsPhotoRecord() ? PhotoRecord()
                            : known != nullptr  ? *known
                                                : readPhotoRecord(file, knownRegular);
  const bool photoDateFromFile = !photo.hasTaken && needsPhotoDate(*this);
  const int64_t modified = needsTime() || photoDateFromFile ? modifiedTime(file) : -1;
  return expandWith(file, entryFolder, batch, size, modified, photo);
}

std::string PathTemplate::expandWith(std::string_view file, std::string_view entryFolder,
                                     BatchContext& batch, int64_t size, int64_t modified,
                                     const PhotoRecord& photo) const {
  using T = TemplateToken;
  std::string text = text_;
  if (has(T::SubfolderSegment)) {
    replacePathToken(text, *this, T::SubfolderSegment, subfolderSegment(file, entryFolder));
  }
  std::string folder(file);
  for (int level = 1; level <= 5; ++level) {
    folder = PathDirectory(folder);
    const int first = static_cast<int>(T::FolderPath1) + (level - 1) * 3;
    const auto path = static_cast<T>(first);
    const auto segment = static_cast<T>(first + 1);
    const auto name = static_cast<T>(first + 2);
    if (has(path)) replacePathToken(text, *this, path, folder);
    if (has(segment)) replacePathToken(text, *this, segment, afterFirstSeparator(folder));
    if (has(name)) {
      replaceToken(text, *this, name, nameValue(SanitizeFileName(PathFileName(folder), false, false)));
    }
  }
  if (has(T::FileName)) replaceToken(text, *this, T::FileName, nameValue(PathFileName(file)));
  if (has(T::MainName)) replaceToken(text, *this, T::MainName, nameValue(PathBaseName(file)));
  if (has(T::Extension)) replaceToken(text, *this, T::Extension, nameValue(PathExtension(file)));
  if (has(T::Size)) replaceToken(text, *this, T::Size, SizeText(size));
  if (needsTime()) {
    const time_t seconds = static_cast<time_t>(modified);
    std::tm local{};
    localtime_r(&seconds, &local);
    const int values[] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                          local.tm_hour,        local.tm_min,     local.tm_sec};
    const T tokens[] = {T::Year, T::Month, T::Day, T::Hour, T::Minute, T::Second};
    for (int i = 0; i < 6; ++i) replaceToken(text, *this, tokens[i], numberToText(int64_t{values[i]}));
  }
  if (has(T::BatchName)) replaceToken(text, *this, T::BatchName, nameValue(BatchName(batch)));
  if (needsPhotoRecord()) replacePhotoTokens(text, *this, modified, photo);
  return replaceAll(text, "//", "/");
}

}  // namespace chengling
