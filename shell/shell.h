// The desktop shell: the cashier window with the cloud cashier application, the splash, the
// service window with start/stop, the polling and debug windows, the store configuration
// window, the tray icon and the orderly shutdown. The program entry builds one Shell around
// the process-wide objects and calls Start(); everything else happens in window events and
// timers on the UI thread, and what waits on the cloud or the spooler runs on the service's
// cloud lane and comes back as a message.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/config/run_log.h"
#include "core/service/core_services.h"
#include "platform/autostart.h"
#include "shell/export_gesture.h"
#include "shell/printer_report.h"
#include "ui/toolkit.h"

namespace qv::shell {

class CashierWindow;
class SplashWindow;
class ServiceWindow;
class PollingWindow;
class DebugWindow;
class StoreConfigWindow;
class ProgramEnding;

// Values fixed when the program is built or installed.
struct ShellDeployment {
  std::string programPath;     // the executable, for the autostart entry
  std::string defaultServer;   // cloud host offered when none is configured
  std::string cashierHomeUrl;  // the cashier application's home page (title-bar home action)
  std::string testHomePage;    // the page of the cashier window's test button

  // The values this build was configured with, for the program at `programPath`.
  static ShellDeployment ForThisBuild(const std::string& programPath);
};

// The objects the shell works with; all must outlive the Shell. The printer source and the
// uplink are used on the cloud lane and must outlive its thread too.
struct ShellContext {
  ui::Toolkit& toolkit;
  CoreServices& core;  // configuration, state, logs and lanes of the service core
  PrinterSource& printers;
  PrinterListUplink& uplink;
  platform::Autostart& autostart;
};

class Shell : private DebugView {
 public:
  Shell(const ShellContext& context, ShellDeployment deployment);
  ~Shell() override;
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  // Loads CashierWindow (navigating to the configured address) and then SplashWindow.
  void Start();

  // The windows alive now (nullptr when not); for the program entry and tests.
  CashierWindow* Cashier() const { return cashier_.get(); }
  ServiceWindow* Service() const { return service_.get(); }
  PollingWindow* Polling() const { return polling_.get(); }
  DebugWindow* Debug() const { return debug_.get(); }
  StoreConfigWindow* StoreConfig() const { return storeConfig_.get(); }

  // --- used by the windows ---
  ServiceConfig& Config() const { return context_.core.config; }
  ServiceState& State() const { return context_.core.state; }
  ui::Toolkit& Toolkit() const { return context_.toolkit; }
  const ShellContext& Context() const { return context_; }
  const ShellDeployment& Deployment() const { return deployment_; }

  // Loads ServiceWindow, owned by CashierWindow, unless it exists.
  void OpenServiceWindow();
  // Shows ServiceWindow (loading it first when needed) above all other windows.
  void ShowServiceWindow();
  // Destroys ServiceWindow with the windows it owns.
  void DestroyServiceWindow();
  // Opens the store configuration window, non-modal, owned by `owner`; brings an open one to
  // the front instead.
  void OpenStoreConfig(ui::Window* owner);
  void DestroyStoreConfig();
  void DestroySplash();
  // Creates PollingWindow (which starts polling) / destroys it.
  void CreatePollingWindow();
  void DestroyPollingWindow();
  // Opens DebugWindow owned by ServiceWindow and turns the debug view on; returns it.
  DebugWindow& OpenDebugWindow();
  // Destroys DebugWindow and turns the debug view off.
  void DestroyDebugWindow();

  // Reports the printer list with the configuration in effect; returns at once.
  void ReportPrinterList();
  // Reports the printer list to the server and store of `candidate`; `done` gets whether the
  // cloud answered code 200, later, on the UI thread (even when the asking window is gone).
  void CheckServer(const ServiceConfig& candidate, std::function<void(bool accepted)> done);
  // The hidden export gesture's counter, reset when ServiceWindow is created.
  ExportGesture& Gesture() { return exportGesture_; }
  // Writes the printer list file and then tells the user, with ServiceWindow as owner.
  void ExportPrinterListWithMessage();

  // The auto-run setting the configuration window shows: what the user last saved there, or
  // the value read at start.
  bool AutoRunSetting() const { return autoRunSaved_.value_or(State().autoRunService); }
  void RememberAutoRunSetting(bool on) { autoRunSaved_ = on; }

  // Ends the program the one way every request takes (see ProgramEnding); `cause` is the
  // run-log line that says who asked. UI thread only.
  void RequestEnd(const std::string& cause);
  // Whether the ending's bound cut it short: the program must then end without waiting for
  // the service's threads.
  bool EndCutShort() const;
  // Exchanges of the shell's own (a printer list report, a server check, an export) started
  // on the cloud lane and not yet back.
  int Exchanges() const { return exchanges_; }

 private:
  void AppendDebugText(const std::string& text) override;
  void SendPrinterList(const ServiceConfig& target, std::function<void(bool)> done);
  void TellExportResult(ExportResult result);

  // Runs `work` on the cloud lane, then `then` with its result on the UI thread.
  template <typename Work, typename Then>
  void OnCloudLane(Work work, Then then);

  ShellContext context_;
  ShellDeployment deployment_;
  int exchanges_ = 0;  // started on the cloud lane and not yet back
  // Results from the cloud lane find the shell through this; it expires with the shell.
  LaneOwner<Shell> self_{*this};
  std::unique_ptr<ProgramEnding> ending_;
  ExportGesture exportGesture_;
  std::optional<bool> autoRunSaved_;
  ui::Window* storeConfigOwner_ = nullptr;

  // Destruction order matters: owned windows before their owners.
  std::unique_ptr<CashierWindow> cashier_;
  std::unique_ptr<SplashWindow> splash_;
  std::unique_ptr<ServiceWindow> service_;
  std::unique_ptr<PollingWindow> polling_;
  std::unique_ptr<DebugWindow> debug_;
  std::unique_ptr<StoreConfigWindow> storeConfig_;
};

}  // namespace qv::shell
