#include "tools/classify/classify_engine.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/path_helpers.h"
#include "support/fault_fixtures.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::TempDir;

std::string numbered(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "f%03d.txt", i);
  return name;
}

// The paths of a log: one a line, each ended by LF, in the names' own bytes.
std::vector<std::string> logLines(const std::string& folder, const char* name) {
  std::vector<std::string> lines = splitText(testing::readBytes(nativeFromInternal(folder + "/" + name)), "\n");
  for (std::string& line : lines) line = internalFromNative(line);
  return lines;
}

size_t fileCount(const std::string& folder) {
  size_t count = 0;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
    if (entry.is_regular_file()) ++count;
  }
  return count;
}

struct Fixture {
  TempDir dir;
  TempDir home;
  ClassifyOptions options;
  PlainRunContext ctx;

  Fixture() { options.logFolder = home.path(); }
  std::string in(std::string_view relative) const { return dir / relative; }
  ClassifyOutcome run() { return ClassifyRun(options, ctx); }
  std::vector<std::string> log(const char* name) const { return logLines(home.path(), name); }
  std::string logBytes(const char* name) const {
    return testing::readBytes(nativeFromInternal(home.path() + "/" + name));
  }
};

TEST(ClassifyRun, NumberedBatchesOfOneFolderAndTheLogs) {
  Fixture f;
  for (int i = 1; i <= 250; ++i) testing::writeBytes(f.in("src/" + numbered(i)), numbered(i));
  f.options.entryFolder = f.in("src");
  const ClassifyOutcome outcome = f.run();
  ASSERT_TRUE(outcome.error.empty()) << outcome.error;
  EXPECT_EQ(outcome.processed, 250);
  EXPECT_EQ(outcome.failed, 0);
  EXPECT_EQ(fileCount(f.in("src/1")), 100u);
  EXPECT_EQ(fileCount(f.in("src/2")), 100u);
  EXPECT_EQ(fileCount(f.in("src/3")), 50u);
  EXPECT_EQ(testing::readBytes(f.in("src/1/f100.txt")), "f100.txt");
  EXPECT_EQ(testing::readBytes(f.in("src/3/f250.txt")), "f250.txt");
  EXPECT_TRUE(testing::exists(f.in("src/f001.txt"))) << "copy mode keeps the sources";

  const std::vector<std::string> before = f.log(kBeforeLogName);
  const std::vector<std::string> after = f.log(kAfterLogName);
  ASSERT_EQ(before.size(), 250u);
  ASSERT_EQ(after.size(), 250u);
  EXPECT_EQ(before[0], f.in("src/f001.txt"));
  EXPECT_EQ(after[0], f.in("src/1/f001.txt"));
  EXPECT_EQ(after[249], f.in("src/3/f250.txt"));
  EXPECT_TRUE(f.log(kFailureLogName).empty());
  EXPECT_TRUE(testing::exists(nativeFromInternal(f.home.path() + "/" + kFailureLogName)));
  // Every log line ends with LF alone, as a Linux text file does.
  const std::string afterBytes = f.logBytes(kAfterLogName);
  EXPECT_EQ(afterBytes.back(), '\n');
  EXPECT_EQ(afterBytes.find('\r'), std::string::npos);

  // The preview holds the first 100 targets only.
  const std::vector<std::string> preview = splitText(outcome.preview, "\r\n");
  ASSERT_EQ(preview.size(), 100u);
  EXPECT_EQ(preview[99], f.in("src/1/f100.txt"));
  EXPECT_EQ(outcome.preview.substr(outcome.preview.size() - 2), "\r\n");
  EXPECT_EQ(f.ctx.phases.front(), kClassifyStartingCaption);
}

