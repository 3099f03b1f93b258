#include "tools/split_merge/merge_engine.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/path_helpers.h"
#include "foundation/text_codec.h"

namespace chengling {

const char* const kDefaultJoinText = "我是中间字符串";

namespace {

// Appends the file at `path` to `output`. False when it could not be read whole (`readError`) or
// the output could not take it (`writeFailed`, `writeError`).
bool appendFile(std::string_view path, AtomicFile& output, std::string& readError, std::string& writeError,
                bool& writeFailed) {
  FileReader reader;
  if (!reader.open(path, &readError)) return false;
  bool readFailed = false;
  std::string error;
  if (output.append(reader, readFailed, &error)) return true;
  (readFailed ? readError : writeError) = error;
  writeFailed = !readFailed;
  return false;
}

MergeOutcome mergeFolderWalk(std::string_view folder, const MergeOptions& options, RunContext& ctx,
                             std::vector<std::string>& ancestors) {
  PathList files;
  ListFolder(folder, options.patterns, ListingKind::Files, false, options.matcher, files);
  MergeOutcome outcome = MergeFiles(files, options, ctx);
  if (!options.recursive || ctx.stopRequested()) return outcome;
  PathList folders;
  ListFolder(folder, options.patterns, ListingKind::Folders, false, options.matcher, folders);
  ancestors.emplace_back(folder);
  for (const std::string& sub : folders) {
    if (ctx.checkpoint()) {
      outcome.stopped = true;
      break;
    }
    // A link back to a folder on the current path would make the walk endless.
    const bool loop = std::any_of(ancestors.begin(), ancestors.end(),
                                  [&](const std::string& a) { return sameFile(a, sub); });
    if (loop) continue;
    outcome += mergeFolderWalk(sub, options, ctx, ancestors);
    if (outcome.stopped) break;
  }
  ancestors.pop_back();
  return outcome;
}

}  // namespace

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

MergeOutcome MergeFiles(const PathList& list, const MergeOptions& options, RunContext& ctx) {
  MergeOutcome outcome;
  if (list.empty()) return outcome;
  const int64_t count = static_cast<int64_t>(list.size());
  ctx.progress(0, count);
  const std::string outputPath = mergeOutputPath(list.front(), count, options.intoParent);
  const auto fail = [&](std::string_view item, std::string_view reason) {
    ++outcome.failures;
    ctx.failure(item, reason);
  };

  AtomicFile output;
  std::string error;
  if (!output.open(outputPath, &error)) {
    fail(outputPath, error);
    return outcome;
  }

  std::string join;
  if (options.join == JoinData::Text) {
    join = options.joinText;
  } else if (options.join == JoinData::File && !readWholeFile(options.joinFile, join, &error)) {
    ctx.warning(options.joinFile, "无法读取中间数据文件，按空内容合并：" + error);
    join.clear();
  }

  std::string decoded;  // the whole output while decoding
  TextEncoding lastEncoding = TextEncoding::Detect;
  std::vector<size_t> held;  // inputs whose whole content is in the output
  for (int64_t i = 1; i <= count; ++i) {
    const std::string& input = list[static_cast<size_t>(i - 1)];
    ctx.status("(" + std::to_string(i) + "/" + std::to_string(count) + ")" + PathFileName(input));
    ctx.progress(i, count);
    lastEncoding = TextEncoding::Detect;
    std::string readError;
    if (options.decode) {
      std::string bytes;
      if (readWholeFile(input, bytes, &readError)) {
        decoded += DecodeText({}, TextEncoding::Detect, bytes, {}, lastEncoding);
        held.push_back(static_cast<size_t>(i - 1));
      } else {
        fail(input, readError);
      }
    } else {
      std::string writeError;
      bool writeFailed = false;
      if (appendFile(input, output, readError, writeError, writeFailed)) {
        held.push_back(static_cast<size_t>(i - 1));
      } else if (writeFailed) {
        fail(outputPath, writeError);
        return outcome;  // the AtomicFile goes without a trace; every input stays
      } else {
        fail(input, readError);
      }
    }
    if (i < count && !join.empty()) {
      if (options.decode) {
        decoded += join;
      } else if (!output.write(join, &error)) {
        fail(outputPath, error);
        return outcome;
      }
    }
    if (ctx.checkpoint()) {
      outcome.stopped = true;
      break;
    }
  }

  if (options.decode) {
    // The whole output takes the encoding of the input decoded last.
    std::string bytes;
    if (static_cast<int>(lastEncoding) >= 2) {
      EncodeText({}, cutAtNul(decoded), lastEncoding, bytes);
    } else {
      bytes = std::move(decoded);
    }
    decoded.clear();
    decoded.shrink_to_fit();
    if (!output.write(bytes, &error)) {
      fail(outputPath, error);
      return outcome;
    }
  }
  if (!output.commit(&error)) {
    fail(outputPath, error);
    return outcome;
  }
  ++outcome.outputsWritten;
  if (options.onOutputWritten) options.onOutputWritten(outputPath);

  // A new output is not synced on commit; it must be on the disk before its inputs go.
  if (options.deleteInputs && !held.empty() && !syncFileSystem(outputPath, &error)) {
    fail(outputPath, "无法确认合并文件已写入磁盘，输入文件保留：" + error);
  } else if (options.deleteInputs) {
    std::unordered_set<std::string> deleted;
    for (const size_t index : held) {
      const std::string& input = list[index];
      // The output may have taken an input's place; that input's content lives on in it.
      if (input == outputPath || sameFile(input, outputPath) || !deleted.insert(input).second) continue;
      if (removeFile(input, &error)) {
        ++outcome.inputsDeleted;
      } else {
        fail(input, "无法删除：" + error);
      }
    }
  }
  return outcome;
}

MergeOutcome MergeFolder(std::string_view folder, const MergeOptions& options, RunContext& ctx) {
  std::vector<std::string> ancestors;
  return mergeFolderWalk(folder, options, ctx, ancestors);
}

}  // namespace chengling
