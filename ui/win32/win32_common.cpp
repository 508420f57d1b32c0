#include "ui/win32/win32_common.h"

#include <commctrl.h>

#include <utility>
#include <vector>

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

// Entry points of Windows 10 1607 and later, looked up so that Windows 7 still starts.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

template <typename F>
F User32Entry(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// The message font as the system gives it, its height taken back to 96 DPI.
LOGFONTW MessageFont96() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(LOGFONTW), &metrics.lfMessageFont);
  }
  metrics.lfMessageFont.lfHeight =
      MulDiv(metrics.lfMessageFont.lfHeight, 96, static_cast<int>(SystemDpi()));
  return metrics.lfMessageFont;
}

// Holds the fonts made for each DPI seen; deleted when the program ends.
class FontCache {
 public:
  ~FontCache() {
    for (auto& [dpi, font] : fonts_) DeleteObject(font);
  }
  HFONT For(UINT dpi, LOGFONTW (*make)()) {
    for (auto& [seen, font] : fonts_) {
      if (seen == dpi) return font;
    }
    LOGFONTW face = make();
    face.lfHeight = MulDiv(face.lfHeight, static_cast<int>(dpi), 96);
    HFONT font = CreateFontIndirectW(&face);
    if (!font) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    fonts_.emplace_back(dpi, font);
    return font;
  }

 private:
  std::vector<std::pair<UINT, HFONT>> fonts_;
};

}  // namespace

UINT SystemDpi() {
  static const UINT dpi = [] {
    if (auto get = User32Entry<GetDpiForSystemFn>("GetDpiForSystem")) return get();
    HDC screen = GetDC(nullptr);
    const int logPixels = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return logPixels > 0 ? static_cast<UINT>(logPixels) : 96u;
  }();
  return dpi;
}

UINT WindowDpi(HWND hwnd) {
  static const auto get = User32Entry<GetDpiForWindowFn>("GetDpiForWindow");
  const UINT dpi = get && hwnd ? get(hwnd) : 0;
  return dpi > 0 ? dpi : SystemDpi();
}

void AdjustFrame(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) {
  static const auto adjust = User32Entry<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  if (!adjust || !adjust(rect, style, FALSE, exStyle, dpi)) {
    AdjustWindowRectEx(rect, style, FALSE, exStyle);
  }
}

HFONT UiFont(UINT dpi) {
  static FontCache cache;
  return cache.For(dpi, [] {
    LOGFONTW font = MessageFont96();
    // Every caption is Chinese. A non-Chinese system's message font (Segoe UI, Tahoma) draws
    // CJK only through font linking, which Wine and some trimmed systems lack: take the
    // first installed CJK face at the message font's size.
    for (const wchar_t* face : {L"Microsoft YaHei UI", L"Microsoft YaHei", L"SimSun",
                                L"Noto Sans CJK SC", L"WenQuanYi Micro Hei"}) {
      if (FontInstalled(face)) {
        lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
        font.lfCharSet = DEFAULT_CHARSET;
        break;
      }
    }
    return font;
  });
}

HFONT FixedPitchFont(UINT dpi) {
  static FontCache cache;
  return cache.For(dpi, [] {
    LOGFONTW font = MessageFont96();
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    font.lfCharSet = DEFAULT_CHARSET;
    // NSimSun (新宋体) is on every Chinese Windows and draws CJK exactly two columns wide; the
    // others stand in where it is missing (Wine, trimmed systems).
    lstrcpynW(font.lfFaceName, L"Courier New", LF_FACESIZE);
    for (const wchar_t* face :
         {L"NSimSun", L"Noto Sans Mono CJK SC", L"WenQuanYi Micro Hei Mono"}) {
      if (FontInstalled(face)) {
        lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
        break;
      }
    }
    return font;
  });
}

}  // namespace qv::ui::win32
