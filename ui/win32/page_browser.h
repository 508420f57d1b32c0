// The page area of a window: WebView2 where the till has a runtime, else the WebBrowser
// control (MSHTML). WebView2 is tried first; when it cannot start, fails, or has not come up
// within a few seconds, the page goes to the WebBrowser control. Until an engine is chosen
// the latest address and size are kept and handed to it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/win32/browser_host.h"
#include "ui/win32/webview_page.h"

namespace qv::ui::win32 {

// UI thread only. Lives in the child window `host` (class kBrowserHostClass), which must
// outlive it.
class PageBrowser {
 public:
  struct Events {
    // The shown page's title changed.
    std::function<void(const std::string& title)> titleChanged;
    // The engine was chosen: its name and, for the fallback, why (once, from the loop).
    std::function<void(const std::string& engine)> engineChosen;
  };

  PageBrowser(HWND host, Events events);
  ~PageBrowser();
  PageBrowser(const PageBrowser&) = delete;
  PageBrowser& operator=(const PageBrowser&) = delete;

  // Starts loading the address (once an engine is chosen, the latest one asked for).
  void Navigate(const std::string& url);
  // Fits the page to the host's client area.
  void Resize(int width, int height);
  // Shows or hides the page with its host.
  void SetVisible(bool visible);

  // The window procedure of the host class.
  static LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void UseWebView2(const std::string& engine);
  void FallBack(const std::string& reason);
  void TitleChanged(const std::string& title);
  void Report(const std::string& engine);

  HWND host_;
  Events events_;
  std::unique_ptr<WebView2Page> webview_;  // while it starts, and when it was chosen
  std::unique_ptr<BrowserHost> fallback_;  // when WebView2 was not
  bool chosen_ = false;
  std::string whyNot_;  // why WebView2 could not start; the fallback follows from the loop
  std::string url_;     // the latest address asked for
  int width_ = 0;
  int height_ = 0;
};

}  // namespace qv::ui::win32
