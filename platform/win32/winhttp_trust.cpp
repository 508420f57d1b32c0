#include "platform/win32/winhttp_trust.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace qv::platform::win32 {
namespace {

struct ChainDeleter {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainDeleter>;

struct CertDeleter {
  void operator()(PCCERT_CONTEXT cert) const { CertFreeCertificateContext(cert); }
};
using Cert = std::unique_ptr<const CERT_CONTEXT, CertDeleter>;

bool AddPemBlock(const std::string& block, CertStore& roots) {
  DWORD size = 0;
  if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()),
                            CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
    return false;
  }
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()),
                            CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) {
    return false;
  }
  Cert cert(CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size));
  return cert &&
         CertAddCertificateContextToStore(roots.Get(), cert.get(), CERT_STORE_ADD_ALWAYS, nullptr);
}

std::string PolicyErrorText(DWORD error) {
  switch (error) {
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      return "证书名称与主机名不符";
    case static_cast<DWORD>(CERT_E_EXPIRED):
      return "证书已过期或尚未生效";
    case static_cast<DWORD>(CERT_E_WRONG_USAGE):
      return "证书用途不符";
    default: {
      char code[16];
      snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(error));
      return std::string("证书校验失败 ") + code;
    }
  }
}

// Name, dates and usage checked as for any TLS server; only the root may be unknown here.
bool ValidApartFromRoot(PCCERT_CHAIN_CONTEXT chain, const std::wstring& host, std::string& reason) {
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.fdwChecks = 0x00000100;  // SECURITY_FLAG_IGNORE_UNKNOWN_CA: the root is checked apart
  ssl.pwszServerName = const_cast<wchar_t*>(host.c_str());
  CERT_CHAIN_POLICY_PARA para{};
  para.cbSize = sizeof para;
  para.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &para, &status)) {
    reason = "证书校验失败";
    return false;
  }
  if (status.dwError != 0) reason = PolicyErrorText(status.dwError);
  return status.dwError == 0;
}

}  // namespace

CertStore::CertStore()
    : store_(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr)) {}

CertStore::~CertStore() {
  if (store_ != nullptr) CertCloseStore(store_, 0);
}

bool LoadPemCertificates(const std::string& path, CertStore& roots) {
  std::string pem;
  if (roots.Get() == nullptr || !ReadFile(path, pem)) return false;
  static constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
  int added = 0;
  for (size_t begin = pem.find("-----BEGIN CERTIFICATE-----"); begin != std::string::npos;
       begin = pem.find("-----BEGIN CERTIFICATE-----", begin + 1)) {
    size_t end = pem.find(kEnd, begin);
    if (end == std::string::npos) break;
    if (AddPemBlock(pem.substr(begin, end + kEnd.size() - begin), roots)) ++added;
  }
  return added > 0;
}

bool ServerTrusted(PCCERT_CONTEXT server, const std::wstring& host, const CertStore& roots,
                   std::string& reason) {
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  PCCERT_CHAIN_CONTEXT raw = nullptr;
  if (!CertGetCertificateChain(nullptr, server, nullptr, roots.Get(), &para, 0, nullptr, &raw)) {
    reason = "无法建立服务器证书链";
    return false;
  }
  Chain chain(raw);
  if (!ValidApartFromRoot(chain.get(), host, reason)) return false;
  DWORD errors = chain->TrustStatus.dwErrorStatus;
  if (errors == CERT_TRUST_NO_ERROR) return true;  // a root the system trusts
  reason = "证书链的根证书不受系统信任，也不在 ca_file 中";
  if (errors != CERT_TRUST_IS_UNTRUSTED_ROOT || chain->cChain < 1) return false;
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  if (simple->cElement < 1) return false;
  PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
  Cert found(CertFindCertificateInStore(roots.Get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, root,
                                        nullptr));
  if (found) reason.clear();
  return found != nullptr;
}

}  // namespace qv::platform::win32
