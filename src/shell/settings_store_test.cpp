#include "shell/settings_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "foundation/native_text.h"
#include "support/test_support.h"

namespace chengling {
namespace {

using testing::TempDir;
using namespace std::string_literals;

// The value file of a fresh program directory, as internal and as native path.
struct Home {
  TempDir dir;
  std::string valuePath = internalFromNative(dir.path()) + "/" + SettingsStore::valueFileName();
  std::string fileBytes() const { return testing::readBytes(nativeFromInternal(valuePath)); }
  void setFileBytes(std::string_view bytes) const { testing::writeBytes(nativeFromInternal(valuePath), bytes); }
};

TEST(SettingsStore, FreshFileGetsSectionsAndNewestKeyFirst) {
  Home home;
  SettingsStore store;
  ASSERT_TRUE(store.Bind(home.valuePath));
  EXPECT_TRUE(testing::exists(nativeFromInternal(home.valuePath)));
  EXPECT_EQ(home.fileBytes(), "");

  store.SelectSection("主界面");
  EXPECT_TRUE(store.WriteNumber("功能夹", 0));
  store.SelectSection("跳转地址获取");
  EXPECT_TRUE(store.WriteText("编辑框UA", "Mozilla/5.0 (X11)"));
  EXPECT_TRUE(store.WriteNumber("选择框失败占位", 1));
  EXPECT_TRUE(store.WriteNumber("组合框协议模拟方式", 14));
  // Replacing keeps the line where it is.
  store.SelectSection("主界面");
  EXPECT_TRUE(store.WriteNumber("功能夹", 3));

  const std::string want =
      "[主界面]\r\n功能夹=3\r\n[跳转地址获取]\r\n组合框协议模拟方式=14\r\n选择框失败占位=1\r\n"
      "编辑框UA=Mozilla/5.0 (X11)";
  EXPECT_EQ(home.fileBytes(), want);
  EXPECT_EQ(store.text(), want);

  // A second store reads what the first one wrote.
  SettingsStore again;
  ASSERT_TRUE(again.Bind(home.valuePath));
  again.SelectSection("主界面");
  EXPECT_EQ(again.ReadNumber("功能夹", 0), 3);
  again.SelectSection("跳转地址获取");
  EXPECT_EQ(again.ReadText("编辑框UA", ""), "Mozilla/5.0 (X11)");
  EXPECT_EQ(again.ReadText("编辑框不存在", "默认"), "默认");
  again.SelectSection("没有这一节");
  EXPECT_EQ(again.ReadNumber("功能夹", 7), 7);
}

TEST(SettingsStore, LineBreaksTravelAsTheMarkerOnOneLine) {
  Home home;
  SettingsStore store;
  ASSERT_TRUE(store.Bind(home.valuePath));
  store.SelectSection("文件批量归类");
  const std::string text = "第一行\r\n第二行\r\n\r\n[文件批量归类]\r\n";
  ASSERT_TRUE(store.WriteText("编辑框列表", text));
  ASSERT_TRUE(store.WriteNumber("选择框后", 1));
  EXPECT_EQ(home.fileBytes(),
            "[文件批量归类]\r\n选择框后=1\r\n编辑框列表=第一行┊*┊第二行┊*┊┊*┊[文件批量归类]┊*┊");

  SettingsStore again;
  ASSERT_TRUE(again.Bind(home.valuePath));
  again.SelectSection("文件批量归类");
  EXPECT_EQ(again.ReadText("编辑框列表", ""), text);
  EXPECT_EQ(again.ReadNumber("选择框后", 0), 1);
}

TEST(SettingsStore, SearchesKeepToTheFormat) {
  struct Case {
    const char* name;
    std::string file;
    const char* section;
    const char* key;
    std::string wantText;  // with the fallback "缺省"
  };
  const Case kCases[] = {
      {"value", "[甲]\r\n键=值", "甲", "键", "值"},
      {"empty value gives the fallback", "[甲]\r\n编辑框UA=\r\n键=1", "甲", "编辑框UA", "缺省"},
      {"key of a later section", "[甲]\r\n别的=1\r\n[乙]\r\n键=2", "甲", "键", "缺省"},
      {"same key, second section", "[甲]\r\n键=1\r\n[乙]\r\n键=2", "乙", "键", "2"},
      {"header in mid-line", "x=[甲]\r\n键=1", "甲", "键", "缺省"},
      {"header in mid-line, real one later", "x=[甲]\r\n键=1\r\n[甲]\r\n键=2", "甲", "键", "2"},
      {"key is up to the first =", "[甲]\r\n键=a=b\r\n", "甲", "键", "a=b"},
      {"prefix of a key is another key", "[甲]\r\n键名=1\r\n键=2", "甲", "键", "2"},
      {"names compare exactly", "[甲]\r\nKey=1", "甲", "key", "缺省"},
      {"value at the end without line break", "[甲]\r\n键=末尾", "甲", "键", "末尾"},
      {"text after a NUL is not read", "[甲]\r\n别=1\0\r\n键=2"s, "甲", "键", "缺省"},
  };
  for (const Case& c : kCases) {
    Home home;
    home.setFileBytes(c.file);
    SettingsStore store;
    ASSERT_TRUE(store.Bind(home.valuePath)) << c.name;
    store.SelectSection(c.section);
    EXPECT_EQ(store.ReadText(c.key, "缺省"), c.wantText) << c.name;
  }
}

TEST(SettingsStore, WritesFindTheRightPlace) {
  struct Case {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  };
  const Case kCases[] = {
      {"new key first", "[甲]\r\n旧=1", "甲", "新", "2", "[甲]\r\n新=2\r\n旧=1"},
      {"replace in its own section", "[甲]\r\n键=1\r\n[乙]\r\n键=2", "乙", "键", "9",
       "[甲]\r\n键=1\r\n[乙]\r\n键=9"},
      {"later section's key is not ours", "[甲]\r\n[乙]\r\n键=2", "甲", "键", "5",
       "[甲]\r\n键=5\r\n[乙]\r\n键=2"},
      {"mid-line header is not a header", "x=[甲]", "甲", "键", "1", "x=[甲]\r\n[甲]\r\n键=1"},
      {"replace up to the line break", "[甲]\r\n键=长长的旧值\r\n后=1", "甲", "键", "短", "[甲]\r\n键=短\r\n后=1"},
      {"empty value replaced", "[甲]\r\n键=", "甲", "键", "有", "[甲]\r\n键=有"},
  };
  for (const Case& c : kCases) {
    Home home;
    home.setFileBytes(c.before);
    SettingsStore store;
    ASSERT_TRUE(store.Bind(home.valuePath)) << c.name;
    store.SelectSection(c.section);
    EXPECT_TRUE(store.WriteText(c.key, c.value)) << c.name;
    EXPECT_EQ(home.fileBytes(), c.after) << c.name;
  }
}

TEST(SettingsStore, NumbersReadAsFarAsTheyGo) {
  struct Case {
    const char* stored;
    double want;
  };
  const Case kCases[] = {
      {"14", 14},   {"-3.5", -3.5}, {"12abc", 12}, {"abc", 0},    {" 7", 7},
      {"1e3", 1000}, {"2.", 2},     {".5", 0.5},   {"+4", 4},     {"-", 0},
      {"3e", 3},    {"0x10", 0},
  };
  for (const Case& c : kCases) {
    Home home;
    home.setFileBytes(std::string("[数]\r\n值=") + c.stored);
    SettingsStore store;
    ASSERT_TRUE(store.Bind(home.valuePath));
    store.SelectSection("数");
    EXPECT_DOUBLE_EQ(store.ReadNumber("值", -1), c.want) << c.stored;
  }

  Home home;
  SettingsStore store;
  ASSERT_TRUE(store.Bind(home.valuePath));
  store.SelectSection("数");
  for (double value : {0.0, 1.0, -42.0, 0.1, 16777215.0, 1e20, -2.5e-7, 1.0 / 3}) {
    ASSERT_TRUE(store.WriteNumber("值", value));
    EXPECT_EQ(store.ReadNumber("值", -1), value) << store.text();
  }
  ASSERT_TRUE(store.WriteNumber("整数", 16777215));
  EXPECT_NE(home.fileBytes().find("整数=16777215\r\n"), std::string::npos);
}

TEST(SettingsStore, ByteValuesLiveInInibinAndNotInTheValueFile) {
  Home home;
  SettingsStore store;
  ASSERT_TRUE(store.Bind(home.valuePath));
  store.SelectSection("跳转地址获取");
  const std::string bytes = "网址\0\r\n\xff"s;
  ASSERT_TRUE(store.WriteBytes("编辑框原地址", bytes));
  const std::string file = home.dir / nativeFromInternal("inibin/跳转地址获取-编辑框原地址.ibn");
  EXPECT_EQ(testing::readBytes(file), bytes);
  EXPECT_EQ(store.bytesPath("编辑框原地址"),
            internalFromNative(home.dir.path()) + "/inibin/跳转地址获取-编辑框原地址.ibn");
  EXPECT_EQ(home.fileBytes(), "");
  EXPECT_EQ(store.ReadText("编辑框原地址", "无"), "无");
  EXPECT_EQ(store.ReadBytes("编辑框原地址", "无"), bytes);

  store.SelectSection("别的窗口");
  EXPECT_EQ(store.ReadBytes("编辑框原地址", "无"), "无");
  ASSERT_TRUE(store.WriteBytes("空", ""));
  EXPECT_EQ(store.ReadBytes("空", "无"), "无");
}

TEST(SettingsStore, SectionThatCannotBeFoundGivesUpAfterElevenPassesAndSaysSoOnce) {
  Home home;
  // A NUL hides the rest of the text from every search, so the appended headers are never found.
  const std::string damaged = "[甲]\r\n键=1\0"s;
  home.setFileBytes(damaged);
  SettingsStore store;
  std::vector<std::pair<std::string, std::string>> notices;
  store.setFailureNotice([&notices](std::string_view message, std::string_view detail) {
    notices.emplace_back(message, detail);
  });
  ASSERT_TRUE(store.Bind(home.valuePath));
  store.SelectSection("乙");
  EXPECT_FALSE(store.WriteText("键", "2"));

  std::string want = damaged;
  for (int i = 0; i < 11; ++i) want += "\r\n[乙]";
  EXPECT_EQ(home.fileBytes(), want);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].first, "配置模块出现意外，可能导致无法正常保存！详情请咨询岚舟。");
  EXPECT_EQ(notices[0].second, want);

