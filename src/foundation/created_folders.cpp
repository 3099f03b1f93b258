#include "foundation/created_folders.h"

#include <unistd.h>

#include <algorithm>

#include "foundation/file_system.h"
#include "foundation/native_text.h"
#include "foundation/path_helpers.h"

namespace chengling {

bool CreatedFolders::make(std::string_view folder, std::string* error) {
  std::vector<std::string> missing;
  for (std::string level(folder); !level.empty() && !pathExists(*fs_, level); level = PathDirectory(level)) {
    missing.push_back(level);
  }
  const bool made = MakeDirectories(*fs_, folder, error);
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    if (pathExists(*fs_, *level)) made_.push_back(*level);
  }
  return made;
}

void CreatedFolders::removeEmpty() {
  for (auto level = made_.rbegin(); level != made_.rend(); ++level) {
    // rmdir takes only an empty folder: one that holds anything stops the walk outwards.
    if (!fs_->removeFolder(nativeFromInternal(*level).c_str())) break;
  }
  made_.clear();
}

std::vector<std::string> removeEmptyFolders(FileSystem& fs, std::vector<std::string> folders) {
  auto depth = [](const std::string& path) { return std::count(path.begin(), path.end(), kPathSeparator); };
  std::stable_sort(folders.begin(), folders.end(),
                   [&](const std::string& a, const std::string& b) { return depth(a) > depth(b); });
  std::vector<std::string> removed;
  for (const std::string& folder : folders) {
    // rmdir takes only an empty folder, never a file or a link to a folder.
    if (!folder.empty() && fs.removeFolder(nativeFromInternal(folder).c_str())) removed.push_back(folder);
  }
  return removed;
}

}  // namespace chengling
