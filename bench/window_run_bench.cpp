// A tool window's run measured as a user drives it, on Qt's offscreen platform:
//   window_run_bench transcode-folder FOLDER   " 批量转换(文件夹方式)", FOLDER chosen in its dialog
//   window_run_bench transcode-file FILE       "批量转换", FILE chosen in its dialog
//   window_run_bench classify FOLDER copy|move FOLDER chosen with "..", "保留原文件" ticked (copy) or
//                                              not (move), then "立即执行归类"
//   window_run_bench split FILE PIECES         "按份数" with PIECES typed, then "开始分割（选择文件）..",
//                                              FILE chosen in its dialog
// The options are each page's defaults otherwise (detection to UTF-8 with a mark; the template
// "[父目录路径]/[批次名]/[文件名]" with batches of 100; pieces into a folder beside the file). Every
// question at the end is answered No and every dialog closed, so nothing opens on the desktop.
//
// Prints one line: the seconds from the user's last act (the choice in the dialog, or the click on
// the start button) to the end of the run, the longest gap in milliseconds between the ticks of a
// 5 ms timer on the window thread while the run went (from the return of the click that started it,
// after any dialog has closed, to the end), and how many times the progress bar's value,
// the status label's text and the start button's caption changed meanwhile.
// window_run_bench.sh runs it against chengling-cli.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "foundation/native_text.h"
#include "shell/engine_runner.h"
#include "shell/run_panel.h"
#include "shell/settings_store.h"
#include "tools/classify/classify_window.h"
#include "tools/split_merge/split_merge_window.h"
#include "tools/transcode/transcode_window.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using chengling::EngineRunner;
using chengling::RunPanel;

[[noreturn]] void fail(const QString& why) {
  std::fprintf(stderr, "window_run_bench: %s\n", why.toLocal8Bit().constData());
  std::exit(1);
}

template <typename T = QWidget>
T* control(QWidget* window, const QString& name) {
  T* found = window->findChild<T*>(name);
  if (found == nullptr) fail(u"no control "_s + name);
  return found;
}

// What the harness watches over one run: the clock, the gaps between ticks and the changes shown.
class Watch : public QObject {
 public:
  Watch(QWidget* window, QAbstractButton* start) : window_(window), start_(start) {
    panel_ = window->findChild<RunPanel*>();
    if (panel_ == nullptr || panel_->progressBar() == nullptr) fail(u"no run panel with a progress bar"_s);
    bar_ = panel_->progressBar();
    label_ = panel_->statusLabel();
    // Connected before any run starts: the end is taken before the window's own end of run, which
    // may open a modal dialog inside the same delivery.
    connect(panel_->runner(), &EngineRunner::finished, this, [this] { end(); });
    connect(bar_, &QProgressBar::valueChanged, this, [this] {
      if (measuring_) ++barChanges_;
    });
    // Right after the panel shows them: every delivery is looked at.
    for (auto signal : {&EngineRunner::status, &EngineRunner::phase}) {
      connect(panel_->runner(), signal, this, [this] { sample(); });
    }
    ticks_.setTimerType(Qt::PreciseTimer);
    ticks_.setInterval(5);
    connect(&ticks_, &QTimer::timeout, this, [this] { tick(); });
    ticks_.start();
  }

  // The user's last act before the run: the clock starts.
  void begin() {
    measuring_ = true;
    ended_ = false;
    clock_.start();
    lastLabel_ = label_->text();
    lastCaption_ = start_->text();
  }
  // The start click has been handled (a dialog it opened has closed): the run goes, and from here
  // on every gap between ticks is a pause the user would see.
  void running() {
    lastTick_ = clock_.nsecsElapsed();
    gaps_ = true;
  }
  bool ended() const { return ended_; }

  // Answers the modal windows: `choose` for the file or folder dialog, No or OK for a message box,
  // and any other dialog (a summary, the details) closed.
  std::function<void(QFileDialog*)> choose;

  void print() const {
    std::printf("%.6f %.3f %d %d %d\n", seconds_, longestGapNs_ / 1e6, barChanges_, labelChanges_, captionChanges_);
  }

 private:
  void tick() {
    if (measuring_ && gaps_) {
      const qint64 now = clock_.nsecsElapsed();
      longestGapNs_ = std::max(longestGapNs_, now - lastTick_);
      lastTick_ = now;
    }
    sample();
    answerModal();
  }

  void sample() {
    if (!measuring_) return;
    if (label_->text() != lastLabel_) {
      lastLabel_ = label_->text();
      ++labelChanges_;
    }
    if (start_->text() != lastCaption_) {
      lastCaption_ = start_->text();
      ++captionChanges_;
    }
  }

  void end() {
    if (!measuring_) return;
    const qint64 now = clock_.nsecsElapsed();
    if (gaps_) longestGapNs_ = std::max(longestGapNs_, now - lastTick_);
    sample();
    seconds_ = now / 1e9;
    measuring_ = false;
    ended_ = true;
  }

