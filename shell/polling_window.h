// The window that exists while the service runs: it carries the poll timer and shows the
// poll status lines. It stays hidden unless support staff bring it up.
#pragma once

#include <memory>
#include <string>

#include "core/service/polling.h"
#include "core/service/service_views.h"
#include "ui/toolkit.h"

namespace qv::shell {

class Shell;

class PollingWindow : private PollStatusView {
 public:
  // Creates the hidden window owned by `owner`; polling starts with Start().
  PollingWindow(Shell& shell, ui::Window* owner);

  // Polls at once and starts the 1000 ms poll timer.
  void Start();
  // Stops the poll timer and a run of polls on the cloud lane (a poll under way is not
  // interrupted).
  void StopPollTimer() {
    timer_->SetInterval(0);
    poller_.EndRun();
  }
  // Whether the answer of a poll may still come (see Poller::AnswerMayCome).
  bool AnswerMayCome() const { return poller_.AnswerMayCome(); }
  ui::Window& Window() { return *window_; }

 private:
  void SetPollLine(const std::string& text) override { pollLine_->SetText(text); }
  void SetLastMessage(const std::string& text) override { lastMessage_->SetText(text); }
  void SetPreviousMessage(const std::string& text) override { previousMessage_->SetText(text); }

  std::unique_ptr<ui::Window> window_;
  ui::Label* previousMessage_ = nullptr;
  ui::Label* lastMessage_ = nullptr;
  ui::Label* pollLine_ = nullptr;
  std::unique_ptr<ui::Timer> timer_;
  Poller poller_;
};

}  // namespace qv::shell
