#pragma once
// The two ways a run starts with the alternative folder matcher (file_collector.h: the whole
// pattern list is one pattern), as each tool has it: a right-button press on the start button
// (classification, transcoding), or Ctrl held when the run starts (split and merge).

#include <functional>

#include "foundation/file_collector.h"

class QAbstractButton;

namespace chengling {

// A click on `button` calls start(Matcher::Standard); a right-button press on it, while it is
// enabled, calls start(Matcher::Alternative) and is not seen by the button. Both go through the
// same handler, so a press on a running button is its stop click as well.
void startWithEitherMatcher(QAbstractButton* button, std::function<void(Matcher)> start);

// Matcher::Alternative while Ctrl is held, Matcher::Standard otherwise.
Matcher matcherOfKeyboard();

}  // namespace chengling
