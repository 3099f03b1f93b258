#include "foundation/streamed_decode.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "foundation/charset_conversion.h"
#include "foundation/charset_stream.h"
#include "foundation/encoding_detection.h"
#include "foundation/file_streams.h"
#include "foundation/html_charset_scan.h"
#include "foundation/text_check.h"

namespace chengling {
namespace {

using Status = StreamedDecode::Status;

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\x84\x31\xA4\x37";  // U+FFFD in internal text

bool isConvertedCode(TextEncoding encoding) {
  const int code = static_cast<int>(encoding);
  return code >= 2 && code <= 6;
}

// The passes over a file in pieces, through one buffer that is never cleared or zero-filled.
class PieceReader {
 public:
  PieceReader(FileReader& file, size_t pieceBytes, const std::function<bool()>& stopped, StreamedDecode& result)
      : file_(file), pieceBytes_(std::max<size_t>(pieceBytes, 1)), stopped_(stopped), result_(result) {
    // A small file needs no more room than itself (and one byte to see its end).
    const int64_t size = file.size();
    const size_t room = size < 0 ? pieceBytes_ : std::min(pieceBytes_, static_cast<size_t>(size) + 1);
    buffer_ = std::make_unique_for_overwrite<char[]>(room);
    room_ = room;
  }

  // Starts a pass at `offset`. A file that the last pass read whole in its first piece is taken
  // from the buffer again.
  bool restart(int64_t offset) {
    ended_ = false;
    if (whole_ >= 0) {
      replay_ = std::min(offset, whole_);
      return true;
    }
    fresh_ = true;
    if (file_.seek(offset)) return true;
    result_.status = Status::Unreadable;
    return false;
  }

  // The next piece, empty at the end or when the pass ended otherwise (see result_.status).
  std::string_view next() {
    if (ended_) return {};
    if (replay_ >= 0) {
      ended_ = true;
      const auto from = static_cast<size_t>(std::exchange(replay_, -1));
      return std::string_view(buffer_.get() + from, static_cast<size_t>(whole_) - from);
    }
    // A stop is answered within a piece of a large file; a small one is done whole.
    if (stopped_ && read_ >= pieceBytes_ && stopped_()) {
      result_.status = Status::Stopped;
      return {};
    }
    const int64_t n = file_.read(buffer_.get(), room_, &result_.error);
    if (n < 0) {
      result_.status = Status::Unreadable;
      return {};
    }
    read_ += static_cast<uint64_t>(n);
    ended_ = static_cast<size_t>(n) < room_;  // a short read has met the end
    if (ended_ && fresh_ && atStart_) whole_ = n;
    fresh_ = false;
    atStart_ = false;
    return std::string_view(buffer_.get(), static_cast<size_t>(n));
  }

  bool ended() const { return ended_; }

  // Marks the file as read from its start by the next piece (the passes from offset 0).
  void fromStart() { atStart_ = true; }

 private:
  FileReader& file_;
  const size_t pieceBytes_;
  const std::function<bool()>& stopped_;
  StreamedDecode& result_;
  std::unique_ptr<char[]> buffer_;
  size_t room_ = 0;
  bool ended_ = false;
  bool fresh_ = true;      // no piece read since the last seek
  bool atStart_ = true;    // the next read starts at offset 0
  int64_t whole_ = -1;     // the size of a file held whole in the buffer
  int64_t replay_ = -1;    // where a replayed pass starts
  uint64_t read_ = 0;      // bytes read by all passes
};

// The judgement of textOnly (text_check.h): the start of the file, read once before any pass, and
// what the passes meet. Off, it judges nothing.
class TextGuard {
 public:
  TextGuard(bool on, int64_t fileSize, StreamedDecode& result) : on_(on), fileSize_(fileSize), result_(result) {}

  // The first bytes of the file: kTextProbeBytes after the longest mark with the guard on, else the
  // mark's 3 bytes. `whole`: they are the whole file.
  size_t headBytes() const { return on_ ? kTextProbeBytes + 3 : 3; }
  void setHead(std::string head, bool whole) {
    head_ = std::move(head);
    whole_ = whole;
  }

