#include "tools/classify/classify_run.h"

#include <array>
#include <functional>
#include <unordered_set>
#include <utility>

#include "foundation/created_folders.h"
#include "foundation/file_system.h"
#include "foundation/internal_text.h"
#include "foundation/path_helpers.h"
#include "tools/classify/classify_captions.h"
#include "tools/classify/classify_journal.h"
#include "tools/classify/classify_log.h"
#include "tools/classify/classify_move.h"
#include "tools/classify/classify_walk.h"
#include "tools/classify/photo_records_ahead.h"

namespace chengling {

const char* const kBeforeLogName = "归类前文件路径.txt";
const char* const kAfterLogName = "归类后文件路径.txt";
const char* const kFailureLogName = "归类失败的文件路径.txt";
const char* const kMadeFoldersLogName = "归类新建的文件夹路径.txt";

namespace {

constexpr int64_t kPreviewCount = 100;

class Classifier {
 public:
  Classifier(const ClassifyOptions& options, ClassifyJournal& journal, FileSystem& fs)
      : keepSources_(options.keepSources), journal_(journal), fs_(fs) {}

  // Copies or moves `source` to `target`: pair `pair` of the journal, whose identity was read when
  // it was planned. False with a reason when the file stays where it was.
  bool transfer(const std::string& source, const FileIdentity& identity, const std::string& target, int64_t pair,
                std::string& reason) {
    if (source.empty()) {
      reason = "路径为空";
      return false;
    }
    if (target.empty()) {
      reason = "目标路径为空";
      return false;
    }
    if (!identity.regular) {
      reason = identity.exists ? "不是普通文件" : "文件不存在";
      return false;
    }
    if (written_.count(target) != 0) {
      if (sameFile(fs_, source, target)) return true;
      reason = "目标 " + target + " 已由本次归类写入，不予覆盖";
      return false;
    }
    std::string folderError;
    CreatedFolders created(fs_);
    if (!makeFolder(target, created, folderError)) {
      reason = folderError;
      return false;
    }
    const bool done = keepSources_ ? copy(source, target, reason) : move(source, target, pair, reason);
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
  // Why the journal could not be written; nothing may move once it is set.
  const std::string& journalError() const { return journalError_; }

 private:
  // False when the journal could not hear of the folders: then nothing is made. A folder that cannot
  // be made only sets `error`: the file step goes on all the same and then fails.
  bool makeFolder(const std::string& target, CreatedFolders& created, std::string& error) {
    std::string folder = PathDirectory(target);
    if (folder.empty() || folder == lastFolder_) return true;
    // Recorded before they are made, so that an undo after a kill takes them away again.
    std::vector<std::string> missing;
    for (std::string level = folder; !level.empty() && !pathExists(fs_, level); level = PathDirectory(level)) {
      missing.insert(missing.begin(), level);
    }
    if (!missing.empty() && !journal_.willMake(missing, journalError_)) {
      error = journalError_;
      return false;
    }
    std::string reason;
    if (created.make(folder, &reason)) {
      lastFolder_ = std::move(folder);
    } else {
      error = "无法创建文件夹 " + folder + "：" + reason;
    }
    return true;
  }

  bool copy(const std::string& source, const std::string& target, std::string& reason) {
    if (sameFile(fs_, source, target)) return true;
    if (copyFile(fs_, source, target, true, &reason)) return true;
    reason = "无法复制到 " + target + "：" + reason;
    return false;
  }

  bool move(const std::string& source, const std::string& target, int64_t pair, std::string& reason) {
    moving_ = {&target, pair};
    return moveWithoutReplacing(fs_, source, target, reason, copyHooks_);
  }

  // A copy to another file system is recorded before it begins and again, as the very file it is,
  // before its source goes: after a kill in between, an undo knows the copy for the run's own. Made
  // once; they hear of the file through `moving_`.
  CopyHooks recordedCopies() {
    CopyHooks hooks;
    hooks.beforeCopy = [this](std::string& why) {
      if (journal_.copying(moving_.pair, journalError_)) return true;
      why = journalError_;
      return false;
    };
    hooks.beforeRemovingSource = [this](std::string& why) {
      if (journal_.copied(moving_.pair, fileIdentity(fs_, *moving_.target), journalError_)) return true;
      why = journalError_;
      return false;
    };
    return hooks;
  }

  bool keepSources_;
  ClassifyJournal& journal_;
  FileSystem& fs_;
  std::string journalError_;
  struct {
    const std::string* target = nullptr;
    int64_t pair = 0;
  } moving_;
  CopyHooks copyHooks_ = recordedCopies();
  std::unordered_set<std::string> written_;
  std::string lastFolder_;
  std::vector<std::string> madeFolders_;
};

// The sources and targets of the block being planned, to tell whether a later file's source is one
// of them: a small open-addressing table of their hashes, emptied per block, with no allocation per
// file. A block holds at most kJournalBlock files, so the table is never more than half full.
class BlockPaths {
 public:
  void clear() { slots_.fill(Slot{}); }
  bool contains(std::string_view path) const {
    const size_t hash = hashOf(path);
    for (size_t i = hash;; ++i) {
      const Slot& slot = slots_[i % slots_.size()];
      if (slot.hash == 0) return false;
      if (slot.hash == hash && slot.path == path) return true;
    }
  }
  void insert(std::string_view path) {
    const size_t hash = hashOf(path);
    size_t i = hash;
    while (slots_[i % slots_.size()].hash != 0) ++i;
    slots_[i % slots_.size()] = Slot{hash, path};
  }

