#pragma once
// The atomic streams of the file-system adapter: whole-file reads and writes, a file written beside
// its target and renamed over it when complete, and a file read in large sequential chunks. Paths
// are internal text; failures return false / -1 and, where `error` is given, a Chinese reason that
// names nothing but the cause (see file_system.h).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/file_system_calls.h"

namespace chengling {

// Reads the whole file into `bytes`.
bool readWholeFile(FileSystem& fs, std::string_view path, std::string& bytes, std::string* error = nullptr);
inline bool readWholeFile(std::string_view path, std::string& bytes, std::string* error = nullptr) {
  return readWholeFile(posixFileSystem(), path, bytes, error);
}

// Writes `bytes` to `path` through an AtomicFile: the previous file stays until the new one is
// complete.
bool writeFileAtomic(FileSystem& fs, std::string_view path, std::string_view bytes, std::string* error = nullptr);
inline bool writeFileAtomic(std::string_view path, std::string_view bytes, std::string* error = nullptr) {
  return writeFileAtomic(posixFileSystem(), path, bytes, error);
}

// The program's own temporary files: "." + the start of the target's name + "." + eight letters or
// digits + kTemporarySuffix, beside the target. Folder listings skip them, so that one left by a
// killed run is never taken as input by a later one, and the first AtomicFile opened in a folder
// removes those older than the run that no other instance is writing. `name` is a file name without
// its folder.
inline constexpr std::string_view kTemporarySuffix = ".chengling.tmp";
bool isOwnTemporaryName(std::string_view name);

// A file written to a temporary file in its target folder and put in the target's place on commit():
// a file without a name where the file system has them (linked under the target's name, or, to
// replace a file, under a temporary name and then renamed over it), else a hidden named one.
// Destroying it without a commit removes the temporary file; the target is never touched then.
class AtomicFile {
 public:
  explicit AtomicFile(FileSystem& fs = posixFileSystem()) : fs_(&fs) {}
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool open(std::string_view path, std::string* error = nullptr);
  bool write(std::string_view bytes, std::string* error = nullptr);
  // The same without gathering: the bytes reach the file now (after what was gathered before). For a
  // caller that holds the whole content already, on the thread that should pay for the copy.
  bool writeNow(std::string_view bytes, std::string* error = nullptr);
  // Appends up to `length` bytes of `reader`'s file from its position (the rest of it by default),
  // in the kernel where it can (copy_file_range), else through this file's own buffer. Fewer bytes
  // arrive when the file ends first: written() tells how many. On failure `readFailed` tells whether
  // reading the source (true) or writing here (false) went wrong.
  bool append(class FileReader& reader, bool& readFailed, std::string* error = nullptr,
              int64_t length = INT64_MAX);
  // Flushes and renames over the target. When it replaces an existing file the data is synced to
  // disk first, so that a crash leaves the old or the new contents, never a torn file; a new name is
  // not synced (see syncFileSystem). With `replace` false an existing target is not replaced and the
  // commit fails with EEXIST's reason. The file is closed afterwards, committed or not.
  // What stands at the target is kept as a node: a symbolic link is followed and the file it names
  // is replaced; a device, pipe or socket was written into directly since open(), with no temporary
  // file (so an abort cannot take back what it received); a file with other hard links is
  // overwritten in place from the complete new contents, so that every name still shows one file
  // (only a crash during that last copy could leave it torn).
  bool commit(std::string* error = nullptr, bool replace = true);
  void abort();
  bool isOpen() const { return fd_ >= 0; }
  int64_t written() const { return written_; }
  // The file system the next open() works on; set it while the file is closed.
  void useFileSystem(FileSystem& fs) { fs_ = &fs; }

 private:
  FileSystem* fs_;
  int fd_ = -1;
  std::string target_;      // native
  std::string temporary_;   // native; empty while the file has no name
  int64_t written_ = 0;
  int64_t reservedEnd_ = 0;  // disk room asked for up to here (fallocate)
  // Gathers small writes; allocated on the first one and kept across open/commit, so that a writer
  // of many files allocates it once.
  std::unique_ptr<char[]> buffer_;
  size_t buffered_ = 0;
  bool direct_ = false;       // writing straight into a device, pipe or socket
  bool flush(std::string* error);
  bool closeDirect(bool ok, std::string* error);
  bool overwriteLinkedTarget(std::string* error);
  // Links the unnamed file under a temporary name beside the target, for a rename over it.
  bool nameUnnamed(std::string* error);
};

// A file opened for reading in large sequential chunks.
class FileReader {
 public:
  explicit FileReader(FileSystem& fs = posixFileSystem()) : fs_(&fs) {}
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  bool open(std::string_view path, std::string* error = nullptr);
  // Appends up to `max` bytes to `out`; returns the number appended, 0 at the end, -1 on error.
  int64_t read(std::string& out, size_t max, std::string* error = nullptr);
  // The same into `max` bytes at `into`, which are neither cleared nor resized first.
  int64_t read(char* into, size_t max, std::string* error = nullptr);
  bool seek(int64_t offset);
  // The file's size when it was opened; -1 when not open or unknown.
  int64_t size() const;
  void close();
  // The file system the next open() works on; set it while the file is closed.
  void useFileSystem(FileSystem& fs) { fs_ = &fs; }

 private:
  friend class AtomicFile;
  FileSystem* fs_;
  int fd_ = -1;
  int64_t size_ = -1;
};

}  // namespace chengling
