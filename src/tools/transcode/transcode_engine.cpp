#include "tools/transcode/transcode_engine.h"

#include <algorithm>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "foundation/chinese_convert.h"
#include "foundation/created_folders.h"
#include "foundation/file_streams.h"
#include "foundation/file_system.h"
#include "foundation/gb18030_table.h"
#include "foundation/internal_text.h"
#include "foundation/path_helpers.h"
#include "foundation/text_check.h"
#include "foundation/encoded_output.h"
#include "tools/transcode/transcode_prefetch.h"

namespace chengling {

const char* const kConvertedSuffix = "(已转换)";
const char* const kCompletionPrefix = "转换完成！点击可打开目录：";
const char* const kReadingFolderPrefix = "正在读取目录：";
const char* const kNotTextReason = "不是文本文件，未转换";
namespace {

// Files up to this size are prepared on the helper thread of a pass, whole.
constexpr int64_t kSmallFile = int64_t{1} << 20;

// Sources replaced under a new name are removed in batches, after one sync of their file system.
constexpr size_t kRemovalBatch = 256;

// U+FFFD in internal text: what the charset converter puts for bytes it could not decode.
constexpr std::string_view kReplacementCharacter = "\x84\x31\xA4\x37";

std::string trimmedFolder(std::string_view folder) {
  std::string root(folder);
  while (root.size() > 1 && root.back() == kPathSeparator) root.pop_back();
  return root.empty() ? std::string(1, kPathSeparator) : root;
}

bool isConverted(TextEncoding encoding) {
  return encoding != TextEncoding::Detect && encoding != TextEncoding::Ansi;
}

// Why a file cannot be read, for the user.
std::string readFailure(FileSystem& fs, std::string_view path) {
  FileReader reader(fs);
  std::string error;
  if (!reader.open(path, &error)) return error;
  std::string probe;
  if (reader.read(probe, 1, &error) < 0) return error;
  return "读取失败";
}

// What the decode of one file lost, in words for the user. `replaced`: the text holds U+FFFD. (A NUL
// would have cut the text short: such a source is no text and never written.)
std::vector<std::string> decodeNotes(FileSystem& fs, std::string_view path, bool replaced, TextEncoding forced,
                                     TextEncoding used) {
  std::vector<std::string> notes;
  if (isConverted(forced) && used == TextEncoding::Ansi && fileSize(fs, path) > 0) {
    notes.emplace_back("无法按所选编码解码，已按原字节处理");
  }
  if (isConverted(used) && replaced) notes.emplace_back("有无法解码的字节，已用替换字符代替");
  return notes;
}

// Bytes of internal text that start no GB18030 character: what a conversion replaces in text taken
// as its raw bytes.
int64_t invalidPlaces(std::string_view text) {
  const gb18030::Table& table = gb18030::Table::get();
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  int64_t places = 0;
  while (p < end) {
    char32_t c = 0;
    const size_t length = table.decode(p, end, c);
    places += length == 0;
    p += length == 0 ? 1 : length;
  }
  return places;
}

// invalidPlaces of raw bytes that come in pieces, counted up to where a character starts whatever
// came before (after a byte below 0x30, which no multi-byte character contains).
class InvalidPlaceCounter {
 public:
  void add(std::string_view piece) {
    held_.append(piece);
    size_t cut = held_.size();
    while (cut > 0 && static_cast<unsigned char>(held_[cut - 1]) >= 0x30) --cut;
    if (cut == 0 && held_.size() < (size_t{1} << 20)) return;
    if (cut == 0) cut = held_.size();
    places_ += invalidPlaces(std::string_view(held_).substr(0, cut));
    held_.erase(0, cut);
  }
  int64_t total() const { return places_ + invalidPlaces(held_); }

