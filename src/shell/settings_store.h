#pragma once
// SettingsStore: the sectioned value file "岚舟·澄岭工具箱.ini" of key=value lines (GBK, CR LF, no
// byte-order mark) and the byte-value files beside it in "inibin/". No Qt: the window-state walk
// lives in control_states.h and the warning boxes in store_messages.h.
//
// Format: a header "[name]" counts only at the start of the text or right after CR LF; a key is
// everything before the first "=" of its line; a new key goes right after its section's header; line
// breaks in text values are stored as "┊*┊"; numbers as decimal text.
//
// Persistence: every change is applied to the file at once. The file is rewritten whole through an
// AtomicFile, and each change runs under an exclusive lock (flock on "<value file>.lock") after
// re-reading the file, so a second running instance can neither corrupt it nor lose our writes, and
// we do not lose its writes either. Reads search the in-memory copy made at binding and refreshed by
// every write.
//
// Used on the user-interface thread only; not thread-safe.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace chengling {

class SettingsFileLock;

class SettingsStore {
 public:
  // Shown once per store when a write cannot be done: `message` is the warning text, `detail` the
  // whole settings text (a section that could not be established) or the file and the reason (the
  // file could not be written). Internal text. The window layer turns it into two message boxes.
  using FailureNotice = std::function<void(std::string_view message, std::string_view detail)>;

  // "配置模块出现意外，可能导致无法正常保存！详情请咨询岚舟。"
  static std::string failureMessage();
  // "岚舟·澄岭工具箱.ini"
  static std::string valueFileName();

  SettingsStore();
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // Binds the store to `path` (internal text). Mode 0, the plain-file mode, is the only one this
  // system has; any other mode returns false. A missing file (and its folder) is created empty.
  // Returns true when the file could be read or created. Unbound, the store keeps values in memory
  // only and every write reports failure.
  bool Bind(std::string_view path, int mode = 0);
  // Releases the file: the in-memory text is discarded; later writes report failure.
  void release();
  bool bound() const { return bound_; }
  const std::string& path() const { return path_; }
  // The in-memory copy of the value file.
  const std::string& text() const { return text_; }

  void setFailureNotice(FailureNotice notice) { notice_ = std::move(notice); }

  void SelectSection(std::string_view section);
  const std::string& section() const { return section_; }

  bool WriteText(std::string_view key, std::string_view text);
  // The stored text with "┊*┊" turned back into CR LF, or `fallback` when the key is missing or empty.
  std::string ReadText(std::string_view key, std::string_view fallback) const;

  bool WriteNumber(std::string_view key, double value);
  // The stored text read as a number as far as it reads as one (text that does not start with a
  // number gives 0), or `fallback` when the key is missing or empty.
  double ReadNumber(std::string_view key, double fallback) const;

  // The byte-value file "inibin/<section>-<key>.ibn" beside the value file. No message on failure.
  bool WriteBytes(std::string_view key, std::string_view bytes);
  // The file's bytes, or `fallback` when it is missing or empty.
  std::string ReadBytes(std::string_view key, std::string_view fallback) const;
  std::string bytesPath(std::string_view key) const;

  // Groups many writes (a window's control states) under one lock and one rewrite of the file.
  // Writes inside a batch change the in-memory text; the file is written when the outermost batch
  // ends. Nesting is allowed.
  class Batch {
   public:
    explicit Batch(SettingsStore& store) : store_(store) { store_.beginBatch(); }
    ~Batch() { store_.endBatch(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    SettingsStore& store_;
  };

 private:
  bool writeValue(std::string_view key, std::string_view value);
  // Locks, re-reads the file into text_ (outside a batch). False when the file cannot be read.
  bool beginChange();
  // Writes text_ to the file when `changed`, then unlocks (outside a batch).
  bool endChange(bool changed);
  void beginBatch();
  bool endBatch();
  bool loadFile(std::string* error);
  bool saveFile(std::string* error);
  void notifyOnce(std::string_view detail);

  std::string path_;
  std::string lockPath_;
  bool bound_ = false;
  std::string text_;
  std::string section_;
  FailureNotice notice_;
  bool noticeShown_ = false;

  int batchDepth_ = 0;
  bool batchChanged_ = false;
  bool batchFailed_ = false;
  std::unique_ptr<SettingsFileLock> lock_;
};

namespace settings_format {
// The searches of the value-file format, on the in-memory text. Public for tests.

// Position of the header "[section]" that stands at the start or right after CR LF; npos when absent.
// A match in mid-line is skipped and the search goes on after it.
size_t findHeader(std::string_view text, std::string_view section);
// Position of the first byte of the value of `key` in the section whose header starts at `header`;
// npos when the section holds no such key.
size_t findValue(std::string_view text, size_t header, std::string_view section, std::string_view key);
// The stored value of `key` in `section` as it stands in the text (searched up to a NUL, line breaks
// still "┊*┊"); nullopt when the section or the key is missing or the value is empty.
std::optional<std::string_view> storedValue(std::string_view text, std::string_view section,
                                            std::string_view key);
// The longest prefix of `text` (after leading blanks) that reads as a decimal number; 0 when none.
double leadingNumber(std::string_view text);
}  // namespace settings_format

}  // namespace chengling
