#include "foundation/posix_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/file_system.h"
#include "foundation/file_system_calls.h"

namespace chengling::posix {

void setError(std::string* error, int code) {
  if (error) *error = reasonForErrno(code);
}

void setError(std::string* error, std::string_view text) {
  if (error) *error = std::string(text);
}

int retryOpen(const char* path, int flags, mode_t mode) {
  int fd;
  do fd = ::open(path, flags, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// Renames without ever replacing `to`. renameat2 is atomic; file systems without RENAME_NOREPLACE
// get link + unlink, which is just as safe for files (link refuses an existing name).
bool renameNoReplace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  if (::link(from, to) == 0) {
    ::unlink(from);
    return true;
  }
  if (errno == EEXIST) return false;
  // Folders cannot be hard-linked: check and rename, the best this file system allows.
  struct stat st{};
  if (::lstat(to, &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from, to) == 0;
}

}  // namespace chengling::posix

namespace chengling {

namespace {

// The path by which an open file can be linked into a folder (linkat with AT_EMPTY_PATH would need
// a privilege).
std::string ownPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

int PosixFileSystem::open(const char* path, int flags, mode_t mode) { return posix::retryOpen(path, flags, mode); }

int PosixFileSystem::close(int fd) { return ::close(fd); }

int64_t PosixFileSystem::read(int fd, char* into, size_t max) {
  ssize_t n;
  do n = ::read(fd, into, max);
  while (n < 0 && errno == EINTR);
  return n;
}

int64_t PosixFileSystem::readAt(int fd, char* into, size_t max, int64_t offset) {
  ssize_t n;
  do n = ::pread(fd, into, max, static_cast<off_t>(offset));
  while (n < 0 && errno == EINTR);
  return n;
}

int64_t PosixFileSystem::write(int fd, const char* bytes, size_t size) {
  ssize_t n;
  do n = ::write(fd, bytes, size);
  while (n < 0 && errno == EINTR);
  return n;
}

int64_t PosixFileSystem::writeAt(int fd, const char* bytes, size_t size, int64_t offset) {
  ssize_t n;
  do n = ::pwrite(fd, bytes, size, static_cast<off_t>(offset));
  while (n < 0 && errno == EINTR);
  return n;
}

int64_t PosixFileSystem::copyRange(int from, int64_t* fromOffset, int to, int64_t* toOffset, size_t length) {
  static_assert(sizeof(off_t) == sizeof(int64_t));
  ssize_t n;
  do n = ::copy_file_range(from, reinterpret_cast<off_t*>(fromOffset), to, reinterpret_cast<off_t*>(toOffset), length, 0);
  while (n < 0 && errno == EINTR);
  return n;
}

bool PosixFileSystem::seek(int fd, int64_t offset) {
  return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

void PosixFileSystem::adviseSequential(int fd) { ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL); }

bool PosixFileSystem::reserve(int fd, int64_t offset, int64_t length) {
  return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset), static_cast<off_t>(length)) == 0;
}

bool PosixFileSystem::truncate(int fd, int64_t size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }

bool PosixFileSystem::sync(int fd) { return ::fsync(fd) == 0; }

bool PosixFileSystem::syncAll(const char* path) {
  const int fd = posix::retryOpen(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  const bool ok = ::syncfs(fd) == 0;
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return ok;
}

bool PosixFileSystem::lock(int fd, bool wait) { return ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB) == 0; }

bool PosixFileSystem::status(const char* path, struct stat& st, bool followLinks) {
  return (followLinks ? ::stat(path, &st) : ::lstat(path, &st)) == 0;
}

bool PosixFileSystem::statusOf(int fd, struct stat& st) { return ::fstat(fd, &st) == 0; }

int64_t PosixFileSystem::readLink(const char* path, char* into, size_t max) { return ::readlink(path, into, max); }

bool PosixFileSystem::list(const char* folder, std::vector<FolderEntry>& entries) {
  DIR* dir = ::opendir(folder);
  if (dir == nullptr) return false;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    FolderEntry::Kind kind = FolderEntry::Kind::Unknown;
    if (entry->d_type == DT_DIR) kind = FolderEntry::Kind::Folder;
    else if (entry->d_type == DT_LNK) kind = FolderEntry::Kind::Link;
    else if (entry->d_type != DT_UNKNOWN) kind = FolderEntry::Kind::File;
    entries.push_back({name, kind});
  }
  ::closedir(dir);
  return true;
}

bool PosixFileSystem::rename(const char* from, const char* to, bool replace) {
  return replace ? ::rename(from, to) == 0 : posix::renameNoReplace(from, to);
}

bool PosixFileSystem::link(const char* from, const char* to) { return ::link(from, to) == 0; }

bool PosixFileSystem::linkOpen(int fd, const char* to) {
  return ::linkat(AT_FDCWD, ownPath(fd).c_str(), AT_FDCWD, to, AT_SYMLINK_FOLLOW) == 0;
}

bool PosixFileSystem::canLinkOpen() { return ::access("/proc/self/fd", X_OK) == 0; }

bool PosixFileSystem::unlink(const char* path) { return ::unlink(path) == 0; }

bool PosixFileSystem::removeFolder(const char* path) { return ::rmdir(path) == 0; }

bool PosixFileSystem::makeFolder(const char* path, mode_t mode) { return ::mkdir(path, mode) == 0; }

bool PosixFileSystem::setMode(int fd, mode_t mode) { return ::fchmod(fd, mode) == 0; }

bool PosixFileSystem::setOwner(int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group) == 0; }

bool PosixFileSystem::setTimes(const char* path, const timespec times[2]) {
  return ::utimensat(AT_FDCWD, path, times, 0) == 0;
}

FileSystem& posixFileSystem() {
  static PosixFileSystem real;
  return real;
}

}  // namespace chengling
