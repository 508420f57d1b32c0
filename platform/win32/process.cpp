#include "platform/process.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "platform/win32/wide.h"

namespace qv::platform {

std::vector<std::string> CommandLineArguments(int, char**) {
  // The narrow argv is in the ANSI code page; the wide command line keeps every character.
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(win32::Narrow(argv[i]));
  LocalFree(argv);
  return args;
}

bool LaunchDetached(const std::string& path, const std::string& workingDir) {
  const HINSTANCE rc = ShellExecuteW(nullptr, L"open", win32::Wide(path).c_str(), L"",
                                     win32::Wide(workingDir).c_str(), SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(rc) > 32;
}

void EndProcessNow(int exitCode) {
  // ExitProcess would run the libraries' detach code while other threads hold their locks.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
  ExitProcess(static_cast<UINT>(exitCode));  // not reached
}

// The process heap is already the one heap every thread allocates from.
void ShareOneHeap() {}

}  // namespace qv::platform

namespace qv::platform {

std::string ExecutableName(const std::string& base) { return base + ".exe"; }

}  // namespace qv::platform
