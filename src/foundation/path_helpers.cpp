#include "foundation/path_helpers.h"

#include <vector>

namespace chengling {

std::string PathFileName(std::string_view path) {
  const size_t slash = path.rfind(kPathSeparator);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string PathDirectory(std::string_view path) {
  const size_t slash = path.rfind(kPathSeparator);
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::string PathBaseName(std::string_view path) {
  std::string name = PathFileName(path);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

std::string PathExtension(std::string_view path) {
  const std::string name = PathFileName(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string withTrailingSeparator(std::string_view folder) {
  std::string result(folder);
  if (!result.empty() && result.back() != kPathSeparator) result += kPathSeparator;
  return result;
}

std::string joinPath(std::string_view base, std::string_view name) {
  while (!name.empty() && name.front() == kPathSeparator) name.remove_prefix(1);
  if (base.empty()) return std::string(name);
  return withTrailingSeparator(base) + std::string(name);
}

std::string absolutePath(std::string_view path, std::string_view currentFolder) {
  std::string joined = !path.empty() && path.front() == '/'
                           ? std::string(path)
                           : std::string(currentFolder) + "/" + std::string(path);
  std::vector<std::string_view> parts;
  const std::string_view view = joined;
  size_t pos = 0;
  while (pos <= view.size()) {
    size_t slash = view.find('/', pos);
    if (slash == std::string_view::npos) slash = view.size();
    const std::string_view part = view.substr(pos, slash - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = slash + 1;
  }
  std::string result;
  for (const std::string_view part : parts) result.append("/").append(part);
  return result.empty() ? "/" : result;
}

}  // namespace chengling
