#include "platform/system_info.h"

#include "platform/win32/wmi_query.h"

namespace qv::platform {

std::string ConnectedAdapterMac() {
  // Connected adapters on the PCI bus first (note the two blanks: the query text is kept as
  // it has always been sent), then any connected adapter.
  std::string mac = win32::WmiQueryValue(
      L"Select MACAddress From Win32_NetworkAdapter WHERE PNPDeviceID LIKE \"%PCI%\" AND  "
      L"NetConnectionStatus =2",
      L"MACAddress");
  if (mac.empty()) {
    mac = win32::WmiQueryValue(
        L"Select MACAddress From Win32_NetworkAdapter WHERE NetConnectionStatus =2", L"MACAddress");
  }
  return mac;
}

}  // namespace qv::platform
