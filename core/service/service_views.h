// What the service core shows on screen, written through interfaces that the shell's windows
// implement (and that tests record).
#pragma once

#include <string>

namespace qv {

// The three status lines of the polling window.
class PollStatusView {
 public:
  virtual ~PollStatusView() = default;
  // The counters line ("查询[1]次/记录数[0]").
  virtual void SetPollLine(const std::string& text) = 0;
  // The outcome of the latest poll, stamped with the time of the next one.
  virtual void SetLastMessage(const std::string& text) = 0;
  // The outcome of the poll before.
  virtual void SetPreviousMessage(const std::string& text) = 0;
};

// The service window as print execution uses it.
class PrintShell {
 public:
  virtual ~PrintShell() = default;
  // Stops the print timer of the service window.
  virtual void StopPrintTimer() = 0;
  // Whether the print timer runs (the service is started and the program not closing).
  virtual bool PrintTimerRunning() const = 0;
  // Shows a message box owned by the service window and returns when it is closed.
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // Opens the store configuration window owned by the service window.
  virtual void OpenStoreConfig() = 0;
  // Sets the queue count label ("3条").
  virtual void ShowQueueLength(const std::string& text) = 0;
};

}  // namespace qv
