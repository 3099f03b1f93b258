#pragma once
// File-system faults made on purpose for the tests: a folder nobody can write to and a tiny file
// system that runs out of room. As root, who ignores permissions, both are mounts.

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace chengling::testing {

// Makes an existing folder unwritable for the rest of the scope: by permissions where they bind, or
// (as root, who ignores them) by mounting a read-only file system over it. `reason` is what a write
// into it must report; empty when neither is possible here.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const std::string& folder) : folder_(folder) {
    ::chmod(folder.c_str(), 0555);
    if (::access(folder.c_str(), W_OK) != 0) {
      reason = "权限不足";
      return;
    }
    ::chmod(folder.c_str(), 0755);
    if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0) {
      mounted_ = true;
      reason = "只读文件系统";
    }
  }
  ~UnwritableFolder() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    ::chmod(folder_.c_str(), 0755);
  }
  std::string reason;

 private:
  std::string folder_;
  bool mounted_ = false;
};

// A tiny file system mounted over an empty folder, so that writes run out of room. Needs root.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::string& folder) : folder_(folder) {
    ::mkdir(folder.c_str(), 0755);
    mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

}  // namespace chengling::testing
