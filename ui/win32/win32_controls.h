// Win32 controls behind the toolkit's public control types.
#pragma once

#include <memory>
#include <string>

#include "ui/backend.h"
#include "ui/win32/win32_common.h"

namespace qv::ui::win32 {

// Creates the native control of `kind` as a child of `parent`.
std::unique_ptr<ControlImpl> CreateWin32Control(HWND parent, ControlKind kind,
                                                const std::string& text, const Rect& bounds,
                                                Control& control);

// Creates a push button child of `parent` that reports its clicks as WM_COMMAND with `id`
// (it is no control of the toolkit's); the caller places it.
HWND CreateActionButton(HWND parent, UINT id, const std::string& caption);

}  // namespace qv::ui::win32
