#include "platform/posix/tls_roots.h"

#include <arpa/inet.h>
#include <mbedtls/asn1.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace qv::platform::posix {
namespace {

// Where the distributions keep the bundle of trusted roots; Debian's first.
constexpr const char* kBundles[] = {
    "/etc/ssl/certs/ca-certificates.crt",
    "/etc/pki/tls/certs/ca-bundle.crt",
    "/etc/ssl/ca-bundle.pem",
    "/etc/ssl/cert.pem",
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::FILE* OpenBundle() {
  if (const char* named = std::getenv("SSL_CERT_FILE"); named != nullptr && *named != '\0') {
    return std::fopen(named, "re");
  }
  for (const char* path : kBundles) {
    if (std::FILE* file = std::fopen(path, "re")) return file;
  }
  return nullptr;
}

bool SameBytes(const mbedtls_x509_buf& a, const mbedtls_x509_buf& b) {
  return a.len == b.len && std::memcmp(a.p, b.p, a.len) == 0;
}

bool IssuedOneOf(const mbedtls_x509_crt& root, const mbedtls_x509_crt& chain) {
  for (const mbedtls_x509_crt* c = &chain; c != nullptr && c->raw.p != nullptr; c = c->next) {
    if (SameBytes(root.subject_raw, c->issuer_raw)) return true;
  }
  return false;
}

// One PEM block of the bundle, parsed, and kept when it issued part of `chain`.
bool AddIfIssuer(const std::string& pem, const mbedtls_x509_crt& chain, CertificateList& roots) {
  CertificateList one;
  const auto* bytes = reinterpret_cast<const unsigned char*>(pem.c_str());
  if (mbedtls_x509_crt_parse(one.Get(), bytes, pem.size() + 1) != 0) return false;
  const mbedtls_x509_crt& root = *one.Get();
  return IssuedOneOf(root, chain) && !roots.Has(root.raw) && roots.Add(root);
}

// Steps over one element of DER at `p`; false when it is malformed.
bool SkipElement(unsigned char*& p, const unsigned char* end) {
  size_t len = 0;
  if (end - p < 1) return false;
  ++p;
  if (mbedtls_asn1_get_len(&p, end, &len) != 0) return false;
  p += len;
  return true;
}

// The contents of the subjectAltName extension (GeneralNames), or false when there is none.
bool FindAltNames(const mbedtls_x509_crt& certificate, unsigned char*& p,
                  const unsigned char*& end) {
  static const unsigned char kAltNameOid[] = {0x55, 0x1d, 0x11};
  p = certificate.v3_ext.p;
  const unsigned char* extensionsEnd = p + certificate.v3_ext.len;
  size_t len = 0;
  if (p == nullptr || mbedtls_asn1_get_tag(&p, extensionsEnd, &len,
                                           MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SEQUENCE)) {
    return false;
  }
  while (p < extensionsEnd) {
    if (mbedtls_asn1_get_tag(&p, extensionsEnd, &len,
                             MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SEQUENCE)) {
      return false;
    }
    const unsigned char* extensionEnd = p + len;
    unsigned char* q = p;
    p += len;
    if (mbedtls_asn1_get_tag(&q, extensionEnd, &len, MBEDTLS_ASN1_OID) ||
        len != sizeof kAltNameOid || std::memcmp(q, kAltNameOid, len) != 0) {
      continue;
    }
    q += len;
    int critical = 0;
    mbedtls_asn1_get_bool(&q, extensionEnd, &critical);
    if (mbedtls_asn1_get_tag(&q, extensionEnd, &len, MBEDTLS_ASN1_OCTET_STRING) ||
        mbedtls_asn1_get_tag(&q, extensionEnd, &len,
                             MBEDTLS_ASN1_CONSTRUCTED | MBEDTLS_ASN1_SEQUENCE)) {
      return false;
    }
    p = q;
    end = q + len;
    return true;
  }
  return false;
}

// The bytes of the IPv4 or IPv6 address `host` in `address`, counted; 0 for a host name.
size_t AddressBytes(const std::string& host, unsigned char (&address)[sizeof(in6_addr)]) {
  if (inet_pton(AF_INET, host.c_str(), address) == 1) return 4;
  if (inet_pton(AF_INET6, host.c_str(), address) == 1) return 16;
  return 0;
}

}  // namespace

bool CertificateList::Add(const mbedtls_x509_crt& certificate) {
  return mbedtls_x509_crt_parse_der(&list_, certificate.raw.p, certificate.raw.len) == 0;
}

bool CertificateList::Has(const mbedtls_x509_buf& raw) const {
  for (const mbedtls_x509_crt* c = &list_; c != nullptr && c->raw.p != nullptr; c = c->next) {
    if (SameBytes(c->raw, raw)) return true;
  }
  return false;
}

void CertificateList::Clear() {
  mbedtls_x509_crt_free(&list_);
  mbedtls_x509_crt_init(&list_);
}

// The bundle is read a block at a time, so the hundred-odd roots the cloud never uses are
// neither held nor kept parsed: only a chain's issuers stay.
int AddSystemRootsFor(const mbedtls_x509_crt& chain, CertificateList& roots) {
  std::unique_ptr<std::FILE, FileCloser> bundle(OpenBundle());
  if (!bundle) return 0;
  int added = 0;
  std::string pem;
  bool inside = false;
  char line[256];
  while (std::fgets(line, sizeof line, bundle.get()) != nullptr) {
    const std::string_view text = line;
    if (text.starts_with("-----BEGIN CERTIFICATE-----")) {
      inside = true;
      pem.clear();
    }
    if (inside) pem += text;
    if (inside && text.starts_with("-----END CERTIFICATE-----")) {
      inside = false;
      if (AddIfIssuer(pem, chain, roots)) ++added;
    }
  }
  return added;
}

bool IsIpAddress(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return AddressBytes(host, address) > 0;
}

bool CertificateNamesAddress(const mbedtls_x509_crt& certificate, const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  const size_t size = AddressBytes(host, address);
  if (size == 0) return false;
  unsigned char* p = nullptr;
  const unsigned char* end = nullptr;
  if (!FindAltNames(certificate, p, end)) return false;
  constexpr unsigned char kIpAddressTag = MBEDTLS_ASN1_CONTEXT_SPECIFIC | 7;
  while (p < end) {
    unsigned char* entry = p;
    if (*p == kIpAddressTag) {
      size_t len = 0;
      ++entry;
      if (mbedtls_asn1_get_len(&entry, end, &len) != 0) return false;
      if (len == size && std::memcmp(entry, address, size) == 0) return true;
    }
    if (!SkipElement(p, end)) return false;
  }
  return false;
}

}  // namespace qv::platform::posix
