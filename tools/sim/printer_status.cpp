#include "tools/sim/printer_status.h"

namespace qv::sim {
namespace {

std::string Byte(int value) { return std::string(1, static_cast<char>(value)); }

std::string RealTimeReply(int n, const PrinterState& s) {
  int b = 0x12;  // bits 1 and 4 are always set in real-time status bytes
  switch (n) {
    case 1:
      if (s.drawerOpen) b |= 0x04;
      if (s.paperOut || s.coverOpen) b |= 0x08;  // offline
      break;
    case 2:
      if (s.coverOpen) b |= 0x04;
      if (s.paperOut) b |= 0x20;
      if (s.paperOut || s.coverOpen || s.cutterFault) b |= 0x40;
      break;
    case 3:
      if (s.cutterFault) b |= 0x08;
      break;
    case 4:
      if (s.paperNearEnd) b |= 0x0C;
      if (s.paperOut) b |= 0x60;
      break;
    default:
      break;
  }
  return Byte(b);
}

std::string PrinterIdReply(int n) {
  switch (n) {
    case 1:
    case 49:
      return Byte(0x20);  // model ID
    case 2:
    case 50:
      return Byte(0x02);  // type ID: auto-cutter fitted
    case 3:
    case 51:
      return Byte(0x10);  // ROM version ID
    case 65:
      return std::string("QVSIM 1.00", 10) + '\0';
    case 66:
      return std::string("QUORVEL SIM") + '\0';
    case 67:
      return std::string("QV-80 virtual") + '\0';
    default:
      return std::string("QVSIM") + '\0';
  }
}

}  // namespace

std::string StatusReply(const StatusQuery& query, const PrinterState& s) {
  switch (query.kind) {
    case StatusQueryKind::PrinterStatus:
      return Byte((s.offline ? 0x01 : 0) | (s.coverOpen ? 0x04 : 0) | (s.paperNearEnd ? 0x08 : 0) |
                  (s.paperOut ? 0x20 : 0));
    case StatusQueryKind::DrawerStatus:
      return Byte((s.drawerOpen ? 0x04 : 0) | (s.cutterFault ? 0x40 : 0));
    case StatusQueryKind::PaperSensor:
      if (s.paperReply >= 0) return Byte(s.paperReply);
      return Byte(s.paperOut || s.coverOpen ? 0x0C : 0x00);
    case StatusQueryKind::PrinterId:
      return PrinterIdReply(query.argument);
    case StatusQueryKind::RealTime:
      return RealTimeReply(query.argument, s);
  }
  return "";
}

std::string StateText(const PrinterState& s) {
  std::string text;
  auto add = [&text](bool on, const char* what) {
    if (on) text += (text.empty() ? "" : ", ") + std::string(what);
  };
  add(s.offline, "offline");
  add(s.switchedOff, "switched off");
  add(s.stall, "stalled");
  add(s.paperOut, "paper out");
  add(s.paperNearEnd, "paper near end");
  add(s.coverOpen, "cover open");
  add(s.drawerOpen, "drawer open");
  add(s.cutterFault, "cutter fault");
  add(s.mute, "answers no status request");
  if (s.paperReply >= 0) {
    text += (text.empty() ? "" : ", ") + std::string("answers ESC v with ") +
            std::to_string(s.paperReply);
  }
  if (s.receiveBuffer > 0) {
    text += (text.empty() ? "" : ", ") + std::string("receive buffer ") +
            std::to_string(s.receiveBuffer) + " bytes";
  }
  if (s.dropAfterBytes >= 0)
    text += (text.empty() ? "" : ", ") + std::string("drops after ") +
            std::to_string(s.dropAfterBytes) + " bytes";
  return text.empty() ? "ready" : text;
}

}  // namespace qv::sim
