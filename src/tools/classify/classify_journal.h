#pragma once
// The undo journal of a classification run, "归类进行中的记录.txt" in the program directory. A run
// writes it as it goes, so that a run that was killed can be undone exactly and an undo never takes
// back an older run while a newer one has moves on record. A run that ends commits its four logs
// (classify_log.h, written at the end as before) and removes the journal. A journal that is there and
// held by no run is what a killed run left: the next undo or run first turns it into that run's logs.
//
// UTF-8 lines ended by LF, paths escaped as logLine writes them, each line led by a mark:
//   "# chengling classify journal 1 move" ("... copy")  the first line
//   ">" ID " " SOURCE  a file about to be classified; ID is the node its name stands for
//                      ("device:inode"), "-" when it is no regular file. Pairs count from 0.
//   "<" TARGET         that file's target
//   "!" N              pair N failed
//   "=" N              the pairs below N are settled: each moved unless it failed
//   "~" N              pair N crosses file systems: its target is free, the copy begins
//   "+" N " " ID       pair N crossed file systems: ID is its complete copy, on disk before the
//                      source is removed
//   "/" FOLDER         a folder that did not exist, about to be made
// A run records the pairs of a block of files before any of them moves and settles them before the
// next block moves. The pairs a kill leaves unsettled are decided from the files themselves: one
// moved when its target holds the very node that its source was (or its recorded copy) and the
// source's name is free. A copy that was begun and holds the source's bytes while the source is
// still there is a stray copy, which an undo removes.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_system.h"
#include "foundation/journal_file.h"

namespace chengling {

extern const char* const kJournalName;  // "归类进行中的记录.txt"

// The files of one block at most are recorded ahead of their moves.
inline constexpr size_t kJournalBlock = 128;

// Written by a run, on the run's thread.
class ClassifyJournal {
 public:
  explicit ClassifyJournal(FileSystem& fs = posixFileSystem()) : file_(fs) {}
  // Opens the journal in `logFolder` for a run that copies (`keepSources`) or moves; a journal that
  // a killed run left is first turned into that run's logs. False with `error` when another run
  // holds it or it cannot be written: nothing may be classified then.
  bool begin(std::string_view logFolder, bool keepSources, std::string& error);
  // Queues the next pair (its number is returned): the source's identity and the log lines
  // (logLine) of the source and the target.
  int64_t plan(const FileIdentity& source, std::string_view sourceLine, std::string_view targetLine);
  // Queues that pair `index` failed, and that the pairs below `count` are settled.
  void failed(int64_t index);
  void settled(int64_t count);
  // Writes what is queued. Each of these returns false with `error` when the journal could not be
  // written; no file may move after that.
  bool flush(std::string& error);
  // Writes at once that `folders` (missing now, outermost first) are about to be made.
  bool willMake(const std::vector<std::string>& folders, std::string& error);
  // Writes at once that pair `index` is about to be copied to its free target.
  bool copying(int64_t index, std::string& error);
  // Writes at once that pair `index` was copied to `copy`, whose source is about to be removed.
  bool copied(int64_t index, const FileIdentity& copy, std::string& error);
  // The run's logs are committed: the journal goes.
  bool finish(std::string& error);
  // Leaves the journal in place for a later undo (the logs could not be committed).
  void keep() { file_.close(); }
  const std::string& path() const { return path_; }

 private:
  bool write(std::string_view bytes, std::string& error);

  JournalFile file_;
  std::string path_;
  std::string pending_;
  int64_t pairs_ = 0;
};

// The records of a journal's bytes as they were written, with nothing looked up on disk. Views into
// the bytes. A line cut short by a kill, and anything not understood, is passed over; without its
// whole first line a journal holds no record.
struct JournalRecord {
  bool known = false;   // the first line is a journal's
  bool copies = false;  // the run copied
  struct Pair {
    std::string_view sourceLine;  // as logLine wrote it, without its LF
    std::string_view targetLine;
    FileIdentity source;  // the source as planned: exists and regular, or neither
    FileIdentity copy;    // the complete copy across file systems, when recorded
    bool copying = false;
    bool failed = false;
  };
  std::vector<Pair> pairs;
  size_t settled = 0;  // the pairs below it are settled; never more than the pairs
  std::vector<std::string_view> folders;
};
JournalRecord readJournal(std::string_view bytes);

// What a journal accounts for, in the form of the four logs.
struct RecoveredRun {
  std::string beforeLog;
  std::string afterLog;
  std::string failureLog;
  std::string madeFoldersLog;
  int64_t pairs = 0;  // the pairs the logs hold
  // Complete copies whose source is still in place: the run was killed between a copy to another
  // file system and the removal of its source.
  struct StrayCopy {
    std::string source;
    std::string copy;
    FileIdentity identity;
  };
  std::vector<StrayCopy> strayCopies;
};

// The run that a journal's bytes account for (readJournal). Settled pairs are taken as recorded;
// unsettled ones are decided from the files as they are now, and a pair that did not move is left
// out.
RecoveredRun recoverJournal(std::string_view bytes);

// A run that made its journal is the last run, as a run that ends is once it got past listing its
// files: its logs replace the earlier ones even when it moved nothing.
enum class LeftJournal {
  None,       // no journal: the logs are the last run's
  Busy,       // a live run holds it
  Recovered,  // the journal of a killed run
  Failed,     // it is there but cannot be read (or its logs cannot be written); `error` says why
};

// Turns the journal that a killed run left in `logFolder` into that run's four logs and removes it.
// `beforeRemoving` runs after the logs are written and before the journal goes.
LeftJournal recoverLeftJournal(std::string_view logFolder, std::string& error,
                               const std::function<void(const RecoveredRun&)>& beforeRemoving = {});
// What the journal in `logFolder` accounts for, without writing or removing anything.
LeftJournal peekLeftJournal(std::string_view logFolder, RecoveredRun& run);

}  // namespace chengling
