// The program's main window: the cloud cashier application in an embedded browser below a
// 50-pixel strip, with the settings and home actions in the title bar. Closing it ends the
// program (see ProgramEnding).
#pragma once

#include <memory>

#include "ui/toolkit.h"

namespace qv::shell {

class Shell;

// Title-bar action codes of the window skin.
inline constexpr int kSettingsAction = 3;
inline constexpr int kHomeAction = 4;

class CashierWindow {
 public:
  // Creates the window and navigates to `url`; the window is shown.
  CashierWindow(Shell& shell, const std::string& url);

  ui::Window& Window() { return *window_; }
  ui::WebBrowser& Browser() { return *browser_; }
  // Shows "结束任务中请稍等" in the middle of the window while the program ends.
  void ShowExitNotice();

 private:
  void LayOutBrowser();
  ui::CloseReply OnCloseRequest();
  void OnTitleBarAction(int code);

  Shell& shell_;
  std::unique_ptr<ui::Window> window_;
  ui::WebBrowser* browser_ = nullptr;
  ui::Label* exitNotice_ = nullptr;
};

}  // namespace qv::shell
