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

// Keeps every thread's allocations in the one heap the program starts with, where the C
// library would otherwise give each new thread a heap of its own. Called at the start of
// main, before any thread; does nothing where the library has no such setting.
void ShareOneHeap();

// Ends the process at once with `exitCode`: no destructor, no atexit handler, no wait for
// other threads (which may be stuck in an exchange). Files written so far stay written.
[[noreturn]] void EndProcessNow(int exitCode);

}  // namespace qv::platform

namespace qv::platform {

// The file name of a program called `base` on this platform ("kestr.exe" on Windows,
// "kestr" elsewhere).
std::string ExecutableName(const std::string& base);

}  // namespace qv::platform
