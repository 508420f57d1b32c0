#include "core/print_service.h"

#include "platform/file_system.h"

namespace qv {

JournalRestore OpenTaskJournal(ServiceState& state, RunLog& runLog) {
  return state.taskQueue.OpenJournal(platform::JoinPath(state.programDirectory, kTaskJournalName),
                                     &runLog);
}

}  // namespace qv
