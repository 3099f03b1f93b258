// The photo module: what libexiv2 reads of a photo's EXIF record (photo_tags.h).

#include <exiv2/exiv2.hpp>

#include <mutex>
#include <string>
#include <utility>

#include "tools/classify/photo_tags.h"

namespace chengling {
namespace {

#if EXIV2_TEST_VERSION(0, 28, 0)
using IoPointer = Exiv2::BasicIo::UniquePtr;
#else
// Version 0.27 hands its objects over in std::auto_ptr, which C++17 deprecated.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
using IoPointer = Exiv2::BasicIo::AutoPtr;
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

// The EXIF tags read, with the group the library files them under.
constexpr uint16_t kDateTimeOriginal = 0x9003;
constexpr uint16_t kDateTimeDigitized = 0x9004;
constexpr uint16_t kDateTime = 0x0132;
constexpr uint16_t kModel = 0x0110;

void collectTags(const Exiv2::ExifData& exif, PhotoTags& tags) {
  for (const Exiv2::Exifdatum& datum : exif) {
    const uint16_t tag = datum.tag();
    if (tag != kDateTimeOriginal && tag != kDateTimeDigitized && tag != kDateTime && tag != kModel) continue;
    const std::string group = datum.groupName();
    const bool inPhoto = group == "Photo";
    const bool inImage = group == "Image";
    if (tag == kDateTimeOriginal && (inPhoto || inImage)) {
      tags.push_back({inPhoto ? PhotoTag::OriginalInPhoto : PhotoTag::OriginalInImage, datum.toString()});
    } else if (tag == kDateTimeDigitized && inPhoto) {
      tags.push_back({PhotoTag::Digitized, datum.toString()});
    } else if (tag == kDateTime && inImage) {
      tags.push_back({PhotoTag::DateTime, datum.toString()});
    } else if (tag == kModel && inImage && datum.typeId() == Exiv2::asciiString) {
      tags.push_back({PhotoTag::Model, datum.toString()});
    }
  }
}

template <typename Read>
bool guarded(PhotoTags& tags, Read read) {
  prepareLibrary();
  try {
    read();
    return true;
  } catch (...) {
    tags.clear();
    return false;
  }
}

// An image that the library opens and reads whole (its kind found by the library).
template <typename Open>
bool tagsOfImage(PhotoTags& tags, Open open) {
  return guarded(tags, [&] {
    auto image = open();
    if (image.get() == nullptr) return;
    image->readMetadata();
    collectTags(image->exifData(), tags);
  });
}

}  // namespace
}  // namespace chengling

using chengling::PhotoTags;

extern "C" __attribute__((visibility("default"))) bool chengling_photo_tags_of_exif(const uint8_t* tiff, size_t size,
                                                                                  PhotoTags* tags) {
  return chengling::guarded(*tags, [&] {
    Exiv2::ExifData exif;
    Exiv2::ExifParser::decode(exif, tiff, static_cast<uint32_t>(size));
    chengling::collectTags(exif, *tags);
  });
}

extern "C" __attribute__((visibility("default"))) bool chengling_photo_tags_of_image(const uint8_t* data, size_t size,
                                                                                   PhotoTags* tags) {
  return chengling::tagsOfImage(*tags, [&] { return Exiv2::ImageFactory::open(data, static_cast<long>(size)); });
}

extern "C" __attribute__((visibility("default"))) bool chengling_photo_tags_of_file(const char* nativePath,
                                                                                  PhotoTags* tags) {
  return chengling::tagsOfImage(*tags, [&] {
    // A FileIo of our own: the library's open by name would take a name such as "http://..." or "-"
    // (a line of a file list) for an address to fetch or for standard input.
    chengling::IoPointer io(new Exiv2::FileIo(nativePath));
    return Exiv2::ImageFactory::open(std::move(io));
  });
}
