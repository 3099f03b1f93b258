#include "tools/classify/photo_record.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <exiv2/exiv2.hpp>

#include <chrono>
#include <map>
#include <thread>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/native_text.h"
#include "tools/classify/photo_records_ahead.h"
#include "support/test_support.h"

namespace chengling {

// Failure messages show a time as it reads.
void PrintTo(const PhotoTime& t, std::ostream* out) {
  *out << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":" << t.minute << ":" << t.second;
}

namespace {

using testing::TempDir;
using Fields = std::map<std::string, std::string>;  // EXIF key -> text value

const PhotoTime kOriginal{2017, 3, 9, 8, 5, 7};
const PhotoTime kDigitized{2018, 4, 10, 9, 6, 8};
const PhotoTime kChanged{2019, 12, 31, 23, 59, 59};
constexpr const char* kOriginalText = "2017:03:09 08:05:07";
constexpr const char* kDigitizedText = "2018:04:10 09:06:08";
constexpr const char* kChangedText = "2019:12:31 23:59:59";

Exiv2::ExifData exifOf(const Fields& fields) {
  Exiv2::ExifData exif;
  for (const auto& [key, value] : fields) {
    Exiv2::AsciiValue text;
    text.read(value);
    exif.add(Exiv2::ExifKey(key), &text);
  }
  return exif;
}

// A 1x1 JPEG that the library itself makes, carrying `fields`; its bytes.
std::string jpegWith(const TempDir& dir, const Fields& fields) {
  const std::string path = dir / "made.jpg";
  {
    auto image = Exiv2::ImageFactory::create(Exiv2::ImageType::jpeg, path);
    image->setExifData(exifOf(fields));
    image->writeMetadata();
  }
  return testing::readBytes(path);
}

// The same as a PNG, in the library's own way (a "Raw profile type exif" text chunk).
std::string pngWithProfile(const TempDir& dir, const Fields& fields) {
  const std::string path = dir / "made.png";
  {
    auto image = Exiv2::ImageFactory::create(Exiv2::ImageType::png, path);
    image->setExifData(exifOf(fields));
    image->writeMetadata();
  }
  return testing::readBytes(path);
}

// The TIFF structure of an EXIF record, as the library encodes it.
std::string tiffRecord(const Fields& fields) {
  Exiv2::Blob blob;
  Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exifOf(fields));
  return std::string(blob.begin(), blob.end());
}

// A TIFF of 300 KB: the record, then picture bytes. Larger than what is read in one go, and not a
// JPEG: the library reads it from the file.
std::string largeTiff(const Fields& fields) { return tiffRecord(fields) + std::string(300000, '\x55'); }

std::string bigEndian32(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

std::string pngChunk(std::string_view type, std::string_view data) {
  std::string chunk = bigEndian32(static_cast<uint32_t>(data.size()));
  std::string body = std::string(type) + std::string(data);
  const auto crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return chunk + body + bigEndian32(static_cast<uint32_t>(crc));
}

// A PNG whose record stands in an eXIf chunk (PNG 1.5), before the picture as most writers put it.
std::string pngWithExifChunk(const TempDir& dir, const Fields& fields) {
  const std::string made = pngWithProfile(dir, {});
  const std::string signature = made.substr(0, 8);
  const std::string header = made.substr(8, 25);  // the IHDR chunk: length, type, 13 bytes, CRC
  return signature + header + pngChunk("eXIf", tiffRecord(fields)) + made.substr(33);
}

// `bytes` with the 4-byte value field of the little-endian IFD entry of `tag` (ASCII, `count`)
// pointed far past the end.
std::string withEntryPointedAway(std::string bytes, uint16_t tag, uint32_t count) {
  const std::string entry = {static_cast<char>(tag & 0xff), static_cast<char>(tag >> 8), 2, 0,
                             static_cast<char>(count), 0, 0, 0};
  const size_t at = bytes.find(entry);
  if (at == std::string::npos) return std::string();
  bytes.replace(at + 8, 4, std::string("\x00\xff\xff\x7f", 4));
  return bytes;
}

// `bytes` of a JPEG with the offset of its first IFD (TIFF header bytes 4 to 7) pointed past the end.
std::string withFirstIfdPointedAway(std::string bytes) {
  const size_t tiff = bytes.find(std::string("Exif\0\0", 6));
  if (tiff == std::string::npos) return std::string();
  bytes.replace(tiff + 6 + 4, 4, std::string("\x00\xff\xff\x7f", 4));
  return bytes;
}

// `jpeg` with `count` application segments (APP11) of `length` bytes each put before (or after) its
// other segments: a record far from the start, or a long way to the picture.
std::string withLargeSegments(const std::string& jpeg, int count, bool before, uint32_t length = 60000) {
  std::string segments;
  for (int i = 0; i < count; ++i) {
    segments += std::string("\xff\xeb", 2) + bigEndian32(length).substr(2) +
                std::string(length - 2, static_cast<char>('a' + i));
  }
  if (before) return jpeg.substr(0, 2) + segments + jpeg.substr(2);
  const size_t scan = jpeg.find(std::string("\xff\xda", 2));  // start of scan: the picture
  if (scan == std::string::npos) return std::string();
  return jpeg.substr(0, scan) + segments + jpeg.substr(scan);
}

// `jpeg` with a segment of marker `marker` holding `payload` right after its start.
std::string withSegmentFirst(const std::string& jpeg, std::string_view marker, const std::string& payload) {
  return jpeg.substr(0, 2) + std::string(marker) + bigEndian32(static_cast<uint32_t>(payload.size() + 2)).substr(2) +
         payload + jpeg.substr(2);
}

std::string box(std::string_view type, const std::string& body) {
  return bigEndian32(static_cast<uint32_t>(8 + body.size())) + std::string(type) + body;
}
std::string fullBox(std::string_view type, const std::string& body) { return box(type, std::string(4, '\0') + body); }
std::string bigEndian16(uint16_t value) { return bigEndian32(value).substr(2); }

// A HEIC file (ISO base media) as a phone writes one, reduced to what carries the record: the brand,
// a meta box naming an "Exif" item and where it lies, and the item in mdat (a 4-byte offset to the
// TIFF header, "Exif\0\0", the TIFF structure), then `picture` bytes.
std::string heicWith(const Fields& fields, size_t picture) {
  const std::string ftyp = box("ftyp", std::string("heic") + std::string(4, '\0') + "mif1heic");
  const std::string hdlr = fullBox("hdlr", std::string(4, '\0') + "pict" + std::string(13, '\0'));
  const std::string infe = box("infe", std::string("\x02\0\0\0", 4) + bigEndian16(1) + bigEndian16(0) + "Exif" +
                                           std::string(1, '\0'));
  const std::string iinf = fullBox("iinf", bigEndian16(1) + infe);
  const std::string payload = bigEndian32(6) + std::string("Exif\0\0", 6) + tiffRecord(fields);
  auto iloc = [&](uint32_t offset) {
    return fullBox("iloc", std::string("\x44\0", 2) + bigEndian16(1) + bigEndian16(1) + bigEndian16(0) +
                               bigEndian16(1) + bigEndian32(offset) + bigEndian32(static_cast<uint32_t>(payload.size())));
  };
  const size_t metaSize = fullBox("meta", hdlr + iinf + iloc(0)).size();
  const std::string meta = fullBox("meta", hdlr + iinf + iloc(static_cast<uint32_t>(ftyp.size() + metaSize + 8)));
  return ftyp + meta + box("mdat", payload + std::string(picture, '\x33'));
}

struct Expected {
  bool hasTaken;
  PhotoTime taken;
  const char* model;
};

TEST(PhotoRecord, ReadsTheFirstValidDateAndTheModel) {
  const TempDir dir;
  const std::string original = "Exif.Photo.DateTimeOriginal";
  const std::string digitized = "Exif.Photo.DateTimeDigitized";
  const std::string changed = "Exif.Image.DateTime";
  const std::string model = "Exif.Image.Model";
  const std::string allThree = jpegWith(dir, {{original, kOriginalText}, {digitized, kDigitizedText},
                                              {changed, kChangedText}, {model, "Canon EOS 5D"}});
  const std::string longRecord =
      jpegWith(dir, {{original, kOriginalText}, {changed, kChangedText}, {model, "Canon EOS 5D"},
                     {"Exif.Image.ImageDescription", std::string(10000, 'd')}});
  struct Case {
    const char* name;
    std::string bytes;
    Expected want;
  };
  const Case cases[] = {
      {"original alone", jpegWith(dir, {{original, kOriginalText}}), {true, kOriginal, ""}},
      {"digitized alone", jpegWith(dir, {{digitized, kDigitizedText}}), {true, kDigitized, ""}},
      {"date-time alone", jpegWith(dir, {{changed, kChangedText}}), {true, kChanged, ""}},
      {"all three", allThree, {true, kOriginal, "Canon EOS 5D"}},
      {"digitized before date-time", jpegWith(dir, {{digitized, kDigitizedText}, {changed, kChangedText}}),
       {true, kDigitized, ""}},
      // Some raw formats keep DateTimeOriginal in IFD0; it still comes before the other two.
      {"original in IFD0",
       jpegWith(dir, {{"Exif.Image.DateTimeOriginal", kOriginalText}, {changed, kChangedText}}),
       {true, kOriginal, ""}},
      {"none, model only", jpegWith(dir, {{model, "NIKON D750"}}), {false, {}, "NIKON D750"}},
      {"no record at all", jpegWith(dir, {}), {false, {}, ""}},
      // A date that is no date gives way to the next field, or to none.
      {"zero original, then date-time",
       jpegWith(dir, {{original, "0000:00:00 00:00:00"}, {changed, kChangedText}}), {true, kChanged, ""}},
      {"zero original alone", jpegWith(dir, {{original, "0000:00:00 00:00:00"}}), {false, {}, ""}},
      {"blank original", jpegWith(dir, {{original, "    :  :     :  :  "}}), {false, {}, ""}},
      {"February 30, then digitized",
       jpegWith(dir, {{original, "2017:02:30 10:00:00"}, {digitized, kDigitizedText}}), {true, kDigitized, ""}},
      {"short original", jpegWith(dir, {{original, "2017:03:09"}}), {false, {}, ""}},
      // Damaged records never fail a read: what can be read is used, the rest is missing.
      {"truncated inside the record", allThree.substr(0, allThree.find(kOriginalText) - 40), {false, {}, ""}},
      {"truncated after the header", allThree.substr(0, 24), {false, {}, ""}},
      {"original's offset past the end",
       withEntryPointedAway(jpegWith(dir, {{original, kOriginalText}, {changed, kChangedText}}), 0x9003, 20),
       {true, kChanged, ""}},
      {"first IFD past the end", withFirstIfdPointedAway(allThree), {false, {}, ""}},
      // A record longer than the first read (as a phone's with its thumbnail), whole or cut.
      {"record of 10 KB", longRecord, {true, kOriginal, "Canon EOS 5D"}},
      {"record of 10 KB, cut", longRecord.substr(0, 8000), {false, {}, ""}},
      // Another APP1 segment (an XMP packet) before the record.
      {"XMP segment first", withSegmentFirst(allThree, "\xff\xe1", std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 34)),
       {true, kOriginal, "Canon EOS 5D"}},
      // Fill bytes before a marker, and stray bytes between segments, are passed over.
      {"fill bytes", withSegmentFirst(allThree, "\xff\xff\xff\xfe", "comment"), {true, kOriginal, "Canon EOS 5D"}},
      {"stray bytes", std::string("\xff\xd8\xff\xe0\x00\x04" "ab" "junk", 12) + allThree.substr(2),
       {true, kOriginal, "Canon EOS 5D"}},
      // Far from the start of the file.
      {"record after 180 KB of other segments", withLargeSegments(allThree, 3, true),
       {true, kOriginal, "Canon EOS 5D"}},
      {"record before 180 KB of other segments", withLargeSegments(allThree, 3, false),
       {true, kOriginal, "Canon EOS 5D"}},
      {"record cut by the end of the first read", withLargeSegments(allThree, 2, true, 65490),
       {true, kOriginal, "Canon EOS 5D"}},
      // Other containers.
      {"PNG with eXIf", pngWithExifChunk(dir, {{original, kOriginalText}, {model, "Pixel 7"}}),
       {true, kOriginal, "Pixel 7"}},
      {"PNG with the raw profile text", pngWithProfile(dir, {{digitized, kDigitizedText}}),
       {true, kDigitized, ""}},
      {"TIFF", tiffRecord({{changed, kChangedText}, {model, "ILCE-7M3"}}), {true, kChanged, "ILCE-7M3"}},
      {"TIFF of 300 KB", largeTiff({{original, kOriginalText}, {model, "ILCE-7M3"}}),
       {true, kOriginal, "ILCE-7M3"}},
      // HEIF, small and larger than the first read.
      {"HEIC", heicWith({{original, kOriginalText}, {model, "iPhone 15"}}, 0), {true, kOriginal, "iPhone 15"}},
      {"HEIC of 100 KB", heicWith({{digitized, kDigitizedText}}, 100000), {true, kDigitized, ""}},
      // Not images.
      {"text file", "2017:03:09 08:05:07 Canon\n", {false, {}, ""}},
      {"empty file", "", {false, {}, ""}},
      {"PNG signature before noise", testing::pngLikeBytes(4096, 7), {false, {}, ""}},
  };
  for (const Case& c : cases) {
    ASSERT_FALSE(c.name != std::string("empty file") && c.bytes.empty()) << c.name << ": fixture not made";
    const std::string path = dir / "photo";
    testing::writeBytes(path, c.bytes);
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);

    const PhotoRecord record = readPhotoRecord(internalFromNative(path));
    EXPECT_EQ(record.hasTaken, c.want.hasTaken) << c.name;
    if (c.want.hasTaken) {
      EXPECT_EQ(record.taken, c.want.taken) << c.name;
    }
    EXPECT_EQ(record.model, c.want.model) << c.name;

    // The bytes in memory read the same.
    const PhotoRecord fromBytes =
        photoRecordOfBytes(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(fromBytes.hasTaken, record.hasTaken) << c.name;
    EXPECT_EQ(fromBytes.taken, record.taken) << c.name;
    EXPECT_EQ(fromBytes.model, record.model) << c.name;

    // Reading never writes: the same bytes, the same modification time.
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(testing::readBytes(path), c.bytes) << c.name;
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec) << c.name;
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec) << c.name;
  }
}

