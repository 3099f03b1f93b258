// libFuzzer target: any bytes taken as a photo file, as readPhotoRecord reads one (the JPEG segments
// walked to the record, the library's EXIF parser on it, or the library's reader for any other
// kind). No crash, hang or leak, and what comes back is a real date and a clean model text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tools/classify/photo_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace chengling;
  const PhotoRecord record = photoRecordOfBytes(data, size);
  if (record.hasTaken) {
    const PhotoTime& t = record.taken;
    if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60) {
      abort();
    }
  }
  for (const char c : record.model) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) abort();
  }
  if (!record.model.empty() && (record.model.front() == ' ' || record.model.back() == ' ')) abort();
  return 0;
}
