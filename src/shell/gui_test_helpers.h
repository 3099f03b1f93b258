#pragma once
// Helpers of the shell's window tests: answering modal windows that a test itself opens.

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace chengling::testing {

// Runs `action` with the next modal window that opens (a dialog or a message box), once the event
// loop of that window is running.
inline void onNextModal(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QPointer<QWidget> before = QApplication::activeModalWidget();
  QObject::connect(timer, &QTimer::timeout, timer, [timer, action, before] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == before || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    action(modal);
  });
  timer->start();
}

}  // namespace chengling::testing
