// The print service assembled from the real cloud client, printer drivers and lane threads:
// what the shell hands to its polling and print timers.
#pragma once

#include <functional>
#include <memory>

#include "core/service/core_services.h"
#include "core/service/worker_thread.h"
#include "core/wiring/cloud_task_source.h"
#include "core/wiring/driver_access.h"

namespace qv {

// The connections of the service's two cloud clients, and where their failures are noted.
struct ServiceTransports {
  std::unique_ptr<platform::HttpTransport> poll;    // used by the cloud thread
  std::unique_ptr<platform::HttpTransport> report;  // used by the printer thread
  CloudFailureNote onFailure;                       // called on either thread
};

class PrintService {
 public:
  // Every reference must outlive the service; `post`, `postUnhurried` and `restUntilPosted`
  // (see ServiceLanes) reach the UI thread's loop and must work until the service is
  // destroyed. The TLS settings of state.extra are read now.
  PrintService(ServiceConfig& config, ServiceState& state, RunLog& runLog, DebugLog& debugLog,
               platform::Clock& clock, PostToUi post, PostToUi postUnhurried,
               std::function<bool()> restUntilPosted, ServiceTransports transports,
               NetworkPrinter& network, SpoolerPrinter& spooler, LptPrinter& lpt);
  // Lets the jobs under way end (a poll, a print and its report) and stops the lanes, before
  // anything their jobs use goes.
  ~PrintService() = default;
  PrintService(const PrintService&) = delete;
  PrintService& operator=(const PrintService&) = delete;

  // What Poller and PrintJobRunner are built on.
  CoreServices& Services() { return services_; }

 private:
  CloudTaskSource pollCloud_;
  CloudTaskSource reportCloud_;
  DriverAccess printers_;
  ServiceLanes lanes_;  // its queues are the threads below, made before any job is submitted
  CoreServices services_;
  // Last, after everything their jobs use (the lanes' post included): members go in the
  // reverse order, so the threads are joined first.
  WorkerThread cloudThread_;
  WorkerThread printerThread_;
};

// Opens the task journal in the data directory (state.dataDirectory) into
// state.taskQueue; call once at start, before the service runs. A journal that cannot be
// used is renamed aside and logged.
JournalRestore OpenTaskJournal(ServiceState& state, RunLog& runLog);

}  // namespace qv
