// The system's print spooler: the installed printers and raw print jobs.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv::platform {

// One installed printer as the spooler describes it; a value the system leaves unset is an
// empty text. All texts UTF-8.
struct PrinterInfo {
  std::string serverName;
  std::string printerName;
  std::string shareName;
  std::string portName;  // on CUPS: the device URI
  std::string driverName;
  std::string comment;
  std::string location;
  std::string printProcessor;
};

// One raw job in progress. Destroying an unfinished job finishes it, so bytes already handed
// over are printed rather than left stuck in the queue.
// Threads: one at a time (the one printing the ticket); the job is its own, shared with
// nothing else.
class SpoolJob {
 public:
  virtual ~SpoolJob() = default;
  // Hands bytes to the job unchanged; false when the spooler took fewer than all of them.
  virtual bool Write(std::string_view bytes) = 0;
  // Ends the job so the spooler prints it; true when the spooler accepted the end. Later
  // writes fail.
  virtual bool Finish() = 0;
  // Cancels the job so that nothing of it prints; true when the spooler dropped it. Later
  // writes fail.
  virtual bool Abort() = 0;
};

// Threads: any thread may call, and two threads may call at the same time: the backends keep
// no state between calls (each call opens its own scheduler connection or printer handle),
// so listing the printers on one thread while another thread prints is safe.
class Spooler {
 public:
  virtual ~Spooler() = default;
  // Installed printers in the order the system lists them; empty when none or on failure.
  virtual std::vector<PrinterInfo> listPrinters() = 0;
  // Starts a raw job on the named printer; nullptr on failure, with `error` set to the
  // system's text when the printer could not be opened (left as it was when the printer
  // opened but refused the job).
  virtual std::unique_ptr<SpoolJob> StartRawJob(const std::string& name, std::string& error) = 0;
  static std::unique_ptr<Spooler> Create();
};

}  // namespace qv::platform
