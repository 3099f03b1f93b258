#include "tools/classify/classify_engine.h"

#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "foundation/created_folders.h"
#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/path_helpers.h"
#include "tools/classify/classify_log.h"

namespace chengling {

const char* const kBeforeLogName = "归类前文件路径.txt";
const char* const kAfterLogName = "归类后文件路径.txt";
const char* const kFailureLogName = "归类失败的文件路径.txt";
const char* const kMadeFoldersLogName = "归类新建的文件夹路径.txt";

const char* const kClassifyStartingCaption = "正在初始化中..";
const char* const kReadingFolderCaption = "正在读取目录：";

bool moveWithoutReplacing(const std::string& source, const std::string& target, std::string& reason) {
  std::string renameError;
  if (renamePath(source, target, false, &renameError)) return true;
  if (sameFile(source, target)) return true;
  if (pathExists(target)) {
    reason = "目标 " + target + " 已存在，不予覆盖";
    return false;
  }
  const int64_t size = fileSize(source);
  std::string error;
  if (!copyFile(source, target, false, &error)) {
    reason = "无法移动到 " + target + "：" + error;
    return false;
  }
  if (size < 0 || fileSize(target) != size) {
    removeFile(target);
    reason = "复制到 " + target + " 后大小不符，已撤销";
    return false;
  }
  // The copy must be on disk before the only other copy goes.
  if (!syncFileSystem(target, &error)) {
    removeFile(target);
    reason = "无法把 " + target + " 写入磁盘：" + error;
    return false;
  }
  if (!removeFile(source, &error)) {
    removeFile(target);
    reason = "无法删除原文件：" + error;
    return false;
  }
  return true;
}

namespace {

constexpr int64_t kPreviewCount = 100;
constexpr size_t kCaptionLimit = 70;
constexpr size_t kCaptionHalf = 34;

// The files of one walked folder (batches restart in each), or the whole file list.
struct RunGroup {
  PathList files;
};

// Lists every folder of the walk before any file is touched, so that folders and files the run
// itself creates inside the tree are never walked and classified a second time. Order: the files
// of a folder, then its subfolders one by one, each with its own files first. `ancestors` holds
// the folders above `folder`: a linked folder that leads back to one of them is not entered.
void walkFolder(const std::string& folder, const ClassifyOptions& options, RunContext& ctx,
                std::vector<RunGroup>& groups, std::vector<std::string>& ancestors) {
  ctx.phase(kReadingFolderCaption + folder);
  RunGroup group;
  ListFolder(folder, options.filter, ListingKind::Files, false, options.matcher, group.files);
  groups.push_back(std::move(group));
  if (!options.recursive || ctx.checkpoint()) return;
  PathList subfolders;
  ListFolder(folder, "*", ListingKind::Folders, false, options.matcher, subfolders);
  ancestors.push_back(folder);
  for (const std::string& sub : subfolders) {
    bool loops = false;
    for (const std::string& above : ancestors) loops = loops || sameFile(sub, above);
    if (loops) {
      ctx.warning(sub, "链接指回上级文件夹，未遍历");
      continue;
    }
    walkFolder(sub, options, ctx, groups, ancestors);
    if (ctx.stopRequested()) break;
  }
  ancestors.pop_back();
}

std::string entryFolderOf(const ClassifyOptions& options) {
  if (options.source == ClassifySource::FileList) return std::string();
  std::string folder = options.entryFolder;
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

std::vector<RunGroup> collectGroups(const ClassifyOptions& options, const std::string& entry,
                                    RunContext& ctx) {
  std::vector<RunGroup> groups;
  if (options.source == ClassifySource::FileList) {
    groups.push_back(RunGroup{options.fileList});
  } else {
    std::vector<std::string> ancestors;
    walkFolder(entry, options, ctx, groups, ancestors);
  }
  return groups;
}

// The batch number and the count of files in the current batch.
class BatchCounter {
 public:
  explicit BatchCounter(const ClassifyOptions& options) : perBatch_(options.perBatch) {
    batch_.mode = options.batchMode;
    batch_.names = options.batchNames;
  }
  void restart() {
    batch_.number = 1;
    inBatch_ = 0;
  }
  // Counts one file (failed or not) into the current batch and opens the next batch when it is full.
  void advance() {
    ++inBatch_;
    if (inBatch_ >= perBatch_ || perBatch_ <= 0) {
      batch_.number = static_cast<int32_t>(static_cast<uint32_t>(batch_.number) + 1u);
      inBatch_ = 0;
    }
  }
  BatchContext& context() { return batch_; }

 private:
  BatchContext batch_;
  int32_t perBatch_;
  int32_t inBatch_ = 0;
};

// Runs `visit(source, count, index)` for every file in run order, restarting batches per group,
// until the end or a stop request (checked before every file).
template <typename Visit>
bool forEachFile(const std::vector<RunGroup>& groups, bool restartPerGroup, BatchCounter& counter,
                 RunContext& ctx, Visit visit) {
  counter.restart();
  for (const RunGroup& group : groups) {
    if (restartPerGroup) counter.restart();
    const int64_t count = static_cast<int64_t>(group.files.size());
    for (int64_t i = 0; i < count; ++i) {
      if (ctx.checkpoint()) return true;
      visit(group.files[static_cast<size_t>(i)], count, i + 1);
      counter.advance();
    }
  }
  return ctx.stopRequested();
}

class Classifier {
 public:
  explicit Classifier(const ClassifyOptions& options) : keepSources_(options.keepSources) {}

  // Copies or moves `source` to `target`. False with a reason when the file stays where it was.
  bool transfer(const std::string& source, const std::string& target, std::string& reason) {
    if (source.empty()) {
      reason = "路径为空";
      return false;
    }
    if (target.empty()) {
      reason = "目标路径为空";
      return false;
    }
    if (!isRegularFile(source)) {
      reason = pathExists(source) ? "不是普通文件" : "文件不存在";
      return false;
    }
    if (written_.count(target) != 0) {
      if (sameFile(source, target)) return true;
      reason = "目标 " + target + " 已由本次归类写入，不予覆盖";
      return false;
    }
    std::string folderError;
    CreatedFolders created;
    makeFolder(target, created, folderError);
    const bool done = keepSources_ ? copy(source, target, reason) : move(source, target, reason);
    if (!done && !folderError.empty()) reason = folderError;
    if (done) {
      written_.insert(target);
      for (const std::string& folder : created.folders()) madeFolders_.push_back(folder);
    } else {
      // A failed file leaves no empty folders of its own behind.
      created.removeEmpty();
      lastFolder_.clear();
    }
    return done;
  }

  // The folders made for the files transferred since the last call, outermost first; forgets them.
  std::vector<std::string> takeMadeFolders() { return std::exchange(madeFolders_, {}); }

 private:
  void makeFolder(const std::string& target, CreatedFolders& created, std::string& error) {
    std::string folder = PathDirectory(target);
    if (folder.empty() || folder == lastFolder_) return;
    std::string reason;
    if (created.make(folder, &reason)) {
      lastFolder_ = std::move(folder);
    } else {
      error = "无法创建文件夹 " + folder + "：" + reason;
    }
  }

  bool copy(const std::string& source, const std::string& target, std::string& reason) {
    if (sameFile(source, target)) return true;
    if (copyFile(source, target, true, &reason)) return true;
    reason = "无法复制到 " + target + "：" + reason;
    return false;
  }

  bool move(const std::string& source, const std::string& target, std::string& reason) {
    return moveWithoutReplacing(source, target, reason);
  }

  bool keepSources_;
  std::unordered_set<std::string> written_;
  std::string lastFolder_;
  std::vector<std::string> madeFolders_;
};

struct Logs {
  AtomicFile failures;
  AtomicFile after;
  AtomicFile before;
  AtomicFile madeFolders;
  bool writeFailed = false;

  void write(AtomicFile& log, std::string_view path) {
    if (!log.write(logLine(path))) writeFailed = true;
  }
};

}  // namespace

std::string shortenCaption(std::string_view text) {
  if (text.size() < kCaptionLimit) return std::string(text);
  size_t prefixEnd = 0;
  size_t suffixStart = text.size();
  for (size_t pos = 0; pos < text.size();) {
    const size_t next = pos + charLengthAt(text, pos);
    if (next <= kCaptionHalf) prefixEnd = next;
    if (text.size() - pos <= kCaptionHalf && suffixStart == text.size()) suffixStart = pos;
    pos = next;
  }
  return std::string(text.substr(0, prefixEnd)) + "..." + std::string(text.substr(suffixStart));
}

std::string captionText(int64_t count, int64_t index, std::string_view source) {
  return shortenCaption("    (" + numberToText(count) + ":" + numberToText(index) + ") " +
                        std::string(source));
}

std::string classifyInputError(const ClassifyOptions& options) {
  if (options.source != ClassifySource::Folder) return std::string();
  // An empty folder box would otherwise mean the root of the whole file system.
  if (options.entryFolder.empty()) return "没有指定要归类的文件夹";
  // A folder that is not there would list nothing and end as a run that found nothing to do.
  if (!pathExists(options.entryFolder) || !IsDirectory(options.entryFolder)) {
    return "找不到文件夹 " + options.entryFolder;
  }
  return std::string();
}

std::string runSummary(const ClassifyOutcome& outcome) {
  std::string summary = "归类完成：共 " + numberToText(outcome.processed) + " 个文件，失败 " +
                        numberToText(outcome.failed) + " 个";
  return outcome.stopped ? "已停止。" + summary : summary;
}

ClassifyOutcome ClassifyRun(const ClassifyOptions& options, RunContext& ctx) {
  ClassifyOutcome outcome;
  ctx.phase(kClassifyStartingCaption);
  outcome.error = classifyInputError(options);
  if (!outcome.error.empty()) return outcome;
  const std::string entry = entryFolderOf(options);
  const PathTemplate pathTemplate(options.templateText);

  // Listed before the logs are opened, so that their temporary files (when the program directory
  // lies inside the walked tree) are never taken for sources.
  const std::vector<RunGroup> groups = collectGroups(options, entry, ctx);
  if (ctx.stopRequested()) {
    // Stopped while listing: nothing was touched, and the last run's logs stay for an undo.
    outcome.stopped = true;
    return outcome;
  }

  Logs logs;
  {
    std::string reason;
    if (!options.logFolder.empty() && !MakeDirectories(options.logFolder, &reason)) {
      outcome.error = "无法创建程序目录 " + options.logFolder + "：" + reason;
      return outcome;
    }
    const std::pair<AtomicFile*, const char*> opens[] = {{&logs.failures, kFailureLogName},
                                                         {&logs.after, kAfterLogName},
                                                         {&logs.before, kBeforeLogName},
                                                         {&logs.madeFolders, kMadeFoldersLogName}};
    for (const auto& [log, name] : opens) {
      const std::string path = joinPath(options.logFolder, name);
      if (!log->open(path, &reason)) {
        outcome.error = "无法写入 " + path + "：" + reason;
        return outcome;
      }
    }
  }

  BatchCounter counter(options);
  Classifier classifier(options);
  const bool perFolder = options.source == ClassifySource::Folder;
  auto classifyOne = [&](const std::string& source, int64_t count, int64_t index) {
    const std::string target = pathTemplate.expand(source, entry, counter.context());
    std::string reason;
    const bool done = classifier.transfer(source, target, reason);
    // Every file is logged whatever the outcome, so that the before and after logs stay in step.
    logs.write(logs.before, source);
    logs.write(logs.after, target);
    if (!done) {
      logs.write(logs.failures, source);
      ++outcome.failed;
      ctx.failure(source, reason);
    }
    for (const std::string& folder : classifier.takeMadeFolders()) logs.write(logs.madeFolders, folder);
    ctx.phase(captionText(count, index, source));
    ctx.progress(index, count);
    if (++outcome.processed <= kPreviewCount) {
      outcome.preview += target;
      outcome.preview += "\r\n";
    }
  };
  outcome.stopped = forEachFile(groups, perFolder, counter, ctx, classifyOne);

  for (AtomicFile* log : {&logs.failures, &logs.after, &logs.before, &logs.madeFolders}) {
    std::string reason;
    if (!log->commit(&reason) && outcome.logError.empty()) outcome.logError = reason;
  }
  if (logs.writeFailed && outcome.logError.empty()) outcome.logError = "日志写入不完整";
  if (!outcome.logError.empty()) ctx.warning(options.logFolder, "归类日志未能完整写入：" + outcome.logError);
  return outcome;
}

ClassifyPlanOutcome ClassifyPlan(const ClassifyOptions& options, RunContext& ctx) {
  ClassifyPlanOutcome outcome;
  outcome.error = classifyInputError(options);
  if (!outcome.error.empty()) return outcome;
  std::vector<PlannedFile>& plan = outcome.files;
  const std::string entry = entryFolderOf(options);
  const PathTemplate pathTemplate(options.templateText);
  const std::vector<RunGroup> groups = collectGroups(options, entry, ctx);
  BatchCounter counter(options);
  if (ctx.stopRequested()) return outcome;
  auto planOne = [&](const std::string& source, int64_t, int64_t) {
    PlannedFile file;
    file.source = source;
    file.target = pathTemplate.expand(source, entry, counter.context());
    file.sameAsSource = !source.empty() && !file.target.empty() && sameFile(source, file.target);
    file.targetExists = !file.sameAsSource && !file.target.empty() && pathExists(file.target);
    plan.push_back(std::move(file));
  };
  forEachFile(groups, options.source == ClassifySource::Folder, counter, ctx, planOne);
  std::unordered_map<std::string_view, int> uses;
  for (const PlannedFile& file : plan) ++uses[file.target];
  for (PlannedFile& file : plan) file.sharedTarget = !file.target.empty() && uses[file.target] > 1;
  return outcome;
}

std::string planLine(const PlannedFile& file, bool keepSources) {
  std::string line = file.source + " → " + file.target;
  if (file.sameAsSource) line += "  [目标即原文件，不会改动]";
  if (file.targetExists) line += keepSources ? "  [目标已存在，将被替换]" : "  [目标已存在，将失败]";
  if (file.sharedTarget) line += "  [与其他文件目标相同]";
  return line;
}

std::string planSummary(const std::vector<PlannedFile>& plan) {
  int64_t taken = 0;
  int64_t shared = 0;
  for (const PlannedFile& file : plan) {
    if (file.targetExists) ++taken;
    if (file.sharedTarget) ++shared;
  }
  return "预演：共 " + numberToText(static_cast<int64_t>(plan.size())) + " 个文件，目标已存在 " +
         numberToText(taken) + " 个，目标重复 " + numberToText(shared) + " 个；未改动任何文件";
}

}  // namespace chengling
