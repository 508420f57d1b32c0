// The Win32 backend under Wine and Xvfb: windows and controls are created with their
// captions, notifications travel the real message paths (BM_CLICK, WM_CLOSE, WM_RBUTTONDOWN,
// WM_TIMER), the browser control is created and navigated to about:blank, and the tray icon
// is added and removed. Leaves a screenshot, ui_win32_smoke.png, in the working directory.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/ui/posted_tasks_check.h"
#include "ui/win32/win32_common.h"
#include "ui/win32/win32_toolkit.h"

namespace qv::ui {
namespace {

struct Child {
  HWND hwnd;
  std::wstring className;
  std::string text;
};

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM out) {
  wchar_t cls[128] = {};
  GetClassNameW(hwnd, cls, 128);
  reinterpret_cast<std::vector<Child>*>(out)->push_back({hwnd, cls, win32::WindowText(hwnd)});
  return TRUE;
}

std::vector<Child> Children(HWND parent) {
  std::vector<Child> result;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&result));
  return result;
}

HWND ChildWithText(HWND parent, const std::string& text) {
  for (const Child& c : Children(parent)) {
    if (c.text == text) return c.hwnd;
  }
  return nullptr;
}

bool HasChildClass(HWND parent, const std::wstring& cls) {
  for (const Child& c : Children(parent)) {
    if (c.className == cls) return true;
  }
  return false;
}

// The first and the last column (in the control's client coordinates) where the control,
// painted on white, has dark pixels: where its text begins and ends. {-1, -1} without any.
std::pair<int, int> InkColumns(HWND control) {
  RECT area{};
  GetClientRect(control, &area);
  HDC screen = GetDC(control);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, area.right, area.bottom);
  HGDIOBJ old = SelectObject(dc, bitmap);
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  std::pair<int, int> ink{-1, -1};
  for (int x = 0; x < area.right; ++x) {
    for (int y = 0; y < area.bottom; ++y) {
      COLORREF c = GetPixel(dc, x, y);
      if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 384) {
        if (ink.first < 0) ink.first = x;
        ink.second = x;
        break;
      }
    }
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(control, screen);
  return ink;
}

// The width of the control's text in its own font.
int TextWidth(HWND control) {
  std::wstring text = win32::Wide(win32::WindowText(control));
  HDC dc = GetDC(control);
  HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size.cx;
}

// The child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool MenuHasItem(HMENU menu, const std::string& text) {
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t item[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), item, 64, MF_BYPOSITION);
    if (win32::Narrow(item) == text) return true;
  }
  return false;
}

// Runs the toolkit's loop for about `ms` milliseconds.
void Pump(Toolkit& toolkit, int ms) {
  auto stop = toolkit.CreateTimer([&] { toolkit.Quit(0); });
  stop->SetInterval(ms);
  toolkit.Run();
}

