#pragma once
// The start button that is also its stop button. Its caption is the only record of whether its run
// is active: the run is idle exactly when the caption equals the idle caption, compared exactly
// (leading and trailing blanks included).
//
// Click convention, as a tool's click handler uses it:
//   if (startButton.stopIfRunning()) return;       // a running button: stop request, stopping caption
//   ...gather the input; a cancelled dialog or empty input returns here, caption unchanged...
//   startButton.run(job, [this](bool stopped) { ...report the outcome... });

#include <QAbstractButton>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include "shell/engine_runner.h"

class QWidget;

namespace chengling {

struct StartCaptions {
  QString idle;
  QString running;
  // Null: a stop click leaves the caption as it is, and phase texts go on showing.
  QString stopping;
};

// True when `button` shows exactly `idleCaption`.
bool isIdleCaption(const QAbstractButton* button, const QString& idleCaption);

class StartButton : public QObject {
  Q_OBJECT

 public:
  // `runner` holds the stop request of this button's family of runs; it may be shared.
  StartButton(QAbstractButton* button, StartCaptions captions, EngineRunner* runner);

  QAbstractButton* button() const { return button_; }
  const StartCaptions& captions() const { return captions_; }
  bool isIdle() const;
  // Widgets disabled while this button's run is active (the sibling start buttons).
  void setSiblings(QList<QWidget*> siblings);

  // When the run is active: sets the stop request, shows the stopping caption and returns true.
  // A second click while stopping does the same again. Returns false for an idle button.
  bool stopIfRunning();
  // A phase text of this button's run ("正在分割", "n:i") in place of its caption: only while the
  // run is active and no stop was asked for (the stopping caption stays), unless the stopping
  // caption is null.
  void showPhase(const QString& text);
  // Shows the running caption, disables the siblings and starts `job` on the runner's worker. When
  // it ends: the idle caption returns, the siblings are enabled again, then `done(stopped)` runs on
  // the window's thread. Returns false, changing nothing, when the runner is busy.
  bool run(EngineRunner::Job job, std::function<void(bool stopped)> done = {});

 private:
  QPointer<QAbstractButton> button_;
  StartCaptions captions_;
  EngineRunner* runner_;
  QList<QPointer<QWidget>> siblings_;
  QList<QPointer<QWidget>> disabled_;
  bool stopping_ = false;
};

}  // namespace chengling
