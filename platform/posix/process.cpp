#include "platform/process.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qv::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

void EndProcessNow(int exitCode) { ::_exit(exitCode); }

void ShareOneHeap() {
#ifdef __GLIBC__
  // The service's few threads allocate little and rarely at once, so a second arena buys no
  // speed, while each one keeps the pages it has touched and its own fragments for as long
  // as the program runs.
  ::mallopt(M_ARENA_MAX, 1);
#endif
}

bool LaunchDetached(const std::string& path, const std::string& workingDir) {
  // Double fork so the started program is adopted by init and never becomes our zombie.
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    if (::fork() == 0) {
      ::setsid();
      if (::chdir(workingDir.c_str()) != 0) _exit(127);
      char* const args[] = {const_cast<char*>(path.c_str()), nullptr};
      ::execve(path.c_str(), args, environ);
      _exit(127);
    }
    _exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace qv::platform

namespace qv::platform {

std::string ExecutableName(const std::string& base) { return base; }

}  // namespace qv::platform