TEST(ClassifyRun, RecursiveWalkRestartsBatchesInEveryFolderAndSkipsWhatItCreates) {
  Fixture f;
  for (const char* name : {"a/1.txt", "a/2.txt", "a/3.txt", "a/sub/4.txt", "a/sub/5.txt", "a/sub/6.txt"}) {
    testing::writeBytes(f.in(name), name);
  }
  f.options.entryFolder = f.in("a/");
  f.options.recursive = true;
  f.options.perBatch = 2;
  f.options.keepSources = false;
  const ClassifyOutcome outcome = f.run();
  EXPECT_EQ(outcome.processed, 6);
  EXPECT_EQ(outcome.failed, 0);
  // The default template puts the batches inside the walked folders; those are not walked again.
  const std::pair<const char*, const char*> moved[] = {
      {"a/1/1.txt", "a/1.txt"},         {"a/1/2.txt", "a/2.txt"},         {"a/2/3.txt", "a/3.txt"},
      {"a/sub/1/4.txt", "a/sub/4.txt"}, {"a/sub/1/5.txt", "a/sub/5.txt"}, {"a/sub/2/6.txt", "a/sub/6.txt"},
  };
  for (const auto& [target, source] : moved) {
    EXPECT_EQ(testing::readBytes(f.in(target)), source) << target;
    EXPECT_FALSE(testing::exists(f.in(source))) << source;
  }
  EXPECT_FALSE(testing::exists(f.in("a/1/1")));
  EXPECT_EQ(f.log(kBeforeLogName).size(), 6u);
  // Each folder's listing is announced.
  EXPECT_NE(std::find(f.ctx.phases.begin(), f.ctx.phases.end(), kReadingFolderCaption + f.in("a/sub")),
            f.ctx.phases.end());
}

TEST(ClassifyRun, BatchNamesFromListAndOneFilePerBatch) {
  struct Case {
    const char* name;
    BatchNameMode mode;
    int32_t perBatch;
    std::vector<std::string> names;
    std::vector<std::string> want;  // batch of the files 1..8
  };
  const Case cases[] = {
      {"names cycle", BatchNameMode::NamedList, 2, {"a", "b"}, {"a", "a", "b", "b", "a", "a", "b", "b"}},
      {"per batch 0", BatchNameMode::Numbers, 0, {}, {"1", "2", "3", "4", "5", "6", "7", "8"}},
      {"per batch text", BatchNameMode::Numbers, textToInteger("abc"), {}, {"1", "2", "3", "4", "5", "6", "7", "8"}},
      {"letters", BatchNameMode::Letters, 3, {}, {"A", "A", "A", "B", "B", "B", "C", "C"}},
  };
  for (const Case& c : cases) {
    Fixture f;
    for (int i = 1; i <= 8; ++i) testing::writeBytes(f.in("src/" + numbered(i)), "x");
    f.options.entryFolder = f.in("src");
    f.options.templateText = f.in("out/[批次名]/[文件名]");
    f.options.batchMode = c.mode;
    f.options.perBatch = c.perBatch;
    f.options.batchNames = c.names;
    EXPECT_EQ(f.run().failed, 0) << c.name;
    for (int i = 1; i <= 8; ++i) {
      EXPECT_TRUE(testing::exists(f.in("out/" + c.want[i - 1] + "/" + numbered(i)))) << c.name << " " << i;
    }
  }
}

TEST(ClassifyRun, FileListRunsThroughOneBatchCountAndFailsEmptyEntries) {
  Fixture f;
  const std::string chinese = f.in("x") + "/文档.txt";
  testing::writeBytes(nativeFromInternal(chinese), "cn");
  testing::writeBytes(f.in("y/b.txt"), "b");
  testing::writeBytes(f.in("y/c.txt"), "c");
  f.options.source = ClassifySource::FileList;
  f.options.entryFolder = f.in("ignored");
  f.options.fileList = {chinese, "", f.in("y/b.txt"), f.in("y/c.txt")};
  f.options.perBatch = 2;
  f.options.templateText = f.in("out/[批次名]/[子目录段]/[文件名]");
  const ClassifyOutcome outcome = f.run();
  EXPECT_EQ(outcome.processed, 4);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(testing::readBytes(nativeFromInternal(f.in("out/1") + f.in("x") + "/文档.txt")), "cn");
  EXPECT_EQ(testing::readBytes(f.in("out/2") + f.in("y/b.txt")), "b");
  EXPECT_EQ(testing::readBytes(f.in("out/2") + f.in("y/c.txt")), "c");
  const std::vector<std::string> failures = f.log(kFailureLogName);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0], "");
  EXPECT_EQ(f.logBytes(kFailureLogName), "\n");
  EXPECT_EQ(f.log(kBeforeLogName)[1], "");
  // The logs are UTF-8, the file names' own bytes, whatever the internal text is.
  EXPECT_EQ(f.logBytes(kBeforeLogName).substr(0, nativeFromInternal(chinese).size() + 1),
            nativeFromInternal(chinese) + "\n");
  EXPECT_NE(f.logBytes(kBeforeLogName).find(testing::utf8(u8"/文档.txt\n")), std::string::npos);
  ASSERT_EQ(f.ctx.failures.size(), 1u);
}

