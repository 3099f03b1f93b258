#pragma once
// Keyboard state as the desktop reports it at the moment of the call.

namespace chengling {

// True while a Ctrl key is held down (read from the window system, not from the last event).
bool ctrlHeld();

}  // namespace chengling
