// UTF-8 <-> UTF-16 for the Win32 W entry points, and the one place that turns a Win32
// error code into our message text.
#pragma once

#include <windows.h>

#include <string>

namespace qv::platform::win32 {

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The system's text for a Win32 error code, without trailing CR LF; "但是未知错误类型" for 0 and
// "未知系统错误：" + code when the system has no text.
std::string ErrorText(DWORD code);

// Closes a kernel handle when it goes out of scope.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& o) noexcept : h_(o.release()) {}
  Handle& operator=(Handle&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = o.release();
    }
    return *this;
  }
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  void reset() {
    if (ok()) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace qv::platform::win32
