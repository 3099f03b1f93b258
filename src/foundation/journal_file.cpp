#include "foundation/journal_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/native_text.h"
#include "foundation/posix_io.h"

namespace chengling {

using posix::setError;

JournalFile::~JournalFile() { close(); }

JournalFile::Open JournalFile::open(std::string_view path, bool create, std::string* error) {
  close();
  const std::string name = nativeFromInternal(path);
  // The holder may remove the file between our open and our lock: then the lock is on a name that
  // is gone, and the open starts again on what the name holds now.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = posix::retryOpen(name.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd < 0) {
      if (errno == ENOENT && !create) return Open::Missing;
      setError(error, errno);
      return Open::Failed;
    }
    int locked;
    do locked = ::flock(fd, LOCK_EX | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      const int saved = errno;
      ::close(fd);
      if (saved == EWOULDBLOCK) return Open::Busy;
      setError(error, saved);
      return Open::Failed;
    }
    struct stat held{};
    struct stat named{};
    if (::fstat(fd, &held) == 0 && ::stat(name.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      fd_ = fd;
      path_ = name;
      return Open::Opened;
    }
    ::close(fd);
  }
  setError(error, EBUSY);
  return Open::Failed;
}

bool JournalFile::read(std::string& bytes, std::string* error) {
  bytes.clear();
  if (fd_ < 0) {
    setError(error, EBADF);
    return false;
  }
  char chunk[65536];
  off_t offset = 0;
  while (true) {
    const ssize_t got = ::pread(fd_, chunk, sizeof chunk, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      setError(error, errno);
      return false;
    }
    if (got == 0) return true;
    bytes.append(chunk, static_cast<size_t>(got));
    offset += got;
  }
}

bool JournalFile::restart(std::string_view bytes, std::string* error) {
  if (fd_ < 0) {
    setError(error, EBADF);
    return false;
  }
  if (::ftruncate(fd_, 0) != 0) {
    setError(error, errno);
    return false;
  }
  return append(bytes, error);
}

bool JournalFile::append(std::string_view bytes, std::string* error) {
  if (fd_ < 0) {
    setError(error, EBADF);
    return false;
  }
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      setError(error, put < 0 ? errno : ENOSPC);
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

bool JournalFile::remove(std::string* error) {
  if (fd_ < 0) {
    setError(error, EBADF);
    return false;
  }
  const bool removed = ::unlink(path_.c_str()) == 0;
  if (!removed) setError(error, errno);
  close();
  return removed;
}

void JournalFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace chengling
