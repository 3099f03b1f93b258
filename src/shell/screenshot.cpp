#include "shell/screenshot.h"

#include <QApplication>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace chengling {

void scheduleScreenshot(QWidget* window, const QString& path, int delayMs) {
  QPointer<QWidget> target(window);
  QTimer::singleShot(delayMs, window, [target, path] {
    const bool saved = target && target->grab().save(path, "PNG");
    if (!saved) std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(path));
    if (target) target->close();
    QCoreApplication::exit(saved ? 0 : 1);
  });
}

}  // namespace chengling
