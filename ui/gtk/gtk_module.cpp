#include "ui/gtk/gtk_module.h"

#include "ui/gtk/gtk_toolkit.h"

extern "C" __attribute__((visibility("default"))) qv::ui::Toolkit* QvCreateGtkToolkit() {
  return qv::ui::CreateGtkToolkit().release();
}
