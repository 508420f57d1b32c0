// The two cloud requests the print service core makes, behind an interface so that the
// polling and reporting logic can be driven by a fake cloud in tests. Each request names the
// server and store it goes to: the caller copies them from the configuration when it hands
// the request to a lane, so the request never reads the configuration while the UI thread
// may change it.
#pragma once

#include <string>

#include "core/service/service_state.h"

namespace qv {

class TaskCloud {
 public:
  virtual ~TaskCloud() = default;
  // POST of the empty form to "/api/v2/common/local/print/wait" with the poll headers of
  // `target`; the raw answer body, empty when the exchange failed.
  virtual std::string FetchWaitingTasksBody(const ServiceConfig& target) = 0;
  // POST of X-Token=1 to "/api/v2/common/local/print/report" with the headers uk = uniKey
  // and stat "1" (printed) or "-1" (failed); the raw answer body, empty when the exchange
  // failed.
  virtual std::string PostPrintReport(const ServiceConfig& target, const std::string& uniKey,
                                      bool printed) = 0;
};

}  // namespace qv
