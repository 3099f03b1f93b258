// chengling-cli under broken file systems and sudden death: each tool runs once cleanly for the
// expected result, then again on the same sources under one fault (a full disk, a read-only folder,
// an I/O error at a chosen system call, SIGKILL or a power cut at a chosen point), then once more
// with the fault lifted. The faults are made by the file system the command line is given (FaultyFileSystem, in
// a process of its own, for any user); only a kill at a system call of the real program goes
// through strace. The same faults made by the kernel (mounts, permissions, strace) run as well, as
// the check that the seam tells the truth: the mounts need root. After the fault every source is as it was (or, where the tool moves or replaces it, gone to
// or replaced by its complete result) and every file under a final name is either what was there
// before or the complete result; the run after it ends like the clean run and takes nothing left
// behind by the broken one as input.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_common.h"
#include "support/fault_fixtures.h"
#include "support/faulty_file_system.h"
#include "support/test_support.h"

namespace chengling::testing {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// The faults, and the tools with the faults that reach them.

enum class Fault {
  FullDisk,            // the outputs' file system has one free block
  ReadOnly,            // the outputs' folder is a read-only mount
  WriteError,          // the first write of the outputs' bytes fails with EIO
  ReadError,           // every read of the sources fails with EIO
  RenameError,         // the first rename (the first commit) fails with EIO
  SyncError,           // syncing a replaced file fails with EIO
  KillAtFirstWrite,    // SIGKILL when the first temporary file gets its first bytes
  KillAtFirstCommit,   // SIGKILL before the first rename: the first output complete, not yet in place
  KillAtSecondCommit,  // SIGKILL with one output committed and the second complete but not renamed
  KillAtThirdWrite,    // SIGKILL further on, between outputs
  KillAtFirstRemoval,  // SIGKILL when the first file is to be removed (a moved source after its copy)
  KillAtFifthWrite,    // SIGKILL further on still
  KillAtSecondRemoval,  // SIGKILL with one file removed and the second about to be
  // The machine loses power: the process dies there and every write not synced is lost with it.
  PowerCutAtSecondCommit,  // with one output committed and the second complete but not renamed
  PowerCutAtFirstRemoval,  // when the first file is to be removed
};

struct Tool {
  const char* name;
  // Writes the sources under `root`.
  void (*populate)(const std::string& root);
  // The command line (without the program) that works on `root`.
  std::vector<std::string> (*arguments)(const std::string& root);
  // Where the outputs go, relative to the root: the folder that is filled or made read-only.
  const char* writeFolder;
  // The sources whose reads fail in the read fault, relative to the root.
  std::vector<const char*> readSources;
  // The system calls that write the outputs' bytes.
  const char* writeCalls;
  std::vector<Fault> faults;
  // Moves its sources: a source may be gone, its bytes then live on under a new name; a run after an
  // interrupted one may lay out the rest differently.
  bool movesSources = false;
  // The outputs' folder is a file system of its own under every fault (needs root and mounts).
  bool separateFileSystem = false;
  // After a kill, `classify --undo` is to put back exactly what the killed run moved.
  bool undoesAKilledRun = false;
  // Removes a source once its result is complete: where the content of `source` (relative to the
  // root) then lives in a clean run's tree. A source may be gone when that file is complete.
  std::string (*resultOf)(const std::string& source) = nullptr;
};

// Text in GBK, a few pages long, different for each seed.
std::string chineseText(int seed, int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) text += gb(u8"第") + std::to_string(seed * 1000 + i) + gb(u8"行：头发与简体字\r\n");
  return text;
}

// Printable bytes, different for each seed.
std::string printable(size_t size, unsigned seed) {
  std::string bytes = randomBytes(size, seed);
  for (char& c : bytes) c = static_cast<char>('!' + static_cast<unsigned char>(c) % 90);
  return bytes;
}

using enum Fault;

// The faults every tool meets; the tools that write one output in one go have no later kill points.
const std::vector<Fault> kEveryFault = {FullDisk,         ReadOnly,          WriteError,         ReadError,
                                        RenameError,      KillAtFirstWrite,  KillAtFirstCommit,  KillAtSecondCommit,
                                        KillAtThirdWrite};

const Tool kSplit{
    "Split",
    [](const std::string& root) {
      writeBytes(root + "/in/book.txt", printable(30000, 1));
      writeBytes(root + "/in/novel.txt", printable(21000, 2));
    },
    [](const std::string& root) { return std::vector<std::string>{"split", "--count", "3", root + "/in"}; },
    "in",
    {"in/book.txt", "in/novel.txt"},
    "copy_file_range",  // the pieces are copied in the kernel
    kEveryFault,
};

// Two folders: two outputs, each made of its folder's files, copied in the kernel.
const Tool kMerge{
    "Merge",
    [](const std::string& root) {
      for (int i = 1; i <= 5; ++i) {
        writeBytes(root + (i <= 3 ? "/in/parts/" : "/in/more/") + std::to_string(i) + ".txt", printable(9000, 10 + i));
      }
    },
    [](const std::string& root) { return std::vector<std::string>{"merge", root + "/in/parts", root + "/in/more"}; },
    "in",
    {"in/parts/1.txt", "in/parts/2.txt", "in/parts/3.txt", "in/more/4.txt", "in/more/5.txt"},
    "copy_file_range",
    kEveryFault,
};

// The output beside its inputs: a temporary file left by a killed run lies among them.
const Tool kMergeInPlace{
    "MergeInPlace",
    [](const std::string& root) {
      for (int i = 1; i <= 3; ++i) writeBytes(root + "/in/parts/" + std::to_string(i) + ".txt", printable(9000, 20 + i));
    },
    [](const std::string& root) { return std::vector<std::string>{"merge", "--no-parent", root + "/in/parts"}; },
    "in/parts",
    {"in/parts/1.txt", "in/parts/2.txt", "in/parts/3.txt"},
    "copy_file_range",
    // A committed output would be an input of the next run; the kill points stop short of that.
    {FullDisk, ReadOnly, WriteError, ReadError, RenameError, KillAtFirstWrite, KillAtFirstCommit, KillAtThirdWrite},
};

