// One connection of the HTTP transport: a TCP socket, with TLS over it for https. Every wait
// ends at the sooner of a phase's idle limit and the deadline of the whole exchange.
#pragma once

#include <mbedtls/ssl.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/deadline.h"
#include "platform/posix/fd.h"
#include "platform/posix/tls_context.h"

namespace qv::platform::posix {

// How long one wait for the peer may last: `idleMs` without progress, never past `deadline`.
struct Wait {
  int idleMs;
  const Deadline& deadline;
  int Ms() const;  // poll()'s timeout: the sooner of the two
};

enum class Io {
  Ok,
  Closed,    // the peer ended the connection
  TimedOut,  // a limit of `Wait` passed first
  Failed,    // the connection broke; the reason says how
};

// The TLS state of one connection and what mbed TLS's socket callbacks need.
struct TlsChannel;

class HttpStream {
 public:
  explicit HttpStream(Fd fd);
  ~HttpStream();
  HttpStream(const HttpStream&) = delete;
  HttpStream& operator=(const HttpStream&) = delete;

  // Makes the connection a TLS one to `host`: the certificate is verified against the
  // context's roots and must name the host, unless `verify` is false. `session` (may be null)
  // is a kept session of the same host to resume. False with `reason` on failure.
  bool StartTls(TlsContext& context, const std::string& host, bool verify,
                const TlsSession* session, const Wait& wait, std::string& reason);
  // Sends every byte.
  Io WriteAll(std::string_view bytes, const Wait& wait, std::string& reason);
  // Reads what is there, at least one byte, at most `capacity`; `got` counts them.
  Io ReadSome(char* buffer, size_t capacity, size_t& got, const Wait& wait, std::string& reason);
  // True when a kept connection can carry another exchange: still open and nothing unread.
  bool IdleAndOpen();
  // The TLS session to resume on a later connection to the same host; null for plain TCP or
  // a session that cannot be resumed.
  std::unique_ptr<TlsSession> Session() const;

 private:
  // Waits until the socket is readable (or writable, after MBEDTLS_ERR_SSL_WANT_WRITE).
  Io WaitFor(short events, const Wait& wait, std::string& reason);
  // An mbed TLS call that returned the error `result`, as our status and reason.
  Io TlsFailure(int result, const char* doing, std::string& reason) const;

  Fd fd_;
  std::unique_ptr<TlsChannel> tls_;
};

}  // namespace qv::platform::posix
