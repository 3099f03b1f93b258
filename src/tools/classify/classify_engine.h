#pragma once
// The classification run: sends every file of a folder walk or of a file list to the path that the
// template gives it, copying or moving, counting files into batches, and writes the before, after
// and failure logs and the list of the folders it made. Runs synchronously on the caller's thread;
// stops after the current file when the RunContext asks.
//
// Shared by the engine and the window: Chinese texts are declared here and defined in the .cpp.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_collector.h"
#include "foundation/run_context.h"
#include "tools/classify/path_template.h"

namespace chengling {

enum class ClassifySource { Folder, FileList };

// Read once when a run starts.
struct ClassifyOptions {
  ClassifySource source = ClassifySource::Folder;
  std::string entryFolder;            // folder input; "/" is appended when missing
  std::string filter = "*.*";         // pattern list for the files of every walked folder
  bool recursive = false;             // also walk every subfolder
  Matcher matcher = Matcher::Standard;
  std::vector<std::string> fileList;  // file-list input, in order; an empty entry fails
  std::string templateText = kDefaultTemplate;
  int32_t perBatch = 100;             // 0 or less: one file per batch
  BatchNameMode batchMode = BatchNameMode::Numbers;
  std::vector<std::string> batchNames;
  bool keepSources = true;            // copy; otherwise move
  std::string logFolder;              // where the logs go (the program directory)
};

struct ClassifyOutcome {
  int64_t processed = 0;
  int64_t failed = 0;
  bool stopped = false;
  // The targets of the first 100 processed files, each followed by CR LF.
  std::string preview;
  // Set when the run could not start (the logs cannot be written); nothing was touched then.
  std::string error;
  // Set when a log could not be completed at the end; the files were classified all the same.
  std::string logError;
};

ClassifyOutcome ClassifyRun(const ClassifyOptions& options, RunContext& ctx);

// Why a run or a plan over `options` cannot start: no folder given, or the folder is not there.
// Empty when it can. ClassifyRun reports the same text in its outcome.
std::string classifyInputError(const ClassifyOptions& options);

// "归类完成：共 N 个文件，失败 M 个", with "已停止。" in front after a stop.
std::string runSummary(const ClassifyOutcome& outcome);

// One file of a dry run, in run order, with what the real run would run into.
struct PlannedFile {
  std::string source;
  std::string target;
  bool targetExists = false;  // a file or folder is there now (and it is not the source itself)
  bool sameAsSource = false;  // the target is the source file: nothing would change
  bool sharedTarget = false;  // another source of the run has the same target
};

// A dry run: the files in run order, or why it could not start (classifyInputError; then it read
// nothing and lists no file).
struct ClassifyPlanOutcome {
  std::vector<PlannedFile> files;
  std::string error;
};

// The sources and targets that ClassifyRun would process, with the same walk and batch counting;
// reads folders and file attributes only, writes nothing.
ClassifyPlanOutcome ClassifyPlan(const ClassifyOptions& options, RunContext& ctx);

// One planned file as "source → target", followed by what the real run would run into. A target
// that exists is replaced by a copy run and makes a move run fail.
std::string planLine(const PlannedFile& file, bool keepSources);
// "预演：共 N 个文件，目标已存在 X 个，目标重复 Y 个；未改动任何文件".
std::string planSummary(const std::vector<PlannedFile>& plan);

// Moves a file without ever replacing an existing one. Renames first; when that fails (another
// file system, say) it copies, checks the copy's size and deletes the source, and undoes the copy on
// any failure. Moving a file onto itself succeeds and changes nothing. False with a reason when the
// file stays where it was.
//
// What a caller hears of a move that has to copy, each time able to call it off by returning false
// with the reason set: `beforeCopy` when the target is free and the copy is about to begin,
// `beforeRemovingSource` when the copy is complete and on disk (calling off then undoes the copy).
struct CopyHooks {
  std::function<bool(std::string& reason)> beforeCopy;
  std::function<bool(std::string& reason)> beforeRemovingSource;
};
bool moveWithoutReplacing(const std::string& source, const std::string& target, std::string& reason,
                          const CopyHooks& hooks = {});

// "    (" + count + ":" + index + ") " + source, shortened by shortenCaption.
std::string captionText(int64_t count, int64_t index, std::string_view source);
// A text of 70 bytes or more becomes its longest whole-character prefix within 34 bytes + "..." +
// its longest whole-character suffix within 34 bytes; shorter texts stay as they are.
std::string shortenCaption(std::string_view text);

// Log names in the program directory; classify_log.h tells how their lines are written.
extern const char* const kBeforeLogName;   // "归类前文件路径.txt"
extern const char* const kAfterLogName;    // "归类后文件路径.txt"
extern const char* const kFailureLogName;  // "归类失败的文件路径.txt"
// The folders the run made for the files it classified, outermost first, one a line: what an undo
// takes away again once they are empty. Runs of earlier versions left none.
extern const char* const kMadeFoldersLogName;  // "归类新建的文件夹路径.txt"

// The phase texts of a run: "正在初始化中..", and "正在读取目录：" before each folder it reads.
extern const char* const kClassifyStartingCaption;
extern const char* const kReadingFolderCaption;

}  // namespace chengling