void transcodeSources(const std::string& root) {
  writeBytes(root + "/in/d/a.txt", chineseText(1, 300));
  writeBytes(root + "/in/d/b.txt", chineseText(2, 200));
  writeBytes(root + "/in/d/sub/c.txt", chineseText(3, 250));
}

const Tool kTranscode{
    "Transcode",
    transcodeSources,
    [](const std::string& root) {
      return std::vector<std::string>{"transcode", "--recursive", "--to", "utf8", "--chinese", "s2t", root + "/in/d"};
    },
    "in",
    {"in/d/a.txt", "in/d/b.txt", "in/d/sub/c.txt"},
    "write",
    kEveryFault,
};

// Each file is replaced by its conversion, which is synced first. The mounts break the subfolder
// only: the files beside it are converted, the one in it fails.
const Tool kTranscodeOverwrite{
    "TranscodeOverwrite",
    transcodeSources,
    [](const std::string& root) {
      return std::vector<std::string>{"transcode", "--recursive", "--overwrite", "--to", "utf8",
                                      "--chinese", "s2t", root + "/in/d"};
    },
    "in/d/sub",
    {"in/d/a.txt", "in/d/b.txt", "in/d/sub/c.txt"},
    "write",
    {FullDisk, ReadOnly, WriteError, ReadError, RenameError, SyncError, KillAtFirstWrite, KillAtFirstCommit,
     KillAtSecondCommit, KillAtThirdWrite, PowerCutAtSecondCommit},
};

// Within one file system a move is a rename that reads nothing; onto a full one it is a copy.
const Tool kClassifyMove{
    "ClassifyMove",
    [](const std::string& root) {
      for (const char* name : {"a", "b", "c", "d", "e"}) {
        writeBytes(root + "/in/src/" + name + ".txt", printable(7000, static_cast<unsigned>(name[0])));
      }
      fs::create_directories(root + "/out");
    },
    [](const std::string& root) {
      return std::vector<std::string>{"classify", "--move", "--per-batch", "2", "--to",
                                      root + utf8(u8"/out/[批次名]/[文件名]"), root + "/in/src"};
    },
    "out",
    {"in/src/a.txt", "in/src/b.txt", "in/src/c.txt", "in/src/d.txt", "in/src/e.txt"},
    "write",
    {FullDisk, ReadOnly, WriteError, RenameError, KillAtFirstWrite, KillAtFirstCommit, KillAtSecondCommit,
     KillAtThirdWrite},
    true,
};

// Onto another file system a move is a copy through a temporary file and the removal of the source.
const Tool kClassifyMoveAcross = [] {
  Tool tool = kClassifyMove;
  tool.name = "ClassifyMoveAcross";
  tool.faults = {ReadOnly,          WriteError,        ReadError,          RenameError,
                 KillAtFirstWrite,  KillAtFirstCommit, KillAtSecondCommit, KillAtThirdWrite,
                 KillAtFirstRemoval};
  tool.separateFileSystem = true;
  return tool;
}();

// The undo journal under SIGKILL: after a killed move an undo puts the tree back as it was, and the
// clean run before it (the reference run, whose logs an undo would otherwise find) keeps its files.
// Within one file system the writes are the journal's own; across them, the fifth falls between a
// copy and the removal of its source.
const Tool kClassifyMoveUndo = [] {
  Tool tool = kClassifyMove;
  tool.name = "ClassifyMoveUndo";
  tool.faults = {KillAtFirstWrite, KillAtFirstCommit, KillAtSecondCommit, KillAtThirdWrite, KillAtFifthWrite};
  tool.undoesAKilledRun = true;
  return tool;
}();

const Tool kClassifyMoveAcrossUndo = [] {
  Tool tool = kClassifyMoveAcross;
  tool.name = "ClassifyMoveAcrossUndo";
  tool.faults = {KillAtFirstWrite, KillAtFirstCommit, KillAtSecondCommit, KillAtThirdWrite, KillAtFirstRemoval,
                 KillAtFifthWrite};
  tool.undoesAKilledRun = true;
  return tool;
}();

// One output written at once over an earlier table, which is synced first.
const Tool kCsv{
    "Csv",
    [](const std::string& root) {
      std::string first = gb(u8"名称,数量\r\n");
      std::string second = first;
      for (int i = 0; i < 400; ++i) {
        (i % 2 ? first : second) += gb(u8"物品") + std::to_string(i) + "," + std::to_string(i * 7 % 501) + "\r\n";
      }
      writeBytes(root + "/in/a.csv", first);
      writeBytes(root + "/in/b.csv", second);
      writeBytes(root + "/in/out.csv", "earlier,table\r\n");
    },
    [](const std::string& root) {
      return std::vector<std::string>{"csv", "--sort", "2", "--order", "number", "-o", root + "/in/out.csv",
                                      root + "/in/a.csv", root + "/in/b.csv"};
    },
    "in",
    {"in/a.csv", "in/b.csv"},
    "write",
    {FullDisk, ReadOnly, WriteError, ReadError, RenameError, SyncError, KillAtFirstWrite, KillAtFirstCommit},
};

// Decoded, merged and deleted: the sources go once the output is on disk. The read fault breaks the
// first input only, so that the rest could still make an output.
const Tool kMergeDecodeDelete{
    "MergeDecodeDelete",
    [](const std::string& root) {
      for (int i = 1; i <= 4; ++i) writeBytes(root + "/in/parts/" + std::to_string(i) + ".txt", chineseText(30 + i, 150));
    },
    [](const std::string& root) {
      return std::vector<std::string>{"merge", "--decode", "--delete", "--join-text", "|", root + "/in/parts"};
    },
    "in",
    {"in/parts/1.txt"},
    "write",
    {FullDisk, ReadOnly, WriteError, ReadError, RenameError, KillAtFirstWrite, KillAtFirstCommit, KillAtFirstRemoval,
     KillAtSecondRemoval, PowerCutAtFirstRemoval},
    false,
    false,
    false,
    [](const std::string&) { return utf8(u8"in/1等4个文件.txt"); },
};