 private:
  std::string held_;
  int64_t places_ = 0;
};

int64_t invalidPlacesInFile(FileSystem& fs, const std::string& path) {
  FileReader reader(fs);
  if (!reader.open(path)) return 0;
  std::string buffer;
  InvalidPlaceCounter counter;
  for (;;) {
    buffer.clear();
    const int64_t n = reader.read(buffer, size_t{1} << 20);
    if (n <= 0) break;
    counter.add(buffer);
  }
  return counter.total();
}

// Outputs that hold every character: all that they lose is what the input did not hold.
bool holdsEverything(TextEncoding output) {
  return output == TextEncoding::Utf8 || output == TextEncoding::Utf8NoMark || output == TextEncoding::Utf16Le ||
         output == TextEncoding::Utf16Be;
}

}  // namespace

ChineseStream chineseStream(ChineseMode mode) {
  using Step = ChineseStream::Step;
  switch (mode) {
    case ChineseMode::None: return ChineseStream({});
    case ChineseMode::SimplifiedToTraditional: return ChineseStream({Step::ToTraditional});
    case ChineseMode::TraditionalToSimplified: return ChineseStream({Step::ToSimplified});
    case ChineseMode::SimplifiedToBig5: return ChineseStream({Step::ToTraditional, Step::GbkToBig5});
    case ChineseMode::TraditionalToBig5: return ChineseStream({Step::GbkToBig5});
    case ChineseMode::Big5ToSimplified: return ChineseStream({Step::Big5ToGbk, Step::ToSimplified});
    case ChineseMode::Big5ToTraditional: return ChineseStream({Step::Big5ToGbk});
  }
  return ChineseStream({});
}

std::string convertChineseText(std::string_view text, ChineseMode mode) {
  std::string out;
  chineseStream(mode).put(text, out, true);
  return out;
}

std::string convertFileName(std::string_view name, ChineseMode mode) {
  switch (mode) {
    case ChineseMode::None: return std::string(name);
    case ChineseMode::TraditionalToSimplified:
    case ChineseMode::Big5ToSimplified: return ToSimplified(name);
    default: return ToTraditional(name);
  }
}

std::string completionFolder(std::string_view base, bool overwrite) {
  if (overwrite) return std::string(base);
  const std::string root = trimmedFolder(base);
  return root + kConvertedSuffix;
}

std::string transcodeTarget(std::string_view base, std::string_view file, bool overwrite) {
  if (overwrite) return std::string(file);
  const std::string root = trimmedFolder(base);
  std::string_view rest = file;
  // Only base as a whole leading folder is taken off: "/d" is no prefix of "/dx/a.txt", and a
  // later "/d" inside the path stays.
  if (root.size() > 1 && rest.starts_with(root) && rest.size() > root.size() && rest[root.size()] == kPathSeparator) {
    rest.remove_prefix(root.size());
  }
  while (rest.starts_with(kPathSeparator)) rest.remove_prefix(1);
  return completionFolder(root, false) + kPathSeparator + std::string(rest);
}

DropLists splitDrop(const PathList& dropped) {
  DropLists lists;
  for (auto it = dropped.rbegin(); it != dropped.rend(); ++it) {
    if (it->empty()) continue;  // an empty line of the list names nothing
    if (IsDirectory(*it)) lists.folders.push_back(*it);
  }
  for (const std::string& path : dropped) {
    if (!path.empty() && !IsDirectory(path)) lists.files.push_back(path);
  }
  return lists;
}

std::string dropQuestion(const DropLists& lists) {
  std::string text = "确定要转换被拖放的 " + numberToText(static_cast<int64_t>(lists.files.size())) + " 个文件";
  if (!lists.folders.empty()) text += "和 " + numberToText(static_cast<int64_t>(lists.folders.size())) + " 个目录";
  return text + "的编码吗？";
}

struct TranscodeRun::State {
  // Sources already converted and files already written by this run: neither is touched again.
  std::unordered_set<std::string> done;
  // New names that held their source's conversion already: taken as written, and not converted as
  // sources of their own.
  std::unordered_set<std::string> found;
  std::unordered_set<std::string> madeFolders;
  struct Removal {
    std::string source;
    std::string target;
  };
  std::vector<Removal> removals;
  std::vector<std::string> folderChain;  // the folder passes in progress, outermost first
};

TranscodeRun::TranscodeRun(const TranscodeOptions& options, RunContext& ctx)
    : options_(options), ctx_(ctx), state_(std::make_unique<State>()) {
  if (options_.chinese == ChineseMode::None) options_.convertNames = false;
  const bool needsTables = options_.convertNames || options_.chinese == ChineseMode::SimplifiedToTraditional ||
                           options_.chinese == ChineseMode::TraditionalToSimplified ||
                           options_.chinese == ChineseMode::SimplifiedToBig5 ||
                           options_.chinese == ChineseMode::Big5ToSimplified;
  if (needsTables && !chineseTablesAvailable()) {
    // Said once, up front: every file would otherwise come out with its characters unchanged.
    ctx_.failure("s2t.json, t2s.json", "无法加载 OpenCC 的简繁转换词典，简繁字形不会转换");
    ++outcome_.failed;
  }
}

TranscodeRun::~TranscodeRun() = default;

void TranscodeRun::setBaseFolder(std::string_view folder) { base_ = folder; }

bool TranscodeRun::listPass(const PathList& files) {
  const auto count = static_cast<int64_t>(files.size());
  ctx_.progress(0, count);
  if (options_.liveEncodings) {
    const PassEncodings now = options_.liveEncodings->snapshot();
    options_.input = now.input;
    options_.output = now.output;
  }
  const std::string total = numberToText(count);
  // Both cores: the helper reads and writes the next small files while this thread commits.
  std::unique_ptr<TranscodePrefetch> prefetch;
  if (count > 1 && options_.chinese == ChineseMode::None) {
    prefetch = std::make_unique<TranscodePrefetch>(files, [this](const std::string& source) { return prepareSmall(source); });
  }
  // Over the sources with new names, a listed file that is the new name of a source listed after it
  // waits for that source: it may be what a killed run wrote for it, which only the source can tell
  // (see targetHoldsConversion); converted first on its own, it would be neither.
  std::vector<std::vector<size_t>> waiting(static_cast<size_t>(count));
  std::vector<bool> waits(static_cast<size_t>(count));
  if (options_.overwrite && options_.convertNames) {
    std::unordered_map<std::string, size_t> places;
    for (size_t i = 0; i < files.size(); ++i) places.emplace(files[i], i);
    std::vector<size_t> until(files.size(), 0);
    for (size_t i = 0; i < files.size(); ++i) {
      const std::string target = targetOf(files[i]);
      const auto place = places.find(target);
      if (target == files[i] || place == places.end() || place->second >= i) continue;
      waits[place->second] = true;
      until[place->second] = std::max(until[place->second], i);
    }
    for (size_t j = 0; j < files.size(); ++j) {
      if (waits[j]) waiting[until[j]].push_back(j);
    }
  }
  for (int64_t i = 0; i < count; ++i) {
    ctx_.checkpoint();
    ctx_.progress(i + 1, count);
    if (!waits[static_cast<size_t>(i)]) {
      ctx_.status("(" + total + ":" + numberToText(i + 1) + ") " + PathBaseName(files[i]));
      PreparedFile prepared;
      if (prefetch) prepared = prefetch->take(static_cast<size_t>(i));
      convertOne(files[i], &prepared);
    } else if (prefetch) {
      prefetch->take(static_cast<size_t>(i));
    }
    for (size_t j : waiting[static_cast<size_t>(i)]) {
      if (ctx_.stopRequested()) break;
      ctx_.status("(" + total + ":" + numberToText(static_cast<int64_t>(j) + 1) + ") " + PathBaseName(files[j]));
      convertOne(files[j]);
    }
    if (ctx_.stopRequested()) {
      outcome_.stopped = true;
      settleRemovals();
      return false;
    }
  }
  settleRemovals();
  return true;
}

bool TranscodeRun::folderPass(std::string_view folder) {
  if (!pathExists(fs(), folder)) {
    ctx_.failure(folder, "找不到此文件或文件夹");
    ++outcome_.failed;
    return true;
  }
  ctx_.progress(0, 0);
  ctx_.status(kReadingFolderPrefix + std::string(folder));
  PathList files;
  ListFolder(fs(), folder, options_.filter, ListingKind::Files, false, options_.matcher, files);
  if (!listPass(files)) return false;
  if (!options_.includeSubfolders) return true;
  PathList subfolders;
  ListFolder(fs(), folder, "*", ListingKind::Folders, false, options_.matcher, subfolders);
  state_->folderChain.emplace_back(folder);
  bool going = true;
  for (const std::string& subfolder : subfolders) {
    // A link back to a folder of the walk would lead round in circles.
    bool loops = false;
    for (const std::string& outer : state_->folderChain) loops = loops || sameFile(fs(), subfolder, outer);
    if (loops) {
      ctx_.warning(subfolder, "指向上级文件夹的链接，已跳过");
      continue;
    }
    if (!folderPass(subfolder)) {
      going = false;
      break;
    }
  }
  state_->folderChain.pop_back();
  return going;
}

PreparedFile TranscodeRun::prepareSmall(const std::string& source) const {
  PreparedFile prepared;
  const int64_t size = regularFileSize(fs(), source);
  if (size < 0 || size > kSmallFile) return prepared;
  struct Collect : TextSink {
    bool begin(TextEncoding) override {
      text.clear();
      return true;
    }
    bool put(std::string_view piece) override {
      text.append(piece);
      return text.size() <= static_cast<size_t>(kSmallFile) * 4;  // the file grew: left to the run
    }
    std::string text;
  } sink;
  const StreamedDecode decode = decodeFileStreamed(fs(), source, options_.input, sink, {}, kStreamPieceBytes, true);
  prepared.notText = decode.status == StreamedDecode::Status::NotText;
  if (decode.status != StreamedDecode::Status::Done) return prepared;
  const TextEncoding output = options_.output == TextEncoding::Detect ? decode.used : options_.output;
  const std::string bytes = encodedBytes(sink.text, output, &prepared.lossy);
  if (prepared.lossy && decode.used == TextEncoding::Ansi) prepared.invalid = invalidPlaces(sink.text);
  prepared.notes = decodeNotes(fs(), source, decode.replacement, options_.input, decode.used);
  // Its folder may not be there yet: the run then makes it and converts the file itself.
  prepared.file = std::make_unique<AtomicFile>(fs());
  if (!prepared.file->open(transcodeTarget(base_, source, options_.overwrite)) || !prepared.file->writeNow(bytes)) {
    prepared.file.reset();
    return prepared;
  }
  prepared.used = decode.used;
  prepared.ready = true;
  return prepared;
}

std::string TranscodeRun::targetOf(const std::string& source) const {
  std::string target = transcodeTarget(base_, source, options_.overwrite);
  if (options_.convertNames) {
    target = PathDirectory(target) + kPathSeparator + convertFileName(PathFileName(target), options_.chinese);
  }
  return target;
}

void TranscodeRun::convertOne(const std::string& source, PreparedFile* prepared) {
  State& state = *state_;
  if (state.found.contains(source)) return;  // told with its source
  if (state.done.contains(source)) {
    ctx_.warning(source, "本次运行已转换或写入过此文件，未再转换");
    ++outcome_.warned;
    return;
  }
  const std::string target = targetOf(source);
  if (target != source && state.done.contains(target)) {
    ctx_.failure(source, "目标 " + target + " 刚由本次运行写入，未覆盖；文件未改动");
    ++outcome_.failed;
    return;
  }
  if (prepared != nullptr && prepared->notText) {
    notText(source);
    return;
  }
  const bool ready = prepared != nullptr && prepared->ready && !options_.convertNames;
  // A pipe, a device or a socket could block the run or never end: only regular files are read.
  if (!ready && !isRegularFile(fs(), source) && pathExists(fs(), source)) {
    ctx_.failure(source, "不是普通文件，未转换");
    ++outcome_.failed;
    return;
  }
  // Over the sources with a new name: the new file never replaces another file of the user's.
  const bool renamed = options_.overwrite && target != source;
  const bool replace = !renamed || sameFile(fs(), source, target);

  TextEncoding used = TextEncoding::Detect;
  std::vector<std::string> notes;
  bool lossy = false;
  int64_t invalid = -1;    // not counted yet
  bool compressed = true;  // whole unless streamed
  bool written = false;
  if (ready) {
    std::string error;
    compressed = false;
    written = prepared->file->commit(&error, replace);
    if (written) {
      used = prepared->used;
      notes = std::move(prepared->notes);
      lossy = prepared->lossy;
      invalid = prepared->invalid;
    } else {
      CreatedFolders none(fs());
      writeFailed(source, target, error, none);
    }
  } else if (options_.chinese == ChineseMode::None || replace || !pathExists(fs(), target)) {
    // A converted file that meets one of its kind under its new name is compared whole.
    written = convertStreamed(source, target, replace, used, notes, lossy, invalid, compressed);
  }
  if (compressed) written = convertWhole(source, target, replace, used, notes, lossy, invalid);
  if (!written) return;

  state.done.insert(source);
  state.done.insert(target);
  ++outcome_.converted;
  // Raw bytes that are no GBK character are what a conversion of text taken as GBK loses first: said
  // as such, with their number, rather than blamed on the output.
  // A source that was not replaced is still there to count them in.
  if (!lossy || used != TextEncoding::Ansi) invalid = 0;
  if (invalid < 0) {
    if (compressed) {
      TextEncoding ignored = TextEncoding::Detect;
      invalid = invalidPlaces(DecodeText(fs(), source, TextEncoding::Ansi, {}, {}, ignored));
    } else {
      invalid = invalidPlacesInFile(fs(), source);
    }
  }
  if (invalid > 0) {
    notes.emplace_back("有 " + numberToText(invalid) + " 处字节不是 GBK 编码的字符，已替换（输入编码可能不对）");
  }
  const TextEncoding output = options_.output == TextEncoding::Detect ? used : options_.output;
  if (lossy && !(invalid > 0 && holdsEverything(output))) notes.emplace_back("有字符无法用输出编码表示，已替换");
  for (const std::string& note : notes) ctx_.warning(target, note);
  if (!notes.empty()) ++outcome_.warned;
  if (renamed) {
    state.removals.push_back({source, target});
    if (state.removals.size() >= kRemovalBatch) settleRemovals();
  }
}

void TranscodeRun::notText(const std::string& source) {
  ctx_.failure(source, kNotTextReason);
  ++outcome_.failed;
}

bool TranscodeRun::makeTargetFolder(const std::string& target, CreatedFolders& created) {
  const std::string folder = PathDirectory(target);
  if (options_.overwrite || state_->madeFolders.contains(folder)) return true;
  std::string error;
  if (!created.make(folder, &error)) {
    created.removeEmpty();
    ctx_.failure(target, "无法创建文件夹：" + error);
    ++outcome_.failed;
    return false;
  }
  state_->madeFolders.insert(folder);
  return true;
}

// The folders made for a file go again, when they stayed empty, if it cannot be written.
void TranscodeRun::writeFailed(const std::string& source, const std::string& target, const std::string& error,
                               CreatedFolders& created) {
  state_->madeFolders.erase(PathDirectory(target));
  created.removeEmpty();
  std::string reason = "无法写入：" + error;
  if (options_.overwrite) reason += "；原文件未改动";
  ctx_.failure(options_.overwrite && target != source ? source + " -> " + target : target, reason);
  ++outcome_.failed;
}

bool TranscodeRun::convertWhole(const std::string& source, const std::string& target, bool replace,
                                TextEncoding& used, std::vector<std::string>& notes, bool& lossy,
                                int64_t& invalid) {
  // A decode that succeeds always reports the code it used; an unreadable file leaves it untouched.
  TextVerdict verdict;
  std::string text =
      DecodeText(fs(), source, options_.input, {}, {}, used, [this] { return ctx_.stopRequested(); }, &verdict);
  if (used == TextEncoding::Detect && ctx_.stopRequested()) return false;  // stopped inside a large file
  if (used == TextEncoding::Detect) {
    ctx_.failure(source, "无法读取，文件未改动：" + readFailure(fs(), source));
    ++outcome_.failed;
    return false;
  }
  if (!verdict.isText()) {
    notText(source);
    return false;
  }
  notes = decodeNotes(fs(), source, text.find(kReplacementCharacter) != std::string::npos, options_.input, used);
  if (used == TextEncoding::Ansi && replace && sameFile(fs(), source, target)) invalid = invalidPlaces(text);
  if (options_.chinese != ChineseMode::None) text = convertChineseText(text, options_.chinese);

  const TextEncoding output = options_.output == TextEncoding::Detect ? used : options_.output;
  if (!replace && pathExists(fs(), target)) return targetHoldsConversion(source, target, text, output, lossy);
  CreatedFolders created(fs());
  if (!makeTargetFolder(target, created)) return false;
  const EncodedWrite written = writeEncodedFile(fs(), target, text, output, replace);
  if (!written.ok) {
    writeFailed(source, target, written.error, created);
    return false;
  }
  lossy = written.lossy;
  return true;
}

bool TranscodeRun::targetHoldsConversion(const std::string& source, const std::string& target, std::string_view text,
                                         TextEncoding output, bool& lossy) {
  const std::string bytes = encodedBytes(text, output, &lossy);
  FileReader reader(fs());
  std::string held;
  bool same = reader.open(target) && reader.size() == static_cast<int64_t>(bytes.size());
  // Compared a piece at a time: the file there is never held whole beside the text.
  for (size_t at = 0; same;) {
    held.clear();
    const int64_t n = reader.read(held, kStreamPieceBytes);
    if (n <= 0) {
      same = n == 0 && at == bytes.size();
      break;
    }
    same = bytes.compare(at, held.size(), held) == 0;
    at += held.size();
  }
  if (!same) {
    ctx_.failure(source + " -> " + target, "目标已存在，内容与这次的转换结果不同，未覆盖；原文件未改动");
    ++outcome_.failed;
    return false;
  }
  state_->found.insert(target);
  ctx_.warning(target, "此文件已存在，内容正是 " + source + " 的转换结果，视为已转换；原文件随后删除");
  ++outcome_.warned;
  return true;
}

namespace {

// The target of a streamed decode: its folder is made and the file opened once the decode knows
// the code it uses. The text goes through the character conversion on its way.
class TargetSink : public TextSink {
 public:
  using Begin = std::function<bool(TextEncoding)>;
  // `invalid`, when given, counts the bytes that start no GBK character of a text read as raw bytes.
  TargetSink(EncodedFileStream& file, ChineseMode mode, InvalidPlaceCounter* invalid, Begin begin)
      : file_(file), mode_(mode), convert_(chineseStream(mode)), invalid_(invalid), begin_(std::move(begin)) {}
  bool begin(TextEncoding used) override {
    if (used != TextEncoding::Ansi) invalid_ = nullptr;
    return begin_(used);
  }
  bool put(std::string_view text) override {
    if (invalid_ != nullptr) invalid_->add(text);
    return pass(text, false);
  }
  // The end of the text: what the conversion held back.
  bool finish() { return pass({}, true); }

