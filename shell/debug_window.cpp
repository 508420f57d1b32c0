#include "shell/debug_window.h"

#include "shell/shell.h"

namespace qv::shell {

DebugWindow::DebugWindow(Shell& shell, ui::Window* owner) {
  window_ = shell.toolkit().createWindow({"Debug", 1035, 552, owner, ui::Resizable::No});
  text_ = window_->addTextBox({0, 1, 1033, 550});
  window_->onClosed([&shell] { shell.DestroyDebugWindow(); });
  window_->show();
}

}  // namespace qv::shell