// Wine starts Unix programs through CreateProcess; ImageMagick takes the picture. The
// process handle does not tell when the program ends, so the caller keeps the loop running.
void Screenshot(const wchar_t* file) {
  std::wstring command = std::wstring(L"import -window root ") + file;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (CreateProcessW(L"Z:\\usr\\bin\\import", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     nullptr, &startup, &process)) {
    WaitForSingleObject(process.hProcess, 20000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

TEST(Win32Smoke, WindowsControlsBrowserTrayAndMessages) {
  auto toolkit = CreateWin32Toolkit();
  ASSERT_NE(toolkit, nullptr);

  auto service = toolkit->NewWindow({.title = "打印服务", .clientWidth = 520, .clientHeight = 360});
  service->AddLabel("打印服务：", {134, 120, 136, 26});
  Label* status = service->AddLabel("未运行", {254, 120, 136, 26});
  Button* toggle = service->AddButton("启动服务", {203, 176, 112, 48});
  toggle->OnClick([&] {
    bool start = toggle->Text() == "启动服务";
    toggle->SetText(start ? "停止服务" : "启动服务");
    status->SetText(start ? "运行中" : "已停止");
  });
  int rightClicks = 0;
  service->OnRightClick([&] { ++rightClicks; });
  service->SetPosition(10, 10);
  service->Show();

  auto settings = toolkit->NewWindow(
      {.title = "设置", .clientWidth = 580, .clientHeight = 280, .owner = service.get()});
  TabPage* page = settings->AddTabPage("打印服务设置", {0, 0, 580, 280});
  page->AddLabel("服务器地址：", {11, 15, 96, 26});
  EditBox* server = page->AddEditBox("cloud.example", {102, 10, 392, 32});
  DropDownList* usb = page->AddDropDownList({123, 131, 120, 32});
  usb->AddItem("保持USB打印", 0);
  usb->AddItem("LPT1", 1);
  usb->AddItem("LPT2", 2);
  usb->SelectValue(0);
  int usbChanges = 0;
  usb->OnSelectionChanged([&] { ++usbChanges; });
  // The two captions that start left of the page, right-aligned as the shell has them.
  page->AddLabel("打印完成走纸：", {-5, 90, 111, 26})->setAlignment(TextAlign::Right);
  page->AddLabel("将USB打印替换为：", {-13, 135, 143, 26})->setAlignment(TextAlign::Right);
  CheckBox* autostart = page->AddCheckBox("开机自动启动", {8, 177, 129, 26});
  std::vector<bool> autostartSeen;
  autostart->OnClick([&] { autostartSeen.push_back(autostart->IsChecked()); });
  page->AddButton("保存", {459, 190, 96, 48});
  settings->SetPosition(540, 10);
  settings->Show();

  auto cashier = toolkit->NewWindow(
      {.title = "Tillora", .clientWidth = 500, .clientHeight = 300, .resizable = Resizable::Yes});
  WebBrowser* browser = cashier->AddWebBrowser({0, 50, 500, 250});
  cashier->AddButton("按钮EX", {400, 72, 80, 64});
  cashier->AddLabel("结束任务中请稍等", {106, 118, 288, 64})->setAlignment(TextAlign::Center);
  cashier->AddTitleBarAction(3, "设置");
  cashier->AddTitleBarAction(4, "首页");
  std::vector<int> actions;
  cashier->OnTitleBarAction([&](int code) { actions.push_back(code); });
  TextBox* debug = cashier->AddTextBox({0, 0, 500, 48});
  debug->AppendText("[12:00:01]：开始打印\r\n");
  debug->AppendText("[12:00:02]：打印完成\n");
  int resized = 0;
  cashier->OnResized([&] { ++resized; });
  cashier->SetPosition(10, 420);
  cashier->Show();
  browser->Navigate("");

  auto tray = toolkit->CreateTrayIcon([] {});
  tray->Show("Quorvel打印服务端");

  int ticks = 0;
  auto timer = toolkit->CreateTimer([&] { ++ticks; });
  timer->SetInterval(50);
  Pump(*toolkit, 1500);
  timer->SetInterval(0);
  EXPECT_GE(ticks, 3);

  HWND serviceHwnd = FindWindowW(win32::kWindowClass, L"打印服务");
  ASSERT_NE(serviceHwnd, nullptr);
  HWND settingsHwnd = FindWindowW(win32::kWindowClass, L"设置");
  ASSERT_NE(settingsHwnd, nullptr);
  EXPECT_EQ(GetWindow(settingsHwnd, GW_OWNER), serviceHwnd);
  for (const char* caption : {"打印服务：", "未运行", "启动服务"}) {
    EXPECT_NE(ChildWithText(serviceHwnd, caption), nullptr) << caption;
  }
  for (const char* caption : {"服务器地址：", "cloud.example", "开机自动启动", "保存"}) {
    EXPECT_NE(ChildWithText(settingsHwnd, caption), nullptr) << caption;
  }
  RECT client{};
  GetClientRect(serviceHwnd, &client);
  EXPECT_EQ(client.right, 520);
  EXPECT_EQ(client.bottom, 360);

  // Real notifications: a button click, a check box click, a list pick, a right click.
  SendMessageW(ChildWithText(serviceHwnd, "启动服务"), BM_CLICK, 0, 0);
  EXPECT_EQ(toggle->Text(), "停止服务");
  EXPECT_EQ(status->Text(), "运行中");
  SendMessageW(ChildWithText(settingsHwnd, "开机自动启动"), BM_CLICK, 0, 0);
  EXPECT_EQ(autostartSeen, std::vector<bool>{true});
  autostart->SetChecked(false);  // no event
  EXPECT_EQ(autostartSeen.size(), 1u);
  for (const Child& c : Children(settingsHwnd)) {
    if (c.className == L"ComboBox") {
      SendMessageW(c.hwnd, CB_SETCURSEL, 2, 0);
      SendMessageW(GetParent(c.hwnd), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(c.hwnd));
    }
  }
  EXPECT_EQ(usbChanges, 1);
  EXPECT_EQ(usb->SelectedValue(), 2);
  // Right-aligned captions end where their bounds end and begin on the page, not left of it;
  // the centred notice has as much room on either side.
  for (const auto& [text, hidden] :
       std::vector<std::pair<std::string, int>>{{"打印完成走纸：", 5}, {"将USB打印替换为：", 13}}) {
    HWND label = ChildWithText(settingsHwnd, text);
    ASSERT_NE(label, nullptr) << text;
    RECT bounds{};
    GetClientRect(label, &bounds);
    const int first = InkColumns(label).first;
    EXPECT_GE(first, hidden) << text << ": begins left of the page";
    // The first stroke lies a pixel or two inside the first character's cell.
    EXPECT_NEAR(first, bounds.right - TextWidth(label), 3) << text << ": does not end at the box";
  }
  SendMessageW(serviceHwnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
  EXPECT_EQ(rightClicks, 1);
  EXPECT_EQ(server->Text(), "cloud.example");
  EXPECT_EQ(debug->Text(), "[12:00:01]：开始打印\r\n[12:00:02]：打印完成\r\n");

  // The browser control exists (Wine's "Shell Embedding" window) and holds about:blank.
  HWND cashierHwnd = FindWindowW(win32::kWindowClass, L"Tillora");
  ASSERT_NE(cashierHwnd, nullptr);
  HWND notice = ChildWithText(cashierHwnd, "结束任务中请稍等");
  const auto [noticeFirst, noticeLast] = InkColumns(notice);
  EXPECT_NEAR(noticeFirst, 288 - 1 - noticeLast, 2) << "the notice's text is centred";

  // The title-bar actions: buttons at the right end of the top of the client area, the first
  // rightmost, and items of the window menu still.
  HWND settingsAction = ChildWithText(cashierHwnd, "设置");
  HWND homeAction = ChildWithText(cashierHwnd, "首页");
  ASSERT_NE(settingsAction, nullptr);
  ASSERT_NE(homeAction, nullptr);
  const RECT settingsAt = RectInParent(settingsAction);
  const RECT homeAt = RectInParent(homeAction);
  EXPECT_EQ(settingsAt.right, 500 - 8);
  EXPECT_LT(homeAt.right, settingsAt.left);
  EXPECT_EQ(settingsAt.top, 8);
  EXPECT_LE(settingsAt.bottom, 50) << "inside the strip above the page";
  EXPECT_EQ(ChildWindowFromPointEx(cashierHwnd, {(settingsAt.left + settingsAt.right) / 2, 20},
                                   CWP_SKIPINVISIBLE),
            settingsAction);
  SendMessageW(homeAction, BM_CLICK, 0, 0);
  SendMessageW(settingsAction, BM_CLICK, 0, 0);
  EXPECT_EQ(actions, (std::vector<int>{4, 3}));
  HMENU windowMenu = GetSystemMenu(cashierHwnd, FALSE);
  EXPECT_TRUE(MenuHasItem(windowMenu, "设置"));
  EXPECT_TRUE(MenuHasItem(windowMenu, "首页"));
  EXPECT_TRUE(HasChildClass(cashierHwnd, L"Shell Embedding"));
  // A button made after the browser lies above it.
  HWND overButton = ChildWithText(cashierHwnd, "按钮EX");
  ASSERT_NE(overButton, nullptr);
  EXPECT_EQ(ChildWindowFromPointEx(cashierHwnd, {440, 100}, CWP_SKIPINVISIBLE), overButton);
  // Keys aimed at the page go to the browser first (Tab between the page's fields).
  for (const Child& c : Children(cashierHwnd)) {
    if (c.className == win32::kBrowserHostClass) {
      PostMessageW(c.hwnd, WM_KEYDOWN, VK_TAB, 1);
      PostMessageW(c.hwnd, WM_KEYUP, VK_TAB, 1);
    }
  }
  Pump(*toolkit, 200);
  EXPECT_EQ(browser->Url(), "about:blank");
  // Pages render in the newest engine mode: the emulation value names this executable.
  DWORD mode = 0;
  DWORD size = sizeof(mode);
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER,
                         L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
                         L"FEATURE_BROWSER_EMULATION",
                         L"ui_win32_smoke.exe", RRF_RT_REG_DWORD, nullptr, &mode, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(mode, 11001u);
  cashier->SetClientSize(600, 400);
  EXPECT_EQ(cashier->ClientSize(), (Size{600, 400}));
  EXPECT_GE(resized, 1);
  EXPECT_EQ(RectInParent(settingsAction).right, 600 - 8) << "the buttons follow the right edge";

  // The picture shows the state after the clicks; Wine lets the Unix program run on its own,
  // so the windows stay up (and keep painting) for a while after starting it.
  Screenshot(L"ui_win32_smoke.png");
  Pump(*toolkit, 2000);

  // The close button asks the handler; a refused close keeps the window up.
  bool allow = false;
  int closed = 0;
  service->OnCloseRequest([&] { return allow ? CloseReply::Allow : CloseReply::Refuse; });
  service->OnClosed([&] { ++closed; });
  SendMessageW(serviceHwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindowVisible(serviceHwnd));
  allow = true;
  SendMessageW(serviceHwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(serviceHwnd));
  EXPECT_EQ(closed, 1);

  tray->Remove();
  EXPECT_FALSE(tray->IsShown());
  // Everything is torn down in an order a shell may well choose: owner first.
  service.reset();
  settings.reset();
  cashier.reset();
  Pump(*toolkit, 100);
}

// A box owned by one window keeps every window of the program: the others are disabled while
// it is open, and a close that reaches one of them anyway is refused.
TEST(Win32Smoke, MessageBoxesAreModalToTheWholeProgram) {
  auto toolkit = CreateWin32Toolkit();
  ASSERT_NE(toolkit, nullptr);
  auto service = toolkit->NewWindow({.title = "打印服务", .clientWidth = 525, .clientHeight = 355});
  int closes = 0;
  service->OnCloseRequest([&] {
    ++closes;
    return CloseReply::Allow;
  });
  service->Show();
  auto settings = toolkit->NewWindow(
      {.title = "设置", .clientWidth = 570, .clientHeight = 290, .owner = service.get()});
  settings->Show();
  Pump(*toolkit, 300);
  HWND serviceHwnd = FindWindowW(win32::kWindowClass, L"打印服务");
  HWND settingsHwnd = FindWindowW(win32::kWindowClass, L"设置");

  bool serviceEnabled = true;
  bool settingsEnabled = true;
  bool answered = false;
  auto answer = toolkit->CreateTimer([&] {
    HWND box = FindWindowW(L"#32770", L"询问");
    if (!box || answered) return;
    serviceEnabled = IsWindowEnabled(serviceHwnd);
    settingsEnabled = IsWindowEnabled(settingsHwnd);
    SendMessageW(serviceHwnd, WM_CLOSE, 0, 0);  // what a close button would send
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    answered = true;
  });
  answer->SetInterval(200);
  EXPECT_EQ(toolkit->ShowMessage({.text = "确定取消Quorvel打印服务端吗？",
                                  .caption = "询问",
                                  .buttons = MessageButtons::OkCancel,
                                  .icon = MessageIcon::Question,
                                  .owner = settings.get()}),
            MessageResult::Cancel);
  answer->SetInterval(0);
  EXPECT_TRUE(answered);
  EXPECT_FALSE(serviceEnabled) << "another window took input under the box";
  EXPECT_FALSE(settingsEnabled) << "the owner took input under its box";
  EXPECT_EQ(closes, 0);
  EXPECT_TRUE(IsWindowVisible(serviceHwnd));
  EXPECT_TRUE(IsWindowEnabled(serviceHwnd));
  EXPECT_TRUE(IsWindowEnabled(settingsHwnd));
  SendMessageW(serviceHwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(closes, 1) << "closes again once the box is answered";
  settings.reset();
  service.reset();
}

// Tasks posted from another thread run on the loop's thread, in order, and a message box's
// own loop runs them too: here the posted task is what answers the box.
TEST(Win32Smoke, PostedTasksRunOnTheLoopAndUnderAMessageBox) {
  auto toolkit = CreateWin32Toolkit();
  ASSERT_NE(toolkit, nullptr);
  ExpectPostedTasksRunOnTheLoopInOrder(*toolkit);

  bool openWhenRun = false;
  std::thread late([&] {
    Sleep(500);
    toolkit->Post([&] {
      openWhenRun = toolkit->MessageOpen();
      HWND box = FindWindowW(L"#32770", L"完成");
      if (box) PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
  });
  EXPECT_EQ(toolkit->ShowMessage({.text = "配置门店信息完成", .caption = "完成"}),
            MessageResult::Ok);
  late.join();
  EXPECT_TRUE(openWhenRun);
}

// A window larger than the work area (the 1280 x 720 screen here) is maximised into it, its
// restored size fitting as well; one that fits is centred.
TEST(Win32Smoke, FirstPlacementKeepsWindowsOnTheScreen) {
  auto toolkit = CreateWin32Toolkit();
  ASSERT_NE(toolkit, nullptr);
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  auto cashier = toolkit->NewWindow(
      {.title = "Tillora", .clientWidth = 1280, .clientHeight = 800, .resizable = Resizable::Yes});
  cashier->AddTitleBarAction(3, "设置");
  cashier->Show();
  auto service = toolkit->NewWindow({.title = "打印服务", .clientWidth = 525, .clientHeight = 355});
  service->Show();
  Pump(*toolkit, 500);

  HWND cashierHwnd = FindWindowW(win32::kWindowClass, L"Tillora");
  EXPECT_TRUE(IsZoomed(cashierHwnd));
  RECT client{};
  GetClientRect(cashierHwnd, &client);
  MapWindowPoints(cashierHwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
  EXPECT_GE(client.left, area.left);
  EXPECT_GE(client.top, area.top);
  EXPECT_LE(client.right, area.right);
  EXPECT_LE(client.bottom, area.bottom);
  EXPECT_EQ(cashier->ClientSize().width, client.right - client.left);
  WINDOWPLACEMENT placement{};
  placement.length = sizeof(placement);
  GetWindowPlacement(cashierHwnd, &placement);
  EXPECT_LE(placement.rcNormalPosition.bottom - placement.rcNormalPosition.top,
            area.bottom - area.top)
      << "restored, it fits as well";

  RECT frame{};
  GetWindowRect(FindWindowW(win32::kWindowClass, L"打印服务"), &frame);
  EXPECT_NEAR(frame.left - area.left, area.right - frame.right, 1);
  EXPECT_NEAR(frame.top - area.top, area.bottom - frame.bottom, 1);
  Screenshot(L"ui_win32_placement.png");
  Pump(*toolkit, 2000);
}

}  // namespace
}  // namespace qv::ui
