// A printer installed in the operating system, printed on as one raw spooler job per task.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/spooler.h"
#include "printer/escpos.h"

namespace qv {

using PrinterInfo = platform::PrinterInfo;

// Threads: one at a time, except listPrinters: it touches only the spooler, which keeps no
// state, so it may run on another thread while this printer prints a job.
class SpoolerPrinter : public EscPosPrinter {
 public:
  // Uses the system's spooler.
  SpoolerPrinter();
  explicit SpoolerPrinter(std::unique_ptr<platform::Spooler> spooler);
  ~SpoolerPrinter() override;

  // Replaces `records` with the installed printers in system order; returns their number.
  int listPrinters(std::vector<PrinterInfo>& records);
  // Starts a raw job on the named printer; false with `errorText` set to the system's text
  // when the printer cannot be opened (unchanged when it opened but refused the job).
  bool open(const std::string& printerName, int paperWidth, std::string& errorText);
  // Hands the bytes to the current job; false when there is none or the spooler refused.
  // After a refusal every later write of the job fails too.
  bool writeBytes(std::string_view data);
  // Ends the current job so the spooler prints it; true when the spooler accepted it. Later
  // transfers fail; the next close releases nothing more and returns this result. A job that
  // a transfer failed on is cancelled instead (false): half a ticket must not print.
  bool FinishJob();

 protected:
  bool Transfer(std::string_view bytes) override;
  bool ReleaseTransport() override;

 private:
  std::unique_ptr<platform::Spooler> spooler_;
  std::unique_ptr<platform::SpoolJob> job_;
  bool jobSpoiled_ = false;   // a transfer to job_ failed: it is cancelled, never finished
  bool jobAccepted_ = false;  // result of the last finish, until the close that reports it
};

}  // namespace qv
