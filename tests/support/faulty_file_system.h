#pragma once
// A file system that breaks on purpose, for tests, layered over the real one in a temporary folder:
// what it lets through happens on disk, so what an engine leaves behind is read back with plain file
// reads. It fails the Nth call of a kind with a chosen errno, runs out of room after a number of
// bytes, makes a folder read-only or a file system of its own, returns short reads, and "crashes":
// every write not synced since is taken back, as a power cut would (renames and removals, which the
// file system journals in order, stay). Deterministic: the same calls meet the same faults.
//
// Paths in its rules are native and name a file or a folder; a rule on a folder covers everything
// under it. Not safe for use from two threads at once beyond what the engines do (one lock guards it).

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/file_system_calls.h"

namespace chengling::testing {

class FaultyFileSystem final : public FileSystem {
 public:
  // The kinds of call a rule counts; a rule on several counts them together.
  enum Call : unsigned {
    kOpen = 1u << 0,
    kRead = 1u << 1,       // read, readAt
    kWrite = 1u << 2,      // write, writeAt
    kCopyRange = 1u << 3,  // counts as a read of its source and a write of its target for paths
    kRename = 1u << 4,
    kLink = 1u << 5,       // link, linkOpen
    kUnlink = 1u << 6,
    kMakeFolder = 1u << 7,
    kRemoveFolder = 1u << 8,
    kSync = 1u << 9,       // sync of one file
    kSyncAll = 1u << 10,   // sync of a whole file system
    kTruncate = 1u << 11,
    kStatus = 1u << 12,    // status, statusOf
    kList = 1u << 13,
  };

  FaultyFileSystem() = default;

  // The `nth` call (from 1; 0: every one) of `calls` on a path under `under` (empty: anywhere)
  // fails with `error` and does nothing.
  void failCall(unsigned calls, int nth, int error, std::string under = {});
  // From now on the files under `under` may grow by `bytes` in all (what is removed or cut gives
  // room back); a write past that writes what fits and the next fails with ENOSPC.
  void limitRoom(const std::string& under, int64_t bytes);
  // Everything under `under` may be read, nothing made, changed or removed: EROFS.
  void readOnly(std::string under);
  // `under` is a file system of its own: a rename or link across its border fails with EXDEV.
  void separate(std::string under);
  // Every read returns at most `most` bytes (0: as many as asked).
  void shortReads(size_t most) { shortReads_ = most; }
  // The process dies (SIGKILL) at the `nth` call of `calls` on a path under `under`, before the call
  // takes effect; with `powerCut` the writes not synced are taken back first, as crash() does.
  void dieAt(unsigned calls, int nth, bool powerCut = false, std::string under = {});
  // Takes back every write that no sync has made durable: each file written since its last sync
  // (or the last syncAll) gets back the contents it had then; a new file is empty.
  void crash();
  // How many calls of `calls` were made so far.
  int64_t count(unsigned calls) const;

  int open(const char* path, int flags, mode_t mode = 0) override;
  int close(int fd) override;
  int64_t read(int fd, char* into, size_t max) override;
  int64_t readAt(int fd, char* into, size_t max, int64_t offset) override;
  int64_t write(int fd, const char* bytes, size_t size) override;
  int64_t writeAt(int fd, const char* bytes, size_t size, int64_t offset) override;
  int64_t copyRange(int from, int64_t* fromOffset, int to, int64_t* toOffset, size_t length) override;
  bool seek(int fd, int64_t offset) override;
  void adviseSequential(int fd) override;
  bool reserve(int fd, int64_t offset, int64_t length) override;
  bool truncate(int fd, int64_t size) override;
  bool sync(int fd) override;
  bool syncAll(const char* path) override;
  bool lock(int fd, bool wait) override;
  bool status(const char* path, struct stat& st, bool followLinks) override;
  bool statusOf(int fd, struct stat& st) override;
  int64_t readLink(const char* path, char* into, size_t max) override;
  bool list(const char* folder, std::vector<FolderEntry>& entries) override;
  bool rename(const char* from, const char* to, bool replace) override;
  bool link(const char* from, const char* to) override;
  bool linkOpen(int fd, const char* to) override;
  bool canLinkOpen() override;
  bool unlink(const char* path) override;
  bool removeFolder(const char* path) override;
  bool makeFolder(const char* path, mode_t mode) override;
  bool setMode(int fd, mode_t mode) override;
  bool setOwner(int fd, uid_t owner, gid_t group) override;
  bool setTimes(const char* path, const timespec times[2]) override;

 private:
  struct Rule {
    unsigned calls;
    int nth;
    int error;
    std::string under;
    bool dies = false;
    bool powerCut = false;
    int64_t seen = 0;
  };
  struct Room {
    std::string under;
    int64_t limit;  // bytes the files under it may hold
  };
  using Inode = std::pair<uint64_t, uint64_t>;

  // Counts the call and applies the rules; false (errno set) when it is to fail.
  bool admit(unsigned call, const std::string& path, const std::string& other = {});
  bool changesUnderReadOnly(const std::string& path) const;
  bool acrossBorder(const std::string& from, const std::string& to) const;
  // Bytes a write of `size` at `fd` may put on disk now; -1 with ENOSPC when none.
  int64_t roomFor(int fd, size_t size);
  int64_t held(const std::string& under) const;
  // Keeps what the file behind `fd` holds now, before its first unsynced change.
  void keepSynced(int fd);
  std::string pathOf(int fd) const;

  mutable std::recursive_mutex mutex_;
  PosixFileSystem real_;
  std::vector<Rule> rules_;
  std::vector<Room> rooms_;
  std::vector<std::string> readOnly_;
  std::vector<std::string> separate_;
  size_t shortReads_ = 0;
  std::map<unsigned, int64_t> counts_;
  std::map<int, std::string> paths_;          // open files: the path they were opened by
  std::map<Inode, std::string> synced_;        // files changed since their last sync: what they held
  std::map<Inode, std::set<std::string>> names_;  // the paths a changed file was known by
};

}  // namespace chengling::testing
