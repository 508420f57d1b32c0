// The process-wide objects that polling, print execution and reporting work on, gathered so
// that each of them takes one argument (and tests can build them around fakes). Everything
// but the lanes and the clock belongs to the UI thread.
#pragma once

#include "core/config/run_log.h"
#include "core/service/service_lanes.h"
#include "core/service/service_state.h"
#include "platform/clock.h"

namespace qv {

struct CoreServices {
  ServiceConfig& config;
  ServiceState& state;
  RunLog& runLog;
  DebugLog& debugLog;
  platform::Clock& clock;
  ServiceLanes& lanes;
};

}  // namespace qv
