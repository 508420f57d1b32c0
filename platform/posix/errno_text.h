// The POSIX backends' one way of turning an errno value into the words our messages show.
#pragma once

#include <string>

namespace qv::platform {

// The system's description of `error` ("No such file or directory"); any thread may call it.
std::string ErrnoText(int error);

}  // namespace qv::platform
