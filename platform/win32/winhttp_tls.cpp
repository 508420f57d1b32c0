#include "platform/win32/winhttp_tls.h"

#include <string>

#include "platform/http_transport.h"

namespace qv::platform {
namespace win32 {
namespace {

// Not in every SDK's winhttp.h (mingw's lacks it); the value is Windows' own.
constexpr DWORD kTls13 = 0x00002000;

bool SetProtocols(HINTERNET session, DWORD protocols) {
  return WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
}

}  // namespace

TlsRequest RequestModernTls(HINTERNET session) {
  if (SetProtocols(session, WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | kTls13)) {
    return TlsRequest::Tls12And13;
  }
  if (SetProtocols(session, WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2)) return TlsRequest::Tls12;
  return TlsRequest::SystemDefaults;
}

}  // namespace win32

std::string TlsVersionNote() {
  HINTERNET session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
  if (!session) return {};  // every exchange will say why it has no session
  const win32::TlsRequest request = win32::RequestModernTls(session);
  WinHttpCloseHandle(session);
  if (request != win32::TlsRequest::SystemDefaults) return {};
  return "本机的 WinHttp 不接受 TLS 1.2 设置（错误 " + std::to_string(GetLastError()) +
         "），沿用系统默认的 TLS 版本；要求 TLS 1.2 的云端将无法连接。Windows 7 请安装更新 "
         "KB3140245";
}

}  // namespace qv::platform
