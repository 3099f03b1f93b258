#include "platform/dialogs.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QStringList>
#include <QTreeView>

#include <algorithm>
#include <utility>

#include "platform/qt_text.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {
namespace {

// Qt writes the sizes and dates of its file list in the system's locale ("6 bytes", "11 Dec 2026"
// on an English desktop); this list writes them in the program's, which is Chinese. Every other
// column and role is Qt's own.
class ChineseFileList : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || files == nullptr || (index.column() != kSize && index.column() != kDate)) {
      return QIdentityProxyModel::data(index, role);
    }
    const QModelIndex source = mapToSource(index);
    if (index.column() == kSize) return files->isDir(source) ? QString() : QLocale().formattedDataSize(files->size(source));
    const QDateTime modified = files->lastModified(source);
    return modified.isValid() ? QLocale().toString(modified, QLocale::ShortFormat) : QString();
  }

 private:
  // The columns of QFileSystemModel: name, size, type, date modified.
  static constexpr int kSize = 1;
  static constexpr int kDate = 3;
};

// Widens the size, type and date columns of Qt's detailed list (when the dialog is Qt's own) to their
// usual texts, which Qt's default width cuts short. A wider column that the user kept stays.
void fitColumns(QFileDialog& dialog) {
  auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  if (tree == nullptr) return;
  const QLocale locale;
  const QFontMetrics metrics = tree->fontMetrics();
  const auto widest = [&metrics](const QStringList& texts) {
    int width = 0;
    for (const QString& text : texts) width = std::max(width, metrics.horizontalAdvance(text));
    return width + 24;  // cell margins and the sort indicator
  };
  const int sizeWidth = widest({locale.formattedDataSize(1023), locale.formattedDataSize(1023 * 1024 + 1000)});
  const int typeWidth = widest({u"纯文本文档"_s});  // a common type, as the MIME database names it
  const int dateWidth =
      widest({locale.toString(QDateTime(QDate(2000, 12, 28), QTime(23, 59)), QLocale::ShortFormat)});
  QHeaderView* header = tree->header();
  for (const auto& [column, width] :
       {std::pair{1, sizeWidth}, std::pair{2, typeWidth}, std::pair{3, dateWidth}}) {
    if (column < header->count() && header->sectionSize(column) < width) header->resizeSection(column, width);
  }
}

// Shows `dialog` with the Chinese file list; the chosen paths, none when cancelled.
QStringList choose(QFileDialog& dialog) {
  dialog.setProxyModel(new ChineseFileList(&dialog));
  fitColumns(dialog);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

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
  QFileDialog dialog(owner, title, startIn(startFolder), qtFilterFromList(filter));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  const QStringList files = choose(dialog);
  std::string list;
  for (const QString& file : files) {
    if (!list.empty()) list += "\r\n";
    list += pathFromQString(file);
  }
  return list;
}

std::string chooseFile(QWidget* owner, const QString& title, const QString& filter, const std::string& initialFile) {
  QFileDialog dialog(owner, title.isEmpty() ? u"打开文件"_s : title, startIn(initialFile),
                     qtFilterFromList(filter.isEmpty() ? u"所有文件(*.*)|*.*"_s : filter));
  dialog.setFileMode(QFileDialog::ExistingFile);
  const QStringList files = choose(dialog);
  return files.isEmpty() || files.constFirst().isEmpty() ? std::string() : pathFromQString(files.constFirst());
}

std::string chooseFolder(QWidget* owner, const QString& title, const std::string& preselect) {
  QFileDialog dialog(owner, title.isEmpty() ? u"请选择一个文件夹"_s : title, startIn(preselect));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  const QStringList chosen = choose(dialog);
  if (chosen.isEmpty()) return {};
  const QString folder = chosen.constFirst().trimmed();
  return folder.isEmpty() ? std::string() : pathFromQString(folder);
}

std::string ChooseSaveFile(QWidget* owner, const QString& title, const QString& filter, int filterIndex) {
  const QStringList entries = filterEntries(filter.isEmpty() ? u"TXT文档(*.txt)|*.txt|所有文件(*.*)|*.*"_s : filter);
  QFileDialog dialog(owner, title.isEmpty() ? u"保存文件"_s : title, QDir::currentPath(), entries.join(u";;"_s));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (filterIndex >= 1 && filterIndex <= entries.size()) dialog.selectNameFilter(entries[filterIndex - 1]);
  const QStringList files = choose(dialog);
  return files.isEmpty() || files.constFirst().isEmpty() ? std::string() : pathFromQString(files.constFirst());
}

}  // namespace chengling
