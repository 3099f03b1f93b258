#pragma once
// Shared fixtures of the tests: temporary folders and whole-file reads and writes. Paths here are
// native bytes (tests create names that are not valid UTF-8 on purpose); the engines get them
// through internalFromNative where that matters.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace chengling::testing {

// A fresh folder under $TMPDIR, removed with everything in it when the object goes. The first one
// made in a process also points CHENGLING_HOME at a folder of its own.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(std::string_view relative) const;

 private:
  std::string path_;
};

// Writes `bytes` to `path`, creating its folders. Aborts the test on failure.
void writeBytes(const std::string& path, std::string_view bytes);
// The file's bytes; empty when it cannot be read.
std::string readBytes(const std::string& path);
bool exists(const std::string& path);
// Names in a folder, sorted by bytes; files and folders alike.
std::vector<std::string> listNames(const std::string& folder);
// Runs a command through the shell; returns its exit status and fills `out` with its standard output.
int runCommand(const std::string& command, std::string* out = nullptr);
// `size` bytes of every value, the same for the same seed.
std::string randomBytes(size_t size, unsigned seed);
// Files that are no text, `size` bytes each: a PNG picture's signature and header (NULs among them)
// before random data; machine data without a single NUL (random bytes, 00 made 01).
std::string pngLikeBytes(size_t size, unsigned seed);
std::string binaryWithoutNul(size_t size, unsigned seed);
// The bytes of a UTF-8 literal as they are (no conversion).
std::string utf8(std::u8string_view text);
// "E4 B8 AD " and so on: bytes made readable in a failure message.
std::string hex(std::string_view bytes);
// Internal text (GB18030) of a UTF-8 literal, through iconv(1)-independent conversion.
std::string gb(std::u8string_view utf8);
// `bytes` converted by iconv(3) alone, in one call: the reference that the table-driven conversions
// must match. Aborts the test when iconv refuses any of the input.
std::string iconvBytes(std::string_view bytes, const char* from, const char* to);

}  // namespace chengling::testing
