#include "platform/win32/winhttp_tls.h"

#include <string>

#include "platform/http_transport.h"

namespace qv::platform {
namespace win32 {

TlsRequest RequestModernTls(const std::function<bool(DWORD protocols)>& setProtocols) {
  if (setProtocols(WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | kSecureProtocolTls13)) {
    return TlsRequest::Tls12And13;
  }
  if (setProtocols(WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2)) return TlsRequest::Tls12;
  return TlsRequest::SystemDefaults;
}

TlsRequest RequestModernTls(HINTERNET session) {
  return RequestModernTls([session](DWORD protocols) {
    return WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                            sizeof protocols) != FALSE;
  });
}

}  // namespace win32

std::string TlsVersionNote() {
  HINTERNET session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
  if (!session) return {};  // every exchange will say why it has no session
  const win32::TlsRequest request = win32::RequestModernTls(session);
  const DWORD error = GetLastError();
  WinHttpCloseHandle(session);
  if (request != win32::TlsRequest::SystemDefaults) return {};
  return "本机的 WinHttp 不接受 TLS 1.2 设置（错误 " + std::to_string(error) +
         "），沿用系统默认的 TLS 版本；要求 TLS 1.2 的云端将无法连接。Windows 7 请安装更新 "
         "KB3140245";
}

}  // namespace qv::platform
