#include "platform/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include "platform/qt_text.h"

namespace chengling {

QString clipboardText() {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  return clipboard ? clipboard->text() : QString();
}

void setClipboardText(const QString& text) {
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(withLf(text));
}

std::string readClipboard() { return fromQString(clipboardText()); }

void writeClipboard(std::string_view text) { setClipboardText(toQString(text)); }

}  // namespace chengling
