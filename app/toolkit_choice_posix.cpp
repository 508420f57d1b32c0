#include <cstdio>

#include "app/toolkit_choice.h"
#include "ui/gtk/gtk_toolkit.h"
#include "ui/headless/headless_toolkit.h"

namespace qv::app {

std::unique_ptr<ui::Toolkit> ChooseToolkit(Display wanted) {
  if (wanted == Display::Desktop) {
    if (auto gtk = ui::CreateGtkToolkit()) return gtk;
    std::fprintf(stderr, "quorvel-print: no display could be opened; running headless\n");
  }
  return ui::CreateHeadlessToolkit();
}

}  // namespace qv::app
