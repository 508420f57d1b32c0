#include "shell/printer_list.h"

#include <cstdio>

#include "util/text.h"

namespace qv::shell {

std::string JsonEscape(std::string_view text) {
  // JSON is UTF-8: a byte that is no part of a UTF-8 character (a queue name from a system
  // that allows any byte) would make the whole list text invalid for the cloud.
  const std::string valid = SanitizeUtf8(text);
  std::string out;
  out.reserve(valid.size());
  for (char c : valid) {
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
