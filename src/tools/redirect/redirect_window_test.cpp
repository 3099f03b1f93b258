#include "tools/redirect/redirect_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>

#include <chrono>
#include <condition_variable>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/native_text.h"
#include "platform/clipboard.h"
#include "platform/qt_text.h"
#include "shell/settings_store.h"
#include "support/local_http_server.h"
#include "support/test_support.h"
#include "support/window_test_kit.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

using testing::LocalHttpServer;
using testing::Modals;
using testing::TempDir;
using testing::clickIndicator;

constexpr int kRunTimeoutMs = 60000;
const QString kIdle = u"开始获取"_s;

QString q(const std::string& ascii) { return QString::fromStdString(ascii); }

// The pages the tests resolve, all on 127.0.0.1:
//   /loc     a Location redirect to http://t/loc
//   /meta    a page whose head holds a meta refresh to http://t/meta
//   /script  a page whose first script sets window.location.href to /target
//   /none    a page without a redirect
//   /to/N    a Location redirect to http://t/N, answered later the smaller N is (for runs at once)
//   /hold    held until the test ends
//   /chain/a a chain: 301 to /chain/b, its Refresh header to /chain/c, its script to /chain/end?a=1&b=2
//   /loop    a Location redirect to itself
//   /gone    a 404 page
class Pages {
 public:
  Pages() {
    httplib::Server& server = local_.server();
    server.Get("/loc", [this](const httplib::Request& request, httplib::Response& r) {
      record(request);
      r.set_redirect("http://t/loc");
    });
    server.Get("/meta", [this](const httplib::Request& request, httplib::Response& r) {
      record(request);
      r.set_content(
          "<html><head><title>m</title><meta http-equiv=\"Refresh\" content=\"0; URL=http://t/meta\"></head>"
          "<body>moved</body></html>",
          "text/html");
    });
    server.Get("/script", [this](const httplib::Request& request, httplib::Response& r) {
      record(request);
      r.set_content("<html><body><script>window.location.href = \"/target\";</script></body></html>", "text/html");
    });
    server.Get(R"(/to/(\d+))", [this](const httplib::Request& request, httplib::Response& r) {
      record(request);
      const int n = std::stoi(request.matches[1]);
      std::this_thread::sleep_for(std::chrono::milliseconds(std::max(0, 12 - n) * 10));
      r.set_redirect("http://t/" + std::to_string(n));
    });
    server.Get("/hold", [this](const httplib::Request& request, httplib::Response& r) {
      record(request);
      std::unique_lock lock(mutex_);
      ++holding_;
      changed_.wait_for(lock, std::chrono::minutes(1), [this] { return released_; });
      --holding_;
      r.set_redirect("http://t/held");
    });
    server.Get("/chain/a", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/chain/b", 301); });
    server.Get("/chain/b", [](const httplib::Request&, httplib::Response& r) {
      r.set_header("Refresh", "0; url=/chain/c");
      r.set_content("wait", "text/plain");
    });
    server.Get("/chain/c", [](const httplib::Request&, httplib::Response& r) {
      r.set_content("<script>location.replace('/chain/end?a=1&amp;b=2')</script>", "text/html");
    });
    server.Get("/loop", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/loop", 302); });
    server.Get("/gone", [](const httplib::Request&, httplib::Response& r) {
      r.status = 404;
      r.set_content("gone", "text/plain");
    });
    server.Get(".*", [this](const httplib::Request& request, httplib::Response& r) {
      record(request);
      r.set_content("<html><body>no redirect</body></html>", "text/html");
    });
    started_ = local_.start();
  }
  ~Pages() { release(); }

  bool started() const { return started_; }
  QString url(std::string_view path) const { return q(local_.url(path)); }
  QString hostAndPort(std::string_view path) const { return q(local_.hostAndPort(path)); }
  int holding() {
    std::lock_guard lock(mutex_);
    return holding_;
  }
  std::vector<std::string> agents() {
    std::lock_guard lock(mutex_);
    return agents_;
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  void record(const httplib::Request& request) {
    std::lock_guard lock(mutex_);
    agents_.push_back(request.get_header_value("User-Agent"));
  }

  LocalHttpServer local_;
  bool started_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  int holding_ = 0;
  bool released_ = false;
  std::vector<std::string> agents_;
};

class RedirectWindow : public testing::ToolWindowTest<RedirectTool> {
 protected:
  RedirectWindow() { pageSize_ = QSize(972, 600); }
  void SetUp() override {
    ASSERT_TRUE(pages_.started());
    ToolWindowTest::SetUp();
  }
  void TearDown() override {
    // Held requests go before the window and the server do.
    pages_.release();
    tool_.reset();
  }

  QPlainTextEdit* sources() { return control<QPlainTextEdit>(u"编辑框原地址"_s); }
  QPlainTextEdit* results() { return control<QPlainTextEdit>(u"编辑框跳转后地址"_s); }
  QPushButton* startButton() { return control<QPushButton>(u"按钮开始获取"_s); }

  // Puts `lines` on the clipboard joined by `lineBreak`, as another program may, and pastes them into
  // the source list with its button.
  void pasteSources(const QStringList& lines, const QString& lineBreak = u"\r\n"_s) {
    QGuiApplication::clipboard()->setText(lines.join(lineBreak));
    QTest::mouseClick(control(u"按钮1"_s), Qt::LeftButton);
  }

  // Clicks the start button and waits for the run to end; returns the result list.
  QString runToEnd() {
    QTest::mouseClick(startButton(), Qt::LeftButton);
    // A failed-list dialog, if any, opens at the end of the run and has been answered then.
    EXPECT_TRUE(testing::waitUntilIdle(*tool_));
    return results()->toPlainText();
  }

  // Answers the failed-list dialog, keeping its title and body.
  void answerFailedList(Modals& modals) {
    modals.other = [this](QWidget* dialog) {
      failedListShown_ << dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->toPlainText();
      dialog->findChild<QPushButton*>(u"按钮取消"_s)->click();
    };
  }

  Pages pages_;
  QStringList failedListShown_;
};

TEST_F(RedirectWindow, ControlsStartWithTheirCaptionsAndInitialStates) {
  struct Case {
    QString name;
    QString text;
  };
  const Case kTexts[] = {
      {u"标签1"_s, u"原地址："_s},
      {u"标签2"_s, u"跳转后地址："_s},
      {u"按钮开始获取"_s, kIdle},
      {u"按钮1"_s, u"粘贴"_s},
      {u"按钮2"_s, u"复制"_s},
      {u"标签3"_s, u"协议方式(UserAgent)："_s},
      {u"标签4"_s, u"获取不到？试试："_s},
      {u"选择框扩展模式"_s, u"扩展模式(宽松匹配)"_s},
      {u"选择框失败占位"_s, u"失败占位"_s},
      {u"选择框空占位"_s, u"空占位"_s},
  };
  for (const Case& c : kTexts) {
    QWidget* widget = control(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(testing::shownText(widget), c.text) << c.name.toStdString();
  }

  auto* choice = control<QComboBox>(u"组合框协议模拟方式"_s);
  ASSERT_EQ(choice->count(), 15);
  EXPECT_EQ(choice->itemText(0), u"Internet Explorer 6"_s);
  EXPECT_EQ(choice->itemText(14), u"IOS微信"_s);
  EXPECT_EQ(choice->currentIndex(), 11);
  EXPECT_EQ(choice->currentText(), u"安卓QQ"_s);
  EXPECT_EQ(control<QLineEdit>(u"编辑框UA"_s)->text(), toQString(userAgentText(11)));
  EXPECT_TRUE(control<QCheckBox>(u"选择框失败占位"_s)->isChecked());
  EXPECT_FALSE(control<QCheckBox>(u"选择框扩展模式"_s)->isChecked());
  EXPECT_FALSE(control<QCheckBox>(u"选择框空占位"_s)->isChecked());
  auto* jobs = control<QSpinBox>(u"编辑框同时获取"_s);
  EXPECT_EQ(jobs->value(), 1);
  EXPECT_EQ(jobs->minimum(), 1);
  EXPECT_EQ(jobs->maximum(), kMaxRedirectJobs);
  EXPECT_TRUE(results()->toPlainText().isEmpty());
  const QStringList samples = sources()->toPlainText().split(u'\n');
  EXPECT_GE(samples.size(), 3);
  for (const QString& sample : samples) EXPECT_TRUE(sample.startsWith(u"http"_s)) << sample.toStdString();

  // Everything a user can act on has a name a screen reader can say (buttons are named by their caption).
  for (QWidget* widget : tool_->findChildren<QWidget*>()) {
    const bool box = qobject_cast<QLineEdit*>(widget) || qobject_cast<QPlainTextEdit*>(widget) ||
                     qobject_cast<QComboBox*>(widget) || qobject_cast<QSpinBox*>(widget);
    if (box && !widget->objectName().isEmpty() && !widget->objectName().startsWith(u"qt_"_s)) {
      EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
    }
  }
  // The page still fits the main window made as small as 800×560 (its page is then 800×434).
  EXPECT_LE(tool_->minimumSizeHint().width(), 800);
  EXPECT_LE(tool_->minimumSizeHint().height(), 434);
  EXPECT_EQ(sources()->accessibleName(), u"原地址："_s);
  EXPECT_EQ(results()->accessibleName(), u"跳转后地址："_s);
  EXPECT_EQ(jobs->accessibleName(), u"同时获取："_s);
}

TEST_F(RedirectWindow, OptionsWhoseCaptionsSayLittleExplainThemselvesInTooltips) {
  const QString kNeedTips[] = {u"选择框扩展模式"_s, u"选择框失败占位"_s, u"选择框空占位"_s,
                               u"按钮1"_s, u"按钮2"_s, u"编辑框同时获取"_s};
  QSet<QString> tips;
  for (const QString& name : kNeedTips) {
    const QString tip = control(name)->toolTip();
    EXPECT_FALSE(tip.isEmpty()) << name.toStdString();
    EXPECT_NE(tip, testing::shownText(control(name))) << name.toStdString() << ": a tip that repeats the caption";
    tips.insert(tip);
  }
  EXPECT_EQ(tips.size(), std::size(kNeedTips)) << "each tip tells its own control";
}

TEST_F(RedirectWindow, EmptyPlaceholderIsEnabledOnlyWhileFailurePlaceholderIsChecked) {
  auto* failure = control<QCheckBox>(u"选择框失败占位"_s);
  auto* empty = control<QCheckBox>(u"选择框空占位"_s);
  EXPECT_TRUE(empty->isEnabled());
  clickIndicator(empty);
  ASSERT_TRUE(empty->isChecked());
  clickIndicator(failure);
  EXPECT_FALSE(failure->isChecked());
  EXPECT_FALSE(empty->isEnabled());
  EXPECT_TRUE(empty->isChecked()) << "disabling keeps the checked state";
  clickIndicator(failure);
  EXPECT_TRUE(empty->isEnabled());
  EXPECT_TRUE(empty->isChecked());
}

TEST_F(RedirectWindow, EachPlaceholderModeGivesItsResultLinesAndTheFailedListNamesRewrittenAddresses) {
  const QString target = pages_.url("/target");
  const QString failing = pages_.url("/none");  // as rewritten: scheme added, fragment dropped
  struct Case {
    const char* name;
    bool failurePlaceholder;
    bool emptyPlaceholder;
    QString want;
  };
  const Case kCases[] = {
      {"source", true, false, u"http://t/loc\nhttp://t/meta\n\n"_s + target + u"\n"_s + failing + u"\n"_s},
      {"none", false, false, u"http://t/loc\nhttp://t/meta\n"_s + target + u"\n"_s},
      {"empty", true, true, u"http://t/loc\nhttp://t/meta\n\n"_s + target + u"\n\n"_s},
  };
  pasteSources({pages_.url("/loc"), pages_.url("/meta"), QString(), pages_.url("/script"),
                pages_.hostAndPort("/none#part")});
  auto* failure = control<QCheckBox>(u"选择框失败占位"_s);
  auto* empty = control<QCheckBox>(u"选择框空占位"_s);
  for (const Case& c : kCases) {
    if (failure->isChecked() != c.failurePlaceholder) clickIndicator(failure);
    if (c.failurePlaceholder && empty->isChecked() != c.emptyPlaceholder) clickIndicator(empty);
    Modals modals;
    answerFailedList(modals);
    failedListShown_.clear();

    EXPECT_EQ(runToEnd(), c.want) << c.name;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failedListShown_.isEmpty(); }, kRunTimeoutMs)) << c.name;
    EXPECT_EQ(modals.otherTitles, QStringList{u"获取跳转失败的地址列表："_s}) << c.name;
    // The empty address fails too, and is listed as an empty line.
    EXPECT_EQ(failedListShown_, QStringList{u"\n"_s + failing + u"\n"_s}) << c.name;
    EXPECT_EQ(startButton()->text(), kIdle) << c.name;
  }

  // The copy button hands the result list over with LF line breaks.
  QTest::mouseClick(control(u"按钮2"_s), Qt::LeftButton);
  EXPECT_EQ(clipboardText(), kCases[2].want);
}

TEST_F(RedirectWindow, LinesWithBlanksResolveAndALineOfAnotherSchemeIsNamedInvalid) {
  const QString ftp = u"ftp://"_s + pages_.hostAndPort("/loc");
  // Pasted with LF line breaks, as Linux programs copy.
  pasteSources({u"  "_s + pages_.url("/loc") + u"\t"_s, ftp, u"\t"_s + pages_.hostAndPort("/meta") + u" "_s},
               u"\n"_s);
  QStringList prompts;
  Modals modals;
  modals.other = [&](QWidget* dialog) {
    prompts << dialog->findChild<QTextEdit*>(u"编辑框提示"_s)->toPlainText();
    failedListShown_ << dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->toPlainText();
    dialog->findChild<QPushButton*>(u"按钮取消"_s)->click();
  };
  EXPECT_EQ(runToEnd(), u"http://t/loc\n"_s + ftp + u"\nhttp://t/meta\n"_s);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !failedListShown_.isEmpty(); }, kRunTimeoutMs));
  EXPECT_EQ(failedListShown_, QStringList{ftp + u"\n"_s});
  EXPECT_EQ(prompts, QStringList{u"其中 1 个地址无效：只能获取 http:// 或 https:// 网址"_s});
  EXPECT_EQ(pages_.agents().size(), 3u) << "the probe of /loc, the probe and the page of /meta; never the ftp line";
}

