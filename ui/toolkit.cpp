#include "ui/toolkit.h"

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

void Control::attach(std::unique_ptr<ControlImpl> impl) { impl_ = std::move(impl); }

void Control::setBounds(const Rect& bounds) {
  bounds_ = bounds;
  impl_->setBoundsImpl(bounds);
}

void Control::show() {
  visible_ = true;
  impl_->setVisibleImpl(true);
}

void Control::hide() {
  visible_ = false;
  impl_->setVisibleImpl(false);
}

void Label::setText(const std::string& text) { impl().setTextImpl(text); }
std::string Label::text() const { return impl().textImpl(); }
void Label::setAlignment(TextAlign align) {
  align_ = align;
  impl().setAlignmentImpl(align);
}

void Button::setText(const std::string& text) { impl().setTextImpl(text); }
std::string Button::text() const { return impl().textImpl(); }
void Button::click() { Fire(onClick_); }

void EditBox::setText(const std::string& text) { impl().setTextImpl(text); }
std::string EditBox::text() const { return impl().textImpl(); }

void CheckBox::setText(const std::string& text) { impl().setTextImpl(text); }
std::string CheckBox::text() const { return impl().textImpl(); }
void CheckBox::setChecked(bool checked) { impl().setCheckedImpl(checked); }
bool CheckBox::isChecked() const { return impl().checkedImpl(); }
void CheckBox::click() {
  impl().setCheckedImpl(!impl().checkedImpl());
  Fire(onClick_);
}
void CheckBox::clickedEvent() { Fire(onClick_); }

void DropDownList::addItem(const std::string& text, int value) {
  values_.push_back(value);
  impl().addItemImpl(text);
}

bool DropDownList::selectValue(int value) {
  for (size_t i = 0; i < values_.size(); ++i) {
    if (values_[i] == value) return selectIndex(static_cast<int>(i));
  }
  return false;
}

bool DropDownList::selectIndex(int index) {
  if (index < 0 || index >= itemCount()) return false;
  impl().selectImpl(index);
  return true;
}

int DropDownList::selectedIndex() const {
  int index = impl().selectedImpl();
  return index >= 0 && index < itemCount() ? index : -1;
}

std::optional<int> DropDownList::selectedValue() const {
  int index = selectedIndex();
  if (index < 0) return std::nullopt;
  return values_[static_cast<size_t>(index)];
}

void DropDownList::selectionChangedEvent() { Fire(onChange_); }

void TextBox::appendText(const std::string& text) {
  if (!text.empty()) impl().appendTextImpl(text);
}
void TextBox::setText(const std::string& text) { impl().setTextImpl(text); }
std::string TextBox::text() const { return impl().textImpl(); }

void WebBrowser::navigate(const std::string& url) {
  url_ = url.empty() ? "about:blank" : url;
  impl().navigateImpl(url_);
}

void WebBrowser::titleChangedEvent(const std::string& title) {
  title_ = title;
  Fire(onTitle_, title);
}

// --- Containers ------------------------------------------------------------------------------

Container::~Container() = default;

template <typename T>
T* Container::add(ControlKind kind, const std::string& text, const Rect& bounds) {
  auto control = std::make_unique<T>(bounds);
  T* raw = control.get();
  raw->attach(containerImpl().createControlImpl(kind, text, bounds, *raw));
  controls_.push_back(std::move(control));
  return raw;
}

Label* Container::addLabel(const std::string& text, const Rect& bounds) {
  return add<Label>(ControlKind::Label, text, bounds);
}
Button* Container::addButton(const std::string& text, const Rect& bounds) {
  return add<Button>(ControlKind::Button, text, bounds);
}
EditBox* Container::addEditBox(const std::string& text, const Rect& bounds) {
  return add<EditBox>(ControlKind::EditBox, text, bounds);
}
CheckBox* Container::addCheckBox(const std::string& text, const Rect& bounds) {
  return add<CheckBox>(ControlKind::CheckBox, text, bounds);
}
DropDownList* Container::addDropDownList(const Rect& bounds) {
  return add<DropDownList>(ControlKind::DropDownList, "", bounds);
}
TextBox* Container::addTextBox(const Rect& bounds) {
  return add<TextBox>(ControlKind::TextBox, "", bounds);
}
WebBrowser* Container::addWebBrowser(const Rect& bounds) {
  WebBrowser* browser = add<WebBrowser>(ControlKind::WebBrowser, "about:blank", bounds);
  browser->navigate("about:blank");
  return browser;
}

TabPage* Container::addTabPage(const std::string& caption, const Rect& bounds) {
  auto page = std::make_unique<TabPage>(bounds, caption);
  TabPage* raw = page.get();
  raw->attach(containerImpl().createControlImpl(ControlKind::TabPage, caption, bounds, *raw));
  controls_.push_back(std::move(page));
  return raw;
}

TabPage::~TabPage() { destroyControls(); }

ContainerImpl& TabPage::containerImpl() { return *impl().asContainer(); }

// --- Window ----------------------------------------------------------------------------------

Window::Window(const WindowOptions& options) : title_(options.title) {}

Window::~Window() {
  // Child controls go first so that no native child outlives the native window.
  destroyControls();
  impl_.reset();
}