// Every path under `root` (native), files and folders, with a file's bytes.
std::map<std::string, std::string> everything(const std::string& root) {
  std::map<std::string, std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    paths[entry.path().string()] = entry.is_regular_file() ? testing::readBytes(entry.path().string()) : "<folder>";
  }
  return paths;
}

// Names and list lines that would climb out of the folder the template puts them in. Nested deep
// enough that what climbs stays inside the test's own folder, where it is caught.
TEST(ClassifyRun, HostileNamesAndListLinesStayInTheTargetFolder) {
  struct Case {
    const char* name;
    std::vector<std::string> files;       // under top/src
    std::vector<std::string> list;        // list lines with {src} for top/src; empty: walk top/src
    const char* templateText;             // {top} for the nested folder
    std::vector<std::string> batchNames;  // named list when not empty
    const char* targetFolder;             // under top: everything the run writes lies in it
    std::vector<std::string> want;        // what the target folder holds afterwards, under top
  };
  const Case cases[] = {
      {"main names of dots", {"...txt", "..txt", "..."}, {}, "[父目录路径]/[主名]/[文件名]", {}, "src",
       {"src/．．/...txt", "src/．/..txt", "src/．．/..."}},
      {"batch names that climb", {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}, {}, "{top}/out/[批次名]/[文件名]",
       {"../../../../tmp/x", "..", ".", "/etc", "a/../../b"}, "out",
       {"out/..／..／..／..／tmp／x/a.txt", "out/．．/b.txt", "out/．/c.txt", "out/／etc/d.txt",
        "out/a／..／..／b/e.txt"}},
      {"folder name of a list line", {"f.txt", "a/keep"}, {"{src}/a/../f.txt"}, "{top}/out/[父目录名]/[文件名]", {},
       "out", {"out/．．/f.txt"}},
      {"segment of a list line", {"f.txt"}, {"/..{src}/f.txt"}, "{top}/out/[父目录段]/[文件名]", {}, "out",
       {"out/．．{src}/f.txt"}},
      {"subfolders of a list line", {"f.txt"}, {"/..{src}/f.txt"}, "{top}/out/[子目录段]/[文件名]", {}, "out",
       {"out/．．{src}/f.txt"}},
  };
  for (const Case& c : cases) {
    for (bool keep : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (keep ? ", copy" : ", move"));
      Fixture f;
      const std::string top = f.in("1/2/3/4/5/6/7");
      auto fill = [&](std::string text) {
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"{top}", top}, {"{src}", top + "/src"}}) {
          for (size_t at = text.find(key); at != std::string::npos; at = text.find(key)) text.replace(at, key.size(), value);
        }
        return text;
      };
      for (const std::string& file : c.files) testing::writeBytes(top + "/src/" + file, file);
      std::filesystem::create_directories(top + "/out");
      f.options.templateText = fill(c.templateText);
      if (c.list.empty()) {
        f.options.entryFolder = top + "/src";
      } else {
        f.options.source = ClassifySource::FileList;
        for (const std::string& line : c.list) f.options.fileList.push_back(fill(line));
      }
      if (!c.batchNames.empty()) {
        f.options.batchMode = BatchNameMode::NamedList;
        f.options.batchNames = c.batchNames;
        f.options.perBatch = 1;
      }
      f.options.keepSources = keep;
      const auto before = everything(f.dir.path());
      const ClassifyOutcome outcome = f.run();
      EXPECT_EQ(outcome.failed, 0);
      const std::string inside = top + "/" + c.targetFolder;
      const auto after = everything(f.dir.path());
      for (const auto& [path, bytes] : after) {
        if (path != inside && path.rfind(inside + "/", 0) != 0) {
          EXPECT_TRUE(before.count(path) == 1 && before.at(path) == bytes) << "written outside: " << path;
        }
      }
      for (const std::string& want : c.want) {
        const std::string path = nativeFromInternal(top + "/" + fill(want));
        EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
      }
    }
  }
}

