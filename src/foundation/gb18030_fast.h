#pragma once
// Table-driven conversion between GB18030 and UTF-8 for the ordinary characters of large texts, the
// hot path of decoding and writing files. The tables are read from iconv itself on first use (about
// 10 ms), so every converted character comes out byte for byte as iconv gives it; what the tables do
// not hold (ill-formed input, characters outside the Basic Multilingual Plane, the few that iconv
// maps otherwise) is left to the caller, which hands it to iconv.

#include <cstddef>

namespace chengling::gb18030 {

// Converts from the start of `in` and stops before the first character it does not handle.
// `out` must have room for 2 output bytes per input byte (to GB18030) or 3 per 2 (to UTF-8).
// Returns the input bytes consumed; `produced` receives the output bytes written.
size_t fromUtf8(const unsigned char* in, size_t size, unsigned char* out, size_t& produced);
size_t toUtf8(const unsigned char* in, size_t size, unsigned char* out, size_t& produced);

// The first position after `from` where a character starts whatever came before it (an ASCII byte
// in UTF-8; the byte after one below 0x30 in GB18030, which no multi-byte character contains);
// `size` when there is none. A piece of input between two such positions converts on its own
// exactly as it does inside the whole.
size_t nextUtf8Restart(const unsigned char* in, size_t size, size_t from);
size_t nextGb18030Restart(const unsigned char* in, size_t size, size_t from);

}  // namespace chengling::gb18030
