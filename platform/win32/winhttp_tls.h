// The TLS versions a WinHTTP session asks for. WinHTTP's default on Windows 7 SP1 and 8.0 is
// SSL 3.0 and TLS 1.0 only, which a cloud that requires TLS 1.2 refuses.
#pragma once

#include <windows.h>
#include <winhttp.h>

namespace qv::platform::win32 {

enum class TlsRequest { Tls12And13, Tls12, SystemDefaults };

// Sets WINHTTP_OPTION_SECURE_PROTOCOLS on the session to TLS 1.2 and 1.3; where the system
// refuses the 1.3 flag, to TLS 1.2 alone; where it refuses that too (Windows 7 without
// update KB3140245), the session keeps the system's defaults. Returns what was set.
TlsRequest RequestModernTls(HINTERNET session);

}  // namespace qv::platform::win32
