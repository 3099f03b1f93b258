#include "shell/store_messages.h"

#include "platform/message_box.h"
#include "platform/qt_text.h"
#include "shell/settings_store.h"

using namespace Qt::Literals::StringLiterals;

namespace chengling {

void attachStoreMessages(SettingsStore& store) {
  store.setFailureNotice([](std::string_view message, std::string_view detail) {
    showMessage(nullptr, toQString(message), u"岚舟："_s, MessageIcon::Warning);
    showMessage(nullptr, toQString(detail), {}, MessageIcon::None);
  });
}

}  // namespace chengling
