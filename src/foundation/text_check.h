#pragma once
// Whether a source is text at all. A decode takes any bytes, but a file that is no text (a picture, a
// program, an archive) does not survive being read as text and written back: the text ends at its
// first NUL, and bytes its encoding cannot read become replacement characters. The tools that decode
// and write (transcoding, the split modes that decode, merging with decoding) leave such a file alone
// and say so, before anything of it is written.
//
// The body of a source is what its decode reads as text: the bytes after a byte-order mark (or the
// whole content when it is taken as raw bytes). The body is no text when it holds
//  - a NUL: a 00 byte, or in UTF-16 a 00 00 unit;
//  - or, in its first kTextProbeBytes, more bytes that its encoding cannot read than one in
//    kUnreadableShare, and more than a single broken character's worth (kBrokenCharacterBytes);
//  - or, when it is converted (UTF-8, UTF-16, BIG5), more replacement characters (U+FFFD, which the
//    converter puts for what it cannot read) in the whole text than that same share of its bytes
//    allows.
// One in a hundred keeps a text with a few damaged characters (a cut, a stray byte) a text, while
// compressed or machine data misses it by far: random bytes are about one fifth unreadable as GBK,
// more than half as UTF-8, a few hundredths as UTF-16 (lone surrogates), and hold NULs besides.
// The probe keeps the judgement cheap on large files: one short scan, plus what a decode sees anyway
// (a NUL ends its text; the converter counts its replacements).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "foundation/text_codec.h"

namespace chengling {

inline constexpr size_t kTextProbeBytes = size_t{64} << 10;
inline constexpr int64_t kUnreadableShare = 100;
inline constexpr int64_t kBrokenCharacterBytes = 4;

// What a decode saw of its body.
struct TextVerdict {
  bool nul = false;
  int64_t probeBytes = 0;       // bytes of the probe (the start of the body)
  int64_t probeUnreadable = 0;  // of them, bytes the encoding cannot read
  int64_t bodyBytes = 0;
  int64_t replacements = 0;     // U+FFFD in the converted text (0 when it was taken as raw bytes)

  bool isText() const;
};

// Whether `bad` of `total` bytes are more than text may hold.
bool tooManyUnreadable(int64_t bad, int64_t total);

// Bytes of `bytes` that `encoding` cannot read: GB18030 for Ansi (and Detect) and UTF-8 as the
// charset converter reads them, UTF-16 by its surrogates (a lone one; an odd byte at the end), BIG5
// by the forms of its lead and trail bytes. NULs are not counted here. `atEnd` says that `bytes` ends
// where the body ends; otherwise a character cut off by its end is not counted.
int64_t unreadableBytes(std::string_view bytes, TextEncoding encoding, bool atEnd);

// Whether `body` holds a NUL in `encoding`: a 00 byte, or in UTF-16 a 00 00 unit.
bool holdsNul(std::string_view body, TextEncoding encoding);

// The verdict on a body held whole; `replacements` is the decode's own count.
TextVerdict judgeBody(std::string_view body, TextEncoding encoding, int64_t replacements);

}  // namespace chengling
