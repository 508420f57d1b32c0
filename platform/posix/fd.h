// File descriptors for the POSIX backends.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/unique_handle.h"

namespace qv::platform {

struct FdTraits {
  using Value = int;
  static int Invalid() { return -1; }
  static bool Usable(int fd) { return fd >= 0; }
  static bool Close(int fd) { return ::close(fd) == 0; }
};

// Owns a file descriptor.
using Fd = UniqueHandle<FdTraits>;

// Writes every byte, going on after interruptions; false when a write fails or writes nothing.
inline bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace qv::platform
