// Single instance on Linux: an exclusive advisory lock on a file in the user's runtime
// directory. The kernel drops the lock when the process dies, so a crash never leaves a
// stale "instance" behind.
#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace qv::platform {
namespace {

class FileInstanceLock : public InstanceLock {
 public:
  explicit FileInstanceLock(int fd) : fd_(fd) {}
  ~FileInstanceLock() override { ::close(fd_); }

 private:
  int fd_;
};

std::string LockDirectory() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) return runtime;
  return "/tmp";
}

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string& name) {
  const std::string path = LockDirectory() + "/" + name + "-" + std::to_string(::getuid()) + ".lock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<FileInstanceLock>(fd);
}

}  // namespace qv::platform