// Over the sources under converted names: each new file is written beside its source, and the
// sources go in a batch once the new files are on disk. Some names sort before their converted
// forms, some after.
const Tool kTranscodeNames{
    "TranscodeNames",
    [](const std::string& root) {
      const std::u8string_view names[] = {u8"发型1", u8"头发2", u8"简体3", u8"书本4"};
      for (int i = 0; i < 4; ++i) writeBytes(root + "/in/d/" + utf8(names[i]) + ".txt", chineseText(40 + i, 120));
    },
    [](const std::string& root) {
      return std::vector<std::string>{"transcode", "--overwrite", "--names", "--chinese", "s2t", "--to", "utf8",
                                      root + "/in/d"};
    },
    "in/d",
    {reinterpret_cast<const char*>(u8"in/d/发型1.txt"), reinterpret_cast<const char*>(u8"in/d/头发2.txt"),
     reinterpret_cast<const char*>(u8"in/d/简体3.txt"), reinterpret_cast<const char*>(u8"in/d/书本4.txt")},
    "write",
    {FullDisk, ReadOnly, WriteError, ReadError, RenameError, KillAtFirstWrite, KillAtFirstCommit, KillAtSecondCommit,
     KillAtThirdWrite, KillAtFirstRemoval, KillAtSecondRemoval, PowerCutAtFirstRemoval},
    false,
    false,
    false,
    [](const std::string& source) {
      static const std::map<std::string, std::string> kNames = {
          {utf8(u8"发型1.txt"), utf8(u8"髮型1.txt")}, {utf8(u8"头发2.txt"), utf8(u8"頭髮2.txt")},
          {utf8(u8"简体3.txt"), utf8(u8"簡體3.txt")}, {utf8(u8"书本4.txt"), utf8(u8"書本4.txt")}};
      const std::string name = fs::path(source).filename().string();
      const auto it = kNames.find(name);
      return fs::path(source).parent_path().string() + "/" + (it == kNames.end() ? name : it->second);
    },
};

const Tool* const kTools[] = {&kSplit,        &kMerge,           &kMergeInPlace,       &kMergeDecodeDelete,
                               &kTranscode,    &kTranscodeOverwrite, &kTranscodeNames,   &kClassifyMove,
                               &kClassifyMoveAcross, &kClassifyMoveUndo, &kClassifyMoveAcrossUndo, &kCsv};

bool kills(Fault fault) {
  return fault == KillAtFirstWrite || fault == KillAtFirstCommit || fault == KillAtSecondCommit ||
         fault == KillAtThirdWrite || fault == KillAtFirstRemoval || fault == KillAtFifthWrite ||
         fault == KillAtSecondRemoval || fault == PowerCutAtSecondCommit || fault == PowerCutAtFirstRemoval;
}

// Only the seam can lose what was not synced (the kernel would need a real power cut).
bool cutsPower(Fault fault) { return fault == PowerCutAtSecondCommit || fault == PowerCutAtFirstRemoval; }

const char* faultName(Fault fault) {
  switch (fault) {
    case Fault::FullDisk: return "FullDisk";
    case Fault::ReadOnly: return "ReadOnly";
    case Fault::WriteError: return "WriteError";
    case Fault::ReadError: return "ReadError";
    case Fault::RenameError: return "RenameError";
    case Fault::SyncError: return "SyncError";
    case Fault::KillAtFirstWrite: return "KillAtFirstWrite";
    case Fault::KillAtFirstCommit: return "KillAtFirstCommit";
    case Fault::KillAtSecondCommit: return "KillAtSecondCommit";
    case Fault::KillAtThirdWrite: return "KillAtThirdWrite";
    case Fault::KillAtFirstRemoval: return "KillAtFirstRemoval";
    case Fault::KillAtFifthWrite: return "KillAtFifthWrite";
    case Fault::KillAtSecondRemoval: return "KillAtSecondRemoval";
    case Fault::PowerCutAtSecondCommit: return "PowerCutAtSecondCommit";
    case Fault::PowerCutAtFirstRemoval: return "PowerCutAtFirstRemoval";
  }
  return "?";
}

constexpr const char* kRenames = "rename,renameat,renameat2,link,linkat";  // a name given at commit
constexpr const char* kDie = "error=EIO:signal=SIGKILL";  // the call never takes effect

// The strace fault of `fault` for `tool` under `root`; none for the faults made by mounts.
std::optional<SyscallFault> syscallFault(Fault fault, const Tool& tool, const std::string& root) {
  switch (fault) {
    case Fault::WriteError: return SyscallFault{tool.writeCalls, "error=EIO", 1, {}};
    case Fault::ReadError: {
      SyscallFault f{"read,pread64,copy_file_range", "error=EIO", 0, {}};
      for (const char* source : tool.readSources) f.paths.push_back(root + "/" + source);
      return f;
    }
    case Fault::RenameError: return SyscallFault{kRenames, "error=EIO", 1, {}};
    case Fault::SyncError: return SyscallFault{"fsync,fdatasync", "error=EIO", 0, {}};
    case Fault::KillAtFirstWrite: return SyscallFault{tool.writeCalls, kDie, 1, {}};
    case Fault::KillAtFirstCommit: return SyscallFault{kRenames, kDie, 1, {}};
    case Fault::KillAtSecondCommit: return SyscallFault{kRenames, kDie, 2, {}};
    case Fault::KillAtThirdWrite: return SyscallFault{tool.writeCalls, kDie, 3, {}};
    case Fault::KillAtFirstRemoval: return SyscallFault{"unlink,unlinkat", kDie, 1, {}};
    case Fault::KillAtFifthWrite: return SyscallFault{tool.writeCalls, kDie, 5, {}};
    case Fault::KillAtSecondRemoval: return SyscallFault{"unlink,unlinkat", kDie, 2, {}};
    case Fault::FullDisk:
    case Fault::ReadOnly:
    case Fault::PowerCutAtSecondCommit:
    case Fault::PowerCutAtFirstRemoval: return std::nullopt;
  }
  return std::nullopt;
}

// What the standard error of a run under a non-fatal fault must name: the reason of the failure.
std::vector<std::string> reasons(Fault fault) {
  switch (fault) {
    case Fault::FullDisk: return {utf8(u8"磁盘已满")};
    case Fault::ReadOnly: return {utf8(u8"只读文件系统"), utf8(u8"权限不足")};
    default: return {utf8(u8"读写错误")};
  }
}

