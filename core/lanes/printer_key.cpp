#include "core/lanes/printer_key.h"

#include <string_view>

#include "util/text.h"

namespace qv {
namespace {

// Network printers take their tickets on the raw printing port.
constexpr const char* kNetworkPort = "9100";

}  // namespace

std::string PrinterKey(int printType, const std::string& printSn) {
  // Host names and the system's printer names do not tell upper from lower case; only ASCII
  // is folded, so a name in another script keeps its bytes.
  const std::string_view sn = TrimBlanks(printSn);
  switch (printType) {
    case 1:
      return "net:" + AsciiLower(sn) + ":" + kNetworkPort;
    case 2:
      return "spooler:" + AsciiLower(sn);
    case 3:
      // The port the driver opens: "01" and "1 " are one port.
      return "lpt:" + std::to_string(TextToInt(printSn));
    default:
      // Nothing reaches a printer for a type this program does not know; one key keeps
      // their debug lines in order.
      return "none";
  }
}

}  // namespace qv