 private:
  struct Slot {
    size_t hash = 0;  // 0: empty
    std::string_view path;
  };
  static size_t hashOf(std::string_view path) { return std::hash<std::string_view>()(path) | 1; }
  std::array<Slot, 4 * kJournalBlock> slots_{};
};

// One file of a block, planned before any file of the block moves: its target, what its source
// was then, its log lines and its number in the journal.
struct PlannedMove {
  const std::string* source = nullptr;
  std::string target;
  FileIdentity identity;
  std::string sourceLine;
  std::string targetLine;
  int64_t pair = 0;
};

struct Logs {
  explicit Logs(FileSystem& fs) : fs(fs), failures(fs), after(fs), before(fs), madeFolders(fs) {}
  FileSystem& fs;
  AtomicFile failures;
  AtomicFile after;
  AtomicFile before;
  AtomicFile madeFolders;
  bool writeFailed = false;

  // `line` as logLine wrote it.
  void write(AtomicFile& log, std::string_view line) {
    if (!log.write(line)) writeFailed = true;
  }

  // Makes the folder and opens the four logs in it; false with `error` set when one cannot be.
  bool open(const std::string& folder, std::string& error) {
    std::string reason;
    if (!folder.empty() && !MakeDirectories(fs, folder, &reason)) {
      error = "无法创建程序目录 " + folder + "：" + reason;
      return false;
    }
    const std::pair<AtomicFile*, const char*> opens[] = {{&failures, kFailureLogName},
                                                         {&after, kAfterLogName},
                                                         {&before, kBeforeLogName},
                                                         {&madeFolders, kMadeFoldersLogName}};
    for (const auto& [log, name] : opens) {
      const std::string path = joinPath(folder, name);
      if (!log->open(path, &reason)) {
        error = "无法写入 " + path + "：" + reason;
        return false;
      }
    }
    return true;
  }

  // Commits every log; false when one is incomplete, with the first reason in `error` unless it
  // holds one already.
  bool commit(std::string& error) {
    bool committed = true;
    for (AtomicFile* log : {&failures, &after, &before, &madeFolders}) {
      std::string reason;
      if (!log->commit(&reason)) {
        committed = false;
        if (error.empty()) error = reason;
      }
    }
    if (writeFailed) {
      committed = false;
      if (error.empty()) error = "日志写入不完整";
    }
    return committed;
  }
};

// Plans the files of `files` from `next` on into `block` (at most kJournalBlock of them), each with
// its target, its identity now, its log lines and its pair in the journal. `files` begin at
// `firstIndex` in the run order that `photos` reads ahead in.
void planBlock(FileSystem& fs, const PathList& files, size_t next, const PathTemplate& pathTemplate, const std::string& entry,
               BatchCounter& counter, ClassifyJournal& journal, PhotoRecordsAhead& photos, size_t firstIndex,
               std::vector<PlannedMove>& block, BlockPaths& claimed) {
  block.clear();
  claimed.clear();
  while (next + block.size() < files.size() && block.size() < kJournalBlock) {
    const std::string& source = files[next + block.size()];
    const FileIdentity identity = fileIdentity(fs, source);
    // A file that is not there yet, or that an earlier file of the block moves or leads to, is
    // planned once those have moved: what the run finds then is what it finds file by file.
    if (!block.empty() && (!identity.exists || claimed.contains(source))) break;
    PlannedMove& move = block.emplace_back();
    move.source = &source;
    move.identity = identity;
    const PhotoRecord* photo = photos.take(firstIndex + next + block.size() - 1);
    move.target = pathTemplate.expand(source, entry, counter.context(), identity.regular, photo);
    counter.advance();
    move.sourceLine = logLine(source);
    move.targetLine = logLine(move.target);
    move.pair = journal.plan(identity, move.sourceLine, move.targetLine);
    claimed.insert(source);
    claimed.insert(move.target);
  }
}

}  // namespace

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
  warnWithoutPhotoRecords(pathTemplate, options.templateText, ctx);

