// Tells the cloud whether a print task was printed.
#pragma once

#include <string>

#include "core/service/job_log.h"
#include "core/service/task_cloud.h"

namespace qv {

enum class PrintOutcome { Printed, Failed };

// Sends the report for `uniKey` (stat "1" printed, "-1" failed) to `target` through `cloud`;
// true when the answer's code is 200. The outcome only reaches the debug view; nothing is
// retried. Runs on the printer lane, as part of the print job.
bool ReportPrintResult(TaskCloud& cloud, const ServiceConfig& target, JobLog& log,
                       const std::string& uniKey, PrintOutcome outcome);

}  // namespace qv
