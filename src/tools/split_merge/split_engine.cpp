#include "tools/split_merge/split_engine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <cmath>
#include <cstdlib>
#include <unordered_set>

#include "foundation/created_folders.h"
#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/path_helpers.h"
#include "foundation/text_check.h"
#include "foundation/text_codec.h"
#include "tools/split_merge/line_reader.h"
#include "tools/split_merge/piece_writer.h"

namespace chengling {

const char* const kCountInvalid = "份数必须大于0";
const char* const kSizeInvalid = "字节长度不能等于0";
const char* const kLinesInvalid = "行数至少 1";
const char* const kCharsInvalid = "字数至少 1 个";
const char* const kCountUnreadable = "份数应是 1 到 2147483647 之间的整数";
const char* const kSizeUnreadable = "大小应是一个数，可带小数，如 3.12";
const char* const kLinesUnreadable = "行数应是 1 到 2147483647 之间的整数";
const char* const kCharsUnreadable = "字数应是 1 到 2147483647 之间的整数";
const char* const kSeparatorMissing = "请输入用于分割的字符串！";
const char* const kPhaseReading = "读入文件..";
const char* const kPhaseFixing = "矫正换行..";
const char* const kPhaseToMemory = "写到内存..";
const char* const kPhaseSplitting = "开始分割..";
const char* const kNotTextSplit = "不是文本文件，未分割";
const char* const kNotTextCutBytes = "不是文本文件，按字节分割";

namespace {

// What a split by count that keeps lines or characters whole says when it made fewer pieces.
std::string fewerPiecesNote(int64_t made, int64_t asked, SplitCut cut) {
  if (made == 0) return "文件是空的，没有写出分割文件";
  const std::string fewer = std::to_string(made) + " 份，而不是 " + std::to_string(asked) + " 份";
  if (cut == SplitCut::WholeLines) return "只有 " + std::to_string(made) + " 行，不截断行时分成 " + fewer;
  return "不截断字符时只能分成 " + fewer;
}

// A piece longer than this moves the bar while it is copied.
constexpr int64_t kProgressStep = int64_t{16} << 20;
// Lines are gathered into blocks of about this size before they go to the piece.
constexpr size_t kLineBlock = size_t{128} << 10;

// Lines and their breaks gathered into blocks on their way into a piece: one call per line into the
// writer cost more than reading the line.
struct LineBlock {
  explicit LineBlock(PieceWriter& writer) : writer(writer) { bytes.reserve(kLineBlock); }
  LineBlock(const LineBlock&) = delete;
  LineBlock& operator=(const LineBlock&) = delete;

  // The block into the writer; false when the writer failed (it reported why).
  bool flush() {
    const bool ok = bytes.empty() || writer.append(bytes);
    bytes.clear();
    return ok;
  }

  PieceWriter& writer;
  std::string bytes;
  // Made once: a lambda handed to emit() would become a new std::function for every line.
  const std::function<bool(std::string_view)> sink = [this](std::string_view more) {
    if (bytes.size() + more.size() > kLineBlock && !flush()) return false;
    if (more.size() >= kLineBlock) return writer.append(more);
    bytes.append(more);
    return true;
  };
};

class Splitter {
 public:
  Splitter(const std::vector<std::string>& sources, const SplitOptions& options, RunContext& ctx)
      : sources_(sources),
        options_(options),
        ctx_(ctx),
        random_(static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
                std::random_device{}()),
        protected_(sources.begin(), sources.end()) {}

  SplitOutcome run();

 private:
  // What a mode step did with one source.
  struct SourceResult {
    int64_t pieces = 0;
    bool complete = false;  // ran to the end of the source: no stop, no failure
  };

