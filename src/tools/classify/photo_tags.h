#pragma once
// The bridge between the classification engine and its photo module. libexiv2 is large (tens of
// thousands of relocations and its own static set-up): linking it into the programs cost every start
// of every tool several milliseconds, so it lives in a module of its own (photo_module/) that the
// engine opens the first time a template asks for a photo's record.
//
// The module hands back the texts of the tags the record's parts are taken from, in the record's
// order; which of them counts is decided by the engine (photo_record.cpp).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace chengling {

struct PhotoTag {
  enum Kind : uint8_t {
    OriginalInPhoto,  // Exif.Photo.DateTimeOriginal
    OriginalInImage,  // Exif.Image.DateTimeOriginal (some raw formats keep it in IFD0)
    Digitized,        // Exif.Photo.DateTimeDigitized
    DateTime,         // Exif.Image.DateTime
    Model,            // Exif.Image.Model, when it is stored as text
  };
  Kind kind;
  std::string text;
};
using PhotoTags = std::vector<PhotoTag>;

// The module's entry points. Each returns false when the library failed on the input (a damaged
// record, memory it could not get); `tags` then holds nothing that counts.
extern "C" {
// The TIFF structure of a JPEG's EXIF segment.
using PhotoTagsOfExifFunction = bool (*)(const uint8_t* tiff, size_t size, PhotoTags* tags);
// An image of any kind the library knows, whole in memory.
using PhotoTagsOfImageFunction = bool (*)(const uint8_t* data, size_t size, PhotoTags* tags);
// An image file by its native name.
using PhotoTagsOfFileFunction = bool (*)(const char* nativePath, PhotoTags* tags);
}

// The module's file name, found through the programs' run path (the build's library folder, or the
// installed one beside the programs).
inline constexpr const char* kPhotoModuleName = "libchengling-photo.so";

}  // namespace chengling
