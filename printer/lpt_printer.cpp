#include "printer/lpt_printer.h"

namespace qv {

LptPrinter::LptPrinter() : LptPrinter(platform::LptPorts::create()) {}

LptPrinter::LptPrinter(std::unique_ptr<platform::LptPorts> ports)
    : EscPosPrinter(ClosedQrCode::HandToTransport), ports_(std::move(ports)) {}

LptPrinter::~LptPrinter() {
  if (handle_ != -1) ports_->closePort(handle_);
}

void LptPrinter::setPortPaths(const std::string& lpt1, const std::string& lpt2) {
  ports_->setDevicePath("LPT1", lpt1);
  ports_->setDevicePath("LPT2", lpt2);
}

bool LptPrinter::open(int portNumber, int paperWidth) {
  setPaperWidth(paperWidth);
  if (portNumber != 1 && portNumber != 2) return false;
  // The port of an earlier task is let go first; a port open twice would refuse the second.
  if (handle_ != -1) ports_->closePort(handle_);
  handle_ = ports_->openPort(portNumber == 1 ? "LPT1" : "LPT2");
  setOpen(handle_ != -1);
  return isOpen();
}

bool LptPrinter::writeBytes(std::string_view data) { return ports_->writePort(handle_, data) != 0; }

bool LptPrinter::transfer(std::string_view bytes) { return writeBytes(bytes); }

bool LptPrinter::releaseTransport() {
  // The port layer has nothing to report on closing; a port that was open counts as closed.
  ports_->closePort(handle_);
  handle_ = -1;
  return true;
}

}  // namespace qv