TEST_F(RedirectWindow, ProgressReadsCountColonIndexAndAStopAbortsTheHeldAddress) {
  pasteSources({pages_.url("/to/1"), pages_.url("/none"), pages_.url("/to/3"), pages_.url("/hold"),
                pages_.url("/to/5")});
  Modals modals;
  answerFailedList(modals);

  QTest::mouseClick(startButton(), Qt::LeftButton);
  EXPECT_TRUE(tool_->running());
  // While the server holds the fourth address, the window shows the third's progress and stays live.
  ASSERT_TRUE(QTest::qWaitFor([&] { return pages_.holding() > 0 && startButton()->text() == u"5:3"_s; },
                              kRunTimeoutMs))
      << startButton()->text().toStdString();
  EXPECT_EQ(results()->toPlainText(), u"http://t/1\n"_s + pages_.url("/none") + u"\nhttp://t/3\n"_s);
  auto* agent = control<QLineEdit>(u"编辑框UA"_s);
  agent->setFocus();
  QTest::keyClick(agent, Qt::Key_End);
  QTest::keyClicks(agent, u"x"_s);
  EXPECT_TRUE(agent->text().endsWith(u'x')) << "the window answers while a request is held";

  QTest::mouseClick(startButton(), Qt::LeftButton);
  EXPECT_EQ(startButton()->text(), u"停止中.."_s);
  ASSERT_TRUE(testing::waitUntilIdle(*tool_));
  EXPECT_GT(pages_.holding(), 0) << "the run waited for the held answer instead of aborting it";
  EXPECT_EQ(startButton()->text(), kIdle);
  EXPECT_EQ(results()->toPlainText(), u"http://t/1\n"_s + pages_.url("/none") + u"\nhttp://t/3\n"_s);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !failedListShown_.isEmpty(); }, kRunTimeoutMs));
  // The aborted address was cut short, not resolved: it is not listed as failed.
  EXPECT_EQ(failedListShown_, QStringList{pages_.url("/none") + u"\n"_s});
}

