#include "tools/split_merge/merge_engine.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/held_record.h"
#include "foundation/internal_text.h"
#include "foundation/path_helpers.h"
#include "foundation/program_directory.h"
#include "foundation/text_check.h"
#include "foundation/text_codec.h"
#include "tools/split_merge/merge_deletions.h"

namespace chengling {

const char* const kDefaultJoinText = "我是中间字符串";
const char* const kNotTextMerge = "不是文本文件，未合并";

namespace {

enum class Appended { Whole, NotOpened, ReadFailed, WriteFailed };

// Appends the file at `path` to `output`; `error` says why when it did not go in whole.
Appended appendFile(FileSystem& fs, std::string_view path, AtomicFile& output, std::string& error) {
  FileReader reader(fs);
  if (!reader.open(path, &error)) return Appended::NotOpened;
  bool readFailed = false;
  if (output.append(reader, readFailed, &error)) return Appended::Whole;
  return readFailed ? Appended::ReadFailed : Appended::WriteFailed;
}

// Reads the rest of `reader`'s file into `bytes`.
bool readRest(FileReader& reader, std::string& bytes, std::string& error) {
  const int64_t size = reader.size();
  bytes.reserve(size > 0 ? static_cast<size_t>(size) + 1 : size_t{64} << 10);
  while (true) {
    const size_t room = std::max(bytes.capacity() - bytes.size(), size_t{64} << 10);
    const int64_t n = reader.read(bytes, room, &error);
    if (n < 0) return false;
    if (n == 0) return true;
  }
}

MergeOutcome mergeFolderWalk(std::string_view folder, const MergeOptions& options, RunContext& ctx,
                             std::vector<std::string>& ancestors) {
  FileSystem& fs = ctx.fileSystem();
  PathList files;
  ListFolder(fs, folder, options.patterns, ListingKind::Files, false, options.matcher, files);
  if (options.naturalOrder) {
    std::stable_sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
      return naturalNameLess(PathFileName(a), PathFileName(b));
    });
  }
  MergeOutcome outcome = MergeFiles(files, options, ctx);
  if (!options.recursive || ctx.stopRequested()) return outcome;
  PathList folders;
  ListFolder(fs, folder, options.patterns, ListingKind::Folders, false, options.matcher, folders);
  ancestors.emplace_back(folder);
  for (const std::string& sub : folders) {
    if (ctx.checkpoint()) {
      outcome.stopped = true;
      break;
    }
    // A link back to a folder on the current path would make the walk endless.
    const bool loop = std::any_of(ancestors.begin(), ancestors.end(),
                                  [&](const std::string& a) { return sameFile(fs, a, sub); });
    if (loop) continue;
    outcome += mergeFolderWalk(sub, options, ctx, ancestors);
    if (outcome.stopped) break;
  }
  ancestors.pop_back();
  return outcome;
}

}  // namespace

bool naturalNameLess(std::string_view a, std::string_view b) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      const size_t runA = i;
      const size_t runB = j;
      while (i < a.size() && digit(a[i])) ++i;
      while (j < b.size() && digit(b[j])) ++j;
      std::string_view numberA = a.substr(runA, i - runA);
      std::string_view numberB = b.substr(runB, j - runB);
      numberA.remove_prefix(std::min(numberA.find_first_not_of('0'), numberA.size()));
      numberB.remove_prefix(std::min(numberB.find_first_not_of('0'), numberB.size()));
      if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
      if (numberA != numberB) return numberA < numberB;
      continue;
    }
    // A double-byte character is compared whole: its second byte may look like a digit.
    const size_t widthA = byteUnitLengthAt(a, i);
    const size_t widthB = byteUnitLengthAt(b, j);
    for (size_t k = 0; k < std::min(widthA, widthB); ++k) {
      const int ca = lower(static_cast<unsigned char>(a[i + k]));
      const int cb = lower(static_cast<unsigned char>(b[j + k]));
      if (ca != cb) return ca < cb;
    }
    if (widthA != widthB) return widthA < widthB;
    i += widthA;
    j += widthB;
  }
  return a.size() - i < b.size() - j;
}

std::string mergeDeletionRecordFolder() { return programDirectory() + "/合并删除记录"; }

MergeOutcome& MergeOutcome::operator+=(const MergeOutcome& other) {
  outputsWritten += other.outputsWritten;
  failures += other.failures;
  inputsDeleted += other.inputsDeleted;
  stopped = stopped || other.stopped;
  return *this;
}

