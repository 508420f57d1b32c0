// One HTTP(S) exchange over the platform's HTTP stack: libcurl built with OpenSSL on Linux,
// WinHTTP on Windows. Framing, TLS and certificate checks are theirs. The portable HTTP client
// (cloud/http_client.h) prepares everything that is text logic (URL split, verb, the complete
// header block, the body bytes) and reads the answer back; the transport only carries it.
//
// Every backend: each of the resolve, connect, send and receive phases is bounded by
// `timeoutMs` and the whole exchange by `totalTimeoutMs` (a peer that trickles its answer
// holds no phase up for long); redirects are followed unless `followRedirects` is false, at
// most 10 of them, never from https to http, and the server's credentials and the block's
// Authorization and Cookie lines go to the first origin only; no cookie engine of its own
// (cookies travel only in the header block); the body is sent for every verb; a body cut off
// short of its length, or by a reset, is a failed read, never a complete answer;
// the body is read up to `maxBodyBytes` and held once, in the response (the caller may move it
// out); the raw response headers of the final answer come back with the status line first,
// lines separated by CR LF. A failure comes back with words for it in `reason`.
#pragma once

#include <cstddef>
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
  int totalTimeoutMs = 120000;           // for the whole exchange
  size_t maxBodyBytes = 32u << 20;       // a longer body fails the exchange (TooLarge)
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
  NoResponse,   // the request went out but no usable answer came (the receive timeout, an
                // answer the stack refused before its body, too many redirects)
  Read,         // reading the body failed; the answer so far is delivered
  TooLarge,     // the body is longer than maxBodyBytes (or than memory allows); nothing of
                // it is delivered
  Redirect,     // a redirect from https to http was refused; the request never went out
};

struct HttpTransportResponse {
  bool headersRead = false;  // false: the raw headers could not be read
  std::string rawHeaders;    // final answer's header lines, status line first, CR LF each
  std::string body;          // the body bytes read (partial after HttpFailure::Read)
  std::string reason;        // after a failure: the backend's own words for it (UTF-8)
};

// Threads: one at a time per transport. The Linux one keeps its kept connection, TLS session
// and name cache in itself between exchanges; the Windows one keeps nothing. Separate
// transports may exchange on separate threads at the same time.
class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  // Performs the exchange; None on success, else the step that failed. After Read the
  // response holds what was read; after any other failure only the reason.
  virtual HttpFailure Exchange(const HttpTransportRequest& request,
                               HttpTransportResponse& response) = 0;
  static std::unique_ptr<HttpTransport> Create();
};

// A line for the run log when this system's HTTP stack cannot be set to TLS 1.2 or newer and
// keeps older defaults (Windows 7 without its TLS update); empty when it can. Any thread.
std::string TlsVersionNote();

}  // namespace qv::platform
