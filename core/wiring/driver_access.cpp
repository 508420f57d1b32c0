#include "core/wiring/driver_access.h"

namespace qv {

bool EscPosReceiptDriver::PrintTextLine(const std::string& text) {
  // printText with a line break returns only the result of the CR LF transfer, which can
  // succeed after the text itself was lost. The text and a one-line feed are the same two
  // transfers with the same bytes, and each result can be seen.
  const bool textSent = p_.printText(text, Newline::No);
  const bool lineEnded = p_.lineFeed(1);
  return textSent && lineEnded;
}

ReceiptDriver& DriverAccess::Driver(Transport transport) {
  switch (transport) {
    case Transport::Spooler:
      return spoolerOps_;
    case Transport::Lpt:
      return lptOps_;
    case Transport::Network:
      break;
  }
  return networkOps_;
}

}  // namespace qv
