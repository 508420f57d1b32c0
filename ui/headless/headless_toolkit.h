// The toolkit without a screen: windows and controls live in memory, message boxes go to
// stderr and are answered with their first button (OK), and the loop runs the timers.
// Only app/ and tests include this header.
#pragma once

#include <memory>

#include "ui/toolkit.h"

namespace qv::ui {

// Creates the headless toolkit. Its Run() returns Quit()'s code, or 0 at once when no timer
// is running and no posted task waits (nothing the loop drives could happen again).
std::unique_ptr<Toolkit> CreateHeadlessToolkit();

}  // namespace qv::ui
