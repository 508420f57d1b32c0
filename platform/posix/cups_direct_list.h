// The printer list straight from the CUPS scheduler, over its own IPP: listing the queues at
// start would otherwise load libcups and the TLS, Kerberos, Avahi and D-Bus libraries it
// brings into a service that may never print to a queue.
#pragma once

#include <optional>
#include <vector>

#include "platform/spooler.h"

namespace qv::platform::posix {

// The queues in the scheduler's order (empty when it has none or cannot be reached); nullopt
// when the scheduler answered but wants more than a plain request (credentials, encryption),
// which libcups knows how to give.
std::optional<std::vector<PrinterInfo>> ListPrintersDirectly();

}  // namespace qv::platform::posix
