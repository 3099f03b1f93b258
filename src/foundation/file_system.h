#pragma once
// The file-system adapter: every file operation of the engines goes through here. Paths are internal
// text and are turned into native names (native_text.h) at this seam and nowhere else.
//
// Failures return false / -1 and, where `error` is given, a Chinese reason that names nothing but the
// cause ("磁盘已满", "权限不足", ...); callers put the file name in front.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace chengling {

// A Chinese reason for an errno value.
std::string reasonForErrno(int error);

// Reads the whole file into `bytes`.
bool readWholeFile(std::string_view path, std::string& bytes, std::string* error = nullptr);

// Writes `bytes` to `path` through an AtomicFile: the previous file stays until the new one is
// complete.
bool writeFileAtomic(std::string_view path, std::string_view bytes, std::string* error = nullptr);

// A file written to a temporary file in its target folder and renamed over the target on commit().
// Destroying it without a commit removes the temporary file; the target is never touched then.
class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool open(std::string_view path, std::string* error = nullptr);
  bool write(std::string_view bytes, std::string* error = nullptr);
  // Appends the rest of `reader`'s file, in the kernel where it can (copy_file_range). On failure
  // `readFailed` tells whether reading the source (true) or writing here (false) went wrong.
  bool append(class FileReader& reader, bool& readFailed, std::string* error = nullptr);
  // Flushes and renames over the target. When it replaces an existing file the data is synced to
  // disk first, so that a crash leaves the old or the new contents, never a torn file; a new name is
  // not synced (see syncFileSystem). With `replace` false an existing target is not replaced and the
  // commit fails with EEXIST's reason. The file is closed afterwards, committed or not.
  bool commit(std::string* error = nullptr, bool replace = true);
  void abort();
  bool isOpen() const { return fd_ >= 0; }
  int64_t written() const { return written_; }

 private:
  int fd_ = -1;
  std::string target_;      // native
  std::string temporary_;   // native
  int64_t written_ = 0;
  std::string buffer_;
  bool flush(std::string* error);
};

// A file opened for reading in large sequential chunks.
class FileReader {
 public:
  FileReader() = default;
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  bool open(std::string_view path, std::string* error = nullptr);
  // Appends up to `max` bytes to `out`; returns the number appended, 0 at the end, -1 on error.
  int64_t read(std::string& out, size_t max, std::string* error = nullptr);
  bool seek(int64_t offset);
  int64_t size() const;
  void close();

 private:
  friend class AtomicFile;
  int fd_ = -1;
};

bool pathExists(std::string_view path);
bool isRegularFile(std::string_view path);
// True when the path is a folder, and also when its attributes cannot be read (it does not exist).
bool IsDirectory(std::string_view path);
// Size in bytes, -1 when it cannot be read.
int64_t fileSize(std::string_view path);
// Last modification time as seconds since the epoch (local wall clock is the caller's business);
// -1 when it cannot be read.
int64_t modifiedTime(std::string_view path);

// Creates every missing folder along `folder` (a trailing separator is allowed), from the left.
// The root is never created. Stops at the first level that cannot be created and returns false.
bool MakeDirectories(std::string_view folder, std::string* error = nullptr);

bool removeFile(std::string_view path, std::string* error = nullptr);
// Renames within one file system. With `replace` false an existing `to` is never replaced
// (renameat2 RENAME_NOREPLACE, or link + unlink where that is not supported).
bool renamePath(std::string_view from, std::string_view to, bool replace, std::string* error = nullptr);
// Copies through an AtomicFile; the modification time is kept. With `replace` false an existing `to`
// is not replaced.
bool copyFile(std::string_view from, std::string_view to, bool replace, std::string* error = nullptr);
// Writes every pending change of the file system that holds `path` (a file or folder) to disk.
// New files are not synced one by one on commit; an engine calls this once before it deletes a
// source whose outputs it has just written, so that a crash cannot lose both.
bool syncFileSystem(std::string_view path, std::string* error = nullptr);
// True when both paths name the same existing file (same device and inode).
bool sameFile(std::string_view a, std::string_view b);

// Names in `folder` (not "." and ".."), as internal text, in no particular order; `folders` selects
// subfolders, otherwise everything that is not a folder. A missing folder gives an empty list.
std::vector<std::string> folderEntries(std::string_view folder, bool folders);

// The process's current folder as internal text ("/" when it cannot be read). Paths given on a
// command line are relative to it.
std::string currentFolder();

}  // namespace chengling
