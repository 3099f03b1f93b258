#include "support/window_test_kit.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QTest>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace chengling::testing {

Modals::Modals() { QTimer::singleShot(5, this, &Modals::poll); }

void Modals::next(Action action) { actions_.push_back(std::move(action)); }

void Modals::poll() {
  // A fresh timer for every pass: an action may open a nested modal window, and a timer does not
  // fire again while its own call runs.
  QTimer::singleShot(5, this, &Modals::poll);
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || !modal->isVisible() || modal->property("answered").toBool()) return;
  modal->setProperty("answered", true);
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    texts << box->text();
    QStringList captions;
    for (QAbstractButton* button : box->buttons()) captions << button->text();
    buttonTexts << captions.join(u'|');
  } else {
    otherTitles << modal->windowTitle();
  }
  handle(modal);
}

void Modals::handle(QWidget* modal) {
  if (!actions_.empty()) {
    Action action = std::move(actions_.front());
    actions_.pop_front();
    action(modal);
    return;
  }
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    int answer = box->button(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::No;
    if (answerBox) answer = answerBox(box->text());
    clickInMessageBox(answer)(box);
    return;
  }
  if (other) {
    other(modal);
    return;
  }
  ADD_FAILURE() << "unexpected window: " << modal->windowTitle().toStdString();
  modal->close();
}

Modals::Action clickInMessageBox(int button) {
  return [button](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr) << modal->windowTitle().toStdString();
    QAbstractButton* choice = box->button(static_cast<QMessageBox::StandardButton>(button));
    if (choice == nullptr) {
      ADD_FAILURE() << "no such answer to: " << box->text().toStdString();
      choice = box->buttons().constFirst();
    }
    choice->click();
  };
}

Modals::Action pickInFileDialog(QStringList paths) {
  return [paths](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr) << modal->windowTitle().toStdString();
    if (paths.isEmpty()) {
      dialog->reject();
      return;
    }
    if (paths.size() == 1) {
      dialog->selectFile(paths.constFirst());
    } else {
      QStringList quoted;
      for (const QString& path : paths) quoted << u'"' + QFileInfo(path).fileName() + u'"';
      dialog->setDirectory(QFileInfo(paths.constFirst()).absolutePath());
      dialog->selectFile(quoted.join(u' '));
    }
      // accept() is a slot: it checks the choice as a click on the dialog's own button would.
    QMetaObject::invokeMethod(dialog, "accept");
  };
}

OpenedPaths::OpenedPaths() { QDesktopServices::setUrlHandler(u"file"_s, this, "open"); }
OpenedPaths::~OpenedPaths() { QDesktopServices::unsetUrlHandler(u"file"_s); }
void OpenedPaths::open(const QUrl& url) { paths << url.toLocalFile(); }

bool dropPaths(QWidget* target, const std::vector<std::string>& paths, Qt::KeyboardModifiers modifiers) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const std::string& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path));
  mime.setUrls(urls);
  const QPointF at(target->width() / 2.0, target->height() / 2.0);
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, modifiers);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent dropped(at, Qt::CopyAction, &mime, Qt::LeftButton, modifiers);
  QApplication::sendEvent(target, &dropped);
  return dropped.isAccepted();
}

void clickIndicator(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2)); }

void clickWith(QWidget* widget, Qt::MouseButton button) { QTest::mouseClick(widget, button); }

QString shownText(const QWidget* control) {
  if (const auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
  if (const auto* box = qobject_cast<const QLineEdit*>(control)) return box->text();
  if (const auto* label = qobject_cast<const QLabel*>(control)) return label->text();
  return {};
}

}  // namespace chengling::testing
