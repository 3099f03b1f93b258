#include "shell/input_dialog.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include "platform/clipboard.h"
#include "platform/message_box.h"
#include "platform/qt_text.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

constexpr int kPixelsPerByte = 6;
constexpr int kBarHeight = 36;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kInitialWidth = 600;
constexpr int kInitialHeight = 420;

QPointer<InputDialog> openDialog;

}  // namespace

int promptDisplayLines(const QString& prompt, int boxWidth) {
  if (prompt.isEmpty()) return 0;
  const int perLine = qMax(1, boxWidth / kPixelsPerByte);
  QStringList pieces = prompt.split(u"\r\n"_s);
  if (pieces.last().isEmpty()) pieces.removeLast();
  int lines = 0;
  for (const QString& piece : pieces) {
    const int bytes = static_cast<int>(fromQString(piece).size());
    lines += qMax(1, (bytes + perLine - 1) / perLine);
  }
  return lines;
}

InputDialog::InputDialog(const QString& initialText, const std::optional<QString>& prompt, const QString& caption,
                         bool inputMode, QWidget* owner, const QString& notes, const QString& notesHeading)
    : QDialog(owner), initial_(initialText), initialShown_(withLf(initialText)), inputMode_(inputMode) {
  if (prompt) promptText_ = prompt->isEmpty() ? (inputMode ? u"请输入数据："_s : u"以下为信息详情："_s) : *prompt;
  setWindowTitle(caption.isEmpty() ? (inputMode ? u"输入："_s : u"信息："_s) : caption);
  setSizeGripEnabled(true);

  prompt_ = new QTextEdit(this);
  prompt_->setObjectName(u"编辑框提示"_s);
  prompt_->setReadOnly(true);
  prompt_->setFrameShape(QFrame::NoFrame);
  prompt_->setFocusPolicy(Qt::NoFocus);
  prompt_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  prompt_->setWordWrapMode(QTextOption::WrapAnywhere);
  prompt_->viewport()->setAutoFillBackground(false);
  prompt_->document()->setDocumentMargin(0);
  QFont promptFont = prompt_->font();
  promptFont.setPixelSize(11);
  prompt_->setFont(promptFont);
  prompt_->setPlainText(withLf(promptText_));
  // Lines of exactly the layout's 12 pixels, so the box height fits its display lines.
  QTextCursor cursor(prompt_->document());
  cursor.select(QTextCursor::Document);
  QTextBlockFormat format;
  format.setLineHeight(kPromptLineHeight, QTextBlockFormat::FixedHeight);
  cursor.mergeBlockFormat(format);

  body_ = new QPlainTextEdit(this);
  body_->setObjectName(u"编辑框正文"_s);
  body_->setPlainText(initialShown_);
  if (!notes.isEmpty()) {
    body_->setAccessibleName(windowTitle());
    notes_ = new QPlainTextEdit(this);
    notes_->setObjectName(u"编辑框说明"_s);
    notes_->setAccessibleName(u"说明"_s);
    notes_->setReadOnly(true);
    notes_->setLineWrapMode(QPlainTextEdit::NoWrap);
    notes_->setPlainText(withLf(notes));
    notesHeading_ = new QLabel(notesHeading, this);
    notesHeading_->setObjectName(u"标签说明"_s);
    notesHeading_->setBuddy(notes_);
    if (!notesHeading.isEmpty()) notes_->setAccessibleName(notesHeading);
  }

  bar_ = new QFrame(this);
  bar_->setObjectName(u"外形框"_s);
  restore_ = new QPushButton(u"恢复"_s, bar_);
  restore_->setObjectName(u"按钮恢复"_s);
  clear_ = new QPushButton(u"清空"_s, bar_);
  clear_->setObjectName(u"按钮清空"_s);
  paste_ = new QPushButton(u"粘贴"_s, bar_);
  paste_->setObjectName(u"按钮粘贴"_s);
  int left = 0;
  for (QPushButton* button : {restore_, clear_, paste_}) {
    button->setAutoDefault(false);
    button->setGeometry(left, (kBarHeight - kButtonHeight) / 2, kButtonWidth, kButtonHeight);
    left += kButtonWidth + 6;
  }

  ok_ = new QPushButton(u"确定"_s, this);
  ok_->setObjectName(u"按钮确定"_s);
  cancel_ = new QPushButton(u"取消"_s, this);
  cancel_->setObjectName(u"按钮取消"_s);
  ok_->setAutoDefault(false);
  cancel_->setAutoDefault(false);

  connect(ok_, &QPushButton::clicked, this, [this] { confirm(); });
  // Cancel closes without asking, unlike the close box.
  connect(cancel_, &QPushButton::clicked, this, [this] { QDialog::done(QDialog::Rejected); });
  connect(clear_, &QPushButton::clicked, this, [this] { body_->clear(); });
  connect(paste_, &QPushButton::clicked, this, [this] { body_->setPlainText(withLf(clipboardText())); });
  connect(restore_, &QPushButton::clicked, this, [this] { restoreInitial(); });

  if (!inputMode_) {
    ok_->hide();
    bar_->hide();
    body_->setReadOnly(true);
    cancel_->setText(u"关闭(&G)"_s);
    cancel_->setDefault(true);
  }

  resize(kInitialWidth, kInitialHeight);
  layoutControls();
}