TEST_F(RedirectWindow, ClosingTheWindowDuringAHeldRequestEndsTheRunAtOnce) {
  pasteSources({pages_.url("/hold"), pages_.url("/to/2")});
  QTest::mouseClick(startButton(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return pages_.holding() > 0; }, kRunTimeoutMs));

  tool_->close();
  tool_.reset();
  EXPECT_GT(pages_.holding(), 0) << "closing waited for the held answer";
  // The source list was saved on the way out.
  store_.SelectSection(fromQString(RedirectTool::stateName()));
  EXPECT_EQ(store_.ReadBytes(fromQString(u"编辑框原地址"_s), ""),
            fromQString(pages_.url("/hold") + u"\r\n"_s + pages_.url("/to/2")));
}

TEST_F(RedirectWindow, ChoosingAnAgentEntryFillsTheAgentBoxAndTheEditedAgentIsSent) {
  auto* choice = control<QComboBox>(u"组合框协议模拟方式"_s);
  auto* agent = control<QLineEdit>(u"编辑框UA"_s);
  choice->setFocus();
  QTest::keyClick(choice, Qt::Key_Down);
  EXPECT_EQ(choice->currentIndex(), 12);
  EXPECT_EQ(agent->text(), toQString(userAgentText(12)));
  QTest::keyClick(choice, Qt::Key_Home);
  EXPECT_EQ(agent->text(), u"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)"_s);

  agent->setFocus();
  agent->selectAll();
  QTest::keyClicks(agent, u"Probe/2.0 (edited)"_s);
  pasteSources({pages_.url("/loc"), pages_.url("/loc")});
  EXPECT_EQ(runToEnd(), u"http://t/loc\nhttp://t/loc\n"_s);
  EXPECT_EQ(pages_.agents(), (std::vector<std::string>{"Probe/2.0 (edited)", "Probe/2.0 (edited)"}));
  EXPECT_EQ(choice->currentIndex(), 0) << "the box is only filled by the choice, never read back";
}

