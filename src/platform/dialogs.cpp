#include "platform/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

#include "platform/qt_text.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

QString startIn(const std::string& path) { return path.empty() ? QDir::currentPath() : qStringFromPath(path); }

QStringList filterEntries(const QString& filter) {
  QStringList entries;
  const QStringList items = filter.split(u'|');
  for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
    QString description = items[i].trimmed();
    // A description that already shows its patterns in brackets ("TXT文档(*.txt)") keeps only the
    // name: Qt reads the patterns from the last bracket and shows them itself.
    if (description.endsWith(u')')) {
      const qsizetype open = description.lastIndexOf(u'(');
      if (open > 0) description = description.left(open).trimmed();
    }
    QStringList patterns;
    for (const QString& pattern : items[i + 1].split(u';', Qt::SkipEmptyParts)) {
      const QString trimmed = pattern.trimmed();
      patterns << (trimmed == u"*.*"_s ? u"*"_s : trimmed);
    }
    if (patterns.isEmpty()) patterns << u"*"_s;
    entries << description + u" ("_s + patterns.join(u' ') + u')';
  }
  return entries;
}

}  // namespace

QString qtFilterFromList(const QString& filter) { return filterEntries(filter).join(u";;"_s); }

std::string chooseFiles(QWidget* owner, const QString& title, const QString& filter,
                        const std::string& startFolder) {
  const QStringList files = QFileDialog::getOpenFileNames(owner, title, startIn(startFolder), qtFilterFromList(filter));
  std::string list;
  for (const QString& file : files) {
    if (!list.empty()) list += "\r\n";
    list += pathFromQString(file);
  }
  return list;
}

std::string chooseFile(QWidget* owner, const QString& title, const QString& filter, const std::string& initialFile) {
  const QString file = QFileDialog::getOpenFileName(
      owner, title.isEmpty() ? u"打开文件"_s : title, startIn(initialFile),
      qtFilterFromList(filter.isEmpty() ? u"所有文件(*.*)|*.*"_s : filter));
  return file.isEmpty() ? std::string() : pathFromQString(file);
}

std::string chooseFolder(QWidget* owner, const QString& title, const std::string& preselect) {
  QFileDialog dialog(owner, title.isEmpty() ? u"请选择一个文件夹"_s : title, startIn(preselect));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const QString folder = dialog.selectedFiles().constFirst().trimmed();
  return folder.isEmpty() ? std::string() : pathFromQString(folder);
}

std::string ChooseSaveFile(QWidget* owner, const QString& title, const QString& filter, int filterIndex) {
  const QStringList entries = filterEntries(filter.isEmpty() ? u"TXT文档(*.txt)|*.txt|所有文件(*.*)|*.*"_s : filter);
  QString selected = filterIndex >= 1 && filterIndex <= entries.size() ? entries[filterIndex - 1] : QString();
  const QString file = QFileDialog::getSaveFileName(owner, title.isEmpty() ? u"保存文件"_s : title,
                                                    QDir::currentPath(), entries.join(u";;"_s), &selected,
                                                    QFileDialog::DontConfirmOverwrite);
  return file.isEmpty() ? std::string() : pathFromQString(file);
}

}  // namespace chengling
