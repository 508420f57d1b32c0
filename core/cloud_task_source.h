// The cloud client behind the service core's TaskCloud interface.
#pragma once

#include <string>

#include "cloud/cloud_api.h"
#include "core/task_cloud.h"

namespace qv {

class CloudTaskSource : public TaskCloud {
 public:
  // `api` must outlive this object.
  explicit CloudTaskSource(CloudApi& api) : api_(api) {}
  std::string FetchWaitingTasksBody() override { return api_.RequestWaitingTasks(); }
  std::string PostPrintReport(const std::string& uniKey, bool printed) override {
    return api_.SendPrintResult(uniKey, printed);
  }

 private:
  CloudApi& api_;
};

}  // namespace qv
