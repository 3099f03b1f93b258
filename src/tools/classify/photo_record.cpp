#include "tools/classify/photo_record.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "foundation/file_system.h"
#include "foundation/native_text.h"
#include "tools/classify/photo_tags.h"

namespace chengling {
namespace {

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

// The record's parts from its tags: of the dates, the first valid one in order of preference
// (Photo.DateTimeOriginal, Image.DateTimeOriginal, Photo.DateTimeDigitized, Image.DateTime), each kind
// read from its first tag that holds a real date; the first model that is not blank.
PhotoRecord recordOf(const PhotoTags& tags) {
  PhotoRecord record;
  PhotoTime candidates[4];
  bool found[4] = {false, false, false, false};
  bool hasModel = false;
  for (const PhotoTag& tag : tags) {
    if (tag.kind == PhotoTag::Model) {
      if (!hasModel) {
        record.model = modelText(tag.text);
        hasModel = !record.model.empty();
      }
    } else if (!found[tag.kind]) {
      found[tag.kind] = parseExifDateTime(tag.text, candidates[tag.kind]);
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

// The photo module's entry points, opened on first use; all null when it cannot be opened, and then
// no file has a record.
struct PhotoModule {
  PhotoTagsOfExifFunction ofExif = nullptr;
  PhotoTagsOfImageFunction ofImage = nullptr;
  PhotoTagsOfFileFunction ofFile = nullptr;
  std::string problem;
};

const PhotoModule& photoModule() {
  static const PhotoModule module = [] {
    PhotoModule m;
#ifdef CHENGLING_PHOTO_MODULE_PATH
    void* handle = ::dlopen(CHENGLING_PHOTO_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
#else
    void* handle = ::dlopen(kPhotoModuleName, RTLD_NOW | RTLD_LOCAL);
#endif
    if (handle == nullptr) {
      const char* why = ::dlerror();
      m.problem = why != nullptr ? why : kPhotoModuleName;
      return m;
    }
    m.ofExif = reinterpret_cast<PhotoTagsOfExifFunction>(::dlsym(handle, "chengling_photo_tags_of_exif"));
    m.ofImage = reinterpret_cast<PhotoTagsOfImageFunction>(::dlsym(handle, "chengling_photo_tags_of_image"));
    m.ofFile = reinterpret_cast<PhotoTagsOfFileFunction>(::dlsym(handle, "chengling_photo_tags_of_file"));
    if (m.ofExif == nullptr || m.ofImage == nullptr || m.ofFile == nullptr) {
      m.ofExif = nullptr;
      m.ofImage = nullptr;
      m.ofFile = nullptr;
      m.problem = std::string(kPhotoModuleName) + ": missing entry points";
    }
    return m;
  }();
  return module;
}

// The record that `read` (one of the module's entry points, given its tags to fill) yields, or
// nothing when the library fails (a damaged record, memory it could not get) or the module is
// missing: the caller decides what that means.
template <typename Read>
std::optional<PhotoRecord> guarded(Read read) {
  if (!photoReaderProblem().empty()) return std::nullopt;
  PhotoTags tags;
  if (!read(photoModule(), tags)) return std::nullopt;
  return recordOf(tags);
}

// The record of the TIFF structure that an EXIF segment holds, by the library's own EXIF parser.
std::optional<PhotoRecord> recordOfExifSegment(std::string_view tiff) {
  return guarded([tiff](const PhotoModule& module, PhotoTags& tags) {
    return module.ofExif(reinterpret_cast<const uint8_t*>(tiff.data()), tiff.size(), &tags);
  });
}

bool isJpeg(std::string_view head) { return head.size() >= 3 && head.substr(0, 3) == "\xff\xd8\xff"; }

// Where a JPEG keeps its EXIF record: the first APP1 segment that starts with "Exif\0\0", among the
// segments before the picture (SOS). The record is the rest of that segment (a TIFF structure),
// `length` bytes from `start`, which may lie beyond the bytes at hand.
enum class JpegExif { Found, Absent, BeyondTheBytes };
JpegExif findJpegExif(std::string_view bytes, size_t& start, size_t& length) {
  const auto byte = [&bytes](size_t at) { return static_cast<unsigned char>(bytes[at]); };
  size_t pos = 2;  // after SOI
  while (true) {
    // Stray bytes where a marker should be are passed over, as the library's own reader does, and
    // so are the fill bytes before a marker.
    while (pos < bytes.size() && byte(pos) != 0xff) ++pos;
    while (pos < bytes.size() && byte(pos) == 0xff) ++pos;
    if (pos >= bytes.size()) return JpegExif::BeyondTheBytes;
    const unsigned char marker = byte(pos++);
    if (marker == 0xda || marker == 0xd9) return JpegExif::Absent;  // the picture, or the end
    if (marker == 0x01 || marker == 0xd8 || (marker >= 0xd0 && marker <= 0xd7)) continue;  // no length
    if (pos + 2 > bytes.size()) return JpegExif::BeyondTheBytes;
    const size_t segment = static_cast<size_t>(byte(pos)) << 8 | byte(pos + 1);
    if (segment < 2) return JpegExif::Absent;
    if (marker == 0xe1 && segment >= 8) {
      if (pos + 8 > bytes.size()) return JpegExif::BeyondTheBytes;
      if (bytes.substr(pos + 2, 6) == std::string_view("Exif\0\0", 6)) {
        start = pos + 8;
        length = segment - 8;
        return JpegExif::Found;
      }
    }
    pos += segment;
  }
}

// The record of a file's bytes in memory: the whole file.
std::optional<PhotoRecord> recordOfBytes(std::string_view bytes) {
  if (isJpeg(bytes)) {
    size_t start = 0;
    size_t length = 0;
    switch (findJpegExif(bytes, start, length)) {
      case JpegExif::Found:
        if (start + length > bytes.size()) return std::nullopt;  // cut inside the record
        return recordOfExifSegment(bytes.substr(start, length));
      case JpegExif::Absent:
        return PhotoRecord();
      case JpegExif::BeyondTheBytes:
        return std::nullopt;
    }
  }
  return guarded([bytes](const PhotoModule& module, PhotoTags& tags) {
    return module.ofImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &tags);
  });
}

// `size` bytes of the open file `fd` from `offset`; fewer at its end.
std::string readAt(int fd, uint64_t offset, size_t size) {
  std::string bytes(size, '\0');
  size_t got = 0;
  while (got < size) {
    const ssize_t n = pread(fd, bytes.data() + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

// What is read first: enough for the segments of a JPEG up to its record in the common case, and
// the whole of a small file. A JPEG's record (at most 64 KiB) is then read on its own when it goes
// on past this; the picture is never read.
constexpr size_t kHeadBytes = 4096;

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

const std::string& photoReaderProblem() { return photoModule().problem; }

PhotoRecord readPhotoRecord(std::string_view path, bool knownRegular) {
  if (!knownRegular && regularFileSize(path) < 0) return PhotoRecord();
  const std::string native = nativeFromInternal(path);
  {
    // Non-blocking: what was a regular file a moment ago may have been replaced by a pipe.
    const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return PhotoRecord();
    const std::string head = readAt(fd, 0, kHeadBytes);
    // A regular file reads short only at its end.
    const bool whole = head.size() < kHeadBytes;
    if (head.empty()) {
      close(fd);
      return PhotoRecord();
    }
    std::optional<PhotoRecord> record;
    bool decided = false;
    size_t start = 0;
    size_t length = 0;
    if (isJpeg(head)) {
      // A photo of a camera or a phone: its record in one or two reads, and only the record goes to
      // the library, not the whole file opened three times over to find its kind and its segments.
      switch (findJpegExif(head, start, length)) {
        case JpegExif::Found: {
          std::string rest;
          std::string_view tiff;
          if (start + length <= head.size()) {
            tiff = std::string_view(head).substr(start, length);
          } else {
            rest = readAt(fd, start, length);
            tiff = rest;
          }
          // A file that ends inside its record has none.
          if (tiff.size() == length) record = recordOfExifSegment(tiff);
          decided = true;
          break;
        }
        case JpegExif::Absent:
          record = PhotoRecord();
          decided = true;
          break;
        case JpegExif::BeyondTheBytes:  // long segments before the record: the library reads on
          break;
      }
    } else if (whole) {
      record = recordOfBytes(head);
      decided = true;
    }
    close(fd);
    if (decided) return record.value_or(PhotoRecord());
  }
  return guarded([&native](const PhotoModule& module, PhotoTags& tags) {
           return module.ofFile(native.c_str(), &tags);
         })
      .value_or(PhotoRecord());
}

PhotoRecord photoRecordOfBytes(const uint8_t* data, size_t size) {
  if (size == 0 || size > static_cast<size_t>(INT32_MAX)) return PhotoRecord();
  return recordOfBytes(std::string_view(reinterpret_cast<const char*>(data), size)).value_or(PhotoRecord());
}

}  // namespace chengling
