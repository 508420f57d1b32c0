// Usage: ui_printer_windows_win32 MS
#include <cstdlib>

#include "tests/ui/printer_windows_on_screen.h"
#include "ui/win32/win32_toolkit.h"

int main(int argc, char** argv) {
  auto toolkit = qv::ui::CreateWin32Toolkit();
  if (!toolkit) return 2;
  return qv::shell::ShowPrinterWindowsFor(*toolkit, argc > 1 ? std::atoi(argv[1]) : 3000);
}
