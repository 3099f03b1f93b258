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
    const int fd = fs_->open(name.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd < 0) {
      if (errno == ENOENT && !create) return Open::Missing;
      setError(error, errno);
      return Open::Failed;
    }
    bool locked;
    do locked = fs_->lock(fd, false);
    while (!locked && errno == EINTR);
    if (!locked) {
      const int saved = errno;
      fs_->close(fd);
      if (saved == EWOULDBLOCK) return Open::Busy;
      setError(error, saved);
      return Open::Failed;
    }
    struct stat held{};
    struct stat named{};
    if (fs_->statusOf(fd, held) && fs_->status(name.c_str(), named, true) && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      fd_ = fd;
      path_ = name;
      return Open::Opened;
    }
    fs_->close(fd);
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
  int64_t offset = 0;
  while (true) {
    const int64_t got = fs_->readAt(fd_, chunk, sizeof chunk, offset);
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
  if (!fs_->truncate(fd_, 0)) {
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
    const int64_t put = fs_->write(fd_, bytes.data(), bytes.size());
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
  const bool removed = fs_->unlink(path_.c_str());
  if (!removed) setError(error, errno);
  close();
  return removed;
}

void JournalFile::close() {
  if (fd_ >= 0) fs_->close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace chengling
