#pragma once
// The run machinery of one tool window: its worker (an EngineRunner), the start buttons that share
// the worker's stop request, the progress bar "进度条" with the status text "透明标签" laid over it,
// and the failures and warnings of the active run, which the details dialog shows when it ends.
//
//   panel_ = new RunPanel(this);
//   layout->addWidget(panel_->makeProgressBar());
//   start_ = panel_->addStartButton(startButton_, {u"开始"_s, u"点我停止"_s, u"停止中.."_s});
//   ...
//   void Tool::startClicked() {
//     if (panel_->busyClick(start_)) return;
//     ...gather the input and the options...
//     panel_->start(start_, [input, options](RunContext& ctx) { return EngineEntry(input, options, ctx); },
//                   [this](const Outcome& outcome, bool stopped) { panel_->showFailures(); ... });
//   }

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "shell/engine_runner.h"
#include "shell/start_button.h"

class QAbstractButton;
class QLabel;
class QProgressBar;
class QWidget;

namespace chengling {

class RunPanel : public QObject {
  Q_OBJECT

 public:
  // A child of `window`; the worker stops and is waited for when the window goes.
  explicit RunPanel(QWidget* window);
  ~RunPanel() override;

  EngineRunner* runner() const { return runner_; }
  bool running() const;

  // Creates the progress bar, a child of the window, with the status label over it; progress and
  // status of every run go there. Returns the bar, for the window's layout. Call at most once.
  QProgressBar* makeProgressBar();
  QProgressBar* progressBar() const { return bar_; }
  QLabel* statusLabel() const { return status_; }

  // Where the phase texts of a run (RunContext::phase) show: in place of the caption of the start
  // button that started it, or on the status label.
  enum class Phases { OnButton, OnStatus };

  // A start button over this panel's worker. While one of the panel's start buttons runs, the others
  // are disabled (but for one on the same button: two kinds of run may share a button, each with its
  // captions; a click while either runs stops it). A run started without a button shows its phase texts on the status label.
  StartButton* addStartButton(QAbstractButton* button, StartCaptions captions, Phases phases = Phases::OnButton);
  // Widgets that take no input while any run of this panel is active (buttons whose work would
  // touch what the run reads or fills), apart from the start button of that run. Those disabled
  // are enabled again when it ends.
  void disableWhileRunning(const QList<QWidget*>& widgets);

  // Starts an engine entry: `job(ctx)` runs on the worker and returns its outcome (any type that
  // has a default value); when it has ended, `done(outcome, stopped)` runs on the window's thread,
  // `stopped` telling whether a stop had been requested. Through `button` (see run), or, when it is
  // null, without one (see runQuietly). False, starting nothing, while a run is active.
  template <typename Job, typename Done>
  bool start(StartButton* button, Job job, Done done) {
    using Outcome = std::invoke_result_t<Job&, RunContext&>;
    auto outcome = std::make_shared<Outcome>();
    EngineRunner::Job work = [outcome, job = std::move(job)](RunContext& ctx) mutable { *outcome = job(ctx); };
    std::function<void(bool)> finish = [outcome, done = std::move(done)](bool stopped) mutable {
      done(*outcome, stopped);
    };
    return button != nullptr ? run(button, std::move(work), std::move(finish))
                             : runQuietly(std::move(work), std::move(finish));
  }

  // Forgets the failures of the previous run and starts `job` through `button` (see StartButton).
  bool run(StartButton* button, EngineRunner::Job job, std::function<void(bool stopped)> done = {});
  // The same without a start button (a drop run): no caption changes and no button is disabled.
  // A click on any start button meanwhile is its stop request (see stopIfRunning).
  bool runQuietly(EngineRunner::Job job, std::function<void(bool stopped)> done = {});
  // The click convention over the panel: when `button` runs, or a quiet run is active, requests the
  // stop, shows `button`'s stopping caption (until the quiet run ends) and returns true.
  bool stopIfRunning(StartButton* button);
  // The guard at the top of every start button's click handler: true when the click starts nothing,
  // because it was the stop request (stopIfRunning) or another run is active.
  //   if (panel_->busyClick(start_)) return;
  bool busyClick(StartButton* button) { return stopIfRunning(button) || running(); }

  // "item：reason" lines of the run so far.
  const QStringList& failures() const { return failures_; }
  const QStringList& warnings() const { return warnings_; }
  // Shows the failures, then the warnings under `warningsHeading`, in the details dialog and forgets
  // them; `failuresPrompt` is the dialog's prompt, or the heading when there are only warnings. Each
  // tool words both for what its runs report. Returns false, showing nothing, when there are none.
  bool showFailures(const QString& failuresPrompt, const QString& warningsHeading);

 private:
  QWidget* window_;
  EngineRunner* runner_;
  QList<StartButton*> starts_;
  QList<StartButton*> phasesOnStatus_;
  StartButton* active_ = nullptr;  // the button of the active run; null for a run without one
  QList<QPointer<QWidget>> locked_;
  QList<QPointer<QWidget>> disabled_;
  QProgressBar* bar_ = nullptr;
  QLabel* status_ = nullptr;
  QStringList failures_;
  QStringList warnings_;
  bool quiet_ = false;

  void disableLocked(const QWidget* keep);
  void enableLocked();
};

}  // namespace chengling
