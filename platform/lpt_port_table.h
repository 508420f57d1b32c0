// What both parallel-port backends keep: the device file behind each port name and the open
// ports by handle. `Device` owns one open port and is movable.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "platform/lpt_port.h"

namespace qv::platform {

template <typename Device>
class LptPortTable : public LptPorts {
 public:
  void ClosePort(int handle) override { open_.erase(handle); }

  void SetDevicePath(const std::string& portName, const std::string& path) override {
    if (portName != "LPT1" && portName != "LPT2") return;
    paths_[portName] = path.empty() ? defaultPath_(portName) : path;
  }

 protected:
  // `defaultPath` gives the system's device file of "LPT1" and "LPT2".
  explicit LptPortTable(std::string (*defaultPath)(const std::string& portName))
      : defaultPath_(defaultPath),
        paths_{{"LPT1", defaultPath("LPT1")}, {"LPT2", defaultPath("LPT2")}} {}

  // The device file behind a port name; nullptr for names other than LPT1 and LPT2.
  const std::string* PathOf(const std::string& portName) const {
    const auto path = paths_.find(portName);
    return path == paths_.end() ? nullptr : &path->second;
  }

  // Keeps an opened port; its handle.
  int Keep(Device device) {
    const int handle = nextHandle_++;
    open_.emplace(handle, std::move(device));
    return handle;
  }

  // The open port of a handle; nullptr when the handle is not open.
  Device* Find(int handle) {
    const auto port = open_.find(handle);
    return port == open_.end() ? nullptr : &port->second;
  }

 private:
  std::string (*defaultPath_)(const std::string& portName);
  std::map<std::string, std::string> paths_;
  // Handles are never reused, so a stale handle can not reach a port opened later.
  std::map<int, Device> open_;
  int nextHandle_ = 1;
};

}  // namespace qv::platform
