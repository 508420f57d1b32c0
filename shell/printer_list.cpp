#include "shell/printer_list.h"

#include <cstdio>

namespace qv::shell {

std::string JsonEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", byte);
          out += buffer;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string PrinterListItems(const std::vector<PrinterEntry>& printers) {
  std::string items;
  for (const PrinterEntry& p : printers) {
    if (!items.empty()) items += ',';
    items += "{\"n\":\"" + JsonEscape(p.name) + "\",\"p\":\"" + JsonEscape(p.port) + "\"}";
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