std::string mergeOutputPath(std::string_view first, int64_t count, bool intoParent) {
  std::string folder = PathDirectory(first);
  if (intoParent) {
    std::string parent = PathDirectory(folder);
    if (!parent.empty()) folder = std::move(parent);
  }
  std::string path = folder + "/" + PathBaseName(first) + "等" + std::to_string(count) + "个文件";
  const std::string extension = PathExtension(first);
  if (!extension.empty()) path += "." + extension;
  return path;
}

namespace {

// One merge of a list into one output: the inputs appended (or decoded) in order with the join
// between them, the output committed, then the inputs it holds deleted when asked.
class Merger {
 public:
  Merger(const PathList& list, const MergeOptions& options, RunContext& ctx)
      : list_(list), options_(options), ctx_(ctx),
        outputPath_(mergeOutputPath(list.front(), static_cast<int64_t>(list.size()), options.intoParent)),
        output_(ctx.fileSystem()) {}

  MergeOutcome run() {
    std::string error;
    if (!output_.open(outputPath_, &error)) {
      fail(outputPath_, error);
      return outcome_;
    }
    readJoin();
    if (!appendInputs()) return outcome_;
    // A merge that holds no input writes nothing: an existing output of the same name stays.
    if (held_.empty()) return outcome_;
    if (options_.decode && !writeDecoded()) return outcome_;
    if (!output_.commit(&error)) {
      fail(outputPath_, error);
      return outcome_;
    }
    ++outcome_.outputsWritten;
    if (options_.onOutputWritten) options_.onOutputWritten(outputPath_);
    if (options_.deleteInputs) deleteHeldInputs();
    return outcome_;
  }

 private:
  FileSystem& fs() const { return ctx_.fileSystem(); }

  void fail(std::string_view item, std::string_view reason) {
    ++outcome_.failures;
    ctx_.failure(item, reason);
  }

  void readJoin() {
    std::string error;
    if (options_.join == JoinData::Text) {
      join_ = options_.joinText;
    } else if (options_.join == JoinData::File && !readWholeFile(fs(), options_.joinFile, join_, &error)) {
      ctx_.warning(options_.joinFile, "无法读取中间数据文件，按空内容合并：" + error);
      join_.clear();
    }
  }

  // False when the merge failed: the AtomicFile goes without a trace and every input stays.
  bool appendInputs() {
    const size_t count = list_.size();
    // Progress counts input bytes, so that one large input moves the bar too.
    std::vector<int64_t> sizes;
    int64_t total = 0;
    for (const std::string& input : list_) {
      sizes.push_back(std::max<int64_t>(0, fileSize(fs(), input)));
      total += sizes.back();
    }
    int64_t done = 0;
    ctx_.progress(0, total);
    for (size_t i = 0; i < count; ++i) {
      const std::string& input = list_[i];
      ctx_.status("(" + std::to_string(i + 1) + "/" + std::to_string(count) + ")" + PathFileName(input));
      if (!appendInput(i)) return false;
      std::string error;
      if (i + 1 < count && !join_.empty()) {
        if (options_.decode) {
          decoded_ += join_;
        } else if (!output_.write(join_, &error)) {
          fail(outputPath_, error);
          return false;
        }
      }
      done += sizes[i];
      ctx_.progress(done, total);
      if (ctx_.checkpoint()) {
        outcome_.stopped = true;
        break;
      }
    }
    return true;
  }

  // An input that opened but could not be read whole: the merge would miss what it holds, so none
  // of it is written and every input stays.
  void readFailed(const std::string& input, const std::string& error) {
    fail(input, (error.empty() ? std::string("读取失败") : error) + "；未写出 " + outputPath_ + "，输入文件都保留");
  }

