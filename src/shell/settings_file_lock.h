#pragma once
// An exclusive advisory lock (flock) on a lock file beside the value file, held while one change of
// the settings is read, applied and written. The value file itself is replaced by renames, so it
// cannot carry the lock: the lock file is never replaced.

#include <string>
#include <string_view>

namespace chengling {

class SettingsFileLock {
 public:
  // Opens (creating when needed) and locks `path`, waiting for another holder to let go. When the
  // lock file cannot be made (a read-only folder) the object holds no lock; locked() tells.
  explicit SettingsFileLock(std::string_view path);
  ~SettingsFileLock();
  SettingsFileLock(const SettingsFileLock&) = delete;
  SettingsFileLock& operator=(const SettingsFileLock&) = delete;

  bool locked() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace chengling
