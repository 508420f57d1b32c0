// Single instance on Windows: a named event marks the running program. It is never waited
// on; its existence alone answers the question.
#include "platform/instance_lock.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace qv::platform {
namespace {

class EventInstanceLock : public InstanceLock {
 public:
  explicit EventInstanceLock(win32::Handle event) : event_(std::move(event)) {}

 private:
  win32::Handle event_;
};

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string& name) {
  const std::wstring wide = win32::Wide(name);
  win32::Handle existing(OpenEventW(EVENT_ALL_ACCESS, FALSE, wide.c_str()));
  if (existing.Ok()) return nullptr;
  win32::Handle created(CreateEventW(nullptr, FALSE, FALSE, wide.c_str()));
  // Between the open and the create another instance may have made the event; the create
  // then opens that one and says so.
  if (!created.Ok() || GetLastError() == ERROR_ALREADY_EXISTS) return nullptr;
  return std::make_unique<EventInstanceLock>(std::move(created));
}

}  // namespace qv::platform
