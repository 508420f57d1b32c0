// The system's trusted roots, fetched one by one as chains need them, and the checks mbed TLS
// leaves to its caller.
#pragma once

#include <mbedtls/x509_crt.h>

#include <string>

namespace qv::platform::posix {

// Owns one mbed TLS certificate list.
class CertificateList {
 public:
  CertificateList() { mbedtls_x509_crt_init(&list_); }
  ~CertificateList() { mbedtls_x509_crt_free(&list_); }
  CertificateList(const CertificateList&) = delete;
  CertificateList& operator=(const CertificateList&) = delete;

  mbedtls_x509_crt* Get() { return &list_; }
  bool Empty() const { return list_.raw.p == nullptr; }
  // Adds a copy of `certificate` (one, not the rest of its list). False when it does not parse.
  bool Add(const mbedtls_x509_crt& certificate);
  // True when the list holds the certificate whose DER is `raw`.
  bool Has(const mbedtls_x509_buf& raw) const;
  void Clear();

 private:
  mbedtls_x509_crt list_;
};

// Adds to `roots` every certificate of the system's bundle whose subject issued one of `chain`
// and that `roots` lacks. Counts the certificates added (0 when the bundle cannot be read).
int AddSystemRootsFor(const mbedtls_x509_crt& chain, CertificateList& roots);

// True for an IPv4 or IPv6 address, false for a host name.
bool IsIpAddress(const std::string& host);

// True when the certificate lists the IP address `host` among its subjectAltName entries;
// mbed TLS matches host names only.
bool CertificateNamesAddress(const mbedtls_x509_crt& certificate, const std::string& host);

}  // namespace qv::platform::posix
