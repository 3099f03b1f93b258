#pragma once
// The window-test kit: answering the modal windows a tool opens, choosing in its file dialogs,
// dropping paths on it, clicking its check boxes and radio buttons, and catching what it hands to
// the desktop. For tests on the offscreen platform (see gui_test_main.cpp).

#include <gtest/gtest.h>

#include <QApplication>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTest>
#include <QStringList>
#include <QTimer>
#include <Qt>

#include <deque>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "foundation/native_text.h"
#include "shell/settings_store.h"
#include "support/test_support.h"

class QUrl;
class QWidget;

// A failed expectation prints a QString as its text, not as its UTF-16 code units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

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

// Long enough for any run of a window test, short enough to end a hung one.
inline constexpr int kRunTimeoutMs = 120000;

// Waits until `tool` has no run active and no modal window is open, so that whatever the end of its
// run shows (questions, messages, the details dialog) has been shown and answered; and until `also`
// holds, when given. False when that takes longer than kRunTimeoutMs.
//   ASSERT_TRUE(waitUntilIdle(*tool_, [&] { return modals.texts.size() >= 2; }));
template <typename Tool>
[[nodiscard]] bool waitUntilIdle(const Tool& tool, const std::function<bool()>& also = {}) {
  return QTest::qWaitFor(
      [&] { return (!also || also()) && !tool.running() && QApplication::activeModalWidget() == nullptr; },
      kRunTimeoutMs);
}

// A native path as Qt shows it.
inline QString native(const std::string& path) { return QString::fromStdString(path); }

// The control of `window` named `name`; fails the test and gives null when there is none.
template <typename T = QWidget>
T* findControl(QWidget* window, const QString& name) {
  T* found = window->findChild<T*>(name);
  EXPECT_NE(found, nullptr) << name.toStdString();
  return found;
}

// The text a control shows: a button's caption, an edit box's text, a label's text; empty otherwise.
QString shownText(const QWidget* control);

// A tool window made as the main window makes it, over a settings store of its own, shown at the
// size of the main window's page; `dir_` is a scratch folder for the files of the test.
template <typename Tool>
class ToolWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    valuePath_ = internalFromNative(settingsDir_.path()) + "/" + SettingsStore::valueFileName();
    ASSERT_TRUE(store_.Bind(valuePath_));
    openWindow();
  }

  // Makes the window (again: the state saved on close comes back).
  void openWindow() {
    tool_ = std::make_unique<Tool>(store_);
    tool_->resize(pageSize_);
    tool_->show();
    // Keyboard focus and the caret follow only in the active window.
    tool_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(tool_.get()));
  }

  template <typename T = QWidget>
  T* control(const QString& name) {
    return findControl<T>(tool_.get(), name);
  }

  QSize pageSize_{972, 528};
  TempDir settingsDir_;
  TempDir dir_;
  std::string valuePath_;
  SettingsStore store_;
  std::unique_ptr<Tool> tool_;
};

}  // namespace chengling::testing
