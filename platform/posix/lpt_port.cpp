// Parallel ports on Linux: the lp device files (or the files configured in their place).
#include <fcntl.h>

#include <string>

#include "platform/lpt_port.h"
#include "platform/lpt_port_table.h"
#include "platform/posix/fd.h"

namespace qv::platform {
namespace {

std::string DefaultPath(const std::string& portName) {
  return portName == "LPT1" ? "/dev/lp0" : "/dev/lp1";
}

class PosixLptPorts : public LptPortTable<Fd> {
 public:
  PosixLptPorts() : LptPortTable(DefaultPath) {}

  int OpenPort(const std::string& portName) override {
    const std::string* path = PathOf(portName);
    if (path == nullptr) return -1;
    // No O_CREAT: a missing port must fail, not become a new file. O_APPEND keeps a regular
    // file standing in for a port in the order bytes were sent.
    Fd fd(::open(path->c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC));
    if (!fd.Ok()) return -1;
    return Keep(std::move(fd));
  }

  int WritePort(int handle, std::string_view bytes) override {
    const Fd* port = Find(handle);
    return port != nullptr && WriteAll(port->Get(), bytes) ? 1 : 0;
  }
};

}  // namespace

std::unique_ptr<LptPorts> LptPorts::Create() { return std::make_unique<PosixLptPorts>(); }

}  // namespace qv::platform
