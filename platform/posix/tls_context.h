// The TLS client settings every connection of one HTTP transport shares: TLS 1.2 and later
// with mbed TLS's default suites, a random generator seeded once, and the trust of the
// system's roots plus the shop's ca_file.
#pragma once

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/ssl.h>

#include <memory>
#include <string>

#include "platform/http_transport.h"
#include "platform/posix/tls_roots.h"

namespace qv::platform::posix {

// A TLS session kept to resume on a later connection to the same server.
struct TlsSession {
  TlsSession() { mbedtls_ssl_session_init(&session); }
  ~TlsSession() { mbedtls_ssl_session_free(&session); }
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;
  mbedtls_ssl_session session;
};

// mbed TLS's words for one of its error codes.
std::string TlsErrorText(int code);

class TlsContext {
 public:
  TlsContext();
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // Ready for `tls`: set up on first use, and the ca_file read again when it names another
  // file or (when `recheckFile`, as before a new connection) the file changed or went. False
  // with `failure` and `reason` set when it cannot be (Certificate: the ca_file cannot be
  // read or holds no certificate).
  bool Prepare(const TlsOptions& tls, bool recheckFile, HttpFailure& failure, std::string& reason);
  // The settings for a new connection; valid once Prepare succeeded, for the context's life.
  const mbedtls_ssl_config* Config() const { return &config_; }
  // True when `chain`, the server's certificates, leads to a trusted root and names `host`;
  // otherwise false with the reason.
  bool Verify(const mbedtls_x509_crt* chain, const std::string& host, std::string& reason);
  // Counts the trusts in force so far: a connection verified under an earlier one is not reused.
  unsigned Generation() const { return generation_; }

 private:
  bool SetUp(std::string& reason);
  uint32_t Check(const mbedtls_x509_crt* chain, const std::string& host);

  bool ready_ = false;
  bool trustLoaded_ = false;
  mbedtls_entropy_context entropy_;
  mbedtls_ctr_drbg_context random_;
  mbedtls_ssl_config config_;
  CertificateList trusted_;      // the ca_file's certificates and the system roots found
  CertificateList systemRoots_;  // the system roots chains have needed so far
  std::string caFile_;           // the ca_file trusted ("" for none)
  std::string caFileId_;         // what identified that file's contents when it was read
  unsigned generation_ = 0;
};

}  // namespace qv::platform::posix
