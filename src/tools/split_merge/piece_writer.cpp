#include "tools/split_merge/piece_writer.h"

#include <algorithm>

#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/path_helpers.h"
#include "tools/split_merge/content_phrase.h"

namespace chengling {
namespace {

constexpr int64_t kNameChars = 100;
// Small enough to stay in the processor's cache between the read and the write.
constexpr size_t kCopyChunk = size_t{128} << 10;

std::string withExtension(std::string name, std::string_view extension) {
  if (!extension.empty()) name.append(".").append(extension);
  return name;
}

std::string trimAsciiSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// Drops characters from the end until the native name fits `limit` bytes.
std::string fitNative(std::string name, std::string_view extension, size_t limit) {
  while (!name.empty() && nativeFromInternal(withExtension(name, extension)).size() > limit) {
    name = FirstChars(name, CharCount(name) - 1);
  }
  return name;
}

// The start of a piece for naming: at most kNameSample bytes, cut before an ASCII byte so that a
// UTF-8 sequence is not split.
std::string_view nameSample(std::string_view piece) {
  if (piece.size() <= kNameSample) return piece;
  size_t cut = kNameSample;
  for (size_t back = 0; back < 64 && cut > 0; ++back, --cut) {
    if (static_cast<unsigned char>(piece[cut]) < 0x80) break;
  }
  return piece.substr(0, cut);
}

}  // namespace

std::string baseNumberName(std::string_view base, int64_t number) {
  const std::string suffix = "_" + std::to_string(number);
  const int64_t room = kNameChars - static_cast<int64_t>(suffix.size());
  return FirstChars(base, room > 0 ? room : 0) + suffix;
}

std::string contentName(FileSystem& fs, const PieceNaming& naming, std::string_view sample, std::mt19937_64& random) {
  const std::string text = naming.encoding == TextEncoding::Detect
                               ? DecodeBuffer(sample, TextEncoding::Detect)
                               : std::string(cutAtNul(sample));
  const std::string extension = PathExtension(naming.source);
  for (int attempt = 1; attempt <= 10; ++attempt) {
    const int64_t n = attempt <= 3 ? 15 : attempt <= 6 ? 10 : 5;
    std::string name = SanitizeFileName(trimAsciiSpaces(ContentPhrase(text, n, random)), false, false);
    name = fitNative(FirstChars(name, kNameChars), extension, kContentNameBytes);
    if (name.empty() || name == "." || name == "..") continue;
    // A content name never takes the place of an existing file.
    if (!pathExists(fs, naming.folder + withExtension(name, extension))) return name;
  }
  return {};
}

PieceWriter::PieceWriter(PieceNaming naming, const std::unordered_set<std::string>& protectedPaths,
                         RunContext& ctx, std::mt19937_64& random)
    : naming_(std::move(naming)),
      protected_(protectedPaths),
      ctx_(ctx),
      random_(random),
      extension_(PathExtension(naming_.source)),
      file_(ctx.fileSystem()) {}

void PieceWriter::begin(int64_t number) {
  file_.abort();
  number_ = number;
  size_ = 0;
  path_.clear();
  held_.clear();
  failed_ = false;
  contentNamed_ = false;
  if (!naming_.contentNames && static_cast<int>(naming_.encoding) < 2) open({});
}

bool PieceWriter::fail(std::string_view reason) {
  failed_ = true;
  file_.abort();
  held_.clear();
  held_.shrink_to_fit();
  ctx_.failure(path_, reason);
  return false;
}

bool PieceWriter::open(std::string_view sample) {
  std::string name;
  if (naming_.contentNames) name = contentName(ctx_.fileSystem(), naming_, nameSample(sample), random_);
  contentNamed_ = !name.empty();
  if (name.empty()) name = baseNumberName(PathBaseName(naming_.source), number_);
  path_ = naming_.folder + withExtension(name, extension_);
  if (protected_.count(path_) != 0) return fail("这是本次要分割的源文件，不能被分割块覆盖");
  std::string error;
  if (!file_.open(path_, &error)) return fail(error);
  return true;
}

bool PieceWriter::append(std::string_view bytes) {
  if (failed_) return false;
  size_ += static_cast<int64_t>(bytes.size());
  if (file_.isOpen()) {
    std::string error;
    return file_.write(bytes, &error) || fail(error);
  }
  held_.append(bytes);
  if (static_cast<int>(naming_.encoding) < 2 && held_.size() >= kNameSample) {
    if (!open(held_)) return false;
    std::string error;
    if (!file_.write(held_, &error)) return fail(error);
    held_.clear();  // its room serves the next piece's sample
  }
  return true;
}

int64_t PieceWriter::copyFrom(FileReader& reader, int64_t length, std::string& readError) {
  if (failed_) return -1;
  int64_t copied = 0;
  while (!file_.isOpen() && copied < length) {
    if (!chunk_) chunk_ = std::make_unique_for_overwrite<char[]>(kCopyChunk);
    const int64_t n = reader.read(chunk_.get(), static_cast<size_t>(std::min<int64_t>(length - copied, kCopyChunk)),
                                  &readError);
    if (n <= 0) return n < 0 ? -1 : copied;
    if (!append(std::string_view(chunk_.get(), static_cast<size_t>(n)))) return -1;
    copied += n;
  }
  if (copied == length) return copied;
  const int64_t before = file_.written();
  bool readFailed = false;
  std::string error;
  const bool ok = file_.append(reader, readFailed, &error, length - copied);
  size_ += file_.written() - before;
  if (ok) return copied + file_.written() - before;
  if (readFailed) {
    readError = error;
  } else {
    fail(error);
  }
  return -1;
}

bool PieceWriter::finish() {
  if (failed_) return false;
  std::string error;
  if (!file_.isOpen()) {
    if (!open(held_)) return false;
    if (static_cast<int>(naming_.encoding) >= 2) {
      std::string bytes;
      EncodeText({}, held_, naming_.encoding, bytes);
      held_.clear();
      held_.shrink_to_fit();
      if (!file_.write(bytes, &error)) return fail(error);
    } else if (!file_.write(held_, &error)) {
      return fail(error);
    }
    held_.clear();
  }
  if (!file_.commit(&error, !contentNamed_)) {
    failed_ = true;
    ctx_.failure(path_, error);
    return false;
  }
  return true;
}

}  // namespace chengling
