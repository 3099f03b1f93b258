#include "tools/classify/photo_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <utility>
#include <mutex>

#include "foundation/file_system.h"
#include "foundation/native_text.h"

namespace chengling {
namespace {

#if EXIV2_TEST_VERSION(0, 28, 0)
using IoPointer = Exiv2::BasicIo::UniquePtr;
using ImagePointer = Exiv2::Image::UniquePtr;
#else
using IoPointer = Exiv2::BasicIo::AutoPtr;
using ImagePointer = Exiv2::Image::AutoPtr;
#endif

// The library reports every odd byte of a file on standard error; a run over a folder of damaged
// photos must stay quiet. BMFF (HEIF, HEIC, AVIF, CR3) is off in the library until asked for.
void prepareLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::LogMsg::setHandler(nullptr);
#ifdef EXV_ENABLE_BMFF
    Exiv2::enableBMFF(true);
#endif
    // Reading a JPEG also decodes its XMP packet; the toolkit's first use is not thread-safe.
    Exiv2::XmpParser::initialize();
  });
}

bool twoDigits(std::string_view text, size_t pos, int& value) {
  if (pos + 2 > text.size()) return false;
  const char a = text[pos];
  const char b = text[pos + 1];
  if (a < '0' || a > '9' || b < '0' || b > '9') return false;
  value = (a - '0') * 10 + (b - '0');
  return true;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool isDateSeparator(char c) { return c == ':' || c == '-' || c == '/' || c == '.'; }

// The camera's text as internal text: up to its first NUL, without control characters, blanks
// trimmed. Cameras write ASCII, some phones UTF-8; other bytes are kept as they are (the same
// escapes as a file name that is not UTF-8), so nothing is guessed.
std::string modelText(std::string raw) {
  const size_t nul = raw.find('\0');
  if (nul != std::string::npos) raw.resize(nul);
  std::string clean;
  clean.reserve(raw.size());
  for (const char c : raw) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) clean += c;
  }
  const size_t first = clean.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  clean = clean.substr(first, clean.find_last_not_of(' ') - first + 1);
  return internalFromNative(clean);
}

// The EXIF tags read, with the group the library files them under.
constexpr uint16_t kDateTimeOriginal = 0x9003;
constexpr uint16_t kDateTimeDigitized = 0x9004;
constexpr uint16_t kDateTime = 0x0132;
constexpr uint16_t kModel = 0x0110;

PhotoRecord recordOf(Exiv2::Image& image) {
  image.readMetadata();
  PhotoRecord record;
  // Candidates in order of preference: Photo.DateTimeOriginal, Image.DateTimeOriginal,
  // Photo.DateTimeDigitized, Image.DateTime. A candidate that is no real date gives way to the next.
  PhotoTime candidates[4];
  bool found[4] = {false, false, false, false};
  bool hasModel = false;
  for (const Exiv2::Exifdatum& datum : image.exifData()) {
    const uint16_t tag = datum.tag();
    if (tag != kDateTimeOriginal && tag != kDateTimeDigitized && tag != kDateTime && tag != kModel) continue;
    const std::string group = datum.groupName();
    const bool inPhoto = group == "Photo";
    const bool inImage = group == "Image";
    int slot = -1;
    if (tag == kDateTimeOriginal) slot = inPhoto ? 0 : inImage ? 1 : -1;
    if (tag == kDateTimeDigitized && inPhoto) slot = 2;
    if (tag == kDateTime && inImage) slot = 3;
    // A date stored as anything but text does not read as a date, whatever its declared type.
    if (slot >= 0 && !found[slot]) {
      found[slot] = parseExifDateTime(datum.toString(), candidates[slot]);
    }
    if (tag == kModel && inImage && !hasModel && datum.typeId() == Exiv2::asciiString) {
      record.model = modelText(datum.toString());
      hasModel = !record.model.empty();
    }
  }
  for (int slot = 0; slot < 4; ++slot) {
    if (found[slot]) {
      record.hasTaken = true;
      record.taken = candidates[slot];
      break;
    }
  }
  return record;
}

// The record, or nothing when the library fails on the file (a damaged record, memory it could not
// get): the caller decides what that means.
template <typename Open>
std::optional<PhotoRecord> guardedRecord(Open open) {
  prepareLibrary();
  try {
    auto image = open();
    if (image.get() == nullptr) return PhotoRecord();
    return recordOf(*image);
  } catch (...) {
    return std::nullopt;
  }
}

