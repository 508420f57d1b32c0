// The process-wide objects that polling, print execution and reporting work on, gathered so
// that each of them takes one argument (and tests can build them around fakes).
#pragma once

#include "core/printer_access.h"
#include "core/run_log.h"
#include "core/service_state.h"
#include "core/task_cloud.h"
#include "platform/clock.h"

namespace qv {

struct CoreServices {
  ServiceConfig& config;
  ServiceState& state;
  RunLog& runLog;
  DebugLog& debugLog;
  platform::Clock& clock;
  TaskCloud& cloud;
  PrinterAccess& printers;
};

}  // namespace qv
