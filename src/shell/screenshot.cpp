#include "shell/screenshot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace chengling {

namespace {

// The window with every pop-up that is open over it, as the screen shows them.
QPixmap screenPicture(QWidget* window) {
  QRect area = window->frameGeometry();
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->isVisible() && qobject_cast<QMenu*>(top)) area = area.united(top->geometry());
  }
  QScreen* screen = window->screen();
  return screen ? screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()) : QPixmap();
}

}  // namespace

void scheduleScreenshot(QWidget* window, const QString& path, int delayMs, const QString& clickFirst) {
  QPointer<QWidget> target(window);
  if (!clickFirst.isEmpty()) {
    QTimer::singleShot(delayMs / 2, window, [target, clickFirst] {
      if (!target) return;
      for (QAbstractButton* button : target->findChildren<QAbstractButton*>(clickFirst)) {
        if (!button->isVisible()) continue;
        // Where a user's pointer would be: a menu that opens at the pointer opens by the button.
        QCursor::setPos(button->mapToGlobal(button->rect().center()));
        button->click();
      }
    });
  }
  QTimer::singleShot(delayMs, window, [target, path, clickFirst] {
    const QPixmap picture = !target ? QPixmap() : clickFirst.isEmpty() ? target->grab() : screenPicture(target);
    const bool saved = !picture.isNull() && picture.save(path, "PNG");
    if (!saved) std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(path));
    if (target) target->close();
    QCoreApplication::exit(saved ? 0 : 1);
  });
}

}  // namespace chengling
