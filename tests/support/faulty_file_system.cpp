#include "support/faulty_file_system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace chengling::testing {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Whether `path` is `folder` or lies under it.
bool isUnder(const std::string& path, const std::string& folder) {
  if (folder.empty() || path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || path[folder.size()] == '/';
}

bool writable(int flags) {
  return (flags & O_ACCMODE) != O_RDONLY || (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ||
         (flags & O_TRUNC) != 0;
}

bool fail(int error) {
  errno = error;
  return false;
}

}  // namespace

void FaultyFileSystem::failCall(unsigned calls, int nth, int error, std::string under) {
  Lock lock(mutex_);
  rules_.push_back({calls, nth, error, withoutTrailingSlash(std::move(under))});
}

void FaultyFileSystem::limitRoom(const std::string& under, int64_t bytes) {
  Lock lock(mutex_);
  const std::string folder = withoutTrailingSlash(under);
  rooms_.push_back({folder, held(folder) + bytes});
}

void FaultyFileSystem::readOnly(std::string under) {
  Lock lock(mutex_);
  readOnly_.push_back(withoutTrailingSlash(std::move(under)));
}

void FaultyFileSystem::separate(std::string under) {
  Lock lock(mutex_);
  separate_.push_back(withoutTrailingSlash(std::move(under)));
}

void FaultyFileSystem::dieAt(unsigned calls, int nth, bool powerCut, std::string under) {
  Lock lock(mutex_);
  rules_.push_back({calls, nth, 0, withoutTrailingSlash(std::move(under)), true, powerCut});
}

int64_t FaultyFileSystem::count(unsigned calls) const {
  Lock lock(mutex_);
  int64_t total = 0;
  for (const auto& [call, n] : counts_) total += (call & calls) != 0 ? n : 0;
  return total;
}

bool FaultyFileSystem::admit(unsigned call, const std::string& path, const std::string& other) {
  Lock lock(mutex_);
  ++counts_[call];
  for (Rule& rule : rules_) {
    if ((rule.calls & call) == 0) continue;
    if (!rule.under.empty() && !isUnder(path, rule.under) && !isUnder(other, rule.under)) continue;
    ++rule.seen;
    if (rule.nth != 0 && rule.seen != rule.nth) continue;
    if (rule.dies) {
      if (rule.powerCut) crash();
      ::raise(SIGKILL);
    }
    return fail(rule.error);
  }
  return true;
}

bool FaultyFileSystem::changesUnderReadOnly(const std::string& path) const {
  return std::any_of(readOnly_.begin(), readOnly_.end(), [&](const std::string& f) { return isUnder(path, f); });
}

bool FaultyFileSystem::acrossBorder(const std::string& from, const std::string& to) const {
  return std::any_of(separate_.begin(), separate_.end(),
                     [&](const std::string& f) { return isUnder(from, f) != isUnder(to, f); });
}

std::string FaultyFileSystem::pathOf(int fd) const {
  const auto it = paths_.find(fd);
  return it == paths_.end() ? std::string() : it->second;
}

int64_t FaultyFileSystem::held(const std::string& under) const {
  namespace fs = std::filesystem;
  int64_t bytes = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(under, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error) && !it->is_symlink(error)) bytes += static_cast<int64_t>(it->file_size(error));
  }
  // Files without a name yet take room too.
  for (const auto& [fd, path] : paths_) {
    struct stat st{};
    if (isUnder(path, under) && ::fstat(fd, &st) == 0 && st.st_nlink == 0) bytes += st.st_size;
  }
  return bytes;
}

int64_t FaultyFileSystem::roomFor(int fd, size_t size) {
  int64_t allowed = static_cast<int64_t>(size);
  const std::string path = pathOf(fd);
  for (const Room& room : rooms_) {
    if (!isUnder(path, room.under)) continue;
    const int64_t free = room.limit - held(room.under);
    if (free <= 0) {
      errno = ENOSPC;
      return -1;
    }
    allowed = std::min(allowed, free);
  }
  return allowed;
}

void FaultyFileSystem::keepSynced(int fd) {
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;  // a pipe or device keeps nothing
  const Inode inode{st.st_dev, st.st_ino};
  if (st.st_nlink > 0) names_[inode].insert(pathOf(fd));
  if (synced_.contains(inode)) return;
  // What it holds now is what a sync made durable (or what its open left: a created or cut file is
  // empty). Read through a descriptor of its own, also for a file opened only for writing.
  std::string bytes;
  const int reader = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
  if (reader >= 0) {
    char buffer[64 << 10];
    for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(n));
    ::close(reader);
  }
  synced_[inode] = std::move(bytes);
}

