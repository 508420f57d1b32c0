// The TLS client settings every connection of one HTTP transport shares: OpenSSL's defaults
// as the system configures them, and the trust store of the system's roots plus the shop's
// ca_file, built once rather than for every connection.
#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>

#include "platform/http_transport.h"

namespace qv::platform::posix {

struct SslContextDeleter {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using SslContext = std::unique_ptr<SSL_CTX, SslContextDeleter>;

class TlsContext {
 public:
  // The context for `tls`: built on first use and again when ca_file names another file, or
  // (when `recheckFile`, as before a new connection) the file changed or went. Null with
  // `failure` and `reason` set when it cannot be built (Certificate: the ca_file cannot be
  // read or holds no certificate).
  SSL_CTX* Get(const TlsOptions& tls, bool recheckFile, HttpFailure& failure, std::string& reason);
  // Counts the contexts built so far: a connection made under an earlier one is not reused.
  unsigned Generation() const { return generation_; }

 private:
  SslContext context_;
  std::string caFile_;    // the ca_file the context trusts ("" for none)
  std::string caFileId_;  // what identified that file's contents when it was read
  unsigned generation_ = 0;
};

}  // namespace qv::platform::posix
