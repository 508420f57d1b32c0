#include "core/wiring/cloud_task_source.h"

#include <utility>

#include "platform/http_transport.h"

namespace qv {

CloudSettings CloudSettingsFor(const ServiceConfig& target, const ExtraSettings& tls) {
  return CloudSettings{.server = target.server,
                       .token = target.token,
                       .sid = target.sid,
                       .caFile = tls.caFile,
                       .tlsVerify = tls.tlsVerify};
}

CloudTaskSource::CloudTaskSource(const ExtraSettings& tls,
                                 std::unique_ptr<platform::HttpTransport> transport,
                                 CloudFailureNote onFailure)
    : tls_(tls),
      api_(CloudApi::Create([this] { return CloudSettingsFor(target_, tls_); },
                            std::move(transport), platform::Clock::Create(),
                            std::move(onFailure))) {}

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
