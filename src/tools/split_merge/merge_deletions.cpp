#include "tools/split_merge/merge_deletions.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>

#include "foundation/held_record.h"

namespace chengling {
namespace {

constexpr std::string_view kHeader = "chengling merge deletions 1\n";
constexpr std::string_view kEnd = "end\n";

// "<kind> device inode size modified changed length\n" + the path's bytes + "\n": a path may hold
// any byte, a line break included.
void appendEntry(std::string& text, char kind, const MergeDeletions::Entry& entry) {
  const FileStamp& s = entry.stamp;
  text += kind;
  for (const int64_t number : {static_cast<int64_t>(s.device), static_cast<int64_t>(s.inode), s.size, s.modifiedNs,
                               s.changedNs, static_cast<int64_t>(entry.path.size())}) {
    text += ' ' + std::to_string(number);
  }
  text += '\n';
  text += entry.path;
  text += '\n';
}

class Reader {
 public:
  explicit Reader(std::string_view text) : rest_(text) {}
  bool literal(std::string_view expected) {
    if (!rest_.starts_with(expected)) return false;
    rest_.remove_prefix(expected.size());
    return true;
  }
  bool number(int64_t& value) {
    const auto [end, error] = std::from_chars(rest_.data(), rest_.data() + rest_.size(), value);
    if (error != std::errc() || end == rest_.data()) return false;
    rest_.remove_prefix(static_cast<size_t>(end - rest_.data()));
    return true;
  }
  bool entry(char kind, MergeDeletions::Entry& out) {
    if (!literal(std::string_view(&kind, 1))) return false;
    int64_t values[6] = {};
    for (int64_t& value : values) {
      if (!literal(" ") || !number(value)) return false;
    }
    if (!literal("\n") || values[5] < 0 || static_cast<uint64_t>(values[5]) >= rest_.size()) return false;
    out.stamp = {static_cast<uint64_t>(values[0]), static_cast<uint64_t>(values[1]), values[2], values[3], values[4]};
    out.path = std::string(rest_.substr(0, static_cast<size_t>(values[5])));
    rest_.remove_prefix(static_cast<size_t>(values[5]));
    return literal("\n");
  }
  bool atEnd() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

// Device and inode: which file, whatever its state.
struct FileKey {
  uint64_t device;
  uint64_t inode;
  bool operator==(const FileKey&) const = default;
};
struct FileKeyHash {
  size_t operator()(const FileKey& k) const { return std::hash<uint64_t>()(k.device * 0x9E3779B97F4A7C15ull ^ k.inode); }
};

bool standsAsRecorded(FileSystem& fs, const MergeDeletions::Entry& entry) {
  FileStamp now;
  return fileStamp(fs, entry.path, now) && now == entry.stamp;
}

}  // namespace

std::string mergeDeletionsText(const MergeDeletions& deletions) {
  std::string text(kHeader);
  appendEntry(text, 'O', deletions.output);
  for (const MergeDeletions::Entry& input : deletions.inputs) appendEntry(text, 'I', input);
  text += kEnd;
  return text;
}

bool parseMergeDeletions(std::string_view text, MergeDeletions& deletions) {
  Reader reader(text);
  deletions = {};
  if (!reader.literal(kHeader) || !reader.entry('O', deletions.output)) return false;
  while (!reader.literal(kEnd)) {
    MergeDeletions::Entry input;
    if (!reader.entry('I', input)) return false;
    deletions.inputs.push_back(std::move(input));
  }
  return reader.atEnd();
}

std::string finishedDeletionsNote(int64_t deleted) {
  return "上次合并在删除输入文件时中断；剩下的 " + std::to_string(deleted) +
         " 个输入文件的内容都已在此文件中，现已删除，不再重复合并";
}

FinishedDeletions finishInterruptedDeletions(std::string_view folder, PathList& list, RunContext& ctx) {
  FinishedDeletions finished;
  FileSystem& fs = ctx.fileSystem();
  // The places of the list's files by identity, gathered when the first record asks.
  std::unordered_map<FileKey, std::vector<size_t>, FileKeyHash> listed;
  bool gathered = false;
  std::vector<bool> taken(list.size());  // deleted here: out of the list afterwards
  visitLeftRecords(fs, folder, [&](std::string_view text) {
    MergeDeletions record;
    if (!parseMergeDeletions(text, record)) return true;  // no whole record: nothing rests on it
    std::vector<const MergeDeletions::Entry*> left;
    for (const MergeDeletions::Entry& input : record.inputs) {
      if (standsAsRecorded(fs, input)) left.push_back(&input);
    }
    // Its inputs are gone or are someone's again, or the output no longer holds them as written.
    if (left.empty() || !standsAsRecorded(fs, record.output)) return true;
    if (!gathered) {
      for (size_t i = 0; i < list.size(); ++i) {
        FileStamp stamp;
        if (fileStamp(fs, list[i], stamp)) listed[{stamp.device, stamp.inode}].push_back(i);
      }
      gathered = true;
    }
    for (const MergeDeletions::Entry* input : left) {
      if (!listed.contains({input->stamp.device, input->stamp.inode})) return false;  // another merge's
    }
    int64_t deleted = 0;
    for (const MergeDeletions::Entry* input : left) {
      std::string error;
      if (removeFile(fs, input->path, &error)) {
        ++deleted;
        for (size_t i : listed[{input->stamp.device, input->stamp.inode}]) taken[i] = true;
      } else {
        ++finished.failures;
        ctx.failure(input->path, "无法删除：" + error);
      }
    }
    // The output stands where the killed run put it: no input of this run.
    FileStamp outputStamp = record.output.stamp;
    for (size_t i : listed[{outputStamp.device, outputStamp.inode}]) taken[i] = true;
    finished.deleted += deleted;
    if (deleted > 0) ctx.warning(record.output.path, finishedDeletionsNote(deleted));
    return true;
  });
  if (std::find(taken.begin(), taken.end(), true) != taken.end()) {
    PathList rest;
    for (size_t i = 0; i < list.size(); ++i) {
      if (!taken[i]) rest.push_back(std::move(list[i]));
    }
    list = std::move(rest);
  }
  return finished;
}

}  // namespace chengling