  EXPECT_FALSE(store.WriteText("键", "3"));
  EXPECT_EQ(notices.size(), 1u);
  // The section before the NUL still works.
  store.SelectSection("甲");
  EXPECT_TRUE(store.WriteText("键", "5"));
  EXPECT_EQ(store.ReadText("键", ""), "5");
}

TEST(SettingsStore, FileThatCannotBeWrittenReportsFailure) {
  TempDir dir;
  testing::writeBytes(dir / "plain", "x");
  SettingsStore store;
  std::vector<std::string> details;
  store.setFailureNotice([&details](std::string_view, std::string_view detail) { details.emplace_back(detail); });
  const std::string path = internalFromNative(dir / "plain") + "/sub/" + SettingsStore::valueFileName();
  EXPECT_FALSE(store.Bind(path));
  store.SelectSection("主界面");
  EXPECT_FALSE(store.WriteNumber("功能夹", 2));
  EXPECT_FALSE(store.WriteNumber("功能夹", 3));
  ASSERT_EQ(details.size(), 1u);
  EXPECT_EQ(details[0].rfind(path, 0), 0u) << details[0];
  EXPECT_FALSE(store.WriteBytes("键", "值"));

  SettingsStore unbound;
  unbound.SelectSection("甲");
  EXPECT_FALSE(unbound.WriteText("键", "值"));
  EXPECT_FALSE(unbound.Bind(path, 1));
}

