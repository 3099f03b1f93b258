#include "foundation/encoded_output.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "foundation/charset_conversion.h"
#include "foundation/charset_stream.h"
#include "foundation/file_streams.h"
#include "foundation/gb18030_table.h"
#include "foundation/two_cores.h"
#include "foundation/utf8.h"

namespace chengling {
namespace {

// Input bytes per encoded piece: the encoded pieces are then large enough for the AtomicFile to
// write them straight out instead of copying them into its own buffer.
constexpr size_t kPieceBytes = size_t{4} << 20;
// Input bytes per encoded step of a stream.
constexpr size_t kStreamStep = size_t{512} << 10;

// Takes the encoded pieces in order. A piece stays unchanged until the sink has been called twice
// more, so a sink may still be writing it while the next one is made; an empty piece ends the
// encoding, and the sink must be done with every piece when that call returns.
using Sink = std::function<bool(std::string_view)>;

enum class Outcome { Done, NeedsWhole, SinkFailed };

template <bool kBigEndian>
inline char* putUnit16(char32_t unit, char* o) {
  const char high = static_cast<char>(unit >> 8);
  const char low = static_cast<char>(unit & 0xFF);
  *o++ = kBigEndian ? high : low;
  *o++ = kBigEndian ? low : high;
  return o;
}

template <bool kBigEndian>
inline char* putUtf16(char32_t cp, char* o) {
  if (cp < 0x10000) return putUnit16<kBigEndian>(cp, o);
  cp -= 0x10000;
  o = putUnit16<kBigEndian>(0xD800 + (cp >> 10), o);
  return putUnit16<kBigEndian>(0xDC00 + (cp & 0x3FF), o);
}

// Encodes the characters that start in [p, pieceEnd) at `o` (the last one may end beyond, up to
// `end`); false at the first byte that starts no character.
template <TextEncoding kEncoding>
bool encodePiece(const gb18030::Table& table, const unsigned char*& p, const unsigned char* pieceEnd,
                 const unsigned char* end, char*& o) {
  while (p < pieceEnd) {
    if constexpr (kEncoding == TextEncoding::Utf8) {
      // The table's own loop takes the piece up to a byte that starts no character or a character
      // that the piece's end cuts; the one character after that is decided here.
      size_t produced = 0;
      p += gb18030::toUtf8(p, static_cast<size_t>(pieceEnd - p), reinterpret_cast<unsigned char*>(o), produced);
      o += produced;
      if (p == pieceEnd) break;
    } else if (*p < 0x80) {
      o = putUnit16<kEncoding == TextEncoding::Utf16Be>(*p++, o);
      continue;
    }
    char32_t cp = 0;
    const size_t length = table.decode(p, end, cp);
    if (length == 0) return false;
    if constexpr (kEncoding == TextEncoding::Utf8) {
      o = putUtf8(cp, o);
    } else {
      o = putUtf16<kEncoding == TextEncoding::Utf16Be>(cp, o);
    }
    p += length;
  }
  return true;
}

// Valid GB18030 text to UTF-8 / UTF-16 from the table. NeedsWhole (with possibly some pieces
// already handed to `sink`) at the first byte that starts no character: only the charset converter
// decides how such bytes come out, so the caller starts over with it.
template <TextEncoding kEncoding>
Outcome encodeValid(std::string_view text, const Sink& sink) {
  const gb18030::Table& table = gb18030::Table::get();
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  // Two buffers in turn, so that the sink may still be writing one piece while the next is encoded.
  // Encoding at most doubles a piece (ASCII as UTF-16); the last character may reach 4 bytes beyond.
  std::string buffers[2];
  size_t turn = 0;
  struct Ending {  // destroyed before the buffers, on every way out
    const Sink& sink;
    ~Ending() { sink({}); }
  } ending{sink};
  while (p < end) {
    std::string& buffer = buffers[turn];
    turn ^= 1;
    if (buffer.empty()) buffer.assign(std::min(kPieceBytes, text.size()) * 2 + 16, '\0');
    const auto* pieceEnd = end - p > static_cast<ptrdiff_t>(kPieceBytes) ? p + kPieceBytes : end;
    char* o = buffer.data();
    if (!encodePiece<kEncoding>(table, p, pieceEnd, end, o)) return Outcome::NeedsWhole;
    if (!sink(std::string_view(buffer.data(), static_cast<size_t>(o - buffer.data())))) return Outcome::SinkFailed;
  }
  return Outcome::Done;
}

Outcome encodeFast(std::string_view text, TextEncoding encoding, const Sink& sink) {
  switch (encoding) {
    case TextEncoding::Utf8:
    case TextEncoding::Utf8NoMark: return encodeValid<TextEncoding::Utf8>(text, sink);
    case TextEncoding::Utf16Le: return encodeValid<TextEncoding::Utf16Le>(text, sink);
    case TextEncoding::Utf16Be: return encodeValid<TextEncoding::Utf16Be>(text, sink);
    default: return Outcome::NeedsWhole;
  }
}

bool needsConversion(TextEncoding encoding) { return !charsetName(encoding).empty(); }

// The charset converter's way with a whole text of a converted code.
bool convertWhole(std::string& bytes, std::string_view text, TextEncoding encoding) {
  const std::string_view mark = byteOrderMark(encoding);
  bytes.assign(mark);
  bool lost = false;
  appendConverted(bytes, text, kInternalCharset, charsetName(encoding), &lost);
  if (bytes.size() != mark.size()) return lost;
  bytes.assign(text);  // nothing converted: the text's own bytes
  return !text.empty();
}

}  // namespace

bool encodeInto(std::string& bytes, std::string_view text, TextEncoding encoding) {
  if (!needsConversion(encoding)) {
    bytes.assign(text);
    return false;
  }
  if (!text.empty()) {
    bytes.assign(byteOrderMark(encoding));
    const Outcome outcome = encodeFast(text, encoding, [&bytes](std::string_view piece) {
      bytes.append(piece);
      return true;
    });
    if (outcome == Outcome::Done) return false;
  }
  return convertWhole(bytes, text, encoding);
}

std::string encodedBytes(std::string_view text, TextEncoding encoding, bool* lossy) {
  std::string out;
  const bool lost = encodeInto(out, text, encoding);
  if (lossy != nullptr) *lossy = lost;
  return out;
}

namespace {

// Writes blocks through an AtomicFile on a thread of its own while the caller makes the next one:
// on two cores a large file then costs about the larger of making and writing instead of their sum.
// A block handed to put() stays unchanged until the next put() or wait() returns. A small block, and
// every block without a second core, is written on the caller's thread.
class BlockWriter {
 public:
  BlockWriter(AtomicFile& file, std::string& error) : file_(file), error_(error) {}
  ~BlockWriter() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  bool put(std::string_view block) {
    if (!wait()) return false;
    if (block.empty()) return true;
    if (block.size() >= kStreamStep / 2 && started()) {
      {
        std::lock_guard lock(mutex_);
        pending_ = block;
        busy_ = true;
      }
      changed_.notify_all();
      return true;
    }
    ok_ = file_.write(block, &error_);
    return ok_;
  }

