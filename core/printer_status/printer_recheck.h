// The quiet recheck of a network printer in trouble: connect, ask the paper question, hang
// up. Not a byte that prints, so a recheck never costs paper or shows on a ticket.
//
// Thread: blocks for up to a few seconds; run it on a lane, never on the window's thread, and
// never while a ticket goes to the same printer.
#pragma once

#include <string>

#include "core/printer_status/printer_board.h"
#include "printer/network_printer.h"

namespace qv {

// Unreachable when no connection is made within 3 s; PaperOut or Ready by the answer to ESC v;
// CannotTell when the printer takes the connection but does not answer within `answerWaitMs`.
CheckOutcome RecheckNetworkPrinter(NetworkPrinter& printer, const std::string& address, int port,
                                   int answerWaitMs = 2000);

}  // namespace qv
