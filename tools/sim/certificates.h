// The simulator's own certificate authority and server certificate, so that the print
// service can verify the simulated cloud exactly as it verifies the real one.
#pragma once

#include <string>

namespace qv::sim {

struct CertificateFiles {
  std::string caFile;    // PEM of the CA: the `ca_file` the service must trust
  std::string certFile;  // server certificate, CN and DNS name "localhost"
  std::string keyFile;   // server private key
};

// Creates the CA and a server certificate in `dir` (created if missing), or reuses the ones
// a previous run left there while they are valid for at least another day; the paths are
// absolute. Returns an empty text on success, the reason otherwise.
std::string EnsureCertificates(const std::string& dir, CertificateFiles& files);

}  // namespace qv::sim
