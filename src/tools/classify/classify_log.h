#pragma once
// The lines of the classification logs (before, after, failures and the folders a run made): what
// a run writes and what an undo reads back.
//
// A log holds one path a line, in the file names' own bytes (UTF-8 on Linux), each line ended by LF,
// so that any text editor or `grep` reads it. A path holding a line break, or starting with "\",
// is written as sha256sum writes such names: "\" first, then the path with "\" as "\\", LF as
// "\n" and CR as "\r". A log written this way never holds a CR at all.
//
// Earlier versions wrote GBK with CR LF after each line. A log that holds CR LF and is not valid
// UTF-8 is read as such; one that holds CR LF and is valid UTF-8 (ASCII paths only, or a log that
// an editor saved with CR LF) is read as UTF-8 split at CR LF.

#include <string>
#include <string_view>
#include <vector>

namespace chengling {

// The log line of `path` (internal text), its LF included.
std::string logLine(std::string_view path);

// The path of one line that logLine wrote, without its LF, as internal text.
std::string logLinePath(std::string_view line);

// The paths of a log's bytes, as internal text, in order; an empty line is an empty path.
std::vector<std::string> readLogLines(std::string_view bytes);

}  // namespace chengling
