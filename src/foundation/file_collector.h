#pragma once
// Turns what the user hands over into ordered path lists, and lists folders through file-type
// patterns. Paths are internal text with "/" as separator.

#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_system_calls.h"

namespace chengling {

using PathList = std::vector<std::string>;

enum class ListingKind { Files, Folders };

// Standard: the pattern list is cut at "|" and each pattern lists in turn. Alternative (Ctrl held
// when a split or merge starts, --alt-matcher): the whole list is one pattern.
enum class Matcher { Standard, Alternative };

// Adds to `list` the entries of `folder` (not of its subfolders) that match `patterns`; without
// `append` the list is emptied first. Entries of one pattern come in ascending name order, ASCII
// case ignored. Returns the number of entries in the list. A missing folder adds nothing.
int ListFolder(FileSystem& fs, std::string_view folder, std::string_view patterns, ListingKind kind, bool append,
               Matcher matcher, PathList& list);
inline int ListFolder(std::string_view folder, std::string_view patterns, ListingKind kind, bool append,
                      Matcher matcher, PathList& list) {
  return ListFolder(posixFileSystem(), folder, patterns, kind, append, matcher, list);
}

// Wildcard match: * any run, ? one character (a double-byte character counts one), ASCII case
// ignored; "*.*" matches every name, also one without a dot.
bool wildcardMatch(std::string_view name, std::string_view pattern);

// The text form of a path list: paths joined by CR LF, no break after the last. Reading cuts at
// every CR LF (a lone LF is accepted as well); an empty piece between two breaks is an empty path; a
// trailing break adds nothing.
PathList pathListFromText(std::string_view text);
std::string pathListToText(const PathList& list);

// The lines of a list file's bytes: decoded with detection, cut at every LF with a CR before it
// dropped (also one that ends the last line); a trailing break adds nothing.
std::vector<std::string> listFileLines(std::string_view bytes);

// Name order of the listings: ASCII case ignored, bytes otherwise; ties broken by the bytes.
bool nameLess(std::string_view a, std::string_view b);

}  // namespace chengling
