// Parallel ports on Windows: the LPT device files (or the files configured in their place).
#include <windows.h>

#include <string>

#include "platform/lpt_port.h"
#include "platform/lpt_port_table.h"
#include "platform/win32/wide.h"

namespace qv::platform {
namespace {

std::string DefaultPath(const std::string& portName) { return "\\\\.\\" + portName; }

class WindowsLptPorts : public LptPortTable<win32::Handle> {
 public:
  WindowsLptPorts() : LptPortTable(DefaultPath) {}

  int OpenPort(const std::string& portName) override {
    const std::string* path = PathOf(portName);
    if (path == nullptr) return -1;
    // OPEN_EXISTING: a missing port must fail, not become a new file.
    win32::Handle file(CreateFileW(win32::Wide(*path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Ok()) return -1;
    // A file standing in for a port keeps every job, in the order the bytes were sent.
    if (GetFileType(file.Get()) == FILE_TYPE_DISK) {
      SetFilePointerEx(file.Get(), LARGE_INTEGER{}, nullptr, FILE_END);
    }
    return Keep(std::move(file));
  }

  int WritePort(int handle, std::string_view bytes) override {
    const win32::Handle* port = Find(handle);
    if (port == nullptr) return 0;
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD written = 0;
      if (!WriteFile(port->Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                     &written, nullptr) ||
          written == 0) {
        return 0;
      }
      done += written;
    }
    return 1;
  }
};

}  // namespace

std::unique_ptr<LptPorts> LptPorts::Create() { return std::make_unique<WindowsLptPorts>(); }

}  // namespace qv::platform
