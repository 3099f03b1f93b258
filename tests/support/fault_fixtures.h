#pragma once
// Test-only fixtures that break the file system on purpose: a tiny tmpfs that runs out of room, a
// folder nobody can write to, and a folder in which nothing can be created. Root ignores
// permissions, so as root these are mounts or file attributes; each tells whether it could be set up.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace chengling::testing {

inline bool isRoot() { return ::geteuid() == 0; }

// A tmpfs of `bytes` mounted over `folder` (made when missing; it must be empty). Needs root; check
// mounted() and skip otherwise.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(std::string folder, size_t bytes = 64 << 10) : folder_(std::move(folder)) {
    if (geteuid() != 0) return;
    ::mkdir(folder_.c_str(), 0755);
    const std::string size = "size=" + std::to_string(bytes);
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, size.c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  bool mounted() const { return mounted_; }
  // Remounts the file system read-only, keeping what it holds.
  bool makeReadOnly() {
    return mounted_ && ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  // Grows or shrinks the file system, keeping what it holds; a size below what it holds fails.
  bool resize(size_t bytes) {
    const std::string size = "size=" + std::to_string(bytes);
    return mounted_ && ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT, size.c_str()) == 0;
  }
  // Bytes taken by what it holds, in whole blocks.
  size_t usedBytes() const {
    struct statvfs st{};
    if (::statvfs(folder_.c_str(), &st) != 0) return 0;
    return static_cast<size_t>(st.f_blocks - st.f_bfree) * st.f_frsize;
  }

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

// A folder (created when missing) in which nothing can be created, also for root: mode 0555, and
// the immutable attribute where permissions do not bind and the file system has it. Undone on
// destruction.
class ImmutableFolder {
 public:
  explicit ImmutableFolder(const std::string& path) : path_(path) {
    std::filesystem::create_directories(path);
    ::chmod(path.c_str(), 0555);
    if (creationDenied()) {
      ready_ = true;
      return;
    }
    immutable_ = setImmutable(true);
    ready_ = immutable_ && creationDenied();
  }
  ~ImmutableFolder() {
    if (immutable_) setImmutable(false);
    ::chmod(path_.c_str(), 0755);
  }
  ImmutableFolder(const ImmutableFolder&) = delete;
  ImmutableFolder& operator=(const ImmutableFolder&) = delete;
  bool ready() const { return ready_; }

 private:
  bool setImmutable(bool on) const {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool done = false;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
  }
  bool creationDenied() const {
    const std::string probe = path_ + "/.probe";
    const int fd = ::open(probe.c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0) return true;
    ::close(fd);
    ::unlink(probe.c_str());
    return false;
  }

  std::string path_;
  bool ready_ = false;
  bool immutable_ = false;
};

// strace(1) on PATH, which makes a chosen system call of a child fail or kills the child there;
// empty when it is not installed (the tests that need it skip).
inline std::string straceProgram() {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/bin:/bin";
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string candidate = std::string(rest.substr(0, colon)) + "/strace";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return {};
}

// A fault at a system call of a child process, through strace's tampering. `syscalls` is strace's
// set ("write,copy_file_range"); `action` what happens there ("error=EIO", or
// "error=EIO:signal=SIGKILL" to kill the child before the call takes effect); `when` the first
// call to tamper with, counted per system call (0: every call); `paths` limits the fault to calls
// on these files (strace -P). prefix() goes before the child's own command line.
struct SyscallFault {
  std::string syscalls;
  std::string action;
  int when = 0;
  std::vector<std::string> paths;

  std::vector<std::string> prefix(const std::string& strace) const {
    std::string inject = "inject=" + syscalls + ":" + action;
    if (when > 0) inject += ":when=" + std::to_string(when);
    std::vector<std::string> args = {strace, "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + syscalls, "-e", inject};
    for (const std::string& path : paths) {
      args.push_back("-P");
      args.push_back(path);
    }
    return args;
  }

  // The sanitizers' runtime tests whether memory is readable by writing it into a pipe, so in a
  // sanitized build a tampered write() without `paths` would hit the runtime, not the program.
  bool hitsTheSanitizerRuntime() const {
#if defined(__SANITIZE_ADDRESS__)
    return paths.empty() && ("," + syscalls + ",").find(",write,") != std::string::npos;
#else
    return false;
#endif
  }
};

}  // namespace chengling::testing
