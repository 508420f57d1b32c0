// The objects that polling, print execution and reporting work on, gathered so that each of
// them takes one argument (and tests can build them around fakes). The configuration, the
// state and the debug log are the UI thread's; the run log may be written from any thread;
// the lanes carry the work that waits. Lane jobs reach this object only through `owner`.
#pragma once

#include "core/config/run_log.h"
#include "core/service/lane_work.h"
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
  // What lane results reach these objects through; expires when they go.
  LaneOwner<CoreServices> owner{*this};
};

}  // namespace qv
