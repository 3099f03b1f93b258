#include "foundation/file_streams.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <unordered_set>
#include <cerrno>
#include <cstring>
#include <string>

#include "foundation/memory_pages.h"
#include "foundation/native_text.h"
#include "foundation/posix_io.h"

namespace chengling {
namespace {

using posix::setError;

// Writes are gathered up to this size before they reach the kernel; larger writes go straight through.
// Small enough to stay in the processor's cache on its way into the page cache: larger buffers made
// the kernel's copy slower and its time swing widely.
constexpr size_t kWriteBuffer = size_t{128} << 10;
// Room left for the hidden prefix and the random suffix of a temporary name within NAME_MAX.
constexpr size_t kTemporaryNameKeep = 200;


// A file opened for reading; -1 (with the reason) when it cannot be, or when it is a folder.
// `size` receives its size when known (else -1). A large file is read ahead further (a small one
// would only pay for the call).
int openForReading(FileSystem& fs, std::string_view path, std::string* error, int64_t& size) {
  size = -1;
  const std::string name = nativeFromInternal(path);
  const int fd = fs.open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    setError(error, errno);
    return -1;
  }
  struct stat st{};
  if (fs.statusOf(fd, st)) {
    if (S_ISDIR(st.st_mode)) {
      fs.close(fd);
      setError(error, EISDIR);
      return -1;
    }
    size = static_cast<int64_t>(st.st_size);
  }
  if (size < 0 || size >= (int64_t{1} << 20)) fs.adviseSequential(fd);
  return fd;
}

// Writes all of `data`; false with errno set on failure.
bool writeAll(FileSystem& fs, int fd, const char* data, size_t size) {
  while (size > 0) {
    const int64_t n = fs.write(fd, data, size);
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Reads up to `max` bytes into `into`, filling as much as the file gives; -1 with errno set.
int64_t readRaw(FileSystem& fs, int fd, char* into, size_t max) {
  size_t got = 0;
  while (got < max) {
    const int64_t n = fs.read(fd, into + got, max - got);
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(got);
}

// Reads up to `max` bytes into the end of `out`; -1 with errno set (and `out` as it was).
int64_t readInto(FileSystem& fs, int fd, std::string& out, size_t max) {
  const size_t start = out.size();
  out.resize(start + max);
  const int64_t n = readRaw(fs, fd, out.data() + start, max);
  const int saved = errno;
  out.resize(start + static_cast<size_t>(std::max<int64_t>(n, 0)));
  errno = saved;
  return n;
}

// Eight letters or digits. The generator is seeded once per thread from the kernel: the names need
// not be secret (O_EXCL refuses any name that exists, a link included), only unlikely to collide.
std::string randomSuffix() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local uint64_t state = [] {
    uint64_t seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      seed = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(getpid()) << 32) ^
             reinterpret_cast<uintptr_t>(&now);
    }
    return seed;
  }();
  std::string suffix(8, ' ');
  for (char& c : suffix) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    c = kAlphabet[(state >> 33) % (sizeof kAlphabet - 1)];
  }
  return suffix;
}

// The start of a native file name, cut so that a UTF-8 sequence is never split.
std::string nameStart(std::string_view name, size_t keep) {
  if (name.size() <= keep) return std::string(name);
  size_t end = keep;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return std::string(name.substr(0, end));
}

}  // namespace

bool readWholeFile(FileSystem& fs, std::string_view path, std::string& bytes, std::string* error) {
  bytes.clear();
  int64_t size = -1;
  const int fd = openForReading(fs, path, error, size);
  if (fd < 0) return false;
  // One buffer of exactly the file's size (and one byte to see its end), so that a large file is
  // never copied into a bigger buffer just to learn that nothing follows. The size is only a hint:
  // a file that grows or shrinks meanwhile is read to its real end.
  size_t chunk = size > 0 ? static_cast<size_t>(size) + 1 : size_t{64} << 10;
  bytes.reserve(chunk);
  prefaultPages(bytes.data(), chunk);
  while (true) {
    const int64_t n = readInto(fs, fd, bytes, chunk);
    if (n < 0) {
      const int saved = errno;
      fs.close(fd);
      bytes.clear();
      setError(error, saved);
      return false;
    }
    // A short read has met the end: asking again would only grow (and copy) the buffer.
    if (static_cast<size_t>(n) < chunk) break;
    chunk = std::max<size_t>(size_t{1} << 20, bytes.size() / 2);  // the file grew meanwhile
  }
  fs.close(fd);
  return true;
}

