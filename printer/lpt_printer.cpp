#include "printer/lpt_printer.h"

namespace qv {

LptPrinter::LptPrinter() : LptPrinter(platform::LptPorts::Create()) {}

LptPrinter::LptPrinter(std::unique_ptr<platform::LptPorts> ports)
    : EscPosPrinter(ClosedQrCode::HandToTransport), ports_(std::move(ports)) {}

LptPrinter::~LptPrinter() {
  if (handle_ != -1) ports_->ClosePort(handle_);
}

void LptPrinter::SetPortPaths(const std::string& lpt1, const std::string& lpt2) {
  ports_->SetDevicePath("LPT1", lpt1);
  ports_->SetDevicePath("LPT2", lpt2);
}

bool LptPrinter::open(int portNumber, int paperWidth) {
  SetPaperWidth(paperWidth);
  if (portNumber != 1 && portNumber != 2) return false;
  // The port of an earlier task is let go first; a port open twice would refuse the second.
  if (handle_ != -1) ports_->ClosePort(handle_);
  handle_ = ports_->OpenPort(portNumber == 1 ? "LPT1" : "LPT2");
  SetOpen(handle_ != -1);
  return isOpen();
}

bool LptPrinter::writeBytes(std::string_view data) { return ports_->WritePort(handle_, data) != 0; }

bool LptPrinter::Transfer(std::string_view bytes) { return writeBytes(bytes); }

bool LptPrinter::ReleaseTransport() {
  // The port layer has nothing to report on closing; a port that was open counts as closed.
  ports_->ClosePort(handle_);
  handle_ = -1;
  return true;
}

}  // namespace qv
