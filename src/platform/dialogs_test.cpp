#include "platform/dialogs.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

TEST(Dialogs, FilterListsBecomeQtFilters) {
  struct Case {
    QString list;
    QString want;
  };
  const Case kCases[] = {
      {u"TXT文档(*.txt)|*.txt|HTML文档(*.htm;*.html)|*.htm;*.html|所有文件(*.*)|*.*"_s,
       u"TXT文档 (*.txt);;HTML文档 (*.htm *.html);;所有文件 (*)"_s},
      {u"文本和网页文件|*.txt;*.htm;*.html|全部文件|*.*"_s, u"文本和网页文件 (*.txt *.htm *.html);;全部文件 (*)"_s},
      {u"csv文件|*.csv"_s, u"csv文件 (*.csv)"_s},
      {u"无模式|"_s, u"无模式 (*)"_s},
      {u"落单的描述"_s, QString()},
      {QString(), QString()},
  };
  for (const Case& c : kCases) EXPECT_EQ(qtFilterFromList(c.list), c.want) << c.list.toStdString();
}

}  // namespace
}  // namespace chengling