TEST_F(RedirectWindow, SeveralAtOnceGiveTheSequentialResultsInTheSameOrder) {
  QStringList list;
  for (int n = 1; n <= 12; ++n) list << pages_.url("/to/" + std::to_string(n));
  list << QString() << pages_.url("/meta") << pages_.url("/none") << pages_.url("/script");
  pasteSources(list);
  Modals modals;
  answerFailedList(modals);

  const QString sequential = runToEnd();
  ASSERT_EQ(sequential.count(u'\n'), 16);
  EXPECT_TRUE(sequential.startsWith(u"http://t/1\nhttp://t/2\n"_s));

  auto* jobs = control<QSpinBox>(u"编辑框同时获取"_s);
  jobs->setFocus();
  jobs->selectAll();
  QTest::keyClicks(jobs, u"4"_s);
  ASSERT_EQ(jobs->value(), 4);
  EXPECT_EQ(runToEnd(), sequential);
  ASSERT_TRUE(QTest::qWaitFor([&] { return failedListShown_.size() == 2; }, kRunTimeoutMs));
  EXPECT_EQ(failedListShown_[1], failedListShown_[0]);
}

TEST_F(RedirectWindow, AnEmptySourceListClearsTheResultsAndShowsNothing) {
  results()->setPlainText(u"old\nlines"_s);
  sources()->clear();
  Modals modals;  // any dialog fails the test
  EXPECT_EQ(runToEnd(), QString());
  EXPECT_TRUE(modals.otherTitles.isEmpty());
  EXPECT_EQ(startButton()->text(), kIdle);
}