  // Listed before the logs are opened, so that their temporary files (when the program directory
  // lies inside the walked tree) are never taken for sources.
  const std::vector<RunGroup> groups = collectGroups(options, entry, ctx);
  if (ctx.stopRequested()) {
    // Stopped while listing: nothing was touched, and the last run's logs stay for an undo.
    outcome.stopped = true;
    return outcome;
  }

  FileSystem& fs = ctx.fileSystem();
  Logs logs(fs);
  if (!logs.open(options.logFolder, outcome.error)) return outcome;

  ClassifyJournal journal(fs);
  if (!journal.begin(options.logFolder, options.keepSources, outcome.error)) return outcome;

  BatchCounter counter(options);
  Classifier classifier(options, journal, fs);
  const bool perFolder = options.source == ClassifySource::Folder;
  auto classifyOne = [&](const PlannedMove& move, int64_t count, int64_t index) {
    const std::string& source = *move.source;
    std::string reason;
    const bool done = classifier.transfer(source, move.identity, move.target, move.pair, reason);
    // Every file is logged whatever the outcome, so that the before and after logs stay in step.
    logs.write(logs.before, move.sourceLine);
    logs.write(logs.after, move.targetLine);
    if (!done) {
      logs.write(logs.failures, move.sourceLine);
      journal.failed(move.pair);
      ++outcome.failed;
      ctx.failure(source, reason);
    }
    for (const std::string& folder : classifier.takeMadeFolders()) logs.write(logs.madeFolders, logLine(folder));
    ctx.phase(captionText(count, index, source));
    ctx.progress(index, count);
    if (++outcome.processed <= kPreviewCount) {
      outcome.preview += move.target;
      outcome.preview += "\r\n";
    }
  };

  // Block by block: the journal hears of a block's files before the first of them moves, and of
  // how they ended before the next block moves.
  std::string journalError;
  std::vector<PlannedMove> block;
  block.reserve(kJournalBlock);
  BlockPaths claimed;
  int64_t attempted = 0;
  PhotoRecordsAhead photos(runOrderOf(groups), pathTemplate.needsPhotoRecord());
  size_t groupStart = 0;  // the run-order index of the group's first file
  counter.restart();
  for (const RunGroup& group : groups) {
    if (perFolder) counter.restart();
    const size_t count = group.files.size();
    size_t next = 0;
    while (next < count && !outcome.stopped && journalError.empty()) {
      planBlock(fs, group.files, next, pathTemplate, entry, counter, journal, photos, groupStart, block, claimed);
      if (!journal.flush(journalError)) break;
      for (const PlannedMove& move : block) {
        if (ctx.checkpoint()) {
          outcome.stopped = true;
          break;
        }
        classifyOne(move, static_cast<int64_t>(count), static_cast<int64_t>(++next));
        ++attempted;
        if (!classifier.journalError().empty()) {
          journalError = classifier.journalError();
          break;
        }
      }
      journal.settled(attempted);
    }
    if (outcome.stopped || !journalError.empty()) break;
    groupStart += count;
  }
  outcome.stopped = outcome.stopped || ctx.stopRequested();
  if (journalError.empty()) journal.flush(journalError);
  if (!journalError.empty()) {
    // Nothing moves without its record: the run ended at the file that could not be recorded.
    outcome.stopped = true;
    outcome.logError = journalError;
  }

  const bool committed = logs.commit(outcome.logError);
  // The logs tell the run now; without them the journal stays, for an undo.
  if (committed) {
    std::string reason;
    if (!journal.finish(reason)) ctx.warning(journal.path(), reason);
  } else {
    journal.keep();
  }
  if (!outcome.logError.empty()) ctx.warning(options.logFolder, "归类日志未能完整写入：" + outcome.logError);
  return outcome;
}

}  // namespace chengling
