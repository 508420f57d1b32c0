#include "shell/printer_list.h"

#include "util/json/string_text.h"

namespace qv::shell {

std::string PrinterListItems(const std::vector<PrinterEntry>& printers) {
  std::string items;
  for (const PrinterEntry& p : printers) {
    if (!items.empty()) items += ',';
    // A name or port with a quote, a backslash or bytes that are no UTF-8 must not make the
    // list text invalid JSON for the cloud.
    items += "{\"n\":" + JsonQuoted(p.name) + ",\"p\":" + JsonQuoted(p.port) + "}";
  }
  return items;
}

std::string PrinterListJson(const std::vector<PrinterEntry>& printers) {
  // Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) about "[" + text + "]".
  std::string json = "[";
  json += PrinterListItems(printers);
  json += ']';
  return json;
}

std::string PrinterListExportText(const std::vector<PrinterEntry>& printers) {
  std::string text;
  for (const PrinterEntry& p : printers) {
    text += "打印机名称：[" + p.name + "]    打印机端口：[" + p.port + "]\r\n";
  }
  return text;
}

}  // namespace qv::shell
