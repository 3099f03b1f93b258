#include "foundation/program_directory.h"

#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "foundation/native_text.h"

namespace chengling {
namespace {

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string environment(const char* name) {
  const char* value = getenv(name);
  return value ? std::string(value) : std::string();
}

std::string executableFolder() {
  std::vector<char> buffer(4096);
  while (true) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return std::string();
    if (static_cast<size_t>(length) < buffer.size()) {
      std::string path(buffer.data(), static_cast<size_t>(length));
      const size_t slash = path.rfind('/');
      return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string resolveProgramDirectory(const ProgramDirectoryInputs& inputs) {
  std::string native;
  if (!inputs.override.empty()) {
    native = inputs.override;
  } else if (!inputs.executableFolder.empty() && inputs.portableMarker) {
    native = inputs.executableFolder;
  } else if (!inputs.xdgConfigHome.empty() && inputs.xdgConfigHome.front() == '/') {
    native = withoutTrailingSlashes(inputs.xdgConfigHome) + "/chengling";
  } else {
    native = withoutTrailingSlashes(inputs.home) + "/.config/chengling";
  }
  return internalFromNative(withoutTrailingSlashes(native));
}

std::string programDirectory() {
  ProgramDirectoryInputs inputs;
  inputs.override = environment("CHENGLING_HOME");
  if (inputs.override.empty()) {
    inputs.executableFolder = executableFolder();
    struct stat marker {};
    inputs.portableMarker = !inputs.executableFolder.empty() &&
                            stat((inputs.executableFolder + "/portable").c_str(), &marker) == 0 &&
                            S_ISREG(marker.st_mode);
    inputs.xdgConfigHome = environment("XDG_CONFIG_HOME");
    inputs.home = environment("HOME");
    if (inputs.home.empty()) {
      if (const passwd* entry = getpwuid(getuid())) inputs.home = entry->pw_dir ? entry->pw_dir : "";
    }
  }
  return resolveProgramDirectory(inputs);
}

}  // namespace chengling