TEST(SettingsStore, TwoStoresOnOneFileKeepEachOthersWrites) {
  Home home;
  SettingsStore first;
  SettingsStore second;
  ASSERT_TRUE(first.Bind(home.valuePath));
  ASSERT_TRUE(second.Bind(home.valuePath));
  first.SelectSection("甲");
  second.SelectSection("乙");
  ASSERT_TRUE(first.WriteText("一", "1"));
  ASSERT_TRUE(second.WriteText("二", "2"));  // its copy predates the first write
  ASSERT_TRUE(first.WriteText("三", "3"));
  EXPECT_EQ(home.fileBytes(), "[甲]\r\n三=3\r\n一=1\r\n[乙]\r\n二=2");
  EXPECT_EQ(first.text(), home.fileBytes());
}

TEST(SettingsStore, TwoProcessesWritingAtOnceLoseNothing) {
  Home home;
  constexpr int kWrites = 40;
  auto writeMany = [&home](const char* section) {
    SettingsStore store;
    if (!store.Bind(home.valuePath)) return false;
    store.SelectSection(section);
    for (int i = 0; i < kWrites; ++i) {
      if (!store.WriteNumber("键" + std::to_string(i), i)) return false;
    }
    return true;
  };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(writeMany("子") ? 0 : 1);
  const bool mine = writeMany("父");
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(mine);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  SettingsStore check;
  ASSERT_TRUE(check.Bind(home.valuePath));
  for (const char* section : {"父", "子"}) {
    check.SelectSection(section);
    for (int i = 0; i < kWrites; ++i) {
      EXPECT_EQ(check.ReadNumber("键" + std::to_string(i), -1), i) << section << i;
    }
  }
}

TEST(SettingsStore, BatchWritesTheFileOnceAtTheEnd) {
  Home home;
  SettingsStore store;
  ASSERT_TRUE(store.Bind(home.valuePath));
  store.SelectSection("文件分割合并");
  {
    SettingsStore::Batch batch(store);
    ASSERT_TRUE(store.WriteNumber("选择框甲", 1));
    ASSERT_TRUE(store.WriteText("编辑框乙", "内容"));
    {
      SettingsStore::Batch inner(store);
      ASSERT_TRUE(store.WriteNumber("组合框丙", 2));
    }
    EXPECT_EQ(home.fileBytes(), "");
    EXPECT_EQ(store.ReadText("编辑框乙", ""), "内容");
  }
  EXPECT_EQ(home.fileBytes(), "[文件分割合并]\r\n组合框丙=2\r\n编辑框乙=内容\r\n选择框甲=1");
}

}  // namespace
}  // namespace chengling
