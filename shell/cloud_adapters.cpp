#include "shell/cloud_adapters.h"

#include <utility>

#include "cloud/envelope.h"

namespace qv::shell {

std::vector<PrinterEntry> SpoolerPrinterSource::ListPrinters() {
  std::vector<PrinterInfo> records;
  printer_.listPrinters(records);
  std::vector<PrinterEntry> entries;
  entries.reserve(records.size());
  for (const PrinterInfo& r : records) entries.push_back({r.printerName, r.portName});
  return entries;
}

std::string CloudPrinterListUplink::TimeText() { return UnixTimeText(clock_.Now()); }

std::string CloudPrinterListUplink::SendPrinterList(const ServiceConfig& target,
                                                    const PrinterListFields& fields) {
  // Single UI thread: nothing else reads the record while the request runs.
  ServiceConfig saved = config_;
  config_.server = target.server;
  config_.sid = target.sid;
  std::string answer = cloud_.SendPrinterList(fields);
  config_.server = std::move(saved.server);
  config_.sid = std::move(saved.sid);
  return answer;
}

}  // namespace qv::shell