  // Whether the probe of the body from `start` is text in `encoding` (always, with the guard off).
  bool probeIsText(TextEncoding encoding, int64_t start) const {
    if (!on_) return true;
    const auto from = static_cast<size_t>(std::min<int64_t>(start, static_cast<int64_t>(head_.size())));
    const std::string_view body = std::string_view(head_).substr(from, kTextProbeBytes);
    const bool atEnd = whole_ || (fileSize_ >= 0 && start + static_cast<int64_t>(body.size()) >= fileSize_);
    return !holdsNul(body, encoding) &&
           !tooManyUnreadable(unreadableBytes(body, encoding, atEnd), static_cast<int64_t>(body.size()));
  }
  // The same, setting the status NotText when it is not.
  bool probePasses(TextEncoding encoding, int64_t start) { return probeIsText(encoding, start) || refuse(); }

  // A NUL in the body: false, with the status NotText, when judging.
  bool nulPasses() { return !on_ || refuse(); }

  // The replacements of a converted body of `bodyBytes` so far: false, with the status NotText,
  // when there are too many for all of it.
  bool replacementsPass(int64_t bodyBytes) {
    if (!on_ || !tooManyUnreadable(result_.replacements, std::max(bodyBytes, bodySize_))) return true;
    return refuse();
  }
  void setBodyStart(int64_t start) { bodySize_ = fileSize_ < 0 ? 0 : std::max<int64_t>(0, fileSize_ - start); }

 private:
  bool refuse() {
    result_.status = Status::NotText;
    return false;
  }

  const bool on_;
  const int64_t fileSize_;
  StreamedDecode& result_;
  std::string head_;
  bool whole_ = false;
  int64_t bodySize_ = 0;  // what the file's size says of the body
};

// The detection of a file without a mark: the meta tags of its text up to the first NUL, and
// the UTF-8 check of all of it. Detect when neither says anything.
// When the first piece is no UTF-8, the answer is the raw text unless a meta tag says otherwise:
// the raw text then goes to `sink` during this very pass (`raw` is set), and only a meta tag
// makes the caller start the sink over.
// `guessed` is what the bytes say by themselves (guessedEncoding), the answer when nothing else
// speaks: only Ansi lets the raw text go on during the pass, and in UTF-16 a NUL byte ends nothing.
TextEncoding detectByPass(PieceReader& reader, TextSink& sink, StreamedDecode& result, TextGuard& guard, bool& raw,
                          TextEncoding guessed) {
  const bool wide = guessed == TextEncoding::Utf16Le || guessed == TextEncoding::Utf16Be;
  HtmlCharsetScan html;
  Utf8Scan utf8;
  raw = false;
  bool first = true;
  bool textEnded = false;  // at the first NUL
  for (std::string_view piece = reader.next(); !piece.empty(); piece = reader.next()) {
    utf8.feed(piece);
    if (first) {
      first = false;
      raw = utf8.failed() && guessed == TextEncoding::Ansi;
      // No text as raw bytes: nothing goes on now, and a meta tag may still name the encoding that
      // the passes after this one judge.
      if (raw && !guard.probeIsText(TextEncoding::Ansi, 0)) raw = false;
      if (raw && !sink.begin(TextEncoding::Ansi)) {
        result.status = Status::Refused;
        return TextEncoding::Detect;
      }
    }
    if (!textEnded) {
      const size_t nul = piece.find('\0');
      textEnded = nul != std::string_view::npos;
      if (textEnded && !wide && !guard.nulPasses()) return TextEncoding::Detect;
      const std::string_view text = piece.substr(0, nul);
      html.feed(text);
      if (raw) {
        result.textBytes += static_cast<int64_t>(text.size());
        result.heldNul = textEnded;
        if (!text.empty() && !sink.put(text)) {
          result.status = Status::Refused;
          return TextEncoding::Detect;
        }
      }
    }
    if ((textEnded || html.settled()) && (html.result() != 0 || utf8.failed())) break;
  }
  if (result.status != Status::Done) return TextEncoding::Detect;
  switch (html.result()) {
    case 1: return TextEncoding::Utf8;
    case 2: return TextEncoding::Big5;
    case 3: return TextEncoding::Big5Hkscs;
    default:
      if (utf8.result() && !(wide && textEnded)) return TextEncoding::Utf8;
      return guessed == TextEncoding::Ansi ? TextEncoding::Detect : guessed;
  }
}

// Hands on the text of a converted decode: nothing until the first byte shows that the text is not
// empty, then everything up to the first NUL.
class ConvertedText {
 public:
  ConvertedText(TextSink& sink, StreamedDecode& result, TextEncoding encoding)
      : sink_(sink), result_(result), encoding_(encoding) {}

