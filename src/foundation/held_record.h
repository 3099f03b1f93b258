#pragma once
// Records that a run keeps on disk while it does work a kill could leave half done (the deletions
// after a merge, say), so that a later run can finish that work. A record is written whole and
// locked before it gets its name, stays locked for as long as its run holds it, and is removed when
// the work is done. A killed run's lock goes with it: its record stays, unlocked, for a later run.
// Part of the file-system adapter: paths are internal text.

#include <functional>
#include <string>
#include <string_view>

#include "foundation/file_system_calls.h"

namespace chengling {

class HeldRecord {
 public:
  explicit HeldRecord(FileSystem& fs = posixFileSystem()) : fs_(&fs) {}
  // Lets go of the record: the lock goes, the record stays unless removed.
  ~HeldRecord();
  HeldRecord(const HeldRecord&) = delete;
  HeldRecord& operator=(const HeldRecord&) = delete;

  // Writes `content` as a new record in `folder` (made when missing) and syncs it to disk. False
  // with a reason when it cannot be written.
  bool create(std::string_view folder, std::string_view content, std::string* error = nullptr);
  // The work is done: the record goes.
  void remove();
  bool held() const { return fd_ >= 0; }

 private:
  FileSystem* fs_;
  int fd_ = -1;
  std::string path_;  // native
};

// Calls `visit` with the content of every record in `folder` that no live run holds, holding it
// meanwhile, and removes a record when `visit` returns true. A record that another run holds, or
// takes first, is left alone.
void visitLeftRecords(FileSystem& fs, std::string_view folder,
                      const std::function<bool(std::string_view content)>& visit);
inline void visitLeftRecords(std::string_view folder, const std::function<bool(std::string_view content)>& visit) {
  visitLeftRecords(posixFileSystem(), folder, visit);
}

}  // namespace chengling
