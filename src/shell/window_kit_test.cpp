// The window kit that every tool window is built on: the drop target, the run panel and the kept
// control states, driven as a tool window drives them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>
#include <utility>

#include "foundation/native_text.h"
#include "platform/qt_text.h"
#include "shell/alternative_matcher.h"
#include "shell/control_states.h"
#include "shell/controls.h"
#include "shell/drop_target.h"
#include "shell/main_window.h"
#include "shell/run_panel.h"
#include "shell/settings_store.h"
#include "support/test_support.h"
#include "support/window_test_kit.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

// A window with one drop target that records what it was handed.
struct DropWindow {
  QWidget window;
  bool busy = false;
  std::vector<PathList> delivered;
  std::vector<Qt::KeyboardModifiers> modifiers;
  DropTarget* target = new DropTarget(&window, u"拖放对象"_s, [this] { return !busy; },
                                      [this](PathList paths, Qt::KeyboardModifiers held) {
                                        delivered.push_back(std::move(paths));
                                        modifiers.push_back(held);
                                      });
};

TEST(DropTarget, DeliversTheDroppedPathsInOrderAfterTheDropHasCompleted) {
  testing::TempDir dir;
  testing::writeBytes(dir / "b.txt", "");
  testing::writeBytes(dir / "a.txt", "");
  DropWindow w;
  ASSERT_TRUE(testing::dropPaths(&w.window, {dir / "b.txt", dir / "folder/", dir / "a.txt"}, Qt::ControlModifier));
  EXPECT_TRUE(w.delivered.empty()) << "delivered while the drag source still waits";
  QTRY_COMPARE(w.delivered.size(), size_t{1});
  const std::string base = internalFromNative(dir.path());
  EXPECT_EQ(w.delivered[0], (PathList{base + "/b.txt", base + "/folder", base + "/a.txt"}));
  EXPECT_EQ(w.modifiers[0], Qt::ControlModifier);
}

TEST(DropTarget, RefusesWhileBusyAndDropsWhatBecameBusyBeforeDelivery) {
  DropWindow w;
  w.busy = true;
  EXPECT_FALSE(testing::dropPaths(&w.window, {"/tmp"}));
  EXPECT_FALSE(w.target->offer({"/tmp"}));

  w.busy = false;
  ASSERT_TRUE(w.target->offer({"/tmp"}));
  w.busy = true;  // a run started between the drop and its delivery
  QCoreApplication::sendPostedEvents(w.target);  // the delivery's turn
  EXPECT_TRUE(w.delivered.empty());
  w.busy = false;
  ASSERT_TRUE(w.target->offer({"/tmp"}));
  QCoreApplication::sendPostedEvents(w.target);
  EXPECT_EQ(w.delivered.size(), size_t{1}) << "an offer to an idle target arrives on its turn";
}

TEST(DropTarget, PathsOpenedWithTheProgramReachTheCurrentTabAsADrop) {
  testing::TempDir dir;
  SettingsStore settings;
  settings.Bind(internalFromNative(dir.path()) + "/" + SettingsStore::valueFileName());
  std::array<DropWindow*, 5> pages{};
  std::vector<ToolTab> tabs;
  for (int i = 0; i < 5; ++i) {
    tabs.push_back({u"工具%1"_s.arg(i), QString(), QIcon(), QString(), [&pages, i](SettingsStore&) -> QWidget* {
                      pages[i] = new DropWindow;
                      return &pages[i]->window;
                    }});
  }
  MainWindow shell(settings, tabs);
  shell.tabs()->setCurrentIndex(2);
  shell.openPaths({"/x/a.txt", "/x/b"});
  QTRY_COMPARE(pages[2]->delivered.size(), size_t{1});
  EXPECT_EQ(pages[2]->delivered[0], (PathList{"/x/a.txt", "/x/b"}));
  EXPECT_EQ(pages[0]->delivered.size(), 0u);
  for (DropWindow* page : pages) {
    if (page != nullptr) page->window.setParent(nullptr);  // the DropWindow owns its widget
  }
  for (DropWindow* page : pages) delete page;
}

