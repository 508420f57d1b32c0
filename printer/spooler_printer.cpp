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
  jobAccepted_ = false;
  job_ = spooler_->startRawJob(printerName, errorText);
  setOpen(job_ != nullptr);
  return isOpen();
}

bool SpoolerPrinter::writeBytes(std::string_view data) { return job_ && job_->write(data); }

bool SpoolerPrinter::transfer(std::string_view bytes) { return writeBytes(bytes); }

bool SpoolerPrinter::finishJob() {
  if (job_) {
    jobAccepted_ = job_->finish();
    job_.reset();
  }
  return jobAccepted_;
}

bool SpoolerPrinter::releaseTransport() {
  const bool accepted = finishJob();
  jobAccepted_ = false;  // a second close has nothing to release
  return accepted;
}

}  // namespace qv
