// The TLS versions a WinHTTP session asks for. WinHTTP's default on Windows 7 SP1 and 8.0 is
// SSL 3.0 and TLS 1.0 only, which a cloud that requires TLS 1.2 refuses.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <functional>

namespace qv::platform::win32 {

// Not in every SDK's winhttp.h (mingw's lacks it); the value is Windows' own.
inline constexpr DWORD kSecureProtocolTls13 = 0x00002000;

enum class TlsRequest { Tls12And13, Tls12, SystemDefaults };

// Asks for TLS 1.2 and 1.3 through `setProtocols` (which sets WINHTTP_OPTION_SECURE_PROTOCOLS
// and says whether the system took the value); where the system refuses the 1.3 flag, for
// TLS 1.2 alone; where it refuses that too (Windows 7 without update KB3140245), nothing is
// set and the system's defaults stay. Returns what was set.
TlsRequest RequestModernTls(const std::function<bool(DWORD protocols)>& setProtocols);

// The same on a WinHTTP session handle.
TlsRequest RequestModernTls(HINTERNET session);

}  // namespace qv::platform::win32
