#pragma once
// The calls the file-system adapter (file_system.h, file_streams.h) makes, behind one interface: the
// engines reach the disk only through a FileSystem, which they get from their RunContext (or their
// options), so that a test can put one in that fails on purpose. PosixFileSystem is the real one and
// the one every adapter function uses when it is given none.
//
// Paths are native names here (already turned from internal text). The calls behave as the system
// calls they stand for: false or -1 on failure with errno set, interrupted calls retried. One call
// moves a whole block, never a byte: a virtual call costs nothing beside the system call it wraps.

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <string>
#include <vector>

namespace chengling {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // One name in a folder and what kind of node it is, as the listing tells it.
  struct FolderEntry {
    std::string name;  // native
    enum class Kind { File, Folder, Link, Unknown } kind = Kind::Unknown;
  };

  // open(2); -1 with errno. O_TMPFILE on a folder makes a file without a name there.
  virtual int open(const char* path, int flags, mode_t mode = 0) = 0;
  virtual int close(int fd) = 0;
  // One read(2) / pread(2) / write(2) / pwrite(2): the count moved (a read may return fewer), -1 with errno.
  virtual int64_t read(int fd, char* into, size_t max) = 0;
  virtual int64_t readAt(int fd, char* into, size_t max, int64_t offset) = 0;
  virtual int64_t write(int fd, const char* bytes, size_t size) = 0;
  virtual int64_t writeAt(int fd, const char* bytes, size_t size, int64_t offset) = 0;
  // copy_file_range(2): offsets null for the files' own positions.
  virtual int64_t copyRange(int from, int64_t* fromOffset, int to, int64_t* toOffset, size_t length) = 0;
  virtual bool seek(int fd, int64_t offset) = 0;
  // Reads ahead: the file will be read from start to end.
  virtual void adviseSequential(int fd) = 0;
  // fallocate(2) keeping the size: room asked for, not written.
  virtual bool reserve(int fd, int64_t offset, int64_t length) = 0;
  virtual bool truncate(int fd, int64_t size) = 0;
  // fsync(2) of one file; syncfs(2) of the file system that holds `path`.
  virtual bool sync(int fd) = 0;
  virtual bool syncAll(const char* path) = 0;
  // flock(2): an exclusive lock, without waiting when `wait` is false.
  virtual bool lock(int fd, bool wait) = 0;

  // stat(2) (after links) or lstat(2); fstat(2).
  virtual bool status(const char* path, struct stat& st, bool followLinks) = 0;
  virtual bool statusOf(int fd, struct stat& st) = 0;
  virtual int64_t readLink(const char* path, char* into, size_t max) = 0;
  // The names in `folder` but "." and "..", in the order the file system gives them.
  virtual bool list(const char* folder, std::vector<FolderEntry>& entries) = 0;

  // rename(2), or with `replace` false one that never replaces `to` (EEXIST when it exists).
  virtual bool rename(const char* from, const char* to, bool replace) = 0;
  virtual bool link(const char* from, const char* to) = 0;
  // Gives the open file `fd` (one without a name, say) the name `to`; EEXIST when it is taken.
  virtual bool linkOpen(int fd, const char* to) = 0;
  // Whether linkOpen works now (it takes /proc).
  virtual bool canLinkOpen() = 0;
  virtual bool unlink(const char* path) = 0;
  virtual bool removeFolder(const char* path) = 0;
  virtual bool makeFolder(const char* path, mode_t mode) = 0;

  virtual bool setMode(int fd, mode_t mode) = 0;
  virtual bool setOwner(int fd, uid_t owner, gid_t group) = 0;
  virtual bool setTimes(const char* path, const timespec times[2]) = 0;
};

// The file system as the kernel gives it.
class PosixFileSystem final : public FileSystem {
 public:
  int open(const char* path, int flags, mode_t mode = 0) override;
  int close(int fd) override;
  int64_t read(int fd, char* into, size_t max) override;
  int64_t readAt(int fd, char* into, size_t max, int64_t offset) override;
  int64_t write(int fd, const char* bytes, size_t size) override;
  int64_t writeAt(int fd, const char* bytes, size_t size, int64_t offset) override;
  int64_t copyRange(int from, int64_t* fromOffset, int to, int64_t* toOffset, size_t length) override;
  bool seek(int fd, int64_t offset) override;
  void adviseSequential(int fd) override;
  bool reserve(int fd, int64_t offset, int64_t length) override;
  bool truncate(int fd, int64_t size) override;
  bool sync(int fd) override;
  bool syncAll(const char* path) override;
  bool lock(int fd, bool wait) override;
  bool status(const char* path, struct stat& st, bool followLinks) override;
  bool statusOf(int fd, struct stat& st) override;
  int64_t readLink(const char* path, char* into, size_t max) override;
  bool list(const char* folder, std::vector<FolderEntry>& entries) override;
  bool rename(const char* from, const char* to, bool replace) override;
  bool link(const char* from, const char* to) override;
  bool linkOpen(int fd, const char* to) override;
  bool canLinkOpen() override;
  bool unlink(const char* path) override;
  bool removeFolder(const char* path) override;
  bool makeFolder(const char* path, mode_t mode) override;
  bool setMode(int fd, mode_t mode) override;
  bool setOwner(int fd, uid_t owner, gid_t group) override;
  bool setTimes(const char* path, const timespec times[2]) override;
};

// The real file system, for whoever is given none. It holds no state: every caller may share it.
FileSystem& posixFileSystem();

}  // namespace chengling
