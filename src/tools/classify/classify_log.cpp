#include "tools/classify/classify_log.h"

#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

bool wellFormedUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t pos = 0; pos < bytes.size();) {
    char32_t codePoint = 0;
    const size_t length = readUtf8(p + pos, bytes.size() - pos, codePoint);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

bool needsEscapes(std::string_view native) {
  return native.find_first_of("\r\n") != std::string_view::npos || (!native.empty() && native.front() == '\\');
}

// The path of an escaped line (its leading "\" already taken off). An escape it does not know stays
// as it stands.
std::string unescape(std::string_view escaped) {
  std::string path;
  path.reserve(escaped.size());
  for (size_t pos = 0; pos < escaped.size(); ++pos) {
    const char c = escaped[pos];
    if (c != '\\' || pos + 1 == escaped.size()) {
      path += c;
      continue;
    }
    const char next = escaped[pos + 1];
    if (next == '\\' || next == 'n' || next == 'r') {
      path += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
      ++pos;
    } else {
      path += c;
    }
  }
  return path;
}

}  // namespace

std::string logLine(std::string_view path) {
  const std::string native = nativeFromInternal(path);
  if (!needsEscapes(native)) return native + '\n';
  std::string line = "\\";
  for (const char c : native) {
    if (c == '\\') {
      line += "\\\\";
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else {
      line += c;
    }
  }
  return line + '\n';
}

std::string logLinePath(std::string_view line) {
  return internalFromNative(!line.empty() && line.front() == '\\' ? unescape(line.substr(1)) : std::string(line));
}

std::vector<std::string> readLogLines(std::string_view bytes) {
  const bool crlf = bytes.find("\r\n") != std::string_view::npos;
  // An earlier version's log: GBK, which is internal text as it stands.
  if (crlf && !wellFormedUtf8(bytes)) return splitText(bytes, "\r\n");
  std::vector<std::string> lines = splitText(bytes, crlf ? "\r\n" : "\n");
  for (std::string& line : lines) line = logLinePath(line);
  return lines;
}

}  // namespace chengling
