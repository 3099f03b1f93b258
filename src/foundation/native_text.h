#pragma once
// The one place where internal text meets the outside world's bytes: native file names and the
// terminal (UTF-8 on Linux). Qt strings go through src/platform/qt_text.h, which builds on this.
//
// A native name that is not valid UTF-8 must survive a round trip: each byte that is not part of a
// valid UTF-8 sequence becomes the private-use character U+F780 + (byte - 0x80) in internal text,
// and turns back into that byte on the way out. A valid name that itself holds a character of that
// range is escaped byte by byte the same way, so native -> internal -> native is always exact.

#include <string>
#include <string_view>

namespace chengling {

// Native bytes (a file name, an argument, a line read from the terminal) to internal text.
std::string internalFromNative(std::string_view native);

// Internal text to native bytes; the escapes above become their original bytes again.
std::string nativeFromInternal(std::string_view internal);

// Plain UTF-8 conversions without escapes, for text that is not a name (clipboard, widgets).
// Bytes that cannot be converted become U+FFFD (or "?" where the target cannot hold it).
std::string utf8FromInternal(std::string_view internal);
std::string internalFromUtf8(std::string_view utf8);

}  // namespace chengling
