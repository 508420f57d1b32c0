#include "platform/system_info.h"

#include "platform/posix/system_info_sysfs.h"

namespace qv::platform {

std::string ConnectedAdapterMac() { return posix::SysfsAdapterMac("/sys/class/net"); }

}  // namespace qv::platform
