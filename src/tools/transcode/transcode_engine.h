#pragma once
// The transcoding run: many text files decoded (detected or forced), optionally converted between
// simplified, traditional and BIG5 forms, and written in another encoding, either into a parallel
// tree whose top folder carries "(已转换)" or over the sources.
//
// Safety: every file is written through an AtomicFile. Over the sources, a file is replaced only by
// its complete new contents; with converted names the new file is written under its new name first
// (never over another existing file) and the source is removed only after the new files of the pass
// are on disk. A new name that is taken already by exactly the file this conversion writes (a run
// killed before it removed its sources left it) counts as written, and the source goes as it would
// have; a file there that holds anything else stays, and so does the source. A source that cannot be read is reported and left alone; nothing empty is written for
// it. Files the run has written are never converted or overwritten again by the same run. A source
// that is no text (foundation/text_check.h) is left alone and reported before anything of it is
// written, its name included.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/chinese_convert.h"
#include "foundation/file_collector.h"
#include "foundation/run_context.h"
#include "foundation/streamed_decode.h"
#include "foundation/text_codec.h"

namespace chengling {

// "(已转换)"; "转换完成！点击可打开目录："; "正在读取目录：".
extern const char* const kConvertedSuffix;
extern const char* const kCompletionPrefix;
extern const char* const kReadingFolderPrefix;
// The reason given for a source that is no text: "不是文本文件，未转换".
extern const char* const kNotTextReason;

// The seven character modes, in the order of their radio buttons.
enum class ChineseMode {
  None,                    // 不转
  SimplifiedToTraditional, // 简体到繁体
  TraditionalToSimplified, // 繁体到简体
  SimplifiedToBig5,        // 简体到Big5
  TraditionalToBig5,       // 繁体到Big5
  Big5ToSimplified,        // Big5到简体
  Big5ToTraditional,       // Big5到繁体
};

// The encodings of a pass.
struct PassEncodings {
  TextEncoding input = TextEncoding::Detect;
  TextEncoding output = TextEncoding::Utf8;
};

struct TranscodeOptions {  // read from the controls once, when the run starts
  TextEncoding input = TextEncoding::Detect;
  // Detect stands for "自动": each file is written in the encoding its decode reported.
  TextEncoding output = TextEncoding::Utf8;
  ChineseMode chinese = ChineseMode::None;
  bool convertNames = false;       // ignored with ChineseMode::None
  bool includeSubfolders = false;  // folder passes walk all subfolders
  bool overwrite = false;          // write over the sources instead of into the "(已转换)" tree
  std::string filter = "*.*";      // pattern list of folder passes
  Matcher matcher = Matcher::Standard;
  // Bytes read at a time: without a character conversion a file is streamed through buffers of
  // about this size, never held whole (a stop request is answered within one of them).
  size_t pieceBytes = kStreamPieceBytes;
  // When set, the encodings of every pass come from here, taken when the pass starts (after a folder
  // pass has listed its files); otherwise `input` and `output` hold for the whole run.
  std::shared_ptr<const LiveOptions<PassEncodings>> liveEncodings;
};

struct TranscodeOutcome {
  int64_t converted = 0;  // files written
  int64_t failed = 0;     // files reported through RunContext::failure
  int64_t warned = 0;     // files written but reported through RunContext::warning
  bool stopped = false;
  std::string completionFolder;  // base folder, + "(已转换)" unless overwriting
  // The folder the end text offers to open: completionFolder when the run wrote files and it
  // exists, else empty.
  std::string offeredFolder;
  std::string completionText;    // transcodeEndText of the rest
};

// What a run did, unless it converted files without a failure or a stop (then empty):
//  - stopped: "已停止。已转换 N 个文件" + ("，失败 M 个" when some failed);
//  - failures: "转换完成：已转换 N 个文件，失败 M 个";
//  - nothing converted and nothing failed: "转换完成：没有转换任何文件".
std::string transcodeSummary(const TranscodeOutcome& outcome);
// What a run says when it ends: "转换完成！点击可打开目录：" + folder after a clean run; else the
// summary, followed by "。点击可打开目录：" + folder when a folder is offered.
std::string transcodeEndText(const TranscodeOutcome& outcome);

// The character conversion of `mode` (the mode's steps in order), for text in pieces or whole.
ChineseStream chineseStream(ChineseMode mode);
std::string convertChineseText(std::string_view text, ChineseMode mode);
// A file name after its conversion under `mode`: traditional for the modes that end in traditional
// or BIG5 forms, simplified for those that end in simplified ones; unchanged for None. Names stay
// GBK text.
std::string convertFileName(std::string_view name, ChineseMode mode);

// The target of `file`: the file itself when overwriting; otherwise base + "(已转换)" + the path
// below base ("/d/a/b.txt" with base "/d" gives "/d(已转换)/a/b.txt"). A file outside base keeps its
// whole path below the tree ("/e/c.txt" gives "/d(已转换)/e/c.txt").
std::string transcodeTarget(std::string_view base, std::string_view file, bool overwrite);

// The completion folder of a run on `base`.
std::string completionFolder(std::string_view base, bool overwrite);

// A dropped path list as the run takes it: files in their dropped order; folders (and paths whose
// attributes cannot be read) from the last dropped to the first.
struct DropLists {
  PathList files;
  PathList folders;
};
DropLists splitDrop(const PathList& dropped);
// "确定要转换被拖放的 " + files + " 个文件" + ["和 " + folders + " 个目录"] + "的编码吗？"
std::string dropQuestion(const DropLists& lists);

// One run: a base folder and any number of passes, each reading the encodings anew. Progress is
// "(n:i) name" per file; a stop request ends the run after the current file.
class TranscodeRun {
 public:
  TranscodeRun(const TranscodeOptions& options, RunContext& ctx);
  ~TranscodeRun();
  TranscodeRun(const TranscodeRun&) = delete;
  TranscodeRun& operator=(const TranscodeRun&) = delete;

