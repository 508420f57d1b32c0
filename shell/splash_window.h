// The splash shown while the program settles: about three seconds after start it reports the
// printer list and, when the service is to run automatically, opens the service window.
#pragma once

#include <memory>

#include "ui/toolkit.h"

namespace qv::shell {

class Shell;

class SplashWindow {
 public:
  // Creates the window (hidden when the program was started unattended) and its timer.
  explicit SplashWindow(Shell& shell);

  ui::Window& Window() { return *window_; }

 private:
  void OnTick();

  Shell& shell_;
  std::unique_ptr<ui::Window> window_;
  std::unique_ptr<ui::Timer> timer_;
  int ticks_ = 0;
};

}  // namespace qv::shell
