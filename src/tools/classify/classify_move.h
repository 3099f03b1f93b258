#pragma once
// A move of one file that never replaces another.

#include <functional>
#include <string>

#include "foundation/file_system_calls.h"

namespace chengling {

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
bool moveWithoutReplacing(FileSystem& fs, const std::string& source, const std::string& target, std::string& reason,
                          const CopyHooks& hooks = {});
inline bool moveWithoutReplacing(const std::string& source, const std::string& target, std::string& reason,
                                 const CopyHooks& hooks = {}) {
  return moveWithoutReplacing(posixFileSystem(), source, target, reason, hooks);
}

}  // namespace chengling
