// The spooler on Linux: the scheduler's queues and raw jobs streamed into them, through libcups
// (which speaks IPP to the scheduler named by CUPS_SERVER / client.conf).
#include <cerrno>

#include <cups/cups.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/posix/errno_text.h"
#include "platform/spooler.h"

namespace qv::platform {
namespace {

// The one place CUPS failures become our text: CUPS' own description of its last error.
std::string CupsErrorText() {
  const ipp_status_t code = cupsLastError();
  if (code == IPP_STATUS_OK) return "但是未知错误类型";
  const char* text = cupsLastErrorString();
  if (text == nullptr || *text == '\0') return "未知系统错误：" + std::to_string(code);
  return text;
}

struct HttpCloser {
  void operator()(http_t* http) const { httpClose(http); }
};
using Http = std::unique_ptr<http_t, HttpCloser>;

struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDeleter>;

// A connection of our own to the scheduler named by CUPS_SERVER / client.conf, so a job's
// streamed document never shares the library's per-thread default connection.
Http ConnectToScheduler(std::string& error) {
  Http http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000,
                         nullptr));
  if (!http) error = "CUPS: " + ErrnoText(errno);
  return http;
}

// The printer's URI with its name escaped, as IPP requests name the printer.
std::string PrinterUri(const std::string& printer) {
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                   "/printers/%s", printer.c_str());
  return uri;
}

// Asks the scheduler for a new job on the printer; the job id, or 0 with CUPS' last error set.
// The request goes straight to the scheduler (cupsCreateJob would look the printer up on
// the client first and report a missing one as a bare "No such file or directory").
int CreateJob(http_t* http, const std::string& printer) {
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                   "/printers/%s", printer.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_CREATE_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  // cupsDoRequest takes ownership of the request.
  Ipp response(cupsDoRequest(http, request, "/"));
  if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) return 0;
  ipp_attribute_t* id = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
  return id ? ippGetInteger(id, 0) : 0;
}

// Starts the job's one document, raw: the scheduler hands the ESC/POS bytes to the device
// untouched, and its answer comes once the document is complete. The request goes to the
// scheduler's root, as the job's creation did: cupsStartDocument posts to "/printers/" + the
// name unescaped, which the scheduler refuses for names such as "b0{}[]<>".
bool StartDocument(http_t* http, const std::string& printer, int job) {
  ipp_t* request = ippNewRequest(IPP_OP_SEND_DOCUMENT);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
               PrinterUri(printer).c_str());
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
               CUPS_FORMAT_RAW);
  ippAddBoolean(request, IPP_TAG_OPERATION, "last-document", 1);
  const Ipp owned(request);  // cupsSendRequest sends it and leaves it to us
  return cupsSendRequest(http, request, "/", CUPS_LENGTH_VARIABLE) == HTTP_STATUS_CONTINUE;
}

class CupsJob : public SpoolJob {
 public:
  CupsJob(Http http, std::string printer, int id)
      : http_(std::move(http)), printer_(std::move(printer)), id_(id) {}
  ~CupsJob() override { Finish(); }

  bool Write(std::string_view bytes) override {
    if (!http_) return false;
    if (bytes.empty()) return true;
    return cupsWriteRequestData(http_.get(), bytes.data(), bytes.size()) == HTTP_STATUS_CONTINUE;
  }

  bool Finish() override {
    if (!http_) return false;
    // The end of the document StartDocument began; the scheduler's answer to it judges the job.
    const Ipp response(cupsGetResponse(http_.get(), "/"));
    const ipp_status_t status = cupsLastError();
    http_.reset();
    return response != nullptr && status <= IPP_STATUS_OK_EVENTS_COMPLETE;
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
           cupsCancelJob2(http.get(), printer_.c_str(), id_, 0) <= IPP_STATUS_OK_CONFLICTING;
  }

 private:
  Http http_;
  std::string printer_;
  int id_;
};

struct DestsDeleter {
  int count = 0;
  void operator()(cups_dest_t* dests) const { cupsFreeDests(count, dests); }
};

// A named option of a queue, as the scheduler describes it; empty when it has none.
std::string Option(const cups_dest_t& dest, const char* name) {
  const char* value = cupsGetOption(name, dest.num_options, dest.options);
  return value != nullptr ? value : "";
}

class CupsSpooler : public Spooler {
 public:
  std::vector<PrinterInfo> listPrinters() override {
    std::vector<PrinterInfo> printers;
    std::string ignored;
    Http http = ConnectToScheduler(ignored);
    if (!http) return printers;
    // The scheduler's queues only: no printers found on the network, which the service
    // could not print to by name.
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http.get(), &dests);
    const std::unique_ptr<cups_dest_t, DestsDeleter> owned(dests, DestsDeleter{count});
    for (int i = 0; i < count; ++i) {
      const cups_dest_t& dest = dests[i];
      // An instance (queue/instance in lpoptions) is a set of options on a queue, not a queue.
      if (dest.instance != nullptr || dest.name == nullptr) continue;
      PrinterInfo info;
      info.printerName = dest.name;
      info.portName = Option(dest, "device-uri");
      info.driverName = Option(dest, "printer-make-and-model");
      info.comment = Option(dest, "printer-info");
      info.location = Option(dest, "printer-location");
      printers.push_back(std::move(info));
    }
    return printers;
  }

  std::unique_ptr<SpoolJob> StartRawJob(const std::string& name, std::string& error) override {
    Http http = ConnectToScheduler(error);
    if (!http) return nullptr;
    const int job = CreateJob(http.get(), name);
    if (job == 0) {
      error = CupsErrorText();
      return nullptr;
    }
    if (!StartDocument(http.get(), name, job)) {
      cupsCancelJob2(http.get(), name.c_str(), job, 0);
      return nullptr;
    }
    return std::make_unique<CupsJob>(std::move(http), name, job);
  }
};

}  // namespace

std::unique_ptr<Spooler> Spooler::Create() { return std::make_unique<CupsSpooler>(); }

}  // namespace qv::platform
