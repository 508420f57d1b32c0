#include "shell/cashier_window.h"

#include "shell/shell.h"

namespace qv::shell {
namespace {

constexpr int kStripHeight = 50;
constexpr int kClientWidth = 1280;
constexpr int kClientHeight = 800;
constexpr ui::Size kNoticeSize{288, 64};

}  // namespace

CashierWindow::CashierWindow(Shell& shell, const std::string& url) : shell_(shell) {
  window_ = shell.Toolkit().NewWindow(
      {"Tillora", kClientWidth, kClientHeight, nullptr, ui::Resizable::Yes});
  browser_ = window_->AddWebBrowser({0, kStripHeight, kClientWidth, kClientHeight - kStripHeight});
  exitNotice_ =
      window_->AddLabel("结束任务中请稍等", {0, 0, kNoticeSize.width, kNoticeSize.height});
  exitNotice_->setAlignment(ui::TextAlign::Center);
  exitNotice_->Hide();
  ui::Button* test = window_->AddButton("按钮EX", {1080, 72, 80, 64});
  test->OnClick([this] { browser_->Navigate(shell_.Deployment().testHomePage); });
  window_->AddTitleBarAction(kSettingsAction, "设置");
  window_->AddTitleBarAction(kHomeAction, "首页");

  browser_->OnTitleChanged(
      [this](const std::string& title) { window_->SetTitle("Tillora - " + title); });
  // Which engine shows the cashier page decides whether a modern cashier application runs at
  // all (the WebBrowser control cannot run it); the shop's support reads it in the run log.
  browser_->OnEngineChosen([this](const std::string& engine) {
    shell_.Context().core.runLog.WriteRunLog("收银页面的浏览器：" + engine);
  });
  window_->OnResized([this] { LayOutBrowser(); });
  window_->OnTitleBarAction([this](int code) { OnTitleBarAction(code); });
  window_->OnCloseRequest([this] { return OnCloseRequest(); });

  browser_->Navigate(url);
  window_->Show();
}

void CashierWindow::LayOutBrowser() {
  const ui::Size client = window_->ClientSize();
  browser_->SetBounds({0, kStripHeight, client.width, client.height - kStripHeight});
}

void CashierWindow::OnTitleBarAction(int code) {
  if (code == kSettingsAction) {
    shell_.OpenStoreConfig(window_.get());
  } else if (code == kHomeAction) {
    browser_->Navigate(shell_.Deployment().cashierHomeUrl);
  }
}

ui::CloseReply CashierWindow::OnCloseRequest() {
  // The window stays until the program ends: no new poll or print starts, and the one under
  // way finishes, so a ticket is neither cut off half-printed nor left unreported. The
  // installer's close request comes this way too.
  shell_.RequestEnd("收银窗口关闭：正在进行的任务完成后退出");
  return ui::CloseReply::Refuse;
}

void CashierWindow::ShowExitNotice() {
  const ui::Size client = window_->ClientSize();
  exitNotice_->SetBounds({client.width / 2 - kNoticeSize.width / 2,
                          client.height / 2 - kNoticeSize.height / 2, kNoticeSize.width,
                          kNoticeSize.height});
  exitNotice_->Show();
}

}  // namespace qv::shell
