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

  HWND Hwnd() const { return hwnd_.get(); }

  std::unique_ptr<ControlImpl> CreateControlImpl(ControlKind kind, const std::string& text,
                                                 const Rect& bounds, Control& control) override;
  void SetTitleImpl(const std::string& title) override;
  void SetVisibleImpl(bool visible) override;
  void SetClientSizeImpl(int width, int height) override;
  Size ClientSizeImpl() const override;
  void SetPositionImpl(int left, int top) override;
  Rect FrameBoundsImpl() const override;
  Rect WorkAreaImpl(int left, int top) const override;
  void BringToFrontImpl() override;
  void AddTitleBarActionImpl(int code, const std::string& caption) override;

  // The window procedure of the toolkit's windows and tab pages.
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // Puts the title-bar action buttons side by side at the right end of the client area's top.
  void LayOutActionButtons();

  Window& window_;
  HwndPtr hwnd_;
  DWORD style_;
  DWORD exStyle_ = 0;
  Size client_{};  // device pixels, as last reported by WM_SIZE
  // Set when the window did not fit its monitor: the first show maximises it.
  bool maximiseOnShow_ = false;
  // The buttons of the title-bar actions, first added first (rightmost); children of hwnd_.
  std::vector<HWND> actionButtons_;
};

}  // namespace qv::ui::win32