TEST(PhotoRecord, ModelIsTrimmedInternalText) {
  const TempDir dir;
  struct Case {
    std::string written;
    std::string want;
  };
  const Case cases[] = {
      {"  Canon EOS R5   ", "Canon EOS R5"},
      {std::string("FC3170\0junk", 11), "FC3170"},
      {"Tab\tAnd\nNewline", "TabAndNewline"},
      {testing::utf8(u8"华为 P30 Pro"), "华为 P30 Pro"},  // a phone's UTF-8 becomes internal text
      {"   ", ""},
  };
  for (const Case& c : cases) {
    const std::string path = dir / "m.jpg";
    {
      auto image = Exiv2::ImageFactory::create(Exiv2::ImageType::jpeg, path);
      Exiv2::ExifData exif;
      Exiv2::AsciiValue text;
      text.read(reinterpret_cast<const Exiv2::byte*>(c.written.data()), static_cast<long>(c.written.size()),
                Exiv2::invalidByteOrder);
      exif.add(Exiv2::ExifKey("Exif.Image.Model"), &text);
      image->setExifData(exif);
      image->writeMetadata();
    }
    EXPECT_EQ(readPhotoRecord(internalFromNative(path)).model, c.want) << testing::hex(c.written);
  }
}

TEST(PhotoRecord, OnlyRegularFilesAreOpened) {
  const TempDir dir;
  const std::string photo = dir / "a.jpg";
  testing::writeBytes(photo, jpegWith(dir, {{"Exif.Photo.DateTimeOriginal", kOriginalText}}));
  EXPECT_TRUE(readPhotoRecord(internalFromNative(photo)).hasTaken);
  // A link to a photo is read as the photo.
  ASSERT_EQ(symlink(photo.c_str(), (dir / "link.jpg").c_str()), 0);
  EXPECT_TRUE(readPhotoRecord(internalFromNative(dir / "link.jpg")).hasTaken);
  // A folder, a missing file and a pipe (which would block an open) give no record.
  EXPECT_FALSE(readPhotoRecord(internalFromNative(dir.path())).hasTaken);
  EXPECT_FALSE(readPhotoRecord(internalFromNative(dir / "missing.jpg")).hasTaken);
  ASSERT_EQ(mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
  EXPECT_FALSE(readPhotoRecord(internalFromNative(dir / "pipe.jpg")).hasTaken);
  // A caller that has just seen a regular file spares the look; a pipe put there meanwhile still
  // neither blocks nor reads as a photo.
  EXPECT_TRUE(readPhotoRecord(internalFromNative(photo), true).hasTaken);
  EXPECT_FALSE(readPhotoRecord(internalFromNative(dir / "pipe.jpg"), true).hasTaken);
}

TEST(ExifDateTime, AcceptsRealDatesOnly) {
  struct Case {
    const char* text;
    bool ok;
    PhotoTime want;
  };
  const Case cases[] = {
      {"2017:03:09 08:05:07", true, {2017, 3, 9, 8, 5, 7}},
      {"2024:02:29 23:59:59", true, {2024, 2, 29, 23, 59, 59}},   // a leap day
      {"2016:12:31 23:59:60", true, {2016, 12, 31, 23, 59, 60}},  // a leap second
      {"0001:01:01 00:00:00", true, {1, 1, 1, 0, 0, 0}},
      {"2017-03-09T08:05:07", true, {2017, 3, 9, 8, 5, 7}},
      {"2017/03/09 08:05:07", true, {2017, 3, 9, 8, 5, 7}},
      {"2017:03:09 08:05:07.123+08:00", true, {2017, 3, 9, 8, 5, 7}},
      {"0000:00:00 00:00:00", false, {}},
      {"    :  :     :  :  ", false, {}},
      {"2017:00:09 08:05:07", false, {}},
      {"2017:13:09 08:05:07", false, {}},
      {"2023:02:29 08:05:07", false, {}},  // no leap day in 2023
      {"1900:02:29 08:05:07", false, {}},  // nor in 1900
      {"2017:04:31 08:05:07", false, {}},
      {"2017:03:00 08:05:07", false, {}},
      {"2017:03:09 24:00:00", false, {}},
      {"2017:03:09 08:60:07", false, {}},
      {"2017:03:09 08:05:61", false, {}},
      {"2017:03-09 08:05:07", false, {}},  // mixed date separators
      {"2017:03:09_08:05:07", false, {}},
      {"2017:03:09 08:05", false, {}},
      {"2017:3:9 8:5:7", false, {}},
      {"", false, {}},
  };
  for (const Case& c : cases) {
    PhotoTime time{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(parseExifDateTime(c.text, time), c.ok) << c.text;
    const PhotoTime untouched{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(time, c.ok ? c.want : untouched) << c.text;
  }
}

// Records read ahead are those of the files as they are when taken: a file rewritten after the
// read-ahead passed it gives its new record (or none, and the caller reads it), never the old one;
// files taken out of reach of the read-ahead, or past the end, give none.
TEST(PhotoRecordsAhead, GivesTheRecordOfTheFileAsItIsWhenTaken) {
  TempDir dir;
  const std::string original = jpegWith(dir, {{"Exif.Photo.DateTimeOriginal", kOriginalText}});
  const std::string changed = jpegWith(dir, {{"Exif.Photo.DateTimeOriginal", kChangedText}});
  ASSERT_EQ(original.size(), changed.size());  // a rewrite that keeps the size
  std::vector<std::string> files;
  for (int i = 0; i < 600; ++i) {
    files.push_back(dir / ("p" + std::to_string(i) + ".jpg"));
    testing::writeBytes(files.back(), original);
  }
  std::vector<const std::string*> order;
  for (const std::string& file : files) order.push_back(&file);
  PhotoRecordsAhead ahead(order, true);
  // Give the read-ahead time to pass the first files, then change two of them.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  testing::writeBytes(files[3], changed);
  testing::writeBytes(files[500], changed);
  int readAhead = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    const PhotoRecord* given = ahead.take(i);
    readAhead += given != nullptr;
    const PhotoRecord record = given != nullptr ? *given : readPhotoRecord(files[i]);
    ASSERT_TRUE(record.hasTaken) << i;
    EXPECT_EQ(record.taken, i == 3 || i == 500 ? kChanged : kOriginal) << i;
  }
  // The first few hundred were read while the test waited.
  if (std::thread::hardware_concurrency() > 1) EXPECT_GE(readAhead, 200);
  EXPECT_EQ(ahead.take(files.size()), nullptr);
  // Not needed: nothing is read ahead.
  PhotoRecordsAhead idle(order, false);
  EXPECT_EQ(idle.take(0), nullptr);
}

}  // namespace
}  // namespace chengling
