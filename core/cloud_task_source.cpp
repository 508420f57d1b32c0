#include "core/cloud_task_source.h"

#include "platform/http_transport.h"

namespace qv {

CloudTaskSource::CloudTaskSource(const ExtraSettings& tls)
    : tls_(tls),
      api_(CloudApi::create(
          [this] {
            return CloudSettings{target_.server, target_.token,  target_.sid,
                                 tls_.caFile,    tls_.tlsVerify, 0};
          },
          platform::HttpTransport::create(), platform::Clock::create())) {}

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
