// chengling-cli classify end to end: real files in a temporary folder, the logs in CHENGLING_HOME.
#include <gtest/gtest.h>
#include <stdlib.h>

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

// Internal text as the terminal shows it.
std::string shown(std::string_view internal) { return nativeFromInternal(internal); }

// Runs the classify subcommand with `arguments` (internal text, already shell-quoted); standard
// error goes to `err`.
int classify(const TempDir& scratch, const std::string& arguments, std::string* out = nullptr,
             std::string* err = nullptr) {
  const std::string errFile = scratch / "stderr.txt";
  const int status = runCommand(kCli + " classify " + shown(arguments) + " 2>'" + errFile + "'", out);
  if (err) *err = readBytes(errFile);
  return status;
}

std::string home() { return getenv("CHENGLING_HOME"); }

TEST(ClassifyCli, CopiesIntoBatchesAndWritesTheLogs) {
  const TempDir dir;
  for (const char* name : {"a.txt", "b.txt", "c.txt", "skip.log"}) writeBytes(dir / ("src/" + std::string(name)), name);
  std::string out;
  ASSERT_EQ(classify(dir, "--per-batch 2 --filter '*.txt' '" + dir / "src" + "'", &out), 0);
  EXPECT_EQ(readBytes(dir / "src/1/a.txt"), "a.txt");
  EXPECT_EQ(readBytes(dir / "src/1/b.txt"), "b.txt");
  EXPECT_EQ(readBytes(dir / "src/2/c.txt"), "c.txt");
  EXPECT_FALSE(exists(dir / "src/2/skip.log"));
  EXPECT_TRUE(exists(dir / "src/a.txt"));
  EXPECT_EQ(readBytes(home() + "/" + shown("归类后文件路径.txt")),
            dir / "src/1/a.txt\n" + dir / "src/1/b.txt\n" + dir / "src/2/c.txt\n");
  EXPECT_NE(out.find(shown("共 3 个文件，失败 0 个")), std::string::npos) << out;
}

TEST(ClassifyCli, MoveFromAListWithNamedBatchesAndAFailure) {
  const TempDir dir;
  writeBytes(dir / "x/one.txt", "1");
  writeBytes(dir / "y/two.txt", "2");
  writeBytes(dir / "z/three.txt", "3");
  writeBytes(dir / "out/north/two.txt", "taken");
  writeBytes(dir / "names.txt", "south\r\nnorth\r\n");
  // LF line ends and a relative path (from the scratch folder) in the list.
  writeBytes(dir / "list.txt", dir / "x/one.txt\n" + "y/two.txt\n" + dir / "z/three.txt\n");
  std::string out;
  std::string err;
  const std::string args = "--move --per-batch 1 --batch-names 'list:" + dir / "names.txt" + "' --to '" +
                           dir / "out/[批次名]\\[文件名]" + "' --list '" + dir / "list.txt" + "'";
  EXPECT_EQ(runCommand("cd '" + dir.path() + "' && " + kCli + " classify " + shown(args) + " 2>'" +
                           dir / "err.txt" + "'", &out), 1);
  err = readBytes(dir / "err.txt");
  EXPECT_EQ(readBytes(dir / "out/south/one.txt"), "1");
  EXPECT_EQ(readBytes(dir / "out/north/two.txt"), "taken");  // never replaced by a move
  EXPECT_EQ(readBytes(dir / "y/two.txt"), "2");
  EXPECT_EQ(readBytes(dir / "out/south/three.txt"), "3");   // the names cycle
  EXPECT_NE(err.find(dir / "y/two.txt"), std::string::npos) << err;
  EXPECT_EQ(readBytes(home() + "/" + shown("归类失败的文件路径.txt")), dir / "y/two.txt\n");
}

// Every path under `root`, with a file's bytes.
std::map<std::string, std::string> everything(const std::string& root) {
  std::map<std::string, std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    paths[entry.path().string()] = entry.is_regular_file() ? readBytes(entry.path().string()) : "<folder>";
  }
  return paths;
}

