#pragma once
// The table of tabs: every tool of the program, in tab order, with what the main window shows of it
// and the factory of its window. A new tool is one more line here (and its folder, and its name in
// the tool list of the top CMakeLists.txt).

#include <vector>

#include "shell/main_window.h"

namespace chengling {

// Call once the application object exists: the icons are drawn then.
std::vector<ToolTab> toolTabs();

}  // namespace chengling
