// Pieces every file of the Win32 backend uses: text conversion at the API boundary, owners
// for window handles and COM pointers, the module's icon and the controls' font.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

namespace qv::ui::win32 {

// UTF-8 to UTF-16 for the W entry points, and back.
std::wstring Wide(const std::string& utf8);
std::string Narrow(const wchar_t* utf16, int length = -1);
// The text of a window or control.
std::string WindowText(HWND hwnd);

struct HwndDeleter {
  void operator()(HWND hwnd) const {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
};
using HwndPtr = std::unique_ptr<std::remove_pointer_t<HWND>, HwndDeleter>;

// Holds one reference to a COM object; released on every path.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over the one reference that the caller holds.
  explicit ComPtr(T* adopted) : ptr_(adopted) {}
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { Reset(); }
  // A reference of its own to an object the caller only borrows (a callback's argument).
  static ComPtr Share(T* borrowed) {
    if (borrowed) borrowed->AddRef();
    return ComPtr(borrowed);
  }
  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // For out-parameters: releases what is held and gives the slot.
  T** Put() {
    Reset();
    return &ptr_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  void Reset() {
    if (ptr_) std::exchange(ptr_, nullptr)->Release();
  }

 private:
  T* ptr_ = nullptr;
};

HINSTANCE Instance();
// The program icon from the resources (id QV_IDI_PROGRAM) at this size, or Windows' default
// application icon when the executable carries none (test programs).
HICON ProgramIcon(int size);
// The DPI the system draws at (the primary monitor's when the user logged on).
UINT SystemDpi();
// The DPI `hwnd` is drawn at: its monitor's where Windows scales per monitor (Windows 10
// 1703 and later, through the manifest), else the system's (Windows 7 to 10 1607).
UINT WindowDpi(HWND hwnd);
// The device pixels of `design` pixels (laid out at 96 DPI) at `dpi`.
inline int Px(int design, UINT dpi) { return MulDiv(design, static_cast<int>(dpi), 96); }
// AdjustWindowRectEx for a window drawn at `dpi`.
void AdjustFrame(RECT* rect, DWORD style, DWORD exStyle, UINT dpi);
// The font of message boxes, which holds the CJK glyphs on a Chinese system, at the size the
// 96-DPI layouts were made for scaled to `dpi`. Owned by the backend for the program's life.
HFONT UiFont(UINT dpi);
// A fixed-pitch font whose CJK characters are two columns wide, at the size of UiFont.
HFONT FixedPitchFont(UINT dpi);

// Window classes registered by the backend.
inline constexpr wchar_t kWindowClass[] = L"QuorvelWindow";
inline constexpr wchar_t kPageClass[] = L"QuorvelTabPage";
inline constexpr wchar_t kBrowserHostClass[] = L"QuorvelBrowserHost";
inline constexpr wchar_t kMessageClass[] = L"QuorvelMessages";
void RegisterWindowClasses();

// Routes WM_COMMAND of a child control to the control object stored in its user data; false
// when the command comes from no such control.
bool RouteCommand(WPARAM wParam, LPARAM lParam);

}  // namespace qv::ui::win32