InputDialog::~InputDialog() = default;

InputDialog* InputDialog::current() { return openDialog; }

void InputDialog::layoutControls() {
  const int w = width();
  const int h = height();
  const int m = kMargin;
  const int promptHeight = kPromptLineHeight * promptDisplayLines(promptText_, w - 2 * m);
  prompt_->setGeometry(m, m, w - 2 * m, promptHeight);
  prompt_->setVisible(promptHeight > 0);
  const int promptBottom = m + promptHeight;
  const int bodyTop = promptBottom + m;
  const int space = h - bodyTop - kBarHeight;
  const int headingHeight = notesHeading_ != nullptr && !notesHeading_->text().isEmpty() ? 18 : 0;
  const int notesHeight = notes_ != nullptr ? (space - m - headingHeight) * 2 / 5 : 0;
  body_->setGeometry(m, bodyTop, w - 2 * m,
                     notes_ != nullptr ? space - m - headingHeight - notesHeight : space);
  if (notes_ != nullptr) {
    const int headingTop = bodyTop + body_->height() + m;
    notesHeading_->setGeometry(m, headingTop, w - 2 * m, headingHeight);
    notesHeading_->setVisible(headingHeight > 0);
    notes_->setGeometry(m, headingTop + headingHeight, w - 2 * m, notesHeight);
  }
  const int bodyBottom = notes_ != nullptr ? notes_->y() + notes_->height() : bodyTop + body_->height();
  bar_->setGeometry(m, bodyBottom, qMax(0, w - 2 * m - 2 * kButtonWidth - 12), kBarHeight);
  const int buttonTop = bodyBottom + (kBarHeight - kButtonHeight) / 2;
  cancel_->setGeometry(w - m - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight);
  ok_->setGeometry(cancel_->x() - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight);
}

void InputDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  layoutControls();
}

void InputDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    const QRect area = screen->geometry();
    move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - 30) / 2 - height() / 2);
  }
  body_->setFocus();
}

bool InputDialog::bodyChanged() const { return body_->toPlainText() != initialShown_; }

void InputDialog::confirm() {
  result_ = bodyChanged() ? withCrLf(body_->toPlainText()) : initial_;
  confirmed_ = true;
  QDialog::done(QDialog::Accepted);
}

void InputDialog::restoreInitial() {
  if (initial_.isEmpty()) {
    showMessage(this, u"启动值为空！"_s, u"岚舟："_s, MessageIcon::Information);
    return;
  }
  body_->setPlainText(initialShown_);
}

void InputDialog::reject() {
  if (inputMode_ && bodyChanged() &&
      !askYesNo(this, u"内容已被改动，是否要放弃？"_s, u"岚舟："_s, MessageIcon::Information)) {
    return;
  }
  QDialog::reject();
}

bool ShowInputDialog(const QString& initialText, const std::optional<QString>& prompt, const QString& caption,
                     QWidget* owner, QString* result, const QString& notes, const QString& notesHeading) {
  if (openDialog) return false;
  // On the heap: an owner that goes away during the wait takes the dialog with it.
  QPointer<InputDialog> dialog = new InputDialog(initialText, prompt, caption, result != nullptr, owner, notes,
                                                 notesHeading);
  openDialog = dialog;
  dialog->exec();
  if (!dialog) return false;
  const bool confirmed = dialog->confirmed() && result != nullptr;
  if (confirmed) *result = dialog->resultText();
  delete dialog.data();
  return confirmed;
}

}  // namespace chengling
