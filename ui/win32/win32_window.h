// Win32 top-level and owned windows behind ui::Window.
#pragma once

#include <vector>

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
  // Puts the title-bar action buttons side by side at the right end of the client area's top.
  void layOutActionButtons();

  Window& window_;
  HwndPtr hwnd_;
  DWORD style_;
  DWORD exStyle_ = 0;
  Size client_{};
  // Set when the window did not fit its monitor: the first show maximises it.
  bool maximiseOnShow_ = false;
  // The buttons of the title-bar actions, first added first (rightmost); children of hwnd_.
  std::vector<HWND> actionButtons_;
};

}  // namespace qv::ui::win32
