#include "core/service/result_report.h"

#include "core/service/task_wire.h"
#include "util/text.h"

namespace qv {

bool ReportPrintResult(TaskCloud& cloud, const ServiceConfig& target, JobLog& log,
                       const std::string& uniKey, PrintOutcome outcome) {
  const bool printed = outcome == PrintOutcome::Printed;
  log.DebugLine(std::string(58, '-') + "\r\n打印结果[" + uniKey +
                "]打印准备上报，打印成功=" + BoolText(printed));
  const std::string body = cloud.PostPrintReport(target, uniKey, printed);

  const std::optional<AnswerCode> code = DecodeAnswerCode(body);
  if (!code) {
    log.DebugLine("上报[" + uniKey + "]返回结果未知，原因是返回数据的数据异常");
    return false;
  }
  if (code->value != kCodeOk) {
    log.DebugLine("上报[" + uniKey + "]返回结果未知，返回的状态码：" + code->text);
    return false;
  }
  log.DebugLine("上报[" + uniKey + "]返回结果完成");
  return true;
}

}  // namespace qv
