#include "shell/tool_tip.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

void hover(QWidget* host) {
  QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), host->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(host, &event);
}

TEST(ToolTip, CreateOnceThenOneTextPerHost) {
  ToolTip tip;
  QWidget host;
  host.resize(200, 100);
  host.show();

  tip.AddTool(&host, u"太早"_s, false);  // before Create: nothing
  hover(&host);
  EXPECT_EQ(tip.window(), nullptr);

  QWidget* window = tip.Create(true, true);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(tip.Create(false, false), window);
  EXPECT_EQ(window->maximumWidth(), 1024);
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  hover(&host);
  EXPECT_TRUE(tip.shownText().isEmpty()) << "a tool added before Create must not exist";

  tip.AddTool(&host, u"单元格全文"_s, true);
  hover(&host);
  EXPECT_EQ(tip.shownText(), u"单元格全文"_s);
  tip.AddTool(&host, u"新文本"_s, true);
  hover(&host);
  EXPECT_EQ(tip.shownText(), u"新文本"_s);

  tip.RemoveTool(&host);
  EXPECT_TRUE(tip.shownText().isEmpty());
  hover(&host);
  EXPECT_TRUE(tip.shownText().isEmpty());
  tip.RemoveTool(&host);  // not registered: nothing happens
}

}  // namespace
}  // namespace chengling
