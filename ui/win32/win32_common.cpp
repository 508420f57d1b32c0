#include "ui/win32/win32_common.h"

#include <commctrl.h>

#include "ui/win32/resource_ids.h"

namespace qv::ui::win32 {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), result.data(), n);
  return result;
}

std::string Narrow(const wchar_t* utf16, int length) {
  if (!utf16 || length == 0) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, utf16, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string result(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16, length, result.data(), n, nullptr, nullptr);
  if (length < 0 && !result.empty()) result.pop_back();  // the converted terminator
  return result;
}

std::string WindowText(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(hwnd, text.data(), length + 1);
  return Narrow(text.data(), got);
}

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

HICON ProgramIcon(int size) {
  auto icon = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(QV_IDI_PROGRAM),
                                            IMAGE_ICON, size, size, LR_DEFAULTCOLOR | LR_SHARED));
  return icon ? icon : LoadIconW(nullptr, MAKEINTRESOURCEW(32512) /* IDI_APPLICATION */);
}

namespace {

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FontInstalled(const wchar_t* face) {
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &query, FontFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

}  // namespace

HFONT UiFont() {
  static HFONT font = [] {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
      return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    // Every caption is Chinese. A non-Chinese system's message font (Segoe UI, Tahoma) draws
    // CJK only through font linking, which Wine and some trimmed systems lack: take the
    // first installed CJK face at the message font's size.
    for (const wchar_t* face : {L"Microsoft YaHei UI", L"Microsoft YaHei", L"SimSun",
                                L"Noto Sans CJK SC", L"WenQuanYi Micro Hei"}) {
      if (FontInstalled(face)) {
        lstrcpynW(metrics.lfMessageFont.lfFaceName, face, LF_FACESIZE);
        metrics.lfMessageFont.lfCharSet = DEFAULT_CHARSET;
        break;
      }
    }
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }();
  return font;
}

}  // namespace qv::ui::win32
