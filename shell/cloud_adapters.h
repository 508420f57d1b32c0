// The shell's views of the printer driver and the cloud client, for the program entry to
// hand to the Shell.
#pragma once

#include "cloud/cloud_api.h"
#include "core/service_state.h"
#include "platform/clock.h"
#include "printer/spooler_printer.h"
#include "shell/printer_report.h"

namespace qv::shell {

// The installed printers as the spooler printer lists them.
class SpoolerPrinterSource : public PrinterSource {
 public:
  explicit SpoolerPrinterSource(SpoolerPrinter& printer) : printer_(printer) {}
  std::vector<PrinterEntry> ListPrinters() override;

 private:
  SpoolerPrinter& printer_;
};

// The printer list report through the cloud client. The client reads server and store ID
// from `config` for every request, so a report for other values puts them there for that
// one request.
class CloudPrinterListUplink : public PrinterListUplink {
 public:
  // All references must outlive this object; `cloud` must read its settings from `config`.
  CloudPrinterListUplink(CloudApi& cloud, ServiceConfig& config, platform::Clock& clock)
      : cloud_(cloud), config_(config), clock_(clock) {}
  std::string TimeText() override;
  std::string SendPrinterList(const ServiceConfig& target,
                              const PrinterListFields& fields) override;

 private:
  CloudApi& cloud_;
  ServiceConfig& config_;
  platform::Clock& clock_;
};

}  // namespace qv::shell
