// Which window toolkit runs: the platform's desktop backend, or none at all.
#pragma once

#include <memory>

#include "ui/toolkit.h"

namespace qv::app {

enum class Display { Desktop, Headless };

// The desktop toolkit of this platform, or the headless one when asked for or when no
// display can be opened (said on stderr). Never nullptr.
std::unique_ptr<ui::Toolkit> ChooseToolkit(Display wanted);

}  // namespace qv::app
