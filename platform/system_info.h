// Facts about the machine that the cloud wants to know.
#pragma once

#include <string>

namespace qv::platform {

// MAC address of a connected network adapter, adapters on the PCI bus preferred, as six
// upper-case two-digit hex bytes joined by ":" (Windows: as WMI reports it); empty when no
// connected adapter has one or the system cannot be asked.
std::string ConnectedAdapterMac();

}  // namespace qv::platform
