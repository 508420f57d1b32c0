// Opening TCP connections for the HTTP transport: the name resolved and every address tried,
// all within one deadline.
#pragma once

#include <string>

#include "platform/deadline.h"
#include "platform/posix/fd.h"

namespace qv::platform::posix {

// A connected, non-blocking socket with Nagle's algorithm off, to `host` (a name or an address
// without brackets) on `port`; an unusable Fd with `reason` filled when no address answered
// by `deadline`.
Fd ConnectTcp(const std::string& host, int port, const Deadline& deadline, std::string& reason);

}  // namespace qv::platform::posix
