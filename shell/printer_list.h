// The installed printers as the cloud and the support staff see them: the JSON list text of
// the printer list report and the lines of the export file.
#pragma once

#include <string>
#include <vector>

namespace qv::shell {

// One installed printer: its name and port, UTF-8.
struct PrinterEntry {
  std::string name;
  std::string port;
};

// Source of the installed printers (the spooler).
class PrinterSource {
 public:
  virtual ~PrinterSource() = default;
  // Installed printers in the order the system lists them; empty when none or on failure.
  virtual std::vector<PrinterEntry> ListPrinters() = 0;
};

// The items {"n":"<name>","p":"<port>"} joined by ",", without brackets (what the log shows).
std::string PrinterListItems(const std::vector<PrinterEntry>& printers);

// "[" + items + "]": the list text whose UTF-8 bytes are hashed and sent.
std::string PrinterListJson(const std::vector<PrinterEntry>& printers);

// One line "打印机名称：[<name>]    打印机端口：[<port>]\r\n" per printer, UTF-8.
std::string PrinterListExportText(const std::vector<PrinterEntry>& printers);

}  // namespace qv::shell
