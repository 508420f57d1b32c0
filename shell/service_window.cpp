#include "shell/service_window.h"

#include "shell/debug_window.h"
#include "shell/polling_window.h"
#include "shell/shell.h"

namespace qv::shell {
namespace {

constexpr char kStart[] = "启动服务";
constexpr char kStop[] = "停止服务";

}  // namespace

ServiceWindow::ServiceWindow(Shell& shell, ui::Window* owner)
    : shell_(shell), printer_(shell.Context().core, *this) {
  window_ = shell.Toolkit().NewWindow({"打印服务", 525, 355, owner, ui::Resizable::No});
  ui::Button* settings = window_->AddButton("打印设置", {429, 314, 88, 32});
  window_->AddLabel("打印服务：", {134, 120, 136, 26});
  status_ = window_->AddLabel("未运行", {254, 120, 136, 26});
  startStop_ = window_->AddButton(kStart, {203, 176, 112, 48});
  window_->AddLabel("当前队列：", {6, 325, 80, 26});
  queueCount_ = window_->AddLabel("0条", {80, 325, 128, 26});

  settings->OnClick([this] { shell_.OpenStoreConfig(window_.get()); });
  startStop_->OnClick([this] { ToggleService(); });
  window_->OnCloseRequest([this] { return OnCloseRequest(); });
  window_->OnClosed([this] { shell_.DestroyServiceWindow(); });
  window_->OnRightClick([this] { OnRightClick(); });

  printTimer_ = shell.Toolkit().CreateTimer([this] { printer_.PrintTimerTick(); });
  tray_ = shell.Toolkit().CreateTrayIcon([this] { window_->Show(); });
}

ServiceWindow::~ServiceWindow() {
  // The icon must not outlive the window it brings back.
  tray_->Remove();
}

void ServiceWindow::Open() {
  ServiceState& state = shell_.State();
  shell_.Gesture().Reset();
  // Without a store nothing could be polled: do not start by itself, ask for the store.
  const bool askForStore = shell_.Config().sid.empty();
  if (askForStore) state.autoRunService = false;
  if (state.autoRunService) {
    ToggleService();
    GoToTray();
  } else {
    window_->Show();
  }
  // 设置 opens after 打印服务 is shown, so that it is the window in front: it is what the
  // staff have to fill in before anything prints.
  if (askForStore && !state.launchedWithArgs) shell_.OpenStoreConfig(window_.get());
}

void ServiceWindow::ToggleService() {
  const ServiceState& state = shell_.State();
  if (shell_.Config().sid.empty()) {
    running_ = false;
    if (!state.launchedWithArgs) {
      const std::weak_ptr<const void> alive = window_->Lifetime();
      ShowMessage("请先配置门店信息", "提示");
      if (alive.expired()) return;  // this object went with its window while the box was open
      shell_.OpenStoreConfig(window_.get());
    }
    return;
  }
  if (startStop_->Text() == kStart) {
    shell_.CreatePollingWindow();
    startStop_->SetText(kStop);
    status_->SetText("运行中");
    printTimer_->SetInterval(1000);
    running_ = true;
  } else {
    startStop_->SetText(kStart);
    status_->SetText("已停止");
    printTimer_->SetInterval(0);
    running_ = false;
    shell_.DestroyPollingWindow();
  }
}

void ServiceWindow::StopPrintTimer() { printTimer_->SetInterval(0); }

void ServiceWindow::GoToTray() {
  tray_->Show(kTrayTooltip);
  window_->Hide();
}

ui::CloseReply ServiceWindow::OnCloseRequest() {
  if (!running_) return ui::CloseReply::Allow;
  GoToTray();
  return ui::CloseReply::Refuse;
}

void ServiceWindow::OnRightClick() {
  if (!shell_.Gesture().Press()) return;
  PollingWindow* polling = shell_.Polling();
  if (polling == nullptr) {
    ShowMessage("请先启动服务后再试", "提示");
    return;
  }
  polling->Window().Show();
  if (shell_.Debug() == nullptr) {
    ui::Window& debug = shell_.OpenDebugWindow().Window();
    debug.SetPosition(0, debug.FrameBounds().top);
    const ui::Rect placed = debug.FrameBounds();
    polling->Window().SetPosition(placed.left + placed.width + 2,
                                  polling->Window().FrameBounds().top);
  }
  shell_.ExportPrinterListWithMessage();
}

void ServiceWindow::ShowMessage(const std::string& text, const std::string& caption) {
  shell_.Toolkit().ShowMessage(
      {text, caption, ui::MessageButtons::Ok, ui::MessageIcon::None, window_.get()});
}

void ServiceWindow::OpenStoreConfig() { shell_.OpenStoreConfig(window_.get()); }

void ServiceWindow::ShowQueueLength(const std::string& text) { queueCount_->SetText(text); }

}  // namespace qv::shell
