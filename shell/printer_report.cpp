#include "shell/printer_report.h"

#include "core/service/task_wire.h"
#include "platform/file_system.h"
#include "platform/gbk.h"
#include "util/text.h"

namespace qv::shell {

PrinterListReport PrinterListReporter::ReportPrinterList(const PrinterListRequest& request) {
  const std::vector<PrinterEntry> printers = printers_.ListPrinters();
  const std::string list = PrinterListJson(printers);

  PrinterListFields fields;
  fields.times = uplink_.TimeText();
  fields.mac = request.macAddress;
  fields.md5 = Md5Hex(list);
  fields.plist = Base64Encode(list);

  const std::string answer = uplink_.SendPrinterList(request.target, fields);
  const std::optional<AnswerCode> code = DecodeAnswerCode(answer);
  const bool parsed = code.has_value();
  PrinterListReport report;
  report.accepted = parsed && code->value == kCodeOk;
  if (!request.debug) return report;

  const std::string url = "https://" + request.target.server + "/api/v2/common/local/print/chk";
  const std::string body = CloudApi::PrinterListBody(fields);
  const std::string tail =
      "提交POST内容：" + body + "\r\n打印机列表：[" + PrinterListItems(printers) + "]";
  if (report.accepted) {
    report.logPrefix = "上报打印机成功";
    report.logText = url + "上报打印机成功，" + tail;
  } else {
    report.logPrefix = "上报打印机失败";
    report.logText = url +
                     (parsed ? "上报打印机失败，原因是解析返回code=200，"
                             : "上报打印机失败，原因是解析返回的数据错误，") +
                     tail;
  }
  return report;
}

ExportResult ExportPrinterList(PrinterSource& printers, const std::string& directory) {
  const std::vector<PrinterEntry> list = printers.ListPrinters();
  if (list.empty()) return ExportResult::NoPrinters;
  const std::string path = platform::JoinPath(directory, kPrinterListFileName);
  return platform::WriteFile(path, FromUtf8(PrinterListExportText(list)))
             ? ExportResult::Written
             : ExportResult::WriteFailed;
}

}  // namespace qv::shell
