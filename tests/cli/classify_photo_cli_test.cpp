// chengling-cli classify with the photo tokens: photos that the EXIF library writes itself, sorted
// by when they were taken; compared with the metadata tool's own year/month move where it is installed.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "support/test_support.h"

namespace chengling::testing {
namespace {

const std::string kCli = CHENGLING_CLI;

std::string shown(std::string_view internal) { return nativeFromInternal(internal); }

using Fields = std::map<std::string, std::string>;  // EXIF key -> text

// A 1x1 JPEG (or PNG) made by the library, carrying `fields`.
void writePhoto(const std::string& path, const Fields& fields,
                decltype(Exiv2::ImageType::jpeg) type = Exiv2::ImageType::jpeg) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  auto image = Exiv2::ImageFactory::create(type, path);
  Exiv2::ExifData exif;
  for (const auto& [key, value] : fields) exif[key] = value;
  image->setExifData(exif);
  image->writeMetadata();
}

// A TIFF that is nothing but the record, as the library encodes it.
void writeTiff(const std::string& path, const Fields& fields) {
  Exiv2::ExifData exif;
  for (const auto& [key, value] : fields) exif[key] = value;
  Exiv2::Blob blob;
  Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
  writeBytes(path, std::string(blob.begin(), blob.end()));
}

void setModified(const std::string& path, int year, int month, int day) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = 12;
  t.tm_isdst = -1;
  const time_t seconds = mktime(&t);
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// Every file under `root`, as paths relative to it.
std::vector<std::string> filesUnder(const std::string& root) {
  std::vector<std::string> files;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ignored)) {
    if (entry.is_regular_file()) files.push_back(std::filesystem::relative(entry.path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

const char* const kOriginal = "Exif.Photo.DateTimeOriginal";
const char* const kDigitized = "Exif.Photo.DateTimeDigitized";
const char* const kChanged = "Exif.Image.DateTime";
const char* const kModel = "Exif.Image.Model";

TEST(ClassifyPhotoCli, DryRunShowsAndARunMakesTheFoldersOfWhenEachPhotoWasTaken) {
  const TempDir dir;
  writePhoto(dir / "src/IMG_1.jpg", {{kOriginal, "2017:03:09 08:05:07"}, {kChanged, "2023:01:01 00:00:00"},
                                     {kModel, "Canon EOS R5"}});
  writePhoto(dir / "src/IMG_2.jpg", {{kDigitized, "2018:04:10 09:06:08"}});
  writeBytes(dir / "src/notes.txt", "no record");
  setModified(dir / "src/notes.txt", 2021, 11, 5);
  const std::string args = "--to '" + dir / "out/[拍摄年]/[拍摄月]/[相机型号]/[拍摄日期] [拍摄时间] [文件名]" + "' '" +
                           dir / "src" + "'";
  std::string out;
  std::string err;
  ASSERT_EQ(runCommand(kCli + " classify --dry-run " + shown(args) + " 2>/dev/null", &out), 0);
  const std::string arrow = shown(" → ");
  const std::vector<std::string> lines = splitText(out, "\n");
  const std::vector<std::string> want = {
      dir / "src/IMG_1.jpg" + arrow + dir / "out/2017/03/Canon EOS R5/2017-03-09 08-05-07 IMG_1.jpg",
      dir / "src/IMG_2.jpg" + arrow + dir / "out/2018/04/" + shown("未知型号") + "/2018-04-10 09-06-08 IMG_2.jpg",
      dir / "src/notes.txt" + arrow + dir / "out/2021/11/" + shown("未知型号") + "/2021-11-05 12-00-00 notes.txt",
  };
  EXPECT_EQ(lines, want) << out;
  EXPECT_FALSE(exists(dir / "out"));

  ASSERT_EQ(runCommand(kCli + " classify --move " + shown(args) + " >/dev/null 2>&1"), 0);
  EXPECT_EQ(filesUnder(dir / "out"),
            (std::vector<std::string>{"2017/03/Canon EOS R5/2017-03-09 08-05-07 IMG_1.jpg",
                                      "2018/04/" + shown("未知型号") + "/2018-04-10 09-06-08 IMG_2.jpg",
                                      "2021/11/" + shown("未知型号") + "/2021-11-05 12-00-00 notes.txt"}));
  EXPECT_EQ(filesUnder(dir / "src"), std::vector<std::string>{});
}

// The metadata tool's idiom `-d %Y/%m '-Directory<DateTimeOriginal'` moves every file that has a
// DateTimeOriginal into a year/month folder. Our [拍摄年]/[拍摄月] must pick the same folder for
// each of them; both run in a zone far from UTC, so that a time shifted by either would show at
// the turns of month and year.
TEST(ClassifyPhotoCli, YearAndMonthFoldersAreTheMetadataToolsOwn) {
  if (runCommand("command -v exiftool >/dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is not installed";
  const TempDir dir;
  for (const char* side : {"ours", "tool"}) {
    const std::string src = dir / (std::string(side) + "/src");
    writePhoto(src + "/a.jpg", {{kOriginal, "2017:03:09 08:05:07"}, {kChanged, "2020:06:01 10:00:00"}});
    writePhoto(src + "/b.jpg", {{kOriginal, "2019:12:31 23:59:59"}, {kModel, "ILCE-7M3"}});
    writePhoto(src + "/c.jpg", {{kOriginal, "2020:01:01 00:00:00"}});
    writePhoto(src + "/d.jpg", {{kOriginal, "2016:02:29 12:00:00"}, {kDigitized, "2015:01:01 00:00:00"}});
    writePhoto(src + "/deep/e.jpg", {{kOriginal, "2024:07:15 18:30:00"}});
    writePhoto(src + "/f.png", {{kOriginal, "2011:10:31 23:00:00"}}, Exiv2::ImageType::png);
    writeTiff(src + "/g.tif", {{kOriginal, "2009:08:01 00:00:01"}, {kModel, "DSC-RX100"}});
    // No DateTimeOriginal: the tool leaves these where they are, we fall back.
    writePhoto(src + "/h.jpg", {{kDigitized, "2018:04:10 09:06:08"}});
    writePhoto(src + "/i.jpg", {{kOriginal, "0000:00:00 00:00:00"}});
  }
  const std::string zone = "TZ=XYZ-14 ";
  ASSERT_EQ(runCommand(zone + kCli + " classify --move --recursive --to '" + dir / "ours/out/" +
                       shown("[拍摄年]/[拍摄月]/[文件名]") + "' '" + dir / "ours/src" + "' >/dev/null 2>&1"),
            0);
  ASSERT_EQ(runCommand(zone + "exiftool -q -q -r -d '" + dir / "tool/out" + "/%Y/%m' '-Directory<DateTimeOriginal' '" +
                       dir / "tool/src" + "' >/dev/null 2>&1"),
            0);
  const std::vector<std::string> tool = filesUnder(dir / "tool/out");
  const std::vector<std::string> ours = filesUnder(dir / "ours/out");
  EXPECT_EQ(tool, (std::vector<std::string>{"2009/08/g.tif", "2011/10/f.png", "2016/02/d.jpg", "2017/03/a.jpg",
                                            "2019/12/b.jpg", "2020/01/c.jpg", "2024/07/e.jpg"}));
  for (const std::string& file : tool) {
    EXPECT_NE(std::find(ours.begin(), ours.end(), file), ours.end()) << file << " is elsewhere in ours";
  }
  // What the tool left, ours placed by its other dates.
  EXPECT_EQ(filesUnder(dir / "tool/src"), (std::vector<std::string>{"h.jpg", "i.jpg"}));
  EXPECT_NE(std::find(ours.begin(), ours.end(), "2018/04/h.jpg"), ours.end());
  EXPECT_EQ(ours.size(), tool.size() + 2);
}

}  // namespace
}  // namespace chengling::testing
