#pragma once
// The " 文件分割合并 " page: a split area and a merge area, each a drop target with a start button
// that is also its stop button, over one progress bar with the status label laid on it.
//
// Both engines run on the window's run panel and share its stop request; while one run is active
// the other area's button is disabled and drops are refused, so runs never nest. Control states are
// kept under "文件分割合并".

#include <QString>
#include <QWidget>

#include <functional>

#include "foundation/file_collector.h"
#include "foundation/run_context.h"
#include "tools/split_merge/split_merge_workflow.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace chengling {

class RunPanel;
class SettingsStore;
class StartButton;

class SplitMergeTool : public QWidget {
  Q_OBJECT

 public:
  // The section of the settings store that keeps this window's controls.
  static QString stateName();

  explicit SplitMergeTool(SettingsStore& settings, QWidget* parent = nullptr);
  ~SplitMergeTool() override;

  // True while a split or a merge runs.
  bool running() const;

 private:
  QWidget* buildSplitArea();
  QWidget* buildMergeArea();
  void connectControls();
  void applySplitRules();
  void applyMergeRules();

  void splitClicked();
  void mergeClicked();
  void askSeparator();
  void chooseJoinFile();
  void splitDropped(const PathList& paths);
  void mergeDropped(const PathList& paths);

  // Starts `split` or `merge` on the worker with the options of the controls now.
  using SplitJob = std::function<SplitReport(const SplitOptions&, RunContext&)>;
  using MergeJob = std::function<MergeReport(const MergeOptions&, RunContext&)>;
  void startSplit(SplitJob split);
  void splitFinished(const SplitReport& report);
  void startMerge(MergeJob merge);
  void mergeFinished(const MergeReport& report);
  // Asks the end question (Yes opens its folder), or shows the end message.
  void showEnd(const RunEnd& end);

  SplitOptions splitOptions() const;
  MergeOptions mergeOptions() const;

  RunPanel* panel_ = nullptr;
  StartButton* splitStart_ = nullptr;
  StartButton* mergeStart_ = nullptr;

  QGroupBox* splitGroup_ = nullptr;
  QRadioButton* byCount_ = nullptr;
  QLineEdit* pieceCount_ = nullptr;
  QRadioButton* bySize_ = nullptr;
  QLineEdit* sizeValue_ = nullptr;
  QComboBox* sizeUnit_ = nullptr;
  QCheckBox* wholeLines_ = nullptr;
  QRadioButton* byChars_ = nullptr;
  QLineEdit* charsLow_ = nullptr;
  QLineEdit* charsHigh_ = nullptr;
  QRadioButton* byLines_ = nullptr;
  QLineEdit* linesLow_ = nullptr;
  QLineEdit* linesHigh_ = nullptr;
  QCheckBox* skipBlank_ = nullptr;
  QRadioButton* bySeparator_ = nullptr;
  QPushButton* separatorButton_ = nullptr;
  QCheckBox* detect_ = nullptr;
  QCheckBox* fixLineEnds_ = nullptr;
  QCheckBox* intoSubfolder_ = nullptr;
  QCheckBox* deleteSources_ = nullptr;
  QCheckBox* contentNames_ = nullptr;
  QLineEdit* splitPatterns_ = nullptr;
  QPushButton* splitButton_ = nullptr;

  QGroupBox* mergeGroup_ = nullptr;
  QCheckBox* joinData_ = nullptr;
  QRadioButton* joinByText_ = nullptr;
  QLineEdit* joinText_ = nullptr;
  QRadioButton* joinByFile_ = nullptr;
  QLineEdit* joinFile_ = nullptr;
  QPushButton* joinFileButton_ = nullptr;
  QCheckBox* decode_ = nullptr;
  QCheckBox* intoParent_ = nullptr;
  QCheckBox* deleteInputs_ = nullptr;
  QCheckBox* recursive_ = nullptr;
  QCheckBox* naturalOrder_ = nullptr;
  QLineEdit* mergePatterns_ = nullptr;
  QPushButton* mergeButton_ = nullptr;
};

}  // namespace chengling
