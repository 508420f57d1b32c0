#include "shell/debug_window.h"

#include "shell/shell.h"

namespace qv::shell {

DebugWindow::DebugWindow(Shell& shell, ui::Window* owner) {
  window_ = shell.Toolkit().NewWindow({"Debug", 1035, 552, owner, ui::Resizable::No});
  text_ = window_->AddTextBox({0, 1, 1033, 550});
  window_->OnClosed([&shell] { shell.DestroyDebugWindow(); });
  window_->Show();
}

}  // namespace qv::shell
