#include "ui/win32/page_browser.h"

namespace qv::ui::win32 {
namespace {

constexpr wchar_t kPageProperty[] = L"QuorvelPageBrowser";
// The fallback when WebView2 refused at once: posted, so that it too is reported from the
// loop, after the window has set its handlers.
constexpr UINT kFallBackMessage = WM_APP + 10;
constexpr UINT_PTR kStartTimer = 1;
// A runtime that starts at all creates its first page in a second or two, even on a slow
// till's first start; one that takes longer than this is stuck (no runtime process, a broken
// installation), and the shop needs its cashier page now.
constexpr int kStartSeconds = 8;
// Spelled out with the number above (a composed text trips a false -Wrestrict of g++ 12 -O3).
constexpr char kStartTimeoutReason[] = "WebView2 在 8 秒内没有启动完成";

}  // namespace

PageBrowser::PageBrowser(HWND host, Events events) : host_(host), events_(std::move(events)) {
  SetPropW(host_, kPageProperty, this);
  RECT client{};
  GetClientRect(host_, &client);
  width_ = client.right;
  height_ = client.bottom;
  WebView2Events webviewEvents;
  webviewEvents.ready = [this](const std::string& engine) { UseWebView2(engine); };
  webviewEvents.failed = [this](const std::string& reason) { FallBack(reason); };
  webviewEvents.titleChanged = [this](const std::string& title) { TitleChanged(title); };
  webview_ = WebView2Page::Start(host_, std::move(webviewEvents), whyNot_);
  if (webview_) {
    SetTimer(host_, kStartTimer, kStartSeconds * 1000, nullptr);
  } else {
    PostMessageW(host_, kFallBackMessage, 0, 0);
  }
}

PageBrowser::~PageBrowser() {
  KillTimer(host_, kStartTimer);
  RemovePropW(host_, kPageProperty);
  webview_.reset();
  fallback_.reset();
}

void PageBrowser::Navigate(const std::string& url) {
  url_ = url;
  if (!chosen_) return;
  if (webview_) webview_->Navigate(url);
  if (fallback_) fallback_->Navigate(url);
}

void PageBrowser::Resize(int width, int height) {
  width_ = width;
  height_ = height;
  if (!chosen_) return;
  if (webview_) webview_->Resize(width, height);
  if (fallback_) fallback_->Resize(width, height);
}

void PageBrowser::SetVisible(bool visible) {
  if (chosen_ && webview_) webview_->SetVisible(visible);
}

void PageBrowser::UseWebView2(const std::string& engine) {
  KillTimer(host_, kStartTimer);
  chosen_ = true;
  webview_->Resize(width_, height_);
  if (!url_.empty()) webview_->Navigate(url_);
  // The page takes the keys typed into its window, as the WebBrowser control's page does.
  if (GetFocus() == host_) webview_->Focus();
  Report(engine);
}

void PageBrowser::FallBack(const std::string& reason) {
  if (chosen_) return;
  KillTimer(host_, kStartTimer);
  chosen_ = true;
  webview_.reset();
  fallback_ = std::make_unique<BrowserHost>(
      host_, [this](const std::string& title) { TitleChanged(title); });
  fallback_->Resize(width_, height_);
  if (!url_.empty()) fallback_->Navigate(url_);
  Report("WebBrowser 控件（IE 内核），因为 WebView2 不可用：" + reason);
}

void PageBrowser::TitleChanged(const std::string& title) {
  auto handler = events_.titleChanged;  // it may destroy the window
  if (handler) handler(title);
}

void PageBrowser::Report(const std::string& engine) {
  auto handler = events_.engineChosen;
  if (handler) handler(engine);
}

LRESULT CALLBACK PageBrowser::HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<PageBrowser*>(GetPropW(hwnd, kPageProperty));
  if (self) {
    switch (message) {
      case WM_TIMER:
        if (wParam == kStartTimer) {
          self->FallBack(kStartTimeoutReason);
          return 0;
        }
        break;
      case kFallBackMessage:
        self->FallBack(self->whyNot_);
        return 0;
      case WM_SETFOCUS:
        if (self->chosen_ && self->webview_) {
          self->webview_->Focus();
          return 0;
        }
        break;
      default:
        break;
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace qv::ui::win32
