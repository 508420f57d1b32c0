#include "core/wiring/print_service.h"

#include <utility>

#include "platform/file_system.h"

namespace qv {

PrintService::PrintService(ServiceConfig& config, ServiceState& state, RunLog& runLog,
                           DebugLog& debugLog, platform::Clock& clock, PostToUi post,
                           PostToUi postUnhurried, std::function<bool()> restUntilPosted,
                           ServiceTransports transports, NetworkPrinter& network,
                           SpoolerPrinter& spooler, LptPrinter& lpt)
    : pollCloud_(state.extra, std::move(transports.poll), transports.onFailure),
      reportCloud_(state.extra, std::move(transports.report), transports.onFailure),
      printers_(network, spooler, lpt),
      lanes_{cloudThread_, pollCloud_,      printerThread_,           reportCloud_,
             printers_,    std::move(post), std::move(postUnhurried), std::move(restUntilPosted)},
      services_{config, state, runLog, debugLog, clock, lanes_} {}

JournalRestore OpenTaskJournal(ServiceState& state, RunLog& runLog) {
  return state.taskQueue.OpenJournal(platform::JoinPath(state.dataDirectory, kTaskJournalName),
                                     &runLog);
}

}  // namespace qv
