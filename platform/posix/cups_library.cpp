#include "platform/posix/cups_library.h"

#include <dlfcn.h>

#include <mutex>

namespace qv::platform::posix {

const CupsLibrary* Cups(std::string& error) {
  static std::once_flag once;
  static CupsLibrary library;
  static bool loaded = false;
  static std::string failure;
  std::call_once(once, [] {
    // Never closed: jobs keep coming for the life of the service.
    void* handle = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* text = ::dlerror();
      failure = std::string("CUPS: ") + (text != nullptr ? text : "libcups.so.2");
      return;
    }
    bool all = true;
#define QV_CUPS_RESOLVE(name)                                                      \
  library.name = reinterpret_cast<decltype(library.name)>(::dlsym(handle, #name)); \
  all = all && library.name != nullptr;
    QV_CUPS_FUNCTIONS(QV_CUPS_RESOLVE)
#undef QV_CUPS_RESOLVE
    loaded = all;
    if (!all) failure = "CUPS: libcups.so.2 缺少所需的函数";
  });
  if (!loaded) error = failure;
  return loaded ? &library : nullptr;
}

}  // namespace qv::platform::posix
