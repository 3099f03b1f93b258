#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <QTabBar>
#include <QTest>

#include <array>
#include <vector>

#include "foundation/native_text.h"
#include "platform/qt_text.h"
#include "shell/artwork.h"
#include "shell/settings_store.h"
#include "support/test_support.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

// A tool window that remembers whether it was asked to close.
class FakeTool : public QWidget {
 public:
  bool closed = false;

 protected:
  void closeEvent(QCloseEvent* event) override {
    closed = true;
    QWidget::closeEvent(event);
  }
};

struct Shell {
  testing::TempDir dir;
  std::string valuePath = internalFromNative(dir.path()) + "/" + SettingsStore::valueFileName();
  SettingsStore settings;
  std::array<int, 5> created{};

  explicit Shell(const QString& valueFile = {}) {
    if (!valueFile.isNull()) testing::writeBytes(nativeFromInternal(valuePath), fromQString(valueFile));
    settings.Bind(valuePath);
  }
  // Five tools, the last without a tip; `withWindows` false leaves their factories empty.
  std::vector<ToolTab> factories(bool withWindows = true) {
    const ToolIcon kIcons[] = {ToolIcon::Redirect, ToolIcon::CsvTable, ToolIcon::Classify, ToolIcon::Transcode,
                               ToolIcon::SplitMerge};
    std::vector<ToolTab> made;
    for (int i = 0; i < 5; ++i) {
      ToolTab tab{u" 工具%1 "_s.arg(i), i < 4 ? u"第%1个工具"_s.arg(i) : QString(), QIcon(toolIcon(kIcons[i])),
                  u"工具%1"_s.arg(i), nullptr};
      if (withWindows) {
        tab.make = [this, i](SettingsStore&) -> QWidget* {
          ++created[i];
          auto* tool = new FakeTool;
          tool->setObjectName(u"tool%1"_s.arg(i));
          return tool;
        };
      }
      made.push_back(std::move(tab));
    }
    return made;
  }
  QString file() const { return toQString(testing::readBytes(nativeFromInternal(valuePath))); }
};

TEST(MainWindow, FirstStartShowsTheFirstTabUnderTheStrip) {
  Shell shell;
  MainWindow window(shell.settings, shell.factories());
  window.show();
  EXPECT_EQ(window.windowTitle(), u"岚舟·澄岭工具箱 v1.0.0.0 - 可以拖入文件列表"_s);
  EXPECT_EQ(window.tabs()->currentIndex(), 0);
  ASSERT_NE(window.page(0), nullptr);
  EXPECT_EQ(window.currentPage(), window.page(0));
  EXPECT_EQ(window.page(0)->parentWidget(), &window);
  EXPECT_EQ(window.page(0)->geometry(), QRect(0, 126, window.width(), window.height() - 126));
  EXPECT_EQ(window.width(), 972);
  EXPECT_TRUE(window.page(0)->isVisible());
  EXPECT_EQ(shell.created, (std::array<int, 5>{1, 0, 0, 0, 0}));

  window.resize(800, 500);
  EXPECT_EQ(window.page(0)->geometry(), QRect(0, 126, 800, 374));
}

TEST(MainWindow, StoredTabOpensAndOnlyItsWindowIsCreated) {
  struct Case {
    QString file;
    int wantTab;
  };
  const Case kCases[] = {
      {u"[主界面]\r\n功能夹=3"_s, 3},
      {u"[主界面]\r\n功能夹=4\r\n[文件分割合并]\r\n功能夹=1"_s, 4},
      {u"[主界面]\r\n功能夹=7"_s, 0},
      {u"[主界面]\r\n功能夹=-1"_s, 0},
      {u"[主界面]\r\n功能夹=abc"_s, 0},
      {u"[其他]\r\n功能夹=2"_s, 0},
  };
  for (const Case& c : kCases) {
    Shell shell(c.file);
    MainWindow window(shell.settings, shell.factories());
    EXPECT_EQ(window.tabs()->currentIndex(), c.wantTab) << c.file.toStdString();
    std::array<int, 5> want{};
    want[c.wantTab] = 1;
    EXPECT_EQ(shell.created, want) << c.file.toStdString();
    EXPECT_EQ(window.currentPage(), window.page(c.wantTab));
  }
}

