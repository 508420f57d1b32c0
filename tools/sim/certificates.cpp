#include "tools/sim/certificates.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace qv::sim {
namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct FileClose {
  void operator()(FILE* f) const { std::fclose(f); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertPtr = std::unique_ptr<X509, CertFree>;
using FilePtr = std::unique_ptr<FILE, FileClose>;

constexpr long kDay = 24 * 3600;

std::string OpenSslError(const std::string& what) {
  unsigned long code = ERR_get_error();
  char text[256] = "";
  if (code) ERR_error_string_n(code, text, sizeof text);
  return what + (code ? std::string(": ") + text : std::string());
}

KeyPtr NewRsaKey() {
  // RSA 2048 is what every TLS stack accepts, WinHTTP under Wine included.
  return KeyPtr(EVP_RSA_gen(2048));
}

bool AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!ext) return false;
  bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

CertPtr NewCertificate(EVP_PKEY* key, const char* commonName, long serial, long days) {
  CertPtr cert(X509_new());
  if (!cert) return nullptr;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kDay);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), days * kDay);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Quorvel simulator"), -1, -1,
                             0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  return cert;
}

bool WritePem(const std::string& path, X509* cert, EVP_PKEY* key) {
  FilePtr f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  if (cert) return PEM_write_X509(f.get(), cert) == 1;
  return PEM_write_PrivateKey(f.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
}

// True when the server certificate in `path` is still good for a day.
bool StillValid(const std::string& path) {
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  CertPtr cert(PEM_read_X509(f.get(), nullptr, nullptr, nullptr));
  if (!cert) return false;
  time_t tomorrow = time(nullptr) + kDay;
  return X509_cmp_time(X509_get0_notAfter(cert.get()), &tomorrow) > 0;
}

std::string Create(const CertificateFiles& files) {
  KeyPtr caKey = NewRsaKey();
  KeyPtr serverKey = NewRsaKey();
  if (!caKey || !serverKey) return OpenSslError("cannot generate RSA keys");

  const long serial = static_cast<long>(time(nullptr));
  CertPtr ca = NewCertificate(caKey.get(), "Quorvel simulator test CA", serial, 3650);
  if (!ca) return OpenSslError("cannot create the CA certificate");
  X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get()));
  if (!AddExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE") ||
      !AddExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign") ||
      !AddExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash") ||
      X509_sign(ca.get(), caKey.get(), EVP_sha256()) == 0) {
    return OpenSslError("cannot sign the CA certificate");
  }

  // WinHTTP does not match IP addresses in the subjectAltName, so the service must reach the
  // simulator by the name localhost; the IP entry serves curl and other clients.
  CertPtr server = NewCertificate(serverKey.get(), "localhost", serial + 1, 800);
  if (!server) return OpenSslError("cannot create the server certificate");
  X509_set_issuer_name(server.get(), X509_get_subject_name(ca.get()));
  if (!AddExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE") ||
      !AddExtension(server.get(), ca.get(), NID_key_usage,
                    "critical,digitalSignature,keyEncipherment") ||
      !AddExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth") ||
      !AddExtension(server.get(), ca.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") ||
      !AddExtension(server.get(), ca.get(), NID_subject_key_identifier, "hash") ||
      !AddExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid:always") ||
      X509_sign(server.get(), caKey.get(), EVP_sha256()) == 0) {
    return OpenSslError("cannot sign the server certificate");
  }

  std::filesystem::path dir = std::filesystem::path(files.caFile).parent_path();
  if (!WritePem(files.caFile, ca.get(), nullptr) ||
      !WritePem((dir / "ca-key.pem").string(), nullptr, caKey.get()) ||
      !WritePem(files.certFile, server.get(), nullptr) ||
      !WritePem(files.keyFile, nullptr, serverKey.get())) {
    return "cannot write the certificate files in " + dir.string();
  }
  return "";
}

}  // namespace

std::string EnsureCertificates(const std::string& dir, CertificateFiles& files) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::filesystem::path base = std::filesystem::absolute(dir, ec);
  if (ec) return "cannot use the directory " + dir + ": " + ec.message();
  files.caFile = (base / "ca.pem").string();
  files.certFile = (base / "server.pem").string();
  files.keyFile = (base / "server-key.pem").string();
  if (std::filesystem::exists(files.caFile) && std::filesystem::exists(files.keyFile) &&
      StillValid(files.certFile)) {
    return "";
  }
  return Create(files);
}

}  // namespace qv::sim
