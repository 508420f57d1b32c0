// Usage: ui_tray_alert_gtk MS
#include <cstdlib>

#include "tests/ui/tray_alert.h"
#include "ui/gtk/gtk_toolkit.h"

int main(int argc, char** argv) {
  auto toolkit = qv::ui::CreateGtkToolkit();
  if (!toolkit) return 2;
  return qv::ui::ShowAlertFor(*toolkit, argc > 1 ? std::atoi(argv[1]) : 3000);
}
