#pragma once
// The one place that turns file contents or received bytes into internal text (GB18030), detecting
// the source encoding when asked, and turns internal text back into bytes of a chosen encoding.
// The conversions themselves are charset_conversion.h's, the detection encoding_detection.h's.
// Stateless; safe from any thread.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/file_system_calls.h"

namespace chengling {

struct TextVerdict;

// Encoding codes every tool records for its inputs so that output is written the same way.
enum class TextEncoding : int {
  Detect = 0,     // input only: detect
  Ansi = 1,       // bytes taken as internal text unchanged
  Utf8 = 2,       // mark EF BB BF
  Utf16Le = 3,    // mark FF FE
  Utf16Be = 4,    // mark FE FF
  Big5 = 5,
  Big5Hkscs = 6,
  Utf8NoMark = 7,  // output only: UTF-8 without a mark (a decode takes it as Utf8)
};

// The iconv name of an encoding code; empty for Detect and Ansi.
std::string_view charsetName(TextEncoding encoding);

// The byte-order mark written in front of text in an encoding: EF BB BF, FF FE, FE FF for codes 2,
// 3, 4; empty for the others (Utf8NoMark included).
std::string_view byteOrderMark(TextEncoding encoding);

// Upper bound of GunzipBytes' output: a stream that inflates further stops there.
inline constexpr size_t kGunzipLimit = size_t{256} << 20;

// The encoding that the start of `content` declares, as detection reads it before it looks at the
// bytes themselves: a byte-order mark (`start` receives its length), else a charset declared in an
// HTML meta tag; Detect when neither.
TextEncoding declaredEncoding(std::string_view content, size_t& start);

// The encoding detection takes for `content` that has no mark, no declaration and is no UTF-8:
// Ansi (GBK), or on strong evidence Big5, Utf16Le or Utf16Be (GuessUnmarkedEncoding).
TextEncoding guessedEncoding(std::string_view content);
TextEncoding guessedEncoding(std::string_view prefix, size_t totalSize);

// Decodes exactly one source to internal text: the file at `path` when it is not empty, else
// `bytes` when not empty, else `text` (as its own bytes). gzip content (1F 8B) is inflated first.
// `forced` Detect detects (mark, HTML declaration, UTF-8 check, then guessedEncoding; a text with a
// NUL byte that guessedEncoding takes for UTF-16 is UTF-16 even when it passes the UTF-8 check);
// other codes are used as given.
// `used` receives the code actually used (1 to 6). A file that cannot be read gives the empty text
// and leaves `used` untouched. The result ends at the first NUL of the converted text.
// `stopped`, when given, is asked between rounds of a large conversion; once it says so, the
// decode gives the empty text and leaves `used` untouched (a stop request answered within a round).
// `verdict`, when given, receives whether the content was text at all (text_check.h), judged on the
// body in the code used.
// The file is read through `fs` (the real file system in the form without it).
std::string DecodeText(FileSystem& fs, std::string_view path, TextEncoding forced, std::string_view bytes,
                       std::string_view text, TextEncoding& used, const std::function<bool()>& stopped = {},
                       TextVerdict* verdict = nullptr);
inline std::string DecodeText(std::string_view path, TextEncoding forced, std::string_view bytes,
                              std::string_view text, TextEncoding& used, const std::function<bool()>& stopped = {},
                              TextVerdict* verdict = nullptr) {
  return DecodeText(posixFileSystem(), path, forced, bytes, text, used, stopped, verdict);
}

// DecodeText of `content` that keeps every byte of the converted text: a NUL stays in it with all
// that follows, for a tool that carries NULs as the bytes they are (the CSV table).
std::string decodeKeepingNul(std::string_view content, TextEncoding forced, TextEncoding& used);

// DecodeText of a buffer; the encoding used is discarded.
std::string DecodeBuffer(std::string_view bytes, TextEncoding forced);

// Encodes internal text with encoded_output.h's encoder: codes 2 to 7 are converted (2, 3, 4 get
// their mark in front unless the conversion gave nothing, in which case the text's own bytes go out
// without a mark); 0 and 1 take the bytes unchanged. With a non-empty `path` the bytes are also written there (atomically) and the
// result is the write's success; with an empty path the result is false.
bool EncodeText(std::string_view path, std::string_view text, TextEncoding encoding,
                std::string& bytes);

// The bytes EncodeText makes, alone. `lossy`, when given, is set when a character could not be
// represented or a byte was no character (the converter's replacement is in their place), and when
// nothing converted and the text's own bytes stand instead.
std::string encodedText(std::string_view text, TextEncoding encoding, bool* lossy = nullptr);

// The inflated bytes of a gzip stream: whatever was produced before the end of the stream, an
// error, the end of the input or kGunzipLimit.
std::string GunzipBytes(std::string_view bytes, size_t limit = kGunzipLimit);

}  // namespace chengling
