#include "ui/toolkit.h"

#include <algorithm>
#include <cmath>

#include "ui/backend.h"

namespace qv::ui {
namespace {

// Handlers may destroy the object that holds them (a timer tick that destroys its window, a
// close that resets the shell's pointer). Calling a copy keeps the callable alive until it
// returns, whatever the handler does to its owner.
template <typename F, typename... Args>
void Fire(const F& handler, Args&&... args) {
  if (!handler) return;
  F copy = handler;
  copy(std::forward<Args>(args)...);
}

}  // namespace

const char* ControlKindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Label:
      return "label";
    case ControlKind::Button:
      return "button";
    case ControlKind::EditBox:
      return "edit";
    case ControlKind::CheckBox:
      return "checkbox";
    case ControlKind::DropDownList:
      return "dropdown";
    case ControlKind::TextBox:
      return "textbox";
    case ControlKind::WebBrowser:
      return "browser";
    case ControlKind::TabPage:
      return "tabpage";
  }
  return "control";
}

// --- Control ---------------------------------------------------------------------------------

Control::Control(const Rect& bounds) : bounds_(bounds) {}
Control::~Control() = default;

void Control::Attach(std::unique_ptr<ControlImpl> impl) { impl_ = std::move(impl); }

void Control::SetBounds(const Rect& bounds) {
  bounds_ = bounds;
  impl_->SetBoundsImpl(bounds);
}

void Control::Show() {
  visible_ = true;
  impl_->SetVisibleImpl(true);
}

void Control::Hide() {
  visible_ = false;
  impl_->SetVisibleImpl(false);
}

void Label::SetText(const std::string& text) { Impl().SetTextImpl(text); }
std::string Label::Text() const { return Impl().TextImpl(); }
void Label::setAlignment(TextAlign align) {
  align_ = align;
  Impl().SetAlignmentImpl(align);
}

void Button::SetText(const std::string& text) { Impl().SetTextImpl(text); }
std::string Button::Text() const { return Impl().TextImpl(); }
void Button::Click() { Fire(onClick_); }

void EditBox::SetText(const std::string& text) { Impl().SetTextImpl(text); }
std::string EditBox::Text() const { return Impl().TextImpl(); }

void CheckBox::SetText(const std::string& text) { Impl().SetTextImpl(text); }
std::string CheckBox::Text() const { return Impl().TextImpl(); }
void CheckBox::SetChecked(bool checked) { Impl().SetCheckedImpl(checked); }
bool CheckBox::IsChecked() const { return Impl().CheckedImpl(); }
void CheckBox::Click() {
  Impl().SetCheckedImpl(!Impl().CheckedImpl());
  Fire(onClick_);
}
void CheckBox::ClickedEvent() { Fire(onClick_); }

void DropDownList::ClearItems() {
  values_.clear();
  Impl().ClearItemsImpl();
}

void DropDownList::AddItem(const std::string& text, int value) {
  values_.push_back(value);
  Impl().AddItemImpl(text);
}

bool DropDownList::SelectValue(int value) {
  for (size_t i = 0; i < values_.size(); ++i) {
    if (values_[i] == value) return SelectIndex(static_cast<int>(i));
  }
  return false;
}

bool DropDownList::SelectIndex(int index) {
  if (index < 0 || index >= ItemCount()) return false;
  Impl().SelectImpl(index);
  return true;
}

int DropDownList::SelectedIndex() const {
  int index = Impl().SelectedImpl();
  return index >= 0 && index < ItemCount() ? index : -1;
}

std::optional<int> DropDownList::SelectedValue() const {
  int index = SelectedIndex();
  if (index < 0) return std::nullopt;
  return values_[static_cast<size_t>(index)];
}

void DropDownList::SelectionChangedEvent() { Fire(onChange_); }

void TextBox::AppendText(const std::string& text) {
  if (!text.empty()) Impl().AppendTextImpl(text);
}
void TextBox::SetText(const std::string& text) { Impl().SetTextImpl(text); }
std::string TextBox::Text() const { return Impl().TextImpl(); }
void TextBox::SetFixedPitch() { Impl().SetFixedPitchImpl(); }

void WebBrowser::Navigate(const std::string& url) {
  url_ = url.empty() ? "about:blank" : url;
  Impl().NavigateImpl(url_);
}

void WebBrowser::TitleChangedEvent(const std::string& title) {
  title_ = title;
  Fire(onTitle_, title);
}

void WebBrowser::EngineChosenEvent(const std::string& engine) { Fire(onEngine_, engine); }

// --- Containers ------------------------------------------------------------------------------

Container::~Container() = default;

template <typename T>
T* Container::Add(ControlKind kind, const std::string& text, const Rect& bounds) {
  auto control = std::make_unique<T>(bounds);
  T* raw = control.get();
  raw->Attach(ContainerBackend().CreateControlImpl(kind, text, bounds, *raw));
  controls_.push_back(std::move(control));
  return raw;
}

