#include "shell/start_button.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <optional>
#include <string>

#include "platform/qt_text.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

const StartCaptions kMerge{u"开始合并（选择文件夹）..     "_s, u"正在合并，点击停止"_s, u"正在停止中     "_s};

TEST(StartButton, IdleOnlyWithTheExactIdleCaption) {
  struct Case {
    QString caption;
    bool idle;
  };
  const Case kCases[] = {
      {u"开始合并（选择文件夹）..     "_s, true},
      {u"开始合并（选择文件夹）.."_s, false},
      {u"开始合并（选择文件夹）..    "_s, false},
      {u"正在停止中     "_s, false},
      {u"正在合并，点击停止"_s, false},
  };
  QPushButton button;
  EngineRunner runner;
  StartButton start(&button, kMerge, &runner);
  for (const Case& c : kCases) {
    button.setText(c.caption);
    EXPECT_EQ(start.isIdle(), c.idle) << c.caption.toStdString();
    EXPECT_EQ(isIdleCaption(&button, kMerge.idle), c.idle) << c.caption.toStdString();
  }
  button.setText(kMerge.idle);
  EXPECT_FALSE(start.stopIfRunning());
  EXPECT_EQ(button.text(), kMerge.idle);
}

// A work loop of 100 items; each item waits until the test lets it finish.
struct GatedJob {
  QSemaphore gate;
  std::atomic<int> itemsDone{0};
  std::atomic<bool> onWorker{false};

  EngineRunner::Job job() {
    return [this](RunContext& ctx) {
      onWorker = QThread::currentThread() != qApp->thread();
      ctx.phase("phase");
      for (int i = 0; i < 100; ++i) {
        if (ctx.checkpoint()) break;
        gate.acquire();
        ++itemsDone;
        ctx.progress(i + 1, 100);
        ctx.status("item " + std::to_string(i + 1));
      }
    };
  }
};

TEST(StartButton, SecondClickShowsStoppingCaptionAndRunEndsAtNextItem) {
  QPushButton button(kMerge.idle);
  QPushButton sibling(u"开始分割（选择文件）.."_s);
  EngineRunner runner;
  StartButton start(&button, kMerge, &runner);
  start.setSiblings({&sibling});
  GatedJob work;
  std::optional<bool> stoppedSeen;
  QStringList statuses;
  QList<qint64> positions;
  bool signalsOnWindowThread = true;
  QObject::connect(&runner, &EngineRunner::status, &button, [&](const QString& text) {
    statuses << text;
    signalsOnWindowThread = signalsOnWindowThread && QThread::currentThread() == qApp->thread();
  });
  QObject::connect(&runner, &EngineRunner::progress, &button, [&](qint64 position, qint64) { positions << position; });
  QObject::connect(&button, &QPushButton::clicked, &button, [&] {
    if (start.stopIfRunning()) return;
    start.run(work.job(), [&](bool stopped) { stoppedSeen = stopped; });
  });
  QSignalSpy finished(&runner, &EngineRunner::finished);

  button.click();
  EXPECT_EQ(button.text(), kMerge.running);
  EXPECT_FALSE(sibling.isEnabled());
  EXPECT_FALSE(runner.start([](RunContext&) {})) << "a second run must be refused";

  work.gate.release();  // item 1 ends; item 2 starts and waits
  ASSERT_TRUE(QTest::qWaitFor([&] { return statuses.contains(u"item 1"_s); }));

  button.click();
  EXPECT_EQ(button.text(), kMerge.stopping);
  button.click();
  EXPECT_EQ(button.text(), kMerge.stopping);
  EXPECT_TRUE(finished.isEmpty());

  work.gate.release();  // the item in progress finishes, then the stop takes effect
  ASSERT_TRUE(finished.wait(5000));
  EXPECT_EQ(work.itemsDone.load(), 2);
  EXPECT_TRUE(work.onWorker.load());
  EXPECT_EQ(button.text(), kMerge.idle);
  EXPECT_TRUE(sibling.isEnabled());
  ASSERT_TRUE(stoppedSeen.has_value());
  EXPECT_TRUE(*stoppedSeen);
  EXPECT_EQ(statuses.last(), u"item 2"_s);
  EXPECT_EQ(positions.last(), 2);
  EXPECT_TRUE(signalsOnWindowThread);

  // The next run starts with a clear stop request and runs to its end.
  work.itemsDone = 0;
  work.gate.release(100);
  button.click();
  ASSERT_TRUE(finished.wait(5000));
  EXPECT_EQ(work.itemsDone.load(), 100);
  EXPECT_FALSE(*stoppedSeen);
}