  bool validate(const std::vector<int64_t>& sizes);
  SourceResult splitBytes(const std::string& source, bool byCount);
  // ByCount and BySize with cuts that move to a line end or a character start.
  SourceResult splitWhole(const std::string& source, bool byCount);
  // Copies the next `length` bytes of `reader` into the piece (all that is left when `toEnd`),
  // moving the bar as it goes when `showProgress`. False after a failure, which is reported.
  bool copyPiece(PieceWriter& writer, FileReader& reader, const std::string& source, int64_t length, bool toEnd,
                 bool showProgress);
  // The reader of a source's lines: over the decoded text (kept in `text`) when the encoding is
  // detected, else over the file's bytes as they are. Null after a failure, which is reported.
  std::unique_ptr<LineReader> openLines(const std::string& source, std::string& text, TextEncoding& encoding);
  SourceResult splitLines(const std::string& source);
  SourceResult splitChars(const std::string& source);
  SourceResult splitSeparator(const std::string& source);
  // Decodes the whole source with detection; false (reported) when it cannot be read.
  bool decodeSource(const std::string& source, std::string& text, TextEncoding& encoding);
  PieceWriter writerFor(const std::string& source, TextEncoding encoding);
  // Finishes the current piece; counts and announces it.
  bool finishPiece(PieceWriter& writer, SourceResult& result);
  // A whole piece in one go.
  bool writePiece(PieceWriter& writer, int64_t number, std::string_view piece, SourceResult& result);
  int32_t randomBetween(int32_t a, int32_t b) {
    return std::uniform_int_distribution<int32_t>(std::min(a, b), std::max(a, b))(random_);
  }
  void failure(std::string_view item, std::string_view reason) {
    ++outcome_.failures;
    ctx_.failure(item, reason);
  }

