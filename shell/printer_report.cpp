#include "shell/printer_report.h"

#include "core/task_wire.h"
#include "platform/file_system.h"
#include "platform/gbk.h"
#include "util/text.h"

namespace qv::shell {

bool PrinterListReporter::ReportPrinterList(const ServiceConfig& target) {
  const std::vector<PrinterEntry> printers = printers_.ListPrinters();
  const std::string list = PrinterListJson(printers);

  PrinterListFields fields;
  fields.times = uplink_.TimeText();
  fields.mac = state_.macAddress;
  fields.md5 = Md5Hex(list);
  fields.plist = Base64Encode(list);

  const std::string answer = uplink_.SendPrinterList(target, fields);
  const std::optional<AnswerCode> code = DecodeAnswerCode(answer);
  const bool parsed = code.has_value();
  const bool ok = parsed && code->value == kCodeOk;

  if (state_.debug) {
    const std::string url = "https://" + target.server + "/api/v2/common/local/print/chk";
    const std::string body = CloudApi::PrinterListBody(fields);
    const std::string tail =
        "提交POST内容：" + body + "\r\n打印机列表：[" + PrinterListItems(printers) + "]";
    if (ok) {
      log_.WriteRunLog(url + "上报打印机成功，" + tail, "上报打印机成功");
    } else if (parsed) {
      log_.WriteRunLog(url + "上报打印机失败，原因是解析返回code=200，" + tail, "上报打印机失败");
    } else {
      log_.WriteRunLog(url + "上报打印机失败，原因是解析返回的数据错误，" + tail, "上报打印机失败");
    }
  }
  return ok;
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
