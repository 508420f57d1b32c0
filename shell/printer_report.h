// The printer list report to the cloud ("/api/v2/common/local/print/chk") and the export of
// the same list to a text file beside the program.
#pragma once

#include <string>

#include "cloud/cloud_api.h"
#include "core/service/service_state.h"
#include "shell/printer_list.h"

namespace qv::shell {

// What the report needs from the cloud side.
class PrinterListUplink {
 public:
  virtual ~PrinterListUplink() = default;
  // The current time as the 10-digit seconds text the cloud expects in `times`.
  virtual std::string TimeText() = 0;
  // POSTs X-Token=1 and `fields` to "https://" + target.server +
  // "/api/v2/common/local/print/chk" with the envelope headers of target.sid; the answer
  // body, empty when the exchange failed.
  virtual std::string SendPrinterList(const ServiceConfig& target,
                                      const PrinterListFields& fields) = 0;
};

// What a printer list report came to.
struct PrinterListReport {
  bool accepted = false;  // the cloud answered with code 200
  // The run-log entry of debug mode, empty when none: the file name prefix and the message.
  std::string logPrefix;
  std::string logText;
};

// The facts a report needs from the running program, copied when the report is asked for.
struct PrinterListRequest {
  ServiceConfig target;    // the server and store the report goes to
  std::string macAddress;  // the computer's MAC address text
  bool debug = false;      // debug mode: every outcome gets a run-log entry
};

class PrinterListReporter {
 public:
  // Both must outlive the reporter.
  PrinterListReporter(PrinterSource& printers, PrinterListUplink& uplink)
      : printers_(printers), uplink_(uplink) {}

  // Lists the installed printers and reports them to the server and store of the request.
  // It waits on the spooler and the cloud: the shell runs it on the cloud lane and writes
  // the log entry on the UI thread.
  PrinterListReport ReportPrinterList(const PrinterListRequest& request);

 private:
  PrinterSource& printers_;
  PrinterListUplink& uplink_;
};

enum class ExportResult { NoPrinters, Written, WriteFailed };

// Writes "打印机列表.txt" (GBK) into `directory`, replacing an earlier one; with no printers
// nothing is written.
ExportResult ExportPrinterList(PrinterSource& printers, const std::string& directory);

// The file name of the export.
inline constexpr char kPrinterListFileName[] = "打印机列表.txt";

}  // namespace qv::shell