TEST(RunPanel, StartButtonsExcludeEachOtherAndFailuresShowAfterTheRun) {
  QWidget window;
  auto* panel = new RunPanel(&window);
  auto* bar = panel->makeProgressBar();
  auto* first = new QPushButton(u"开始"_s, &window);
  auto* second = new QPushButton(u"另一个"_s, &window);
  StartButton* start = panel->addStartButton(first, {u"开始"_s, u"点我停止"_s, u"停止中.."_s});
  panel->addStartButton(second, {u"另一个"_s, u"停"_s, u"停中"_s});

  std::atomic<bool> release{false};
  bool ended = false;
  ASSERT_TRUE(panel->run(start, [&release](RunContext& ctx) {
    ctx.progress(3, 4);
    // Engines speak internal text (GB18030).
    ctx.status(fromQString(u"第一个"_s));
    ctx.failure("/a", fromQString(u"读不出"_s));
    ctx.warning("/b", fromQString(u"有字符未能转换"_s));
    while (!release && !ctx.checkpoint()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }, [&ended](bool) { ended = true; }));
  EXPECT_EQ(first->text(), u"点我停止"_s);
  EXPECT_FALSE(second->isEnabled());
  EXPECT_FALSE(panel->run(start, [](RunContext&) {}));  // never nested
  QTRY_COMPARE(bar->value(), 3);
  QTRY_COMPARE(panel->statusLabel()->text(), u"第一个"_s);
  EXPECT_EQ(panel->statusLabel()->parentWidget(), bar);

  EXPECT_TRUE(start->stopIfRunning());  // the stop click
  EXPECT_EQ(first->text(), u"停止中.."_s);
  QTRY_VERIFY(ended);
  EXPECT_EQ(first->text(), u"开始"_s);
  EXPECT_TRUE(second->isEnabled());

  testing::Modals modals;
  QString shown;
  modals.next([&shown](QWidget* dialog) {
    shown = dialog->findChild<QPlainTextEdit*>()->toPlainText();
    dialog->close();
  });
  EXPECT_TRUE(panel->showFailures(u"以下文件未能处理："_s, u"以下文件已处理，但有字符未能转换："_s));
  EXPECT_EQ(shown, u"/a：读不出\n\n以下文件已处理，但有字符未能转换：\n/b：有字符未能转换"_s);
  EXPECT_FALSE(panel->showFailures(u"以下文件未能处理："_s, u"以下文件已处理，但有字符未能转换："_s)) << "shown once";
}

// An engine entry that shows phase "phase 1", runs until it is asked to stop, then shows "phase 2"
// and the progress 1 of 1, and returns 7 once the test releases it.
struct PhasedEntry {
  std::atomic<bool> release{false};

  std::function<int(RunContext&)> job() {
    return [this](RunContext& ctx) {
      ctx.phase("phase 1");
      while (!ctx.checkpoint()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      ctx.phase("phase 2");
      ctx.progress(1, 1);  // delivered after the phase: the test waits for it
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      return 7;
    };
  }
};

TEST(RunPanel, AnEngineEntryHandsItsOutcomeToItsCompletionAndShowsItsPhases) {
  QWidget window;
  auto* panel = new RunPanel(&window);
  QProgressBar* bar = panel->makeProgressBar();
  QLabel* status = panel->statusLabel();
  auto* onButton = new QPushButton(u"开始"_s, &window);
  auto* onStatus = new QPushButton(u"预览"_s, &window);
  auto* keeps = new QPushButton(u"归类"_s, &window);
  StartButton* buttonStart = panel->addStartButton(onButton, {u"开始"_s, u"点我停止"_s, u"停止中.."_s});
  StartButton* statusStart = panel->addStartButton(onStatus, {u"预览"_s, u"停止预览"_s, u"停止中.."_s},
                                                   RunPanel::Phases::OnStatus);
  // No stopping caption: the phases go on showing after a stop click.
  StartButton* keepsStart = panel->addStartButton(keeps, {u"归类"_s, u"初始化"_s, QString()});

  struct Case {
    const char* name;
    StartButton* start;  // null: a run without a button, stopped with a click on `onButton`
    QAbstractButton* watched;
    QString captionRunning;
    QString statusRunning;
    QString captionStopped;
    QString statusStopped;
  };
  const Case kCases[] = {
      {"on its button", buttonStart, onButton, u"phase 1"_s, QString(), u"停止中.."_s, QString()},
      {"on the status line", statusStart, onStatus, u"停止预览"_s, u"phase 1"_s, u"停止中.."_s, u"phase 2"_s},
      {"on a button that keeps its caption", keepsStart, keeps, u"phase 1"_s, QString(), u"phase 2"_s, QString()},
      {"without a button", nullptr, onButton, u"开始"_s, u"phase 1"_s, u"停止中.."_s, u"phase 2"_s},
  };
  for (const Case& c : kCases) {
    status->clear();
    bar->setRange(0, 1);
    bar->setValue(0);
    PhasedEntry entry;
    std::optional<std::pair<int, bool>> ended;
    ASSERT_TRUE(panel->start(c.start, entry.job(), [&ended](int outcome, bool stopped) { ended = {outcome, stopped}; }))
        << c.name;
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.watched->text() == c.captionRunning && status->text() == c.statusRunning; }))
        << c.name << ": " << c.watched->text().toStdString() << " / " << status->text().toStdString();
    EXPECT_FALSE(panel->start(c.start, entry.job(), [](int, bool) {})) << c.name << ": never nested";

    if (c.start != nullptr) {
      // A click on another start button meanwhile starts nothing and stops nothing.
      EXPECT_TRUE(panel->busyClick(c.start == keepsStart ? buttonStart : keepsStart)) << c.name;
      EXPECT_EQ(c.watched->text(), c.captionRunning) << c.name;
    }
    EXPECT_TRUE(panel->busyClick(c.start != nullptr ? c.start : buttonStart)) << c.name << ": the stop click";
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() == 1; })) << c.name;
    EXPECT_EQ(c.watched->text(), c.captionStopped) << c.name;
    EXPECT_EQ(status->text(), c.statusStopped) << c.name;
    EXPECT_FALSE(ended.has_value()) << c.name;

    entry.release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.has_value(); })) << c.name;
    EXPECT_EQ(*ended, std::make_pair(7, true)) << c.name;
    for (QPushButton* button : {onButton, onStatus, keeps}) {
      EXPECT_TRUE(button->isEnabled()) << c.name;
    }
    EXPECT_EQ(onButton->text(), u"开始"_s) << c.name;
    EXPECT_EQ(onStatus->text(), u"预览"_s) << c.name;
    EXPECT_EQ(keeps->text(), u"归类"_s) << c.name;
    EXPECT_FALSE(panel->busyClick(buttonStart)) << c.name << ": idle again";
  }

  // An entry that runs to its end hands over its outcome, not stopped.
  std::optional<std::pair<std::string, bool>> ended;
  ASSERT_TRUE(panel->start(buttonStart, [](RunContext&) { return std::string("done"); },
                           [&ended](const std::string& outcome, bool stopped) { ended = {outcome, stopped}; }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return ended.has_value(); }));
  EXPECT_EQ(*ended, std::make_pair(std::string("done"), false));
}

