#include "foundation/text_codec.h"

#include <zlib.h>

#include <algorithm>
#include <utility>

#include "foundation/charset_conversion.h"
#include "foundation/encoded_output.h"
#include "foundation/encoding_detection.h"
#include "foundation/file_streams.h"
#include "foundation/internal_text.h"
#include "foundation/text_check.h"

namespace chengling {
namespace {

constexpr size_t kGunzipWindow = 8192;

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
constexpr std::string_view kReplacement = "\x84\x31\xA4\x37";  // U+FFFD in internal text

bool isUtf16(TextEncoding encoding) { return encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be; }

bool isConvertedCode(TextEncoding encoding) {
  const int code = static_cast<int>(encoding);
  return code >= 2 && code <= 7;
}

}  // namespace

TextEncoding declaredEncoding(std::string_view content, size_t& start) {
  start = 0;
  if (content.starts_with(kUtf8Mark)) {
    start = kUtf8Mark.size();
    return TextEncoding::Utf8;
  }
  if (content.starts_with(kUtf16LeMark)) {
    start = kUtf16LeMark.size();
    return TextEncoding::Utf16Le;
  }
  if (content.starts_with(kUtf16BeMark)) {
    start = kUtf16BeMark.size();
    return TextEncoding::Utf16Be;
  }
  switch (DetectHtmlCharset(cutAtNul(content))) {
    case 1: return TextEncoding::Utf8;
    case 2: return TextEncoding::Big5;
    case 3: return TextEncoding::Big5Hkscs;
    default: return TextEncoding::Detect;
  }
}

TextEncoding guessedEncoding(std::string_view content) { return guessedEncoding(content, content.size()); }

TextEncoding guessedEncoding(std::string_view prefix, size_t totalSize) {
  switch (GuessUnmarkedEncoding(prefix, totalSize)) {
    case UnmarkedGuess::Big5: return TextEncoding::Big5;
    case UnmarkedGuess::Utf16Le: return TextEncoding::Utf16Le;
    case UnmarkedGuess::Utf16Be: return TextEncoding::Utf16Be;
    default: return TextEncoding::Ansi;
  }
}

std::string_view charsetName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8:
    case TextEncoding::Utf8NoMark: return "UTF-8";
    case TextEncoding::Utf16Le: return "UTF-16LE";
    case TextEncoding::Utf16Be: return "UTF-16BE";
    case TextEncoding::Big5: return "BIG5";
    case TextEncoding::Big5Hkscs: return "BIG5-HKSCS";
    default: return {};
  }
}

std::string_view byteOrderMark(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf8: return kUtf8Mark;
    case TextEncoding::Utf16Le: return kUtf16LeMark;
    case TextEncoding::Utf16Be: return kUtf16BeMark;
    default: return {};
  }
}

std::string GunzipBytes(std::string_view bytes, size_t limit) {
  std::string out;
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return out;  // gzip header and trailer
  // The trailer's size field (modulo 4 GiB, of the last member) is a good first guess, as long as
  // deflate could really expand the input that far (at most about 1032 to 1).
  size_t hint = kGunzipWindow;
  if (bytes.size() >= 18) {
    const auto* tail = reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - 4);
    const size_t claimed = size_t{tail[0]} | size_t{tail[1]} << 8 | size_t{tail[2]} << 16 | size_t{tail[3]} << 24;
    hint = std::max(hint, std::min(claimed, bytes.size() * 1032));
  }
  out.reserve(std::min(hint, limit));

  size_t consumed = 0;
  size_t written = 0;
  while (written < limit) {
    if (stream.avail_in == 0 && consumed < bytes.size()) {
      const size_t n = std::min(kGunzipWindow, bytes.size() - consumed);
      stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + consumed));
      stream.avail_in = static_cast<uInt>(n);
      consumed += n;
    }
    const size_t window = std::min(kGunzipWindow, limit - written);
    out.resize(written + window);
    stream.next_out = reinterpret_cast<Bytef*>(out.data() + written);
    stream.avail_out = static_cast<uInt>(window);
    const int rc = inflate(&stream, Z_NO_FLUSH);
    written += window - stream.avail_out;
    if (rc != Z_OK) break;  // end of stream, corrupt data, or no progress on truncated input
    if (stream.avail_in == 0 && consumed == bytes.size() && stream.avail_out != 0) break;  // input used up
  }
  inflateEnd(&stream);
  out.resize(written);
  return out;
}

