// The print service assembled from the real cloud client and printer drivers: what the shell
// hands to its polling and print timers.
#pragma once

#include "cloud/cloud_api.h"
#include "core/cloud_task_source.h"
#include "core/core_services.h"
#include "core/driver_access.h"

namespace qv {

class PrintService {
 public:
  // Every argument must outlive the service.
  PrintService(ServiceConfig& config, ServiceState& state, RunLog& runLog, DebugLog& debugLog,
               platform::Clock& clock, CloudApi& cloud, NetworkPrinter& network,
               SpoolerPrinter& spooler, LptPrinter& lpt)
      : cloud_(cloud), printers_(network, spooler, lpt), services_{config,   state, runLog,
                                                                   debugLog, clock, cloud_,
                                                                   printers_} {}
  PrintService(const PrintService&) = delete;
  PrintService& operator=(const PrintService&) = delete;

  // What Poller and PrintJobRunner are built on.
  CoreServices& services() { return services_; }

 private:
  CloudTaskSource cloud_;
  DriverAccess printers_;
  CoreServices services_;
};

// Opens the task journal in the program directory (state.programDirectory) into
// state.taskQueue; call once at start, before the service runs. A journal that cannot be
// used is renamed aside and logged.
JournalRestore OpenTaskJournal(ServiceState& state, RunLog& runLog);

}  // namespace qv