void FaultyFileSystem::crash() {
  Lock lock(mutex_);
  for (const auto& [inode, bytes] : synced_) {
    for (const std::string& path : names_[inode]) {
      struct stat st{};
      if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != inode.first ||
          st.st_ino != inode.second) {
        continue;
      }
      const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
      if (fd < 0) continue;
      if (!bytes.empty()) (void)!::write(fd, bytes.data(), bytes.size());
      ::close(fd);
    }
  }
  synced_.clear();
}

int FaultyFileSystem::open(const char* path, int flags, mode_t mode) {
  Lock lock(mutex_);
  const std::string name = withoutTrailingSlash(path);
  if (!admit(kOpen, name)) return -1;
  if (writable(flags) && changesUnderReadOnly(name)) {
    errno = EROFS;
    return -1;
  }
  const int fd = real_.open(path, flags, mode);
  if (fd >= 0) paths_[fd] = name;
  return fd;
}

int FaultyFileSystem::close(int fd) {
  Lock lock(mutex_);
  paths_.erase(fd);
  return real_.close(fd);
}

int64_t FaultyFileSystem::read(int fd, char* into, size_t max) {
  Lock lock(mutex_);
  if (!admit(kRead, pathOf(fd))) return -1;
  return real_.read(fd, into, shortReads_ > 0 ? std::min(max, shortReads_) : max);
}

int64_t FaultyFileSystem::readAt(int fd, char* into, size_t max, int64_t offset) {
  Lock lock(mutex_);
  if (!admit(kRead, pathOf(fd))) return -1;
  return real_.readAt(fd, into, shortReads_ > 0 ? std::min(max, shortReads_) : max, offset);
}

int64_t FaultyFileSystem::write(int fd, const char* bytes, size_t size) {
  Lock lock(mutex_);
  if (!admit(kWrite, pathOf(fd))) return -1;
  const int64_t allowed = roomFor(fd, size);
  if (allowed < 0) return -1;
  keepSynced(fd);
  return real_.write(fd, bytes, static_cast<size_t>(allowed));
}

int64_t FaultyFileSystem::writeAt(int fd, const char* bytes, size_t size, int64_t offset) {
  Lock lock(mutex_);
  if (!admit(kWrite, pathOf(fd))) return -1;
  const int64_t allowed = roomFor(fd, size);
  if (allowed < 0) return -1;
  keepSynced(fd);
  return real_.writeAt(fd, bytes, static_cast<size_t>(allowed), offset);
}

int64_t FaultyFileSystem::copyRange(int from, int64_t* fromOffset, int to, int64_t* toOffset, size_t length) {
  Lock lock(mutex_);
  if (!admit(kCopyRange, pathOf(from), pathOf(to))) return -1;
  const int64_t allowed = roomFor(to, length);
  if (allowed < 0) return -1;
  keepSynced(to);
  if (shortReads_ > 0) length = std::min(length, shortReads_);
  return real_.copyRange(from, fromOffset, to, toOffset, std::min(length, static_cast<size_t>(allowed)));
}

bool FaultyFileSystem::seek(int fd, int64_t offset) { return real_.seek(fd, offset); }

void FaultyFileSystem::adviseSequential(int fd) { real_.adviseSequential(fd); }

bool FaultyFileSystem::reserve(int fd, int64_t offset, int64_t length) {
  Lock lock(mutex_);
  const int64_t allowed = roomFor(fd, static_cast<size_t>(length));
  if (allowed < length) return fail(ENOSPC);
  return real_.reserve(fd, offset, length);
}

bool FaultyFileSystem::truncate(int fd, int64_t size) {
  Lock lock(mutex_);
  if (!admit(kTruncate, pathOf(fd))) return false;
  keepSynced(fd);
  return real_.truncate(fd, size);
}

bool FaultyFileSystem::sync(int fd) {
  Lock lock(mutex_);
  if (!admit(kSync, pathOf(fd))) return false;
  if (!real_.sync(fd)) return false;
  struct stat st{};
  if (::fstat(fd, &st) == 0) synced_.erase({st.st_dev, st.st_ino});
  return true;
}

bool FaultyFileSystem::syncAll(const char* path) {
  Lock lock(mutex_);
  if (!admit(kSyncAll, withoutTrailingSlash(path))) return false;
  if (!real_.syncAll(path)) return false;
  synced_.clear();
  return true;
}

bool FaultyFileSystem::lock(int fd, bool wait) { return real_.lock(fd, wait); }

