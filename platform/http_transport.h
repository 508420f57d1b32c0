// One HTTP(S) exchange over the operating system's HTTP stack (libcurl on Linux, WinHTTP on
// Windows). The portable HTTP client (cloud/http_client.h) prepares everything that is text
// logic (URL split, verb, the complete header block, the body bytes) and reads the answer
// back; the transport only carries it.
//
// Every backend: each of the resolve, connect, send and receive phases is bounded by
// `timeoutMs`; redirects are followed unless `followRedirects` is false; no cookie engine of
// its own (cookies travel only in the header block); the body is sent for every verb; the
// whole body is read; the raw response headers of the final answer come back with the status
// line first, lines separated by CR LF.
#pragma once

#include <memory>
#include <string>

namespace qv::platform {

struct TlsOptions {
  // Certificates are verified by default. Do not turn this off in code: a man-in-the-middle
  // could feed the service print tasks. Only the shop's explicit setting may.
  bool verify = true;
  // PEM file of extra trusted root certificates, besides the system's; empty for none.
  std::string caFile;
};

struct HttpTransportRequest {
  bool secure = false;  // https
  std::string host;     // host name or address, without brackets
  int port = 80;
  std::string path = "/";  // path with query, as sent on the request line
  std::string verb = "GET";
  std::string headers;  // complete header lines, each ending with CR LF (UTF-8)
  std::string body;     // bytes sent as they are (with every verb)
  bool followRedirects = true;
  std::string user, password;            // HTTP Basic for the server, when both are given
  std::string proxy;                     // "host:port"; empty: no proxy at all
  std::string proxyUser, proxyPassword;  // HTTP Basic for the proxy, when both are given
  int timeoutMs = 30000;                 // for each phase
  TlsOptions tls;
};

// Where an exchange stopped. The client turns each into its message text.
enum class HttpFailure {
  None,
  Platform,     // the HTTP service is not available
  Session,      // no session could be created
  Timeouts,     // the timeouts could not be set
  Connection,   // no connection handle
  Request,      // no request handle
  Credentials,  // credentials refused
  Certificate,  // the TLS settings could not be applied (e.g. unreadable CA file)
  Cookies,      // the platform's cookie handling could not be switched off
  Redirects,    // redirects could not be switched off
  Headers,      // the header block was refused
  Send,         // resolving, connecting, TLS (verification included) or sending failed
  NoResponse,   // the request went out but no answer came (includes the receive timeout)
  Read,         // reading the body failed; the answer so far is delivered
};

struct HttpTransportResponse {
  bool headersRead = false;  // false: the raw headers could not be read
  std::string rawHeaders;    // final answer's header lines, status line first, CR LF each
  std::string body;          // the body bytes read (partial after HttpFailure::Read)
};

class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  // Performs the exchange; None on success, else the step that failed. After Read the
  // response holds what was read; after any other failure it is empty.
  virtual HttpFailure exchange(const HttpTransportRequest& request,
                               HttpTransportResponse& response) = 0;
  static std::unique_ptr<HttpTransport> create();
};

}  // namespace qv::platform
