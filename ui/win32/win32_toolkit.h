// The Win32 toolkit backend: Win32 windows and common controls, the WebBrowser control in a
// small OLE container, the notification-area icon. Only app/ and tests include this header.
#pragma once

#include <memory>

#include "ui/toolkit.h"

namespace qv::ui {

// Initialises OLE and the common controls on the calling (UI) thread and creates the
// toolkit; nullptr when OLE cannot be initialised.
std::unique_ptr<Toolkit> CreateWin32Toolkit();

}  // namespace qv::ui
