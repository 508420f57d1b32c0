#include "printer/spooler_printer.h"

namespace qv {

SpoolerPrinter::SpoolerPrinter() : SpoolerPrinter(platform::Spooler::create()) {}

SpoolerPrinter::SpoolerPrinter(std::unique_ptr<platform::Spooler> spooler)
    : EscPosPrinter(ClosedQrCode::HandToTransport), spooler_(std::move(spooler)) {}

SpoolerPrinter::~SpoolerPrinter() = default;

int SpoolerPrinter::listPrinters(std::vector<PrinterInfo>& records) {
  records = spooler_->listPrinters();
  return static_cast<int>(records.size());
}

bool SpoolerPrinter::open(const std::string& printerName, int paperWidth, std::string& errorText) {
  setPaperWidth(paperWidth);
  // A job still open from an earlier task is ended first so it prints on its own.
  job_.reset();
  job_ = spooler_->startRawJob(printerName, errorText);
  setOpen(job_ != nullptr);
  return isOpen();
}

bool SpoolerPrinter::writeBytes(std::string_view data) { return job_ && job_->write(data); }

bool SpoolerPrinter::transfer(std::string_view bytes) { return writeBytes(bytes); }

bool SpoolerPrinter::releaseTransport() {
  if (!job_) return false;
  const bool ok = job_->finish();
  job_.reset();
  return ok;
}

}  // namespace qv
