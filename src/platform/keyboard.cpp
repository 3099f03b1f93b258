#include "platform/keyboard.h"

#include <QGuiApplication>

namespace chengling {

bool ctrlHeld() { return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier); }

}  // namespace chengling
