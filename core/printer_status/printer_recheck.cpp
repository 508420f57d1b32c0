#include "core/printer_status/printer_recheck.h"

namespace qv {
namespace {

// No ping first: the connect itself is bounded, and a ping would only add its own wait.
constexpr int kNoPing = 0;
constexpr int kIoTimeoutMs = 3000;
// Any width: nothing is laid out on paper.
constexpr int kPaperWidth = 80;

}  // namespace

CheckOutcome RecheckNetworkPrinter(NetworkPrinter& printer, const std::string& address, int port,
                                   int answerWaitMs) {
  if (!printer.connect(address, port, kNoPing, kIoTimeoutMs, kPaperWidth)) {
    return CheckOutcome::Unreachable;
  }
  const NetworkPrinter::PaperState paper = printer.ReadPaperState(answerWaitMs);
  // Closing without feed or cut: the printer is not asked to move its paper.
  printer.close(0, 0);
  switch (paper) {
    case NetworkPrinter::PaperState::Present:
      return CheckOutcome::Ready;
    case NetworkPrinter::PaperState::Out:
      return CheckOutcome::PaperOut;
    case NetworkPrinter::PaperState::Unknown:
      break;
  }
  // A printer that takes the connection but keeps quiet may still be out of paper: its row
  // keeps what the last ticket found until a ticket or an answer says otherwise.
  return CheckOutcome::CannotTell;
}

}  // namespace qv
