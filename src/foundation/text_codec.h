#pragma once
// The one place that turns file contents or received bytes into internal text (GB18030), detecting
// the source encoding when asked, and turns internal text back into bytes of a chosen encoding.
// Stateless; safe from any thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace chengling {

// Encoding codes every tool records for its inputs so that output is written the same way.
enum class TextEncoding : int {
  Detect = 0,     // input only: detect
  Ansi = 1,       // bytes taken as internal text unchanged
  Utf8 = 2,       // mark EF BB BF
  Utf16Le = 3,    // mark FF FE
  Utf16Be = 4,    // mark FE FF
  Big5 = 5,
  Big5Hkscs = 6,
};

// The iconv name of an encoding code; empty for Detect and Ansi.
std::string_view charsetName(TextEncoding encoding);

// The charset of internal text, the other side of every conversion.
inline constexpr std::string_view kInternalCharset = "GB18030";

// Upper bound of GunzipBytes' output: a stream that inflates further stops there.
inline constexpr size_t kGunzipLimit = size_t{256} << 20;

// Decodes exactly one source to internal text: the file at `path` when it is not empty, else
// `bytes` when not empty, else `text` (as its own bytes). gzip content (1F 8B) is inflated first.
// `forced` Detect detects (mark, HTML declaration, UTF-8 check); other codes are used as given.
// `used` receives the code actually used (1 to 6). A file that cannot be read gives the empty text
// and leaves `used` untouched. The result ends at the first NUL of the converted text.
std::string DecodeText(std::string_view path, TextEncoding forced, std::string_view bytes,
                       std::string_view text, TextEncoding& used);

// DecodeText of a buffer; the encoding used is discarded.
std::string DecodeBuffer(std::string_view bytes, TextEncoding forced);

// Encodes internal text: codes 2 to 6 are converted (2, 3, 4 get their mark in front unless the
// conversion gave nothing, in which case the text's own bytes go out without a mark); 0 and 1 take
// the bytes unchanged. With a non-empty `path` the bytes are also written there (atomically) and the
// result is the write's success; with an empty path the result is false.
bool EncodeText(std::string_view path, std::string_view text, TextEncoding encoding,
                std::string& bytes);

// Re-encodes `bytes` from charset `from` to charset `to` (names as in charsetName, or "GB18030"),
// with no byte-order mark in the result. Invalid input becomes U+FFFD (or "?" where the target
// cannot hold it); a character the target cannot hold becomes "?"; a truncated sequence at the end is
// dropped. `lossy`, when given, is set to whether any of that happened. Unknown names give "".
std::string ConvertCharset(std::string_view bytes, std::string_view from, std::string_view to,
                           bool* lossy = nullptr);

// The inflated bytes of a gzip stream: whatever was produced before the end of the stream, an
// error, the end of the input or kGunzipLimit.
std::string GunzipBytes(std::string_view bytes, size_t limit = kGunzipLimit);

// One linear pass: true when every byte is ASCII or part of a 2- or 3-byte UTF-8 form and at least
// one byte is 0x80 or above. Four-byte forms and truncated sequences answer false.
bool LooksLikeUtf8(std::string_view bytes);

// Charset declared in a meta tag of the head (or of the whole text when there is no head):
// 0 none, 1 UTF-8, 2 BIG5, 3 BIG5-HKSCS.
int DetectHtmlCharset(std::string_view text);

// Patterns joined by "[fg]"; two apostrophes stand for a double quote. `any`: true when one pattern
// occurs; otherwise true when all occur. ASCII case ignored; an empty pattern matches any text.
bool ContainsPatterns(std::string_view text, std::string_view patterns, bool any);

}  // namespace chengling
