#pragma once
// Names and writes the pieces of one source: base_n or content-based names, every piece through an
// AtomicFile, so a failed or interrupted piece never leaves a partial file behind.

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <unordered_set>

#include "foundation/file_system.h"
#include "foundation/run_context.h"
#include "foundation/text_codec.h"

namespace chengling {

struct PieceNaming {
  std::string folder;  // the output folder, ending with a separator
  std::string source;  // the source's path: base name and extension of the pieces
  bool contentNames = false;
  // Detect while the source is handled as raw bytes; otherwise the encoding pieces are written in
  // (Utf8 and up are encoded back from internal text, with their marks).
  TextEncoding encoding = TextEncoding::Detect;
};

// Content names come from at most this much of a piece's start.
inline constexpr size_t kNameSample = size_t{1} << 20;
// Longest native name (with extension) a content name may give; leaves room for the temporary name.
inline constexpr size_t kContentNameBytes = 200;

// base + "_" + number, cut to 100 characters without losing the "_" + number part.
std::string baseNumberName(std::string_view base, int64_t number);

// The content-based name of a piece whose start is `sample`, or "" when ten attempts gave no usable
// name whose file does not exist yet. Attempts 1-3 want phrases of 15 characters, 4-6 of 10, 7-10
// of 5.
std::string contentName(const PieceNaming& naming, std::string_view sample, std::mt19937_64& random);

// Streams one piece at a time. Failures are reported through the RunContext with the piece's path
// and the reason; after one, the calls of that piece return false.
class PieceWriter {
 public:
  PieceWriter(PieceNaming naming, const std::unordered_set<std::string>& protectedPaths,
              RunContext& ctx, std::mt19937_64& random);

  void begin(int64_t number);
  bool append(std::string_view bytes);
  // Copies up to `length` bytes from `reader`'s position into the piece: in the kernel once the
  // piece's file is open, through a small reused buffer while a content name still waits for its
  // sample. Returns the number copied (fewer when the file ends first), or -1: a write failure is
  // reported with the piece's path, a read failure only fills `readError` (the caller names the
  // source).
  int64_t copyFrom(FileReader& reader, int64_t length, std::string& readError);
  // Names the piece when that is still open, writes what is held and commits.
  bool finish();
  const std::string& path() const { return path_; }
  // Bytes appended to the current piece.
  int64_t size() const { return size_; }

 private:
  bool open(std::string_view sample);
  bool fail(std::string_view reason);

  PieceNaming naming_;
  const std::unordered_set<std::string>& protected_;
  RunContext& ctx_;
  std::mt19937_64& random_;
  std::string extension_;
  int64_t number_ = 0;
  std::string path_;
  bool contentNamed_ = false;
  AtomicFile file_;
  int64_t size_ = 0;
  std::string held_;  // bytes before the name is known, or the whole piece when it is encoded
  std::unique_ptr<char[]> chunk_;  // copyFrom's buffer before the file is open
  bool failed_ = false;
};

}  // namespace chengling