TEST_F(RedirectWindow, ScrollingTheSourceListScrollsTheResultListInStep) {
  QStringList lines;
  for (int i = 1; i <= 200; ++i) lines << pages_.url("/loc");
  pasteSources(lines);
  auto* sourceBar = sources()->verticalScrollBar();
  auto* resultBar = results()->verticalScrollBar();

  sources()->setFocus();
  QTest::keyClick(sources(), Qt::Key_End, Qt::ControlModifier);
  ASSERT_GT(sourceBar->value(), 0);
  EXPECT_EQ(resultBar->value(), 0) << "an empty result list has nowhere to go";

  // Results that arrive afterwards line up with the scrolled source list, and follow it from then on.
  ASSERT_EQ(runToEnd().count(u'\n'), 200);
  ASSERT_TRUE(QTest::qWaitFor([&] { return resultBar->maximum() >= sourceBar->maximum(); }, kRunTimeoutMs));
  EXPECT_EQ(resultBar->value(), sourceBar->value());
  sources()->setFocus();
  QTest::keyClick(sources(), Qt::Key_PageUp);
  QTest::keyClick(sources(), Qt::Key_PageUp);
  EXPECT_LT(sourceBar->value(), sourceBar->maximum());
  EXPECT_EQ(resultBar->value(), sourceBar->value());
  // The scroll bar's own arrows, as a mouse uses them.
  const int before = sourceBar->value();
  sourceBar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  ASSERT_EQ(sourceBar->value(), before - 1);
  EXPECT_EQ(resultBar->value(), before - 1);
}