 private:
  bool pass(std::string_view text, bool last) {
    if (mode_ == ChineseMode::None) return file_.put(text);
    converted_.clear();
    convert_.put(text, converted_, last);
    return file_.put(converted_);
  }
  EncodedFileStream& file_;
  ChineseMode mode_;
  ChineseStream convert_;
  std::string converted_;
  InvalidPlaceCounter* invalid_;
  Begin begin_;
};

}  // namespace

bool TranscodeRun::convertStreamed(const std::string& source, const std::string& target, bool replace,
                                   TextEncoding& used, std::vector<std::string>& notes, bool& lossy,
                                   int64_t& invalid, bool& compressed) {
  compressed = false;
  CreatedFolders created(fs());
  EncodedFileStream file(fs());
  bool folderFailed = false;
  bool opened = false;
  std::string openError;
  // Over itself, the source is counted on the way: once replaced it is gone.
  const bool overItself = replace && sameFile(fs(), source, target);
  InvalidPlaceCounter counter;
  TargetSink sink(file, options_.chinese, overItself ? &counter : nullptr, [&](TextEncoding decoded) {
    if (!makeTargetFolder(target, created)) {
      folderFailed = true;
      return false;
    }
    const TextEncoding output = options_.output == TextEncoding::Detect ? decoded : options_.output;
    opened = file.open(target, output, &openError);
    return opened;
  });
  const StreamedDecode decode = decodeFileStreamed(
      fs(), source, options_.input, sink, [this] { return ctx_.stopRequested(); }, options_.pieceBytes, true);
  using Status = StreamedDecode::Status;
  switch (decode.status) {
    case Status::Compressed:
      compressed = true;
      return false;
    case Status::Stopped:  // the unfinished file goes with `file`
      created.removeEmpty();
      return false;
    case Status::Unreadable:
      created.removeEmpty();
      ctx_.failure(source, "无法读取，文件未改动：" + readFailure(fs(), source));
      ++outcome_.failed;
      return false;
    case Status::NotText:  // the unfinished file goes with `file`
      created.removeEmpty();
      notText(source);
      return false;
    case Status::Refused:
      if (folderFailed) return false;  // reported
      {
        writeFailed(source, target, opened ? file.error() : openError, created);
      }
      return false;
    case Status::Done: break;
  }
  // Judged on the source as it was read, before it may be replaced.
  notes = decodeNotes(fs(), source, decode.replacement, options_.input, decode.used);
  if (decode.used == TextEncoding::Ansi && overItself) invalid = counter.total();
  const EncodedWrite written = sink.finish() ? file.commit(replace) : EncodedWrite{false, false, file.error()};
  if (!written.ok) {
    writeFailed(source, target, written.error, created);
    return false;
  }
  used = decode.used;
  lossy = written.lossy;
  return true;
}

void TranscodeRun::settleRemovals() {
  State& state = *state_;
  if (state.removals.empty()) return;
  // The new files must be on disk before their sources go; new names are not synced on commit.
  std::unordered_set<std::string> synced;
  std::unordered_set<std::string> unsynced;
  for (const State::Removal& removal : state.removals) {
    const std::string folder = trimmedFolder(PathDirectory(removal.target));
    std::string error;
    if (!synced.contains(folder) && !unsynced.contains(folder)) {
      if (syncFileSystem(fs(), folder, &error)) {
        synced.insert(folder);
      } else {
        unsynced.insert(folder);
        ctx_.failure(removal.source, "无法确认新文件已写入磁盘，原文件保留：" + error);
        ++outcome_.failed;
        continue;
      }
    }
    if (unsynced.contains(folder)) continue;
    if (!removeFile(fs(), removal.source, &error)) {
      ctx_.failure(removal.source, "已写入 " + removal.target + "，但无法删除原文件：" + error);
      ++outcome_.failed;
    }
  }
  state.removals.clear();
}

TranscodeOutcome TranscodeRun::finish() {
  settleRemovals();
  outcome_.stopped = outcome_.stopped || ctx_.stopRequested();
  outcome_.completionFolder = completionFolder(base_, options_.overwrite);
  // A run that wrote nothing made no folder to look at; an earlier run's tree is not this one's.
  if (outcome_.converted > 0 && pathExists(fs(), outcome_.completionFolder)) {
    outcome_.offeredFolder = outcome_.completionFolder;
  }
  outcome_.completionText = transcodeEndText(outcome_);
  return outcome_;
}

std::string transcodeSummary(const TranscodeOutcome& outcome) {
  const std::string converted = "已转换 " + numberToText(outcome.converted) + " 个文件";
  if (outcome.stopped) {
    return "已停止。" + converted + (outcome.failed > 0 ? "，失败 " + numberToText(outcome.failed) + " 个" : "");
  }
  if (outcome.failed > 0) return "转换完成：" + converted + "，失败 " + numberToText(outcome.failed) + " 个";
  if (outcome.converted == 0) return "转换完成：没有转换任何文件";
  return {};
}

std::string transcodeEndText(const TranscodeOutcome& outcome) {
  const std::string summary = transcodeSummary(outcome);
  if (outcome.offeredFolder.empty()) return summary;
  if (summary.empty()) return kCompletionPrefix + outcome.offeredFolder;
  return summary + "。点击可打开目录：" + outcome.offeredFolder;
}

TranscodeOutcome TranscodeFiles(const PathList& files, const TranscodeOptions& options, RunContext& ctx) {
  TranscodeRun run(options, ctx);
  if (!files.empty()) {
    run.setBaseFolder(PathDirectory(files.front()));
    run.listPass(files);
  }
  return run.finish();
}

TranscodeOutcome TranscodeFolder(std::string_view folder, const TranscodeOptions& options, RunContext& ctx) {
  TranscodeRun run(options, ctx);
  run.setBaseFolder(folder);
  run.folderPass(folder);
  return run.finish();
}

TranscodeOutcome TranscodeDrop(const PathList& dropped, const TranscodeOptions& options, RunContext& ctx) {
  return TranscodeDropped(splitDrop(dropped), options, ctx);
}

TranscodeOutcome TranscodeDropped(const DropLists& lists, const TranscodeOptions& options, RunContext& ctx) {
  TranscodeRun run(options, ctx);
  if (!lists.files.empty()) {
    run.setBaseFolder(PathDirectory(lists.files.front()));
    if (!run.listPass(lists.files)) return run.finish();
  }
  for (const std::string& folder : lists.folders) {
    if (lists.files.empty()) run.setBaseFolder(folder);
    if (!run.folderPass(folder)) break;
  }
  return run.finish();
}

}  // namespace chengling