TEST(ClassifyRun, NeverReplacesWhatItMustNot) {
  for (bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "copy" : "move");
    Fixture f;
    testing::writeBytes(f.in("a/same.txt"), "first");
    testing::writeBytes(f.in("b/same.txt"), "second");
    testing::writeBytes(f.in("c/old.txt"), "mine");
    testing::writeBytes(f.in("out/old.txt"), "there before");
    f.options.source = ClassifySource::FileList;
    f.options.fileList = {f.in("a/same.txt"), f.in("b/same.txt"), f.in("c/old.txt")};
    f.options.templateText = f.in("out/[文件名]");
    f.options.keepSources = keep;
    const ClassifyOutcome outcome = f.run();
    // Two sources, one target: the second fails and stays.
    EXPECT_EQ(testing::readBytes(f.in("out/same.txt")), "first");
    EXPECT_EQ(testing::readBytes(f.in("b/same.txt")), "second");
    EXPECT_EQ(testing::exists(f.in("a/same.txt")), keep);
    std::vector<std::string> wantFailures = {f.in("b/same.txt")};
    if (keep) {
      // A copy replaces a file that was there before the run.
      EXPECT_EQ(testing::readBytes(f.in("out/old.txt")), "mine");
    } else {
      // A move never does: the file fails and stays.
      EXPECT_EQ(testing::readBytes(f.in("out/old.txt")), "there before");
      EXPECT_EQ(testing::readBytes(f.in("c/old.txt")), "mine");
      wantFailures.push_back(f.in("c/old.txt"));
    }
    EXPECT_EQ(outcome.failed, static_cast<int64_t>(wantFailures.size()));
    EXPECT_EQ(f.log(kFailureLogName), wantFailures);
    EXPECT_EQ(f.log(kAfterLogName).size(), 3u);
  }
}

TEST(ClassifyRun, OntoItselfIsDoneAndChangesNothing) {
  for (bool keep : {true, false}) {
    Fixture f;
    testing::writeBytes(f.in("a/x.txt"), "x");
    f.options.entryFolder = f.in("a");
    f.options.templateText = "[父目录路径]\\[文件名]";
    f.options.keepSources = keep;
    const ClassifyOutcome outcome = f.run();
    EXPECT_EQ(outcome.processed, 1) << keep;
    EXPECT_EQ(outcome.failed, 0) << keep;
    EXPECT_EQ(testing::readBytes(f.in("a/x.txt")), "x") << keep;
    EXPECT_EQ(testing::listNames(f.in("a")), std::vector<std::string>{"x.txt"}) << keep;
  }
}

TEST(ClassifyRun, ReadOnlyTargetFolderLosesNothing) {
  for (bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "copy" : "move");
    Fixture f;
    testing::writeBytes(f.in("src/a.txt"), "a");
    testing::writeBytes(f.in("src/b.txt"), "b");
    testing::ImmutableFolder locked(f.in("locked"));
    if (!locked.ready()) GTEST_SKIP() << "no way to make a folder read-only here";
    f.options.entryFolder = f.in("src");
    f.options.templateText = f.in("locked/[批次名]/[文件名]");
    f.options.keepSources = keep;
    const ClassifyOutcome outcome = f.run();
    EXPECT_EQ(outcome.failed, 2);
    EXPECT_EQ(testing::readBytes(f.in("src/a.txt")), "a");
    EXPECT_EQ(testing::readBytes(f.in("src/b.txt")), "b");
    EXPECT_EQ(f.log(kFailureLogName), (std::vector<std::string>{f.in("src/a.txt"), f.in("src/b.txt")}));
    ASSERT_EQ(f.ctx.failures.size(), 2u);
    EXPECT_NE(f.ctx.failures[0].reason.find(f.in("locked/1")), std::string::npos) << f.ctx.failures[0].reason;
  }
}

// A template whose folders cannot all be made (the path grows past what the file system takes)
// leaves none of the folders it did make behind.
TEST(ClassifyRun, AFailedFileLeavesNoEmptyFoldersOfItsOwn) {
  Fixture f;
  testing::writeBytes(f.in("src/a.txt"), "a");
  testing::writeBytes(f.in("src/keep/b.txt"), "b");
  f.options.entryFolder = f.in("src");
  std::string deep;
  for (int i = 0; i < 900; ++i) deep += "[文件名]/";
  f.options.templateText = "[父目录路径]/keep/" + deep + "[文件名]";
  const ClassifyOutcome outcome = f.run();
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_EQ(testing::readBytes(f.in("src/a.txt")), "a");
  EXPECT_EQ(testing::listNames(f.in("src")), (std::vector<std::string>{"a.txt", "keep"}));
  EXPECT_EQ(testing::listNames(f.in("src/keep")), std::vector<std::string>{"b.txt"}) << "the folder it did not make stays";
  // Only the folders of files that arrived are noted for an undo: these are gone already.
  EXPECT_TRUE(f.log(kMadeFoldersLogName).empty());
}

