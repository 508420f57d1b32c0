#include "platform/posix/tls_context.h"

#include <mbedtls/error.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace qv::platform::posix {
namespace {

// Size, time and inode of the file: a ca_file replaced or edited in place gets read again.
bool FileIdentity(const std::string& path, std::string& identity, std::string& reason) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    reason = "ca_file " + path + ": " + std::strerror(errno);
    return false;
  }
  identity = std::to_string(info.st_ino) + ":" + std::to_string(info.st_size) + ":" +
             std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
  return true;
}

// mbed TLS lists the findings one to a line.
std::string VerifyFindings(uint32_t flags) {
  char text[1024] = "";
  mbedtls_x509_crt_verify_info(text, sizeof text, "", flags);
  std::string findings;
  for (const char* line = text; *line != '\0';) {
    const char* end = std::strchr(line, '\n');
    const size_t size = end != nullptr ? static_cast<size_t>(end - line) : std::strlen(line);
    if (size > 0) findings += (findings.empty() ? "" : "；") + std::string(line, size);
    line += size + (end != nullptr ? 1 : 0);
  }
  return findings;
}

}  // namespace

std::string TlsErrorText(int code) {
  char text[200] = "";
  mbedtls_strerror(code, text, sizeof text);
  return text;
}

TlsContext::TlsContext() {
  mbedtls_entropy_init(&entropy_);
  mbedtls_ctr_drbg_init(&random_);
  mbedtls_ssl_config_init(&config_);
}

TlsContext::~TlsContext() {
  mbedtls_ssl_config_free(&config_);
  mbedtls_ctr_drbg_free(&random_);
  mbedtls_entropy_free(&entropy_);
}

bool TlsContext::SetUp(std::string& reason) {
  static const char kPersonal[] = "quorvel https";
  static const char* kAlpn[] = {"http/1.1", nullptr};
  int error = mbedtls_ctr_drbg_seed(&random_, mbedtls_entropy_func, &entropy_,
                                    reinterpret_cast<const unsigned char*>(kPersonal),
                                    sizeof kPersonal - 1);
  if (error == 0) {
    error = mbedtls_ssl_config_defaults(&config_, MBEDTLS_SSL_IS_CLIENT,
                                        MBEDTLS_SSL_TRANSPORT_STREAM, MBEDTLS_SSL_PRESET_DEFAULT);
  }
  if (error != 0) {
    reason = "TLS 无法初始化：" + TlsErrorText(error);
    return false;
  }
  mbedtls_ssl_conf_rng(&config_, mbedtls_ctr_drbg_random, &random_);
  mbedtls_ssl_conf_min_version(&config_, MBEDTLS_SSL_MAJOR_VERSION_3, MBEDTLS_SSL_MINOR_VERSION_3);
  mbedtls_ssl_conf_alpn_protocols(&config_, kAlpn);
  // The chain is checked once the handshake is through and before a byte of the request goes
  // out (HttpStream::StartTls): only then are its issuers known, and only those roots are
  // fetched from the system's bundle. The handshake itself already proves the server holds
  // the key of the certificate it showed.
  mbedtls_ssl_conf_authmode(&config_, MBEDTLS_SSL_VERIFY_NONE);
  ready_ = true;
  return true;
}

bool TlsContext::Prepare(const TlsOptions& tls, bool recheckFile, HttpFailure& failure,
                         std::string& reason) {
  if (!ready_ && !SetUp(reason)) {
    failure = HttpFailure::Session;
    return false;
  }
  // Without verification the roots are never consulted, and a broken ca_file is no reason to
  // fail an exchange the shop asked to go through unverified.
  const std::string caFile = tls.verify ? tls.caFile : "";
  // A kept connection was verified already: its exchanges need no look at the file.
  if (trustLoaded_ && caFile == caFile_ && !recheckFile) return true;
  std::string caFileId;
  if (!caFile.empty() && !FileIdentity(caFile, caFileId, reason)) {
    failure = HttpFailure::Certificate;
    return false;
  }
  if (trustLoaded_ && caFile == caFile_ && caFileId == caFileId_) return true;

  trustLoaded_ = false;
  trusted_.Clear();
  if (!caFile.empty()) {
    const int parsed = mbedtls_x509_crt_parse_file(trusted_.Get(), caFile.c_str());
    if (parsed < 0 || trusted_.Empty()) {
      failure = HttpFailure::Certificate;
      reason = "ca_file " + caFile + ": 没有可用的证书" +
               (parsed < 0 ? "（" + TlsErrorText(parsed) + "）" : "");
      trusted_.Clear();
      return false;
    }
  }
  for (const mbedtls_x509_crt* root = systemRoots_.Get(); root != nullptr && root->raw.p;
       root = root->next) {
    trusted_.Add(*root);
  }
  caFile_ = caFile;
  caFileId_ = caFileId;
  trustLoaded_ = true;
  ++generation_;
  return true;
}

uint32_t TlsContext::Check(const mbedtls_x509_crt* chain, const std::string& host) {
  const bool address = IsIpAddress(host);
  uint32_t flags = 0;
  const int result = mbedtls_x509_crt_verify(
      const_cast<mbedtls_x509_crt*>(chain), trusted_.Empty() ? nullptr : trusted_.Get(), nullptr,
      address ? nullptr : host.c_str(), &flags, nullptr, nullptr);
  // A check that could not run (out of memory, say) has found nothing, which is no pass.
  if (result != 0 && flags == 0) flags = MBEDTLS_X509_BADCERT_OTHER;
  // The certificate must name the host we asked for: a valid certificate of any other site
  // would otherwise let that site answer for the cloud.
  if (address && !CertificateNamesAddress(*chain, host)) flags |= MBEDTLS_X509_BADCERT_CN_MISMATCH;
  return flags;
}

bool TlsContext::Verify(const mbedtls_x509_crt* chain, const std::string& host,
                        std::string& reason) {
  if (chain == nullptr || chain->raw.p == nullptr) {
    reason = "证书验证失败：服务器没有出示证书";
    return false;
  }
  uint32_t flags = Check(chain, host);
  if ((flags & MBEDTLS_X509_BADCERT_NOT_TRUSTED) != 0 &&
      AddSystemRootsFor(*chain, systemRoots_) > 0) {
    for (const mbedtls_x509_crt* root = systemRoots_.Get(); root != nullptr && root->raw.p;
         root = root->next) {
      if (!trusted_.Has(root->raw)) trusted_.Add(*root);
    }
    flags = Check(chain, host);
  }
  if (flags == 0) return true;
  reason = "证书验证失败：" + VerifyFindings(flags);
  return false;
}

}  // namespace qv::platform::posix
