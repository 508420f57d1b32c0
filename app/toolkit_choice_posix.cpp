#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/toolkit_choice.h"
#include "platform/file_system.h"
#include "ui/gtk/gtk_module.h"
#include "ui/headless/headless_toolkit.h"

namespace qv::app {
namespace {

// Desktop sessions name their display in one of these. Without either there is no window to
// show, and loading the window libraries only to learn that would cost the headless service
// most of its memory and start-up time.
bool DisplayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

// The GTK toolkit from its module; nullptr with `error` filled when the module cannot be
// loaded, or nullptr alone when it loaded but no display could be opened.
std::unique_ptr<ui::Toolkit> LoadGtkToolkit(std::string& error) {
  // Beside the program first. A program run from a copy elsewhere (tests copy it next to the
  // config.ini they write) finds the module by name through its run path, which the build
  // points at the build tree.
  std::string path = platform::JoinPath(platform::ProgramDirectory(), ui::kGtkModuleFile);
  if (!platform::FileExists(path)) path = ui::kGtkModuleFile;
  // The module is never unloaded: GTK registers types and exit handlers that must outlive
  // every window, so the handle is deliberately kept until the process ends.
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* reason = ::dlerror();
    error = reason ? reason : path + ": cannot be loaded";
    return nullptr;
  }
  auto* entry =
      reinterpret_cast<decltype(&QvCreateGtkToolkit)>(::dlsym(module, ui::kGtkModuleEntryName));
  if (!entry) {
    error = path + ": no entry point " + ui::kGtkModuleEntryName;
    return nullptr;
  }
  return std::unique_ptr<ui::Toolkit>(entry());
}

}  // namespace

std::unique_ptr<ui::Toolkit> ChooseToolkit(Display wanted) {
  if (wanted == Display::Desktop) {
    std::string error;
    std::unique_ptr<ui::Toolkit> gtk = DisplayNamed() ? LoadGtkToolkit(error) : nullptr;
    if (gtk) return gtk;
    if (error.empty()) {
      std::fprintf(stderr, "quorvel-print: no display could be opened; running headless\n");
    } else {
      std::fprintf(stderr,
                   "quorvel-print: the window module could not be loaded (%s); "
                   "running headless\n",
                   error.c_str());
    }
  }
  return ui::CreateHeadlessToolkit();
}

}  // namespace qv::app
