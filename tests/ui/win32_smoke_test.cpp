// The Win32 backend under Wine and Xvfb: windows and controls are created with their
// captions, notifications travel the real message paths (BM_CLICK, WM_CLOSE, WM_RBUTTONDOWN,
// WM_TIMER), the browser control is created and navigated to about:blank, and the tray icon
// is added and removed. Leaves a screenshot, ui_win32_smoke.png, in the working directory.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Runs the toolkit's loop for about `ms` milliseconds.
void Pump(Toolkit& toolkit, int ms) {
  auto stop = toolkit.createTimer([&] { toolkit.quit(0); });
  stop->setInterval(ms);
  toolkit.run();
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

  auto service =
      toolkit->createWindow({.title = "打印服务", .clientWidth = 520, .clientHeight = 360});
  service->addLabel("打印服务：", {134, 120, 136, 26});
  Label* status = service->addLabel("未运行", {254, 120, 136, 26});
  Button* toggle = service->addButton("启动服务", {203, 176, 112, 48});
  toggle->onClick([&] {
    bool start = toggle->text() == "启动服务";
    toggle->setText(start ? "停止服务" : "启动服务");
    status->setText(start ? "运行中" : "已停止");
  });
  int rightClicks = 0;
  service->onRightClick([&] { ++rightClicks; });
  service->setPosition(10, 10);
  service->show();

  auto settings = toolkit->createWindow(
      {.title = "设置", .clientWidth = 580, .clientHeight = 280, .owner = service.get()});
  TabPage* page = settings->addTabPage("打印服务设置", {0, 0, 580, 280});
  page->addLabel("服务器地址：", {11, 15, 96, 26});
  EditBox* server = page->addEditBox("cloud.example", {102, 10, 392, 32});
  DropDownList* usb = page->addDropDownList({123, 131, 120, 32});
  usb->addItem("保持USB打印", 0);
  usb->addItem("LPT1", 1);
  usb->addItem("LPT2", 2);
  usb->selectValue(0);
  int usbChanges = 0;
  usb->onSelectionChanged([&] { ++usbChanges; });
  CheckBox* autostart = page->addCheckBox("开机自动启动", {8, 177, 129, 26});
  std::vector<bool> autostartSeen;
  autostart->onClick([&] { autostartSeen.push_back(autostart->isChecked()); });
  page->addButton("保存", {459, 190, 96, 48});
  settings->setPosition(540, 10);
  settings->show();

  auto cashier = toolkit->createWindow(
      {.title = "Tillora", .clientWidth = 500, .clientHeight = 300, .resizable = Resizable::Yes});
  WebBrowser* browser = cashier->addWebBrowser({0, 50, 500, 250});
  cashier->addButton("按钮EX", {400, 72, 80, 64});
  TextBox* debug = cashier->addTextBox({0, 0, 500, 48});
  debug->appendText("[12:00:01]：开始打印\r\n");
  debug->appendText("[12:00:02]：打印完成\n");
  int resized = 0;
  cashier->onResized([&] { ++resized; });
  cashier->setPosition(10, 420);
  cashier->show();
  browser->navigate("");

  auto tray = toolkit->createTrayIcon([] {});
  tray->show("Quorvel打印服务端");

  int ticks = 0;
  auto timer = toolkit->createTimer([&] { ++ticks; });
  timer->setInterval(50);
  Pump(*toolkit, 1500);
  timer->setInterval(0);
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
  EXPECT_EQ(toggle->text(), "停止服务");
  EXPECT_EQ(status->text(), "运行中");
  SendMessageW(ChildWithText(settingsHwnd, "开机自动启动"), BM_CLICK, 0, 0);
  EXPECT_EQ(autostartSeen, std::vector<bool>{true});
  autostart->setChecked(false);  // no event
  EXPECT_EQ(autostartSeen.size(), 1u);
  for (const Child& c : Children(settingsHwnd)) {
    if (c.className == L"ComboBox") {
      SendMessageW(c.hwnd, CB_SETCURSEL, 2, 0);
      SendMessageW(GetParent(c.hwnd), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(c.hwnd));
    }
  }
  EXPECT_EQ(usbChanges, 1);
  EXPECT_EQ(usb->selectedValue(), 2);
  SendMessageW(serviceHwnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
  EXPECT_EQ(rightClicks, 1);
  EXPECT_EQ(server->text(), "cloud.example");
  EXPECT_EQ(debug->text(), "[12:00:01]：开始打印\r\n[12:00:02]：打印完成\r\n");

  // The browser control exists (Wine's "Shell Embedding" window) and holds about:blank.
  HWND cashierHwnd = FindWindowW(win32::kWindowClass, L"Tillora");
  ASSERT_NE(cashierHwnd, nullptr);
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
  EXPECT_EQ(browser->url(), "about:blank");
  // Pages render in the newest engine mode: the emulation value names this executable.
  DWORD mode = 0;
  DWORD size = sizeof(mode);
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER,
                         L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
                         L"FEATURE_BROWSER_EMULATION",
                         L"ui_win32_smoke.exe", RRF_RT_REG_DWORD, nullptr, &mode, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(mode, 11001u);
  cashier->setClientSize(600, 400);
  EXPECT_EQ(cashier->clientSize(), (Size{600, 400}));
  EXPECT_GE(resized, 1);

  // The picture shows the state after the clicks; Wine lets the Unix program run on its own,
  // so the windows stay up (and keep painting) for a while after starting it.
  Screenshot(L"ui_win32_smoke.png");
  Pump(*toolkit, 2000);

  // The close button asks the handler; a refused close keeps the window up.
  bool allow = false;
  int closed = 0;
  service->onCloseRequest([&] { return allow ? CloseReply::Allow : CloseReply::Refuse; });
  service->onClosed([&] { ++closed; });
  SendMessageW(serviceHwnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindowVisible(serviceHwnd));
  allow = true;
  SendMessageW(serviceHwnd, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(serviceHwnd));
  EXPECT_EQ(closed, 1);

  tray->remove();
  EXPECT_FALSE(tray->isShown());
  // Everything is torn down in an order a shell may well choose: owner first.
  service.reset();
  settings.reset();
  cashier.reset();
  Pump(*toolkit, 100);
}

}  // namespace
}  // namespace qv::ui
