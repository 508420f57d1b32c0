#include "shell/splash_window.h"

#include "shell/shell.h"

namespace qv::shell {

SplashWindow::SplashWindow(Shell& shell) : shell_(shell) {
  window_ = shell.Toolkit().NewWindow({"同步数据中", 224, 164, nullptr, ui::Resizable::No});
  window_->AddLabel("请稍等", {64, 69, 96, 26});
  window_->OnClosed([this] { shell_.DestroySplash(); });
  timer_ = shell.Toolkit().CreateTimer([this] { OnTick(); });
  if (!shell.State().launchedWithArgs) window_->Show();
  timer_->SetInterval(1000);
}

void SplashWindow::OnTick() {
  if (ticks_ < 2) {
    ++ticks_;
    return;
  }
  timer_->SetInterval(0);
  shell_.ReportPrinterList();
  if (shell_.State().autoRunService) {
    shell_.OpenServiceWindow();
    shell_.DestroySplash();  // last: destroys this object
  }
}

}  // namespace qv::shell
