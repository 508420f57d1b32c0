#include "platform/win32/wide.h"

#include "util/text.h"

namespace qv::platform::win32 {

std::wstring Wide(std::string_view utf8) {
  const std::u16string u16 = Utf8ToUtf16(utf8);
  return std::wstring(u16.begin(), u16.end());
}

std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::string ErrorText(DWORD code) {
  if (code == 0) return "但是未知错误类型";
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (n == 0 || buffer == nullptr) return "未知系统错误：" + std::to_string(code);
  std::wstring text(buffer, n);
  LocalFree(buffer);
  std::wstring cleaned;
  for (wchar_t c : text) {
    if (c != L'\r' && c != L'\n') cleaned += c;
  }
  return Narrow(cleaned);
}

}  // namespace qv::platform::win32
