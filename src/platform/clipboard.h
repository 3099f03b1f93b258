#pragma once
// The desktop clipboard, as text. Text put on it has LF line breaks, as programs on Linux expect;
// text taken from it may have LF or CR LF, and comes as it is (its readers take both).

#include <QString>

#include <string>
#include <string_view>

namespace chengling {

// The clipboard's text; empty when it holds none.
QString clipboardText();
// Puts `text` on the clipboard with every CR LF made LF.
void setClipboardText(const QString& text);

// The same as internal text.
std::string readClipboard();
void writeClipboard(std::string_view text);

}  // namespace chengling