bool writeFileAtomic(FileSystem& fs, std::string_view path, std::string_view bytes, std::string* error) {
  AtomicFile file(fs);
  return file.open(path, error) && file.write(bytes, error) && file.commit(error);
}

// ---------------------------------------------------------------------------------------------
// AtomicFile

bool isOwnTemporaryName(std::string_view name) {
  constexpr size_t kRandom = 8;
  if (!name.starts_with('.') || !name.ends_with(kTemporarySuffix)) return false;
  name.remove_suffix(kTemporarySuffix.size());
  if (name.size() < kRandom + 2 || name[name.size() - kRandom - 1] != '.') return false;
  const std::string_view random = name.substr(name.size() - kRandom);
  return std::all_of(random.begin(), random.end(),
                     [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
}

namespace {

// When this process began writing: a temporary file of ours older than that is a leftover.
const timespec& runStart() {
  static const timespec start = [] {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
  }();
  return start;
}

// Removes the leftovers of killed runs from `folder` (native, with its trailing "/"), once per folder
// and process: our temporary files older than this run that no other instance holds (each open one
// carries a lock).
void removeStaleTemporaryFiles(FileSystem& fs, const std::string& folder) {
  static std::mutex mutex;
  static std::unordered_set<std::string> cleaned;
  {
    std::lock_guard lock(mutex);
    if (!cleaned.insert(folder).second) return;
  }
  std::vector<FileSystem::FolderEntry> entries;
  if (!fs.list(folder.empty() ? "." : folder.c_str(), entries)) return;
  for (const FileSystem::FolderEntry& entry : entries) {
    if (!isOwnTemporaryName(entry.name)) continue;
    const std::string path = folder + entry.name;
    struct stat st{};
    if (!fs.status(path.c_str(), st, false) || !S_ISREG(st.st_mode)) continue;
    const timespec& start = runStart();
    const bool older = st.st_mtim.tv_sec < start.tv_sec ||
                       (st.st_mtim.tv_sec == start.tv_sec && st.st_mtim.tv_nsec < start.tv_nsec);
    if (!older) continue;
    const int fd = fs.open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    if (fs.lock(fd, false)) fs.unlink(path.c_str());
    fs.close(fd);
  }
}

// The file that `path` finally names when it is a symbolic link (or a chain of them), even one whose
// file does not exist yet; `path` itself otherwise. Empty, with ELOOP, for a chain that never ends.
std::string followLinks(FileSystem& fs, std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st{};
    if (!fs.status(path.c_str(), st, false) || !S_ISLNK(st.st_mode)) return path;
    char link[PATH_MAX];
    const int64_t n = fs.readLink(path.c_str(), link, sizeof link);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof link) return path;
    std::string next(link, static_cast<size_t>(n));
    if (next[0] != '/') {
      const size_t slash = path.rfind('/');
      next.insert(0, slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
    }
    path = std::move(next);
  }
  errno = ELOOP;
  return {};
}

// Copies the first `length` bytes of `from` over the start of `to`; false with errno set.
bool copyOver(FileSystem& fs, int from, int to, int64_t length) {
  int64_t in = 0;
  int64_t out = 0;
  errno = 0;
  while (in < length) {
    const int64_t n = fs.copyRange(from, &in, to, &out, static_cast<size_t>(length - in));
    if (n > 0) continue;
    if (n == 0 || (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)) break;
    // Where the kernel cannot copy between these two, through a buffer.
    char buffer[64 << 10];
    while (in < length) {
      const int64_t got = fs.readAt(from, buffer, static_cast<size_t>(std::min<int64_t>(length - in, sizeof buffer)), in);
      if (got <= 0 || fs.writeAt(to, buffer, static_cast<size_t>(got), out) != got) break;
      in += got;
      out += got;
    }
    break;
  }
  if (in == length) return true;
  if (errno == 0) errno = EIO;
  return false;
}

}  // namespace

AtomicFile::~AtomicFile() { abort(); }

bool AtomicFile::open(std::string_view path, std::string* error) {
  abort();
  target_ = nativeFromInternal(path);
  if (target_.empty() || target_.back() == '/') {
    setError(error, EISDIR);
    return false;
  }
  written_ = 0;
  reservedEnd_ = 0;
  buffered_ = 0;
  direct_ = false;
  // A device, pipe or socket is written into as it is: a rename would put a regular file in its place.
  struct stat node{};
  if (fs_->status(target_.c_str(), node, true) && !S_ISREG(node.st_mode) && !S_ISDIR(node.st_mode)) {
    const int fd = fs_->open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      setError(error, errno);
      target_.clear();
      return false;
    }
    fd_ = fd;
    direct_ = true;
    return true;
  }
  // A link stays a link: the file it names is the one replaced, beside which the new one is made.
  target_ = followLinks(*fs_, std::move(target_));
  if (target_.empty()) {
    setError(error, errno);
    return false;
  }
  // A hidden neighbour of the target: same folder, so the rename never crosses a file system.
  const size_t slash = target_.rfind('/');
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  runStart();
  removeStaleTemporaryFiles(*fs_, target_.substr(0, nameAt));
  const std::string prefix = target_.substr(0, nameAt) + "." +
                             nameStart(std::string_view(target_).substr(nameAt), kTemporaryNameKeep) + ".";
  // Created with 0666 like any new file, so the umask and a default ACL of the folder apply; a
  // replaced file gets its old mode back at commit().
  // Whether an unnamed file opened now can be given a name: that takes /proc. Asked at every open (a
  // sandbox may hide /proc from part of a program's life), for a fraction of what a file costs.
  if (fs_->canLinkOpen()) {
    // A file without a name in the target's folder, linked there at commit: it leaves nothing behind
    // when the program dies, and costs the folder one new entry instead of a temporary one as well.
    const std::string folder = target_.substr(0, nameAt);
    const int fd = fs_->open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temporary_.clear();
      return true;
    }
    // Not on this file system (or the folder fails): the named way below, which also says why.
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = prefix + randomSuffix() + std::string(kTemporarySuffix);
    const int fd = fs_->open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // Held while the file is ours: another instance's clean-up leaves a locked file alone.
      fs_->lock(fd, false);
      fd_ = fd;
      temporary_ = std::move(candidate);
      return true;
    }
    if (errno == EEXIST) continue;
    const int saved = errno;
    if (saved == ENOENT) {
      setError(error, "目标文件夹不存在");
    } else {
      setError(error, saved);
    }
    target_.clear();
    return false;
  }
  setError(error, EEXIST);
  target_.clear();
  return false;
}

