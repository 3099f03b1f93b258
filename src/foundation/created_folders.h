#pragma once
// The folders a run makes for one output, remembered so that they can be taken away again when that
// output failed: a failed run leaves no empty folders of its own behind (a full disk, a path too
// long for the file system).

#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_system_calls.h"

namespace chengling {

class CreatedFolders {
 public:
  explicit CreatedFolders(FileSystem& fs = posixFileSystem()) : fs_(&fs) {}
  // MakeDirectories(folder), noting which levels did not exist before. False (with the reason) when
  // the folder could not be made; the levels made before the failure are noted all the same.
  bool make(std::string_view folder, std::string* error = nullptr);
  // Removes the noted folders, innermost first, as long as they are empty, and forgets them. A folder
  // that holds anything (another output of the run, a file of the user's) stays, and so do its parents.
  void removeEmpty();
  // Forgets the noted folders: they hold an output now.
  void keep() { made_.clear(); }
  // The folders noted since the last removeEmpty or keep, outermost first.
  const std::vector<std::string>& folders() const { return made_; }

 private:
  FileSystem* fs_;
  std::vector<std::string> made_;  // internal paths, outermost first
};

// Removes those of `folders` (internal paths) that are empty folders now, deepest first, and returns
// them in the order removed. A folder that holds anything stays, and so does every folder above it
// that holds it; a path that is no folder (any more) is passed over.
std::vector<std::string> removeEmptyFolders(FileSystem& fs, std::vector<std::string> folders);
inline std::vector<std::string> removeEmptyFolders(std::vector<std::string> folders) {
  return removeEmptyFolders(posixFileSystem(), std::move(folders));
}

}  // namespace chengling
