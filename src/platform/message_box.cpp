#include "platform/message_box.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

QMessageBox::Icon qtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::None: return QMessageBox::NoIcon;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButton run(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon,
                                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton fallback) {
  QMessageBox box(qtIcon(icon), caption.isEmpty() ? u"信息："_s : caption, text, buttons, owner);
  box.setObjectName(QString::fromLatin1(kMessageBoxName));
  box.setWindowModality(Qt::ApplicationModal);
  box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  // Chinese whatever the locale and whether Qt's translations are installed.
  const std::pair<QMessageBox::StandardButton, QString> kCaptions[] = {
      {QMessageBox::Ok, u"确定"_s}, {QMessageBox::Cancel, u"取消"_s},
      {QMessageBox::Yes, u"是"_s}, {QMessageBox::No, u"否"_s}};
  for (const auto& [button, caption] : kCaptions) {
    if (QAbstractButton* shown = box.button(button)) shown->setText(caption);
  }
  const int answer = box.exec();
  return answer == 0 ? fallback : static_cast<QMessageBox::StandardButton>(answer);
}

}  // namespace

void showMessage(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
  run(owner, text, caption, icon, QMessageBox::Ok, QMessageBox::Ok);
}

bool askYesNo(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
  return run(owner, text, caption, icon, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

bool askOkCancel(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
  return run(owner, text, caption, icon, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

}  // namespace chengling
