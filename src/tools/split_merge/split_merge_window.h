#pragma once
// The " 文件分割合并 " page: a split area and a merge area, each a drop target with a start button
// that is also its stop button, over one progress bar with the status label laid on it.
//
// Both engines run on the window's one worker thread and share its stop request; while one run is
// active the other area's button is disabled and drops are refused, so runs never nest. Drops are
// handled from a queued call once the drag has completed, so that no question is asked while the
// drag source still waits. Control states are restored under "文件分割合并" when the window is made
// and saved when it is closed.

#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <string>

#include "foundation/file_collector.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace chengling {

class EngineRunner;
class SettingsStore;
class StartButton;
struct MergeOptions;
struct SplitOptions;

class SplitMergeTool : public QWidget {
  Q_OBJECT

 public:
  // The section of the settings store that keeps this window's controls.
  static QString stateName();

  explicit SplitMergeTool(SettingsStore& settings, QWidget* parent = nullptr);
  // Stops a run that is still active and waits for the worker.
  ~SplitMergeTool() override;

  // True while a split or a merge runs.
  bool running() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class Area { Split = 1, Merge = 2 };

  // What a split starts from: a folder (listed when the run starts) or a path list.
  struct SplitInput {
    std::string folder;
    PathList paths;
  };
  // What a merge starts from: a folder chosen with the button, or dropped files and folders.
  struct MergeInput {
    std::string folder;
    PathList files;
    PathList folders;
  };
  struct SplitState;
  struct MergeState;

  void buildControls();
  void applySplitRules();
  void applyMergeRules();

  void splitClicked();
  void mergeClicked();
  void askSeparator();
  void chooseJoinFile();

  bool acceptsDrops() const;
  void dropped(Area area, PathList paths);
  void handleDrop(Area area);

  void startSplit(SplitInput input);
  void splitFinished(const SplitState& state);
  void startMerge(MergeInput input);
  void mergeFinished(const MergeState& state);
  void showFailures();

  SplitOptions splitOptions() const;
  MergeOptions mergeOptions() const;

  SettingsStore& settings_;
  EngineRunner* runner_ = nullptr;
  StartButton* splitStart_ = nullptr;
  StartButton* mergeStart_ = nullptr;
  PathList droppedPaths_;   // waiting for the queued drop handling
  QStringList failures_;    // "path：reason" of the active run

  QGroupBox* splitGroup_ = nullptr;
  QRadioButton* byCount_ = nullptr;
  QLineEdit* pieceCount_ = nullptr;
  QRadioButton* bySize_ = nullptr;
  QLineEdit* sizeValue_ = nullptr;
  QComboBox* sizeUnit_ = nullptr;
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
  QLineEdit* mergePatterns_ = nullptr;
  QPushButton* mergeButton_ = nullptr;

  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* dropCarrier_ = nullptr;
};

}  // namespace chengling