TEST_F(RedirectWindow, ListsAgentAndOptionsSurviveClosingAndReopening) {
  const QString list = u"http://例子.测试/一\r\n\r\nhttp://b.test/二"_s;
  pasteSources(list.split(u"\r\n"_s));
  results()->setPlainText(u"结果一\n结果二"_s);
  auto* choice = control<QComboBox>(u"组合框协议模拟方式"_s);
  choice->setFocus();
  QTest::keyClick(choice, Qt::Key_Up);
  auto* agent = control<QLineEdit>(u"编辑框UA"_s);
  agent->setFocus();
  agent->selectAll();
  QTest::keyClicks(agent, u"Hand/1.0"_s);
  clickIndicator(control(u"选择框扩展模式"_s));
  clickIndicator(control(u"选择框空占位"_s));
  clickIndicator(control(u"选择框失败占位"_s));
  control<QSpinBox>(u"编辑框同时获取"_s)->setValue(5);

  tool_->close();
  tool_.reset();
  store_.release();
  ASSERT_TRUE(store_.Bind(valuePath_));
  openWindow();

  EXPECT_EQ(withCrLf(sources()->toPlainText()), list);
  EXPECT_EQ(results()->toPlainText(), u"结果一\n结果二"_s);
  EXPECT_EQ(control<QComboBox>(u"组合框协议模拟方式"_s)->currentIndex(), 10);
  EXPECT_EQ(control<QLineEdit>(u"编辑框UA"_s)->text(), u"Hand/1.0"_s) << "a kept agent is not replaced by the choice";
  EXPECT_TRUE(control<QCheckBox>(u"选择框扩展模式"_s)->isChecked());
  EXPECT_FALSE(control<QCheckBox>(u"选择框失败占位"_s)->isChecked());
  EXPECT_TRUE(control<QCheckBox>(u"选择框空占位"_s)->isChecked());
  EXPECT_FALSE(control(u"选择框空占位"_s)->isEnabled());
  EXPECT_EQ(control<QSpinBox>(u"编辑框同时获取"_s)->value(), 5);
  // The lists are kept as raw bytes, apart from the value file.
  store_.SelectSection(fromQString(RedirectTool::stateName()));
  EXPECT_EQ(store_.ReadBytes(fromQString(u"编辑框原地址"_s), ""), fromQString(list));
  EXPECT_FALSE(toQString(store_.text()).contains(u"http://b.test"_s));
  EXPECT_TRUE(toQString(store_.text()).contains(u"编辑框UA=Hand/1.0"_s));
}

