#include "shell/settings_file_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "foundation/native_text.h"

namespace chengling {

SettingsFileLock::SettingsFileLock(std::string_view path) {
  const std::string name = nativeFromInternal(path);
  int fd = -1;
  do {
    fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return;
  int result = -1;
  do {
    result = ::flock(fd, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

SettingsFileLock::~SettingsFileLock() {
  if (fd_ >= 0) {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
}

}  // namespace chengling