// A file's name or a batch-name line never makes a run write outside the folder that the template
// puts it in. Nested so deep that what would climb stays in the test's folder, where it is seen.
TEST(ClassifyCli, NamesAndListLinesNeverWriteOutsideTheTargetFolder) {
  struct Case {
    std::vector<std::string> files;  // under top/src
    std::string batchNames;          // the list file's bytes; numbers when empty
    std::string to;                  // {top} for the nested folder
    std::string inside;              // under top: where everything written lies
    std::vector<std::string> want;   // under top, afterwards
  };
  const Case cases[] = {
      {{"...txt", "..txt", "a.txt"}, "", "[父目录路径]/[主名]/[文件名]", "src",
       {"src/．．/...txt", "src/．/..txt", "src/a/a.txt"}},
      {{"a.txt", "b.txt", "c.txt", "d.txt"}, "../../../../tmp/x\n..\n.\nsub/../..\n", "{top}/out/[批次名]/[文件名]", "out",
       {"out/..／..／..／..／tmp／x/a.txt", "out/．．/b.txt", "out/．/c.txt", "out/sub／..／../d.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    const TempDir dir;
    const TempDir tree;
    const std::string top = tree / "1/2/3/4/5";
    for (const std::string& file : c.files) writeBytes(top + "/src/" + file, file);
    std::string to = c.to;
    if (to.find("{top}") != std::string::npos) to.replace(to.find("{top}"), 5, top);
    std::string args = "--move --per-batch 1 --to '" + to + "' '" + top + "/src'";
    if (!c.batchNames.empty()) {
      writeBytes(dir / "names.txt", c.batchNames);
      args += " --batch-names 'list:" + dir / "names.txt" + "'";
    }
    const auto before = everything(tree.path());
    std::string err;
    EXPECT_EQ(classify(dir, args, nullptr, &err), 0) << err;
    const std::string inside = top + "/" + c.inside;
    for (const auto& [path, bytes] : everything(tree.path())) {
      if (path == inside || path.rfind(inside + "/", 0) == 0) continue;
      EXPECT_TRUE(before.count(path) == 1 && before.at(path) == bytes) << "written outside: " << path;
    }
    for (const std::string& want : c.want) {
      EXPECT_TRUE(std::filesystem::is_regular_file(shown(top + "/" + want))) << want;
    }
  }
}

TEST(ClassifyCli, DryRunShowsEveryPairAndTouchesNothing) {
  const TempDir dir;
  writeBytes(dir / "src/a/same.txt", "1");
  writeBytes(dir / "src/b/same.txt", "2");
  writeBytes(dir / "src/old.txt", "3");
  writeBytes(dir / "out/old.txt", "there");
  const std::string beforeLog = home() + "/" + shown("归类前文件路径.txt");
  writeBytes(beforeLog, "earlier run\r\n");
  std::string out;
  std::string err;
  ASSERT_EQ(classify(dir, "--dry-run --move --recursive --to '" + dir / "out/[文件名]" + "' '" + dir / "src" + "'",
                     &out, &err), 0) << err;
  const std::string arrow = shown(" → ");
  const std::vector<std::string> lines = splitText(out, "\n");
  ASSERT_EQ(lines.size(), 3u) << out;
  EXPECT_EQ(lines[0].substr(0, lines[0].find("  [")), dir / "src/old.txt" + arrow + dir / "out/old.txt");
  EXPECT_NE(lines[0].find(shown("目标已存在")), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1].substr(0, lines[1].find("  [")), dir / "src/a/same.txt" + arrow + dir / "out/same.txt");
  EXPECT_NE(lines[1].find(shown("目标相同")), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(shown("目标相同")), std::string::npos) << lines[2];
  EXPECT_EQ(listNames(dir / "out"), std::vector<std::string>{"old.txt"});
  EXPECT_TRUE(exists(dir / "src/old.txt"));
  EXPECT_EQ(readBytes(beforeLog), "earlier run\r\n");
}

TEST(ClassifyCli, UndoMovesBackAndNamesWhatItSkips) {
  const TempDir dir;
  writeBytes(dir / "src/a.txt", "a");
  writeBytes(dir / "src/b.txt", "b");
  ASSERT_EQ(classify(dir, "--move '" + dir / "src" + "'"), 0);
  ASSERT_TRUE(exists(dir / "src/1/a.txt"));
  writeBytes(dir / "src/b.txt", "new b");
  std::string out;
  EXPECT_EQ(classify(dir, "--undo", &out), 0);
  EXPECT_EQ(readBytes(dir / "src/a.txt"), "a");
  EXPECT_EQ(readBytes(dir / "src/1/b.txt"), "b");
  EXPECT_EQ(out.find(shown("已删除空文件夹")), std::string::npos) << "src/1 still holds b.txt: " << out;
  EXPECT_NE(out.find(shown("跳过：") + dir / "src/1/b.txt"), std::string::npos) << out;
  EXPECT_NE(out.find(shown("原位置已有文件")), std::string::npos) << out;

  // After a copy run every source is still in place: nothing to undo.
  writeBytes(dir / "c/c.txt", "c");
  ASSERT_EQ(classify(dir, "'" + dir / "c" + "'"), 0);
  EXPECT_EQ(classify(dir, "--undo", &out), 0);
  EXPECT_NE(out.find(shown("移回 0 个，跳过 1 个")), std::string::npos) << out;
  EXPECT_TRUE(exists(dir / "c/1/c.txt"));
}

TEST(ClassifyCli, UndoRemovesTheFoldersTheMoveMadeOnceEmpty) {
  const TempDir dir;
  writeBytes(dir / "src/a.txt", "a");
  writeBytes(dir / "src/b.txt", "b");
  ASSERT_EQ(classify(dir, "--move --per-batch 1 --to '" + dir / "out/[批次名]/[主名]/[文件名]" + "' '" +
                              dir / "src" + "'"),
            0);
  ASSERT_TRUE(exists(dir / "out/2/b/b.txt"));
  EXPECT_EQ(readBytes(home() + "/" + shown("归类新建的文件夹路径.txt")),
            dir / "out\n" + dir / "out/1\n" + dir / "out/1/a\n" + dir / "out/2\n" + dir / "out/2/b\n");
  std::string out;
  EXPECT_EQ(classify(dir, "--undo", &out), 0);
  EXPECT_FALSE(exists(dir / "out"));
  EXPECT_EQ(listNames(dir / "src"), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_NE(out.find(shown("已删除空文件夹：") + dir / "out/1/a\n"), std::string::npos) << out;
  EXPECT_NE(out.find(shown("删除空文件夹 5 个")), std::string::npos) << out;
}

TEST(ClassifyCli, AWordThatIsNoTokenIsAWarning) {
  const TempDir dir;
  writeBytes(dir / "src/a.txt", "a");
  std::string err;
  for (const char* dryRun : {"--dry-run ", ""}) {
    EXPECT_EQ(classify(dir, dryRun + std::string("--to '") + dir / "out/[文名]/[文件名]" + "' '" + dir / "src" + "'",
                       nullptr, &err),
              0)
        << dryRun << err;
    EXPECT_NE(err.find(shown("警告：[文名] 不是元符，将作为文字保留。")), std::string::npos) << dryRun << err;
  }
  EXPECT_EQ(readBytes(shown(dir / "out/[文名]/a.txt")), "a");
  ASSERT_EQ(classify(dir, "--to '" + dir / "out2/[批次名]/[文件名]" + "' '" + dir / "src" + "'", nullptr, &err), 0);
  EXPECT_EQ(err.find(shown("警告")), std::string::npos) << err;
}

TEST(ClassifyCli, UsageErrors) {
  const TempDir dir;
  writeBytes(dir / "list.txt", dir / "a.txt\n");
  const std::string folder = "'" + dir.path() + "'";
  const std::string cases[] = {
      "",                                                   // neither folder nor list
      folder + " --list '" + dir / "list.txt" + "'",        // both
      "--undo --move",                                      // undo takes nothing else
      "--batch-names roman " + folder,
      "--no-such-option " + folder,
      "--per-batch 0 " + folder,
      "--per-batch -5 " + folder,
      "--per-batch 2x " + folder,
  };
  for (const std::string& args : cases) EXPECT_EQ(classify(dir, args), 2) << args;
  EXPECT_EQ(classify(dir, "'" + dir / "missing" + "'"), 1);
}

}  // namespace
}  // namespace chengling::testing