Label* Container::AddLabel(const std::string& text, const Rect& bounds) {
  return Add<Label>(ControlKind::Label, text, bounds);
}
Button* Container::AddButton(const std::string& text, const Rect& bounds) {
  return Add<Button>(ControlKind::Button, text, bounds);
}
EditBox* Container::AddEditBox(const std::string& text, const Rect& bounds) {
  return Add<EditBox>(ControlKind::EditBox, text, bounds);
}
CheckBox* Container::AddCheckBox(const std::string& text, const Rect& bounds) {
  return Add<CheckBox>(ControlKind::CheckBox, text, bounds);
}
DropDownList* Container::AddDropDownList(const Rect& bounds) {
  return Add<DropDownList>(ControlKind::DropDownList, "", bounds);
}
TextBox* Container::AddTextBox(const Rect& bounds) {
  return Add<TextBox>(ControlKind::TextBox, "", bounds);
}
WebBrowser* Container::AddWebBrowser(const Rect& bounds) {
  WebBrowser* browser = Add<WebBrowser>(ControlKind::WebBrowser, "about:blank", bounds);
  browser->Navigate("about:blank");
  return browser;
}

TabPage* Container::AddTabPage(const std::string& caption, const Rect& bounds) {
  auto page = std::make_unique<TabPage>(bounds, caption);
  TabPage* raw = page.get();
  raw->Attach(ContainerBackend().CreateControlImpl(ControlKind::TabPage, caption, bounds, *raw));
  controls_.push_back(std::move(page));
  return raw;
}

void Container::ReapplyBounds() {
  for (const auto& control : controls_) {
    control->impl_->SetBoundsImpl(control->bounds_);
    if (auto* page = dynamic_cast<TabPage*>(control.get())) {
      static_cast<Container*>(page)->ReapplyBounds();
    }
  }
}

TabPage::~TabPage() { DestroyControls(); }

ContainerImpl& TabPage::ContainerBackend() { return *Impl().AsContainer(); }

// --- Window ----------------------------------------------------------------------------------

Window::Window(const WindowOptions& options) : title_(options.title) {}

Window::~Window() {
  // Child controls go first so that no native child outlives the native window.
  DestroyControls();
  impl_.reset();
}

ContainerImpl& Window::ContainerBackend() { return *impl_; }

void Window::SetTitle(const std::string& title) {
  title_ = title;
  impl_->SetTitleImpl(title);
}

void Window::Show() {
  visible_ = true;
  impl_->SetVisibleImpl(true);
}

void Window::Hide() {
  visible_ = false;
  impl_->SetVisibleImpl(false);
}

void Window::SetClientSize(int width, int height) {
  impl_->SetClientSizeImpl(width < 0 ? 0 : width, height < 0 ? 0 : height);
}

Size Window::ClientSize() const { return impl_->ClientSizeImpl(); }
void Window::SetPosition(int left, int top) {
  const Rect frame = impl_->FrameBoundsImpl();
  const Placement place = FirstPlacement(
      {frame.width, frame.height}, impl_->WorkAreaImpl(left, top), Resizable::No, Point{left, top});
  impl_->SetPositionImpl(place.frame.left, place.frame.top);
}
Rect Window::FrameBounds() const { return impl_->FrameBoundsImpl(); }
void Window::BringToFront() { impl_->BringToFrontImpl(); }

void Window::AddTitleBarAction(int code, const std::string& caption) {
  impl_->AddTitleBarActionImpl(code, caption);
}

bool Window::RequestClose() {
  // A box is open: the handler that opened it is still running and may need any window once
  // the box is answered (its owner above all). The backends disable the windows as well; this
  // holds for a close that reaches us anyway.
  if (toolkit_ && toolkit_->MessageOpen()) return false;
  if (onCloseRequest_) {
    auto ask = onCloseRequest_;
    if (ask() == CloseReply::Refuse) return false;
  }
  Hide();
  // Last statement: the handler may destroy this window.
  Fire(onClosed_);
  return true;
}

void Window::RightClickEvent() { Fire(onRightClick_); }
void Window::ResizedEvent() { Fire(onResized_); }
void Window::TitleBarActionEvent(int code) { Fire(onTitleBarAction_, code); }

// --- Timer and tray icon ---------------------------------------------------------------------

Timer::Timer(std::function<void()> onTick) : onTick_(std::move(onTick)) {}

Timer::~Timer() {
  if (impl_ && interval_ > 0) impl_->StopImpl();
}

void Timer::SetInterval(int ms) {
  if (ms <= 0) {
    if (interval_ > 0) impl_->StopImpl();
    interval_ = 0;
    return;
  }
  interval_ = ms;
  impl_->StartImpl(ms);
}

void Timer::Tick() { Fire(onTick_); }

TrayIcon::TrayIcon(std::function<void()> onClick) : onClick_(std::move(onClick)) {}

TrayIcon::~TrayIcon() {
  if (impl_ && shown_) impl_->RemoveImpl();
}

void TrayIcon::Show(const std::string& tooltip) {
  tooltip_ = tooltip;
  shown_ = true;
  impl_->ShowImpl(tooltip);
}

