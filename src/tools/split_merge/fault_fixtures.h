#pragma once
// Test-only fixtures that break the file system on purpose: a tiny tmpfs that runs out of room and
// a folder nobody can write to. Root ignores permissions, so as root both are mounts.

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace chengling::testing {

// A tmpfs of `bytes` mounted over `folder` (which must exist and be empty). Needs root; check
// mounted() and skip otherwise.
class SmallFileSystem {
 public:
  SmallFileSystem(std::string folder, size_t bytes) : folder_(std::move(folder)) {
    if (geteuid() != 0) return;
    const std::string size = "size=" + std::to_string(bytes);
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, size.c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  bool mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

// Makes an existing folder read-only with its contents still readable: a read-only bind mount of
// the folder onto itself as root, mode 0555 otherwise. Undone on destruction.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(std::string folder) : folder_(std::move(folder)) {
    if (geteuid() == 0) {
      if (::mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) != 0) return;
      if (::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        ::umount2(folder_.c_str(), MNT_DETACH);
        return;
      }
      mounted_ = true;
      ready_ = true;
    } else {
      ready_ = ::chmod(folder_.c_str(), 0555) == 0;
    }
  }
  ~ReadOnlyFolder() {
    if (mounted_) {
      ::umount2(folder_.c_str(), MNT_DETACH);
    } else if (ready_) {
      ::chmod(folder_.c_str(), 0755);
    }
  }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
  bool ready() const { return ready_; }

 private:
  std::string folder_;
  bool mounted_ = false;
  bool ready_ = false;
};

}  // namespace chengling::testing
