#include "tools/classify/classify_journal.h"

#include <algorithm>
#include <charconv>
#include <unordered_set>

#include "foundation/path_helpers.h"
#include "tools/classify/classify_engine.h"
#include "tools/classify/classify_log.h"

namespace chengling {

const char* const kJournalName = "归类进行中的记录.txt";

namespace {

constexpr std::string_view kHeader = "# chengling classify journal 1 ";
constexpr std::string_view kMoveRun = "move";
constexpr std::string_view kCopyRun = "copy";

void appendIdentity(std::string& out, const FileIdentity& identity) {
  if (!identity.regular) {
    out += '-';
    return;
  }
  char text[48];
  char* end = std::to_chars(text, text + 20, identity.device).ptr;
  *end++ = ':';
  end = std::to_chars(end, text + sizeof text, identity.inode).ptr;
  out.append(text, end);
}

bool readNumber(std::string_view text, uint64_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// "device:inode" or "-"; false when it is neither.
bool readIdentity(std::string_view text, FileIdentity& identity) {
  identity = FileIdentity{};
  if (text == "-") return true;
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  if (!readNumber(text.substr(0, colon), identity.device) || !readNumber(text.substr(colon + 1), identity.inode)) {
    return false;
  }
  identity.exists = true;
  identity.regular = true;
  return true;
}

bool readIndex(std::string_view text, size_t& index) {
  uint64_t value = 0;
  if (!readNumber(text, value)) return false;
  index = static_cast<size_t>(value);
  return true;
}

// Whether two regular files hold the same bytes.
bool sameContents(const std::string& a, const std::string& b) {
  const int64_t size = regularFileSize(a);
  if (size < 0 || regularFileSize(b) != size) return false;
  FileReader first;
  FileReader second;
  if (!first.open(a) || !second.open(b)) return false;
  std::string one;
  std::string two;
  while (true) {
    one.clear();
    two.clear();
    const int64_t got = first.read(one, size_t{1} << 20);
    if (got < 0 || second.read(two, size_t{1} << 20) != got || one != two) return false;
    if (got == 0) return true;
  }
}

std::string journalPath(std::string_view logFolder) { return joinPath(logFolder, kJournalName); }

std::string readError(const std::string& path, const std::string& reason) {
  return "无法读取归类进行中的记录 " + path + "：" + reason;
}

}  // namespace

bool ClassifyJournal::begin(std::string_view logFolder, bool keepSources, std::string& error) {
  // The journal of a killed run becomes its logs first: this run's own logs replace them only when
  // this run ends, and until then an undo must find the killed run, not an older one.
  if (recoverLeftJournal(logFolder, error) == LeftJournal::Busy || !error.empty()) {
    if (error.empty()) error = "另一个归类正在进行，等它结束后再开始";
    return false;
  }
  path_ = journalPath(logFolder);
  std::string reason;
  const JournalFile::Open opened = file_.open(path_, true, &reason);
  if (opened == JournalFile::Open::Busy) {
    error = "另一个归类正在进行，等它结束后再开始";
    return false;
  }
  if (opened != JournalFile::Open::Opened ||
      !file_.restart(std::string(kHeader) + std::string(keepSources ? kCopyRun : kMoveRun) + "\n", &reason)) {
    error = "无法写入 " + path_ + "：" + reason;
    file_.close();
    return false;
  }
  return true;
}

int64_t ClassifyJournal::plan(const FileIdentity& source, std::string_view sourceLine, std::string_view targetLine) {
  pending_ += '>';
  appendIdentity(pending_, source);
  pending_ += ' ';
  pending_ += sourceLine;
  pending_ += '<';
  pending_ += targetLine;
  return pairs_++;
}

void ClassifyJournal::failed(int64_t index) {
  pending_ += '!';
  pending_ += std::to_string(index);
  pending_ += '\n';
}

void ClassifyJournal::settled(int64_t count) {
  pending_ += '=';
  pending_ += std::to_string(count);
  pending_ += '\n';
}

bool ClassifyJournal::write(std::string_view bytes, std::string& error) {
  std::string reason;
  if (file_.append(bytes, &reason)) return true;
  error = "无法写入 " + path_ + "：" + reason;
  return false;
}

bool ClassifyJournal::flush(std::string& error) {
  if (pending_.empty()) return true;
  const bool written = write(pending_, error);
  pending_.clear();
  return written;
}

bool ClassifyJournal::willMake(const std::vector<std::string>& folders, std::string& error) {
  std::string lines;
  for (const std::string& folder : folders) lines += '/' + logLine(folder);
  return write(lines, error);
}

bool ClassifyJournal::copying(int64_t index, std::string& error) {
  return write('~' + std::to_string(index) + '\n', error);
}

bool ClassifyJournal::copied(int64_t index, const FileIdentity& copy, std::string& error) {
  std::string line = '+' + std::to_string(index) + ' ';
  appendIdentity(line, copy);
  line += '\n';
  return write(line, error);
}

bool ClassifyJournal::finish(std::string& error) {
  std::string reason;
  if (file_.remove(&reason)) return true;
  error = "无法删除 " + path_ + "：" + reason;
  return false;
}

JournalRecord readJournal(std::string_view bytes) {
  JournalRecord record;
  // Only whole lines count: a kill may cut the last one short.
  const size_t end = bytes.rfind('\n');
  if (end == std::string_view::npos) return record;
  bytes = bytes.substr(0, end + 1);
  const size_t headerEnd = bytes.find('\n');
  const std::string_view header = bytes.substr(0, headerEnd);
  if (header.substr(0, kHeader.size()) != kHeader) return record;
  const std::string_view kind = header.substr(kHeader.size());
  if (kind != kMoveRun && kind != kCopyRun) return record;
  record.known = true;
  record.copies = kind == kCopyRun;

  std::vector<JournalRecord::Pair>& pairs = record.pairs;
  JournalRecord::Pair pending;
  bool havePending = false;
  for (size_t pos = headerEnd + 1; pos < bytes.size();) {
    const size_t next = bytes.find('\n', pos);
    const std::string_view line = bytes.substr(pos, next - pos);
    pos = next + 1;
    if (line.empty()) continue;
    const std::string_view rest = line.substr(1);
    size_t index = 0;
    switch (line.front()) {
      case '>': {
        const size_t space = rest.find(' ');
        pending = JournalRecord::Pair{};
        havePending = space != std::string_view::npos && readIdentity(rest.substr(0, space), pending.source);
        if (havePending) pending.sourceLine = rest.substr(space + 1);
        break;
      }
      case '<':
        if (havePending) {
          pending.targetLine = rest;
          pairs.push_back(pending);
          havePending = false;
        }
        break;
      case '!':
        if (readIndex(rest, index) && index < pairs.size()) pairs[index].failed = true;
        break;
      case '=':
        if (readIndex(rest, index)) record.settled = std::max(record.settled, std::min(index, pairs.size()));
        break;
      case '~':
        if (readIndex(rest, index) && index < pairs.size()) pairs[index].copying = true;
        break;
      case '+': {
        const size_t space = rest.find(' ');
        FileIdentity copy;
        if (space != std::string_view::npos && readIndex(rest.substr(0, space), index) && index < pairs.size() &&
            readIdentity(rest.substr(space + 1), copy)) {
          pairs[index].copy = copy;
        }
        break;
      }
      case '/':
        record.folders.push_back(rest);
        break;
      default:
        break;
    }
  }
  return record;
}

RecoveredRun recoverJournal(std::string_view bytes) {
  RecoveredRun run;
  const JournalRecord record = readJournal(bytes);
  const std::vector<JournalRecord::Pair>& pairs = record.pairs;
  const size_t settled = record.settled;
  const bool copies = record.copies;
  for (size_t i = 0; i < pairs.size(); ++i) {
    const JournalRecord::Pair& pair = pairs[i];
    bool failed = pair.failed;
    if (i >= settled && !failed) {
      // Unsettled: the files say whether it moved. What did not move is left out of the logs.
      const std::string source = logLinePath(pair.sourceLine);
      const std::string target = logLinePath(pair.targetLine);
      const FileIdentity now = fileIdentity(target);
      bool done = false;
      if (copies) {
        done = pair.source.regular && now.regular;
      } else if (now.sameAs(pair.source) || now.sameAs(pair.copy)) {
        done = !pathExists(source);
        if (!done && now.sameAs(pair.copy)) run.strayCopies.push_back({source, target, pair.copy});
      } else if (pair.copying && now.regular && isRegularFile(source) && sameContents(source, target)) {
        // Killed between the copy getting its name and its record: the target was free when the copy
        // began, and what stands there now holds the source's bytes.
        run.strayCopies.push_back({source, target, now});
      }
      if (!done) continue;
    }
    run.beforeLog.append(pair.sourceLine).append("\n");
    run.afterLog.append(pair.targetLine).append("\n");
    if (failed) run.failureLog.append(pair.sourceLine).append("\n");
    ++run.pairs;
  }
  std::unordered_set<std::string_view> listed;
  for (const std::string_view line : record.folders) {
    const std::string folder = logLinePath(line);
    if (listed.insert(line).second && pathExists(folder) && IsDirectory(folder)) {
      run.madeFoldersLog.append(line).append("\n");
    }
  }
  return run;
}

namespace {

// Opens the journal in `logFolder` if one is there, and reads what it accounts for.
LeftJournal openLeftJournal(std::string_view logFolder, JournalFile& file, RecoveredRun& run, std::string& error) {
  const std::string path = journalPath(logFolder);
  std::string reason;
  switch (file.open(path, false, &reason)) {
    case JournalFile::Open::Missing: return LeftJournal::None;
    case JournalFile::Open::Busy: return LeftJournal::Busy;
    case JournalFile::Open::Failed:
      error = readError(path, reason);
      return LeftJournal::Failed;
    case JournalFile::Open::Opened: break;
  }
  std::string bytes;
  if (!file.read(bytes, &reason)) {
    error = readError(path, reason);
    return LeftJournal::Failed;
  }
  run = recoverJournal(bytes);
  return LeftJournal::Recovered;
}

}  // namespace

LeftJournal recoverLeftJournal(std::string_view logFolder, std::string& error,
                               const std::function<void(const RecoveredRun&)>& beforeRemoving) {
  JournalFile file;
  RecoveredRun run;
  const LeftJournal found = openLeftJournal(logFolder, file, run, error);
  if (found == LeftJournal::Recovered) {
    const std::pair<const std::string*, const char*> logs[] = {{&run.failureLog, kFailureLogName},
                                                                {&run.afterLog, kAfterLogName},
                                                                {&run.beforeLog, kBeforeLogName},
                                                                {&run.madeFoldersLog, kMadeFoldersLogName}};
    for (const auto& [bytes, name] : logs) {
      const std::string path = joinPath(logFolder, name);
      std::string reason;
      if (!writeFileAtomic(path, *bytes, &reason)) {
        error = "无法写入 " + path + "：" + reason;
        return LeftJournal::Failed;
      }
    }
    if (beforeRemoving) beforeRemoving(run);
  }
  if (found == LeftJournal::Recovered) {
    std::string reason;
    file.remove(&reason);  // the logs hold the run now; a journal left over is read again
  }
  return found;
}

LeftJournal peekLeftJournal(std::string_view logFolder, RecoveredRun& run) {
  JournalFile file;
  std::string error;
  return openLeftJournal(logFolder, file, run, error);
}

}  // namespace chengling
