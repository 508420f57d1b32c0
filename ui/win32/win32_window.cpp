#include "ui/win32/win32_window.h"

#include <algorithm>

#include "ui/win32/win32_controls.h"

namespace qv::ui::win32 {
namespace {

// System-menu ids must stay below 0xF000 with their low four bits clear (Windows uses them).
// The action buttons carry the same ids as control ids.
constexpr UINT kFirstActionId = 0x1000;
UINT ActionId(int code) { return kFirstActionId + (static_cast<UINT>(code) << 4); }
bool IsActionId(UINT id) { return id >= kFirstActionId && id < 0xF000 && (id & 0xF) == 0; }
int ActionCode(UINT id) { return static_cast<int>((id - kFirstActionId) >> 4); }

// Where the action buttons sit: the top right corner of the client area.
constexpr int kActionTop = 8;
constexpr int kActionHeight = 34;
constexpr int kActionMargin = 8;
constexpr int kActionGap = 6;
constexpr int kActionMinWidth = 64;
constexpr int kActionPadding = 24;

// The work area (screen less the taskbar) of `monitor`.
Rect WorkArea(HMONITOR monitor) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (GetMonitorInfoW(monitor, &info)) area = info.rcWork;
  return {area.left, area.top, area.right - area.left, area.bottom - area.top};
}

// The width of a button that shows `hwnd`'s caption in the controls' font at `dpi`.
int ButtonWidth(HWND hwnd, UINT dpi) {
  std::wstring text = Wide(WindowText(hwnd));
  SIZE extent{};
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, UiFont(dpi));
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return std::max(Px(kActionMinWidth, dpi), static_cast<int>(extent.cx) + Px(kActionPadding, dpi));
}

}  // namespace

Win32WindowImpl::Win32WindowImpl(const WindowOptions& options, Window& window)
    : window_(window),
      style_(options.resizable == Resizable::Yes
                 ? WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN
                 : WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN) {
  // An owned window (hWndParent of a top-level window) stays above its owner and gets no
  // taskbar button. It opens on its owner's monitor, at that monitor's DPI; others on the
  // primary monitor, at the system's.
  HWND owner = nullptr;
  if (options.owner) owner = dynamic_cast<Win32WindowImpl&>(options.owner->WindowBackend()).Hwnd();
  const UINT dpi = owner ? WindowDpi(owner) : SystemDpi();
  RECT frame{0, 0, Px(options.clientWidth, dpi), Px(options.clientHeight, dpi)};
  AdjustFrame(&frame, style_, exStyle_, dpi);
  HMONITOR monitor = owner ? MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY)
                           : MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY);
  const Placement place = FirstPlacement({frame.right - frame.left, frame.bottom - frame.top},
                                         WorkArea(monitor), options.resizable);
  hwnd_.reset(CreateWindowExW(exStyle_, kWindowClass, Wide(options.title).c_str(), style_,
                              place.frame.left, place.frame.top, place.frame.width,
                              place.frame.height, owner, nullptr, Instance(), this));
  maximiseOnShow_ = place.maximised;
  client_ = {Px(options.clientWidth, dpi), Px(options.clientHeight, dpi)};
  // The window came out at another DPI than its monitor was thought to have.
  if (WindowDpi(Hwnd()) != dpi && !place.maximised) {
    SetClientSizeImpl(options.clientWidth, options.clientHeight);
  }
}

Win32WindowImpl::~Win32WindowImpl() {
  // Messages sent while the window is being destroyed must not reach this object any more.
  if (IsWindow(Hwnd())) SetWindowLongPtrW(Hwnd(), GWLP_USERDATA, 0);
}

std::unique_ptr<ControlImpl> Win32WindowImpl::CreateControlImpl(ControlKind kind,
                                                                const std::string& text,
                                                                const Rect& bounds,
                                                                Control& control) {
  return CreateWin32Control(Hwnd(), kind, text, bounds, control);
}

void Win32WindowImpl::SetTitleImpl(const std::string& title) {
  SetWindowTextW(Hwnd(), Wide(title).c_str());
}

void Win32WindowImpl::SetVisibleImpl(bool visible) {
  if (visible) {
    int how = IsIconic(Hwnd()) ? SW_RESTORE : SW_SHOW;
    if (maximiseOnShow_) how = SW_SHOWMAXIMIZED;
    maximiseOnShow_ = false;
    ShowWindow(Hwnd(), how);
    SetForegroundWindow(Hwnd());
  } else {
    ShowWindow(Hwnd(), SW_HIDE);
  }
}