// How much of a file is read in one go. A JPEG keeps its record in an APP1 segment of at most 64 KiB
// near its start, so this holds it (and the whole of a small photo); the picture after it is not
// read. A larger file of another kind, whose record may lie anywhere, is read by the library.
constexpr size_t kHeadBytes = 128 * 1024;

bool isJpeg(std::string_view head) { return head.size() >= 3 && head.substr(0, 3) == "\xff\xd8\xff"; }

// The record of a file's bytes in memory (all of them, or the head of a JPEG). A JPEG is read as
// one without asking every other format whether the bytes are theirs.
std::optional<PhotoRecord> recordOfBytes(std::string_view bytes) {
  const auto* data = reinterpret_cast<const Exiv2::byte*>(bytes.data());
  const long length = static_cast<long>(bytes.size());
  return guardedRecord([&] {
    ImagePointer image;
    if (isJpeg(bytes)) {
      image.reset(new Exiv2::JpegImage(IoPointer(new Exiv2::MemIo(data, length)), false));
    } else {
      image = Exiv2::ImageFactory::open(data, length);
    }
    return image;
  });
}

// The first `size` bytes of `path`; fewer when it shrank meanwhile; nullopt when it cannot be read.
std::optional<std::string> readHead(const std::string& path, size_t size) {
  // Non-blocking: what was a regular file a moment ago may have been replaced by a pipe.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::string head(size, '\0');
  size_t got = 0;
  while (got < size) {
    const ssize_t n = pread(fd, head.data() + got, size - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  head.resize(got);
  return head;
}

}  // namespace

bool parseExifDateTime(std::string_view text, PhotoTime& time) {
  // YYYY:MM:DD HH:MM:SS
  if (text.size() < 19) return false;
  int century = 0;
  int yearInCentury = 0;
  PhotoTime parsed;
  if (!twoDigits(text, 0, century) || !twoDigits(text, 2, yearInCentury)) return false;
  if (!isDateSeparator(text[4]) || text[7] != text[4]) return false;
  if (text[10] != ' ' && text[10] != 'T') return false;
  if (text[13] != ':' || text[16] != ':') return false;
  if (!twoDigits(text, 5, parsed.month) || !twoDigits(text, 8, parsed.day) ||
      !twoDigits(text, 11, parsed.hour) || !twoDigits(text, 14, parsed.minute) ||
      !twoDigits(text, 17, parsed.second)) {
    return false;
  }
  parsed.year = century * 100 + yearInCentury;
  if (parsed.year < 1 || parsed.month < 1 || parsed.month > 12) return false;
  if (parsed.day < 1 || parsed.day > daysInMonth(parsed.year, parsed.month)) return false;
  if (parsed.hour > 23 || parsed.minute > 59 || parsed.second > 60) return false;
  time = parsed;
  return true;
}

PhotoRecord readPhotoRecord(std::string_view path) {
  // One stat tells a regular file and its size; a folder, a device or a pipe is never opened.
  const int64_t size = regularFileSize(path);
  if (size <= 0) return PhotoRecord();
  const std::string native = nativeFromInternal(path);
  // The common case, a photo of a camera or a phone, in one read: the library works on the bytes in
  // memory instead of opening the file three times (once to tell its kind, once more to read it).
  const std::optional<std::string> head = readHead(native, std::min<uint64_t>(static_cast<uint64_t>(size), kHeadBytes));
  if (!head) return PhotoRecord();
  const bool whole = head->size() == static_cast<uint64_t>(size);
  if (whole || isJpeg(*head)) {
    const std::optional<PhotoRecord> record = recordOfBytes(*head);
    // A JPEG cut inside its segments fails to read: then it is read from the file like the rest.
    if (record || whole) return record.value_or(PhotoRecord());
  }
  return guardedRecord([&native] {
           // A FileIo of our own: the library's open by name would take a name such as "http://..."
           // or "-" (a line of a file list) for an address to fetch or for standard input.
           IoPointer io(new Exiv2::FileIo(native));
           return Exiv2::ImageFactory::open(std::move(io));
         })
      .value_or(PhotoRecord());
}

PhotoRecord photoRecordOfBytes(const uint8_t* data, size_t size) {
  if (size == 0 || size > static_cast<size_t>(INT32_MAX)) return PhotoRecord();
  return recordOfBytes(std::string_view(reinterpret_cast<const char*>(data), size)).value_or(PhotoRecord());
}

}  // namespace chengling