// A run that reports at every one of thousands of items a second reaches the window at a pace it
// can paint: no more deliveries than the pacing interval allows over the run, the first at once and
// the last values exactly the run's last.
TEST(EngineRunner, ReportsReachTheWindowPacedWithTheFirstAndTheLast) {
  EngineRunner runner;
  int progressSeen = 0;
  int statusSeen = 0;
  int phaseSeen = 0;
  qint64 lastPosition = -1;
  QString lastStatus;
  QString lastPhase;
  QObject::connect(&runner, &EngineRunner::progress, &runner, [&](qint64 position, qint64) {
    ++progressSeen;
    lastPosition = position;
  });
  QObject::connect(&runner, &EngineRunner::status, &runner, [&](const QString& text) {
    ++statusSeen;
    lastStatus = text;
  });
  QObject::connect(&runner, &EngineRunner::phase, &runner, [&](const QString& text) {
    ++phaseSeen;
    lastPhase = text;
  });
  QSignalSpy finished(&runner, &EngineRunner::finished);
  std::atomic<bool> firstSeen{false};
  std::atomic<int64_t> items{0};
  QElapsedTimer clock;
  clock.start();
  // Items as fast as the worker can go for a quarter of a second; the first waits until the
  // window has shown its report, which must not wait for a pacing interval.
  ASSERT_TRUE(runner.start([&](RunContext& ctx) {
    ctx.progress(0, 1);
    ctx.status("item 0");
    ctx.phase("phase 0");
    while (!firstSeen.load()) QThread::usleep(100);
    QElapsedTimer running;
    running.start();
    int64_t i = 0;
    while (running.elapsed() < 250) {
      ++i;
      ctx.progress(i, i + 1);
      ctx.status("item " + std::to_string(i));
      ctx.phase("phase " + std::to_string(i));
    }
    items = i;
  }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return progressSeen == 1 && statusSeen == 1 && phaseSeen == 1; }));
  EXPECT_EQ(lastStatus, u"item 0"_s);
  firstSeen = true;
  ASSERT_TRUE(finished.wait(10000));
  const qint64 elapsed = clock.elapsed();
  ASSERT_GT(items.load(), 1000) << "the worker reported too few items to tell a pace";
  // The timer may fire a little early; beside the first and the last, one delivery per interval.
  const qint64 allowed = elapsed * 10 / (9 * EngineRunner::kDeliveryIntervalMs) + 2;
  EXPECT_LE(progressSeen, allowed) << "over " << elapsed << " ms";
  EXPECT_LE(statusSeen, allowed) << "over " << elapsed << " ms";
  EXPECT_LE(phaseSeen, allowed) << "over " << elapsed << " ms";
  EXPECT_EQ(lastPosition, items.load());
  EXPECT_EQ(lastStatus, u"item "_s + QString::number(items.load()));
  EXPECT_EQ(lastPhase, u"phase "_s + QString::number(items.load()));
}

TEST(EngineRunner, DestroyingARunningRunnerStopsAndWaits) {
  std::atomic<int> items{0};
  {
    EngineRunner runner;
    ASSERT_TRUE(runner.start([&items](RunContext& ctx) {
      while (!ctx.checkpoint()) {
        ++items;
        QThread::msleep(1);
      }
    }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return items.load() > 0; }));
  }
  const int after = items.load();
  // A worker still at work would count on within a few milliseconds.
  EXPECT_FALSE(QTest::qWaitFor([&] { return items.load() != after; }, 20));
}

}  // namespace
}  // namespace chengling
