#pragma once
// What every subcommand of chengling-cli shares: exit codes, the terminal's run context, the Ctrl-C
// stop request and the conversions between arguments, output and internal text.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/progress_line.h"
#include "foundation/run_context.h"

namespace chengling::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;

// A subcommand: its CLI11 node and what runs when it was chosen (returns the exit code).
struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
};

// The tools that read and write files work on `fs`.
Command addSplitCommand(CLI::App& parent, FileSystem& fs);
Command addMergeCommand(CLI::App& parent, FileSystem& fs);
Command addTranscodeCommand(CLI::App& parent, FileSystem& fs);
Command addClassifyCommand(CLI::App& parent, FileSystem& fs);
Command addCsvCommand(CLI::App& parent, FileSystem& fs);
Command addResolveCommand(CLI::App& parent);

// Runs the command line; the whole of main(). The tools' files are read and written through `fs`
// (a test passes one that fails on purpose).
int runCli(int argc, char** argv, FileSystem& fs = posixFileSystem());

// Reports to the terminal: failures and warnings on standard error as they happen; a progress line
// (item, count, rate) on standard error only when it is a terminal and --quiet was not given. The
// first Ctrl-C requests a stop (the current item finishes); the second ends the process at once.
// One instance at a time.
class TerminalRunContext : public RunContext {
 public:
  explicit TerminalRunContext(ProgressUnit unit = ProgressUnit::Items);
  ~TerminalRunContext() override;

  void progress(int64_t position, int64_t maximum) override;
  void status(std::string_view text) override;
  void phase(std::string_view text) override;
  void failure(std::string_view item, std::string_view reason) override;
  void warning(std::string_view item, std::string_view reason) override;

  int64_t failureCount() const { return failures_; }

  // Takes the line off the screen so that other output starts at the left margin; the next report
  // draws it again.
  void clearLine();

 protected:
  void onCheckpoint() override;

 private:
  // Redraws the line at most every 100 ms; a change held back is drawn at a later checkpoint.
  void draw();

  ProgressUnit unit_;
  bool terminal_ = false;
  int64_t failures_ = 0;
  ProgressSnapshot shown_;
  bool pending_ = false;
  bool drawn_ = false;
  int64_t lastDraw_ = 0;
  int64_t rateSince_ = 0;  // when the rate was last reset, ms
  int64_t rateFrom_ = 0;   // the position at that time
};

// Restricts `option` to the values `names`; its help shows them in place of a type ("{a,b,c}").
void choices(CLI::Option* option, const std::vector<std::string>& names);

// --quiet: no progress line, even on a terminal. Set once, before any run.
void setQuiet(bool quiet);

// An argument (terminal bytes) as internal text, and internal text as terminal bytes.
std::string fromArgument(std::string_view argument);
std::string toTerminal(std::string_view internal);

// An argument as the absolute path a drop would hand over ("." and ".." resolved against the
// current folder), in internal text.
std::string absoluteArgument(std::string_view argument);

// The path arguments of `tool` as absolute paths, as a drop hands them over. False, with the missing
// one named on standard error, when a path does not exist (a usage error).
bool existingPaths(const std::vector<std::string>& arguments, std::string_view tool,
                   std::vector<std::string>& paths);

// Writes result bytes to standard output. A failed write is remembered: finishOutput names it and
// turns the exit status into 1; nothing more is written after it.
void writeOutput(std::string_view bytes);

// Hands what standard output holds to the file now, remembering a failure the way writeOutput does.
void flushOutput();
// Flushes and closes standard output at the end of a run; returns `code`, or 1 when results could
// not be written (named on standard error).
int finishOutput(int code);

// Writes internal text plus "\n" to standard output / standard error, in the terminal's encoding.
void printLine(std::string_view internal);
void printError(std::string_view internal);

// Reads a list file (or standard input for "-"): decoded with detection, LF or CR LF line ends, a
// trailing break adds nothing. False with a message on standard error when it cannot be read.
bool readListFile(std::string_view path, std::vector<std::string>& lines);

}  // namespace chengling::cli