  // False when the text is complete (a NUL), empty (see empty()) or the sink gave up.
  bool take(std::string_view out) {
    if (out.empty()) return true;
    if (!begun_) {
      if (out[0] == '\0') {
        empty_ = true;
        return false;
      }
      begun_ = true;
      if (!sink_.begin(encoding_)) return refuse();
    }
    const size_t nul = out.find('\0');
    if (nul != std::string_view::npos) result_.heldNul = true;
    const std::string_view text = out.substr(0, nul);
    if (!text.empty()) {
      noteReplacement(text);
      result_.textBytes += static_cast<int64_t>(text.size());
      if (!sink_.put(text)) return refuse();
    }
    return nul == std::string_view::npos;
  }

  bool begun() const { return begun_; }
  bool empty() const { return empty_ || !begun_; }

 private:
  bool refuse() {
    result_.status = Status::Refused;
    return false;
  }

  // Counts U+FFFD, which may be cut between two pieces: the last bytes of one are kept for the next.
  // (The four bytes cannot overlap themselves, so no occurrence is counted twice.)
  void noteReplacement(std::string_view text) {
    int64_t found = 0;
    std::string joined = tail_;
    joined.append(text.substr(0, std::min(text.size(), kReplacement.size() - 1)));
    if (joined.find(kReplacement) != std::string::npos) ++found;
    for (size_t at = text.find(kReplacement); at != std::string_view::npos; at = text.find(kReplacement, at + 4)) {
      ++found;
    }
    result_.replacements += found;
    result_.replacement = result_.replacements > 0;
    tail_ = (tail_ + std::string(text.substr(text.size() - std::min(text.size(), kReplacement.size() - 1))));
    if (tail_.size() > kReplacement.size() - 1) tail_.erase(0, tail_.size() - (kReplacement.size() - 1));
  }

  TextSink& sink_;
  StreamedDecode& result_;
  const TextEncoding encoding_;
  bool begun_ = false;
  bool empty_ = false;
  std::string tail_;
};

// Whether the pieces of a body hold a NUL: a byte, or in UTF-16 a unit (the body starts on one).
class NulWatch {
 public:
  explicit NulWatch(bool wide) : wide_(wide) {}
  bool sees(std::string_view piece) {
    if (!wide_) return std::memchr(piece.data(), 0, piece.size()) != nullptr;
    const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
    const size_t n = piece.size();
    bool found = false;
    size_t i = 0;
    if (odd_ && n > 0) {
      found = oddZero_ && p[0] == 0;
      odd_ = false;
      i = 1;
    }
    for (; i + 1 < n; i += 2) found = found || (p[i] == 0 && p[i + 1] == 0);
    if (i < n) {
      odd_ = true;
      oddZero_ = p[i] == 0;
    }
    return found;
  }

