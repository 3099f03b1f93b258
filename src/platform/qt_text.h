#pragma once
// The one helper that turns internal text into QString and back. Qt code never converts otherwise.

#include <QString>

#include <string>
#include <string_view>

namespace chengling {

QString toQString(std::string_view internal);
std::string fromQString(const QString& text);

// Line breaks: widgets show "\n", stored and internal lists use CR LF.
QString withCrLf(QString text);
QString withLf(QString text);

// File names: a QString path from a dialog or a drop as internal path text, and back. Names that are
// not valid UTF-8 keep their bytes (native_text.h).
std::string pathFromQString(const QString& path);
QString qStringFromPath(std::string_view internal);

}  // namespace chengling
