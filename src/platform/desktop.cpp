#include "platform/desktop.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "platform/qt_text.h"

namespace chengling {

bool OpenInFileManager(std::string_view path) {
  const QFileInfo info(qStringFromPath(path));
  const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
  return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool openDocument(std::string_view path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(qStringFromPath(path)).absoluteFilePath()));
}

bool openAddress(const QString& address) {
  const QUrl url(address, QUrl::StrictMode);
  if (!url.isValid() || (url.scheme() != u"http" && url.scheme() != u"https")) return false;
  return QDesktopServices::openUrl(url);
}

}  // namespace chengling
