#include "ui/win32/win32_toolkit.h"

#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "ui/backend.h"
#include "ui/win32/browser_host.h"
#include "ui/win32/page_browser.h"
#include "ui/win32/win32_common.h"
#include "ui/win32/win32_window.h"

namespace qv::ui {
namespace {

using win32::HwndPtr;
using win32::Wide;

constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT kPostedMessage = WM_APP + 2;

// What the message window does at the session's end.
struct SessionEndHandlers {
  std::function<void()> onRequest;  // the program's ending starts (or goes on)
  std::function<bool()> holding;    // true while the program asks the session to wait
  std::function<bool()> quitting;   // true once the program's ending has finished
};

// A hidden top-level window of the toolkit: it receives the timers' WM_TIMER, the tray
// icons' callbacks, the wakes for posted tasks, and what is sent to top-level windows only:
// the "TaskbarCreated" broadcast and the session's end.
class MessageWindow {
 public:
  // `onPosted` runs the posted tasks.
  MessageWindow(std::function<void()> onPosted, SessionEndHandlers sessionEnd)
      : hwnd_(CreateWindowExW(0, win32::kMessageClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                              nullptr, win32::Instance(), nullptr)),
        taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")),
        onPosted_(std::move(onPosted)),
        sessionEnd_(std::move(sessionEnd)) {
    SetWindowLongPtrW(hwnd_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~MessageWindow() { SetWindowLongPtrW(hwnd_.get(), GWLP_USERDATA, 0); }

  HWND Hwnd() const { return hwnd_.get(); }
  UINT_PTR AddTimer(Timer& timer) {
    timers_[nextId_] = &timer;
    return nextId_++;
  }
  void RemoveTimer(UINT_PTR id) { timers_.erase(id); }
  UINT AddTray(class Win32Tray& tray) {
    trays_[nextTray_] = &tray;
    return nextTray_++;
  }
  void RemoveTray(UINT id) { trays_.erase(id); }

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void EndSession();

  HwndPtr hwnd_;
  UINT taskbarCreated_;
  std::function<void()> onPosted_;
  SessionEndHandlers sessionEnd_;
  std::map<UINT_PTR, Timer*> timers_;
  std::map<UINT, class Win32Tray*> trays_;
  UINT_PTR nextId_ = 1;
  UINT nextTray_ = 1;
};

class Win32Timer : public TimerImpl {
 public:
  Win32Timer(MessageWindow& messages, Timer& timer)
      : messages_(messages), id_(messages.AddTimer(timer)) {}
  ~Win32Timer() override {
    StopImpl();
    messages_.RemoveTimer(id_);
  }
  // SetTimer with the same id replaces the running one: the count starts again.
  void StartImpl(int ms) override {
    SetTimer(messages_.Hwnd(), id_, static_cast<UINT>(ms), nullptr);
  }
  void StopImpl() override { KillTimer(messages_.Hwnd(), id_); }

 private:
  MessageWindow& messages_;
  UINT_PTR id_;
};

class Win32Tray : public TrayIconImpl {
 public:
  Win32Tray(MessageWindow& messages, TrayIcon& icon)
      : messages_(messages), icon_(icon), id_(messages.AddTray(*this)) {}
  ~Win32Tray() override {
    RemoveImpl();
    messages_.RemoveTray(id_);
  }

  void ShowImpl(const std::string& tooltip) override {
    tooltip_ = Wide(tooltip);
    NOTIFYICONDATAW data = Describe();
    const bool up = shown_ || forBalloon_;
    if (!Shell_NotifyIconW(up ? NIM_MODIFY : NIM_ADD, &data) && up) {
      Shell_NotifyIconW(NIM_ADD, &data);  // the taskbar lost it
    }
    shown_ = true;
    forBalloon_ = false;
  }
  void RemoveImpl() override {
    if (!shown_ && !forBalloon_) return;
    NOTIFYICONDATAW data = Describe();
    Shell_NotifyIconW(NIM_DELETE, &data);
    shown_ = false;
    forBalloon_ = false;
  }
  // A balloon comes from an icon: when ours is not up, it is put up for the balloon's time
  // and taken down when the balloon goes.
  void NotifyImpl(const std::string& title, const std::string& text, AlertSound sound) override {
    NOTIFYICONDATAW data = Describe();
    data.uFlags |= NIF_INFO;
    lstrcpynW(data.szInfo, Wide(text).c_str(), static_cast<int>(std::size(data.szInfo)));
    lstrcpynW(data.szInfoTitle, Wide(title).c_str(), static_cast<int>(std::size(data.szInfoTitle)));
    data.dwInfoFlags = NIIF_WARNING | (sound == AlertSound::On ? 0 : NIIF_NOSOUND);
    const bool up = shown_ || forBalloon_;
    if (Shell_NotifyIconW(up ? NIM_MODIFY : NIM_ADD, &data) && !up) forBalloon_ = true;
  }
  // Explorer restarted: put the icon back.
  void Restore() {
    if (!shown_) return;
    NOTIFYICONDATAW data = Describe();
    Shell_NotifyIconW(NIM_ADD, &data);
  }
  void Mouse(UINT event) {
    switch (event) {
      case NIN_BALLOONTIMEOUT:
      case NIN_BALLOONHIDE:
        EndBalloon();
        break;
      case NIN_BALLOONUSERCLICK:
        // A click on the alert opens what a click on the icon opens.
        EndBalloon();
        icon_.Click();
        break;
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP:
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
        icon_.Click();
        break;
      default:
        break;
    }
  }

 private:
  NOTIFYICONDATAW Describe() const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = messages_.Hwnd();
    data.uID = id_;
    data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = win32::ProgramIcon(GetSystemMetrics(SM_CXSMICON));
    lstrcpynW(data.szTip, tooltip_.c_str(), static_cast<int>(std::size(data.szTip)));
    return data;
  }

  void EndBalloon() {
    if (!forBalloon_) return;
    NOTIFYICONDATAW data = Describe();
    Shell_NotifyIconW(NIM_DELETE, &data);
    forBalloon_ = false;
  }

  MessageWindow& messages_;
  TrayIcon& icon_;
  UINT id_;
  std::wstring tooltip_;
  bool shown_ = false;
  bool forBalloon_ = false;  // up only for a balloon, not shown by the program
};

LRESULT MessageWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    auto it = timers_.find(wParam);
    // The tick may destroy the timer (and this entry): nothing is used afterwards.
    if (it != timers_.end()) it->second->Tick();
    return 0;
  }
  if (message == kTrayMessage) {
    auto it = trays_.find(static_cast<UINT>(wParam));
    if (it != trays_.end()) it->second->Mouse(LOWORD(lParam));
    return 0;
  }
  if (message == kPostedMessage) {
    onPosted_();
    return 0;
  }
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    for (auto& [id, tray] : trays_) tray->Restore();
    return 0;
  }
  if (message == WM_QUERYENDSESSION) {
    // The ending starts now; while a ticket or a poll is in hand the program has put up its
    // reason, and the answer asks the session to wait for it.
    sessionEnd_.onRequest();
    return sessionEnd_.holding() ? FALSE : TRUE;
  }
  if (message == WM_ENDSESSION) {
    if (wParam) EndSession();
    return 0;
  }
  return DefWindowProcW(Hwnd(), message, wParam, lParam);
}

