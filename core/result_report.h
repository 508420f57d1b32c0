// Tells the cloud whether a print task was printed.
#pragma once

#include <string>

#include "core/core_services.h"

namespace qv {

enum class PrintOutcome { Printed, Failed };

// Sends the report for `uniKey` (stat "1" printed, "-1" failed); true when the answer's code
// is 200. The outcome only reaches the debug view; nothing is retried.
bool ReportPrintResult(CoreServices& services, const std::string& uniKey, PrintOutcome outcome);

}  // namespace qv