TEST(RunPanel, WidgetsThatMustWaitAreDisabledDuringEveryRunButItsOwnButton) {
  QWidget window;
  auto* panel = new RunPanel(&window);
  auto* import = new QPushButton(u"导入"_s, &window);
  auto* paste = new QPushButton(u"粘贴"_s, &window);
  auto* off = new QPushButton(u"另一个"_s, &window);
  auto* help = new QPushButton(u"帮助"_s, &window);
  StartButton* importStart = panel->addStartButton(import, {u"导入"_s, u"正在导入.."_s, u"停止中.."_s});
  panel->disableWhileRunning({import, paste, off});
  off->setEnabled(false);  // for reasons of its own

  for (StartButton* through : {importStart, static_cast<StartButton*>(nullptr)}) {
    std::atomic<bool> release{false};
    bool ended = false;
    ASSERT_TRUE(panel->start(
        through,
        [&release](RunContext&) {
          while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
          return 0;
        },
        [&ended](int, bool) { ended = true; }));
    EXPECT_EQ(import->isEnabled(), through != nullptr) << "its own button takes the stop click";
    EXPECT_FALSE(paste->isEnabled());
    EXPECT_TRUE(help->isEnabled());
    release = true;
    QTRY_VERIFY(ended);
    EXPECT_TRUE(import->isEnabled());
    EXPECT_TRUE(paste->isEnabled());
    EXPECT_FALSE(off->isEnabled()) << "a run enables only what it disabled";
  }
}

TEST(AlternativeMatcher, ALeftClickStartsWithTheStandardMatcherARightPressWithTheAlternative) {
  QWidget window;
  auto* button = new QPushButton(u"开始"_s, &window);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  std::vector<Matcher> started;
  int clicks = 0;
  startWithEitherMatcher(button, [&started](Matcher matcher) { started.push_back(matcher); });
  QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });

  testing::clickWith(button, Qt::LeftButton);
  testing::clickWith(button, Qt::RightButton);
  EXPECT_EQ(started, (std::vector<Matcher>{Matcher::Standard, Matcher::Alternative}));
  EXPECT_EQ(clicks, 1) << "the right press is no click of the button";

  button->setEnabled(false);
  testing::clickWith(button, Qt::RightButton);
  testing::clickWith(button, Qt::LeftButton);
  EXPECT_EQ(started.size(), 2u) << "a disabled button starts nothing";
}

TEST(KeepControlStates, RestoresAtCreationAndSavesOnClose) {
  testing::TempDir dir;
  SettingsStore settings;
  settings.Bind(internalFromNative(dir.path()) + "/" + SettingsStore::valueFileName());
  const auto make = [&settings](QWidget& window) {
    auto* box = makeEdit(u"编辑框名称"_s, u"默认"_s, u"名称"_s);
    auto* check = makeCheck(u"选择框递归"_s, u"递归"_s);
    box->setParent(&window);
    check->setParent(&window);
    KeepControlStates(settings, &window, u"测试工具"_s);
    return std::pair{box, check};
  };
  {
    QWidget window;
    auto [box, check] = make(window);
    EXPECT_EQ(box->text(), u"默认"_s);
    EXPECT_EQ(box->accessibleName(), u"名称"_s);
    box->setText(u"改过"_s);
    check->setChecked(true);
    window.close();
  }
  QWidget again;
  auto [box, check] = make(again);
  EXPECT_EQ(box->text(), u"改过"_s);
  EXPECT_TRUE(check->isChecked());
}

}  // namespace
}  // namespace chengling
