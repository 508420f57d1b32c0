// The cashier page in WebView2 (the Edge runtime), when this till has a runtime. Creation is
// asynchronous: it completes through the thread's message loop, which never waits for it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/win32/win32_common.h"

namespace qv::ui::win32 {

// What the page reports; each runs on the UI thread from the message loop, never from within
// a call of the page. A handler may destroy the page.
struct WebView2Events {
  // The page is up; `engine` names the runtime and its version for the run log.
  std::function<void(const std::string& engine)> ready;
  // Creation failed after it started; `reason` says why, for the run log.
  std::function<void(const std::string& reason)> failed;
  // The shown page's title changed.
  std::function<void(const std::string& title)> titleChanged;
};

class WebView2Page {
 public:
  virtual ~WebView2Page() = default;
  // Starts loading the address; only after `ready`.
  virtual void Navigate(const std::string& url) = 0;
  // Fits the page to the host's client area (0, 0, width, height); only after `ready`.
  virtual void Resize(int width, int height) = 0;
  // Shows or hides the page.
  virtual void SetVisible(bool visible) = 0;
  // Gives the page the keyboard focus.
  virtual void Focus() = 0;

  // Starts creating WebView2 in the child window `host`, with the loader DLL beside the
  // program and a user-data folder under the user's local application data. nullptr, with
  // `whyNot` filled, when it cannot even start (no loader, no runtime, a build without the
  // SDK); otherwise exactly one of `ready` and `failed` follows, unless the page is destroyed
  // first.
  static std::unique_ptr<WebView2Page> Start(HWND host, WebView2Events events, std::string& whyNot);
};

}  // namespace qv::ui::win32
