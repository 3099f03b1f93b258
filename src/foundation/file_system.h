#pragma once
// The file-system adapter: every file operation of the engines goes through here. Paths are internal
// text and are turned into native names (native_text.h) here and nowhere else. This header holds the
// operations on paths and brings the atomic streams (file_streams.h) along. Each operation takes the
// FileSystem it works on (file_system_calls.h) first; the forms without one work on the real one.
//
// Failures return false / -1 and, where `error` is given, a Chinese reason that names nothing but the
// cause ("磁盘已满", "权限不足", ...); callers put the file name in front.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_streams.h"
#include "foundation/file_system_calls.h"

namespace chengling {

// A Chinese reason for an errno value.
std::string reasonForErrno(int error);

bool pathExists(FileSystem& fs, std::string_view path);
inline bool pathExists(std::string_view path) { return pathExists(posixFileSystem(), path); }
bool isRegularFile(FileSystem& fs, std::string_view path);
inline bool isRegularFile(std::string_view path) { return isRegularFile(posixFileSystem(), path); }
// True when the path is a folder, and also when its attributes cannot be read (it does not exist).
bool IsDirectory(FileSystem& fs, std::string_view path);
inline bool IsDirectory(std::string_view path) { return IsDirectory(posixFileSystem(), path); }
// Which file a name stands for: the device and inode of the name itself (a symbolic link is the
// link, which is what a rename moves), and whether it leads to a regular file (after links). All
// false and zero when nothing is there or its attributes cannot be read.
struct FileIdentity {
  bool exists = false;
  bool regular = false;
  uint64_t device = 0;
  uint64_t inode = 0;
  bool sameAs(const FileIdentity& other) const {
    return exists && other.exists && device == other.device && inode == other.inode;
  }
};
FileIdentity fileIdentity(FileSystem& fs, std::string_view path);
inline FileIdentity fileIdentity(std::string_view path) { return fileIdentity(posixFileSystem(), path); }

// Size in bytes, -1 when it cannot be read.
int64_t fileSize(FileSystem& fs, std::string_view path);
inline int64_t fileSize(std::string_view path) { return fileSize(posixFileSystem(), path); }
// The same for a regular file (after links), -1 for anything else.
int64_t regularFileSize(FileSystem& fs, std::string_view path);
inline int64_t regularFileSize(std::string_view path) { return regularFileSize(posixFileSystem(), path); }
// Last modification time as seconds since the epoch (local wall clock is the caller's business);
// -1 when it cannot be read.
int64_t modifiedTime(FileSystem& fs, std::string_view path);
inline int64_t modifiedTime(std::string_view path) { return modifiedTime(posixFileSystem(), path); }

// Creates every missing folder along `folder` (a trailing separator is allowed), from the left.
// The root is never created. Stops at the first level that cannot be created and returns false.
bool MakeDirectories(FileSystem& fs, std::string_view folder, std::string* error = nullptr);
inline bool MakeDirectories(std::string_view folder, std::string* error = nullptr) { return MakeDirectories(posixFileSystem(), folder, error); }

bool removeFile(FileSystem& fs, std::string_view path, std::string* error = nullptr);
inline bool removeFile(std::string_view path, std::string* error = nullptr) { return removeFile(posixFileSystem(), path, error); }
// Renames within one file system. With `replace` false an existing `to` is never replaced
// (renameat2 RENAME_NOREPLACE, or link + unlink where that is not supported).
bool renamePath(FileSystem& fs, std::string_view from, std::string_view to, bool replace, std::string* error = nullptr);
inline bool renamePath(std::string_view from, std::string_view to, bool replace, std::string* error = nullptr) { return renamePath(posixFileSystem(), from, to, replace, error); }
// Copies through an AtomicFile; the modification time is kept. With `replace` false an existing `to`
// is not replaced.
bool copyFile(FileSystem& fs, std::string_view from, std::string_view to, bool replace, std::string* error = nullptr);
inline bool copyFile(std::string_view from, std::string_view to, bool replace, std::string* error = nullptr) { return copyFile(posixFileSystem(), from, to, replace, error); }
// Writes every pending change of the file system that holds `path` (a file or folder) to disk.
// New files are not synced one by one on commit; an engine calls this once before it deletes a
// source whose outputs it has just written, so that a crash cannot lose both.
bool syncFileSystem(FileSystem& fs, std::string_view path, std::string* error = nullptr);
inline bool syncFileSystem(std::string_view path, std::string* error = nullptr) { return syncFileSystem(posixFileSystem(), path, error); }
// True when both paths name the same existing file (same device and inode).
bool sameFile(FileSystem& fs, std::string_view a, std::string_view b);
inline bool sameFile(std::string_view a, std::string_view b) { return sameFile(posixFileSystem(), a, b); }

// One state of one file: which file it is, and its size and times. Two stamps of a path are equal
// only when the same file stands there and nothing wrote to it, renamed it or changed it meanwhile.
struct FileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = -1;
  int64_t modifiedNs = 0;  // nanoseconds since the epoch
  int64_t changedNs = 0;   // the inode's last change
  bool operator==(const FileStamp&) const = default;
};
// The stamp of the file `path` names (after links); false when there is none.
bool fileStamp(FileSystem& fs, std::string_view path, FileStamp& stamp);
inline bool fileStamp(std::string_view path, FileStamp& stamp) { return fileStamp(posixFileSystem(), path, stamp); }

// Names in `folder` (not "." and ".."), as internal text, in no particular order; `folders` selects
// subfolders, otherwise everything that is not a folder, except the program's own temporary files.
// A missing folder gives an empty list.
std::vector<std::string> folderEntries(FileSystem& fs, std::string_view folder, bool folders);
inline std::vector<std::string> folderEntries(std::string_view folder, bool folders) { return folderEntries(posixFileSystem(), folder, folders); }

// The process's current folder as internal text ("/" when it cannot be read). Paths given on a
// command line are relative to it.
std::string currentFolder();

}  // namespace chengling
