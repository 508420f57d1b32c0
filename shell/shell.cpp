#include "shell/shell.h"

#include "core/config/config.h"
#include "shell/cashier_window.h"
#include "shell/debug_window.h"
#include "shell/polling_window.h"
#include "shell/program_ending.h"
#include "shell/service_window.h"
#include "shell/splash_window.h"
#include "shell/store_config_window.h"

#ifndef QV_DEFAULT_SERVER
#define QV_DEFAULT_SERVER ""
#endif
#ifndef QV_TEST_HOME_PAGE
#define QV_TEST_HOME_PAGE "about:blank"
#endif

namespace qv::shell {

ShellDeployment ShellDeployment::ForThisBuild(const std::string& programPath) {
  ShellDeployment d;
  d.programPath = programPath;
  d.defaultServer = QV_DEFAULT_SERVER;
  // The home action leads to the cashier application on its own host; with no default
  // cloud host configured the cashier host is the only address that can work.
  d.cashierHomeUrl = CashierWebUrl(d.defaultServer.empty() ? CashierWebHost() : d.defaultServer);
  d.testHomePage = QV_TEST_HOME_PAGE;
  return d;
}

Shell::Shell(const ShellContext& context, ShellDeployment deployment)
    : context_(context),
      deployment_(std::move(deployment)),
      ending_(std::make_unique<ProgramEnding>(*this)) {}

Shell::~Shell() {
  context_.toolkit.OnEndRequest(nullptr);
  context_.core.debugLog.SetView(nullptr);
  // Owned windows go before their owners (the members' reverse order does the rest).
  storeConfig_.reset();
  debug_.reset();
  polling_.reset();
}

void Shell::Start() {
  context_.toolkit.OnEndRequest(
      [this] { RequestEnd("系统会话结束（注销或关机）：正在进行的任务完成后退出"); });
  context_.core.debugLog.SetView(this);
  cashier_ = std::make_unique<CashierWindow>(*this, State().webUrl);
  splash_ = std::make_unique<SplashWindow>(*this);
}

void Shell::RequestEnd(const std::string& cause) { ending_->Request(cause); }

bool Shell::EndCutShort() const { return ending_->CutShort(); }

void Shell::OpenServiceWindow() {
  if (service_) return;
  service_ = std::make_unique<ServiceWindow>(*this, cashier_ ? &cashier_->Window() : nullptr);
  service_->Open();
}

void Shell::ShowServiceWindow() {
  OpenServiceWindow();
  if (!service_) return;
  service_->Window().Show();
  service_->Window().BringToFront();
}

void Shell::DestroyServiceWindow() {
  DestroyPollingWindow();
  DestroyDebugWindow();
  if (storeConfig_ && storeConfigOwner_ == &service_->Window()) DestroyStoreConfig();
  service_.reset();
}

void Shell::OpenStoreConfig(ui::Window* owner) {
  if (storeConfig_) {
    storeConfig_->Window().Show();
    storeConfig_->Window().BringToFront();
    return;
  }
  storeConfigOwner_ = owner;
  storeConfig_ = std::make_unique<StoreConfigWindow>(*this, owner);
}

void Shell::DestroyStoreConfig() {
  storeConfig_.reset();
  storeConfigOwner_ = nullptr;
}

void Shell::DestroySplash() { splash_.reset(); }

void Shell::CreatePollingWindow() {
  if (polling_ || !service_) return;
  polling_ = std::make_unique<PollingWindow>(*this, &service_->Window());
  polling_->Start();
}

void Shell::DestroyPollingWindow() { polling_.reset(); }

DebugWindow& Shell::OpenDebugWindow() {
  if (!debug_) {
    debug_ = std::make_unique<DebugWindow>(*this, service_ ? &service_->Window() : nullptr);
  }
  State().debugViewEnabled = true;
  return *debug_;
}

void Shell::DestroyDebugWindow() {
  State().debugViewEnabled = false;
  debug_.reset();
}

void Shell::AppendDebugText(const std::string& text) {
  // Lines arrive only while the view is on; a line after the window was closed reopens it.
  OpenDebugWindow().Append(text);
}

template <typename Work, typename Then>
void Shell::OnCloudLane(Work work, Then then) {
  ++exchanges_;
  ServiceLanes& lanes = context_.core.lanes;
  // A result that comes after the shell has gone is dropped (the ending waits for every
  // exchange, so only one that outlasted its bound can).
  RunOnLane(lanes.cloudJobs, lanes.post, self_.Weak(), std::move(work),
            [then = std::move(then)](Shell& shell, auto result) mutable {
              --shell.exchanges_;
              then(result);
            });
}

void Shell::ReportPrinterList() { SendPrinterList(Config(), nullptr); }

void Shell::CheckServer(const ServiceConfig& candidate, std::function<void(bool)> done) {
  SendPrinterList(candidate, std::move(done));
}

void Shell::SendPrinterList(const ServiceConfig& target, std::function<void(bool)> done) {
  PrinterListRequest request{target, State().macAddress, State().debug};
  OnCloudLane(
      [&printers = context_.printers, &uplink = context_.uplink, request] {
        return PrinterListReporter(printers, uplink).ReportPrinterList(request);
      },
      [this, done = std::move(done)](const PrinterListReport& report) {
        if (!report.logText.empty()) {
          context_.core.runLog.WriteRunLog(report.logText, report.logPrefix);
        }
        if (done) done(report.accepted);
      });
}

void Shell::ExportPrinterListWithMessage() {
  OnCloudLane(
      [&printers = context_.printers, directory = State().dataDirectory] {
        return ExportPrinterList(printers, directory);
      },
      [this](ExportResult result) { TellExportResult(result); });
}

void Shell::TellExportResult(ExportResult result) {
  if (result == ExportResult::NoPrinters) return;
  // An installed program writes the file into its data folder, not where the program is:
  // the message names that folder so the staff can find the file.
  const std::string where = State().dataDirectory == State().programDirectory
                                ? "软件根目录"
                                : " " + State().dataDirectory + " ";
  const std::string text = result == ExportResult::Written
                               ? "导出本机打印机列表完成，请在" + where + "查看 打印机列表.txt 文件"
                               : "导出本机打印机列表失败，程序可能无读写文件权限";
  Toolkit().ShowMessage({text, "提示", ui::MessageButtons::Ok, ui::MessageIcon::None,
                         service_ ? &service_->Window() : nullptr});
}

}  // namespace qv::shell
