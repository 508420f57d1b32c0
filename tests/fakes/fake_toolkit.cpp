#include "tests/fakes/fake_toolkit.h"

#include <algorithm>
#include <utility>

namespace qv::test {

// In-memory control that registers itself (and its children, for tab pages) with the fake.
class FakeControl : public ui::MemoryControl {
 public:
  FakeControl(FakeToolkit& fake, const ui::Window& window, ui::ControlKind kind,
              const std::string& text, const ui::Rect& bounds, ui::Control& control)
      : MemoryControl(kind, text, bounds, control), fake_(fake), window_(window) {
    fake_.controls_.push_back({&window_, this});
  }
  ~FakeControl() override {
    std::erase_if(fake_.controls_, [this](const auto& e) { return e.control == this; });
  }
  std::unique_ptr<ui::ControlImpl> CreateControlImpl(ui::ControlKind kind, const std::string& text,
                                                     const ui::Rect& bounds,
                                                     ui::Control& control) override {
    return std::make_unique<FakeControl>(fake_, window_, kind, text, bounds, control);
  }

 private:
  FakeToolkit& fake_;
  const ui::Window& window_;
};

class FakeWindow : public ui::MemoryWindow {
 public:
  FakeWindow(FakeToolkit& fake, const ui::WindowOptions& options, ui::Window& window)
      : MemoryWindow(options, window), fake_(fake) {
    fake_.windows_.push_back(this);
  }
  ~FakeWindow() override { std::erase(fake_.windows_, this); }
  std::unique_ptr<ui::ControlImpl> CreateControlImpl(ui::ControlKind kind, const std::string& text,
                                                     const ui::Rect& bounds,
                                                     ui::Control& control) override {
    return std::make_unique<FakeControl>(fake_, window, kind, text, bounds, control);
  }

 private:
  FakeToolkit& fake_;
};

class FakeTimer : public ui::TimerImpl {
 public:
  FakeTimer(FakeToolkit& fake, ui::Timer& timer) : fake_(fake), timer_(timer) {
    fake_.timers_.push_back({&timer_, 0});
  }
  ~FakeTimer() override {
    std::erase_if(fake_.timers_, [this](const auto& e) { return e.timer == &timer_; });
  }
  void StartImpl(int ms) override { Entry().interval = ms; }
  void StopImpl() override { Entry().interval = 0; }

 private:
  FakeToolkit::TimerEntry& Entry() {
    return *std::find_if(fake_.timers_.begin(), fake_.timers_.end(),
                         [this](const auto& e) { return e.timer == &timer_; });
  }
  FakeToolkit& fake_;
  ui::Timer& timer_;
};

class FakeTray : public ui::TrayIconImpl {
 public:
  FakeTray(FakeToolkit& fake, ui::TrayIcon& icon) : fake_(fake), icon_(icon) {
    fake_.trayIcons_.push_back(&icon_);
  }
  ~FakeTray() override { std::erase(fake_.trayIcons_, &icon_); }
  void ShowImpl(const std::string& tooltip) override {
    fake_.trayShown_ = true;
    fake_.trayTooltip_ = tooltip;
  }
  void RemoveImpl() override {
    fake_.trayShown_ = false;
    fake_.trayTooltip_.clear();
  }
  void NotifyImpl(const std::string& title, const std::string& text, ui::AlertSound) override {
    fake_.notifications_.push_back(title + ": " + text);
  }

 private:
  FakeToolkit& fake_;
  ui::TrayIcon& icon_;
};

std::vector<ui::Window*> FakeToolkit::Windows() const {
  std::vector<ui::Window*> result;
  for (ui::MemoryWindow* w : windows_) result.push_back(&w->window);
  return result;
}

ui::Window* FakeToolkit::WindowTitled(const std::string& title) const {
  for (ui::MemoryWindow* w : windows_) {
    if (w->title == title) return &w->window;
  }
  return nullptr;
}

std::vector<ui::MemoryControl*> FakeToolkit::Controls(const ui::Window& window) const {
  std::vector<ui::MemoryControl*> result;
  for (const ControlEntry& e : controls_) {
    if (e.window == &window) result.push_back(e.control);
  }
  return result;
}

ui::MemoryControl* FakeToolkit::State(const ui::Control& control) const {
  for (const ControlEntry& e : controls_) {
    if (&e.control->control == &control) return e.control;
  }
  return nullptr;
}

ui::MemoryWindow* FakeToolkit::State(const ui::Window& window) const {
  for (ui::MemoryWindow* w : windows_) {
    if (&w->window == &window) return w;
  }
  return nullptr;
}

void FakeToolkit::TickTimers() {
  // A tick may create or destroy timers: tick the ones running now, if they still exist.
  std::vector<ui::Timer*> due;
  for (const TimerEntry& e : timers_) {
    if (e.interval > 0) due.push_back(e.timer);
  }
  for (ui::Timer* t : due) {
    auto alive = std::find_if(timers_.begin(), timers_.end(),
                              [t](const auto& e) { return e.timer == t && e.interval > 0; });
    if (alive != timers_.end()) t->Tick();
  }
}

std::vector<int> FakeToolkit::TimerIntervals() const {
  std::vector<int> result;
  for (const TimerEntry& e : timers_) result.push_back(e.interval);
  return result;
}

std::unique_ptr<ui::WindowImpl> FakeToolkit::CreateWindowImpl(const ui::WindowOptions& options,
                                                              ui::Window& window) {
  return std::make_unique<FakeWindow>(*this, options, window);
}

std::unique_ptr<ui::TimerImpl> FakeToolkit::CreateTimerImpl(ui::Timer& timer) {
  return std::make_unique<FakeTimer>(*this, timer);
}

std::unique_ptr<ui::TrayIconImpl> FakeToolkit::CreateTrayIconImpl(ui::TrayIcon& icon) {
  return std::make_unique<FakeTray>(*this, icon);
}

ui::MessageResult FakeToolkit::ShowMessageImpl(const ui::MessageBoxOptions& box) {
  ui::MessageResult answer = ui::MessageResult::Ok;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  messages_.push_back({box, answer});
  if (auto action = std::exchange(whileOpen_, nullptr)) action();
  return answer;
}

}  // namespace qv::test
