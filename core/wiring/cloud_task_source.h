// The cloud client behind the service core's TaskCloud interface. Each lane has one of its
// own: a client and its connection are used by one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "cloud/cloud_api.h"
#include "core/service/task_cloud.h"

namespace qv {

// What the cloud client needs for a request to `target` with the TLS settings `tls`.
CloudSettings CloudSettingsFor(const ServiceConfig& target, const ExtraSettings& tls);

class CloudTaskSource : public TaskCloud {
 public:
  // Requests go to the server and store each call names, with the TLS settings of `tls`
  // (copied: they do not change while the program runs), through `transport`; failures are
  // noted to `onFailure` on the requesting thread.
  CloudTaskSource(const ExtraSettings& tls, std::unique_ptr<platform::HttpTransport> transport,
                  CloudFailureNote onFailure);

  std::string FetchWaitingTasksBody(const ServiceConfig& target) override;
  std::string PostPrintReport(const ServiceConfig& target, const std::string& uniKey,
                              bool printed) override;

 private:
  const ExtraSettings tls_;
  ServiceConfig target_;  // the request being made
  std::unique_ptr<CloudApi> api_;
};

}  // namespace qv
