// Win32 top-level and owned windows behind ui::Window.
#pragma once

#include "ui/backend.h"
#include "ui/win32/win32_common.h"

namespace qv::ui::win32 {

class Win32WindowImpl : public WindowImpl {
 public:
  Win32WindowImpl(const WindowOptions& options, Window& window);
  ~Win32WindowImpl() override;

  HWND hwnd() const { return hwnd_.get(); }

  std::unique_ptr<ControlImpl> createControlImpl(ControlKind kind, const std::string& text,
                                                 const Rect& bounds, Control& control) override;
  void setTitleImpl(const std::string& title) override;
  void setVisibleImpl(bool visible) override;
  void setClientSizeImpl(int width, int height) override;
  Size clientSizeImpl() const override;
  void setPositionImpl(int left, int top) override;
  Rect frameBoundsImpl() const override;
  void bringToFrontImpl() override;
  void addTitleBarActionImpl(int code, const std::string& caption) override;

  // The window procedure of the toolkit's windows and tab pages.
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  Window& window_;
  HwndPtr hwnd_;
  DWORD style_;
  DWORD exStyle_ = 0;
  Size client_{};
};

}  // namespace qv::ui::win32
