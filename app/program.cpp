#include "app/program.h"

#include <algorithm>

#include "app/printer_list_adapters.h"
#include "app/shared_transport.h"
#include "app/toolkit_choice.h"
#include "cloud/system_queries.h"
#include "core/config/startup.h"
#include "core/service/ui_thread.h"
#include "core/wiring/print_service.h"
#include "platform/autostart.h"
#include "platform/file_system.h"
#include "platform/http_transport.h"
#include "platform/process.h"
#include "platform/termination.h"
#include "printer/lpt_printer.h"
#include "printer/network_printer.h"
#include "printer/spooler_printer.h"
#include "shell/shell.h"

namespace qv::app {
namespace {

// The start sequence's view of the world outside the service core.
class ProgramEnvironment : public StartupEnvironment {
 public:
  explicit ProgramEnvironment(ui::Toolkit& toolkit) : toolkit_(toolkit) {}

  void ShowMessage(const std::string& text, const std::string& caption) override {
    toolkit_.ShowMessage({text, caption, ui::MessageButtons::Ok, ui::MessageIcon::Information});
  }
  std::string MacAddress() override { return ReadMacAddress(); }
  std::unique_ptr<platform::InstanceLock> AcquireInstance(const std::string& name) override {
    return platform::InstanceLock::Acquire(name);
  }
  void LaunchDetached(const std::string& path, const std::string& workingDir) override {
    platform::LaunchDetached(path, workingDir);
  }
  std::string MachineDataDirectory() override { return platform::MachineDataDirectory(); }

 private:
  ui::Toolkit& toolkit_;
};

// Removes our own option from the arguments, so that it does not count as the unattended
// start that any other argument means.
bool TakeOption(std::vector<std::string>& args, const std::string& option) {
  const auto it = std::find(args.begin(), args.end(), option);
  if (it == args.end()) return false;
  args.erase(it);
  return true;
}

}  // namespace

int RunProgram(std::vector<std::string> args) {
  const Display display = TakeOption(args, "--headless") ? Display::Headless : Display::Desktop;
  // This thread runs the loop and owns the service's state; debug builds stop at any other
  // thread that runs code meant for it.
  BindUiThread();

  // The process-wide objects live until RunProgram returns; their destructors are the exit
  // clean-up, in the reverse order of their creation.
  ServiceConfig config;
  ServiceState state;
  NetworkPrinter networkPrinter;
  SpoolerPrinter spoolerPrinter;
  LptPrinter lptPrinter;
  std::unique_ptr<platform::Clock> clock = platform::Clock::Create();
  std::unique_ptr<ui::Toolkit> toolkit = ChooseToolkit(display);

  ProgramEnvironment environment(*toolkit);
  std::unique_ptr<platform::InstanceLock> instance;
  if (RunStartSequence(args, platform::ProgramDirectory(), environment, config, state, instance) ==
      StartOutcome::SecondInstance) {
    return 0;
  }
  lptPrinter.SetPortPaths(state.extra.lpt1Path, state.extra.lpt2Path);

  RunLog runLog(state.logDirectory, *clock);
  DebugLog debugLog(state.debugViewEnabled, *clock);
  // Support asks first where config.ini, the log and the queued tickets are: beside the
  // program or in the machine's data folder.
  runLog.WriteRunLog("程序启动，数据目录：" + state.dataDirectory);
  // A stop from the system (the user service stopped, a package upgrade, the machine shutting
  // down) ends the program the way closing its window does, once the shell exists; before
  // that nothing has been fetched and the loop simply ends. The request reaches the UI
  // thread through the loop, where `endTarget` is read and set.
  shell::Shell* endTarget = nullptr;
  const platform::TerminationHandler onTermination([&toolkit = *toolkit, &runLog, &endTarget] {
    toolkit.Post([&toolkit, &runLog, &endTarget] {
      const std::string cause = "收到系统的结束请求：正在打印的小票完成并上报后退出";
      if (endTarget) return endTarget->RequestEnd(cause);
      runLog.WriteRunLog(cause);
      toolkit.Quit(0);
    });
  });
  if (const std::string note = platform::TlsVersionNote(); !note.empty()) {
    runLog.WriteRunLog(note);
  }
  if (!state.extra.tlsVerify) {
    runLog.WriteRunLog("config.ini 中 tls_verify=0：已关闭云端服务器证书验证，仅限测试使用");
  }
  // The generic poll and report lines say only that an answer was unusable; the transport's
  // reason (a certificate, a timeout, a refused redirect) is what the shop's support needs.
  // Requests run on the service's threads; the note is written on the window's thread, in
  // order with the results that follow it.
  const PostToUi post = [&toolkit = *toolkit](std::function<void()> job) {
    toolkit.Post(std::move(job));
  };
  const PostToUi postUnhurried = [&toolkit = *toolkit](std::function<void()> job) {
    toolkit.PostUnhurried(std::move(job));
  };
  const CloudFailureNote noteFailure = [post, &runLog, &debugLog](const std::string& line) {
    post([&runLog, &debugLog, line] {
      runLog.WriteRunLog(line);
      debugLog.DebugLine(line);
    });
  };
  OpenTaskJournal(state, runLog);
  // What the lanes' jobs use is made before the service, whose end joins the lanes' threads;
  // their results come back through the toolkit's loop, which outlives the service.
  SpoolerPrinterSource printers(platform::Spooler::Create());
  // The polls and the shell's printer-list reports run on one thread and share a kept
  // connection; the result reports, on the printer thread, have one of their own so that a
  // slow poll never holds a ticket's report back.
  SharedHttpTransport cloudLaneTransport(platform::HttpTransport::Create());
  CloudPrinterListUplink uplink(state.extra, *clock, cloudLaneTransport, noteFailure);
  const auto restUntilPosted = [&toolkit = *toolkit] { return toolkit.RestUntilPosted(); };
  PrintService service(
      config, state, runLog, debugLog, *clock, post, postUnhurried, restUntilPosted,
      {cloudLaneTransport.NewHandle(), platform::HttpTransport::Create(), noteFailure},
      networkPrinter, spoolerPrinter, lptPrinter);

  std::unique_ptr<platform::Autostart> autostart = platform::Autostart::Create();
  shell::Shell shell({*toolkit, service.Services(), printers, uplink, *autostart},
                     shell::ShellDeployment::ForThisBuild(platform::ProgramPath()));
  endTarget = &shell;
  shell.Start();
  const int exitCode = toolkit->Run();
  endTarget = nullptr;
  // The journal and the run log are written; a thread still in an exchange that outlasted the
  // ending's bound would hold the joins below up for as long as the cloud or printer likes.
  if (shell.EndCutShort()) platform::EndProcessNow(exitCode);
  return exitCode;
}

}  // namespace qv::app
