#pragma once
// The " 文件批量归类 " page: the input (a folder or a file list), the path template with its token
// menu, the batch options, and the run button that is also its stop button, beside a dry run
// ("预览") and the undo of the last move run ("撤销上次归类"), over one progress bar.
//
// The three runs share the window's run panel, so they never nest; the classification run itself
// is the engine entry the command line calls. Drops of files on the whole page fill the file list;
// they are refused while a run is active. Control states are kept under "文件批量归类".

#include <QString>
#include <QWidget>

#include "foundation/file_collector.h"
#include "tools/classify/classify_engine.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace chengling {

class RunPanel;
class SettingsStore;
class StartButton;
class ToolTip;
struct UndoOutcome;

class ClassifyTool : public QWidget {
  Q_OBJECT

 public:
  // The section of the settings store that keeps this window's controls.
  static QString stateName();

  explicit ClassifyTool(SettingsStore& settings, QWidget* parent = nullptr);
  ~ClassifyTool() override;

  // True while a classification, a dry run or an undo runs.
  bool running() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  void buildTokenMenu();
  void addToolTips();
  void connectControls();
  void applyInputRules();
  void applyBatchRules();

  void chooseEntryFolder();
  void editFileList();
  void editBatchNames();
  void showTokenMenu();
  void insertToken(const QString& token);
  void filesDropped(const PathList& paths, Qt::KeyboardModifiers modifiers);

  // A left click or a right-button press on the run button: stops a run, or starts one whose
  // folders are listed with `matcher`.
  void runPressed(Matcher matcher);
  void runFinished(const ClassifyOutcome& outcome, bool undoAvailable);
  void previewClicked();
  void undoClicked();
  void undoFinished(const UndoOutcome& outcome, bool undoAvailable);

  // Asks whether to go on when the template holds bracketed words that are no token; true when
  // there are none or the answer is Yes.
  bool confirmTemplate();
  // The engine's options from the controls now.
  ClassifyOptions options(Matcher matcher) const;

  RunPanel* panel_ = nullptr;
  StartButton* runStart_ = nullptr;
  StartButton* previewStart_ = nullptr;
  StartButton* undoStart_ = nullptr;
  ToolTip* tips_ = nullptr;
  // Where the caret and the selection of the template box were when it lost the focus, so that a
  // token from the menu lands there.
  int savedCaret_ = -1;
  int savedSelectionStart_ = -1;
  int savedSelectionLength_ = 0;

  QRadioButton* fromFolder_ = nullptr;
  QRadioButton* fromList_ = nullptr;
  QButtonGroup* inputGroup_ = nullptr;
  QLineEdit* folder_ = nullptr;
  QPushButton* folderButton_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QCheckBox* recursive_ = nullptr;
  QPushButton* fileListButton_ = nullptr;
  QLineEdit* template_ = nullptr;
  QPushButton* tokenButton_ = nullptr;
  QMenu* tokenMenu_ = nullptr;
  QLineEdit* perBatch_ = nullptr;
  QRadioButton* numbers_ = nullptr;
  QRadioButton* letters_ = nullptr;
  QRadioButton* named_ = nullptr;
  QButtonGroup* batchGroup_ = nullptr;
  QPushButton* batchNamesButton_ = nullptr;
  QCheckBox* keepSources_ = nullptr;
  QPushButton* runButton_ = nullptr;
  QPushButton* previewButton_ = nullptr;
  QPushButton* undoButton_ = nullptr;
};

}  // namespace chengling
