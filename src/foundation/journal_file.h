#pragma once
// A file that a long run appends its record to as it goes, so that the run can be accounted for
// after it was killed at any moment: what append() wrote has reached the kernel when it returns (a
// kill cannot take it back; a power cut can). It is held under an exclusive lock (flock) for as long
// as it is open, so that one process at a time writes it, and a reader can tell the record of a live
// run from one that a killed run left behind. Paths are internal text.

#include <string>
#include <string_view>

#include "foundation/file_system_calls.h"

namespace chengling {

class JournalFile {
 public:
  enum class Open {
    Opened,   // open and locked
    Missing,  // there is none (and none was to be made)
    Busy,     // another JournalFile, in this process or another, holds it now
    Failed,   // it cannot be opened; `error` says why
  };

  explicit JournalFile(FileSystem& fs = posixFileSystem()) : fs_(&fs) {}
  ~JournalFile();
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  // Opens and locks `path`, making it (empty) when `create` is set and it is missing. Never waits
  // for the lock.
  Open open(std::string_view path, bool create, std::string* error = nullptr);
  // The whole file as it stands.
  bool read(std::string& bytes, std::string* error = nullptr);
  // Empties the file and writes `bytes` as its new start.
  bool restart(std::string_view bytes, std::string* error = nullptr);
  bool append(std::string_view bytes, std::string* error = nullptr);
  // Removes the file while it is still locked, then closes it.
  bool remove(std::string* error = nullptr);
  // Closes the file, leaving it in place.
  void close();
  bool isOpen() const { return fd_ >= 0; }

 private:
  FileSystem* fs_;
  int fd_ = -1;
  std::string path_;  // native
};

}  // namespace chengling
