#pragma once
// Saves a picture of a window once it has been shown and painted, then ends the event loop. Used by
// scripts/screenshot through the CHENGLING_SCREENSHOT variable.

#include <QString>

class QWidget;

namespace chengling {

// After `delayMs`, grabs `window` into the PNG file `path` and quits the application; the exit code
// becomes 1 when the file could not be written. When `clickFirst` names a button of the window, that
// button is clicked halfway through the delay and the picture is taken from the screen, so that the
// menu the click pops up is in it (scripts/screenshot passes CHENGLING_SCREENSHOT_CLICK).
void scheduleScreenshot(QWidget* window, const QString& path, int delayMs = 1500,
                        const QString& clickFirst = QString());

}  // namespace chengling
