// WebView2 in a build made without its SDK: every start fails, and the cashier page goes to
// the WebBrowser control.
#include "ui/win32/webview_page.h"

namespace qv::ui::win32 {

std::unique_ptr<WebView2Page> WebView2Page::Start(HWND, WebView2Events, std::string& whyNot) {
  whyNot = "此版本构建时没有 WebView2 SDK";
  return nullptr;
}

}  // namespace qv::ui::win32
