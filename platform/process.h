// Processes and the command line.
#pragma once

#include <string>
#include <vector>

namespace qv::platform {

// The program's arguments after the program path, as UTF-8 (on Windows from the wide
// command line, so that non-ASCII arguments survive; quotes group an argument).
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Starts the program at `path` with no parameters in `workingDir` and does not wait for it
// (Windows: the shell's "open" verb with a normal window). False when it could not start.
bool LaunchDetached(const std::string& path, const std::string& workingDir);

}  // namespace qv::platform

namespace qv::platform {

// The file name of a program called `base` on this platform ("kestr.exe" on Windows,
// "kestr" elsewhere).
std::string ExecutableName(const std::string& base);

}  // namespace qv::platform