// Who makes the fault: the file system the command line is given, or the kernel (mounts,
// permissions, strace on the real program).
enum class Ground { Seam, Kernel };

struct Case {
  const Tool* tool;
  Fault fault;
  Ground ground;
};

// Every fault runs on the seam but a kill at a real system call; a kill on a file system of its own
// needs the seam's border (or a mount) and dies there, and a power cut is the seam's alone.
Ground groundOf(const Tool& tool, Fault fault) {
  return kills(fault) && !tool.separateFileSystem && !cutsPower(fault) ? Ground::Kernel : Ground::Seam;
}

// The table: each tool with each of its faults.
std::vector<Case> cases() {
  std::vector<Case> all;
  for (const Tool* tool : kTools) {
    for (Fault fault : tool->faults) all.push_back({tool, fault, groundOf(*tool, fault)});
  }
  return all;
}

// The faults of the table that run on the seam, made by the kernel instead.
std::vector<Case> kernelTwins() {
  std::vector<Case> all;
  for (const Case& c : cases()) {
    if (c.ground == Ground::Seam && !cutsPower(c.fault)) all.push_back({c.tool, c.fault, Ground::Kernel});
  }
  return all;
}

using Call = FaultyFileSystem::Call;

unsigned writeCallsOf(const Tool& tool) {
  return std::string_view(tool.writeCalls) == "copy_file_range" ? Call::kCopyRange : Call::kWrite;
}

// Sets `disk` up to break as `fault` does for `tool` under `root`, as the kernel's faults do: a full
// disk is a small file system of its own; a fault at the Nth rename or link counts renames and
// links apart, as strace counts each system call. With `fault` empty only the outputs' own file
// system, when the tool has one.
void arm(FaultyFileSystem& disk, std::optional<Fault> fault, const Tool& tool, const std::string& root) {
  const std::string writeFolder = root + "/" + tool.writeFolder;
  if (tool.separateFileSystem || fault == Fault::FullDisk) disk.separate(writeFolder);
  if (!fault) return;
  const auto failRenames = [&](int nth, int error) {
    for (unsigned calls : {Call::kRename, Call::kLink}) disk.failCall(calls, nth, error);
  };
  const auto dieAtRename = [&](int nth, bool powerCut = false) {
    for (unsigned calls : {Call::kRename, Call::kLink}) disk.dieAt(calls, nth, powerCut);
  };
  switch (*fault) {
    case Fault::FullDisk: disk.limitRoom(writeFolder, 4096); break;
    case Fault::ReadOnly: disk.readOnly(writeFolder); break;
    case Fault::WriteError: disk.failCall(writeCallsOf(tool), 1, EIO); break;
    case Fault::ReadError:
      for (const char* source : tool.readSources) disk.failCall(Call::kRead | Call::kCopyRange, 0, EIO, root + "/" + source);
      break;
    case Fault::RenameError: failRenames(1, EIO); break;
    case Fault::SyncError: disk.failCall(Call::kSync, 0, EIO); break;
    case Fault::KillAtFirstWrite: disk.dieAt(writeCallsOf(tool), 1); break;
    case Fault::KillAtFirstCommit: dieAtRename(1); break;
    case Fault::KillAtSecondCommit: dieAtRename(2); break;
    case Fault::KillAtThirdWrite: disk.dieAt(writeCallsOf(tool), 3); break;
    case Fault::KillAtFirstRemoval: disk.dieAt(Call::kUnlink, 1); break;
    case Fault::KillAtFifthWrite: disk.dieAt(writeCallsOf(tool), 5); break;
    case Fault::KillAtSecondRemoval: disk.dieAt(Call::kUnlink, 2); break;
    case Fault::PowerCutAtSecondCommit: dieAtRename(2, true); break;
    case Fault::PowerCutAtFirstRemoval: disk.dieAt(Call::kUnlink, 1, true); break;
  }
}

// ---------------------------------------------------------------------------------------------
// Runs and what they leave.

struct CliRun {
  int status = 0;
  std::string err;
  bool exited() const { return WIFEXITED(status); }
  int code() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
  bool killed() const { return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL; }
};

// Starts chengling-cli with `arguments`, behind `prefix` (strace) when given; standard output is
// dropped, standard error goes to `errFile`.
pid_t startCli(const std::vector<std::string>& prefix, const std::vector<std::string>& arguments,
               const std::string& errFile) {
  std::vector<std::string> all = prefix;
  all.push_back(CHENGLING_CLI);
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int out = ::open("/dev/null", O_WRONLY);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(126);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  EXPECT_GT(child, 0);
  return child;
}

CliRun waitCli(pid_t child, const std::string& errFile) {
  CliRun run;
  if (child > 0) waitpid(child, &run.status, 0);
  run.err = readBytes(errFile);
  return run;
}

// Runs chengling-cli with `arguments`, behind `prefix` (strace) when given; standard output is
// dropped, standard error kept.
CliRun runCli(const std::vector<std::string>& prefix, const std::vector<std::string>& arguments, const std::string& errFile) {
  return waitCli(startCli(prefix, arguments, errFile), errFile);
}

// Runs the command line with `arguments` in a child process of this one, on a FaultyFileSystem
// that `setUp` breaks; standard output is dropped, standard error kept.
CliRun runOnSeam(const std::vector<std::string>& arguments, const std::string& errFile,
                 const std::function<void(FaultyFileSystem&)>& setUp) {
  const pid_t child = fork();
  if (child == 0) {
    const int out = ::open("/dev/null", O_WRONLY);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(126);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    std::vector<std::string> all = {"chengling-cli"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    FaultyFileSystem disk;
    setUp(disk);
    const int code = cli::runCli(static_cast<int>(all.size()), argv.data(), disk);
    fflush(nullptr);
    _exit(code);
  }
  EXPECT_GT(child, 0);
  return waitCli(child, errFile);
}

bool isTemporary(const std::string& path) { return path.ends_with(".chengling.tmp"); }

// Everything under a folder: files with their bytes, and folders, by path relative to it.
struct Tree {
  std::map<std::string, std::string> files;
  std::set<std::string> folders;
};

Tree snapshot(const std::string& root) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      tree.folders.insert(relative);
    } else {
      tree.files[relative] = readBytes(entry.path().string());
    }
  }
  return tree;
}

