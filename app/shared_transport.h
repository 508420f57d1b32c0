// One HTTP transport for the cloud lane's requests.
#pragma once

#include <memory>
#include <mutex>

#include "platform/http_transport.h"

namespace qv::app {

// The polls and the printer-list reports go out through one transport, so they share its kept
// connection and TLS session: a client of its own for the printer-list report at start made a
// second full TLS handshake before the first poll. The result reports, on the printer lane,
// have a transport of their own, so that a slow poll never holds a ticket's report back.
// Exchanges through the handles are serialized (any thread), as a transport serves one
// exchange at a time.
class SharedHttpTransport {
 public:
  explicit SharedHttpTransport(std::unique_ptr<platform::HttpTransport> transport)
      : transport_(std::move(transport)) {}

  // A transport that sends through the shared one; it must not outlive this object.
  std::unique_ptr<platform::HttpTransport> NewHandle();

 private:
  class Handle;
  std::unique_ptr<platform::HttpTransport> transport_;
  std::mutex mutex_;
};

}  // namespace qv::app