  void setBaseFolder(std::string_view folder);
  const std::string& baseFolder() const { return base_; }

  // Return false when the run was stopped.
  bool listPass(const PathList& files);
  bool folderPass(std::string_view folder);

  // Ends the run: pending removals are done, the completion is filled in.
  TranscodeOutcome finish();

 private:
  struct State;
  void convertOne(const std::string& source, struct PreparedFile* prepared = nullptr);
  // Reads, converts and writes (uncommitted) a small file on the helper thread of a pass.
  PreparedFile prepareSmall(const std::string& source) const;
  // The decode and write of one file; false when it was stopped or failed (reported). A file read
  // as raw bytes and written over itself has its bytes that start no GBK character counted in
  // `invalid` before it is replaced; otherwise `invalid` stays as it was.
  bool convertWhole(const std::string& source, const std::string& target, bool replace, TextEncoding& used,
                    std::vector<std::string>& notes, bool& lossy, int64_t& invalid);
  bool convertStreamed(const std::string& source, const std::string& target, bool replace, TextEncoding& used,
                       std::vector<std::string>& notes, bool& lossy, int64_t& invalid, bool& compressed);
  // Reports a source that is no text.
  void notText(const std::string& source);
  // Where `source` is written.
  std::string targetOf(const std::string& source) const;
  // Over the sources under a new name that is taken: true when that file holds exactly what this
  // conversion of `source` writes (a run killed before it removed the source wrote it), and the run
  // goes on as if it had written it; false, reported, when it holds anything else.
  bool targetHoldsConversion(const std::string& source, const std::string& target, std::string_view text,
                             TextEncoding output, bool& lossy);
  // Makes the folder of `target` unless this run made it; false (reported) when it cannot.
  bool makeTargetFolder(const std::string& target, class CreatedFolders& created);
  void writeFailed(const std::string& source, const std::string& target, const std::string& error,
                   class CreatedFolders& created);
  void settleRemovals();

  TranscodeOptions options_;
  RunContext& ctx_;
  FileSystem& fs() const { return ctx_.fileSystem(); }
  std::string base_;
  TranscodeOutcome outcome_;
  std::unique_ptr<State> state_;
};

// The three ways a run starts: chosen files (base: the folder of the first), a chosen folder (its
// own base), and a drop (files first with the folder of the first file as base; then every folder,
// each its own base when no file was dropped).
TranscodeOutcome TranscodeFiles(const PathList& files, const TranscodeOptions& options, RunContext& ctx);
TranscodeOutcome TranscodeFolder(std::string_view folder, const TranscodeOptions& options, RunContext& ctx);
TranscodeOutcome TranscodeDrop(const PathList& dropped, const TranscodeOptions& options, RunContext& ctx);
// A drop already split with splitDrop (the window asks about these very lists before it runs).
TranscodeOutcome TranscodeDropped(const DropLists& lists, const TranscodeOptions& options, RunContext& ctx);

// One file of a preview: what a run with the same options would read it as, before anything is
// written.
struct PreviewEntry {
  std::string path;
  TextEncoding used = TextEncoding::Detect;  // the code its decode takes; Detect when it is not read
  std::string firstLine;                     // internal text, without its line break
  std::string problem;                       // why it would not be converted; empty when it would
};

// The files a run of `lists` with `options` converts, in the order the run takes them (the files,
// then each folder with the filter, and its subfolders when asked), each with the encoding its
// decode takes and its first line. Reads only; `stopped` is asked between files.
std::vector<PreviewEntry> PreviewDropped(const DropLists& lists, const TranscodeOptions& options,
                                         const std::function<bool()>& stopped = {});

}  // namespace chengling
