#include "app/toolkit_choice.h"
#include "ui/headless/headless_toolkit.h"
#include "ui/win32/win32_toolkit.h"

namespace qv::app {

std::unique_ptr<ui::Toolkit> ChooseToolkit(Display wanted) {
  if (wanted == Display::Desktop) {
    if (auto win32 = ui::CreateWin32Toolkit()) return win32;
  }
  return ui::CreateHeadlessToolkit();
}

}  // namespace qv::app
