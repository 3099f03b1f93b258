#pragma once
// DecodeText of a file, streamed: the file is read in pieces of a fixed size and its internal text
// handed on in pieces, so that no file is ever held whole. Detection gives DecodeText's answer;
// where it needs the whole file (no mark: the meta tags and the UTF-8 check), a first pass reads it
// through once. A text that is no UTF-8 from its first piece on goes to the sink as raw bytes during
// that pass, so the common case reads the file once. gzip content is not streamed: the caller
// decodes it whole.
//
// With `textOnly`, a source that is no text (text_check.h) ends the decode with Status::NotText as
// soon as that is known: before anything is handed on when the start of its body shows it (a NUL or
// too many unreadable bytes in the probe), else at the NUL or the replacement that settles it. The
// sink's text is then void.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/file_system_calls.h"
#include "foundation/text_codec.h"

namespace chengling {

// Bytes read at a time: small enough that a piece is still in the processor's cache when it has
// been converted and is written out (the kernel copies a cold buffer into the page cache at a
// fraction of the speed).
inline constexpr size_t kStreamPieceBytes = size_t{1} << 20;

// Takes the text of a streamed decode.
class TextSink {
 public:
  virtual ~TextSink() = default;
  // Called before any text with the code the decode uses (1 to 6); false gives up. Called again,
  // the text so far is void: the decode starts over (a meta tag at the end of a text that was
  // taken as raw bytes).
  virtual bool begin(TextEncoding used) = 0;
  // A piece of the text, never empty; false gives up.
  virtual bool put(std::string_view text) = 0;
};

struct StreamedDecode {
  enum class Status {
    Done,        // the whole text went to the sink
    Unreadable,  // the file could not be opened or read (the sink may have had some text)
    Stopped,     // `stopped` said so between two pieces
    Refused,     // the sink gave up
    Compressed,  // gzip content: not streamed, nothing was handed on
    NotText,     // with textOnly: the source is no text (the sink's text, if any, is void)
  };
  Status status = Status::Unreadable;
  TextEncoding used = TextEncoding::Detect;
  int64_t textBytes = 0;     // bytes of internal text handed on
  bool replacement = false;  // the text holds U+FFFD (a byte the source charset could not decode)
  int64_t replacements = 0;  // how many
  // The source held a NUL (a NUL unit in UTF-16 after the first two bytes), where the text ends.
  bool heldNul = false;
  std::string error;         // the reason, when Unreadable
};

// Decodes the file at `path` as DecodeText(path, forced, ...) does, into `sink`. `stopped` is asked
// after every piece read.
StreamedDecode decodeFileStreamed(FileSystem& fs, std::string_view path, TextEncoding forced, TextSink& sink,
                                  const std::function<bool()>& stopped = {},
                                  size_t pieceBytes = kStreamPieceBytes, bool textOnly = false);
inline StreamedDecode decodeFileStreamed(std::string_view path, TextEncoding forced, TextSink& sink,
                                         const std::function<bool()>& stopped = {},
                                         size_t pieceBytes = kStreamPieceBytes, bool textOnly = false) {
  return decodeFileStreamed(posixFileSystem(), path, forced, sink, stopped, pieceBytes, textOnly);
}

}  // namespace chengling