bool AtomicFile::write(std::string_view bytes, std::string* error) {
  if (fd_ < 0) {
    setError(error, EBADF);
    return false;
  }
  if (bytes.empty()) return true;
  if (buffered_ + bytes.size() > kWriteBuffer && !flush(error)) return false;
  // Blocks that callers gathered themselves go straight through rather than copied once more.
  if (buffered_ == 0 && bytes.size() >= kWriteBuffer / 2) return writeNow(bytes, error);
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kWriteBuffer);
  std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
  buffered_ += bytes.size();
  written_ += static_cast<int64_t>(bytes.size());
  return true;
}

bool AtomicFile::writeNow(std::string_view bytes, std::string* error) {
  if (fd_ < 0) {
    setError(error, EBADF);
    return false;
  }
  if (!flush(error)) return false;
  if (!writeAll(*fs_, fd_, bytes.data(), bytes.size())) {
    setError(error, errno);
    return false;
  }
  written_ += static_cast<int64_t>(bytes.size());
  return true;
}

bool AtomicFile::append(FileReader& reader, bool& readFailed, std::string* error, int64_t length) {
  readFailed = false;
  if (fd_ < 0 || reader.fd_ < 0) {
    readFailed = reader.fd_ < 0;
    setError(error, EBADF);
    return false;
  }
  if (!flush(error)) return false;
  // The kernel moves the bytes itself: no copy through this process.
  int64_t left = length;
  if (length != INT64_MAX && length > 0) {
    // The file system finds room for a known length in one step instead of block by block as the
    // copy goes: on ext4 that saves about a sixth of a split. Only a hint; the size stays as
    // written, and commit() gives back what the copy did not fill.
    if (fs_->reserve(fd_, written_, length)) {
      reservedEnd_ = std::max(reservedEnd_, written_ + length);
    }
  }
  while (left > 0) {
    const size_t step = static_cast<size_t>(std::min<int64_t>(left, int64_t{1} << 30));
    const int64_t n = fs_->copyRange(reader.fd_, nullptr, fd_, nullptr, step);
    if (n > 0) {
      written_ += n;
      left -= n;
      continue;
    }
    if (n == 0) return true;
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) break;
    // Which side failed: a full disk or a too-large file is ours, the rest is the source's.
    readFailed = errno != ENOSPC && errno != EDQUOT && errno != EFBIG && errno != EIO;
    setError(error, errno);
    return false;
  }
  // Where the kernel cannot copy between these two, through the write buffer (empty after the flush).
  if (left > 0 && !buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kWriteBuffer);
  while (left > 0) {
    const int64_t n = readRaw(*reader.fs_, reader.fd_, buffer_.get(), static_cast<size_t>(std::min<int64_t>(left, kWriteBuffer)));
    if (n < 0) {
      readFailed = true;
      setError(error, errno);
      return false;
    }
    if (n == 0) return true;
    if (!writeAll(*fs_, fd_, buffer_.get(), static_cast<size_t>(n))) {
      setError(error, errno);
      return false;
    }
    written_ += n;
    left -= n;
  }
  return true;
}

