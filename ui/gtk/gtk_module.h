// The GTK backend as a module of its own: the Linux program loads it only when it will show
// windows, so that the headless service never maps GTK, WebKitGTK or the tray library.
// Only app/ and the module's entry include this header.
#pragma once

namespace qv::ui {

class Toolkit;

// File name of the module, looked for beside the program.
inline constexpr char kGtkModuleFile[] = "quorvel-print-gtk.so";

// Name under which the module exports QvCreateGtkToolkit.
inline constexpr char kGtkModuleEntryName[] = "QvCreateGtkToolkit";

}  // namespace qv::ui

// The module's one entry point: initialises GTK and creates the toolkit, whose ownership
// passes to the caller; nullptr when no display can be opened. Unmangled, so that the program
// finds it by the name above.
extern "C" qv::ui::Toolkit* QvCreateGtkToolkit();
