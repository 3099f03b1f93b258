#include "tools/classify/path_template.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <exiv2/exiv2.hpp>

#include <ctime>
#include <set>
#include <string>

#include "foundation/internal_text.h"
#include "support/test_support.h"

namespace chengling {
namespace {

// Seconds since the epoch of a local wall-clock time.
int64_t localTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&t));
}

std::string expandOne(std::string_view templateText, std::string_view file, std::string_view entry,
                      int64_t size = 1536, int64_t modified = localTime(2017, 3, 9, 8, 5, 7)) {
  BatchContext batch;
  return PathTemplate(templateText).expandWith(file, entry, batch, size, modified);
}

TEST(PathTemplate, EveryTokenOfTheHelpExample) {
  struct Case { const char* token; const char* want; };
  const Case cases[] = {
      {"[父目录路径]", "/1/2/3/4/5"}, {"[2父目录路径]", "/1/2/3/4"}, {"[3父目录路径]", "/1/2/3"},
      {"[4父目录路径]", "/1/2"},      {"[5父目录路径]", "/1"},
      {"[父目录段]", "1/2/3/4/5"},    {"[2父目录段]", "1/2/3/4"},    {"[3父目录段]", "1/2/3"},
      {"[4父目录段]", "1/2"},         {"[5父目录段]", "1"},
      {"[父目录名]", "5"}, {"[2父目录名]", "4"}, {"[3父目录名]", "3"}, {"[4父目录名]", "2"},
      {"[5父目录名]", "1"},
      {"[子目录段]", "4/5"}, {"[文件名]", "6.txt"}, {"[主名]", "6"}, {"[扩展名]", "txt"},
      {"[大小]", "1.5 KB"}, {"[批次名]", "1"},
      {"[年]", "2017"}, {"[月]", "3"}, {"[日]", "9"}, {"[时]", "8"}, {"[分]", "5"}, {"[秒]", "7"},
      // Without a photo record: the modification time, the unknown model.
      {"[拍摄日期]", "2017-03-09"}, {"[拍摄年]", "2017"}, {"[拍摄月]", "03"}, {"[拍摄日]", "09"},
      {"[拍摄时间]", "08-05-07"}, {"[相机型号]", "未知型号"},
  };
  std::set<std::string> seen;
  for (const Case& c : cases) {
    EXPECT_EQ(expandOne(std::string("<") + c.token + ">", "/1/2/3/4/5/6.txt", "/1/2/3/"),
              std::string("<") + c.want + ">")
        << c.token;
    seen.insert(c.token);
  }
  // The table covers every token of the menu.
  for (const std::string& item : tokenMenuItems()) {
    if (!item.empty() && item.front() == '[') {
      EXPECT_EQ(seen.count(item), 1u) << item;
    }
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kTemplateTokenCount));
  EXPECT_EQ(expandOne(kDefaultTemplate, "/1/2/3/4/5/6.txt", "/1/2/3/"), "/1/2/3/4/5/1/6.txt");
}

