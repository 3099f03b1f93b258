#pragma once
// Small helpers every tool window shares: a wait that keeps the window painting, a caption that
// flashes a confirmation, and the status label laid over a progress bar.

#include <QString>

class QAbstractButton;
class QLabel;
class QProgressBar;
class QWidget;

namespace chengling {

// While fewer than `milliseconds` have been counted and `stop` is false: sleeps 10 ms, then lets
// pending window events run; each pass counts 10 ms. `stop` is read before every pass, so a flag
// already set returns at once. Returns the number of passes made.
int WaitWithEvents(int milliseconds, const bool& stop);

// Shows `transient` for 500 ms (waiting with events), then `resting`, even if the user clicked
// elsewhere meanwhile. Safe when the control goes away during the wait.
void FlashCaption(QAbstractButton* control, const QString& transient, const QString& resting);

// Puts `label` inside `bar` at left 10, top 0, width = bar width - 10, height = bar height, so
// status texts appear on the bar; the label follows the bar when it is resized.
void attachProgressOverlay(QProgressBar* bar, QLabel* label);
// The same for a window's "进度条" and "透明标签"; false when it lacks either.
bool attachProgressOverlay(QWidget* window);

}  // namespace chengling
