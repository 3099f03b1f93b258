#include "platform/clipboard.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

#include <string>

#include "platform/qt_text.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

QString onClipboard() { return QGuiApplication::clipboard()->text(); }

TEST(Clipboard, TextPutOnItHasLfLineBreaks) {
  struct Case {
    QString text;
    QString want;
  };
  const Case kCases[] = {
      {u"甲\r\n乙\r\n"_s, u"甲\n乙\n"_s},
      {u"a\r\n\r\nb"_s, u"a\n\nb"_s},
      {u"already\nlf\n"_s, u"already\nlf\n"_s},
      {u"mixed\r\nand\nlf"_s, u"mixed\nand\nlf"_s},
      {u"a lone\rcr stays"_s, u"a lone\rcr stays"_s},
      {u"one line"_s, u"one line"_s},
  };
  for (const Case& c : kCases) {
    QGuiApplication::clipboard()->clear();
    setClipboardText(c.text);
    EXPECT_EQ(onClipboard(), c.want) << c.text.toStdString();

    // Internal text (the table's copy) goes through the same conversion.
    QGuiApplication::clipboard()->clear();
    writeClipboard(fromQString(c.text));
    EXPECT_EQ(onClipboard(), c.want) << c.text.toStdString();
  }
}

}  // namespace
}  // namespace chengling
