#include "shell/splash_window.h"

#include "shell/shell.h"

namespace qv::shell {

SplashWindow::SplashWindow(Shell& shell) : shell_(shell) {
  window_ = shell.toolkit().createWindow({"同步数据中", 224, 164, nullptr, ui::Resizable::No});
  window_->addLabel("请稍等", {64, 69, 96, 26});
  window_->onClosed([this] { shell_.DestroySplash(); });
  timer_ = shell.toolkit().createTimer([this] { OnTick(); });
  if (!shell.state().launchedWithArgs) window_->show();
  timer_->setInterval(1000);
}

void SplashWindow::OnTick() {
  if (ticks_ < 2) {
    ++ticks_;
    return;
  }
  timer_->setInterval(0);
  shell_.ReportPrinterList();
  if (shell_.state().autoRunService) {
    shell_.OpenServiceWindow();
    shell_.DestroySplash();  // last: destroys this object
  }
}

}  // namespace qv::shell