const std::string* find(const std::map<std::string, std::string>& files, const std::string& path) {
  const auto it = files.find(path);
  return it == files.end() ? nullptr : &it->second;
}

// The faults of `after` (left by a broken run) against `before` (the sources) and `clean` (what a
// clean run leaves), one line each.
std::vector<std::string> damage(const Tree& before, const Tree& after, const Tree& clean, const Tool& tool) {
  std::vector<std::string> found;
  for (const auto& [path, bytes] : before.files) {
    const std::string* now = find(after.files, path);
    const std::string* result = find(clean.files, path);
    if (now == nullptr) {
      // Only a source that the run moves away may be gone, and only with its bytes kept elsewhere;
      // or one that it removes once its complete result holds them.
      bool kept = false;
      for (const auto& [other, otherBytes] : after.files) kept |= !before.files.contains(other) && otherBytes == bytes;
      if (tool.resultOf != nullptr && result == nullptr) {
        const std::string* holder = find(after.files, tool.resultOf(path));
        const std::string* complete = find(clean.files, tool.resultOf(path));
        if (holder == nullptr || complete == nullptr || *holder != *complete) found.push_back("lost " + path);
      } else if (result != nullptr || !tool.movesSources || !kept) {
        found.push_back("lost " + path);
      }
    } else if (*now != bytes && (result == nullptr || *now != *result)) {
      found.push_back("changed " + path + " (neither the old bytes nor the result)");
    }
  }
  for (const auto& [path, bytes] : after.files) {
    if (before.files.contains(path) || isTemporary(path)) continue;
    const std::string* result = find(clean.files, path);
    if (result == nullptr) {
      found.push_back("unexpected " + path);
    } else if (bytes != *result) {
      found.push_back("partial " + path + " (" + std::to_string(bytes.size()) + " of " +
                      std::to_string(result->size()) + " bytes)");
    }
  }
  return found;
}

// How `after` (the run after the broken one) differs from `clean`. Where sources move, the layout of
// the rest may differ: then each file's name and bytes must be there as many times as in `clean`,
// except that a source in `stayed` is there once more, in its old place (see the test).
std::vector<std::string> difference(const Tree& after, const Tree& clean, const Tool& tool,
                                    const std::set<std::string>& stayed = {}) {
  std::vector<std::string> found;
  if (tool.movesSources) {
    std::multiset<std::pair<std::string, std::string>> want, have;
    for (const auto& [path, bytes] : clean.files) want.insert({fs::path(path).filename().string(), bytes});
    for (const auto& [path, bytes] : after.files) {
      if (!stayed.contains(path)) have.insert({fs::path(path).filename().string(), bytes});
    }
    for (const auto& [name, bytes] : want) {
      if (want.count({name, bytes}) != have.count({name, bytes})) found.push_back("count of " + name);
    }
    for (const auto& [name, bytes] : have) {
      if (!want.contains({name, bytes})) found.push_back("unexpected " + name);
    }
    for (const auto& [path, bytes] : after.files) {
      if (isTemporary(path)) found.push_back("left over " + path);
    }
    return found;
  }
  for (const auto& [path, bytes] : clean.files) {
    const std::string* now = find(after.files, path);
    if (now == nullptr) {
      found.push_back("missing " + path);
    } else if (*now != bytes) {
      found.push_back("differs " + path);
    }
  }
  for (const auto& [path, bytes] : after.files) {
    if (!clean.files.contains(path)) found.push_back((isTemporary(path) ? "left over " : "unexpected ") + path);
  }
  return found;
}

// The tree less the program's temporary files, which a killed write may leave.
Tree withoutTemporaries(Tree tree) {
  std::erase_if(tree.files, [](const auto& entry) { return isTemporary(entry.first); });
  return tree;
}

