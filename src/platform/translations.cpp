#include "platform/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>

namespace chengling {
namespace {

struct Word {
  const char* context;
  const char* source;
  const char16_t* text;
};

// What Qt's own Chinese leaves in English ("Folder", "Drive" of the file list) or says unnaturally
// ("体积" for a file's size, "文件名称", "目录" beside "文件夹", a space in "显示 大小").
constexpr Word kWords[] = {
    {"QAbstractFileIconProvider", "Folder", u"文件夹"},
    {"QAbstractFileIconProvider", "Drive", u"驱动器"},
    {"QFileSystemModel", "Size", u"大小"},
    {"QFileDialog", "Show ", u"显示"},
    {"QFileDialog", "File &name:", u"文件名(&N)："},
    {"QFileDialog", "Directory:", u"文件夹："},
    {"QFileDialog", "Directories", u"文件夹"},
};

// Asked before Qt's translation, since it is installed after it; answers only for its own words.
class OwnWords : public QTranslator {
 public:
  using QTranslator::QTranslator;

  bool isEmpty() const override { return false; }

  QString translate(const char* context, const char* source, const char* /*disambiguation*/,
                    int /*n*/) const override {
    if (context == nullptr || source == nullptr) return {};
    for (const Word& word : kWords) {
      if (std::strcmp(word.context, context) == 0 && std::strcmp(word.source, source) == 0) {
        return QString::fromUtf16(word.text);
      }
    }
    return {};
  }
};

}  // namespace

bool installChineseTranslations() {
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  QLocale::setDefault(chinese);
  auto* translator = new QTranslator(QCoreApplication::instance());
  const bool loaded = translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                                       QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  if (loaded) {
    QCoreApplication::installTranslator(translator);
  } else {
    delete translator;
  }
  QCoreApplication::installTranslator(new OwnWords(QCoreApplication::instance()));
  return loaded;
}

}  // namespace chengling
