#pragma once
// Conversion between charsets through iconv, with the replacements the tools need instead of
// iconv's errors. Large texts between UTF-8 and GB18030 go through the GB18030 table with the very
// same result, and large inputs are converted in two halves at once. Stateless; safe from any thread
// (each thread keeps its own iconv descriptors).

#include <functional>
#include <string>
#include <string_view>

namespace chengling {

// The charset of internal text, the other side of every conversion.
inline constexpr std::string_view kInternalCharset = "GB18030";

// Re-encodes `bytes` from charset `from` to charset `to` (iconv names, any letter case), with no
// byte-order mark in the result. Invalid input becomes U+FFFD (or "?" where the target cannot hold
// it); a character the target cannot hold becomes "?"; a truncated sequence at the end is dropped.
// `lossy`, when given, is set to whether any of that happened. Unknown names give "".
std::string ConvertCharset(std::string_view bytes, std::string_view from, std::string_view to,
                           bool* lossy = nullptr);

// ConvertCharset appending to `out` (after a mark, say, without copying the result again). Returns
// false, with nothing appended and `lossy` untouched, when iconv knows one of the names not. With
// `stopped`, a large input goes in rounds of a few tens of MiB and `stopped` is asked after each:
// when it says so, the conversion ends there, with what was converted so far appended.
bool appendConverted(std::string& out, std::string_view bytes, std::string_view from, std::string_view to,
                     bool* lossy = nullptr, const std::function<bool()>& stopped = {});

// appendConverted of one piece of a longer input that is converted piece by piece. A piece that is
// not the last (`atEnd` false) must end where a character starts whatever came before it (see
// gb18030::nextGb18030Restart); a sequence cut off at its end is then invalid input, not dropped,
// and the pieces together give exactly the conversion of the whole.
bool appendConvertedPiece(std::string& out, std::string_view bytes, std::string_view from, std::string_view to,
                          bool atEnd, bool* lossy = nullptr);

}  // namespace chengling
