#pragma once
// Qt's own words (file dialogs, standard buttons, context menus of edit boxes) in Chinese, whatever
// the desktop's locale: every text a user reads is Chinese.

namespace chengling {

// Loads Qt's Simplified Chinese translations into the running application, with a few words of our
// own over them (the file dialog's list), and makes Chinese the default locale. Call once after the
// QApplication exists. False when Qt's translation files are not installed (most of Qt's words stay
// English then; nothing else changes).
bool installChineseTranslations();

}  // namespace chengling
