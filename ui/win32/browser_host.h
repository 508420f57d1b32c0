// The WebBrowser control hosted in a small OLE container of our own: client site, in-place
// site and frame (the minimum the control asks for), and a DWebBrowserEvents2 sink for title
// changes.
#pragma once

#include <functional>
#include <string>

#include "ui/win32/win32_common.h"

struct IWebBrowser2;

namespace qv::ui::win32 {

class BrowserSite;

class BrowserHost {
 public:
  // Creates the browser inside `host` (a child window that the browser fills). When the
  // control cannot be created the host stays an empty window and every operation does nothing.
  BrowserHost(HWND host, std::function<void(const std::string&)> onTitle);
  ~BrowserHost();
  BrowserHost(const BrowserHost&) = delete;
  BrowserHost& operator=(const BrowserHost&) = delete;

  // Whether the browser control exists.
  bool Created() const { return browser_ != nullptr; }
  // Starts loading the address.
  void Navigate(const std::string& url);
  // Fits the browser to the host's client area.
  void Resize(int width, int height);
  // Lets the page handle a keystroke first (Tab between fields, Delete, Ctrl+C...); true
  // when it did and the message must not be dispatched.
  bool TranslateKey(MSG& message);

 private:
  HWND host_;
  BrowserSite* site_ = nullptr;      // our object; one reference held here
  IWebBrowser2* browser_ = nullptr;  // one reference held here
  DWORD cookie_ = 0;
};

// For the message loop: a keystroke aimed at a window inside a web browser goes to that
// browser first. True when the browser handled it; false for every other window.
bool TranslateBrowserKey(MSG& message);
// Whether the window is a web page's host (whichever engine shows the page) or lies inside one.
bool InsideBrowser(HWND hwnd);

// Makes pages in this program render in the newest engine mode rather than the IE7 mode that
// embedded browsers get by default (FEATURE_BROWSER_EMULATION for the executable's name,
// under HKEY_CURRENT_USER so no administrator rights are needed).
void SetBrowserEmulation();

}  // namespace qv::ui::win32