  const std::vector<std::string>& sources_;
  const SplitOptions& options_;
  RunContext& ctx_;
  FileSystem& fs() const { return ctx_.fileSystem(); }
  std::mt19937_64 random_;
  std::unordered_set<std::string> protected_;
  SplitOutcome outcome_;
  std::string statusText_;
  std::string outputFolder_;
  // Progress counts source bytes over the whole list, so that one large file moves the bar too.
  int64_t totalBytes_ = 0;
  int64_t sourcesDone_ = 0;    // bytes of the sources already handled
  int64_t sourceBytes_ = 0;    // size of the current source
  int64_t piecesBytes_ = 0;    // bytes of its pieces written so far
};

bool Splitter::validate(const std::vector<int64_t>& sizes) {
  const auto invalid = [&](std::string_view message, SplitField field) {
    outcome_.end = SplitEnd::Invalid;
    outcome_.message = message;
    outcome_.field = field;
    return false;
  };
  if (options_.unreadable != SplitField::None) {
    const char* const kUnreadable[] = {"", kCountUnreadable, kSizeUnreadable, kLinesUnreadable, kCharsUnreadable};
    return invalid(kUnreadable[static_cast<int>(options_.unreadable)], options_.unreadable);
  }
  switch (options_.mode) {
    case SplitMode::ByCount:
      // A negative count would make the piece folder and then nothing in it.
      if (options_.pieceCount < 1) return invalid(kCountInvalid, SplitField::PieceCount);
      // Empty pieces beyond the file's bytes are what was asked for while the count is one a person
      // means; a huge count would fill the disk's inodes with empty files.
      for (size_t i = 0; i < sizes.size(); ++i) {
        if (options_.pieceCount > kMaxEmptyPieceCount && options_.pieceCount > sizes[i]) {
          const std::string message = "份数太大：" + std::to_string(options_.pieceCount) + " 份超过了 " +
                                      std::to_string(kMaxEmptyPieceCount) + "，也超过了文件的字节数（" +
                                      PathFileName(sources_[i]) + " 只有 " + std::to_string(sizes[i]) + " 字节）";
          return invalid(message, SplitField::PieceCount);
        }
      }
      break;
    case SplitMode::BySize:
      if (std::fabs(options_.sizeValue) <= 0.0000001f || pieceLengthFor(options_.sizeValue, options_.sizeUnit) < 1) {
        return invalid(kSizeInvalid, SplitField::SizeValue);
      }
      break;
    case SplitMode::ByLines:
      if (options_.linesLow < 1 || options_.linesHigh < 1) return invalid(kLinesInvalid, SplitField::LinesLow);
      break;
    case SplitMode::ByChars:
      if (options_.charsLow < 1 || options_.charsHigh < 1) return invalid(kCharsInvalid, SplitField::CharsLow);
      break;
    case SplitMode::BySeparator:
      if (cutAtNul(options_.separator).empty()) {
        outcome_.end = SplitEnd::AskSeparator;
        outcome_.message = kSeparatorMissing;
        return false;
      }
      break;
  }
  return true;
}

SplitOutcome Splitter::run() {
  const int64_t count = static_cast<int64_t>(sources_.size());
  if (count == 0) return outcome_;
  std::vector<int64_t> sizes;
  for (const std::string& source : sources_) {
    sizes.push_back(std::max<int64_t>(0, fileSize(fs(), source)));
    totalBytes_ += sizes.back();
  }
  // The settings are checked before anything is touched: an invalid run leaves no folder behind.
  if (!validate(sizes)) return outcome_;
  ctx_.progress(0, totalBytes_);
  for (int64_t i = 1; i <= count; ++i) {
    const std::string& source = sources_[static_cast<size_t>(i - 1)];
    statusText_ = "(" + std::to_string(i) + "/" + std::to_string(count) + ")" + PathFileName(source);
    sourceBytes_ = sizes[static_cast<size_t>(i - 1)];
    piecesBytes_ = 0;
    ctx_.status(statusText_);

    // Only regular files are split: a folder or a missing path would otherwise leave an empty
    // output folder behind.
    if (!isRegularFile(fs(), source)) {
      failure(source, !pathExists(fs(), source) ? "文件不存在" : IsDirectory(fs(), source) ? "路径是文件夹" : "不是普通文件");
      if (ctx_.checkpoint()) {
        outcome_.end = SplitEnd::Stopped;
        break;
      }
      continue;
    }
    outputFolder_ = PathDirectory(source) + "/";
    if (options_.intoSubfolder) outputFolder_ += PathBaseName(source) + "/";
    std::string error;
    bool folderReady = false;
    // The folders made for this source go again if its failure leaves them empty.
    CreatedFolders created(fs());
    for (int attempt = 0; attempt < 3 && !folderReady; ++attempt) {
      folderReady = created.make(outputFolder_, &error);
    }
    SourceResult result;
    if (!folderReady) {
      failure(outputFolder_, "无法创建文件夹：" + error);
    } else {
      switch (options_.mode) {
        case SplitMode::ByCount:
        case SplitMode::BySize: {
          const bool byCount = options_.mode == SplitMode::ByCount;
          result = options_.cut == SplitCut::Bytes ? splitBytes(source, byCount) : splitWhole(source, byCount);
          break;
        }
        case SplitMode::ByLines: result = splitLines(source); break;
        case SplitMode::ByChars: result = splitChars(source); break;
        case SplitMode::BySeparator: result = splitSeparator(source); break;
      }
    }
    if (!result.complete) created.removeEmpty();
    // Only a source whose every piece is safely on disk may go.
    if (options_.deleteSource && result.complete && result.pieces > 0) {
      // New pieces are not synced on commit; they must be on the disk before their source goes.
      if (!syncFileSystem(fs(), outputFolder_, &error)) {
        failure(source, "无法确认分割文件已写入磁盘，源文件保留：" + error);
      } else if (removeFile(fs(), source, &error)) {
        ++outcome_.sourcesDeleted;
      } else {
        failure(source, "无法删除源文件：" + error);
      }
    }
    sourcesDone_ += sourceBytes_;
    ctx_.progress(sourcesDone_, totalBytes_);
    if (ctx_.checkpoint()) {
      outcome_.end = SplitEnd::Stopped;
      break;
    }
  }
  return outcome_;
}

PieceWriter Splitter::writerFor(const std::string& source, TextEncoding encoding) {
  PieceNaming naming;
  naming.folder = outputFolder_;
  naming.source = source;
  naming.contentNames = options_.contentNames;
  naming.encoding = encoding;
  return PieceWriter(std::move(naming), protected_, ctx_, random_);
}

bool Splitter::finishPiece(PieceWriter& writer, SourceResult& result) {
  if (!writer.finish()) {
    ++outcome_.failures;
    return false;
  }
  ++result.pieces;
  ++outcome_.piecesWritten;
  // Encoded pieces may differ in size from their source: the bar never runs past the source.
  piecesBytes_ += writer.size();
  ctx_.progress(sourcesDone_ + std::min(piecesBytes_, sourceBytes_), totalBytes_);
  if (options_.onPieceWritten) options_.onPieceWritten(writer.path());
  return true;
}

bool Splitter::writePiece(PieceWriter& writer, int64_t number, std::string_view piece, SourceResult& result) {
  writer.begin(number);
  if (!writer.append(piece)) {
    ++outcome_.failures;
    return false;
  }
  if (!finishPiece(writer, result)) return false;
  ctx_.status("[" + std::to_string(number) + "] " + statusText_);
  return true;
}

Splitter::SourceResult Splitter::splitBytes(const std::string& source, bool byCount) {
  SourceResult result;
  FileReader reader(fs());
  std::string error;
  if (!reader.open(source, &error)) {
    failure(source, error);
    return result;
  }
  const int64_t size = reader.size();
  int64_t pieces = 0;
  int64_t pieceLength = 0;
  if (byCount) {
    pieces = options_.pieceCount;
    pieceLength = size / pieces;
  } else {
    pieceLength = pieceLengthFor(options_.sizeValue, options_.sizeUnit);
    if (pieceLength <= 0) return result;
    pieces = size / pieceLength + (size % pieceLength != 0 ? 1 : 0);
  }
  PieceWriter writer = writerFor(source, TextEncoding::Detect);
  for (int64_t k = 1; k <= pieces; ++k) {
    writer.begin(k);
    const bool last = k == pieces;
    // The last piece takes everything up to the end of the file.
    if (!copyPiece(writer, reader, source, pieceLength, last, pieceLength > kProgressStep)) return result;
    if (!finishPiece(writer, result)) return result;
    ctx_.status("[" + std::to_string(k) + "] " + statusText_);
    if (ctx_.checkpoint()) {
      result.complete = last;
      return result;
    }
  }
  result.complete = true;
  return result;
}

bool Splitter::copyPiece(PieceWriter& writer, FileReader& reader, const std::string& source, int64_t length,
                         bool toEnd, bool showProgress) {
  std::string error;
  int64_t left = toEnd ? INT64_MAX : length;
  while (left > 0) {
    const int64_t n = writer.copyFrom(reader, std::min(left, kProgressStep), error);
    if (n < 0) {
      if (error.empty()) {
        ++outcome_.failures;  // the writer reported it
      } else {
        failure(source, error);
      }
      return false;
    }
    if (n == 0) break;
    left -= n;
    if (showProgress) {
      ctx_.progress(sourcesDone_ + std::min(piecesBytes_ + writer.size(), sourceBytes_), totalBytes_);
    }
  }
  if (!toEnd && left > 0) {
    failure(source, "文件在读取中变短了");
    return false;
  }
  return true;
}

Splitter::SourceResult Splitter::splitWhole(const std::string& source, bool byCount) {
  SourceResult result;
  CutFinder finder(fs());
  FileReader reader(fs());
  std::string error;
  if (!finder.open(source, &error) || !reader.open(source, &error)) {
    failure(source, error);
    return result;
  }
  if (!finder.text().isText) {
    // It has no lines or characters to keep whole; its bytes are cut as they would be without.
    ctx_.warning(source, kNotTextCutBytes);
    return splitBytes(source, byCount);
  }
  const int64_t size = finder.size();
  const int64_t count = options_.pieceCount;
  const int64_t length = byCount ? 0 : pieceLengthFor(options_.sizeValue, options_.sizeUnit);
  if (!byCount && length <= 0) return result;
  PieceEnds ends(finder, options_.cut, byCount, count, length);
  PieceWriter writer = writerFor(source, TextEncoding::Detect);
  int64_t position = 0;
  int64_t number = 0;
  while (true) {
    const int64_t end = ends.next();
    if (end < 0) {
      failure(source, finder.error());
      return result;
    }
    if (end == 0) break;
    writer.begin(++number);
    const bool last = end >= size;
    if (!copyPiece(writer, reader, source, end - position, last, end - position > kProgressStep)) return result;
    if (!finishPiece(writer, result)) return result;
    position = end;
    ctx_.status("[" + std::to_string(number) + "] " + statusText_);
    if (ctx_.checkpoint()) {
      result.complete = last;
      return result;
    }
    if (last) break;
  }
  if (byCount && number < count) ctx_.warning(source, fewerPiecesNote(number, count, options_.cut));
  result.complete = true;
  return result;
}

bool Splitter::decodeSource(const std::string& source, std::string& text, TextEncoding& encoding) {
  encoding = TextEncoding::Detect;
  // A stop asked for during the decode of a large file is answered within one round of it.
  TextVerdict verdict;
  text = DecodeText(fs(), source, TextEncoding::Detect, {}, {}, encoding, [this] { return ctx_.stopRequested(); },
                    &verdict);
  if (encoding != TextEncoding::Detect) {
    if (verdict.isText()) return true;
    // Its pieces would lose what follows a NUL and carry replacements: no piece is made.
    text.clear();
    failure(source, kNotTextSplit);
    return false;
  }
  if (ctx_.stopRequested()) return false;  // stopped, not failed: the run ends after this source
  // A decode that could not read the file leaves the encoding alone; ask the file why.
  FileReader probe(fs());
  std::string error;
  if (probe.open(source, &error)) error = reasonForErrno(EIO);
  failure(source, error);
  return false;
}

std::unique_ptr<LineReader> Splitter::openLines(const std::string& source, std::string& text,
                                                TextEncoding& encoding) {
  std::unique_ptr<LineReader> reader;
  if (options_.detectEncoding) {
    ctx_.phase(kPhaseReading);
    if (!decodeSource(source, text, encoding)) return nullptr;
    if (options_.fixLineEndings) {
      ctx_.phase(kPhaseFixing);
      text = correctLineEndings(text);
    }
    ctx_.phase(kPhaseToMemory);
    reader = std::make_unique<LineReader>(std::string_view(text), options_.skipBlankLines);
  } else {
    std::string error;
    reader = std::make_unique<LineReader>(source, options_.skipBlankLines, &error, fs());
    if (!reader->opened()) {
      failure(source, error);
      return nullptr;
    }
  }
  return reader;
}

Splitter::SourceResult Splitter::splitLines(const std::string& source) {
  SourceResult result;
  TextEncoding encoding = TextEncoding::Detect;
  std::string text;
  const std::unique_ptr<LineReader> reader = openLines(source, text, encoding);
  if (!reader) return result;
  ctx_.phase(kPhaseSplitting);

  PieceWriter writer = writerFor(source, encoding);
  LineBlock lineBlock(writer);
  std::string& block = lineBlock.bytes;
  const std::function<bool(std::string_view)>& sink = lineBlock.sink;
  const auto endPiece = [&] {
    if (!lineBlock.flush()) {
      ++outcome_.failures;
      return false;
    }
    return finishPiece(writer, result);
  };
  int64_t pieceNumber = 0;
  int32_t target = 0;
  int32_t lines = 0;
  bool stopped = false;
  LineSpan line;
  while (true) {
    if (ctx_.checkpoint()) {
      stopped = true;
      break;
    }
    if (!reader->next(line)) break;
    if (line.blank) continue;
    if (lines == 0) {
      target = randomBetween(options_.linesLow, options_.linesHigh);
      writer.begin(++pieceNumber);
    } else if (block.size() + 2 <= kLineBlock) {
      block.push_back('\r');
      block.push_back('\n');
    } else if (!sink("\r\n")) {
      ++outcome_.failures;
      return result;
    }
    // A line held in the reader's window that fits the block goes straight in.
    std::string_view held;
    if (reader->held(line, held) && block.size() + held.size() <= kLineBlock) {
      block.append(held);
    } else if (!reader->emit(line, sink)) {
      if (reader->failed()) {
        failure(source, reader->error());
      } else {
        ++outcome_.failures;
      }
      return result;
    }
    // The ordinary lines that follow, held in the reader's window, go into the block at once.
    if (++lines < target && block.size() < kLineBlock) {
      lines += static_cast<int32_t>(reader->takeLines(static_cast<size_t>(target - lines), block,
                                                      kLineBlock - block.size()));
    }
    if (lines == target) {
      lines = 0;
      if (!endPiece()) return result;
      ctx_.status("[" + std::to_string(pieceNumber) + "] " + statusText_);
    }
  }
  if (reader->failed()) {
    failure(source, reader->error());
    return result;
  }
  // Lines left over form the last piece, also after a stop.
  if (lines > 0) {
    if (!endPiece()) return result;
    ctx_.status("[" + std::to_string(pieceNumber) + "] " + statusText_);
  }
  result.complete = !stopped;
  return result;
}

Splitter::SourceResult Splitter::splitChars(const std::string& source) {
  SourceResult result;
  TextEncoding encoding = TextEncoding::Detect;
  std::string text;
  if (!decodeSource(source, text, encoding)) return result;
  PieceWriter writer = writerFor(source, encoding);
  size_t position = 0;
  int64_t number = 0;
  bool more = !text.empty();
  while (more) {
    std::string_view piece;
    more = TakeChars(text, randomBetween(options_.charsLow, options_.charsHigh), position, piece);
    if (!writePiece(writer, ++number, piece, result)) return result;
    if (ctx_.checkpoint()) {
      result.complete = !more;
      return result;
    }
  }
  result.complete = true;
  return result;
}

Splitter::SourceResult Splitter::splitSeparator(const std::string& source) {
  SourceResult result;
  TextEncoding encoding = TextEncoding::Detect;
  std::string text;
  if (!decodeSource(source, text, encoding)) return result;
  PieceWriter writer = writerFor(source, encoding);
  int64_t number = 0;
  result.complete = forEachSeparatorPart(text, cutAtNul(options_.separator), [&](std::string_view part) {
    if (ctx_.checkpoint()) return false;
    return writePiece(writer, ++number, part, result);
  });
  return result;
}

}  // namespace

SplitOutcome SplitRun(const std::vector<std::string>& sources, const SplitOptions& options, RunContext& ctx) {
  return Splitter(sources, options, ctx).run();
}

namespace {

std::string_view withoutBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

bool countFromText(std::string_view typed, int32_t& value) {
  const std::string narrow = narrowFullWidth(typed);
  std::string_view text = withoutBlanks(narrow);
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (negative || text.front() == '+')) text.remove_prefix(1);
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
  int64_t number = 0;
  for (const char c : text) number = number * 10 + (c - '0');
  if (negative) number = -number;
  if (number < INT32_MIN || number > INT32_MAX) return false;
  value = static_cast<int32_t>(number);
  return true;
}

bool sizeFromText(std::string_view typed, int unit, float& value) {
  const std::string narrow = narrowFullWidth(typed);
  const std::string_view text = withoutBlanks(narrow);
  std::string_view number = text;
  if (!number.empty() && (number.front() == '-' || number.front() == '+')) number.remove_prefix(1);
  const size_t point = number.find('.');
  const std::string digits = point == std::string_view::npos
                                 ? std::string(number)
                                 : std::string(number.substr(0, point)) + std::string(number.substr(point + 1));
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  const double wanted = std::strtod(std::string(text).c_str(), nullptr);
  if (wanted * std::ldexp(1.0, 10 * std::clamp(unit, 0, 3)) > std::ldexp(1.0, 62)) return false;
  value = sizeValueFromText(text);
  return true;
}

float sizeValueFromText(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  std::string number;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) number += text[pos++];
  bool point = false;
  bool digits = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
    number += c;
  }
  if (!digits) return 0.0f;
  return static_cast<float>(std::strtod(number.c_str(), nullptr));
}