TEST(ClassifyRun, StopEndsAfterTheCurrentFile) {
  Fixture f;
  for (int i = 1; i <= 10; ++i) testing::writeBytes(f.in("src/" + numbered(i)), "x");
  f.options.entryFolder = f.in("src");
  f.options.keepSources = false;
  // A stop requested while file 2 is being classified shows at the next checkpoint: file 2
  // completes, file 3 never starts.
  f.ctx.onCheckpointHook = [](PlainRunContext& ctx, int64_t count) {
    if (count == 3) ctx.requestStop();
  };
  const ClassifyOutcome outcome = f.run();
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.processed, 2);
  EXPECT_EQ(fileCount(f.in("src")), 8u);
  EXPECT_EQ(f.log(kAfterLogName).size(), 2u);
}

TEST(ClassifyRun, RefusesToStartWithoutItsFolderOrItsLogs) {
  Fixture f;
  testing::writeBytes(f.in("src/a.txt"), "a");
  f.options.keepSources = false;

  // An empty folder box never stands for the root of the file system.
  EXPECT_FALSE(f.run().error.empty());
  EXPECT_EQ(f.ctx.phases.size(), 1u) << "no folder was read";
  const ClassifyPlanOutcome plan = ClassifyPlan(f.options, f.ctx);
  EXPECT_TRUE(plan.files.empty());
  EXPECT_EQ(plan.error, f.run().error) << "a dry run says why it cannot start, as the run does";
  EXPECT_EQ(classifyInputError(f.options), f.run().error);

  // A folder that is not there is named, and nothing is read or written.
  f.options.entryFolder = f.in("missing");
  EXPECT_EQ(f.run().error, "找不到文件夹 " + f.in("missing"));
  EXPECT_TRUE(testing::listNames(f.home.path()).empty());
  f.options.entryFolder = f.in("src/a.txt");
  EXPECT_EQ(f.run().error, "找不到文件夹 " + f.in("src/a.txt"));
  f.options.entryFolder = f.in("src");
  EXPECT_EQ(classifyInputError(f.options), "");
  f.options.source = ClassifySource::FileList;
  f.options.entryFolder.clear();
  EXPECT_EQ(classifyInputError(f.options), "") << "a file list needs no folder";
  f.options.source = ClassifySource::Folder;

  testing::ImmutableFolder locked(f.in("home"));
  if (!locked.ready()) GTEST_SKIP() << "no way to make a folder read-only here";
  f.options.logFolder = f.in("home");
  f.options.entryFolder = f.in("src");
  const ClassifyOutcome outcome = f.run();
  EXPECT_NE(outcome.error.find(kFailureLogName), std::string::npos) << outcome.error;
  EXPECT_EQ(outcome.processed, 0);
  EXPECT_TRUE(testing::exists(f.in("src/a.txt")));
  EXPECT_FALSE(testing::exists(f.in("src/1")));
}

TEST(ClassifyPlan, FollowsTheRunAndTouchesNothing) {
  Fixture f;
  testing::writeBytes(f.in("src/a/x.txt"), "1");
  testing::writeBytes(f.in("src/b/x.txt"), "2");
  testing::writeBytes(f.in("src/c.txt"), "3");
  testing::writeBytes(f.in("src/d.txt"), "4");
  testing::writeBytes(f.in("out/d.txt"), "taken");
  f.options.entryFolder = f.in("src");
  f.options.recursive = true;
  f.options.templateText = f.in("out/[文件名]");
  const ClassifyPlanOutcome outcome = ClassifyPlan(f.options, f.ctx);
  EXPECT_EQ(outcome.error, "");
  const std::vector<PlannedFile>& plan = outcome.files;
  ASSERT_EQ(plan.size(), 4u);
  struct Want { const char* source; bool exists; bool shared; };
  const Want wants[] = {{"src/c.txt", false, false}, {"src/d.txt", true, false},
                        {"src/a/x.txt", false, true}, {"src/b/x.txt", false, true}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(plan[i].source, f.in(wants[i].source)) << i;
    EXPECT_EQ(plan[i].target, f.in("out/") + PathFileName(wants[i].source)) << i;
    EXPECT_EQ(plan[i].targetExists, wants[i].exists) << i;
    EXPECT_EQ(plan[i].sharedTarget, wants[i].shared) << i;
    EXPECT_FALSE(plan[i].sameAsSource) << i;
  }
  EXPECT_EQ(testing::listNames(f.in("out")), std::vector<std::string>{"d.txt"});
  EXPECT_TRUE(testing::listNames(f.home.path()).empty());
  const std::string arrow = " → ";
  EXPECT_EQ(planLine(plan[0], true), f.in("src/c.txt") + arrow + f.in("out/c.txt"));
  EXPECT_EQ(planLine(plan[1], true), f.in("src/d.txt") + arrow + f.in("out/d.txt") + "  [目标已存在，将被替换]");
  EXPECT_EQ(planLine(plan[1], false), f.in("src/d.txt") + arrow + f.in("out/d.txt") + "  [目标已存在，将失败]");
  EXPECT_EQ(planLine(plan[2], false), f.in("src/a/x.txt") + arrow + f.in("out/x.txt") + "  [与其他文件目标相同]");
  EXPECT_EQ(planSummary(plan), "预演：共 4 个文件，目标已存在 1 个，目标重复 2 个；未改动任何文件");

  f.options.templateText = "[父目录路径]/[文件名]";
  const std::vector<PlannedFile> inPlace = ClassifyPlan(f.options, f.ctx).files;
  EXPECT_TRUE(inPlace.front().sameAsSource);
  EXPECT_EQ(planLine(inPlace.front(), false), f.in("src/c.txt") + arrow + f.in("src/c.txt") + "  [目标即原文件，不会改动]");
}