// The paths by which two trees differ, for a failure message.
std::string treeDifference(const Tree& have, const Tree& want) {
  std::string text;
  for (const auto& [path, bytes] : have.files) {
    const std::string* other = find(want.files, path);
    if (other == nullptr) text += "extra " + path + "\n";
    else if (*other != bytes) text += "changed " + path + "\n";
  }
  for (const auto& [path, bytes] : want.files) {
    if (!have.files.contains(path)) text += "missing " + path + "\n";
  }
  for (const std::string& folder : have.folders) {
    if (!want.folders.contains(folder)) text += "extra folder " + folder + "\n";
  }
  for (const std::string& folder : want.folders) {
    if (!have.folders.contains(folder)) text += "missing folder " + folder + "\n";
  }
  return text;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// ---------------------------------------------------------------------------------------------

class FaultInjection : public ::testing::TestWithParam<Case> {};

TEST_P(FaultInjection, SourcesSurviveOutputsAreWholeAndTheNextRunEndsClean) {
  const Tool& tool = *GetParam().tool;
  const Fault fault = GetParam().fault;
  const bool seam = GetParam().ground == Ground::Seam;
  const std::string strace = straceProgram();
  const TempDir scratch;
  const std::string errFile = scratch / "stderr.txt";

  // The expected result: a clean run on sources of its own.
  const std::string reference = scratch / "clean";
  tool.populate(reference);
  const CliRun cleanRun = runCli({}, tool.arguments(reference), errFile);
  ASSERT_EQ(cleanRun.code(), 0) << cleanRun.err;
  const Tree clean = snapshot(reference);

  const std::string root = scratch / "broken";
  fs::create_directories(root);
  const std::string writeFolder = root + "/" + tool.writeFolder;
  std::unique_ptr<SmallFileSystem> small;
  std::unique_ptr<ReadOnlyFolder> readOnly;
  const std::optional<SyscallFault> injected = seam ? std::nullopt : syscallFault(fault, tool, root);
  // The run that breaks, and the runs after it (with the fault lifted, on the same file systems).
  const auto run = [&](const std::vector<std::string>& arguments, bool broken) {
    if (seam) {
      return runOnSeam(arguments, errFile, [&](FaultyFileSystem& disk) {
        arm(disk, broken ? std::optional<Fault>(fault) : std::nullopt, tool, root);
      });
    }
    return runCli(broken && injected ? injected->prefix(strace) : std::vector<std::string>{}, arguments, errFile);
  };
  if (!seam && (fault == Fault::FullDisk || tool.separateFileSystem)) {
    fs::create_directories(writeFolder);
    small = std::make_unique<SmallFileSystem>(writeFolder, size_t{8} << 20);
    if (!small->mounted()) GTEST_SKIP() << "a small file system needs root and mounts";
    tool.populate(root);
    if (fault == Fault::FullDisk) {
      ASSERT_TRUE(small->resize(small->usedBytes() + 4096));
    }
  } else {
    tool.populate(root);
  }
  if (!seam && fault == Fault::ReadOnly) {
    readOnly = std::make_unique<ReadOnlyFolder>(writeFolder);
    ASSERT_TRUE(readOnly->ready());
  }
  if (injected && strace.empty()) GTEST_SKIP() << "strace is not installed";
  if (injected && injected->hitsTheSanitizerRuntime()) GTEST_SKIP() << "the sanitizers write too";
  const Tree before = snapshot(root);

  const CliRun broken = run(tool.arguments(root), true);
  if (kills(fault)) {
    ASSERT_TRUE(broken.killed()) << "the run ended before the kill point, status " << broken.status << "\n" << broken.err;
  } else {
    ASSERT_TRUE(broken.exited()) << broken.status;
    EXPECT_EQ(broken.code(), 1) << broken.err;
    bool named = false;
    for (const std::string& reason : reasons(fault)) named |= broken.err.find(reason) != std::string::npos;
    EXPECT_TRUE(named) << "the failure is not named:\n" << broken.err;
  }
  const Tree after = snapshot(root);
  EXPECT_EQ(joined(damage(before, after, clean, tool)), "");
  if (!kills(fault)) {
    // A run that ends by itself takes its temporary files and the folders it made empty along.
    for (const auto& [path, bytes] : after.files) {
      EXPECT_FALSE(isTemporary(path)) << path;
    }
    for (const std::string& folder : after.folders) {
      if (!before.folders.contains(folder)) {
        EXPECT_FALSE(fs::is_empty(root + "/" + folder)) << "left empty: " << folder;
      }
    }
  }

  if (tool.undoesAKilledRun) {
    // Exactly the killed run is taken back: its files, the folders it made and the copy it left.
    const CliRun undo = run({"classify", "--undo"}, false);
    EXPECT_EQ(undo.code(), 0) << undo.err;
    EXPECT_EQ(treeDifference(withoutTemporaries(snapshot(root)), withoutTemporaries(before)), "");
    EXPECT_EQ(treeDifference(snapshot(reference), clean), "") << "the run before the killed one was touched";
  }

  // The same command again, the fault lifted: it ends as the clean run did and clears the leftovers.
  readOnly.reset();
  if (small) {
    ASSERT_TRUE(small->resize(size_t{8} << 20));
  }
  const CliRun again = run(tool.arguments(root), false);
  const Tree ended = snapshot(root);
  if (fault == KillAtFirstRemoval && tool.movesSources && !tool.undoesAKilledRun) {
    // Killed between a complete copy and the removal of its source, a move leaves the file in both
    // places. A move never replaces an existing file, so the next run names that one as failed and
    // leaves both as they are; nothing is lost and everything else ends where a clean run puts it.
    std::set<std::string> stayed;
    for (const auto& [path, bytes] : before.files) {
      if (const std::string* now = find(ended.files, path); now != nullptr && *now == bytes) stayed.insert(path);
    }
    EXPECT_EQ(stayed.size(), 1u) << joined(std::vector<std::string>(stayed.begin(), stayed.end()));
    EXPECT_EQ(again.code(), 1) << again.err;
    EXPECT_NE(again.err.find(utf8(u8"已存在")), std::string::npos) << again.err;
    EXPECT_EQ(joined(difference(ended, clean, tool, stayed)), "");
    return;
  }
  EXPECT_EQ(again.code(), 0) << again.err;
  EXPECT_EQ(joined(difference(ended, clean, tool)), "");
}

// Replacing never changes what kind of node stands at a target: a symbolic link stays a link to the
// replaced file, a pipe receives the output, a device stays a device.
TEST(ReplacedTargets, KeepTheirKind) {
  const TempDir dir;
  const std::string errFile = dir / "stderr.txt";
  writeBytes(dir / "in.csv", "a,b\n2,x\n1,y\n");
  const std::string sorted = "\"a\",\"b\"\r\n\"1\",\"y\"\r\n\"2\",\"x\"\r\n";
  writeBytes(dir / "real.csv", "old");
  ASSERT_EQ(::symlink("real.csv", (dir / "link.csv").c_str()), 0);
  CliRun run = runCli({}, {"csv", "--sort", "1", "--order", "number", "--asc", "-o", dir / "link.csv", dir / "in.csv"}, errFile);
  EXPECT_EQ(run.code(), 0) << run.err;
  EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
  EXPECT_EQ(readBytes(dir / "real.csv"), sorted);

  const std::string pipe = dir / "pipe.csv";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = readBytes(pipe); });
  run = runCli({}, {"csv", "--sort", "1", "--order", "number", "--asc", "-o", pipe, dir / "in.csv"}, errFile);
  reader.join();
  EXPECT_EQ(run.code(), 0) << run.err;
  EXPECT_EQ(received, sorted);
  EXPECT_TRUE(fs::is_fifo(pipe));

  // Converting over the sources converts the file a linked source names, and keeps the link.
  writeBytes(dir / "elsewhere/book.txt", gb(u8"头发"));
  fs::create_directories(dir / "texts");
  ASSERT_EQ(::symlink((dir / "elsewhere/book.txt").c_str(), (dir / "texts/book.txt").c_str()), 0);
  run = runCli({}, {"transcode", "--overwrite", "--to", "utf8", dir / "texts"}, errFile);
  EXPECT_EQ(run.code(), 0) << run.err;
  EXPECT_TRUE(fs::is_symlink(dir / "texts/book.txt"));
  EXPECT_EQ(readBytes(dir / "elsewhere/book.txt"), "\xEF\xBB\xBF" + utf8(u8"头发"));

  // A device, in a mount namespace of its own so that the machine's /dev is never at stake.
  const std::string script = "mount -t tmpfs none /dev && mknod -m 666 /dev/null c 1 3 && " + std::string(CHENGLING_CLI) +
                             " csv -o /dev/null '" + dir / "in.csv" + "' && test -c /dev/null && echo kept";
  std::string out;
  const int status = runCommand("unshare -m sh -c \"" + script + "\" 2>&1", &out);
  if (out.find("unshare") != std::string::npos || out.find("mount") != std::string::npos) {
    GTEST_SKIP() << "no mount namespace here: " << out;
  }
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out, "kept\n");
}

