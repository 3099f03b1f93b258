#pragma once
// What a photo's own EXIF record says of it: when it was taken and with which camera. Read with
// libexiv2, which knows JPEG, TIFF, PNG (eXIf and the raw-profile text), HEIF/HEIC and AVIF, WebP
// and the raw formats of the cameras. Only the metadata is read, never the picture, and the file is
// never written. A file without a record, or with one that cannot be read, is no error: the parts
// are simply unset, and the caller falls back to the file's own time.
//
// libexiv2 lives in a module of its own that is opened on first use (photo_tags.h), so that the
// programs start without it.
//
// Shared by the engine and the window: no Chinese literal in this header.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace chengling {

// A wall-clock time as the camera wrote it: no time zone, none is applied.
struct PhotoTime {
  int year = 0;    // 1 to 9999
  int month = 0;   // 1 to 12
  int day = 0;     // 1 to the last day of the month
  int hour = 0;    // 0 to 23
  int minute = 0;  // 0 to 59
  int second = 0;  // 0 to 60 (a leap second)
  bool operator==(const PhotoTime&) const = default;
};

struct PhotoRecord {
  // When the picture was taken: the first valid one of DateTimeOriginal (in the Exif IFD, or in
  // IFD0 as some raw formats keep it), DateTimeDigitized (CreateDate), DateTime (IFD0).
  bool hasTaken = false;
  PhotoTime taken;
  // The camera's Model (IFD0) as internal text, blanks at both ends and control characters taken
  // out; empty when there is none.
  std::string model;
};

// The record of the file at `path` (internal text). Reads regular files only: a folder, a device or a
// pipe gives an empty record without being opened. `knownRegular` says that the caller has just
// found a regular file there, which spares looking again.
PhotoRecord readPhotoRecord(std::string_view path, bool knownRegular = false);

// Why no record can be read at all (the photo module could not be opened), or empty when records can
// be read. Without the module every file reads as having no record.
const std::string& photoReaderProblem();

// The record of a file's bytes held in memory (the same parsers).
PhotoRecord photoRecordOfBytes(const uint8_t* data, size_t size);

// "YYYY:MM:DD HH:MM:SS" as EXIF writes it, read into `time`; false (and `time` untouched) for
// anything that is no real date: blanks or zeros for unknown parts ("0000:00:00 00:00:00"), a
// month 13, February 30, a short text. The date's separators may also be "-", "/" or ".", and a
// "T" may stand between date and time; anything after the seconds (fractions, a zone) is ignored.
bool parseExifDateTime(std::string_view text, PhotoTime& time);

}  // namespace chengling