TEST(MoveWithoutReplacing, AcrossFileSystems) {
  // /dev/shm is a separate file system on most Linux machines; without it there is nothing to test.
  char pattern[] = "/dev/shm/chengling-test-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) GTEST_SKIP() << "no /dev/shm";
  const std::string other = pattern;
  struct Cleanup {
    std::string path;
    ~Cleanup() { std::error_code e; std::filesystem::remove_all(path, e); }
  } cleanup{other};
  const TempDir dir;
  struct stat a{}, b{};
  ::stat(other.c_str(), &a);
  ::stat(dir.path().c_str(), &b);
  if (a.st_dev == b.st_dev) GTEST_SKIP() << "/dev/shm is on the same file system";

  const std::string payload(300000, 'p');
  testing::writeBytes(dir / "src.bin", payload);
  std::string reason;
  ASSERT_TRUE(moveWithoutReplacing(dir / "src.bin", other + "/moved.bin", reason)) << reason;
  EXPECT_FALSE(testing::exists(dir / "src.bin"));
  EXPECT_EQ(testing::readBytes(other + "/moved.bin"), payload);

  // A taken name stays untouched, and so does the source.
  testing::writeBytes(dir / "again.bin", "again");
  EXPECT_FALSE(moveWithoutReplacing(dir / "again.bin", other + "/moved.bin", reason));
  EXPECT_EQ(testing::readBytes(other + "/moved.bin"), payload);
  EXPECT_EQ(testing::readBytes(dir / "again.bin"), "again");

  // A copy that cannot be made leaves no partial target behind.
  testing::ImmutableFolder locked(other + "/locked");
  if (locked.ready()) {
    EXPECT_FALSE(moveWithoutReplacing(dir / "again.bin", other + "/locked/x.bin", reason));
    EXPECT_TRUE(testing::listNames(other + "/locked").empty());
    EXPECT_EQ(testing::readBytes(dir / "again.bin"), "again");
  }
}

TEST(Caption, ShortensLongTextsOnCharacterBoundaries) {
  const std::string a34(34, 'a');
  const std::string z34(34, 'z');
  struct Case { std::string text; std::string want; };
  const Case cases[] = {
      {std::string(69, 'x'), std::string(69, 'x')},
      {a34 + "12" + z34, a34 + "..." + z34},
      // A double-byte character that would straddle byte 34 stays out whole, at both ends.
      {std::string(33, 'a') + "中" + "--" + "文" + std::string(33, 'z'),
       std::string(33, 'a') + "..." + std::string(33, 'z')},
      // CR LF is one character.
      {std::string(33, 'a') + "\r\n" + "--" + "\r\n" + std::string(33, 'z'),
       std::string(33, 'a') + "..." + std::string(33, 'z')},
  };
  for (const Case& c : cases) EXPECT_EQ(shortenCaption(c.text), c.want) << c.text;
  EXPECT_EQ(captionText(250, 7, "/a/b.txt"), "    (250:7) /a/b.txt");
  const std::string longCaption = captionText(3, 1, "/" + std::string(100, 'q') + "/end.txt");
  EXPECT_EQ(longCaption, "    (3:1) /" + std::string(23, 'q') + "..." + std::string(26, 'q') + "/end.txt");
}

}  // namespace
}  // namespace chengling
