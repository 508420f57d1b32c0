#include "shell/autostart_toggle.h"

namespace qv::shell {

bool ToggleAutostart(bool checked, platform::Autostart& autostart, const std::string& programPath,
                     const std::function<bool()>& confirmRemoval) {
  if (checked) {
    autostart.Set(programPath, kAutostartArgument);
  } else if (confirmRemoval()) {
    autostart.Remove();
  }
  return autostart.Exists();
}

}  // namespace qv::shell
