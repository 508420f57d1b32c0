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
    : shell_(shell), printer_(shell.context().core, *this) {
  window_ = shell.toolkit().createWindow({"打印服务", 525, 355, owner, ui::Resizable::No});
  ui::Button* settings = window_->addButton("打印设置", {429, 314, 88, 32});
  window_->addLabel("打印服务：", {134, 120, 136, 26});
  status_ = window_->addLabel("未运行", {254, 120, 136, 26});
  startStop_ = window_->addButton(kStart, {203, 176, 112, 48});
  window_->addLabel("当前队列：", {6, 325, 80, 26});
  queueCount_ = window_->addLabel("0条", {80, 325, 128, 26});

  settings->onClick([this] { shell_.OpenStoreConfig(window_.get()); });
  startStop_->onClick([this] { ToggleService(); });
  window_->onCloseRequest([this] { return OnCloseRequest(); });
  window_->onClosed([this] { shell_.DestroyServiceWindow(); });
  window_->onRightClick([this] { OnRightClick(); });

  printTimer_ = shell.toolkit().createTimer([this] { printer_.PrintTimerTick(); });
  tray_ = shell.toolkit().createTrayIcon([this] { window_->show(); });
}

ServiceWindow::~ServiceWindow() {
  // The icon must not outlive the window it brings back.
  tray_->remove();
}

void ServiceWindow::Open() {
  ServiceState& state = shell_.state();
  shell_.exportGesture().Reset();
  if (shell_.config().sid.empty()) {
    // Without a store nothing could be polled: do not start by itself, ask for the store.
    state.autoRunService = false;
    if (!state.launchedWithArgs) shell_.OpenStoreConfig(window_.get());
  }
  if (state.autoRunService) {
    ToggleService();
    GoToTray();
  } else {
    window_->show();
  }
}

void ServiceWindow::ToggleService() {
  const ServiceState& state = shell_.state();
  if (shell_.config().sid.empty()) {
    running_ = false;
    if (!state.launchedWithArgs) {
      const std::weak_ptr<const void> alive = window_->lifetime();
      ShowMessage("请先配置门店信息", "提示");
      if (alive.expired()) return;  // this object went with its window while the box was open
      shell_.OpenStoreConfig(window_.get());
    }
    return;
  }
  if (startStop_->text() == kStart) {
    shell_.CreatePollingWindow();
    startStop_->setText(kStop);
    status_->setText("运行中");
    printTimer_->setInterval(1000);
    running_ = true;
  } else {
    startStop_->setText(kStart);
    status_->setText("已停止");
    printTimer_->setInterval(0);
    running_ = false;
    shell_.DestroyPollingWindow();
  }
}

void ServiceWindow::StopPrintTimer() { printTimer_->setInterval(0); }

void ServiceWindow::GoToTray() {
  tray_->show(kTrayTooltip);
  window_->hide();
}

ui::CloseReply ServiceWindow::OnCloseRequest() {
  if (!running_) return ui::CloseReply::Allow;
  GoToTray();
  return ui::CloseReply::Refuse;
}

void ServiceWindow::OnRightClick() {
  if (!shell_.exportGesture().Press()) return;
  PollingWindow* polling = shell_.polling();
  if (polling == nullptr) {
    ShowMessage("请先启动服务后再试", "提示");
    return;
  }
  polling->window().show();
  if (shell_.debugWindow() == nullptr) {
    ui::Window& debug = shell_.OpenDebugWindow().window();
    debug.setPosition(0, debug.frameBounds().top);
    const ui::Rect placed = debug.frameBounds();
    polling->window().setPosition(placed.left + placed.width + 2,
                                  polling->window().frameBounds().top);
  }
  shell_.ExportPrinterListWithMessage();
}

void ServiceWindow::ShowMessage(const std::string& text, const std::string& caption) {
  shell_.toolkit().showMessage(
      {text, caption, ui::MessageButtons::Ok, ui::MessageIcon::None, window_.get()});
}

void ServiceWindow::OpenStoreConfig() { shell_.OpenStoreConfig(window_.get()); }

void ServiceWindow::ShowQueueLength(const std::string& text) { queueCount_->setText(text); }

}  // namespace qv::shell
