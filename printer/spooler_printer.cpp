#include "printer/spooler_printer.h"

namespace qv {

SpoolerPrinter::SpoolerPrinter() : SpoolerPrinter(platform::Spooler::Create()) {}

SpoolerPrinter::SpoolerPrinter(std::unique_ptr<platform::Spooler> spooler)
    : EscPosPrinter(ClosedQrCode::HandToTransport), spooler_(std::move(spooler)) {}

SpoolerPrinter::~SpoolerPrinter() = default;

int SpoolerPrinter::listPrinters(std::vector<PrinterInfo>& records) {
  records = spooler_->listPrinters();
  return static_cast<int>(records.size());
}

bool SpoolerPrinter::open(const std::string& printerName, int paperWidth, std::string& errorText) {
  SetPaperWidth(paperWidth);
  // A job still open from an earlier task is ended first so it prints on its own.
  FinishJob();
  jobAccepted_ = false;
  job_ = spooler_->StartRawJob(printerName, errorText);
  SetOpen(job_ != nullptr);
  return isOpen();
}

bool SpoolerPrinter::writeBytes(std::string_view data) {
  if (!job_) return false;
  // After a failed write the job has a hole in it; what follows would print as garbage.
  if (!jobSpoiled_ && job_->Write(data)) return true;
  jobSpoiled_ = true;
  return false;
}

bool SpoolerPrinter::Transfer(std::string_view bytes) { return writeBytes(bytes); }

bool SpoolerPrinter::FinishJob() {
  if (job_) {
    if (jobSpoiled_) {
      job_->Abort();
      jobAccepted_ = false;
    } else {
      jobAccepted_ = job_->Finish();
    }
    job_.reset();
    jobSpoiled_ = false;
  }
  return jobAccepted_;
}

bool SpoolerPrinter::ReleaseTransport() {
  const bool accepted = FinishJob();
  jobAccepted_ = false;  // a second close has nothing to release
  return accepted;
}

}  // namespace qv
