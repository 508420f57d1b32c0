// The print service's own window: start and stop, the status and the queue length; while the
// service runs it lives in the notification area instead of on the desktop.
#pragma once

#include <memory>
#include <string>

#include "core/service/print_job.h"
#include "core/service/service_views.h"
#include "ui/toolkit.h"

namespace qv::shell {

class Shell;

// Tooltip of the tray icon: the product name.
inline constexpr char kTrayTooltip[] = "Quorvel打印服务端";

class ServiceWindow : private PrintShell {
 public:
  // Creates the window owned by `owner`, hidden.
  ServiceWindow(Shell& shell, ui::Window* owner);
  ~ServiceWindow() override;

  // The window's start: asks for a store when none is configured, starts the service and
  // goes to the tray when it is to run automatically, otherwise shows itself.
  void Open();

  ui::Window& Window() { return *window_; }
  // True from a start of the service to its stop.
  bool Running() const { return running_; }
  // The start/stop button's action: the caption decides which way it goes.
  void ToggleService();
  // Stops the print timer (stop, shutdown, or no store configured).
  void StopPrintTimer() override;
  bool PrintTimerRunning() const override { return printTimer_->Interval() > 0; }
  // Puts the tray icon up and hides the window.
  void GoToTray();

 private:
  ui::CloseReply OnCloseRequest();
  void OnRightClick();
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void OpenStoreConfig() override;
  void ShowQueueLength(const std::string& text) override;

  Shell& shell_;
  std::unique_ptr<ui::Window> window_;
  ui::Label* status_ = nullptr;
  ui::Button* startStop_ = nullptr;
  ui::Label* queueCount_ = nullptr;
  std::unique_ptr<ui::Timer> printTimer_;
  std::unique_ptr<ui::TrayIcon> tray_;
  PrintJobRunner printer_;
  bool running_ = false;
};

}  // namespace qv::shell
