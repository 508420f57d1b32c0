#include "platform/posix/errno_text.h"

#include <cstring>

namespace qv::platform {
namespace {

// strerror keeps the text of an unknown code in a buffer that every thread shares, and the
// backends fail on the lanes as well as on the UI thread; strerror_r writes into ours. Which
// strerror_r the C library declares (the GNU one returning the text, or the XSI one
// returning a status) is picked by overload, so the code builds with either.
[[maybe_unused]] const char* TextOf(const char* text, const char*) { return text; }
[[maybe_unused]] const char* TextOf(int status, const char* buffer) {
  return status == 0 ? buffer : nullptr;
}

}  // namespace

std::string ErrnoText(int error) {
  char buffer[256] = "";
  const char* text = TextOf(::strerror_r(error, buffer, sizeof buffer), buffer);
  if (text == nullptr || *text == '\0') return "Unknown error " + std::to_string(error);
  return text;
}

}  // namespace qv::platform
