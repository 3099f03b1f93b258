#pragma once
// The one encoder of internal text into an output encoding, in memory or straight into a file
// (text_codec.h's EncodeText and encodedText are built on it). Valid text goes to UTF-8 and UTF-16
// piece by piece from the GB18030 table, so a large file never exists twice in memory and the
// conversion runs at table speed; whatever the table cannot take (a byte that starts no character)
// and every other encoding goes through the charset converter, whose replacements decide the bytes.

#include <memory>
#include <string>
#include <string_view>

#include "foundation/file_system_calls.h"
#include "foundation/text_codec.h"

namespace chengling {

struct EncodedWrite {
  bool ok = false;
  // Some character could not be represented (or some byte was no character): the file holds the
  // converter's replacement there.
  bool lossy = false;
  std::string error;  // a reason without the file name, when !ok
};

// Writes `text` in `encoding` to `path` through an AtomicFile. With `replace` false an existing file
// is not replaced (the write fails with the reason for EEXIST). The folder must exist.
EncodedWrite writeEncodedFile(FileSystem& fs, std::string_view path, std::string_view text, TextEncoding encoding,
                              bool replace);
inline EncodedWrite writeEncodedFile(std::string_view path, std::string_view text, TextEncoding encoding, bool replace) {
  return writeEncodedFile(posixFileSystem(), path, text, encoding, replace);
}

// Internal text that arrives in pieces, written in `encoding` through an AtomicFile: the file gets
// the bytes writeEncodedFile writes for the whole text. Each piece is encoded while the one before
// is still being written. Destroyed without commit(), it leaves nothing behind.
class EncodedFileStream {
 public:
  explicit EncodedFileStream(FileSystem& fs = posixFileSystem());
  ~EncodedFileStream();
  EncodedFileStream(const EncodedFileStream&) = delete;
  EncodedFileStream& operator=(const EncodedFileStream&) = delete;

  // The folder must exist. False with `error` set when the file cannot be made.
  bool open(std::string_view path, TextEncoding encoding, std::string* error);
  // False when writing failed (see the error of commit()).
  bool put(std::string_view text);
  // Writes the rest and renames the file over `path` (see writeEncodedFile's `replace`).
  EncodedWrite commit(bool replace);
  // Why the last put() failed.
  const std::string& error() const;

 private:
  struct State;
  FileSystem* fs_;
  std::unique_ptr<State> state_;
};

// The bytes of `text` in `encoding`, into `bytes` (whose storage a caller may reuse): codes 2 to 7
// are converted (2, 3, 4 with their mark in front unless the conversion gave nothing, in which case
// the text's own bytes stand without a mark); 0 and 1 take the bytes unchanged. True when something
// was lost: a character could not be represented or a byte was no character (the converter's
// replacement is in their place), or nothing converted and the text's own bytes stand instead.
bool encodeInto(std::string& bytes, std::string_view text, TextEncoding encoding);

// The same bytes as a new string.
std::string encodedBytes(std::string_view text, TextEncoding encoding, bool* lossy = nullptr);

}  // namespace chengling
