#pragma once
// The " 跳转地址获取 " page: a source list of web addresses beside the list of the addresses they
// redirect to, a start button that is also its stop button and shows the progress "n:i", the
// user-agent choice, the matching, following and placeholder options. After a run the failed
// addresses are listed with their reasons, and the chain of every address can be copied.
//
// The run is RedirectRun on the window's run panel: probes and downloads happen on the worker, result
// lines arrive one by one in input order, and a stop click aborts the request in flight. Control
// states are kept under "跳转地址获取", the two lists as raw bytes.

#include <QString>
#include <QWidget>

#include <memory>
#include <string>

#include "tools/redirect/redirect_run.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace chengling {

class RunPanel;
class SettingsStore;
class StartButton;

class RedirectTool : public QWidget {
  Q_OBJECT

 public:
  // The section of the settings store that keeps this window's controls.
  static QString stateName();

  explicit RedirectTool(SettingsStore& settings, QWidget* parent = nullptr);
  ~RedirectTool() override;

  // True while a run is active.
  bool running() const;

 private:
  void buildControls();
  void connectControls();
  void applyUserAgentChoice();
  void updateEmptyPlaceholder();

  void startClicked();
  RedirectOptions runOptions() const;
  void appendResult(const QString& line);
  void runFinished(const RedirectOutcome& outcome);

  // The agent box's text as the run takes it before every address.
  std::shared_ptr<LiveOptions<std::string>> agent_;

  RunPanel* panel_ = nullptr;
  StartButton* start_ = nullptr;

  QPlainTextEdit* sources_ = nullptr;
  QPlainTextEdit* results_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QPushButton* paste_ = nullptr;
  QPushButton* copy_ = nullptr;
  QPushButton* copyChains_ = nullptr;  // enabled once a run has chains to give
  QString chains_;                     // the chains of the last run, one address a line
  QComboBox* agentChoice_ = nullptr;
  QLineEdit* agentText_ = nullptr;
  QCheckBox* looseMatch_ = nullptr;
  QCheckBox* follow_ = nullptr;
  QCheckBox* failurePlaceholder_ = nullptr;
  QCheckBox* emptyPlaceholder_ = nullptr;
  QSpinBox* jobs_ = nullptr;
};

}  // namespace chengling
