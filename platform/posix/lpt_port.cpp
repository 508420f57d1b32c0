// Parallel ports on Linux: the lp device files (or the files configured in their place).
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <map>
#include <string>

#include "platform/lpt_port.h"

namespace qv::platform {
namespace {

// Owns an open device file.
class DeviceFile {
 public:
  explicit DeviceFile(int fd) : fd_(fd) {}
  ~DeviceFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;

  bool writeAll(std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
};

std::string DefaultPath(const std::string& portName) {
  return portName == "LPT1" ? "/dev/lp0" : "/dev/lp1";
}

class PosixLptPorts : public LptPorts {
 public:
  PosixLptPorts() : paths_{{"LPT1", DefaultPath("LPT1")}, {"LPT2", DefaultPath("LPT2")}} {}

  int openPort(const std::string& portName) override {
    const auto path = paths_.find(portName);
    if (path == paths_.end()) return -1;
    // No O_CREAT: a missing port must fail, not become a new file. O_APPEND keeps a regular
    // file standing in for a port in the order bytes were sent.
    const int fd = ::open(path->second.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    const int handle = nextHandle_++;
    open_.emplace(handle, std::make_unique<DeviceFile>(fd));
    return handle;
  }

  int writePort(int handle, std::string_view bytes) override {
    const auto port = open_.find(handle);
    return port != open_.end() && port->second->writeAll(bytes) ? 1 : 0;
  }

  void closePort(int handle) override { open_.erase(handle); }

  void setDevicePath(const std::string& portName, const std::string& path) override {
    if (portName != "LPT1" && portName != "LPT2") return;
    paths_[portName] = path.empty() ? DefaultPath(portName) : path;
  }

 private:
  std::map<std::string, std::string> paths_;
  // Handles are never reused, so a stale handle can not reach a port opened later.
  std::map<int, std::unique_ptr<DeviceFile>> open_;
  int nextHandle_ = 1;
};

}  // namespace

std::unique_ptr<LptPorts> LptPorts::create() { return std::make_unique<PosixLptPorts>(); }

}  // namespace qv::platform
