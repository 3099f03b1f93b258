#include "foundation/held_record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "foundation/file_system.h"
#include "foundation/native_text.h"
#include "foundation/posix_io.h"

namespace chengling {
namespace {

constexpr std::string_view kRecordSuffix = ".rec";
constexpr std::string_view kWritingSuffix = ".writing";

// A record being written that is older than this was left by a writer that died before naming it.
constexpr int64_t kAbandonedSeconds = 60;

std::string randomName() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  uint64_t bits[2] = {};
  if (getrandom(bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    bits[0] = static_cast<uint64_t>(now.tv_nsec) ^ static_cast<uint64_t>(now.tv_sec) << 30;
    bits[1] = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull ^ reinterpret_cast<uintptr_t>(&now);
  }
  std::string name;
  for (uint64_t word : bits) {
    for (int i = 0; i < 8; ++i, word /= sizeof kAlphabet - 1) name += kAlphabet[word % (sizeof kAlphabet - 1)];
  }
  return name;
}

bool writeAll(FileSystem& fs, int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const int64_t n = fs.write(fd, bytes.data(), bytes.size());
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool readAll(FileSystem& fs, int fd, std::string& out) {
  char buffer[8192];
  while (true) {
    const int64_t n = fs.read(fd, buffer, sizeof buffer);
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buffer, static_cast<size_t>(n));
  }
}

void syncFolder(FileSystem& fs, const std::string& folder) {
  const int fd = fs.open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fs.sync(fd);
  fs.close(fd);
}

}  // namespace

HeldRecord::~HeldRecord() {
  if (fd_ >= 0) fs_->close(fd_);
}

bool HeldRecord::create(std::string_view folder, std::string_view content, std::string* error) {
  if (fd_ >= 0) remove();
  if (!MakeDirectories(*fs_, folder, error)) return false;
  const std::string base = nativeFromInternal(folder);
  const std::string name = randomName();
  const std::string writing = base + "/." + name + std::string(kWritingSuffix);
  const std::string path = base + "/" + name + std::string(kRecordSuffix);
  const int fd = fs_->open(writing.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    posix::setError(error, errno);
    return false;
  }
  // Locked before it has its record name, so that no other run ever takes it for a killed run's.
  if (!fs_->lock(fd, true) || !writeAll(*fs_, fd, content) || !fs_->sync(fd) ||
      !fs_->rename(writing.c_str(), path.c_str(), true)) {
    const int saved = errno;
    fs_->unlink(writing.c_str());
    fs_->close(fd);
    posix::setError(error, saved);
    return false;
  }
  syncFolder(*fs_, base);
  fd_ = fd;
  path_ = path;
  return true;
}

void HeldRecord::remove() {
  if (fd_ < 0) return;
  fs_->unlink(path_.c_str());
  fs_->close(fd_);
  fd_ = -1;
  path_.clear();
}

void visitLeftRecords(FileSystem& fs, std::string_view folder,
                      const std::function<bool(std::string_view content)>& visit) {
  const std::string base = nativeFromInternal(folder);
  for (const std::string& entry : folderEntries(fs, folder, false)) {
    const std::string name = nativeFromInternal(entry);
    const std::string path = base + "/" + name;
    const bool writing = name.starts_with('.') && name.ends_with(kWritingSuffix);
    if (!writing && !name.ends_with(kRecordSuffix)) continue;
    const int fd = fs.open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st{};
    // Held by a live run, or removed by the run that held it a moment ago: not ours to look at.
    if (!fs.lock(fd, false) || !fs.statusOf(fd, st) || st.st_nlink == 0) {
      fs.close(fd);
      continue;
    }
    if (writing) {
      // Its writer died before it was complete: nothing was done on its strength.
      if (::time(nullptr) - st.st_mtim.tv_sec > kAbandonedSeconds) fs.unlink(path.c_str());
      fs.close(fd);
      continue;
    }
    std::string content;
    if (readAll(fs, fd, content) && visit(content)) fs.unlink(path.c_str());
    fs.close(fd);
  }
}

}  // namespace chengling
