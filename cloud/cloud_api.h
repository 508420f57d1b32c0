// The three requests of the cloud API, each wrapped the way the cloud expects: an HTTPS POST
// to "https://" + server + path with the store's headers (User-Agent, Storeid, X-Token, a
// time-stamped entry value) and a form body. The answer comes back as the raw body bytes,
// unchanged and unjudged: empty whenever the exchange failed, whatever the reason; the HTTP
// status is not examined. Callers parse the bytes and judge the answer by its `code`.
//
// cloud/ does not see the service's configuration record: a CloudSettingsSource hands over
// the values at the moment each request is built, so an edited store ID or server takes
// effect on the next request.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/http_transport.h"

namespace qv {

// What one request needs from the configuration; read afresh for every request.
struct CloudSettings {
  std::string server;      // host, optionally ":" port; used as it stands
  std::string token;       // value of the X-Token header ("null" by default)
  std::string sid;         // store ID (UTF-8); Storeid header and source of the entry value
  std::string caFile;      // PEM file of extra trusted roots; empty for none
  bool tlsVerify = true;   // false turns certificate verification off (logged by the caller)
  int timeoutSeconds = 0;  // per-phase timeout; 0 or less means 30 s
};

using CloudSettingsSource = std::function<CloudSettings()>;

// Receives one line for every request that failed or was refused, with the transport's
// reason (for the run log and the debug view); called on the thread that made the request,
// before the request returns.
using CloudFailureNote = std::function<void(const std::string& line)>;

// The body fields of the printer-list report, set by the caller; the envelope puts
// X-Token=1 in front of them.
struct PrinterListFields {
  std::string times;  // 10-digit Unix time in seconds
  std::string mac;    // MAC address text, possibly empty
  std::string md5;    // MD5 hex of the printer-list JSON text
  std::string plist;  // Base64 of the printer-list JSON text
};

// The interface the service core talks to; tests of the core put a fake behind it.
class CloudApi {
 public:
  virtual ~CloudApi() = default;

  // POST /api/v2/common/local/print/wait, empty body; the answer bytes, empty on failure.
  virtual std::string RequestWaitingTasks() = 0;

  // POST /api/v2/common/local/print/report with headers uk = uniKey and stat "1" (printed)
  // or "-1" (failed), body X-Token=1; the answer bytes, empty on failure.
  virtual std::string SendPrintResult(const std::string& uniKey, bool printed) = 0;

  // POST /api/v2/common/local/print/chk with body X-Token=1&times&mac&md5&plist; the answer
  // bytes, empty on failure.
  virtual std::string SendPrinterList(const PrinterListFields& fields) = 0;

  // The form body SendPrinterList sends for these fields (for the caller's debug log).
  static std::string PrinterListBody(const PrinterListFields& fields);

  // The real client: requests go out through `transport`; `clock` stamps the entry value;
  // failures are described to `onFailure` when one is given. A request whose header values
  // hold a CR, LF or NUL is not sent (failure, empty answer).
  static std::unique_ptr<CloudApi> Create(CloudSettingsSource settings,
                                          std::unique_ptr<platform::HttpTransport> transport,
                                          std::unique_ptr<platform::Clock> clock,
                                          CloudFailureNote onFailure = nullptr);
};

}  // namespace qv
