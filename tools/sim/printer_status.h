// The state a virtual printer reports and the bytes it answers status requests with.
#pragma once

#include <string>

#include "printer/preview/escpos_decoder.h"

namespace qv::sim {

// The virtual printers read what they receive with the program's own receipt decoder, so a
// receipt the simulator shows is the receipt the program's preview shows.
using preview::StatusQuery;
using preview::StatusQueryKind;
using preview::StatusQueryName;

struct PrinterState {
  bool paperOut = false;
  bool paperNearEnd = false;
  bool coverOpen = false;
  bool drawerOpen = false;
  bool cutterFault = false;
  bool offline = false;      // not listening: connections are refused
  bool switchedOff = false;  // connection attempts go unanswered (their SYNs are dropped)
  bool stall = false;        // accepts connections but never reads (the sender's buffers fill)
  int dropAfterBytes = -1;   // close the connection once a job has sent this many bytes
  int dropJobs = 1;          // how many jobs the drop applies to; 0 = every job
  int paperReply = -1;       // 0..255: the byte ESC v is answered with whatever the state
                             // (some printers answer with the print head's temperature)
  bool mute = false;         // answers no status request at all
  int receiveBuffer = 0;     // bytes of receive buffer for new connections; 0: the system's
                             // (a small one with stall: a printer advertising a zero window)
};

// The reply a printer in `state` sends to `query`. The bits follow what the print service
// reads: GS r 1 -> 01 offline, 04 error (cover open), 08 paper near end, 20 paper out;
// GS r 2 -> 04 drawer open, 40 cutter fault; ESC v -> 00 ready, 0C paper out or cover open;
// GS I 65 -> the firmware version, NUL-terminated. DLE EOT n answers the usual real-time bits.
std::string StatusReply(const StatusQuery& query, const PrinterState& state);

// "ready", or the faults joined by ", " ("paper out, cover open").
std::string StateText(const PrinterState& state);

}  // namespace qv::sim
