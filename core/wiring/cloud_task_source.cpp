#include "core/wiring/cloud_task_source.h"

#include <utility>

#include "platform/http_transport.h"

namespace qv {

CloudTaskSource::CloudTaskSource(const ExtraSettings& tls,
                                 std::unique_ptr<platform::HttpTransport> transport,
                                 CloudFailureNote onFailure)
    : tls_(tls),
      api_(CloudApi::Create(
          [this] {
            return CloudSettings{.server = target_.server,
                                 .token = target_.token,
                                 .sid = target_.sid,
                                 .caFile = tls_.caFile,
                                 .tlsVerify = tls_.tlsVerify};
          },
          std::move(transport), platform::Clock::Create(), std::move(onFailure))) {}

std::string CloudTaskSource::FetchWaitingTasksBody(const ServiceConfig& target) {
  target_ = target;
  return api_->RequestWaitingTasks();
}

std::string CloudTaskSource::PostPrintReport(const ServiceConfig& target, const std::string& uniKey,
                                             bool printed) {
  target_ = target;
  return api_->SendPrintResult(uniKey, printed);
}

}  // namespace qv