namespace chengling {
namespace {

// The first line of a decode and the code it took; the rest of the text is read (a meta tag at the
// end may still change the encoding) but not kept.
class FirstLineSink : public TextSink {
 public:
  bool begin(TextEncoding used) override {
    used_ = used;
    line_.clear();
    done_ = false;
    return true;
  }
  bool put(std::string_view piece) override {
    if (done_) return true;
    const size_t end = piece.find('\n');
    line_.append(piece.substr(0, std::min(end, kLineLimit - std::min(kLineLimit, line_.size()))));
    done_ = end != std::string_view::npos || line_.size() >= kLineLimit;
    return true;
  }
  TextEncoding used() const { return used_; }
  std::string line() const {
    std::string line = line_;
    if (line.ends_with('\r')) line.pop_back();
    return line;
  }

 private:
  static constexpr size_t kLineLimit = 4096;
  TextEncoding used_ = TextEncoding::Detect;
  std::string line_;
  bool done_ = false;
};

void previewFile(const std::string& path, const TranscodeOptions& options, std::vector<PreviewEntry>& entries) {
  PreviewEntry entry;
  entry.path = path;
  FirstLineSink sink;
  const StreamedDecode decode = decodeFileStreamed(path, options.input, sink, {}, options.pieceBytes, true);
  using Status = StreamedDecode::Status;
  if (decode.status == Status::Done) {
    entry.used = decode.used;
    entry.firstLine = sink.line();
  } else if (decode.status == Status::Compressed) {
    TextVerdict verdict;
    std::string text = DecodeText(path, options.input, {}, {}, entry.used, {}, &verdict);
    if (verdict.isText()) {
      text.resize(std::min(text.find('\n'), text.size()));
      if (text.ends_with('\r')) text.pop_back();
      entry.firstLine = std::move(text);
    } else {
      entry.used = TextEncoding::Detect;
      entry.problem = kNotTextReason;
    }
  } else if (decode.status == Status::NotText) {
    entry.problem = kNotTextReason;
  } else {
    entry.problem = "无法读取：" + readFailure(posixFileSystem(), path);
  }
  entries.push_back(std::move(entry));
}

void previewFolder(const std::string& folder, const TranscodeOptions& options, const std::function<bool()>& stopped,
                   std::vector<std::string>& chain, std::vector<PreviewEntry>& entries) {
  PathList files;
  ListFolder(folder, options.filter, ListingKind::Files, false, options.matcher, files);
  for (const std::string& file : files) {
    if (stopped && stopped()) return;
    previewFile(file, options, entries);
  }
  if (!options.includeSubfolders) return;
  PathList subfolders;
  ListFolder(folder, "*", ListingKind::Folders, false, options.matcher, subfolders);
  chain.push_back(folder);
  for (const std::string& subfolder : subfolders) {
    bool loops = false;
    for (const std::string& outer : chain) loops = loops || sameFile(subfolder, outer);
    if (!loops) previewFolder(subfolder, options, stopped, chain, entries);
  }
  chain.pop_back();
}

}  // namespace

std::vector<PreviewEntry> PreviewDropped(const DropLists& lists, const TranscodeOptions& options,
                                         const std::function<bool()>& stopped) {
  std::vector<PreviewEntry> entries;
  for (const std::string& file : lists.files) {
    if (stopped && stopped()) return entries;
    previewFile(file, options, entries);
  }
  for (const std::string& folder : lists.folders) {
    std::vector<std::string> chain;
    previewFolder(folder, options, stopped, chain, entries);
  }
  return entries;
}

}  // namespace chengling
