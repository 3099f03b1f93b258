#include "platform/qt_text.h"

#include <QFile>

#include <utility>

#include "foundation/native_text.h"

namespace chengling {

QString toQString(std::string_view internal) {
  const std::string utf8 = utf8FromInternal(internal);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string fromQString(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return internalFromUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

QString withCrLf(QString text) { return withLf(std::move(text)).replace(u'\n', QStringLiteral("\r\n")); }

QString withLf(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

std::string pathFromQString(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  return internalFromNative(std::string_view(native.constData(), static_cast<size_t>(native.size())));
}

QString qStringFromPath(std::string_view internal) {
  const std::string native = nativeFromInternal(internal);
  return QFile::decodeName(QByteArray(native.data(), static_cast<qsizetype>(native.size())));
}

}  // namespace chengling