// A replacement holds its temporary file's lock until the file has its name: another instance that
// starts meanwhile and cleans the folder leaves it alone.
TEST(ReplacedTargets, AnotherInstancesCleanUpWaitsForTheRename) {
  const std::string strace = straceProgram();
  if (strace.empty()) GTEST_SKIP() << "strace is not installed";
  const TempDir dir;
  writeBytes(dir / "in.csv", "a,b\n1,x\n");
  writeBytes(dir / "out/first.csv", "old");
  const pid_t slow = fork();
  if (slow == 0) {
    const int devNull = ::open("/dev/null", O_WRONLY);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    // A sanitizer build's leak check cannot run in a traced process and would fail the run at its end.
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    execl(strace.c_str(), strace.c_str(), "-f", "-qq", "-o", "/dev/null", "-e", "inject=rename:delay_enter=1500000",
          CHENGLING_CLI, "csv", "-o", (dir / "out/first.csv").c_str(), (dir / "in.csv").c_str(), nullptr);
    _exit(127);
  }
  ASSERT_GT(slow, 0);
  // Waits until the first run's complete file lies under its temporary name, ready to be renamed.
  bool waiting = false;
  for (int i = 0; i < 500 && !waiting; ++i) {
    for (const auto& entry : fs::directory_iterator(dir / "out")) waiting |= isTemporary(entry.path().filename());
    if (!waiting) ::usleep(10000);
  }
  ASSERT_TRUE(waiting) << "the first run never reached its rename";
  const CliRun other = runCli({}, {"csv", "-o", dir / "out/second.csv", dir / "in.csv"}, dir / "stderr.txt");
  EXPECT_EQ(other.code(), 0) << other.err;
  int status = 0;
  ASSERT_EQ(waitpid(slow, &status, 0), slow);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(readBytes(dir / "out/first.csv"), "\"a\",\"b\"\r\n\"1\",\"x\"\r\n");
}

// ---------------------------------------------------------------------------------------------
// The undo journal of a classification move on a larger tree.

size_t filesUnder(const std::string& folder) {
  size_t count = 0;
  std::error_code ignored;
  for (const auto& entry : fs::recursive_directory_iterator(folder, ignored)) count += entry.is_regular_file();
  return count;
}

// Moves 30 files cleanly, then 2000 files with a real SIGKILL in the middle (strace at a chosen
// rename, or a kill from outside as soon as a file or folder is seen), then undoes: the 2000 are
// back where they were, the folders the killed run made are gone, and the 30 of the run before stay
// where that run put them.
TEST(UndoJournal, AKilledMoveIsTakenBackExactlyAndTheRunBeforeItStays) {
  const std::string strace = straceProgram();
  struct Kill {
    const char* name;
    int atRename;      // strace kills the run at this rename; 0: killed from outside
    const char* seen;  // killed from outside once this path exists (relative to the scratch folder)
  };
  const Kill kills[] = {{"at the 700th rename", 700, nullptr},
                        {"as soon as its journal is there", 0, ""},
                        {"once its first file has moved", 0, "new/out/1/n10000"},
                        {"once its 501st file has moved", 0, "new/out/6/n10500"}};
  for (const Kill& kill : kills) {
    SCOPED_TRACE(kill.name);
    if (kill.atRename > 0 && strace.empty()) continue;
    const TempDir scratch;  // the first one in a process sets CHENGLING_HOME
    const std::string journal = std::string(std::getenv("CHENGLING_HOME")) + utf8(u8"/归类进行中的记录.txt");
    const std::string errFile = scratch / "stderr.txt";
    for (int i = 0; i < 30; ++i) writeBytes(scratch / ("old/o" + std::to_string(i)), "old " + std::to_string(i));
    ASSERT_EQ(runCli({}, {"classify", "--move", scratch / "old"}, errFile).code(), 0);
    const Tree older = snapshot(scratch / "old");

    for (int i = 0; i < 2000; ++i) writeBytes(scratch / ("new/src/n" + std::to_string(10000 + i)), std::to_string(i));
    const Tree before = snapshot(scratch / "new");
    const std::vector<std::string> arguments = {"classify", "--move", "--per-batch", "100", "--to",
                                                scratch / utf8(u8"new/out/[批次名]/[文件名]"), scratch / "new/src"};
    CliRun killed;
    if (kill.atRename > 0) {
      const SyscallFault fault{"rename,renameat,renameat2", "signal=SIGKILL", kill.atRename, {}};
      killed = runCli(fault.prefix(strace), arguments, errFile);
    } else {
      const std::string seen = *kill.seen ? scratch / kill.seen : journal;
      const pid_t child = startCli({}, arguments, errFile);
      for (int i = 0; i < 400000 && !fs::exists(seen); ++i) ::usleep(25);
      ::kill(child, SIGKILL);
      killed = waitCli(child, errFile);
    }
    const size_t moved = filesUnder(scratch / "new/out");
    SCOPED_TRACE(std::to_string(moved) + " files had moved");
    ASSERT_TRUE(killed.killed()) << killed.status << killed.err;
    if (kill.atRename > 0) {
      EXPECT_EQ(moved, 699u);
    }
    EXPECT_EQ(filesUnder(scratch / "new/src") + moved, 2000u) << "nothing is lost or doubled";

    const CliRun undo = runCli({}, {"classify", "--undo"}, errFile);
    EXPECT_EQ(undo.code(), 0) << undo.err;
    EXPECT_EQ(treeDifference(snapshot(scratch / "new"), before), "");
    EXPECT_EQ(treeDifference(snapshot(scratch / "old"), older), "");
    // A second undo finds the killed run undone and still leaves the run before it alone.
    EXPECT_EQ(runCli({}, {"classify", "--undo"}, errFile).code(), 0);
    EXPECT_EQ(treeDifference(snapshot(scratch / "old"), older), "");
  }
}

