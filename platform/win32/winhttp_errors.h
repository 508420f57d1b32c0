// WinHTTP's failures in words, for the run log: its error codes and the certificate checks.
#pragma once

#include <windows.h>

#include <string>

namespace qv::platform::win32 {

// "WinHTTP 12175 ERROR_WINHTTP_SECURE_FAILURE", followed by the system's text for the code
// when it has one (UTF-8).
std::string WinHttpErrorText(DWORD code);

// The certificate problems that WinHTTP's secure-failure flags name, e.g. "证书颁发机构不受信任";
// empty for no flags.
std::string SecureFailureText(DWORD flags);

}  // namespace qv::platform::win32