  // Appends input `index`. One that cannot be opened (gone, not allowed) is reported and left out,
  // and so is one that is no text when decoding. False when the merge cannot go on: the output
  // failed, or an input broke off while it was read.
  bool appendInput(size_t index) {
    const std::string& input = list_[index];
    std::string readError;
    if (options_.decode) {
      const TextEncoding previousEncoding = lastEncoding_;
      lastEncoding_ = TextEncoding::Detect;
      FileReader reader(fs());
      if (!reader.open(input, &readError)) {
        fail(input, readError);
        return true;
      }
      std::string bytes;
      if (!readRest(reader, bytes, readError)) {
        readFailed(input, readError);
        return false;
      }
      TextEncoding used = TextEncoding::Detect;
      TextVerdict verdict;
      std::string text = DecodeText({}, TextEncoding::Detect, bytes, {}, used, {}, &verdict);
      if (!verdict.isText()) {
        // Nothing of it goes in, and it is no input decoded: the output keeps the encoding of the
        // text before it.
        lastEncoding_ = previousEncoding;
        fail(input, kNotTextMerge);
        return true;
      }
      lastEncoding_ = used;
      decoded_ += text;
      held_.push_back(index);
      return true;
    }
    std::string error;
    switch (appendFile(fs(), input, output_, error)) {
      case Appended::Whole:
        held_.push_back(index);
        return true;
      case Appended::NotOpened:
        fail(input, error);
        return true;
      case Appended::ReadFailed:
        readFailed(input, error);
        return false;
      case Appended::WriteFailed:
        fail(outputPath_, error);
        return false;
    }
    return false;
  }

  // The whole output takes the encoding of the input decoded last.
  bool writeDecoded() {
    std::string bytes;
    if (static_cast<int>(lastEncoding_) >= 2) {
      EncodeText({}, cutAtNul(decoded_), lastEncoding_, bytes);
    } else {
      bytes = std::move(decoded_);
    }
    decoded_.clear();
    decoded_.shrink_to_fit();
    std::string error;
    if (!output_.write(bytes, &error)) {
      fail(outputPath_, error);
      return false;
    }
    return true;
  }

  void deleteHeldInputs() {
    std::string error;
    // A new output is not synced on commit; it must be on the disk before its inputs go.
    if (!syncFileSystem(fs(), outputPath_, &error)) {
      fail(outputPath_, "无法确认合并文件已写入磁盘，输入文件保留：" + error);
      return;
    }
    std::unordered_set<std::string> deleted;
    std::vector<std::string> inputs;
    for (const size_t index : held_) {
      const std::string& input = list_[index];
      // The output may have taken an input's place; that input's content lives on in it.
      if (input == outputPath_ || sameFile(fs(), input, outputPath_) || !deleted.insert(input).second) continue;
      inputs.push_back(input);
    }
    // Recorded before the first goes: a kill among the deletions leaves the rest to the next merge of
    // them. Without a record they are deleted all the same, as they always were.
    HeldRecord record(fs());
    if (!options_.deletionRecords.empty()) {
      MergeDeletions deletions;
      deletions.output.path = outputPath_;
      bool stamped = fileStamp(fs(), outputPath_, deletions.output.stamp);
      for (const std::string& input : inputs) {
        deletions.inputs.push_back({input, {}});
        stamped = stamped && fileStamp(fs(), input, deletions.inputs.back().stamp);
      }
      if (stamped) record.create(options_.deletionRecords, mergeDeletionsText(deletions));
    }
    for (const std::string& input : inputs) {
      if (removeFile(fs(), input, &error)) {
        ++outcome_.inputsDeleted;
      } else {
        fail(input, "无法删除：" + error);
      }
    }
    record.remove();
  }

  const PathList& list_;
  const MergeOptions& options_;
  RunContext& ctx_;
  const std::string outputPath_;
  MergeOutcome outcome_;
  AtomicFile output_;
  std::string join_;
  std::string decoded_;  // the whole output while decoding
  TextEncoding lastEncoding_ = TextEncoding::Detect;
  std::vector<size_t> held_;  // inputs whose whole content is in the output
};

}  // namespace

MergeOutcome MergeFiles(const PathList& list, const MergeOptions& options, RunContext& ctx) {
  if (list.empty()) return {};
  if (!options.deleteInputs || options.deletionRecords.empty()) return Merger(list, options, ctx).run();
  PathList rest = list;
  const FinishedDeletions finished = finishInterruptedDeletions(options.deletionRecords, rest, ctx);
  MergeOutcome outcome;
  outcome.inputsDeleted = finished.deleted;
  outcome.failures = finished.failures;
  if (!rest.empty()) outcome += Merger(rest, options, ctx).run();
  return outcome;
}

MergeOutcome MergeFolder(std::string_view folder, const MergeOptions& options, RunContext& ctx) {
  std::vector<std::string> ancestors;
  return mergeFolderWalk(folder, options, ctx, ancestors);
}

}  // namespace chengling
