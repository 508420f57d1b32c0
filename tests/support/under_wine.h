// Whether a Windows test program runs under Wine rather than Windows, for the few cases where
// Wine is known to fall short of what Windows does (each names what and which Wine).
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace qv::test {

inline bool RunningUnderWine() {
#ifdef _WIN32
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace qv::test
