#include "foundation/file_system.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>

#include "foundation/native_text.h"
#include "foundation/posix_io.h"

namespace chengling {
namespace {

using posix::setError;

constexpr size_t kCopyChunk = size_t{8} << 20;

std::string native(std::string_view path) { return nativeFromInternal(path); }

}  // namespace

std::string reasonForErrno(int error) {
  switch (error) {
    case 0: return "未知错误";
    case ENOSPC:
    case EDQUOT: return "磁盘已满";
    case EACCES:
    case EPERM: return "权限不足";
    case ENOENT: return "文件不存在";
    case EROFS: return "只读文件系统";
    case EEXIST: return "文件已存在";
    case ENOTDIR: return "路径不是文件夹";
    case EISDIR: return "路径是文件夹";
    case ENOTEMPTY: return "文件夹不为空";
    case ENAMETOOLONG: return "文件名过长";
    case EMFILE:
    case ENFILE: return "打开的文件过多";
    case EIO: return "读写错误";
    case EXDEV: return "不能跨文件系统移动";
    case EFBIG: return "文件过大";
    case EBUSY:
    case ETXTBSY: return "文件正被占用";
    case ELOOP: return "符号链接层数过多";
    case ENOMEM: return "内存不足";
    case EINVAL: return "参数无效";
    case EBADF: return "文件未打开";
    default: break;
  }
  const char* text = strerrordesc_np(error);
  if (text == nullptr) return "错误 " + std::to_string(error);
  return internalFromNative(text);
}

bool pathExists(FileSystem& fs, std::string_view path) {
  // A dangling symbolic link is still a name that is taken.
  struct stat st{};
  return !path.empty() && fs.status(native(path).c_str(), st, false);
}

bool isRegularFile(FileSystem& fs, std::string_view path) {
  struct stat st{};
  return !path.empty() && fs.status(native(path).c_str(), st, true) && S_ISREG(st.st_mode);
}

bool IsDirectory(FileSystem& fs, std::string_view path) {
  struct stat st{};
  if (path.empty() || !fs.status(native(path).c_str(), st, true)) return true;
  return S_ISDIR(st.st_mode);
}

FileIdentity fileIdentity(FileSystem& fs, std::string_view path) {
  FileIdentity identity;
  if (path.empty()) return identity;
  const std::string name = native(path);
  struct stat st{};
  if (!fs.status(name.c_str(), st, false)) return identity;
  identity.exists = true;
  identity.device = static_cast<uint64_t>(st.st_dev);
  identity.inode = static_cast<uint64_t>(st.st_ino);
  identity.regular = S_ISREG(st.st_mode);
  if (S_ISLNK(st.st_mode)) identity.regular = fs.status(name.c_str(), st, true) && S_ISREG(st.st_mode);
  return identity;
}

int64_t fileSize(FileSystem& fs, std::string_view path) {
  struct stat st{};
  if (path.empty() || !fs.status(native(path).c_str(), st, true)) return -1;
  return static_cast<int64_t>(st.st_size);
}

int64_t regularFileSize(FileSystem& fs, std::string_view path) {
  struct stat st{};
  if (path.empty() || !fs.status(native(path).c_str(), st, true) || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

int64_t modifiedTime(FileSystem& fs, std::string_view path) {
  struct stat st{};
  if (path.empty() || !fs.status(native(path).c_str(), st, true)) return -1;
  return static_cast<int64_t>(st.st_mtim.tv_sec);
}

bool MakeDirectories(FileSystem& fs, std::string_view folder, std::string* error) {
  const std::string name = native(folder);
  struct stat st{};
  if (name.empty() || (fs.status(name.c_str(), st, true) && S_ISDIR(st.st_mode))) return true;
  // Level by level from the left; the root (a leading "/") is never created, and a doubled
  // separator adds no level.
  size_t pos = 0;
  while (pos < name.size()) {
    size_t end = name.find('/', pos);
    if (end == std::string::npos) end = name.size();
    if (end > pos) {
      const std::string level = name.substr(0, end);
      if (fs.status(level.c_str(), st, true)) {
        if (!S_ISDIR(st.st_mode)) {
          setError(error, ENOTDIR);
          return false;
        }
      } else if (!fs.makeFolder(level.c_str(), 0777)) {
        const int saved = errno;
        // Someone else may have made it a moment ago.
        if (!(saved == EEXIST && fs.status(level.c_str(), st, true) && S_ISDIR(st.st_mode))) {
          setError(error, saved == EEXIST ? ENOTDIR : saved);
          return false;
        }
      }
    }
    pos = end + 1;
  }
  return true;
}

bool removeFile(FileSystem& fs, std::string_view path, std::string* error) {
  if (!fs.unlink(native(path).c_str())) {
    setError(error, errno);
    return false;
  }
  return true;
}

bool renamePath(FileSystem& fs, std::string_view from, std::string_view to, bool replace, std::string* error) {
  const bool ok = fs.rename(native(from).c_str(), native(to).c_str(), replace);
  if (!ok) setError(error, errno);
  return ok;
}

bool copyFile(FileSystem& fs, std::string_view from, std::string_view to, bool replace, std::string* error) {
  if (sameFile(fs, from, to)) {
    // A copy onto itself changes nothing; without replacing it is simply an existing target.
    if (replace) return true;
    setError(error, EEXIST);
    return false;
  }
  if (!replace && pathExists(fs, to)) {
    setError(error, EEXIST);
    return false;
  }
  const std::string source = native(from);
  const int in = fs.open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    setError(error, errno);
    return false;
  }
  struct stat st{};
  if (!fs.statusOf(in, st) || S_ISDIR(st.st_mode)) {
    const int saved = S_ISDIR(st.st_mode) ? EISDIR : errno;
    fs.close(in);
    setError(error, saved);
    return false;
  }
  fs.adviseSequential(in);
  AtomicFile out(fs);
  if (!out.open(to, error)) {
    fs.close(in);
    return false;
  }
  // Sized to the file (plus one byte to see its end) so that small files cost no large buffer.
  const size_t chunkSize = std::min(kCopyChunk, static_cast<size_t>(std::max<off_t>(st.st_size, 0)) + 1);
  const auto chunk = std::make_unique_for_overwrite<char[]>(chunkSize);
  while (true) {
    const int64_t n = fs.read(in, chunk.get(), chunkSize);
    if (n < 0) {
      const int saved = errno;
      fs.close(in);
      setError(error, saved);
      return false;
    }
    if (n == 0) break;
    if (!out.write(std::string_view(chunk.get(), static_cast<size_t>(n)), error)) {
      fs.close(in);
      return false;
    }
  }
  fs.close(in);
  if (!out.commit(error, replace)) return false;
  const timespec times[2] = {st.st_atim, st.st_mtim};
  fs.setTimes(native(to).c_str(), times);
  return true;
}

bool syncFileSystem(FileSystem& fs, std::string_view path, std::string* error) {
  const bool ok = fs.syncAll(native(path).c_str());
  if (!ok) setError(error, errno);
  return ok;
}

bool sameFile(FileSystem& fs, std::string_view a, std::string_view b) {
  struct stat sa{};
  struct stat sb{};
  return !a.empty() && !b.empty() && fs.status(native(a).c_str(), sa, true) &&
         fs.status(native(b).c_str(), sb, true) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool fileStamp(FileSystem& fs, std::string_view path, FileStamp& stamp) {
  struct stat st{};
  if (path.empty() || !fs.status(native(path).c_str(), st, true)) return false;
  const auto nanoseconds = [](const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
  stamp.device = static_cast<uint64_t>(st.st_dev);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<int64_t>(st.st_size);
  stamp.modifiedNs = nanoseconds(st.st_mtim);
  stamp.changedNs = nanoseconds(st.st_ctim);
  return true;
}

std::vector<std::string> folderEntries(FileSystem& fs, std::string_view folder, bool folders) {
  std::vector<std::string> names;
  const std::string name = native(folder);
  std::vector<FileSystem::FolderEntry> entries;
  if (name.empty() || !fs.list(name.c_str(), entries)) return names;
  using Kind = FileSystem::FolderEntry::Kind;
  for (const FileSystem::FolderEntry& entry : entries) {
    // A temporary file of ours (a run killed before it could remove it) is nobody's input.
    if (entry.kind != Kind::Folder && isOwnTemporaryName(entry.name)) continue;
    bool isFolder = entry.kind == Kind::Folder;
    if (entry.kind == Kind::Unknown || entry.kind == Kind::Link) {
      // A link counts as what it points to; a dangling one is listed as a file, so that the tool
      // that reads it reports the failure instead of skipping it silently.
      struct stat st{};
      isFolder = fs.status((name + "/" + entry.name).c_str(), st, true) && S_ISDIR(st.st_mode);
    }
    if (isFolder == folders) names.push_back(internalFromNative(entry.name));
  }
  return names;
}

std::string currentFolder() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return internalFromNative(buffer.data());
}

}  // namespace chengling
