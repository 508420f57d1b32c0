// The program's fixed-layout windows at the DPI the Wine prefix was given (QV_DPI: 96, 120 or
// 144, set as LogPixels by scaled_windows_wine.sh): every window is drawn at that DPI, every
// control's text fits the control in the font the control really has, every control lies
// inside its window, and every window inside the screen's work area. Screenshots go to the
// working directory (the build's artifacts folder).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "tests/ui/shell_windows_on_screen.h"
#include "ui/win32/win32_common.h"
#include "ui/win32/win32_toolkit.h"
#include "ui/win32/win32_window.h"

namespace qv::ui {
namespace {

// Wine starts Unix programs through CreateProcess; ImageMagick takes the picture. The caller
// keeps the loop running meanwhile, so the windows paint.
void Screenshot(const std::wstring& arguments) {
  std::wstring command = L"import -window root " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (CreateProcessW(L"Z:\\usr\\bin\\import", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

std::wstring ClassName(HWND hwnd) {
  wchar_t name[64] = L"";
  GetClassNameW(hwnd, name, 64);
  return name;
}

// The room a control leaves its text, in device pixels at `dpi`: a push button its border, a
// check box the box and the gap beside it, a drop-down list its arrow button.
int TextRoom(HWND control, int width, UINT dpi) {
  const std::wstring cls = ClassName(control);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  if (cls == L"Button" || cls == L"BUTTON") {
    if ((style & BS_TYPEMASK) == BS_AUTOCHECKBOX) return width - win32::Px(17, dpi);
    return width - win32::Px(4, dpi);
  }
  if (cls == L"ComboBox" || cls == L"COMBOBOX") return width - win32::Px(21, dpi);
  return width;
}

struct Measured {
  UINT dpi;
  std::string name;
};

BOOL CALLBACK CheckControl(HWND control, LPARAM param) {
  const Measured& in = *reinterpret_cast<const Measured*>(param);
  if (!IsWindowVisible(control)) return TRUE;
  // Within the window or tab page that holds it.
  HWND parent = GetParent(control);
  RECT box{}, room{};
  GetWindowRect(control, &box);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
  GetClientRect(parent, &room);
  const std::string what = in.name + " " + win32::Narrow(ClassName(control).c_str()) + " \"" +
                           win32::WindowText(control) + "\"";
  // A right-aligned label may start left of its parent (see Label::setAlignment): its text
  // must then fit the visible part, checked below.
  const bool rightAligned = (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_RIGHT &&
                            (ClassName(control) == L"Static" || ClassName(control) == L"STATIC");
  if (!rightAligned) {
    EXPECT_GE(box.left, 0) << what;
  }
  EXPECT_GE(box.top, 0) << what;
  EXPECT_LE(box.right, room.right) << what;
  EXPECT_LE(box.bottom, room.bottom) << what;

  const std::wstring cls = ClassName(control);
  const bool hasText = cls == L"Static" || cls == L"STATIC" || cls == L"Button" ||
                       cls == L"BUTTON" || cls == L"ComboBox" || cls == L"COMBOBOX" ||
                       cls == L"Edit" || cls == L"EDIT";
  const bool editBox = cls == L"Edit" || cls == L"EDIT";
  // The debug view's text box scrolls; its lines are not measured.
  if (!hasText || (editBox && (GetWindowLongW(control, GWL_STYLE) & ES_MULTILINE))) return TRUE;
  std::wstring text = win32::Wide(win32::WindowText(control));
  if (text.empty()) text = L"国";  // an empty edit box still must show a line
  auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  EXPECT_EQ(font, win32::UiFont(in.dpi)) << what << ": the font made for the window's DPI";
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  RECT client{};
  GetClientRect(control, &client);
  // A combo box's window includes its list; the field is what shows the text.
  int height = client.bottom;
  if (cls == L"ComboBox" || cls == L"COMBOBOX") {
    height = static_cast<int>(SendMessageW(control, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
  }
  if (!editBox) {
    const int width = rightAligned ? box.right - std::max(box.left, 0L) : client.right;
    EXPECT_LE(extent.cx, TextRoom(control, width, in.dpi)) << what << " is cut off";
  }
  EXPECT_LE(extent.cy, height) << what << " is cut off at the bottom";
  return TRUE;
}

TEST(Win32ScaledWindows, TextsFitTheirControlsAndControlsTheirWindows) {
  const char* dpiText = std::getenv("QV_DPI");
  const UINT dpi = dpiText ? static_cast<UINT>(std::atoi(dpiText)) : 96;
  EXPECT_EQ(win32::SystemDpi(), dpi) << "LogPixels of the prefix";
  auto toolkit = CreateWin32Toolkit();
  ASSERT_NE(toolkit, nullptr);
  shell::ShellWindowsOnScreen windows(*toolkit);
  shell::Pump(*toolkit, 1500);

  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  for (const auto& [name, window, designWidth] : windows.Windows()) {
    HWND hwnd = dynamic_cast<win32::Win32WindowImpl&>(window->WindowBackend()).Hwnd();
    EXPECT_EQ(win32::WindowDpi(hwnd), dpi) << name;
    RECT frame{};
    GetWindowRect(hwnd, &frame);
    EXPECT_GE(frame.left, area.left) << name;
    EXPECT_GE(frame.top, area.top) << name;
    // A window larger than the work area starts at its top left corner; others lie inside.
    if (frame.right - frame.left <= area.right - area.left) {
      EXPECT_LE(frame.right, area.right) << name;
    }
    if (frame.bottom - frame.top <= area.bottom - area.top) {
      EXPECT_LE(frame.bottom, area.bottom) << name;
    }
    Measured measured{dpi, name};
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_NEAR(client.right, win32::Px(designWidth, dpi), 2) << name;
    EnumChildWindows(hwnd, CheckControl, reinterpret_cast<LPARAM>(&measured));
  }

  // One screenshot per window, cut to its frame, with the others hidden.
  const std::wstring prefix = L"win32-" + std::to_wstring(dpi) + L"dpi-";
  for (const auto& shown : windows.Windows()) {
    for (const auto& other : windows.Windows()) other.window->Hide();
    shown.window->Show();
    shell::Pump(*toolkit, 500);
    const Rect frame = shown.window->FrameBounds();
    Screenshot(L"-crop " + std::to_wstring(frame.width) + L"x" + std::to_wstring(frame.height) +
               L"+" + std::to_wstring(frame.left) + L"+" + std::to_wstring(frame.top) + L" " +
               prefix + win32::Wide(shown.name) + L".png");
    shell::Pump(*toolkit, 1500);
  }
}

}  // namespace
}  // namespace qv::ui