// Once this message returns the system may end the process at any moment, so the whole
// ending (its wait included, which the program bounds) runs inside it; the loop's end is
// then passed on to the outer loop, which tears the program down if it still can.
void MessageWindow::EndSession() {
  sessionEnd_.onRequest();
  if (sessionEnd_.quitting()) return;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  PostQuitMessage(0);
}

LRESULT CALLBACK MessageWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

UINT MessageFlags(const MessageBoxOptions& box) {
  UINT flags = box.buttons == MessageButtons::OkCancel ? MB_OKCANCEL : MB_OK;
  switch (box.icon) {
    case MessageIcon::Information:
      flags |= MB_ICONINFORMATION;
      break;
    case MessageIcon::Question:
      flags |= MB_ICONQUESTION;
      break;
    case MessageIcon::Warning:
      flags |= MB_ICONWARNING;
      break;
    case MessageIcon::Error:
      flags |= MB_ICONERROR;
      break;
    case MessageIcon::None:
      break;
  }
  // Without an owner the box blocks every window of the program.
  if (!box.owner) flags |= MB_TASKMODAL;
  return flags;
}

// A box with an owner disables only that owner. For as long as it lives, this disables every
// other enabled top-level window of the thread (so the program's other windows can be neither
// used nor closed), and then enables them again. The owner is left to the box, which enables
// it before it goes, so that the owner and not another program gets the focus back.
class OtherWindowsDisabled {
 public:
  explicit OtherWindowsDisabled(HWND owner) : owner_(owner) {
    EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(this));
    for (HWND hwnd : disabled_) EnableWindow(hwnd, FALSE);
  }
  ~OtherWindowsDisabled() {
    for (HWND hwnd : disabled_) {
      if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
    }
  }
  OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
  OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

 private:
  static BOOL CALLBACK Collect(HWND hwnd, LPARAM data) {
    auto* self = reinterpret_cast<OtherWindowsDisabled*>(data);
    if (hwnd != self->owner_ && IsWindowEnabled(hwnd)) self->disabled_.push_back(hwnd);
    return TRUE;
  }

  HWND owner_;
  std::vector<HWND> disabled_;
};

