#include "platform/chinese_font.h"

#include <fontconfig/fontconfig.h>

namespace chengling {
namespace {

QString lookUpChineseFamily() {
  const auto* kLanguage = reinterpret_cast<const FcChar8*>("zh-cn");
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return {};
  FcPatternAddString(pattern, FC_LANG, kLanguage);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return {};
  QString family;
  FcLangSet* languages = nullptr;
  FcChar8* name = nullptr;
  // fontconfig always answers with some font; only one that covers the language is of use.
  if (FcPatternGetLangSet(match, FC_LANG, 0, &languages) == FcResultMatch &&
      FcLangSetHasLang(languages, kLanguage) == FcLangEqual &&
      FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) {
    family = QString::fromUtf8(reinterpret_cast<const char*>(name));
  }
  FcPatternDestroy(match);
  return family;
}

}  // namespace

QString chineseFontFamily() {
  static const QString family = lookUpChineseFamily();
  return family;
}

}  // namespace chengling
