// The spooler on Linux: CUPS queues listed over IPP and raw jobs streamed into them. The list
// comes straight from the scheduler; libcups is loaded for the first job (or for a scheduler
// that wants credentials or encryption to list its queues).
#include <cerrno>
#include <cstring>

#include "platform/posix/cups_direct_list.h"
#include "platform/posix/cups_library.h"
#include "platform/spooler.h"

namespace qv::platform {
namespace {

using posix::Cups;
using posix::CupsLibrary;

// The library, once an entry point has loaded it: every object below exists only after that.
const CupsLibrary& Lib() {
  std::string ignored;
  return *Cups(ignored);
}

// The one place CUPS failures become our text: CUPS' own description of its last error.
std::string CupsErrorText() {
  const ipp_status_t code = Lib().cupsLastError();
  if (code == IPP_STATUS_OK) return "但是未知错误类型";
  const char* text = Lib().cupsLastErrorString();
  if (text == nullptr || *text == '\0') return "未知系统错误：" + std::to_string(code);
  return text;
}

struct HttpCloser {
  void operator()(http_t* http) const { Lib().httpClose(http); }
};
using Http = std::unique_ptr<http_t, HttpCloser>;

struct IppDeleter {
  void operator()(ipp_t* ipp) const { Lib().ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDeleter>;

// A connection of our own to the scheduler named by CUPS_SERVER / client.conf, so a job's
// streamed document never shares the library's per-thread default connection.
Http ConnectToScheduler(std::string& error) {
  Http http(Lib().httpConnect2(Lib().cupsServer(), Lib().ippPort(), nullptr, AF_UNSPEC,
                               Lib().cupsEncryption(), 1, 30000, nullptr));
  if (!http) error = std::string("CUPS: ") + std::strerror(errno);
  return http;
}

std::string Text(ipp_attribute_t* attribute) {
  const char* value = attribute ? Lib().ippGetString(attribute, 0, nullptr) : nullptr;
  return value ? value : "";
}

// Asks the scheduler for a new job on the printer; the job id, or 0 with CUPS' last error set.
// The request goes straight to the scheduler (cupsCreateJob would look the printer up on
// the client first and report a missing one as a bare "No such file or directory").
int CreateJob(http_t* http, const std::string& printer) {
  char uri[HTTP_MAX_URI];
  Lib().httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost",
                         Lib().ippPort(), "/printers/%s", printer.c_str());
  ipp_t* request = Lib().ippNewRequest(IPP_OP_CREATE_JOB);
  Lib().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  Lib().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                     Lib().cupsUser());
  // cupsDoRequest takes ownership of the request.
  Ipp response(Lib().cupsDoRequest(http, request, "/"));
  if (!response || Lib().cupsLastError() > IPP_STATUS_OK_CONFLICTING) return 0;
  ipp_attribute_t* id = Lib().ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
  return id ? Lib().ippGetInteger(id, 0) : 0;
}

class CupsJob : public SpoolJob {
 public:
  CupsJob(Http http, std::string printer, int id)
      : http_(std::move(http)), printer_(std::move(printer)), id_(id) {}
  ~CupsJob() override { Finish(); }

  bool Write(std::string_view bytes) override {
    if (!http_) return false;
    if (bytes.empty()) return true;
    return Lib().cupsWriteRequestData(http_.get(), bytes.data(), bytes.size()) ==
           HTTP_STATUS_CONTINUE;
  }

  bool Finish() override {
    if (!http_) return false;
    const ipp_status_t status = Lib().cupsFinishDocument(http_.get(), printer_.c_str());
    http_.reset();
    return status <= IPP_STATUS_OK_EVENTS_COMPLETE;
  }

  bool Abort() override {
    if (!http_) return false;
    // The document is never completed: the scheduler drops what it received of it when the
    // connection ends, and the job itself is cancelled over a connection of its own (the
    // streaming one is in the middle of its request).
    http_.reset();
    std::string ignored;
    Http http = ConnectToScheduler(ignored);
    return http &&
           Lib().cupsCancelJob2(http.get(), printer_.c_str(), id_, 0) <= IPP_STATUS_OK_CONFLICTING;
  }

 private:
  Http http_;
  std::string printer_;
  int id_;
};

class CupsSpooler : public Spooler {
 public:
  std::vector<PrinterInfo> listPrinters() override {
    if (std::optional<std::vector<PrinterInfo>> listed = posix::ListPrintersDirectly()) {
      return std::move(*listed);
    }
    std::vector<PrinterInfo> printers;
    std::string ignored;
    if (Cups(ignored) == nullptr) return printers;
    Http http = ConnectToScheduler(ignored);
    if (!http) return printers;
    static const char* const kAttributes[] = {
        "printer-name", "device-uri", "printer-make-and-model", "printer-info", "printer-location"};
    ipp_t* request = Lib().ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    Lib().ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                        static_cast<int>(std::size(kAttributes)), nullptr, kAttributes);
    // cupsDoRequest takes ownership of the request.
    Ipp response(Lib().cupsDoRequest(http.get(), request, "/"));
    if (!response) return printers;
    // Each printer is one attribute group; a separator attribute has no name.
    PrinterInfo current;
    auto flush = [&] {
      if (!current.printerName.empty()) printers.push_back(std::move(current));
      current = PrinterInfo();
    };
    for (ipp_attribute_t* a = Lib().ippFirstAttribute(response.get()); a;
         a = Lib().ippNextAttribute(response.get())) {
      const char* name = Lib().ippGetName(a);
      if (name == nullptr || Lib().ippGetGroupTag(a) != IPP_TAG_PRINTER) {
        flush();
        continue;
      }
      const std::string_view key = name;
      if (key == "printer-name") current.printerName = Text(a);
      if (key == "device-uri") current.portName = Text(a);
      if (key == "printer-make-and-model") current.driverName = Text(a);
      if (key == "printer-info") current.comment = Text(a);
      if (key == "printer-location") current.location = Text(a);
    }
    flush();
    return printers;
  }

  std::unique_ptr<SpoolJob> StartRawJob(const std::string& name, std::string& error) override {
    if (Cups(error) == nullptr) return nullptr;
    Http http = ConnectToScheduler(error);
    if (!http) return nullptr;
    const int job = CreateJob(http.get(), name);
    if (job == 0) {
      error = CupsErrorText();
      return nullptr;
    }
    // Raw: the scheduler hands the ESC/POS bytes to the device untouched.
    if (Lib().cupsStartDocument(http.get(), name.c_str(), job, nullptr, CUPS_FORMAT_RAW, 1) !=
        HTTP_STATUS_CONTINUE) {
      Lib().cupsCancelJob2(http.get(), name.c_str(), job, 0);
      return nullptr;
    }
    return std::make_unique<CupsJob>(std::move(http), name, job);
  }
};

}  // namespace

std::unique_ptr<Spooler> Spooler::Create() { return std::make_unique<CupsSpooler>(); }

}  // namespace qv::platform
