// The sysfs reading behind ConnectedAdapterMac, with the directory as a parameter so that
// tests can point it at a tree of their own.
#pragma once

#include <string>

namespace qv::platform::posix {

// MAC address of the first connected adapter (by name) under `netDir` (normally
// /sys/class/net), adapters on the PCI bus first; loopback and adapters that are not up or
// have no address are skipped. Upper-case hex joined by ":"; empty when none.
std::string SysfsAdapterMac(const std::string& netDir);

}  // namespace qv::platform::posix
