#pragma once
// Internal text written in an output encoding straight into a file. The bytes are exactly those that
// EncodeText gives, but valid text is encoded piece by piece from the GB18030 table, so a large file
// never exists twice in memory and the conversion runs at table speed.

#include <string>
#include <string_view>

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
EncodedWrite writeEncodedFile(std::string_view path, std::string_view text, TextEncoding encoding, bool replace);

// The same bytes in memory.
std::string encodedBytes(std::string_view text, TextEncoding encoding, bool* lossy = nullptr);

}  // namespace chengling
