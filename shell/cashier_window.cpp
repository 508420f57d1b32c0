#include "shell/cashier_window.h"

#include "shell/polling_window.h"
#include "shell/service_window.h"
#include "shell/shell.h"

namespace qv::shell {
namespace {

constexpr int kStripHeight = 50;
constexpr int kClientWidth = 1280;
constexpr int kClientHeight = 800;
constexpr ui::Size kNoticeSize{288, 64};

}  // namespace

CashierWindow::CashierWindow(Shell& shell, const std::string& url) : shell_(shell) {
  window_ = shell.toolkit().createWindow(
      {"Tillora", kClientWidth, kClientHeight, nullptr, ui::Resizable::Yes});
  browser_ = window_->addWebBrowser({0, kStripHeight, kClientWidth, kClientHeight - kStripHeight});
  exitNotice_ =
      window_->addLabel("结束任务中请稍等", {0, 0, kNoticeSize.width, kNoticeSize.height});
  exitNotice_->setAlignment(ui::TextAlign::Center);
  exitNotice_->hide();
  ui::Button* test = window_->addButton("按钮EX", {1080, 72, 80, 64});
  test->onClick([this] { browser_->navigate(shell_.deployment().testHomePage); });
  window_->addTitleBarAction(kSettingsAction, "设置");
  window_->addTitleBarAction(kHomeAction, "首页");

  browser_->onTitleChanged(
      [this](const std::string& title) { window_->setTitle("Tillora - " + title); });
  window_->onResized([this] { LayOutBrowser(); });
  window_->onTitleBarAction([this](int code) { OnTitleBarAction(code); });
  window_->onCloseRequest([this] { return OnCloseRequest(); });

  // The exit timer lives with this window; it is stopped until a close is requested.
  exitTimer_ = shell.toolkit().createTimer([this] { OnExitTick(); });

  browser_->navigate(url);
  window_->show();
}

void CashierWindow::LayOutBrowser() {
  const ui::Size client = window_->clientSize();
  browser_->setBounds({0, kStripHeight, client.width, client.height - kStripHeight});
}

void CashierWindow::OnTitleBarAction(int code) {
  if (code == kSettingsAction) {
    shell_.OpenStoreConfig(window_.get());
  } else if (code == kHomeAction) {
    browser_->navigate(shell_.deployment().cashierHomeUrl);
  }
}

ui::CloseReply CashierWindow::OnCloseRequest() {
  const ui::Size client = window_->clientSize();
  exitNotice_->setBounds({client.width / 2 - kNoticeSize.width / 2,
                          client.height / 2 - kNoticeSize.height / 2, kNoticeSize.width,
                          kNoticeSize.height});
  exitNotice_->show();
  // No new poll or print may start; the one under way (if any) is allowed to finish, so a
  // ticket is neither cut off half-printed nor left unreported.
  if (PollingWindow* polling = shell_.polling()) polling->StopPollTimer();
  if (ServiceWindow* service = shell_.service()) service->StopPrintTimer();
  exitTimer_->setInterval(1000);
  return ui::CloseReply::Refuse;
}

void CashierWindow::OnExitTick() {
  if (shell_.Idle()) shell_.toolkit().quit(0);
}

}  // namespace qv::shell