bool FaultyFileSystem::status(const char* path, struct stat& st, bool followLinks) {
  Lock lock(mutex_);
  if (!admit(kStatus, withoutTrailingSlash(path))) return false;
  return real_.status(path, st, followLinks);
}

bool FaultyFileSystem::statusOf(int fd, struct stat& st) {
  Lock lock(mutex_);
  if (!admit(kStatus, pathOf(fd))) return false;
  return real_.statusOf(fd, st);
}

int64_t FaultyFileSystem::readLink(const char* path, char* into, size_t max) { return real_.readLink(path, into, max); }

bool FaultyFileSystem::list(const char* folder, std::vector<FolderEntry>& entries) {
  Lock lock(mutex_);
  if (!admit(kList, withoutTrailingSlash(folder))) return false;
  return real_.list(folder, entries);
}

bool FaultyFileSystem::rename(const char* from, const char* to, bool replace) {
  Lock lock(mutex_);
  const std::string source = withoutTrailingSlash(from);
  const std::string target = withoutTrailingSlash(to);
  if (!admit(kRename, source, target)) return false;
  if (changesUnderReadOnly(source) || changesUnderReadOnly(target)) return fail(EROFS);
  if (acrossBorder(source, target)) return fail(EXDEV);
  if (!real_.rename(from, to, replace)) return false;
  for (auto& [inode, names] : names_) {
    names.erase(target);
    if (names.erase(source) > 0) names.insert(target);
  }
  return true;
}

bool FaultyFileSystem::link(const char* from, const char* to) {
  Lock lock(mutex_);
  const std::string source = withoutTrailingSlash(from);
  const std::string target = withoutTrailingSlash(to);
  if (!admit(kLink, source, target)) return false;
  if (changesUnderReadOnly(target)) return fail(EROFS);
  if (acrossBorder(source, target)) return fail(EXDEV);
  if (!real_.link(from, to)) return false;
  struct stat st{};
  if (::lstat(to, &st) == 0) names_[{st.st_dev, st.st_ino}].insert(target);
  return true;
}

bool FaultyFileSystem::linkOpen(int fd, const char* to) {
  Lock lock(mutex_);
  const std::string target = withoutTrailingSlash(to);
  if (!admit(kLink, pathOf(fd), target)) return false;
  if (changesUnderReadOnly(target)) return fail(EROFS);
  if (acrossBorder(pathOf(fd), target)) return fail(EXDEV);
  if (!real_.linkOpen(fd, to)) return false;
  struct stat st{};
  if (::fstat(fd, &st) == 0) names_[{st.st_dev, st.st_ino}].insert(target);
  return true;
}

bool FaultyFileSystem::canLinkOpen() { return real_.canLinkOpen(); }

bool FaultyFileSystem::unlink(const char* path) {
  Lock lock(mutex_);
  const std::string name = withoutTrailingSlash(path);
  if (!admit(kUnlink, name)) return false;
  if (changesUnderReadOnly(name)) return fail(EROFS);
  if (!real_.unlink(path)) return false;
  for (auto& [inode, names] : names_) names.erase(name);
  return true;
}

bool FaultyFileSystem::removeFolder(const char* path) {
  Lock lock(mutex_);
  const std::string name = withoutTrailingSlash(path);
  if (!admit(kRemoveFolder, name)) return false;
  if (changesUnderReadOnly(name)) return fail(EROFS);
  return real_.removeFolder(path);
}

bool FaultyFileSystem::makeFolder(const char* path, mode_t mode) {
  Lock lock(mutex_);
  const std::string name = withoutTrailingSlash(path);
  if (!admit(kMakeFolder, name)) return false;
  if (changesUnderReadOnly(name)) {
    struct stat st{};
    return fail(::lstat(path, &st) == 0 ? EEXIST : EROFS);
  }
  return real_.makeFolder(path, mode);
}

bool FaultyFileSystem::setMode(int fd, mode_t mode) {
  Lock lock(mutex_);
  if (changesUnderReadOnly(pathOf(fd))) return fail(EROFS);
  return real_.setMode(fd, mode);
}

bool FaultyFileSystem::setOwner(int fd, uid_t owner, gid_t group) {
  Lock lock(mutex_);
  if (changesUnderReadOnly(pathOf(fd))) return fail(EROFS);
  return real_.setOwner(fd, owner, group);
}

bool FaultyFileSystem::setTimes(const char* path, const timespec times[2]) {
  Lock lock(mutex_);
  if (changesUnderReadOnly(withoutTrailingSlash(path))) return fail(EROFS);
  return real_.setTimes(path, times);
}

}  // namespace chengling::testing
