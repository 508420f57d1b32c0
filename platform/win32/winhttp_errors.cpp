#include "platform/win32/winhttp_errors.h"

#include <winhttp.h>

#include "platform/win32/wide.h"

namespace qv::platform::win32 {
namespace {

struct Named {
  DWORD code;
  const char* name;
};

// The codes a cloud exchange meets in practice; others are shown by number and system text.
constexpr Named kErrors[] = {
    {ERROR_WINHTTP_TIMEOUT, "ERROR_WINHTTP_TIMEOUT"},
    {ERROR_WINHTTP_NAME_NOT_RESOLVED, "ERROR_WINHTTP_NAME_NOT_RESOLVED"},
    {ERROR_WINHTTP_CANNOT_CONNECT, "ERROR_WINHTTP_CANNOT_CONNECT"},
    {ERROR_WINHTTP_CONNECTION_ERROR, "ERROR_WINHTTP_CONNECTION_ERROR"},
    {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, "ERROR_WINHTTP_INVALID_SERVER_RESPONSE"},
    {ERROR_WINHTTP_SECURE_FAILURE, "ERROR_WINHTTP_SECURE_FAILURE"},
    {ERROR_WINHTTP_SECURE_INVALID_CA, "ERROR_WINHTTP_SECURE_INVALID_CA"},
    {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, "ERROR_WINHTTP_SECURE_CERT_CN_INVALID"},
    {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID, "ERROR_WINHTTP_SECURE_CERT_DATE_INVALID"},
    {ERROR_WINHTTP_SECURE_CERT_REVOKED, "ERROR_WINHTTP_SECURE_CERT_REVOKED"},
    {ERROR_WINHTTP_SECURE_CERT_REV_FAILED, "ERROR_WINHTTP_SECURE_CERT_REV_FAILED"},
    {ERROR_WINHTTP_SECURE_INVALID_CERT, "ERROR_WINHTTP_SECURE_INVALID_CERT"},
    {ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE, "ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE"},
    {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, "ERROR_WINHTTP_SECURE_CHANNEL_ERROR"},
    {ERROR_WINHTTP_REDIRECT_FAILED, "ERROR_WINHTTP_REDIRECT_FAILED"},
    {ERROR_WINHTTP_OPERATION_CANCELLED, "ERROR_WINHTTP_OPERATION_CANCELLED"},
};

constexpr Named kSecureFlags[] = {
    {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, "证书颁发机构不受信任"},
    {WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, "证书名称与主机名不符"},
    {WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID, "证书已过期或尚未生效"},
    {WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE, "证书用途不符"},
    {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, "证书已被吊销"},
    {WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED, "无法检查证书吊销状态"},
    {WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT, "证书无效"},
    {WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR, "安全通道错误"},
};

// WinHTTP's own message table lives in winhttp.dll, not in the system's.
std::string ModuleText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      GetModuleHandleW(L"winhttp.dll"), code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide(text != nullptr ? text : L"", length);
  if (text != nullptr) LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ')) {
    wide.pop_back();
  }
  return Narrow(wide);
}

}  // namespace

std::string WinHttpErrorText(DWORD code) {
  std::string text = "WinHTTP " + std::to_string(code);
  for (const Named& e : kErrors) {
    if (e.code == code) text += std::string(" ") + e.name;
  }
  const std::string system =
      code >= WINHTTP_ERROR_BASE && code <= WINHTTP_ERROR_LAST ? ModuleText(code) : ErrorText(code);
  if (!system.empty() && system.find("未知系统错误") == std::string::npos) text += " " + system;
  return text;
}

std::string SecureFailureText(DWORD flags) {
  std::string text;
  for (const Named& f : kSecureFlags) {
    if ((flags & f.code) == 0) continue;
    if (!text.empty()) text += "、";
    text += f.name;
  }
  return text;
}

}  // namespace qv::platform::win32