// A journal that cannot be written ends the run at once: nothing moves without its record, the
// reason is named, and an undo takes back everything that did move.
TEST(UndoJournal, AJournalThatCannotBeWrittenEndsTheRun) {
  const std::string strace = straceProgram();
  if (strace.empty()) GTEST_SKIP() << "strace is not installed";
  const TempDir scratch;
  const std::string errFile = scratch / "stderr.txt";
  for (int i = 0; i < 300; ++i) writeBytes(scratch / ("src/f" + std::to_string(1000 + i)), std::to_string(i));
  const Tree before = snapshot(scratch.path());
  const std::string journal = std::string(std::getenv("CHENGLING_HOME")) + utf8(u8"/归类进行中的记录.txt");
  // The sixth write of the journal: a few blocks and folders in.
  const SyscallFault full{"write", "error=ENOSPC", 6, {journal}};
  const CliRun run = runCli(full.prefix(strace),
                            {"classify", "--move", "--to", scratch / utf8(u8"out/[批次名]/[文件名]"), scratch / "src"},
                            errFile);
  EXPECT_EQ(run.code(), 1) << run.err;
  EXPECT_NE(run.err.find(journal), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(utf8(u8"磁盘已满")), std::string::npos) << run.err;
  const size_t moved = filesUnder(scratch / "out");
  EXPECT_GT(moved, 0u);
  EXPECT_LT(moved, 300u) << "the run went on without its record";
  EXPECT_EQ(filesUnder(scratch / "src") + moved, 300u);

  const CliRun undo = runCli({}, {"classify", "--undo"}, errFile);
  EXPECT_EQ(undo.code(), 0) << undo.err;
  Tree after = snapshot(scratch.path());
  after.files.erase("stderr.txt");
  EXPECT_EQ(treeDifference(after, before), "");
}

// A source holding a NUL (a 00 byte, or a 00 00 unit in UTF-16) is no text to the modes that decode
// it: it fails with its reason, nothing of it is written, removed or renamed, and the run says so
// and exits with 1. A merge leaves it out and joins the rest.
TEST(NulHoldingSources, FailWithTheirReasonAndStayAsTheyAre) {
  using namespace std::string_literals;
  const std::string separated = "aaaSEPbb\0bbSEPccc"s;
  const std::string utf16 = "\xFF\xFE" "a\0\0\0b\0"s;
  const std::string named = utf8(u8"头发.txt");
  struct Case {
    std::string label;
    std::map<std::string, std::string> sources;  // under the root
    std::vector<std::string> arguments;           // paths relative to the root
    std::string failed;                           // the source named with the reason
    std::string reason;
    std::map<std::string, std::string> after;     // the whole tree afterwards
  };
  const std::string notSplit = utf8(u8"不是文本文件，未分割");
  const std::string notMerged = utf8(u8"不是文本文件，未合并");
  const std::string notConverted = utf8(u8"不是文本文件，未转换");
  const std::vector<Case> cases = {
      {"split at a separator", {{"in/s.txt", separated}}, {"split", "--separator", "SEP", "--delete", "in/s.txt"},
       "in/s.txt", notSplit, {{"in/s.txt", separated}}},
      {"split by characters", {{"in/s.txt", separated}}, {"split", "--chars", "2-3", "--delete", "in/s.txt"},
       "in/s.txt", notSplit, {{"in/s.txt", separated}}},
      {"split by lines with detection", {{"in/s.txt", separated}},
       {"split", "--lines", "1-2", "--detect", "--delete", "in/s.txt"}, "in/s.txt", notSplit, {{"in/s.txt", separated}}},
      {"split utf-16 by lines with detection", {{"in/s.txt", utf16}},
       {"split", "--lines", "1-2", "--detect", "--delete", "in/s.txt"}, "in/s.txt", notSplit, {{"in/s.txt", utf16}}},
      {"merge with decoding", {{"in/a.txt", "a\0b"s}, {"in/c.txt", "c"}},
       {"merge", "--decode", "--delete", "in/a.txt", "in/c.txt"}, "in/a.txt", notMerged,
       {{"in/a.txt", "a\0b"s}, {utf8(u8"a等2个文件.txt"), "c"}}},
      {"transcode over the source", {{"in/t.txt", "x\0y"s}}, {"transcode", "--overwrite", "in/t.txt"}, "in/t.txt",
       notConverted, {{"in/t.txt", "x\0y"s}}},
      {"transcode utf-16 over the source", {{"in/t.txt", utf16}}, {"transcode", "--overwrite", "--to", "ansi", "in/t.txt"},
       "in/t.txt", notConverted, {{"in/t.txt", utf16}}},
      {"transcode over the source with its name", {{"in/" + named, gb(u8"头发") + "\0"s}},
       {"transcode", "--overwrite", "--names", "--chinese", "s2t", "in/" + named}, "in/" + named, notConverted,
       {{"in/" + named, gb(u8"头发") + "\0"s}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const TempDir dir;
    const std::string root = dir / "root";
    for (const auto& [path, bytes] : c.sources) writeBytes(root + "/" + path, bytes);
    std::vector<std::string> arguments;
    for (const std::string& a : c.arguments) arguments.push_back(c.sources.contains(a) ? root + "/" + a : a);
    const CliRun run = runCli({}, arguments, dir / "stderr.txt");
    EXPECT_EQ(run.code(), 1) << run.err;
    EXPECT_NE(run.err.find(root + "/" + c.failed + utf8(u8"：") + c.reason), std::string::npos) << run.err;
    EXPECT_EQ(snapshot(root).files, c.after);
  }
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  return std::string(info.param.tool->name) + "_" + faultName(info.param.fault);
}

INSTANTIATE_TEST_SUITE_P(EveryTool, FaultInjection, ::testing::ValuesIn(cases()), caseName);
// The seam's faults made by the kernel: the outcome the seam promises is the one the kernel gives.
INSTANTIATE_TEST_SUITE_P(AgainstTheKernel, FaultInjection, ::testing::ValuesIn(kernelTwins()), caseName);

}  // namespace
}  // namespace chengling::testing
