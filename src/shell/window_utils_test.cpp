#include "shell/window_utils.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

TEST(WaitWithEvents, CountsTenMillisecondPassesAndHonoursTheFlag) {
  bool stop = true;
  EXPECT_EQ(WaitWithEvents(500, stop), 0);

  stop = false;
  EXPECT_EQ(WaitWithEvents(30, stop), 3);
  EXPECT_EQ(WaitWithEvents(35, stop), 4);
  EXPECT_EQ(WaitWithEvents(0, stop), 0);

  // An event handled during the wait sets the flag: the wait ends after that pass.
  QTimer::singleShot(0, [&stop] { stop = true; });
  EXPECT_EQ(WaitWithEvents(500, stop), 1);
}

TEST(FlashCaption, ShowsTheTransientCaptionDuringTheWaitThenTheResting) {
  QPushButton button(u"复制"_s);
  QString during;
  QTimer::singleShot(0, &button, [&] { during = button.text(); });
  FlashCaption(&button, u"已复制"_s, u"复制"_s);
  EXPECT_EQ(during, u"已复制"_s);
  EXPECT_EQ(button.text(), u"复制"_s);

  // The control may go away while the caption flashes.
  auto* doomed = new QPushButton(u"文件列表"_s);
  QTimer::singleShot(0, [doomed] { delete doomed; });
  FlashCaption(doomed, u"已拖入"_s, u"文件列表"_s);
}

TEST(ProgressOverlay, LabelSitsInsideTheBarAndFollowsIt) {
  QWidget window;
  auto* bar = new QProgressBar(&window);
  bar->setObjectName(u"进度条"_s);
  bar->setGeometry(20, 300, 400, 24);
  auto* label = new QLabel(u"状态"_s, &window);
  label->setObjectName(u"透明标签"_s);
  label->setGeometry(0, 0, 50, 10);
  window.show();
  ASSERT_TRUE(attachProgressOverlay(&window));
  EXPECT_EQ(label->parentWidget(), bar);
  EXPECT_EQ(label->geometry(), QRect(10, 0, 390, 24));
  bar->resize(600, 30);
  EXPECT_EQ(label->geometry(), QRect(10, 0, 590, 30));

  QWidget lacking;
  new QProgressBar(&lacking);
  EXPECT_FALSE(attachProgressOverlay(&lacking));
}

}  // namespace
}  // namespace chengling
