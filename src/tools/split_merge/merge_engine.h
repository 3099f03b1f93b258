#pragma once
// The merge engine: joins the files of a list into one output, or the matching files of a folder
// (and, when asked, of every subfolder, each into its own output).
//
// Without decoding, inputs stream through a few MiB at a time. With decoding, the output is built in
// memory and written once, in the encoding of the input decoded last; an input that is no text
// (foundation/text_check.h) then fails with kNotTextMerge and nothing of it goes in. The output goes through an
// AtomicFile; inputs are deleted (deleteInputs) only after it was committed, and only those whose
// content it holds. An input that cannot be opened is reported and left out; one that opens but
// cannot be read whole fails the whole merge: no output, and every input stays.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/file_collector.h"
#include "foundation/run_context.h"

namespace chengling {

// What goes between two consecutive inputs.
enum class JoinData {
  None,  // 选择框合并中间 clear
  Text,  // 单选框使用字符串: the bytes of joinText
  File,  // 单选框使用文件: the content of joinFile (nothing when it cannot be read)
};

extern const char* const kDefaultJoinText;  // 我是中间字符串
extern const char* const kNotTextMerge;     // 不是文本文件，未合并

// The folder "合并删除记录" of the program directory.
std::string mergeDeletionRecordFolder();

// Read from the merge area's controls once, when the run starts. Defaults are the controls' initial
// states.
struct MergeOptions {
  JoinData join = JoinData::None;
  std::string joinText = kDefaultJoinText;  // 编辑框字符串
  std::string joinFile;                     // 编辑框文件路径
  bool decode = false;                      // 选择框处理文本编码
  bool intoParent = true;                   // 选择框父目录保存
  bool deleteInputs = false;                // 选择框合并后删除文件
  bool recursive = false;                   // 选择框遍历子目录
  std::string patterns = "*.*";             // 编辑框文件类型1
  Matcher matcher = Matcher::Standard;      // Alternative when Ctrl was down at the start
  bool naturalOrder = false;                // a folder's files by name with digit runs as numbers
  // Not a control: told the path of every output once it is committed.
  std::function<void(std::string_view path)> onOutputWritten;
  // Not a control: where the inputs about to be deleted are recorded until they are gone, so that
  // the next merge of them finishes a killed run's deletions (merge_deletions.h); empty: nowhere.
  std::string deletionRecords = mergeDeletionRecordFolder();
};

struct MergeOutcome {
  int64_t outputsWritten = 0;
  int64_t failures = 0;
  int64_t inputsDeleted = 0;
  bool stopped = false;

  MergeOutcome& operator+=(const MergeOutcome& other);
};

// The output path for a list whose first file is `first`, holding `count` files:
// folder + "/" + base + "等" + count + "个文件" + ("." + extension when there is one), the folder
// being the parent of the first file's folder with intoParent (when it has one), else that folder.
std::string mergeOutputPath(std::string_view first, int64_t count, bool intoParent);

// Name order with runs of ASCII digits compared as numbers ("book_2" before "book_10"), letters
// without case; a double-byte character is compared whole. Internal text.
bool naturalNameLess(std::string_view a, std::string_view b);

// Merges `list` into one output; nothing for an empty list. Reports "(i/n)name" as status, progress
// over the inputs and every failure with its path and reason. A stop ends the loop after the current
// input; the inputs appended so far are kept in the output. When deleting its inputs, a merge first
// finishes the deletions of a killed merge of the same files (merge_deletions.h): what that one's
// output holds is deleted and not merged again.
MergeOutcome MergeFiles(const PathList& list, const MergeOptions& options, RunContext& ctx);

// Merges the folder's matching files, then (recursive) each matching subfolder the same way, unless
// a stop was requested. A folder without matching files gives no output; its subfolders are still
// visited. A folder reached again through a link is not walked twice.
MergeOutcome MergeFolder(std::string_view folder, const MergeOptions& options, RunContext& ctx);

}  // namespace chengling
