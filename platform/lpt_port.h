// Parallel ports LPT1 and LPT2, with the open/write/close contract of the printer vendor's
// port functions: integer handles, -1 for a port that did not open, non-zero for a good write.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qv::platform {

// Threads: one at a time. The open ports and the device files are kept without a lock, so the
// paths are set before the thread that prints starts, and only that thread opens, writes and
// closes.
class LptPorts {
 public:
  virtual ~LptPorts() = default;
  // Opens "LPT1" or "LPT2" for writing; a handle (>= 0), or -1 when the port is missing,
  // busy or the name is not one of the two.
  virtual int OpenPort(const std::string& portName) = 0;
  // Writes every byte to the port; non-zero when all went out, 0 on failure or for a handle
  // that is not open.
  virtual int WritePort(int handle, std::string_view bytes) = 0;
  // Closes the port; a handle that is not open (-1 included) is ignored.
  virtual void ClosePort(int handle) = 0;
  // Device file used for "LPT1"/"LPT2" from the next open on; empty restores the system's
  // default (/dev/lp0, /dev/lp1 on Linux; \\.\LPT1, \\.\LPT2 on Windows).
  virtual void SetDevicePath(const std::string& portName, const std::string& path) = 0;
  static std::unique_ptr<LptPorts> Create();
};

}  // namespace qv::platform
