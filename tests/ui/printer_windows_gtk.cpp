// Usage: ui_printer_windows_gtk MS
#include <cstdlib>

#include "tests/ui/printer_windows_on_screen.h"
#include "ui/gtk/gtk_toolkit.h"

int main(int argc, char** argv) {
  auto toolkit = qv::ui::CreateGtkToolkit();
  if (!toolkit) return 2;
  return qv::shell::ShowPrinterWindowsFor(*toolkit, argc > 1 ? std::atoi(argv[1]) : 3000);
}