int64_t pieceLengthFor(float value, int unit) {
  unit = std::clamp(unit, 0, 3);
  const double length = static_cast<double>(value) * std::ldexp(1.0, 10 * unit);
  if (!(length >= 1.0)) return 0;
  if (length >= 9.2e18) return INT64_MAX;
  return static_cast<int64_t>(length);
}

bool TakeChars(std::string_view bytes, int64_t n, size_t& position, std::string_view& piece) {
  const char* begin = bytes.data() + std::min(position, bytes.size());
  const char* end = bytes.data() + bytes.size();
  const char* p = begin;
  for (int64_t count = 0; p < end && count < n; ++count) p += charLength(p, end);
  piece = std::string_view(begin, static_cast<size_t>(p - begin));
  position = static_cast<size_t>(p - bytes.data());
  return p < end;
}

bool forEachSeparatorPart(std::string_view text, std::string_view separator,
                          const std::function<bool(std::string_view)>& part) {
  if (separator.empty()) return text.empty() || part(text);
  size_t start = 0;
  size_t walk = 0;  // a character boundary at or after `start`
  size_t from = 0;
  while (true) {
    const size_t hit = text.find(separator, from);
    if (hit == std::string_view::npos) break;
    while (walk < hit) walk += byteUnitLength(text.data() + walk, text.data() + text.size());
    if (walk != hit) {  // the second byte of a double-byte character
      from = hit + 1;
      continue;
    }
    if (!part(text.substr(start, hit - start))) return false;
    start = walk = from = hit + separator.size();
  }
  if (start < text.size()) return part(text.substr(start));
  return true;
}

}  // namespace chengling
