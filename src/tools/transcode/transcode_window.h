#pragma once
// The " 文件批量转码 " page: input and output encodings, the simplified/traditional mode, the
// advanced options, and two start buttons (chosen files, a chosen folder) over one progress bar with
// the status label laid on it, and a preview of how the files would be read. Files and folders dropped anywhere on the page are converted after a
// question.
//
// Runs go to the engine on the run panel's worker; both buttons share its stop request, and a drop
// run (which changes no caption) is stopped by a click on either button. Drops are refused while a
// run is active. Control states are kept under "文件批量转码".

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

#include "foundation/file_collector.h"
#include "foundation/run_context.h"
#include "tools/transcode/transcode_engine.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace chengling {

class RunPanel;
class SettingsStore;
class StartButton;

class TranscodeTool : public QWidget {
  Q_OBJECT

 public:
  // The section of the settings store that keeps this window's controls.
  static QString stateName();

  explicit TranscodeTool(SettingsStore& settings, QWidget* parent = nullptr);
  ~TranscodeTool() override;

  // True while a run is active.
  bool running() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using Engine = std::function<TranscodeOutcome(const TranscodeOptions&, RunContext&)>;

  // Puts row `index` (from 0) of the option grid: `controls` led by `label`, each as many columns as
  // `spans` says (1 when it says nothing; the last takes the rest), under a rule from the second
  // row on.
  void addOptionRow(QGridLayout* grid, int index, QLabel* label, const QList<QWidget*>& controls,
                    const QList<int>& spans = {});
  void filesClicked();
  void folderClicked(Matcher matcher);
  void dropped(const PathList& paths);
  // "预览": the files of a chosen folder (left button) or chosen files (right button), each with the
  // encoding its decode takes and its first line, in a dialog; nothing is written.
  void previewClicked(bool files);
  void statusPressed();

  // The engine's options from the controls now.
  TranscodeOptions options(Matcher matcher) const;
  TextEncoding inputEncoding() const;
  TextEncoding outputEncoding() const;
  void encodingsChanged();

  // Starts `engine` through `start` (null for a drop run, which changes no caption).
  void startRun(StartButton* start, Matcher matcher, Engine engine);
  void runFinished(const TranscodeOutcome& outcome);

  RunPanel* panel_ = nullptr;
  StartButton* filesStart_ = nullptr;
  StartButton* folderStart_ = nullptr;
  // The encodings a pass takes when it starts; the radio buttons may change during a run.
  std::shared_ptr<LiveOptions<PassEncodings>> encodings_;

  std::array<QRadioButton*, 6> inputs_{};
  std::array<QRadioButton*, 6> outputs_{};
  std::array<QRadioButton*, 7> modes_{};
  QCheckBox* convertNames_ = nullptr;
  QCheckBox* subfolders_ = nullptr;
  QCheckBox* overwrite_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QPushButton* filesButton_ = nullptr;
  QPushButton* folderButton_ = nullptr;
  QPushButton* previewButton_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace chengling
