#include "foundation/posix_io.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/file_system.h"

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
