// The spooler on Windows: winspool's wide entry points, raw jobs of one page.
#include <windows.h>
#include <winspool.h>

#include <vector>

#include "platform/spooler.h"
#include "platform/win32/wide.h"

namespace qv::platform {
namespace {

using win32::ErrorText;
using win32::Narrow;
using win32::Wide;

std::string Field(const wchar_t* text) { return text ? Narrow(text) : std::string(); }

// A printer handle with a started job and page. The job prints once the page and document
// are ended and the handle closed, whichever way the object goes.
class WinspoolJob : public SpoolJob {
 public:
  explicit WinspoolJob(HANDLE printer) : printer_(printer) {}
  ~WinspoolJob() override { Finish(); }

  bool Write(std::string_view bytes) override {
    if (printer_ == nullptr) return false;
    if (bytes.empty()) return true;
    DWORD written = 0;
    const BOOL ok = WritePrinter(printer_, const_cast<char*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size()), &written);
    // A short write would drop the end of a command; it is a failure, not a success.
    return ok && written == bytes.size();
  }

  bool Finish() override {
    if (printer_ == nullptr) return false;
    // A document the spooler would not end is not printed: every step counts, and every
    // step is taken so the handle is released either way.
    const bool pageEnded = EndPagePrinter(printer_) != 0;
    const bool documentEnded = EndDocPrinter(printer_) != 0;
    const bool closed = ClosePrinter(printer_) != 0;
    printer_ = nullptr;
    return pageEnded && documentEnded && closed;
  }

  bool Abort() override {
    if (printer_ == nullptr) return false;
    // AbortPrinter deletes the job's spool file; the page and document are never ended, so
    // nothing of the job reaches the printer.
    const bool aborted = AbortPrinter(printer_) != 0;
    const bool closed = ClosePrinter(printer_) != 0;
    printer_ = nullptr;
    return aborted && closed;
  }

 private:
  HANDLE printer_;
};

// Closes a printer handle that never got as far as a job.
class PrinterHandle {
 public:
  ~PrinterHandle() {
    if (h_ != nullptr) ClosePrinter(h_);
  }
  HANDLE* Out() { return &h_; }
  HANDLE Get() const { return h_; }
  HANDLE Release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }

 private:
  HANDLE h_ = nullptr;
};

class WinspoolSpooler : public Spooler {
 public:
  std::vector<PrinterInfo> listPrinters() override {
    std::vector<PrinterInfo> printers;
    constexpr DWORD kFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrintersW(kFlags, nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0) return printers;
    // 8-byte aligned storage: the records are structures of pointers.
    std::vector<unsigned long long> buffer(needed / sizeof(unsigned long long) + 1);
    auto* bytes = reinterpret_cast<BYTE*>(buffer.data());
    if (!EnumPrintersW(kFlags, nullptr, 2, bytes, needed, &needed, &count)) return printers;
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(bytes);
    for (DWORD i = 0; i < count; ++i) {
      printers.push_back({Field(info[i].pServerName), Field(info[i].pPrinterName),
                          Field(info[i].pShareName), Field(info[i].pPortName),
                          Field(info[i].pDriverName), Field(info[i].pComment),
                          Field(info[i].pLocation), Field(info[i].pPrintProcessor)});
    }
    return printers;
  }

  std::unique_ptr<SpoolJob> StartRawJob(const std::string& name, std::string& error) override {
    std::wstring wideName = Wide(name);
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, 0};
    PrinterHandle printer;
    if (!OpenPrinterW(wideName.data(), printer.Out(), &defaults)) {
      error = ErrorText(GetLastError());
      return nullptr;
    }
    // RAW: the spooler hands the ESC/POS bytes to the port untouched. The job gets a name so
    // staff can tell it apart in the queue; Wine's spooler also drops unnamed jobs.
    wchar_t dataType[] = L"RAW";
    wchar_t documentName[] = L"Quorvel receipt";
    DOC_INFO_1W document{documentName, nullptr, dataType};
    if (StartDocPrinterW(printer.Get(), 1, reinterpret_cast<BYTE*>(&document)) == 0) {
      return nullptr;
    }
    if (!StartPagePrinter(printer.Get())) {
      EndDocPrinter(printer.Get());
      return nullptr;
    }
    return std::make_unique<WinspoolJob>(printer.Release());
  }
};

}  // namespace

std::unique_ptr<Spooler> Spooler::Create() { return std::make_unique<WinspoolSpooler>(); }

}  // namespace qv::platform