void TrayIcon::Remove() {
  if (!shown_) return;
  shown_ = false;
  tooltip_.clear();
  impl_->RemoveImpl();
}

void TrayIcon::Click() { Fire(onClick_); }

void TrayIcon::Notify(const std::string& title, const std::string& text, AlertSound sound) {
  if (text.empty()) return;
  impl_->NotifyImpl(title, text, sound);
}

// --- Toolkit ---------------------------------------------------------------------------------

Toolkit::~Toolkit() = default;

std::unique_ptr<Window> Toolkit::NewWindow(const WindowOptions& options) {
  std::unique_ptr<Window> window(new Window(options));
  window->toolkit_ = this;
  window->impl_ = CreateWindowImpl(options, *window);
  return window;
}

std::unique_ptr<Timer> Toolkit::CreateTimer(std::function<void()> onTick) {
  std::unique_ptr<Timer> timer(new Timer(std::move(onTick)));
  timer->impl_ = CreateTimerImpl(*timer);
  return timer;
}

std::unique_ptr<TrayIcon> Toolkit::CreateTrayIcon(std::function<void()> onClick) {
  std::unique_ptr<TrayIcon> icon(new TrayIcon(std::move(onClick)));
  icon->impl_ = CreateTrayIconImpl(*icon);
  return icon;
}

MessageResult Toolkit::ShowMessage(const MessageBoxOptions& box) {
  if (quitPending_)
    return box.buttons == MessageButtons::OkCancel ? MessageResult::Cancel : MessageResult::Ok;
  ++openMessages_;
  const MessageResult result = ShowMessageImpl(box);
  --openMessages_;
  return result;
}

Placement FirstPlacement(Size frame, const Rect& workArea, Resizable resizable,
                         std::optional<Point> wanted) {
  const bool fits = frame.width <= workArea.width && frame.height <= workArea.height;
  if (!fits && resizable == Resizable::Yes) return {workArea, true};
  // Per axis: where wanted (else centred) when it fits, moved in no further than needed; else
  // from the work area's start, so that the title bar and the left edge stay on the screen.
  auto start = [](int size, int areaStart, int areaSize, std::optional<int> want) {
    if (size > areaSize) return areaStart;
    if (!want) return areaStart + (areaSize - size) / 2;
    return std::clamp(*want, areaStart, areaStart + areaSize - size);
  };
  std::optional<int> wantX, wantY;
  if (wanted) {
    wantX = wanted->x;
    wantY = wanted->y;
  }
  return {{start(frame.width, workArea.left, workArea.width, wantX),
           start(frame.height, workArea.top, workArea.height, wantY), frame.width, frame.height},
          false};
}

int ToDevice(int design, double scale) { return static_cast<int>(std::lround(design * scale)); }

Rect ToDevice(const Rect& design, double scale) {
  const int left = ToDevice(design.left, scale);
  const int top = ToDevice(design.top, scale);
  return {left, top, ToDevice(design.left + design.width, scale) - left,
          ToDevice(design.top + design.height, scale) - top};
}

int ToDesign(int device, double scale) {
  // The small allowance keeps an exact multiple (150 px at 1.5) from rounding up past it.
  return scale > 0 ? static_cast<int>(std::ceil(device / scale - 1e-6)) : device;
}

int Toolkit::Run() {
  if (!quitPending_) RunImpl();
  quitPending_ = false;
  return exitCode_;
}

void Toolkit::Quit(int exitCode) {
  exitCode_ = exitCode;
  if (quitPending_) return;
  quitPending_ = true;
  QuitImpl();
  if (openMessages_ > 0) CloseMessagesImpl();
}

void Toolkit::Post(std::function<void()> task) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> hold(postMutex_);
    posted_.push_back(std::move(task));
    wake = !wakePending_;
    wakePending_ = true;
  }
  if (wake) WakeImpl();
}

void Toolkit::PostUnhurried(std::function<void()> task) {
  if (!RunsPostedAtEveryWake()) return Post(std::move(task));
  // Queued behind the tasks posted before it, so the order holds; a later Post still wakes
  // the loop, since wakePending_ stays as it is.
  std::lock_guard<std::mutex> hold(postMutex_);
  posted_.push_back(std::move(task));
}

void Toolkit::RunPosted() {
  {
    // From here on a new post wakes the loop again: a task may run a message box, whose own
    // loop must then run the tasks posted meanwhile.
    std::lock_guard<std::mutex> hold(postMutex_);
    wakePending_ = false;
  }
  // One task at a time from the shared queue, so that a run nested in a task's message box
  // goes on where this one stopped and the order holds.
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> hold(postMutex_);
      if (posted_.empty()) return;
      task = std::move(posted_.front());
      posted_.pop_front();
    }
    task();
  }
}

bool Toolkit::PostedWaiting() {
  std::lock_guard<std::mutex> hold(postMutex_);
  return !posted_.empty();
}

}  // namespace qv::ui