TEST_F(RedirectWindow, FollowingTakesTheWholeChainAndTheFailedListShowsWhyWithTheChainsToCopy) {
  pasteSources({pages_.url("/chain/a"), QString(), pages_.url("/loop"), pages_.url("/gone")});
  auto* follow = control<QCheckBox>(u"选择框跟随多次跳转"_s);
  ASSERT_NE(follow, nullptr);
  EXPECT_EQ(testing::shownText(follow), u"跟随多次跳转"_s);
  EXPECT_FALSE(follow->isChecked());
  auto* copyChains = control<QPushButton>(u"按钮复制跳转链"_s);
  EXPECT_FALSE(copyChains->isEnabled()) << "no chains before a run";

  QStringList bodies, notes;
  Modals modals;
  modals.other = [&](QWidget* dialog) {
    bodies << dialog->findChild<QPlainTextEdit*>(u"编辑框正文"_s)->toPlainText();
    auto* box = dialog->findChild<QPlainTextEdit*>(u"编辑框说明"_s);
    notes << (box != nullptr ? box->toPlainText() : u"(none)"_s);
    EXPECT_EQ(box != nullptr ? box->accessibleName() : QString(), u"失败原因："_s);
    dialog->findChild<QPushButton*>(u"按钮取消"_s)->click();
  };
  const QString loop = pages_.url("/loop"), gone = pages_.url("/gone");
  struct Case {
    const char* name;
    bool loose, follow;
    QString want;
    QString wantFailed, wantNotes, wantChains;
  };
  const Case kCases[] = {
      // As always: one hop; only the page that is gone fails, and says why.
      {"neither", false, false, pages_.url("/chain/b") + u"\n\n"_s + loop + u"\n"_s + gone + u"\n"_s,
       u"\n"_s + gone + u"\n"_s, u"（空行）\t地址为空\n"_s + gone + u"\tHTTP 404\n"_s,
       pages_.url("/chain/a") + u"\t301 "_s + pages_.url("/chain/b") + u"\n\t失败：地址为空\n"_s + loop + u"\t302 "_s +
           loop + u"\n"_s + gone + u"\t失败：HTTP 404\n"_s},
      {"both", true, true,
       pages_.url("/chain/end?a=1&b=2") + u"\n\n"_s + loop + u"\n"_s + gone + u"\n"_s,
       u"\n"_s + loop + u"\n"_s + gone + u"\n"_s,
       u"（空行）\t地址为空\n"_s + loop + u"\t跳转循环\n"_s + gone + u"\tHTTP 404\n"_s,
       pages_.url("/chain/a") + u"\t301 "_s + pages_.url("/chain/b") + u"\tRefresh "_s + pages_.url("/chain/c") +
           u"\tscript "_s + pages_.url("/chain/end?a=1&b=2") + u"\n\t失败：地址为空\n"_s + loop + u"\t302 "_s + loop +
           u"\t失败：跳转循环\n"_s + gone + u"\t失败：HTTP 404\n"_s},
  };
  for (const Case& c : kCases) {
    auto* loose = control<QCheckBox>(u"选择框扩展模式"_s);
    if (loose->isChecked() != c.loose) clickIndicator(loose);
    if (follow->isChecked() != c.follow) clickIndicator(follow);
    bodies.clear();
    notes.clear();
    EXPECT_EQ(runToEnd(), c.want) << c.name;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bodies.isEmpty(); }, kRunTimeoutMs)) << c.name;
    EXPECT_EQ(bodies, QStringList{c.wantFailed}) << c.name << ": the list stays a plain list of addresses";
    EXPECT_EQ(notes, QStringList{c.wantNotes}) << c.name;
    ASSERT_TRUE(copyChains->isEnabled()) << c.name;
    QTest::mouseClick(copyChains, Qt::LeftButton);
    EXPECT_EQ(clipboardText(), c.wantChains) << c.name;
  }

  // The choice to follow is kept with the other states.
  tool_->close();
  tool_.reset();
  store_.release();
  ASSERT_TRUE(store_.Bind(valuePath_));
  openWindow();
  EXPECT_TRUE(control<QCheckBox>(u"选择框跟随多次跳转"_s)->isChecked());
  store_.SelectSection(fromQString(RedirectTool::stateName()));
  EXPECT_TRUE(toQString(store_.text()).contains(u"选择框跟随多次跳转=1"_s)) << toQString(store_.text()).toStdString();
}

}  // namespace
}  // namespace chengling
