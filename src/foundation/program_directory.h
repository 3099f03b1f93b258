#pragma once
// The program directory: where the settings value file, its "inibin" folder and the classification
// logs live. Internal text, without a trailing separator.

#include <string>
#include <string_view>

namespace chengling {

// What the choice depends on, gathered once so that the rule can be checked on its own.
struct ProgramDirectoryInputs {
  std::string override;           // $CHENGLING_HOME, native bytes; empty when unset
  std::string executableFolder;   // folder of the running executable, native bytes
  bool portableMarker = false;    // a file named "portable" stands in that folder
  std::string xdgConfigHome;      // $XDG_CONFIG_HOME, native bytes; empty when unset
  std::string home;               // $HOME, native bytes
};

// CHENGLING_HOME when set; else the executable's folder when a file named "portable" stands beside
// the executable (a portable copy); else $XDG_CONFIG_HOME/chengling, or ~/.config/chengling when
// XDG_CONFIG_HOME is unset or not absolute. A writable build or install folder alone is never chosen:
// deleting it would take the user's settings with it. Internal text.
std::string resolveProgramDirectory(const ProgramDirectoryInputs& inputs);

// The rule above applied to this process (the executable is found through /proc/self/exe). The
// folder may not exist yet in the fallback cases: writers create it with MakeDirectories.
std::string programDirectory();

}  // namespace chengling
