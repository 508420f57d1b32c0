// The single-instance rule: one running program per logon session.
#pragma once

#include <memory>
#include <string>

namespace qv::platform {

class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // Claims the instance name for this process until the returned object is destroyed;
  // nullptr when another process holds it. Windows: a named event; elsewhere: an exclusive
  // lock on a file of that name in the user's runtime directory.
  static std::unique_ptr<InstanceLock> Acquire(const std::string& name);
};

}  // namespace qv::platform
