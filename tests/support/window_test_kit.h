#pragma once
// The window-test kit: answering the modal windows a tool opens, choosing in its file dialogs,
// dropping paths on it, clicking its check boxes and radio buttons, and catching what it hands to
// the desktop. For tests on the offscreen platform (see gui_test_main.cpp).

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <Qt>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class QUrl;
class QWidget;

namespace chengling::testing {

// Answers every modal window that opens while it lives, in the order they open. A window is handed
// to the oldest action queued with next(); without one, a message box gets OK where it has one,
// else No (so that no file manager starts), or `answerBox`'s choice when set, and any other modal
// window goes to `other`, or fails the test and is closed when `other` is not set. Message box texts and the titles of other windows are
// recorded. An action may open further modal windows; they are answered in turn.
class Modals : public QObject {
 public:
  using Action = std::function<void(QWidget* modal)>;
  // Chooses the button of a message box from its text (a QMessageBox::StandardButton).
  std::function<int(const QString& text)> answerBox;
  Action other;
  QStringList texts;         // texts of the message boxes, in order
  QStringList otherTitles;   // titles of the other modal windows, in order

  Modals();
  // Queues `action` for the next modal window not yet handled.
  void next(Action action);
  // Texts of the buttons of every message box seen, in order (a box's buttons joined by "|").
  QStringList buttonTexts;

 private:
  void poll();
  void handle(QWidget* modal);

  std::deque<Action> actions_;
};

// An action for Modals::next: picks `paths` (native) in a file dialog, or cancels it when `paths`
// is empty; a folder dialog takes one folder.
Modals::Action pickInFileDialog(QStringList paths);
// An action that clicks the message box button `button` (a QMessageBox::StandardButton).
Modals::Action clickInMessageBox(int button);

// Catches what the window hands to the desktop's "open" for local files and folders.
class OpenedPaths : public QObject {
  Q_OBJECT

 public:
  OpenedPaths();
  ~OpenedPaths() override;
  QStringList paths;  // local paths, native

 public slots:
  void open(const QUrl& url);
};

// Drags `paths` (native) over `target` and drops them there with `modifiers` held, as a file
// manager would. Returns whether the drop was taken. Delivery is queued: wait for its effect.
bool dropPaths(QWidget* target, const std::vector<std::string>& paths,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// A click on the indicator of a check box or radio button (a wide one only reacts near its text).
void clickIndicator(QWidget* button);

// A press and release of `button` (mouse button) at the centre of `widget`.
void clickWith(QWidget* widget, Qt::MouseButton button);

}  // namespace chengling::testing