TEST(MainWindow, PagesAreMadeOnceAndHiddenNotDestroyed) {
  Shell shell;
  MainWindow window(shell.settings, shell.factories());
  window.show();
  QPointer<QWidget> first = window.page(0);
  window.tabs()->setCurrentIndex(1);
  QPointer<QWidget> second = window.page(1);
  ASSERT_TRUE(second);
  EXPECT_TRUE(second->isVisible());
  EXPECT_FALSE(first->isVisible());
  window.tabs()->setCurrentIndex(0);
  EXPECT_EQ(window.page(0), first.data());
  EXPECT_TRUE(first->isVisible());
  ASSERT_TRUE(second);  // hidden, still alive
  EXPECT_FALSE(second->isVisible());
  window.tabs()->setCurrentIndex(1);
  EXPECT_EQ(window.page(1), second.data());
  EXPECT_EQ(shell.created, (std::array<int, 5>{1, 1, 0, 0, 0}));
}

TEST(MainWindow, ClosingStoresTheTabAndClosesThePages) {
  Shell shell;
  {
    MainWindow window(shell.settings, shell.factories());
    window.show();
    window.tabs()->setCurrentIndex(2);
    window.tabs()->setCurrentIndex(4);
    window.close();
    EXPECT_TRUE(static_cast<FakeTool*>(window.page(0))->closed);
    EXPECT_TRUE(static_cast<FakeTool*>(window.page(2))->closed);
    EXPECT_TRUE(static_cast<FakeTool*>(window.page(4))->closed);
  }
  EXPECT_EQ(shell.file(), u"[主界面]\r\n功能夹=4"_s);

  SettingsStore next;
  next.Bind(shell.valuePath);
  MainWindow again(next, shell.factories());
  EXPECT_EQ(again.tabs()->currentIndex(), 4);
}

TEST(MainWindow, TabStripShowsTheCaptionsTipsAndIconsOfItsTable) {
  Shell shell;
  const std::vector<ToolTab> table = shell.factories(false);
  MainWindow window(shell.settings, table);
  const QTabBar* tabs = window.tabs();
  ASSERT_EQ(tabs->count(), 5);
  EXPECT_EQ(window.pageCount(), 5);
  EXPECT_EQ(tabs->objectName(), u"选择夹"_s);
  EXPECT_EQ(tabs->geometry(), QRect(2, 90, 5096, 37));
  EXPECT_EQ(tabs->iconSize(), QSize(24, 24));
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(tabs->tabText(i), table[i].caption);
    EXPECT_EQ(tabs->tabToolTip(i), table[i].tip);
    EXPECT_EQ(tabs->tabIcon(i).pixmap(24, 24).toImage(), table[i].icon.pixmap(24, 24).toImage()) << i;
  }
  // Without a factory a tab shows a placeholder that names it.
  EXPECT_EQ(window.page(0)->objectName(), u"placeholder"_s);
  EXPECT_EQ(window.page(0)->findChild<QLabel*>()->text(), u"工具0"_s);
}

TEST(MainWindow, BannerGlidesBetweenItsBoundsAndStopsOnRightPress) {
  Shell shell;
  MainWindow window(shell.settings, shell.factories(false));
  QLabel* banner = window.banner();
  EXPECT_EQ(banner->geometry(), QRect(360, 12, 195, 64));
  EXPECT_TRUE(window.bannerGliding());

  // Right: turns once its right edge passes 972 - 20.
  int steps = 0;
  while (!window.bannerLeftward() && steps < 2000) {
    window.bannerStep();
    ++steps;
  }
  EXPECT_EQ(banner->x(), 758);
  EXPECT_EQ(steps, 398);
  // Left: turns once its left edge passes 93 + 64 + 20.
  while (window.bannerLeftward() && steps < 4000) {
    window.bannerStep();
    ++steps;
  }
  EXPECT_EQ(banner->x(), 176);
  window.bannerStep();
  EXPECT_EQ(banner->x(), 177);

  QTest::mousePress(banner, Qt::RightButton);
  EXPECT_FALSE(window.bannerGliding());
}

TEST(MainWindow, BannerRestsWhileTheWindowIsHiddenOrMinimised) {
  Shell shell;
  MainWindow window(shell.settings, shell.factories(false));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ASSERT_TRUE(window.bannerGliding());

  window.showMinimized();
  EXPECT_TRUE(window.isMinimized());
  EXPECT_FALSE(window.bannerGliding()) << "minimised";
  window.showNormal();
  EXPECT_TRUE(window.bannerGliding()) << "restored";

  window.hide();
  EXPECT_FALSE(window.bannerGliding()) << "hidden";
  window.show();
  EXPECT_TRUE(window.bannerGliding()) << "shown again";
  // It glides on from where it stood.
  const int x = window.banner()->x();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.banner()->x() != x; }, 5000));

  // A banner stopped by a right press stays still when the window comes back.
  QTest::mousePress(window.banner(), Qt::RightButton);
  ASSERT_FALSE(window.bannerGliding());
  window.showMinimized();
  window.showNormal();
  window.hide();
  window.show();
  EXPECT_FALSE(window.bannerGliding());
}

}  // namespace
}  // namespace chengling
