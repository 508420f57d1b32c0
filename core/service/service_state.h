// The process-wide records of the print service: the configuration, the state every part of
// the service core reads, and one print task.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/service/print_task.h"
#include "core/service/task_queue.h"

namespace qv {

// The configuration record; every cloud request reads these afresh.
struct ServiceConfig {
  std::string server;  // cloud API host (optionally with port), without scheme
  std::string token;   // value of the X-Token header: "null"
  std::string sid;     // store ID; empty means the store is not configured
};

// Settings that are not part of the cashier configuration proper but are read from the
// same file: TLS trust and the device paths of the parallel ports on Linux.
struct ExtraSettings {
  std::string caFile;     // PEM file of extra trusted roots; empty for none
  bool tlsVerify = true;  // false only when config.ini says tls_verify=0
  std::string lpt1Path;   // device behind "LPT1" (Linux); empty for the default
  std::string lpt2Path;   // device behind "LPT2" (Linux); empty for the default
};

// The task on the printer lane, for an ending that its bound cuts short: a ticket whose
// outcome was not yet settled goes back into the journal to print at the next start. The
// task is the UI thread's copy, never changed; the flag is set on the printer lane.
struct TicketInHand {
  PrintTask task;
  std::atomic<bool> settled{false};  // the outcome is known and its report is going out
};

// Process-wide state; only the UI thread touches it.
struct ServiceState {
  std::string macAddress;
  bool launchedWithArgs = false;
  std::string programDirectory;
  // Holds config.ini, log, the task journal and the printer list export: the program
  // directory, or the machine's data folder for an installed program (core/config/data_folder.h).
  std::string dataDirectory;
  std::string configPath;
  int32_t feedLines = 5;
  int32_t usbFallbackPort = 0;
  bool debug = false;
  int32_t pollSeconds = 3;
  bool autoCut = true;
  std::string logDirectory;
  bool autoRunService = true;
  std::string webUrl;
  ExtraSettings extra;

  // A print run or a poll is under way: set and cleared by print execution and by polling,
  // read by the shell, which does not end the program while either is set. The poller's own
  // counters are the poller's.
  bool printBusy = false;
  bool pollBusy = false;
  // Set once the program ends: no poll and no print starts any more.
  bool ending = false;
  // While printBusy: the task being printed.
  std::shared_ptr<TicketInHand> ticketInHand;

  // Debug view: progress lines go to the debug window while this is set.
  bool debugViewEnabled = false;

  // Tasks fetched and not yet printed, oldest first, kept in the journal in dataDirectory.
  TaskQueue taskQueue;
};

}  // namespace qv
