// The printer list report to the cloud ("/api/v2/common/local/print/chk") and the export of
// the same list to a text file beside the program.
#pragma once

#include <string>

#include "cloud/cloud_api.h"
#include "core/run_log.h"
#include "core/service_state.h"
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

class PrinterListReporter {
 public:
  // All references must outlive the reporter.
  PrinterListReporter(PrinterSource& printers, PrinterListUplink& uplink, const ServiceState& state,
                      RunLog& log)
      : printers_(printers), uplink_(uplink), state_(state), log_(log) {}

  // Reports the installed printers to the server and store of `target` (normally the
  // configuration in effect); true when the cloud answered with code 200. In debug mode every
  // outcome leaves a run-log entry.
  bool ReportPrinterList(const ServiceConfig& target);

 private:
  PrinterSource& printers_;
  PrinterListUplink& uplink_;
  const ServiceState& state_;
  RunLog& log_;
};

enum class ExportResult { NoPrinters, Written, WriteFailed };

// Writes "打印机列表.txt" (GBK) into `directory`, replacing an earlier one; with no printers
// nothing is written.
ExportResult ExportPrinterList(PrinterSource& printers, const std::string& directory);

// The file name of the export.
inline constexpr char kPrinterListFileName[] = "打印机列表.txt";

}  // namespace qv::shell
