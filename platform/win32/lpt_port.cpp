// Parallel ports on Windows: the LPT device files (or the files configured in their place).
#include <windows.h>

#include <map>
#include <string>

#include "platform/lpt_port.h"
#include "platform/win32/wide.h"

namespace qv::platform {
namespace {

std::string DefaultPath(const std::string& portName) { return "\\\\.\\" + portName; }

class WindowsLptPorts : public LptPorts {
 public:
  WindowsLptPorts() : paths_{{"LPT1", DefaultPath("LPT1")}, {"LPT2", DefaultPath("LPT2")}} {}

  int openPort(const std::string& portName) override {
    const auto path = paths_.find(portName);
    if (path == paths_.end()) return -1;
    // OPEN_EXISTING: a missing port must fail, not become a new file.
    win32::Handle file(CreateFileW(win32::Wide(path->second).c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
    if (!file.ok()) return -1;
    // A file standing in for a port keeps every job, in the order the bytes were sent.
    if (GetFileType(file.get()) == FILE_TYPE_DISK) {
      SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_END);
    }
    const int handle = nextHandle_++;
    open_.emplace(handle, std::move(file));
    return handle;
  }

  int writePort(int handle, std::string_view bytes) override {
    const auto port = open_.find(handle);
    if (port == open_.end()) return 0;
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD written = 0;
      if (!WriteFile(port->second.get(), bytes.data() + done,
                     static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
          written == 0) {
        return 0;
      }
      done += written;
    }
    return 1;
  }

  void closePort(int handle) override { open_.erase(handle); }

  void setDevicePath(const std::string& portName, const std::string& path) override {
    if (portName != "LPT1" && portName != "LPT2") return;
    paths_[portName] = path.empty() ? DefaultPath(portName) : path;
  }

 private:
  std::map<std::string, std::string> paths_;
  // Handles are never reused, so a stale handle can not reach a port opened later.
  std::map<int, win32::Handle> open_;
  int nextHandle_ = 1;
};

}  // namespace

std::unique_ptr<LptPorts> LptPorts::create() { return std::make_unique<WindowsLptPorts>(); }

}  // namespace qv::platform