  void answerModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal->property("answered").toBool()) return;
    modal->setProperty("answered", true);
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      if (!choose) fail(u"an unexpected file dialog: "_s + dialog->windowTitle());
      choose(dialog);
      return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (!ended_) fail(u"a question before the end of the run: "_s + box->text());
      QAbstractButton* answer = box->button(QMessageBox::No);
      if (answer == nullptr) answer = box->button(QMessageBox::Ok);
      if (answer == nullptr) answer = box->buttons().constFirst();
      answer->click();
      return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
      return;
    }
    modal->close();
  }

  QWidget* window_;
  QAbstractButton* start_;
  RunPanel* panel_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QLabel* label_ = nullptr;
  QTimer ticks_;
  QElapsedTimer clock_;
  bool measuring_ = false;
  bool gaps_ = false;
  bool ended_ = false;
  qint64 lastTick_ = 0;
  qint64 longestGapNs_ = 0;
  double seconds_ = 0;
  int barChanges_ = 0;
  int labelChanges_ = 0;
  int captionChanges_ = 0;
  QString lastLabel_;
  QString lastCaption_;
};

// A choice in the file or folder dialog, as the window tests make it; the clock starts with it.
std::function<void(QFileDialog*)> pick(Watch& watch, const QString& path) {
  return [&watch, path](QFileDialog* dialog) {
    dialog->selectFile(path);
    watch.begin();
    // accept() is a slot: it checks the choice as a click on the dialog's own button would.
    QMetaObject::invokeMethod(dialog, "accept");
  };
}

void clickIndicator(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2)); }

void typeInto(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

// Runs the event loop until the run has ended and every dialog it left is answered.
bool waitForEnd(const Watch& watch) {
  QElapsedTimer limit;
  limit.start();
  while (!watch.ended() || QApplication::activeModalWidget() != nullptr) {
    // Blocks until an event comes (the 5 ms ticks come at the latest): the overload with a time
    // limit would return at once when none is waiting, and the loop would spin on this thread.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (limit.elapsed() > 3600 * 1000) return false;
  }
  QCoreApplication::processEvents();
  return true;
}

template <typename Tool>
int drive(const QString& mode, const QString& path, const QString& extra) {
  // Settings of its own for every run: what one run leaves in its controls does not steer the next.
  QTemporaryDir settingsDir;
  chengling::SettingsStore store;
  if (!store.Bind(chengling::internalFromNative(settingsDir.path().toStdString()) + "/" +
                  chengling::SettingsStore::valueFileName())) {
    fail(u"no settings store"_s);
  }
  Tool tool(store);
  tool.resize(972, 528);
  tool.show();
  tool.activateWindow();
  if (!QTest::qWaitForWindowExposed(&tool)) fail(u"the window is not shown"_s);

  QAbstractButton* start = nullptr;
  if (mode == u"transcode-folder"_s) start = control<QPushButton>(&tool, u"按钮批量转换文件夹"_s);
  if (mode == u"transcode-file"_s) start = control<QPushButton>(&tool, u"按钮批量转换"_s);
  if (mode == u"classify"_s) start = control<QPushButton>(&tool, u"按钮立即执行归类"_s);
  if (mode == u"split"_s) start = control<QPushButton>(&tool, u"按钮开始分割"_s);
  Watch watch(&tool, start);

  if (mode == u"classify"_s) {
    // The folder through "..", then copy or move, then the click that starts the run.
    watch.choose = [path](QFileDialog* dialog) {
      dialog->selectFile(path);
      QMetaObject::invokeMethod(dialog, "accept");
    };
    QTest::mouseClick(control<QPushButton>(&tool, u"按钮选择目录"_s), Qt::LeftButton);
    if (control<QLineEdit>(&tool, u"编辑框目录"_s)->text().isEmpty()) fail(u"the folder was not taken"_s);
    auto* keep = control<QCheckBox>(&tool, u"选择框保留原文件"_s);
    if (keep->isChecked() != (extra == u"copy"_s)) clickIndicator(keep);
    watch.choose = nullptr;
    watch.begin();
    QTest::mouseClick(start, Qt::LeftButton);
    watch.running();
  } else {
    if (mode == u"split"_s) {
      clickIndicator(control<QRadioButton>(&tool, u"单选框按份数"_s));
      typeInto(control<QLineEdit>(&tool, u"编辑框份数"_s), extra);
    }
    watch.choose = pick(watch, path);
    QTest::mouseClick(start, Qt::LeftButton);
    watch.running();
    watch.choose = nullptr;
  }
  if (!waitForEnd(watch)) fail(u"the run did not end"_s);
  watch.print();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QString mode = argc >= 3 ? QString::fromLocal8Bit(argv[1]) : QString();
  const QString path = argc >= 3 ? QString::fromLocal8Bit(argv[2]) : QString();
  const QString extra = argc >= 4 ? QString::fromLocal8Bit(argv[3]) : QString();
  if (mode == u"transcode-folder"_s || mode == u"transcode-file"_s) {
    return drive<chengling::TranscodeTool>(mode, path, extra);
  }
  if (mode == u"classify"_s && (extra == u"copy"_s || extra == u"move"_s)) {
    return drive<chengling::ClassifyTool>(mode, path, extra);
  }
  if (mode == u"split"_s && extra.toInt() > 0) return drive<chengling::SplitMergeTool>(mode, path, extra);
  std::fprintf(stderr,
               "usage: window_run_bench transcode-folder FOLDER | transcode-file FILE | classify FOLDER copy|move |"
               " split FILE PIECES\n");
  return 2;
}
