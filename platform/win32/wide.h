// UTF-8 <-> UTF-16 for the Win32 W entry points, and the one place that turns a Win32
// error code into our message text.
#pragma once

#include <windows.h>

#include <string>

#include "platform/unique_handle.h"

namespace qv::platform::win32 {

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The system's text for a Win32 error code, without trailing CR LF; "但是未知错误类型" for 0 and
// "未知系统错误：" + code when the system has no text.
std::string ErrorText(DWORD code);

struct HandleTraits {
  using Value = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static bool Usable(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE h) { return CloseHandle(h) != 0; }
};

// Closes a kernel handle when it goes out of scope.
using Handle = UniqueHandle<HandleTraits>;

}  // namespace qv::platform::win32
