#include "platform/termination.h"

namespace qv::platform {

// A Windows program learns of the end of the session through its windows' messages.
struct TerminationHandler::Waiter {};

TerminationHandler::TerminationHandler(std::function<void()>) {}

TerminationHandler::~TerminationHandler() = default;

}  // namespace qv::platform
