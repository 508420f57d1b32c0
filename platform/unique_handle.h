// Owns one OS handle (a file descriptor, a socket, a kernel handle) and closes it when it goes
// out of scope, for the backends in posix/ and win32/. `Traits` names the handle's type, its
// invalid value, the test for a usable handle and the call that closes it.
#pragma once

namespace qv::platform {

template <typename Traits>
class UniqueHandle {
 public:
  using Value = typename Traits::Value;

  UniqueHandle() = default;
  explicit UniqueHandle(Value handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = other.Release();
    }
    return *this;
  }

  Value Get() const { return handle_; }
  bool Ok() const { return Traits::Usable(handle_); }
  // Gives the handle up without closing it.
  Value Release() {
    const Value handle = handle_;
    handle_ = Traits::Invalid();
    return handle;
  }
  // Closes now; true when the system reported no error (a deferred write error shows here)
  // or there was nothing to close.
  bool Reset() {
    const Value handle = Release();
    return !Traits::Usable(handle) || Traits::Close(handle);
  }

 private:
  Value handle_ = Traits::Invalid();
};

}  // namespace qv::platform
