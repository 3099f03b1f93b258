#pragma once
// Message boxes shown above all windows and modal to the whole application. An empty caption shows
// "信息："; the shell's own notices pass "岚舟：".

#include <QString>

class QWidget;

namespace chengling {

enum class MessageIcon { None, Information, Warning, Error, Question };

// The objectName every box of this file carries, so that window tests can find and answer them.
inline constexpr char kMessageBoxName[] = "messageBox";

void showMessage(QWidget* owner, const QString& text, const QString& caption = {},
                 MessageIcon icon = MessageIcon::Information);
// True for Yes.
bool askYesNo(QWidget* owner, const QString& text, const QString& caption = {},
              MessageIcon icon = MessageIcon::Question);
// True for OK.
bool askOkCancel(QWidget* owner, const QString& text, const QString& caption = {},
                 MessageIcon icon = MessageIcon::Question);

}  // namespace chengling
