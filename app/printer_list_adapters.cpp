#include "app/printer_list_adapters.h"

#include "cloud/envelope.h"
#include "core/wiring/cloud_task_source.h"

namespace qv::app {

std::vector<shell::PrinterEntry> SpoolerPrinterSource::ListPrinters() {
  const std::vector<platform::PrinterInfo> records = spooler_->listPrinters();
  std::vector<shell::PrinterEntry> entries;
  entries.reserve(records.size());
  for (const platform::PrinterInfo& info : records)
    entries.push_back({info.printerName, info.portName});
  return entries;
}

std::string CloudPrinterListUplink::TimeText() { return UnixTimeText(clock_.Now()); }

std::string CloudPrinterListUplink::SendPrinterList(const ServiceConfig& target,
                                                    const PrinterListFields& fields) {
  const CloudSettings settings = CloudSettingsFor(target, tls_);
  auto cloud = CloudApi::Create([settings] { return settings; }, transport_.NewHandle(),
                                platform::Clock::Create(), onFailure_);
  return cloud->SendPrinterList(fields);
}

}  // namespace qv::app