  // Waits for the block in flight; false when any write failed.
  bool wait() {
    if (!thread_.joinable()) return ok_;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    return ok_;
  }

 private:
  // Whether the writing thread runs (started on the first large block).
  bool started() {
    if (thread_.joinable() || tried_) return thread_.joinable();
    tried_ = true;
    if (!hasSecondCore()) return false;
    try {
      thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
      // no thread to be had: written here
    }
    return thread_.joinable();
  }

  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return busy_ || quit_; });
      if (!busy_) return;
      const std::string_view block = pending_;
      lock.unlock();
      const bool written = file_.write(block, &error_);
      lock.lock();
      ok_ = ok_ && written;
      busy_ = false;
      changed_.notify_all();
    }
  }

  AtomicFile& file_;
  std::string& error_;  // the writing thread's while a block is in flight
  bool ok_ = true;
  bool tried_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string_view pending_;
  bool busy_ = false;
  bool quit_ = false;
  std::thread thread_;  // last: it goes first, while everything it uses is still there
};

}  // namespace

struct EncodedFileStream::State {
  State(TextEncoding output, FileSystem& fs)
      : encoding(output),
        converted(needsConversion(output)),
        file(fs),
        stream(kInternalCharset, converted ? charsetName(output) : kInternalCharset),
        writer(file, error) {}
  ~State() { writer.wait(); }

  bool write(std::string_view bytes) {
    if (!failed && !file.write(bytes, &error)) failed = true;
    return !failed;
  }