TEST(PathTemplate, FoldersAtTheEdges) {
  struct Case { const char* templateText; const char* file; const char* entry; const char* want; };
  const Case cases[] = {
      // A file directly in the entry folder: the empty segment and its doubled separator vanish.
      {"/out/[子目录段]/[文件名]", "/1/2/3/6.txt", "/1/2/3/", "/out/6.txt"},
      // A file-list run has no entry folder: the segment is the whole folder path.
      {"/out/[子目录段]/[文件名]", "/1/2/3/4/5/6.txt", "", "/out/1/2/3/4/5/6.txt"},
      // The root plays the drive's part: nothing above it, and it is never a name.
      {"<[父目录路径]|[2父目录路径]|[父目录名]|[父目录段]>", "/6.txt", "", "<|||>"},
      {"[父目录路径]/[批次名]/[文件名]", "/6.txt", "", "/1/6.txt"},
      // A folder repeating the entry folder's text, or named like the file, stays in the segment.
      {"[子目录段]", "/a/b/a/c.txt", "/a/", "b/a"},
      {"[子目录段]", "/in/a/a", "/in/", "a"},
      // Folder names are made safe as file names.
      {"[父目录名]", "/x/a:b?c/f.txt", "", "a：b？c"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(expandOne(c.templateText, c.file, c.entry), c.want) << c.templateText << " " << c.file;
  }
}

TEST(PathTemplate, NamesAndExtensions) {
  struct Case { const char* file; const char* main; const char* extension; };
  const Case cases[] = {
      {"/d/a.tar.gz", "a.tar", "gz"}, {"/d/.ini", "", "ini"}, {"/d/README", "README", ""},
      {"/d/文档.说明.txt", "文档.说明", "txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(expandOne("[主名]|[扩展名]", c.file, "/d/"), std::string(c.main) + "|" + c.extension)
        << c.file;
  }
}

// A value from a file's name, a list line or a batch-name list never adds a level that climbs, and
// never a folder level of its own: only what the template holds splits and climbs.
TEST(PathTemplate, ValuesNeverClimbOutOfTheirLevel) {
  struct Case { const char* templateText; const char* file; const char* batchName; const char* want; };
  const Case cases[] = {
      // Main names of "...txt", "..txt" and "...": "..", "." and "..".
      {"/out/[主名]/[文件名]", "/d/...txt", "1", "/out/．．/...txt"},
      {"/out/[主名]/[文件名]", "/d/..txt", "1", "/out/．/..txt"},
      {"/out/[主名][扩展名]/x", "/d/...", "1", "/out/．．/x"},
      {"[父目录路径]/[主名]/[文件名]", "/d/...txt", "1", "/d/．．/...txt"},
      // A list line naming ".." or "." itself.
      {"/out/[文件名]", "/d/..", "1", "/out/．．"},
      {"/out/[文件名]/x", "/d/.", "1", "/out/．/x"},
      // Batch-name lines: separators stay inside the name, dot levels become full-width.
      {"/out/[批次名]/[文件名]", "/d/a.txt", "../../../../tmp/x", "/out/..／..／..／..／tmp／x/a.txt"},
      {"/out/[批次名]/[文件名]", "/d/a.txt", "..", "/out/．．/a.txt"},
      {"/out/[批次名]/[文件名]", "/d/a.txt", ".", "/out/．/a.txt"},
      {"/out/[批次名]/[文件名]", "/d/a.txt", "/etc", "/out/／etc/a.txt"},
      {"/out/[批次名][批次名]/[文件名]", "/d/a.txt", ".", "/out/．．/a.txt"},
      // A list line that climbs: its levels become folders below where the template puts them.
      {"/out/[子目录段]/[文件名]", "/a/../../x.txt", "1", "/out/a/．．/．．/x.txt"},
      {"/out/[父目录段]/[文件名]", "/a/../../x.txt", "1", "/out/a/．．/．．/x.txt"},
      {"/out/[父目录名]/[文件名]", "/a/../x.txt", "1", "/out/．．/x.txt"},
      {"[父目录路径]/[文件名]", "/a/./../x.txt", "1", "/a/．/．．/x.txt"},
      {"[2父目录路径]/[文件名]", "/a/../b/x.txt", "1", "/a/．．/x.txt"},
      {"/out/[子目录段]/[文件名]", "../../x.txt", "1", "/out/．．/．．/x.txt"},
      // Ordinary values, dots and backslashes included, stay byte for byte.
      {"/out/[主名]/[批次名]/[文件名]", "/d/a..b.txt", "v1.2", "/out/a..b/v1.2/a..b.txt"},
      {"/out/[主名]/[文件名]", "/d/....txt", "1", "/out/.../....txt"},
      {"/out/[批次名]/[文件名]", "/d/.a", "..\\..\\x", "/out/..\\..\\x/.a"},
      {"/out/[子目录段]/[文件名]", "/in/.git/..a/x.txt", "1", "/out/in/.git/..a/x.txt"},
      // What the template itself holds is taken as typed.
      {"/out/../[批次名]/./[文件名]", "/d/a.txt", "b", "/out/../b/./a.txt"},
  };
  for (const Case& c : cases) {
    BatchContext batch;
    batch.mode = BatchNameMode::NamedList;
    batch.names = {c.batchName};
    EXPECT_EQ(PathTemplate(c.templateText).expandWith(c.file, "", batch, 0, 0), c.want)
        << c.templateText << " " << c.file << " " << c.batchName;
  }
}

TEST(PathTemplate, ReplacesOnlyExactTokensThatThePreparedTemplateHolds) {
  struct Case { const char* templateText; const char* file; const char* want; };
  const Case cases[] = {
      // A folder name holding a later token's text is replaced too, but only when the template
      // itself holds that token.
      {"[父目录名]-[文件名]", "/x/[文件名]/a.txt", "a.txt-a.txt"},
      {"[父目录名]", "/x/[文件名]/a.txt", "[文件名]"},
      {"[文件名]", "/x/[批次名].txt", "[批次名].txt"},
      {"[文件名][批次名]", "/x/[批次名].txt", "1.txt1"},
      // Levels above 5, blanks inside brackets and other near misses stay as typed.
      {"[6父目录路径]|[ 文件名]|[文件名 ]|[父目录路径|[Year]", "/a/b.txt",
       "[6父目录路径]|[ 文件名]|[文件名 ]|[父目录路径|[Year]"},
      // A bracket that is the trail byte of a double-byte character does not open a token.
      {"乕文件名]", "/a/b.txt", "乕文件名]"},
  };
  for (const Case& c : cases) EXPECT_EQ(expandOne(c.templateText, c.file, ""), c.want) << c.templateText;
}

TEST(PathTemplate, NamesTheBracketedWordsThatAreNoToken) {
  struct Case { const char* templateText; std::vector<std::string> want; };
  const Case cases[] = {
      {"[父目录路径]/[批次名]/[文件名]", {}},
      {"/out/[文名]", {"[文名]"}},
      // Every token of the menu is known, near misses are not.
      {"[子目录段][2父目录段][5父目录名][大小][年][秒]", {}},
      {"[6父目录路径]/[ 文件名]/[文件名 ]/[Year]", {"[6父目录路径]", "[ 文件名]", "[文件名 ]", "[Year]"}},
      // Each word once, in the order it first appears.
      {"/[批次]/[文名]/[批次]-[文名]", {"[批次]", "[文名]"}},
      // A bracket left open ends at the next bracket or separator; empty brackets name nothing.
      {"[父目录路径|[Year]", {"[Year]"}},
      {"/a[b/c]/[]/[[文件名]]", {}},
      {"/a[b\\c]", {}},
      // A bracket or backslash that is the trail byte of a double-byte character is part of it:
      // 乕 ends in "[", 乗 in "\\", 乚 in "]".
      {"乕文件名]", {}},
      {"[乗]", {"[乗]"}},
      {"[文名乚/[文件名]", {}},
      {"[文名乚]", {"[文名乚]"}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(unknownBracketWords(c.templateText), c.want) << c.templateText;
}

TEST(PathTemplate, BothSlashesSeparateAndDoubledOnesCollapse) {
  EXPECT_EQ(PathTemplate("[父目录路径]\\[批次名]\\[文件名]").text(), PathTemplate(kDefaultTemplate).text());
  struct Case { const char* templateText; const char* want; };
  const Case cases[] = {
      {"/out\\\\[文件名]", "/out/b.txt"},   // "\\" typed twice is one separator
      {"/out///[文件名]", "/out//b.txt"},   // one pass: three become two
      {"/乗\\[文件名]", "/乗/b.txt"},       // the 5C trail byte of 乗 is not a separator
  };
  for (const Case& c : cases) EXPECT_EQ(expandOne(c.templateText, "/a/b.txt", ""), c.want) << c.templateText;
}

TEST(PathTemplate, ReadsSizeAndTimeOfTheFile) {
  const testing::TempDir dir;
  const std::string file = dir / "f.bin";
  testing::writeBytes(file, std::string(1536, 'x'));
  BatchContext batch;
  EXPECT_EQ(PathTemplate("[大小]").expand(file, "", batch), "1.5 KB");
  std::tm now{};
  const time_t seconds = time(nullptr);
  localtime_r(&seconds, &now);
  EXPECT_EQ(PathTemplate("[年]").expand(file, "", batch), std::to_string(now.tm_year + 1900));
  // A size that cannot be read is -1.
  EXPECT_EQ(PathTemplate("[大小]").expand(dir / "missing", "", batch), "-1 B");
}

PhotoRecord photoRecord(PhotoTime taken, std::string model) {
  PhotoRecord record;
  record.hasTaken = true;
  record.taken = taken;
  record.model = std::move(model);
  return record;
}

TEST(PathTemplate, PhotoTokensTakeTheRecordElseTheFileTime) {
  const int64_t modified = localTime(2021, 11, 5, 14, 3, 9);
  PhotoRecord noDate;
  noDate.model = "NIKON D750";
  struct Case {
    const char* name;
    const char* templateText;
    PhotoRecord photo;
    std::string want;
  };
  const Case cases[] = {
      {"record", "[拍摄日期]|[拍摄年]|[拍摄月]|[拍摄日]|[拍摄时间]|[相机型号]",
       photoRecord({2017, 3, 9, 8, 5, 7}, "Canon EOS R5"), "2017-03-09|2017|03|09|08-05-07|Canon EOS R5"},
      {"no record", "[拍摄日期]|[拍摄年]|[拍摄月]|[拍摄日]|[拍摄时间]|[相机型号]", PhotoRecord(),
       "2021-11-05|2021|11|05|14-03-09|未知型号"},
      {"a model but no date", "[拍摄日期] [拍摄时间] [相机型号]", noDate, "2021-11-05 14-03-09 NIKON D750"},
      // The record's wall clock as written, beside the file's own time: no zone moves either.
      {"both times", "[年]-[月]-[日] [拍摄年]-[拍摄月]-[拍摄日]", photoRecord({1999, 12, 31, 23, 59, 59}, ""),
       "2021-11-5 1999-12-31"},
      {"small year", "[拍摄日期]", photoRecord({987, 1, 2, 0, 0, 0}, ""), "0987-01-02"},
      {"year and month folders", "/photos/[拍摄年]/[拍摄月]/[文件名]", photoRecord({2020, 1, 1, 0, 0, 0}, ""),
       "/photos/2020/01/6.jpg"},
      // A model is one level, made safe as a file name, and no token in it is replaced.
      {"model with separators", "/p/[相机型号]/[文件名]", photoRecord({2020, 1, 1, 0, 0, 0}, "a/b:c*d"),
       "/p/a／b：c＊d/6.jpg"},
      {"model that climbs", "/p/[相机型号]/[文件名]", photoRecord({2020, 1, 1, 0, 0, 0}, ".."), "/p/．．/6.jpg"},
      {"model holding a token", "/p/[相机型号]-[文件名]", photoRecord({2020, 1, 1, 0, 0, 0}, "[文件名]"),
       "/p/[文件名]-6.jpg"},
      {"model that is only blanks", "[相机型号]", photoRecord({2020, 1, 1, 0, 0, 0}, "   "), "未知型号"},
      {"long model is cut", "[相机型号]", photoRecord({2020, 1, 1, 0, 0, 0}, std::string(300, 'M')),
       std::string(200, 'M')},
  };
  for (const Case& c : cases) {
    BatchContext batch;
    EXPECT_EQ(PathTemplate(c.templateText).expandWith("/1/2/6.jpg", "/1/", batch, 0, modified, c.photo), c.want)
        << c.name;
  }
}

TEST(PathTemplate, PhotoTokensReadTheFilesRecordOnlyWhenTheTemplateHoldsOne) {
  EXPECT_FALSE(PathTemplate(kDefaultTemplate).needsPhotoRecord());
  EXPECT_FALSE(PathTemplate("/[年]/[月]/[日]/[时]/[分]/[秒]/[大小]/[文件名]/[拍摄]/[摄年]").needsPhotoRecord());
  for (const char* token : {"[拍摄日期]", "[拍摄年]", "[拍摄月]", "[拍摄日]", "[拍摄时间]", "[相机型号]"}) {
    EXPECT_TRUE(PathTemplate(std::string("/x/") + token).needsPhotoRecord()) << token;
    EXPECT_TRUE(unknownBracketWords(token).empty()) << token;
  }

  const testing::TempDir dir;
  const std::string photo = dir / "p.jpg";
  {
    auto image = Exiv2::ImageFactory::create(Exiv2::ImageType::jpeg, photo);
    Exiv2::ExifData exif;
    exif["Exif.Photo.DateTimeOriginal"] = std::string("2017:03:09 08:05:07");
    exif["Exif.Image.Model"] = std::string("Canon EOS R5");
    image->setExifData(exif);
    image->writeMetadata();
  }
  const std::string text = dir / "notes.txt";
  testing::writeBytes(text, "2017:03:09 08:05:07\n");
  // Both files were last written on 2021-11-05 14:03:09, local time.
  const int64_t modified = localTime(2021, 11, 5, 14, 3, 9);
  for (const std::string& file : {photo, text}) {
    const timespec times[2] = {{static_cast<time_t>(modified), 0}, {static_cast<time_t>(modified), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  }
  const PathTemplate tmpl("[拍摄日期] [拍摄时间] [相机型号] [年]-[月]");
  BatchContext batch;
  EXPECT_EQ(tmpl.expand(photo, "", batch), "2017-03-09 08-05-07 Canon EOS R5 2021-11");
  EXPECT_EQ(tmpl.expand(text, "", batch), "2021-11-05 14-03-09 未知型号 2021-11");
  // A missing file has neither: the time of an unreadable file, as [年] takes it.
  EXPECT_EQ(PathTemplate("[相机型号] [拍摄年]=[年]").expand(dir / "gone.jpg", "", batch),
            PathTemplate("未知型号 [年]=[年]").expand(dir / "gone.jpg", "", batch));
}

TEST(TokenMenu, PhotoHelpFollowsTheFileHelpAndAgreesWithTheTemplate) {
  const std::string help = tokenHelpText();
  // The file tokens' help stays as it is, then two empty lines and the photo tokens' help.
  EXPECT_EQ(help, std::string(kTokenHelpText) + "\r\n\r\n" + kPhotoTokenHelpText);
  const std::string photoHelp = kPhotoTokenHelpText;
  EXPECT_EQ(photoHelp.substr(photoHelp.size() - 2), "\r\n");
  EXPECT_EQ(photoHelp.find("\r\n\r\n\r\n"), std::string::npos);
  // Every example line holds what the template computes for the example photo.
  const PhotoRecord example = photoRecord({2017, 3, 9, 8, 5, 7}, "Canon EOS R5");
  int examples = 0;
  for (const std::string& line : splitText(photoHelp, "\r\n")) {
    const size_t colon = line.find("：");
    if (line.empty() || line.front() != '[' || colon == std::string::npos) continue;
    const std::string tokens = line.substr(0, colon);
    if (tokens.find("]/[") == std::string::npos && tokens.find("][") != std::string::npos) continue;
    std::string value = line.substr(colon + std::string("：").size());
    value = value.substr(0, value.find("（"));
    BatchContext batch;
    EXPECT_EQ(PathTemplate(tokens).expandWith("/1/2/3/4/5/6.jpg", "/1/2/3/", batch, 0, 0, example), value)
        << tokens;
    ++examples;
  }
  EXPECT_EQ(examples, 7);
  for (const char* token : {"[拍摄日期]", "[拍摄年]", "[拍摄月]", "[拍摄日]", "[拍摄时间]", "[相机型号]", "未知型号"}) {
    EXPECT_NE(photoHelp.find(token), std::string::npos) << token;
  }
}

TEST(SizeText, UsesTheLargestUnitBelow1024) {
  struct Case { int64_t bytes; const char* want; };
  const Case cases[] = {
      {0, "0 B"}, {1023, "1023 B"}, {1024, "1 KB"}, {1536, "1.5 KB"}, {1048575, "1024 KB"},
      {1048576, "1 MB"}, {123456789, "117.74 MB"}, {-1, "-1 B"},
      {int64_t{1} << 40, "1 TB"}, {INT64_MAX, "8 EB"},
  };
  for (const Case& c : cases) EXPECT_EQ(SizeText(c.bytes), c.want) << c.bytes;
}

TEST(BatchName, NumbersLettersAndNamedList) {
  struct Case { int64_t n; const char* want; };
  const Case letters[] = {{1, "A"},   {26, "Z"},   {27, "AA"}, {52, "AZ"},
                          {53, "BA"}, {702, "ZZ"}, {703, "AAA"}, {0, ""}};
  for (const Case& c : letters) EXPECT_EQ(batchLetters(c.n), c.want) << c.n;

  BatchContext batch;
  batch.number = 27;
  EXPECT_EQ(BatchName(batch), "27");
  batch.mode = BatchNameMode::Letters;
  EXPECT_EQ(BatchName(batch), "AA");

  // Past the end of the list the run's number goes back to 1; an empty line is an empty name.
  batch.mode = BatchNameMode::NamedList;
  batch.names = {"a", "", "c"};
  const char* wantNames[] = {"a", "", "c", "a", ""};
  const int32_t wantNumbers[] = {1, 2, 3, 1, 2};
  batch.number = 1;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(BatchName(batch), wantNames[i]) << i;
    EXPECT_EQ(batch.number, wantNumbers[i]) << i;
    ++batch.number;
  }
  batch.names.clear();
  batch.number = 4;
  EXPECT_EQ(BatchName(batch), "");
}

TEST(TokenMenu, HelpFirstThenTheFourGroups) {
  const std::vector<std::string> items = tokenMenuItems();
  ASSERT_EQ(items.size(), 2u + 15u + 1u + 4u + 1u + 4u + 1u + 4u + 1u + 6u);
  EXPECT_EQ(items[0], kTokenHelpCaption);
  EXPECT_EQ(items[2], "[父目录路径]");
  EXPECT_EQ(items[10], "[子目录段]");
  EXPECT_EQ(items[16], "[秒]");
  EXPECT_EQ(items[18], "[2父目录路径]");
  EXPECT_EQ(items[23], "[2父目录段]");
  EXPECT_EQ(items[31], "[5父目录名]");
  for (size_t separator : {1u, 17u, 22u, 27u, 32u}) EXPECT_TRUE(items[separator].empty()) << separator;
  // The photo tokens come last.
  const std::vector<std::string> photo(items.begin() + 33, items.end());
  const std::vector<std::string> wantPhoto = {"[拍摄日期]", "[拍摄年]", "[拍摄月]", "[拍摄日]", "[拍摄时间]", "[相机型号]"};
  EXPECT_EQ(photo, wantPhoto);
  // Every token in the menu is one the template recognises.
  for (const std::string& item : items) {
    if (item.empty() || item.front() != '[') continue;
    BatchContext batch;
    EXPECT_NE(PathTemplate(item).expandWith("/a/b/c/d/e/f/g.txt", "", batch, 0, 0), item) << item;
  }
}

TEST(TokenMenu, HelpTextLayout) {
  const std::string help = kTokenHelpText;
  ASSERT_GE(help.size(), 2u);
  EXPECT_EQ(help.substr(help.size() - 2), "\r\n");
  EXPECT_NE(help.substr(help.size() - 4), "\r\n\r\n");
  // 27 lines; two empty lines before lines 6, 16, 21 and 27, none between 4 and 5, one elsewhere.
  const std::vector<std::string> pieces = splitText(help, "\r\n");
  std::vector<std::string> lines;
  std::vector<int> blanksBefore;
  int blanks = 0;
  for (const std::string& piece : pieces) {
    if (piece.empty()) {
      ++blanks;
      continue;
    }
    lines.push_back(piece);
    blanksBefore.push_back(blanks);
    blanks = 0;
  }
  ASSERT_EQ(lines.size(), 27u);
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t number = i + 1;
    const int want = number == 5 ? 0 : (number == 6 || number == 16 || number == 21 || number == 27) ? 2 : 1;
    EXPECT_EQ(blanksBefore[i], want) << "line " << number;
  }
  EXPECT_EQ(lines[0], "归类到：是一个新的文件路径，即原文件路径将归类到这个新路径。");
  EXPECT_EQ(lines[26], "[年][月][日][时][分][秒]：文件的修改时间，可自由分拆，组合引用。");
  // The example lines agree with what the template computes for the example.
  for (size_t i = 5; i < 24; ++i) {
    const std::string& line = lines[i];
    const size_t colon = line.find("：");
    ASSERT_NE(colon, std::string::npos) << line;
    const std::string token = line.substr(0, colon);
    std::string value = line.substr(colon + std::string("：").size());
    value = value.substr(0, value.find("（"));
    EXPECT_EQ(expandOne(token, "/1/2/3/4/5/6.txt", "/1/2/3/"), value) << token;
  }
}

}  // namespace
}  // namespace chengling
