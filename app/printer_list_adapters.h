// The shell's printer-list report reaches the spooler and the cloud through these adapters.
#pragma once

#include <memory>
#include <utility>

#include "app/shared_transport.h"
#include "cloud/cloud_api.h"
#include "core/config/settings.h"
#include "platform/clock.h"
#include "platform/spooler.h"
#include "shell/printer_list.h"
#include "shell/printer_report.h"

namespace qv::app {

// The installed printers of the system spooler. Used on the cloud lane only, through a
// spooler connection of its own: the printer lane's SpoolerPrinter is never touched here.
class SpoolerPrinterSource : public shell::PrinterSource {
 public:
  explicit SpoolerPrinterSource(std::unique_ptr<platform::Spooler> spooler)
      : spooler_(std::move(spooler)) {}
  std::vector<shell::PrinterEntry> ListPrinters() override;

 private:
  std::unique_ptr<platform::Spooler> spooler_;
};

// Sends the printer list to whichever server and store the caller names: the configuration
// in effect, or the values the user is about to save (the server check), through the
// program's shared transport. Used on the cloud lane only; it keeps copies of what it needs.
class CloudPrinterListUplink : public shell::PrinterListUplink {
 public:
  CloudPrinterListUplink(const ExtraSettings& tls, platform::Clock& clock,
                         SharedHttpTransport& transport, CloudFailureNote onFailure)
      : tls_(tls), clock_(clock), transport_(transport), onFailure_(std::move(onFailure)) {}
  std::string TimeText() override;
  std::string SendPrinterList(const ServiceConfig& target,
                              const PrinterListFields& fields) override;

 private:
  const ExtraSettings tls_;
  platform::Clock& clock_;
  SharedHttpTransport& transport_;
  CloudFailureNote onFailure_;
};

}  // namespace qv::app