namespace {

// DecodeText, with `keepNul` keeping what follows a NUL.
std::string decode(FileSystem& fs, std::string_view path, TextEncoding forced, std::string_view bytes,
                   std::string_view text, TextEncoding& used, const std::function<bool()>& stopped,
                   TextVerdict* verdict, bool keepNul) {
  const auto textEnd = [keepNul](std::string_view decoded) { return keepNul ? decoded.size() : cutAtNul(decoded).size(); };
  if (forced == TextEncoding::Utf8NoMark) forced = TextEncoding::Utf8;
  // `owned` holds the content when it had to be read or inflated; `content` views it otherwise.
  std::string owned;
  std::string_view content;
  if (!path.empty()) {
    // Read-only access is all a decode needs; a read-only file decodes like any other.
    if (!readWholeFile(fs, path, owned)) return {};
    content = owned;
  } else {
    content = !bytes.empty() ? bytes : text;
  }
  if (content.starts_with("\x1F\x8B")) {
    std::string inflated = GunzipBytes(content);
    owned = std::move(inflated);
    content = owned;
  }

  TextEncoding encoding = forced;
  size_t start = 0;
  if (encoding == TextEncoding::Detect) {
    encoding = declaredEncoding(content, start);
  } else if (encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be) {
    start = std::min<size_t>(2, content.size());
  } else if (encoding == TextEncoding::Utf8 && content.starts_with(kUtf8Mark)) {
    start = kUtf8Mark.size();
  }

  const std::string_view body = content.substr(start);
  if (encoding == TextEncoding::Detect) {
    // UTF-16 of ASCII and some Chinese can pass the UTF-8 check, zero bytes and all; read as UTF-8
    // it would end at its first NUL.
    if (!LooksLikeUtf8(body)) {
      encoding = guessedEncoding(body);
    } else {
      const TextEncoding guessed = body.find('\0') == std::string_view::npos ? TextEncoding::Utf8 : guessedEncoding(body);
      encoding = isUtf16(guessed) ? guessed : TextEncoding::Utf8;
    }
  }

  std::string result;
  if (isConvertedCode(encoding) && !body.empty()) {
    appendConverted(result, body, charsetName(encoding), kInternalCharset, nullptr, stopped);
    if (stopped && stopped()) return {};
    result.resize(textEnd(result));
  }
  if (verdict != nullptr) {
    int64_t replacements = 0;
    for (size_t at = result.find(kReplacement); at != std::string::npos; at = result.find(kReplacement, at + 4)) {
      ++replacements;
    }
    *verdict = result.empty() ? judgeBody(content, TextEncoding::Ansi, 0) : judgeBody(body, encoding, replacements);
  }
  if (result.empty()) {
    // Nothing converted: the raw content, mark included, is the text.
    const size_t length = textEnd(content);
    if (content.data() == owned.data()) {
      owned.resize(length);
      result = std::move(owned);
    } else {
      result.assign(content.data(), length);
    }
    encoding = TextEncoding::Ansi;
  }
  used = encoding;
  return result;
}

}  // namespace

std::string DecodeText(FileSystem& fs, std::string_view path, TextEncoding forced, std::string_view bytes,
                       std::string_view text, TextEncoding& used, const std::function<bool()>& stopped,
                       TextVerdict* verdict) {
  return decode(fs, path, forced, bytes, text, used, stopped, verdict, false);
}

std::string decodeKeepingNul(std::string_view content, TextEncoding forced, TextEncoding& used) {
  return decode(posixFileSystem(), {}, forced, content, {}, used, {}, nullptr, true);
}

std::string DecodeBuffer(std::string_view bytes, TextEncoding forced) {
  TextEncoding ignored = TextEncoding::Detect;
  return DecodeText({}, forced, bytes, {}, ignored);
}

std::string encodedText(std::string_view text, TextEncoding encoding, bool* lossy) {
  return encodedBytes(text, encoding, lossy);
}

bool EncodeText(std::string_view path, std::string_view text, TextEncoding encoding, std::string& bytes) {
  encodeInto(bytes, text, encoding);
  if (path.empty()) return false;
  return writeFileAtomic(path, bytes);
}

}  // namespace chengling
