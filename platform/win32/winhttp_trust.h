// Trust in a server certificate through an extra set of root certificates (the shop's
// ca_file), for WinHTTP, which only trusts the system's roots.
#pragma once

#include <windows.h>
// wincrypt.h needs the types of windows.h.
#include <wincrypt.h>

#include <string>

namespace qv::platform::win32 {

// An in-memory certificate store; closed when it goes out of scope.
class CertStore {
 public:
  CertStore();
  ~CertStore();
  CertStore(const CertStore&) = delete;
  CertStore& operator=(const CertStore&) = delete;
  HCERTSTORE Get() const { return store_; }

 private:
  HCERTSTORE store_ = nullptr;
};

// Adds every certificate of the PEM file (UTF-8 path) to `roots`; false when the file cannot
// be read or holds no certificate.
bool LoadPemCertificates(const std::string& path, CertStore& roots);

// True when `server` is valid for `host` (name, dates, usage) and its chain ends either in a
// root the system trusts or in one of `roots`; otherwise false with `reason` saying which
// check failed.
bool ServerTrusted(PCCERT_CONTEXT server, const std::wstring& host, const CertStore& roots,
                   std::string& reason);

}  // namespace qv::platform::win32