  // Hands the bytes in `buffers[turn]` to the writer; the mark goes first, once something came out
  // of the conversion.
  bool send() {
    std::string& out = buffers[turn];
    if (out.empty()) return !failed;
    if (converted && !marked) {
      marked = true;
      raw.clear();
      raw.shrink_to_fit();
      if (!writer.put(byteOrderMark(encoding))) failed = true;
      if (failed) return false;
    }
    turn ^= 1;
    if (!writer.put(out)) failed = true;
    return !failed;
  }

  const TextEncoding encoding;
  const bool converted;
  AtomicFile file;
  std::string error;
  CharsetStream stream;
  std::string buffers[2];  // one is filled while the other may still be written (outlive the writer)
  BlockWriter writer;
  size_t turn = 0;
  bool marked = false;
  bool failed = false;
  // The text so far, while its conversion gave nothing yet: a text that converts to nothing at all
  // is written as its own bytes.
  std::string raw;
};

EncodedFileStream::EncodedFileStream(FileSystem& fs) : fs_(&fs) {}
EncodedFileStream::~EncodedFileStream() = default;

bool EncodedFileStream::open(std::string_view path, TextEncoding encoding, std::string* error) {
  state_ = std::make_unique<State>(encoding, *fs_);
  if (state_->file.open(path, &state_->error)) return true;
  if (error != nullptr) *error = state_->error;
  state_.reset();
  return false;
}

bool EncodedFileStream::put(std::string_view text) {
  State& s = *state_;
  if (s.failed || text.empty()) return !s.failed;
  if (!s.converted) {
    // Copied into blocks of a step or more, which the writer takes while the caller makes the next
    // text: the copy costs far less than the write. With one core the text goes out as it is.
    if (!hasSecondCore()) return s.write(text);
    s.buffers[s.turn].append(text);
    if (s.buffers[s.turn].size() >= kStreamStep && s.send()) s.buffers[s.turn].clear();
    return !s.failed;
  }
  if (!s.marked) s.raw.append(text);
  // Steps small enough to stay in the cache from conversion to write, large enough for the
  // table-driven conversion.
  for (size_t at = 0; at < text.size() && !s.failed; at += kStreamStep) {
    std::string& out = s.buffers[s.turn];
    out.clear();
    s.stream.feed(text.substr(at, kStreamStep), out);
    s.send();
  }
  return !s.failed;
}

const std::string& EncodedFileStream::error() const { return state_->error; }

EncodedWrite EncodedFileStream::commit(bool replace) {
  EncodedWrite result;
  State& s = *state_;
  if (!s.converted && !s.failed) s.send();
  if (s.converted && !s.failed) {
    std::string& out = s.buffers[s.turn];
    out.clear();
    s.stream.finish(out);
    s.send();
    if (!s.writer.wait()) s.failed = true;
    if (!s.marked) {
      // Nothing converted: the text's own bytes, as the whole conversion has it.
      result.lossy = !s.raw.empty();
      s.write(s.raw);
    } else {
      result.lossy = s.stream.lossy();
    }
  }
  if (!s.writer.wait()) s.failed = true;
  if (!s.failed) result.ok = s.file.commit(&s.error, replace);
  if (!result.ok) result.error = s.error;
  state_.reset();
  return result;
}

EncodedWrite writeEncodedFile(FileSystem& fs, std::string_view path, std::string_view text, TextEncoding encoding,
                              bool replace) {
  EncodedWrite result;
  AtomicFile file(fs);
  if (!file.open(path, &result.error)) return result;
  bool written = false;
  if (!text.empty() && needsConversion(encoding)) {
    Outcome outcome;
    {
      BlockWriter writer(file, result.error);
      if (!writer.put(byteOrderMark(encoding))) return result;
      outcome = encodeFast(text, encoding, [&writer](std::string_view piece) { return writer.put(piece); });
      if (outcome == Outcome::Done && !writer.wait()) outcome = Outcome::SinkFailed;
    }
    if (outcome == Outcome::SinkFailed) return result;
    if (outcome == Outcome::Done) {
      written = true;
    } else if (!file.open(path, &result.error)) {  // start over: the converter takes the whole text
      return result;
    }
  }
  if (!written) {
    std::string bytes;
    result.lossy = encodeInto(bytes, text, encoding);
    if (!file.write(bytes, &result.error)) return result;
  }
  result.ok = file.commit(&result.error, replace);
  return result;
}

}  // namespace chengling