 private:
  const bool wide_;
  bool odd_ = false;  // a unit's first byte ended the last piece
  bool oddZero_ = false;
};

// The converted decode of the body (the file from `start` on). Status Done with nothing handed on
// means the text came out empty.
bool decodeConverted(PieceReader& reader, int64_t start, TextEncoding encoding, TextSink& sink,
                     StreamedDecode& result, TextGuard& guard) {
  if (!guard.probePasses(encoding, start)) return false;
  guard.setBodyStart(start);
  if (!reader.restart(start)) return false;
  if (start == 0) reader.fromStart();
  result.textBytes = 0;
  result.heldNul = false;
  result.replacements = 0;
  result.replacement = false;
  CharsetStream stream(charsetName(encoding), kInternalCharset);
  ConvertedText text(sink, result, encoding);
  NulWatch nul(encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be);
  std::string out;
  bool going = true;
  int64_t body = 0;
  for (std::string_view piece = reader.next(); going && !piece.empty(); piece = reader.next()) {
    if (nul.sees(piece)) {
      result.heldNul = true;
      if (!guard.nulPasses()) return false;
    }
    body += static_cast<int64_t>(piece.size());
    out.clear();
    stream.feed(piece, out);
    going = text.take(out) && guard.replacementsPass(body);
  }
  if (result.status != Status::Done) return false;
  if (going) {
    out.clear();
    stream.finish(out);
    text.take(out);
    if (!guard.replacementsPass(body)) return false;
  }
  return result.status == Status::Done && !text.empty();
}

// The raw content up to its first NUL, as the text.
void decodeRaw(PieceReader& reader, TextSink& sink, StreamedDecode& result, TextGuard& guard) {
  if (!guard.probePasses(TextEncoding::Ansi, 0)) return;
  if (!reader.restart(0)) return;
  reader.fromStart();
  result.used = TextEncoding::Ansi;
  result.textBytes = 0;
  result.heldNul = false;
  if (!sink.begin(TextEncoding::Ansi)) {
    result.status = Status::Refused;
    return;
  }
  for (std::string_view piece = reader.next(); !piece.empty(); piece = reader.next()) {
    const size_t nul = piece.find('\0');
    result.heldNul = nul != std::string_view::npos;
    if (result.heldNul && !guard.nulPasses()) return;
    const std::string_view text = piece.substr(0, nul);
    result.textBytes += static_cast<int64_t>(text.size());
    if (!text.empty() && !sink.put(text)) {
      result.status = Status::Refused;
      return;
    }
    if (nul != std::string_view::npos) return;
  }
}

}  // namespace

StreamedDecode decodeFileStreamed(FileSystem& fs, std::string_view path, TextEncoding forced, TextSink& sink,
                                  const std::function<bool()>& stopped, size_t pieceBytes, bool textOnly) {
  if (forced == TextEncoding::Utf8NoMark) forced = TextEncoding::Utf8;
  StreamedDecode result;
  FileReader file(fs);
  if (!file.open(path, &result.error)) return result;
  result.status = Status::Done;

  PieceReader reader(file, pieceBytes, stopped, result);
  TextGuard guard(textOnly, file.size(), result);
  // The first bytes: gzip's signature, a mark, and the probe of the guard. They come with the first
  // piece, unless pieces are tiny; a file of one piece is not read again.
  const size_t want = guard.headBytes();
  const std::string_view first = reader.next();
  if (result.status != Status::Done) return result;
  std::string head(first.substr(0, want));
  bool whole = reader.ended() && first.size() <= want;
  if (head.size() < want && !reader.ended()) {
    if (!reader.restart(static_cast<int64_t>(head.size()))) return result;
    while (head.size() < want) {
      const int64_t n = file.read(head, want - head.size(), &result.error);
      if (n < 0) {
        result.status = Status::Unreadable;
        return result;
      }
      if (n == 0) {
        whole = true;
        break;
      }
    }
  }
  if (std::string_view(head).starts_with("\x1F\x8B")) {
    result.status = Status::Compressed;
    return result;
  }
  guard.setHead(head, whole);
  head.resize(std::min<size_t>(head.size(), 3));

  TextEncoding encoding = forced;
  int64_t start = 0;
  if (encoding == TextEncoding::Detect) {
    if (std::string_view(head).starts_with(kUtf8Mark)) {
      encoding = TextEncoding::Utf8;
      start = 3;
    } else if (std::string_view(head).starts_with(byteOrderMark(TextEncoding::Utf16Le))) {
      encoding = TextEncoding::Utf16Le;
      start = 2;
    } else if (std::string_view(head).starts_with(byteOrderMark(TextEncoding::Utf16Be))) {
      encoding = TextEncoding::Utf16Be;
      start = 2;
    } else {
      // What the bytes say when neither a meta tag nor the UTF-8 check does: from a bounded prefix.
      std::string prefix;
      if (!file.seek(0)) {
        result.status = Status::Unreadable;
        return result;
      }
      while (prefix.size() < kGuessPrefix + kGuessWindow) {
        const int64_t n = file.read(prefix, kGuessPrefix + kGuessWindow - prefix.size(), &result.error);
        if (n < 0) {
          result.status = Status::Unreadable;
          return result;
        }
        if (n == 0) break;
      }
      const int64_t size = file.size();
      const size_t total = prefix.size() < kGuessPrefix + kGuessWindow ? prefix.size()
                           : size < 0                                  ? SIZE_MAX
                                                                       : static_cast<size_t>(size);
      const TextEncoding guessed = guessedEncoding(prefix, total);
      if (!reader.restart(0)) return result;
      reader.fromStart();
      bool raw = false;
      encoding = detectByPass(reader, sink, result, guard, raw, guessed);
      if (result.status != Status::Done) return result;
      if (raw && encoding == TextEncoding::Detect) {
        result.used = TextEncoding::Ansi;
        return result;
      }
    }
  } else if (encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be) {
    start = std::min<int64_t>(2, static_cast<int64_t>(head.size()));
  } else if (encoding == TextEncoding::Utf8 && std::string_view(head).starts_with(kUtf8Mark)) {
    start = 3;
  }

  if (isConvertedCode(encoding)) {
    result.used = encoding;
    if (decodeConverted(reader, start, encoding, sink, result, guard)) return result;
    if (result.status != Status::Done) return result;
    // Nothing converted: the raw content, mark included, is the text.
  }
  decodeRaw(reader, sink, result, guard);
  return result;
}

}  // namespace chengling
