#pragma once
// The one modal dialog for typing or pasting a multi-line text (input mode) or reading a long text
// (details mode). Only one exists at a time.
//
//   QString list;
//   if (ShowInputDialog(initial, u"可以在别处复制..."_s, u"输入文件路径列表"_s, this, &list)) use(list);
//
// Texts keep CR LF line breaks: the body shows them as lines, and a confirmed text comes back with
// CR LF between its lines (an unchanged text comes back exactly as it was given).

#include <QDialog>
#include <QString>

#include <optional>

class QPushButton;
class QTextEdit;
class QPlainTextEdit;
class QFrame;
class QLabel;

namespace chengling {

// Display lines of a prompt in a prompt box `boxWidth` pixels wide: the prompt is cut at CR LF (a
// trailing line break adds no line) and each piece takes ceil(GBK bytes / floor(boxWidth / 6))
// lines, at least 1. An empty prompt takes none.
int promptDisplayLines(const QString& prompt, int boxWidth);

// Shows the dialog and waits until it is closed. `prompt`: none shows no prompt; an empty one shows
// "请输入数据：" (input) or "以下为信息详情：" (details). An empty caption shows "输入：" or "信息：".
// With `result` the dialog is in input mode and returns true when 确定 was clicked, putting the body
// in `*result`; without it, it only shows the text read-only and returns false. Returns false at once
// when a dialog is already open.
//
// `notes`, when not empty, stands below the body in a read-only box of its own, headed by
// `notesHeading` (the failed addresses with their reasons, under the plain list of them); the body
// stays as it is.
bool ShowInputDialog(const QString& initialText, const std::optional<QString>& prompt, const QString& caption,
                     QWidget* owner, QString* result, const QString& notes = QString(),
                     const QString& notesHeading = QString());

class InputDialog : public QDialog {
  Q_OBJECT

 public:
  InputDialog(const QString& initialText, const std::optional<QString>& prompt, const QString& caption,
              bool inputMode, QWidget* owner, const QString& notes = QString(),
              const QString& notesHeading = QString());
  ~InputDialog() override;

  // The dialog that is open now, if any.
  static InputDialog* current();

  bool confirmed() const { return confirmed_; }
  // The body at the moment 确定 was clicked, with CR LF line breaks.
  const QString& resultText() const { return result_; }
  // Places the controls for the present client size.
  void layoutControls();

  // Margin and prompt metrics of the layout.
  static constexpr int kMargin = 5;
  static constexpr int kPromptLineHeight = 12;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 public slots:
  // The close box and Esc: in input mode with an edited body, asks "内容已被改动，是否要放弃？".
  void reject() override;

 private:
  void confirm();
  void restoreInitial();
  bool bodyChanged() const;

  QString initial_;
  QString initialShown_;  // `initial_` as the body shows it
  bool inputMode_;
  QString promptText_;
  bool confirmed_ = false;
  QString result_;

  QTextEdit* prompt_ = nullptr;
  QPlainTextEdit* body_ = nullptr;
  QPlainTextEdit* notes_ = nullptr;  // only with notes
  QLabel* notesHeading_ = nullptr;   // only with notes
  QFrame* bar_ = nullptr;
  QPushButton* restore_ = nullptr;
  QPushButton* clear_ = nullptr;
  QPushButton* paste_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace chengling
