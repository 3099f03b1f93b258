// Makes the photos of bench/photo_classify_bench.sh: small real JPEG pictures (160x120 noise, about
// 10 KiB) that carry an EXIF record written by libexiv2, as a camera would leave them.
//   photo_maker FOLDER COUNT
// Photo i was taken in 2015 + i % 10, month 1 + i / 10 % 12, on day 1 + i / 120 % 28, by one of five
// cameras. Its modification time is the same moment ten years earlier, so that a run by the file
// times makes the same number of year and month folders under other year names, and a run that
// fell back to the file time instead of reading the record would show in the folder names.

#include <fcntl.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>

#include <exiv2/exiv2.hpp>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: photo_maker FOLDER COUNT\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int count = std::atoi(argv[2]);

  QImage picture(160, 120, QImage::Format_RGB32);
  QRandomGenerator random(20240601);
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, random.generate() | 0xff000000u);
  }
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.save(&buffer, "JPG", 80)) {
    std::fprintf(stderr, "photo_maker: Qt cannot write JPEG\n");
    return 1;
  }

  const char* const models[] = {"Canon EOS R5", "NIKON Z 6", "ILCE-7M3", "iPhone 13", "Pixel 7"};
  for (int i = 0; i < count; ++i) {
    const int year = 2015 + i % 10;
    const int month = 1 + i / 10 % 12;
    const int day = 1 + i / 120 % 28;
    const int hour = i % 24;
    const int minute = i / 24 % 60;
    const int second = i % 60;
    char name[32];
    std::snprintf(name, sizeof name, "/IMG_%05d.jpg", i);
    const std::string path = folder + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(jpeg.constData(), 1, jpeg.size(), file) != static_cast<size_t>(jpeg.size()) ||
        std::fclose(file) != 0) {
      std::fprintf(stderr, "photo_maker: cannot write %s\n", path.c_str());
      return 1;
    }
    char taken[32];
    std::snprintf(taken, sizeof taken, "%04d:%02d:%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    auto image = Exiv2::ImageFactory::open(path);
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = std::string("Bench");
    exif["Exif.Image.Model"] = std::string(models[i % 5]);
    exif["Exif.Image.DateTime"] = std::string(taken);
    exif["Exif.Photo.DateTimeOriginal"] = std::string(taken);
    exif["Exif.Photo.DateTimeDigitized"] = std::string(taken);
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 125);
    exif["Exif.Photo.FNumber"] = Exiv2::URational(28, 10);
    exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(200);
    image->setExifData(exif);
    image->writeMetadata();

    std::tm local{};
    local.tm_year = year - 10 - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const timespec times[2] = {{std::mktime(&local), 0}, {std::mktime(&local), 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
  return 0;
}