bool AtomicFile::flush(std::string* error) {
  if (buffered_ == 0) return true;
  if (!writeAll(*fs_, fd_, buffer_.get(), buffered_)) {
    setError(error, errno);
    return false;
  }
  buffered_ = 0;
  return true;
}

bool AtomicFile::commit(std::string* error, bool replace) {
  if (fd_ < 0) {
    setError(error, EBADF);
    return false;
  }
  bool ok = flush(error);
  if (direct_) return closeDirect(ok, error);
  // Room reserved past the end would stay allocated to the file, unseen.
  if (ok && reservedEnd_ > written_ && !fs_->truncate(fd_, written_)) {
    setError(error, errno);
    ok = false;
  }
  // An unnamed file takes its name in one step when the name is free: a new name has nothing to lose,
  // so it is not synced (see syncFileSystem).
  bool placed = false;
  if (ok && temporary_.empty()) {
    if (fs_->linkOpen(fd_, target_.c_str())) {
      placed = true;
    } else if (errno != EEXIST || !replace) {
      setError(error, errno);
      ok = false;
    }
  }
  bool inPlace = false;
  if (ok && !placed && replace) {
    // A replaced file keeps its mode (and, where allowed, its owner and group).
    struct stat old{};
    if (fs_->status(target_.c_str(), old, true) && S_ISREG(old.st_mode)) {
      inPlace = old.st_nlink > 1;
      struct stat mine{};
      if (!inPlace && fs_->statusOf(fd_, mine) && (mine.st_uid != old.st_uid || mine.st_gid != old.st_gid)) {
        if (!fs_->setOwner(fd_, old.st_uid, old.st_gid)) (void)fs_->setOwner(fd_, static_cast<uid_t>(-1), old.st_gid);
      }
      if (!inPlace) fs_->setMode(fd_, old.st_mode & 07777);
      // Synced before the rename: after a crash the name holds either the old or the complete new
      // contents. Only a replacement: syncing each of thousands of new pieces or copies would cost
      // more than the work itself (callers that delete a source afterwards use syncFileSystem once).
      if (!inPlace && !fs_->sync(fd_)) {
        setError(error, errno);
        ok = false;
      }
    }
  }
  if (inPlace) {
    ok = overwriteLinkedTarget(error);
    abort();
    return ok;
  }
  if (ok && !placed && temporary_.empty()) ok = nameUnnamed(error);
  // Renamed while the file is still open: its lock keeps another instance's clean-up away from the
  // temporary name until the name is in place.
  bool renamed = false;
  if (ok && !placed) {
    renamed = fs_->rename(temporary_.c_str(), target_.c_str(), replace);
    if (!renamed) {
      setError(error, errno);
      ok = false;
    }
  }
  const int closed = fs_->close(fd_);
  fd_ = -1;
  if (ok && closed != 0 && errno != EINTR) {
    setError(error, errno);
    ok = false;
  }
  // A close that fails after the name was given means the new file is not complete. A replacement
  // was synced before its rename and stays.
  if (!ok && (placed || (renamed && !replace))) fs_->unlink(target_.c_str());
  if (!ok && !renamed && !temporary_.empty()) fs_->unlink(temporary_.c_str());
  temporary_.clear();
  target_.clear();
  buffered_ = 0;
  return ok;
}