ContainerImpl& Window::containerImpl() { return *impl_; }

void Window::setTitle(const std::string& title) {
  title_ = title;
  impl_->setTitleImpl(title);
}

void Window::show() {
  visible_ = true;
  impl_->setVisibleImpl(true);
}

void Window::hide() {
  visible_ = false;
  impl_->setVisibleImpl(false);
}

void Window::setClientSize(int width, int height) {
  impl_->setClientSizeImpl(width < 0 ? 0 : width, height < 0 ? 0 : height);
}

Size Window::clientSize() const { return impl_->clientSizeImpl(); }
void Window::setPosition(int left, int top) { impl_->setPositionImpl(left, top); }
Rect Window::frameBounds() const { return impl_->frameBoundsImpl(); }
void Window::bringToFront() { impl_->bringToFrontImpl(); }

void Window::addTitleBarAction(int code, const std::string& caption) {
  impl_->addTitleBarActionImpl(code, caption);
}

bool Window::requestClose() {
  // A box is open: the handler that opened it is still running and may need any window once
  // the box is answered (its owner above all). The backends disable the windows as well; this
  // holds for a close that reaches us anyway.
  if (toolkit_ && toolkit_->messageOpen()) return false;
  if (onCloseRequest_) {
    auto ask = onCloseRequest_;
    if (ask() == CloseReply::Refuse) return false;
  }
  hide();
  // Last statement: the handler may destroy this window.
  Fire(onClosed_);
  return true;
}

void Window::rightClickEvent() { Fire(onRightClick_); }
void Window::resizedEvent() { Fire(onResized_); }
void Window::titleBarActionEvent(int code) { Fire(onTitleBarAction_, code); }

// --- Timer and tray icon ---------------------------------------------------------------------

Timer::Timer(std::function<void()> onTick) : onTick_(std::move(onTick)) {}

Timer::~Timer() {
  if (impl_ && interval_ > 0) impl_->stopImpl();
}

void Timer::setInterval(int ms) {
  if (ms <= 0) {
    if (interval_ > 0) impl_->stopImpl();
    interval_ = 0;
    return;
  }
  interval_ = ms;
  impl_->startImpl(ms);
}

void Timer::tick() { Fire(onTick_); }

TrayIcon::TrayIcon(std::function<void()> onClick) : onClick_(std::move(onClick)) {}

TrayIcon::~TrayIcon() {
  if (impl_ && shown_) impl_->removeImpl();
}

void TrayIcon::show(const std::string& tooltip) {
  tooltip_ = tooltip;
  shown_ = true;
  impl_->showImpl(tooltip);
}

void TrayIcon::remove() {
  if (!shown_) return;
  shown_ = false;
  tooltip_.clear();
  impl_->removeImpl();
}

void TrayIcon::click() { Fire(onClick_); }

// --- Toolkit ---------------------------------------------------------------------------------

Toolkit::~Toolkit() = default;

std::unique_ptr<Window> Toolkit::createWindow(const WindowOptions& options) {
  std::unique_ptr<Window> window(new Window(options));
  window->toolkit_ = this;
  window->impl_ = createWindowImpl(options, *window);
  return window;
}

std::unique_ptr<Timer> Toolkit::createTimer(std::function<void()> onTick) {
  std::unique_ptr<Timer> timer(new Timer(std::move(onTick)));
  timer->impl_ = createTimerImpl(*timer);
  return timer;
}

std::unique_ptr<TrayIcon> Toolkit::createTrayIcon(std::function<void()> onClick) {
  std::unique_ptr<TrayIcon> icon(new TrayIcon(std::move(onClick)));
  icon->impl_ = createTrayIconImpl(*icon);
  return icon;
}

MessageResult Toolkit::showMessage(const MessageBoxOptions& box) {
  ++openMessages_;
  const MessageResult result = showMessageImpl(box);
  --openMessages_;
  return result;
}

Placement FirstPlacement(Size frame, const Rect& workArea, Resizable resizable) {
  const bool fits = frame.width <= workArea.width && frame.height <= workArea.height;
  if (!fits && resizable == Resizable::Yes) return {workArea, true};
  // Per axis: centred when it fits, else from the work area's start, so that the title bar
  // and the left edge stay on the screen.
  auto start = [](int size, int areaStart, int areaSize) {
    return size <= areaSize ? areaStart + (areaSize - size) / 2 : areaStart;
  };
  return {{start(frame.width, workArea.left, workArea.width),
           start(frame.height, workArea.top, workArea.height), frame.width, frame.height},
          false};
}

int Toolkit::run() {
  if (!quitPending_) runImpl();
  quitPending_ = false;
  return exitCode_;
}

void Toolkit::quit(int exitCode) {
  exitCode_ = exitCode;
  if (quitPending_) return;
  quitPending_ = true;
  quitImpl();
}

void Toolkit::post(std::function<void()> task) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> hold(postMutex_);
    posted_.push_back(std::move(task));
    wake = !wakePending_;
    wakePending_ = true;
  }
  if (wake) wakeImpl();
}

void Toolkit::runPosted() {
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

bool Toolkit::postedWaiting() {
  std::lock_guard<std::mutex> hold(postMutex_);
  return !posted_.empty();
}

}  // namespace qv::ui