class Win32Toolkit : public Toolkit {
 public:
  Win32Toolkit() = default;
  ~Win32Toolkit() override {
    messages_.reset();
    OleUninitialize();
  }
  void Start() {
    messages_ = std::make_unique<MessageWindow>(
        [this] { RunPosted(); },
        SessionEndHandlers{[this] { EndRequested(); }, [this] { return holding_; },
                           [this] { return Quitting(); }});
  }

 protected:
  std::unique_ptr<WindowImpl> CreateWindowImpl(const WindowOptions& options,
                                               Window& window) override {
    return std::make_unique<win32::Win32WindowImpl>(options, window);
  }
  std::unique_ptr<TimerImpl> CreateTimerImpl(Timer& timer) override {
    return std::make_unique<Win32Timer>(*messages_, timer);
  }
  std::unique_ptr<TrayIconImpl> CreateTrayIconImpl(TrayIcon& icon) override {
    return std::make_unique<Win32Tray>(*messages_, icon);
  }
  MessageResult ShowMessageImpl(const MessageBoxOptions& box) override {
    HWND owner = nullptr;
    if (box.owner) owner = dynamic_cast<win32::Win32WindowImpl&>(box.owner->WindowBackend()).Hwnd();
    std::optional<OtherWindowsDisabled> others;
    if (owner) others.emplace(owner);
    int answer =
        MessageBoxW(owner, Wide(box.text).c_str(), Wide(box.caption).c_str(), MessageFlags(box));
    if (box.buttons == MessageButtons::Ok) return MessageResult::Ok;
    return answer == IDOK ? MessageResult::Ok : MessageResult::Cancel;
  }

  void RunImpl() override {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      // Keys typed into the cashier page belong to the page (Tab between its fields, Enter
      // to submit), not to the dialog navigation below.
      if (win32::TranslateBrowserKey(message)) continue;
      // Tab and Enter move between the controls of a window as in a dialog, except inside a
      // web page, where the page decides.
      HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
      if (root && !win32::InsideBrowser(message.hwnd) && IsDialogMessageW(root, &message)) {
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  void QuitImpl() override { PostQuitMessage(0); }
  void HoldSessionEndImpl(const std::string& reason) override {
    if (reason.empty()) {
      if (holding_) ShutdownBlockReasonDestroy(messages_->Hwnd());
      holding_ = false;
      return;
    }
    holding_ = ShutdownBlockReasonCreate(messages_->Hwnd(), Wide(reason).c_str()) != FALSE;
  }
  // Posted messages are delivered by every loop of the thread, a message box's included.
  void WakeImpl() override { PostMessageW(messages_->Hwnd(), kPostedMessage, 0, 0); }

 private:
  std::unique_ptr<MessageWindow> messages_;
  bool holding_ = false;  // a reason to hold the session's end is up
};

void RegisterClass(const wchar_t* name, WNDPROC proc, int background, HICON icon) {
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof(cls);
  cls.lpfnWndProc = proc;
  cls.hInstance = win32::Instance();
  cls.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
  cls.hbrBackground = GetSysColorBrush(background);
  cls.hIcon = icon;
  cls.hIconSm = icon ? win32::ProgramIcon(GetSystemMetrics(SM_CXSMICON)) : nullptr;
  cls.lpszClassName = name;
  RegisterClassExW(&cls);  // fails harmlessly when a second toolkit registers again
}

}  // namespace

namespace win32 {

void RegisterWindowClasses() {
  HICON icon = ProgramIcon(GetSystemMetrics(SM_CXICON));
  RegisterClass(kWindowClass, Win32WindowImpl::WindowProc, COLOR_BTNFACE, icon);
  RegisterClass(kPageClass, Win32WindowImpl::WindowProc, COLOR_WINDOW, nullptr);
  RegisterClass(kBrowserHostClass, PageBrowser::HostProc, COLOR_WINDOW, nullptr);
  RegisterClass(kMessageClass, MessageWindow::Proc, COLOR_BTNFACE, nullptr);
}

}  // namespace win32

std::unique_ptr<Toolkit> CreateWin32Toolkit() {
  // The browser control and its events need a single-threaded apartment on this thread.
  if (FAILED(OleInitialize(nullptr))) return nullptr;
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  win32::SetBrowserEmulation();
  win32::RegisterWindowClasses();
  auto toolkit = std::make_unique<Win32Toolkit>();
  toolkit->Start();
  return toolkit;
}

}  // namespace qv::ui