void Win32WindowImpl::SetClientSizeImpl(int width, int height) {
  const UINT dpi = WindowDpi(Hwnd());
  RECT frame{0, 0, Px(width, dpi), Px(height, dpi)};
  AdjustFrame(&frame, style_, exStyle_, dpi);
  SetWindowPos(Hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Size Win32WindowImpl::ClientSizeImpl() const {
  RECT client{};
  Size px = client_;
  if (GetClientRect(Hwnd(), &client)) px = {client.right, client.bottom};
  const double scale = WindowDpi(Hwnd()) / 96.0;
  return {ToDesign(px.width, scale), ToDesign(px.height, scale)};
}

void Win32WindowImpl::SetPositionImpl(int left, int top) {
  SetWindowPos(Hwnd(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Rect Win32WindowImpl::WorkAreaImpl(int left, int top) const {
  return WorkArea(MonitorFromPoint({left, top}, MONITOR_DEFAULTTONEAREST));
}

Rect Win32WindowImpl::FrameBoundsImpl() const {
  RECT frame{};
  GetWindowRect(Hwnd(), &frame);
  return {frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top};
}

void Win32WindowImpl::BringToFrontImpl() {
  SetWindowPos(Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(Hwnd(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void Win32WindowImpl::AddTitleBarActionImpl(int code, const std::string& caption) {
  // The window menu (Alt+Space) keeps the actions for the keyboard; the buttons show them.
  if (HMENU menu = GetSystemMenu(Hwnd(), FALSE)) {
    AppendMenuW(menu, MF_STRING, ActionId(code), Wide(caption).c_str());
  }
  actionButtons_.push_back(CreateActionButton(Hwnd(), ActionId(code), caption));
  LayOutActionButtons();
}

void Win32WindowImpl::LayOutActionButtons() {
  const UINT dpi = WindowDpi(Hwnd());
  RECT client{};
  GetClientRect(Hwnd(), &client);
  int right = client.right - Px(kActionMargin, dpi);
  for (HWND button : actionButtons_) {
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont(dpi)), FALSE);
    const int width = ButtonWidth(button, dpi);
    MoveWindow(button, right - width, Px(kActionTop, dpi), width, Px(kActionHeight, dpi), TRUE);
    right -= width + Px(kActionGap, dpi);
  }
}

LRESULT Win32WindowImpl::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      // The shell decides: RequestClose() asks its handler and hides the window when allowed.
      window_.RequestClose();
      return 0;
    case WM_RBUTTONDOWN:
      WindowEvents::RightClick(window_);
      return 0;
    case WM_SIZE: {
      Size now{LOWORD(lParam), HIWORD(lParam)};
      if (wParam == SIZE_MINIMIZED || now == client_) break;
      client_ = now;
      LayOutActionButtons();
      WindowEvents::Resized(window_);
      return 0;
    }
    case WM_DPICHANGED: {
      // Moved to a monitor of another DPI, or the user changed the scale: controls, fonts
      // and the window's size follow, at the place Windows suggests.
      WindowEvents::ScaleChanged(window_);
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(Hwnd(), nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      LayOutActionButtons();
      return 0;
    }
    case WM_SYSCOMMAND: {
      UINT id = static_cast<UINT>(wParam & 0xFFF0);
      if (IsActionId(id)) {
        WindowEvents::TitleBarAction(window_, ActionCode(id));
        return 0;
      }
      break;
    }
    case WM_COMMAND: {
      // Our controls were routed already; what is left may be an action button.
      UINT id = LOWORD(wParam);
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0 && IsActionId(id)) {
        WindowEvents::TitleBarAction(window_, ActionCode(id));
        return 0;
      }
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(Hwnd(), message, wParam, lParam);
}

LRESULT CALLBACK Win32WindowImpl::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  if (message == WM_COMMAND && RouteCommand(wParam, lParam)) return 0;
  if (message == WM_CTLCOLORSTATIC) {
    // Labels and check boxes take the background of the window or page they sit on.
    auto dc = reinterpret_cast<HDC>(wParam);
    SetBkMode(dc, TRANSPARENT);
    return static_cast<LRESULT>(GetClassLongPtrW(hwnd, GCLP_HBRBACKGROUND));
  }
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32WindowImpl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  // Messages before CreateWindowEx returned (hwnd_ not yet set) get the default treatment.
  if (!self || self->Hwnd() != hwnd) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

}  // namespace qv::ui::win32
