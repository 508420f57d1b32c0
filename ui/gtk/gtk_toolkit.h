// The GTK 3 toolkit backend (Linux desktop): GtkFixed keeps the design positions, WebKitGTK
// shows web pages, an Ayatana indicator stands for the tray icon. Only the module's entry
// (gtk_module.cpp) and tests include this header; the program loads the module.
#pragma once

#include <memory>

#include "ui/toolkit.h"

namespace qv::ui {

// Initialises GTK and creates the toolkit; nullptr when no display can be opened.
std::unique_ptr<Toolkit> CreateGtkToolkit();

}  // namespace qv::ui
