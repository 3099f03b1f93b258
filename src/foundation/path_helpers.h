#pragma once
// Pure functions on path text (internal text, "/" as separator).

#include <string>
#include <string_view>

namespace chengling {

inline constexpr char kPathSeparator = '/';

// The part after the last separator; the whole path when there is none.
std::string PathFileName(std::string_view path);
// The part before the last separator, without it; empty when there is none.
std::string PathDirectory(std::string_view path);
// PathFileName without its last dot and what follows; unchanged when the name has no dot.
std::string PathBaseName(std::string_view path);
// What follows the last dot of PathFileName; empty when there is no dot.
std::string PathExtension(std::string_view path);

// `folder` with a separator at its end (added only when missing; an empty folder stays empty).
std::string withTrailingSeparator(std::string_view folder);
// `path` made absolute against `currentFolder` (both internal text), with "." and ".." resolved
// and doubled or trailing separators removed, so that the folder rules see real parents.
std::string absolutePath(std::string_view path, std::string_view currentFolder);

// `base` + "/" + `name`, with exactly one separator between them.
std::string joinPath(std::string_view base, std::string_view name);

}  // namespace chengling