bool AtomicFile::closeDirect(bool ok, std::string* error) {
  const int closed = fs_->close(fd_);
  fd_ = -1;
  if (ok && closed != 0 && errno != EINTR) {
    setError(error, errno);
    ok = false;
  }
  direct_ = false;
  target_.clear();
  buffered_ = 0;
  return ok;
}

bool AtomicFile::overwriteLinkedTarget(std::string* error) {
  // The complete new contents are in the temporary file; only now is the shared file touched.
  // The unnamed file is read through its own descriptor, opened afresh for reading.
  const std::string from = temporary_.empty() ? "/proc/self/fd/" + std::to_string(fd_) : temporary_;
  const int source = fs_->open(from.c_str(), O_RDONLY | O_CLOEXEC);
  const int target = source < 0 ? -1 : fs_->open(target_.c_str(), O_WRONLY | O_CLOEXEC);
  bool ok = target >= 0 && copyOver(*fs_, source, target, written_) && fs_->truncate(target, written_) &&
            fs_->sync(target);
  if (!ok) setError(error, errno);
  if (target >= 0 && fs_->close(target) != 0 && ok && errno != EINTR) {
    setError(error, errno);
    ok = false;
  }
  if (source >= 0) fs_->close(source);
  return ok;
}

bool AtomicFile::nameUnnamed(std::string* error) {
  // A rename replaces in one step, and only a name can be renamed: the file gets a temporary one.
  const size_t slash = target_.rfind('/');
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  const std::string prefix = target_.substr(0, nameAt) + "." +
                             nameStart(std::string_view(target_).substr(nameAt), kTemporaryNameKeep) + ".";
  fs_->lock(fd_, false);  // another instance's clean-up leaves it alone meanwhile
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = prefix + randomSuffix() + std::string(kTemporarySuffix);
    if (fs_->linkOpen(fd_, candidate.c_str())) {
      temporary_ = std::move(candidate);
      return true;
    }
    if (errno != EEXIST) break;
  }
  setError(error, errno);
  return false;
}

void AtomicFile::abort() {
  if (fd_ >= 0) {
    fs_->close(fd_);
    fd_ = -1;
  }
  direct_ = false;
  if (!temporary_.empty()) fs_->unlink(temporary_.c_str());
  temporary_.clear();
  target_.clear();
  buffered_ = 0;
  written_ = 0;
}

// ---------------------------------------------------------------------------------------------
// FileReader

FileReader::~FileReader() { close(); }

bool FileReader::open(std::string_view path, std::string* error) {
  close();
  const int fd = openForReading(*fs_, path, error, size_);
  if (fd < 0) return false;
  fd_ = fd;
  return true;
}

int64_t FileReader::read(std::string& out, size_t max, std::string* error) {
  if (fd_ < 0) {
    setError(error, EBADF);
    return -1;
  }
  const int64_t n = readInto(*fs_, fd_, out, max);
  if (n < 0) setError(error, errno);
  return n;
}

int64_t FileReader::read(char* into, size_t max, std::string* error) {
  if (fd_ < 0) {
    setError(error, EBADF);
    return -1;
  }
  const int64_t n = readRaw(*fs_, fd_, into, max);
  if (n < 0) setError(error, errno);
  return n;
}

bool FileReader::seek(int64_t offset) {
  return fd_ >= 0 && offset >= 0 && fs_->seek(fd_, offset);
}

int64_t FileReader::size() const { return fd_ < 0 ? -1 : size_; }

void FileReader::close() {
  if (fd_ >= 0) fs_->close(fd_);
  fd_ = -1;
}

}  // namespace chengling
