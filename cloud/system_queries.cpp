#include "cloud/system_queries.h"

#include "platform/system_info.h"

namespace qv {

std::string ReadMacAddress() { return platform::ConnectedAdapterMac(); }

}  // namespace qv
