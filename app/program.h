// The program: the start sequence, the process-wide objects and the loop.
#pragma once

#include <string>
#include <vector>

namespace qv::app {

// Runs the program with its arguments (after the program path); returns the exit code.
int RunProgram(std::vector<std::string> args);

}  // namespace qv::app
