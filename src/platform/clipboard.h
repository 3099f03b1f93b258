#pragma once
// The desktop clipboard, as text.

#include <QString>

#include <string>
#include <string_view>

namespace chengling {

// The clipboard's text; empty when it holds none.
QString clipboardText();
void setClipboardText(const QString& text);

// The same as internal text. Line breaks are kept as they are.
std::string readClipboard();
void writeClipboard(std::string_view text);

}  // namespace chengling
