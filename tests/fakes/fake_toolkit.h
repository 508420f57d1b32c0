// A scripted toolkit for shell tests: windows and controls live in memory (as in the headless
// backend), every window, control, timer and message box is recorded, and the test fires the
// events a user or the clock would: clicks, timer ticks, right-clicks, title changes, close
// requests, message-box answers.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/headless/memory_widgets.h"

namespace qv::test {

class FakeToolkit : public ui::Toolkit {
 public:
  struct Message {
    ui::MessageBoxOptions box;
    ui::MessageResult answer;
  };

  // Windows alive now, in creation order.
  std::vector<ui::Window*> Windows() const;
  // The first live window with this title, nullptr when none.
  ui::Window* WindowTitled(const std::string& title) const;
  // Controls of a live window (tab pages included) in creation order.
  std::vector<ui::MemoryControl*> Controls(const ui::Window& window) const;
  // The first control of `window` of this kind whose text (caption, or address of a browser)
  // is `text` now; nullptr when none. T is the ui:: type (ui::Button, ui::Label...).
  template <typename T>
  T* Find(const ui::Window& window, const std::string& text) const {
    for (ui::MemoryControl* c : Controls(window)) {
      if (c->text == text) {
        if (auto* typed = dynamic_cast<T*>(&c->control)) return typed;
      }
    }
    return nullptr;
  }
  // The first control of `window` of type T, nullptr when none.
  template <typename T>
  T* First(const ui::Window& window) const {
    for (ui::MemoryControl* c : Controls(window)) {
      if (auto* typed = dynamic_cast<T*>(&c->control)) return typed;
    }
    return nullptr;
  }
  // The in-memory state behind a control (bounds, visibility, items...).
  ui::MemoryControl* State(const ui::Control& control) const;
  // The in-memory state behind a window (visibility, client size, position).
  ui::MemoryWindow* State(const ui::Window& window) const;

  // Fires the user's and the clock's events.
  void RightClick(ui::Window& window) { ui::WindowEvents::RightClick(window); }
  void TitleBarAction(ui::Window& window, int code) {
    ui::WindowEvents::TitleBarAction(window, code);
  }
  void ChangeTitle(ui::WebBrowser& browser, const std::string& title) {
    ui::ControlEvents::TitleChanged(browser, title);
  }
  // Ticks every running timer once, in creation order (timers started by a tick wait).
  void TickTimers();
  // Running timers' intervals in creation order (0 for stopped ones).
  std::vector<int> TimerIntervals() const;

  // Message boxes shown so far, with the answers given.
  const std::vector<Message>& Messages() const { return messages_; }
  // Answers for the next message boxes, in order; OK when none is left.
  void ScriptAnswers(std::initializer_list<ui::MessageResult> answers) {
    answers_.insert(answers_.end(), answers);
  }
  // Runs `action` while the next message box is open (recorded, not yet answered), as the
  // user or a timer acting on the program meanwhile would.
  void WhileNextMessageOpen(std::function<void()> action) { whileOpen_ = std::move(action); }

  // Tray icon state: whether one is up and its tooltip.
  bool TrayShown() const { return trayShown_; }
  const std::string& TrayTooltip() const { return trayTooltip_; }
  std::vector<ui::TrayIcon*> TrayIcons() const { return trayIcons_; }
  // The notifications given from tray icons, oldest first, as "title: text".
  const std::vector<std::string>& Notifications() const { return notifications_; }

  // Run() returns at once; Quit() is recorded here.
  bool QuitCalled() const { return quitCalled_; }

  // Acts as the system ending the session (Windows: WM_QUERYENDSESSION / WM_ENDSESSION).
  void EndSession() { EndRequested(); }
  // The reasons given to HoldSessionEnd so far, in order ("" for a release).
  const std::vector<std::string>& SessionHolds() const { return sessionHolds_; }

  // Runs the tasks posted so far (and those they post), as the loop would; false when there
  // were none. Posted tasks wait for this.
  bool RunPostedTasks() {
    if (!PostedWaiting()) return false;
    RunPosted();
    return true;
  }

 protected:
  std::unique_ptr<ui::WindowImpl> CreateWindowImpl(const ui::WindowOptions& options,
                                                   ui::Window& window) override;
  std::unique_ptr<ui::TimerImpl> CreateTimerImpl(ui::Timer& timer) override;
  std::unique_ptr<ui::TrayIconImpl> CreateTrayIconImpl(ui::TrayIcon& icon) override;
  ui::MessageResult ShowMessageImpl(const ui::MessageBoxOptions& box) override;
  void RunImpl() override {}
  void QuitImpl() override { quitCalled_ = true; }
  void HoldSessionEndImpl(const std::string& reason) override { sessionHolds_.push_back(reason); }
  void WakeImpl() override {}

 private:
  friend class FakeWindow;
  friend class FakeControl;
  friend class FakeTimer;
  friend class FakeTray;

  struct ControlEntry {
    const ui::Window* window;
    ui::MemoryControl* control;
  };
  struct TimerEntry {
    ui::Timer* timer;
    int interval;
  };

  std::vector<ui::MemoryWindow*> windows_;
  std::vector<ControlEntry> controls_;
  std::vector<TimerEntry> timers_;
  std::vector<ui::TrayIcon*> trayIcons_;
  std::vector<Message> messages_;
  std::deque<ui::MessageResult> answers_;
  std::function<void()> whileOpen_;
  bool trayShown_ = false;
  std::string trayTooltip_;
  std::vector<std::string> notifications_;
  bool quitCalled_ = false;
  std::vector<std::string> sessionHolds_;
};

}  // namespace qv::test
