// The program's icon as PNG bytes, built into the program from ui/resources/quorvel.png.
#pragma once

#include <cstddef>

namespace qv::ui {

extern const unsigned char kProgramIconPng[];
extern const std::size_t kProgramIconPngSize;

}  // namespace qv::ui
