// The least window toolkit the shell needs: windows with fixed-position controls, timers,
// message boxes, a tray icon and the run loop. Everything here runs on the one UI thread,
// except Toolkit::post, which other threads use to hand work to it.
//
// The shell talks to these types only. A backend (GTK, Win32, headless, the tests' fake)
// supplies the operations of ui/backend.h; the public methods below do the shared checks once
// so that every backend behaves the same.
//
// Ownership: the shell owns windows, timers and tray icons through std::unique_ptr; a window
// owns its controls, and the pointers that the add* methods return stay valid until the
// window is destroyed. Destroying an object inside one of its own callbacks is allowed.
// Texts are UTF-8. Positions and sizes of controls and client areas are pixels of the design
// layout at 96 DPI: each backend scales them (and the controls' font) by the DPI its window is
// drawn at, so a window looks the same at 120 % or 150 %, only larger. Window positions on
// the screen (SetPosition, FrameBounds) are the screen's own pixels.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qv::ui {

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};

enum class ControlKind;
class ControlImpl;
class ContainerImpl;
class WindowImpl;
class TimerImpl;
class TrayIconImpl;
class Toolkit;

// ---------------------------------------------------------------------------------------------
// Controls

// What every control offers: position within its parent, visibility.
class Control {
 public:
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Moves and sizes the control within its window or tab page (negative positions allowed).
  void SetBounds(const Rect& bounds);
  // The last bounds given at creation or by setBounds.
  Rect Bounds() const { return bounds_; }
  // Shows the control (controls are visible from creation unless hidden). Controls lying over
  // a web browser of the same window are drawn above the page.
  void Show();
  // Hides the control; it keeps its bounds and content.
  void Hide();
  // Whether Show() or creation (not Hide()) was the last visibility change.
  bool IsVisible() const { return visible_; }

 protected:
  explicit Control(const Rect& bounds);
  ControlImpl& Impl() const { return *impl_; }

 private:
  friend class Container;
  friend class ControlEvents;
  void Attach(std::unique_ptr<ControlImpl> impl);
  // Event entry points for backends (reached through ControlEvents).
  virtual void ClickedEvent() {}
  virtual void SelectionChangedEvent() {}
  virtual void TitleChangedEvent(const std::string&) {}
  virtual void EngineChosenEvent(const std::string&) {}

  std::unique_ptr<ControlImpl> impl_;
  Rect bounds_;
  bool visible_ = true;
};

// Where a label's text lies within its bounds.
enum class TextAlign { Left, Center, Right };

// A one-line text that the user cannot edit.
class Label final : public Control {
 public:
  explicit Label(const Rect& bounds) : Control(bounds) {}
  // Replaces the shown text.
  void SetText(const std::string& text);
  // The shown text.
  std::string Text() const;
  // Places the text at the left edge (the default), the middle or the right edge of the
  // bounds. A right-aligned label whose bounds start left of its parent keeps its text whole
  // as long as the text fits the visible part.
  void setAlignment(TextAlign align);
  TextAlign Alignment() const { return align_; }

 private:
  TextAlign align_ = TextAlign::Left;
};

// A push button.
class Button final : public Control {
 public:
  explicit Button(const Rect& bounds) : Control(bounds) {}
  // Replaces the caption.
  void SetText(const std::string& text);
  // The caption.
  std::string Text() const;
  // Sets the handler run when the user clicks the button (replaces the previous one).
  void OnClick(std::function<void()> handler) { onClick_ = std::move(handler); }
  // Acts as a user click: runs the click handler.
  void Click();

 private:
  void ClickedEvent() override { Click(); }
  std::function<void()> onClick_;
};

// A one-line text entry.
class EditBox final : public Control {
 public:
  explicit EditBox(const Rect& bounds) : Control(bounds) {}
  // Replaces the text (no event).
  void SetText(const std::string& text);
  // The text as the user left it.
  std::string Text() const;
};

// A check box with a caption.
class CheckBox final : public Control {
 public:
  explicit CheckBox(const Rect& bounds) : Control(bounds) {}
  // Replaces the caption.
  void SetText(const std::string& text);
  // The caption.
  std::string Text() const;
  // Sets the check mark without running the click handler.
  void SetChecked(bool checked);
  // Whether the box is checked now.
  bool IsChecked() const;
  // Sets the handler run after the user toggled the box (IsChecked() already shows the change).
  void OnClick(std::function<void()> handler) { onClick_ = std::move(handler); }
  // Acts as a user click: toggles the check mark, then runs the click handler.
  void Click();

 private:
  void ClickedEvent() override;
  std::function<void()> onClick_;
};

// A drop-down list of fixed items, each with an integer value.
class DropDownList final : public Control {
 public:
  explicit DropDownList(const Rect& bounds) : Control(bounds) {}
  // Appends an item with its shown text and its value.
  void AddItem(const std::string& text, int value);
  // Removes every item; nothing is selected afterwards. No event.
  void ClearItems();
  // Number of items.
  int ItemCount() const { return static_cast<int>(values_.size()); }
  // Selects the first item with this value; false (selection unchanged) when none has it.
  bool SelectValue(int value);
  // Selects by position; false (selection unchanged) when out of range. No event.
  bool SelectIndex(int index);
  // Position of the selected item, -1 when nothing is selected.
  int SelectedIndex() const;
  // Value of the selected item; empty when nothing is selected.
  std::optional<int> SelectedValue() const;
  // Sets the handler run after the user picked an item.
  void OnSelectionChanged(std::function<void()> handler) { onChange_ = std::move(handler); }

 private:
  void SelectionChangedEvent() override;
  std::vector<int> values_;
  std::function<void()> onChange_;
};

// A multi-line, read-only text box that keeps its end in view.
class TextBox final : public Control {
 public:
  explicit TextBox(const Rect& bounds) : Control(bounds) {}
  // Adds text at the end (line breaks as "\r\n" or "\n") and scrolls to it.
  void AppendText(const std::string& text);
  // Replaces the whole text.
  void SetText(const std::string& text);
  // The whole text, line breaks as given.
  std::string Text() const;
  // Draws the text in a fixed-pitch font with CJK characters two columns wide, for text laid
  // out in columns such as a receipt; GTK also stops wrapping lines (a Win32 edit control's
  // wrapping is fixed when it is made).
  void SetFixedPitch();
};

// An embedded web browser.
class WebBrowser final : public Control {
 public:
  explicit WebBrowser(const Rect& bounds) : Control(bounds) {}
  // Starts loading the address; an empty address loads "about:blank".
  void Navigate(const std::string& url);
  // The address last given to Navigate() ("about:blank" before any).
  std::string Url() const { return url_; }
  // The title of the shown page as last reported by the page-title-changed event.
  std::string Title() const { return title_; }
  // Sets the handler run when the shown page's title changes, with the new title.
  void OnTitleChanged(std::function<void(const std::string&)> handler) {
    onTitle_ = std::move(handler);
  }
  // Sets the handler run once the backend chose the engine that shows the pages, with its
  // name (and why, where it is not the one preferred). The choice is reported from the event
  // loop, so a handler set right after the browser's creation sees it; only backends with a
  // choice (Win32) report one.
  void OnEngineChosen(std::function<void(const std::string&)> handler) {
    onEngine_ = std::move(handler);
  }

 private:
  void TitleChangedEvent(const std::string& title) override;
  void EngineChosenEvent(const std::string& engine) override;
  std::string url_ = "about:blank";
  std::string title_;
  std::function<void(const std::string&)> onTitle_;
  std::function<void(const std::string&)> onEngine_;
};

// ---------------------------------------------------------------------------------------------
// Containers

class TabPage;

// Something that holds controls at fixed positions: a window's client area or a tab page.
// Each add* creates a visible control with the given bounds, owned by this container.
class Container {
 public:
  virtual ~Container();
  Container(const Container&) = delete;
  Container& operator=(const Container&) = delete;

  Label* AddLabel(const std::string& text, const Rect& bounds);
  Button* AddButton(const std::string& text, const Rect& bounds);
  EditBox* AddEditBox(const std::string& text, const Rect& bounds);
  CheckBox* AddCheckBox(const std::string& text, const Rect& bounds);
  // The list starts empty with nothing selected.
  DropDownList* AddDropDownList(const Rect& bounds);
  // The box starts empty.
  TextBox* AddTextBox(const Rect& bounds);
  // The browser starts at "about:blank".
  WebBrowser* AddWebBrowser(const Rect& bounds);
  // A tab control at `bounds` with one page captioned `caption`; its controls are placed
  // relative to the page's client area.
  TabPage* AddTabPage(const std::string& caption, const Rect& bounds);

 protected:
  Container() = default;
  // Destroys the controls (before the backend object that holds them goes away).
  void DestroyControls() { controls_.clear(); }
  // Gives every control, those of tab pages included, its bounds again.
  void ReapplyBounds();
  virtual ContainerImpl& ContainerBackend() = 0;

 private:
  template <typename T>
  T* Add(ControlKind kind, const std::string& text, const Rect& bounds);
  std::vector<std::unique_ptr<Control>> controls_;
};

// One page of a tab control, holding controls of its own.
class TabPage final : public Control, public Container {
 public:
  TabPage(const Rect& bounds, std::string caption)
      : Control(bounds), caption_(std::move(caption)) {}
  ~TabPage() override;
  // The tab's caption.
  const std::string& Caption() const { return caption_; }

 private:
  ContainerImpl& ContainerBackend() override;
  std::string caption_;
};

// ---------------------------------------------------------------------------------------------
// Windows

enum class Resizable { No, Yes };

// The answer of a close-request handler.
enum class CloseReply { Allow, Refuse };

struct WindowOptions {
  std::string title{};
  int clientWidth = 400;
  int clientHeight = 300;
  // An owned window stays above its owner and has no taskbar entry; the owner stays usable.
  class Window* owner = nullptr;
  Resizable resizable = Resizable::No;
};

// A top-level or owned window; hidden until Show(). Destroying the object destroys the window.
class Window final : public Container {
 public:
  ~Window() override;

  // Replaces the title-bar text.
  void SetTitle(const std::string& title);
  // The title-bar text.
  std::string Title() const { return title_; }
  // Shows the window (and restores it when minimised).
  void Show();
  // Hides the window; it keeps its controls and position.
  void Hide();
  // Whether Show() (not Hide() or a granted close) was the last visibility change.
  bool IsVisible() const { return visible_; }
  // Resizes the client area.
  void SetClientSize(int width, int height);
  // Size of the client area now (the user may have resized it).
  Size ClientSize() const;
  // Moves the window's outer frame to this screen position, or as near it as keeps the window
  // wholly inside the work area of the monitor there (see FirstPlacement).
  void SetPosition(int left, int top);
  // Outer frame on the screen (position and size including the frame).
  Rect FrameBounds() const;
  // Raises the window above all others once (top-most, then at once not top-most).
  void BringToFront();
  // Acts as the user's close request: asks the close handler; when allowed, hides the window
  // and runs the closed handler. Returns true when the window was closed. Refused without
  // asking while a message box is open (see Toolkit::showMessage).
  bool RequestClose();
  // Adds a title-bar action with its numeric code; call before the first Show(). GTK shows it
  // as a header-bar button. A Win32 title bar has no room for buttons of ours: there it is an
  // item of the window menu and also a button at the right end of the top of the client area
  // (8 pixels from the top, 34 high), which a window with actions keeps free.
  void AddTitleBarAction(int code, const std::string& caption);
  // A token that expires when this window is destroyed. A handler that runs the event loop
  // (a message box does) takes one before and checks it after, before it touches the window
  // or the object that owns it again.
  std::weak_ptr<const void> Lifetime() const { return alive_; }

  // Asked when the user wants to close the window; without a handler the close is allowed.
  void OnCloseRequest(std::function<CloseReply()> handler) { onCloseRequest_ = std::move(handler); }
  // Run after a close was allowed (the window is already hidden); the usual reaction is to
  // destroy the Window, which may be done inside this handler.
  void OnClosed(std::function<void()> handler) { onClosed_ = std::move(handler); }
  // Run when the right mouse button is pressed over the window's client area (not a control).
  void OnRightClick(std::function<void()> handler) { onRightClick_ = std::move(handler); }
  // Run after the client area changed size (ClientSize() gives the new size).
  void OnResized(std::function<void()> handler) { onResized_ = std::move(handler); }
  // Run with the action's code when the user picks a title-bar action.
  void OnTitleBarAction(std::function<void(int)> handler) {
    onTitleBarAction_ = std::move(handler);
  }

  // The backend object behind this window (for backends: owners of message boxes, windows).
  WindowImpl& WindowBackend() const { return *impl_; }

 private:
  friend class Toolkit;
  friend class WindowEvents;
  explicit Window(const WindowOptions& options);
  ContainerImpl& ContainerBackend() override;
  // Event entry points for backends (reached through WindowEvents).
  void RightClickEvent();
  void ResizedEvent();
  void TitleBarActionEvent(int code);
  void RescaleControls() { ReapplyBounds(); }

  std::unique_ptr<WindowImpl> impl_;
  Toolkit* toolkit_ = nullptr;
  std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
  std::string title_;
  bool visible_ = false;
  std::function<CloseReply()> onCloseRequest_;
  std::function<void()> onClosed_;
  std::function<void()> onRightClick_;
  std::function<void()> onResized_;
  std::function<void(int)> onTitleBarAction_;
};

// ---------------------------------------------------------------------------------------------
// Timers, tray icon, message boxes

// A repeating timer run by the toolkit's loop; created stopped.
class Timer final {
 public:
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  // Starts (or restarts, counting from now) with this interval in ms; 0 or less stops it.
  void SetInterval(int ms);
  // The running interval in ms, 0 when stopped.
  int Interval() const { return interval_; }
  // Runs the tick handler now, as a due tick would (the interval is unchanged).
  void Tick();

 private:
  friend class Toolkit;
  explicit Timer(std::function<void()> onTick);
  std::unique_ptr<TimerImpl> impl_;
  std::function<void()> onTick_;
  int interval_ = 0;
};

// Whether a notification is given with the desktop's sound.
enum class AlertSound { Off, On };

// The program's icon in the notification area (on Linux an indicator with a menu whose
// "显示" item counts as a click). Removed when the object is destroyed.
class TrayIcon final {
 public:
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;
  // Puts the program icon up with this tooltip, or updates the tooltip when it is up.
  void Show(const std::string& tooltip);
  // Takes the icon down; nothing when it is not up.
  void Remove();
  // Whether the icon is up.
  bool IsShown() const { return shown_; }
  // The tooltip of the icon while it is up, empty otherwise.
  const std::string& Tooltip() const { return tooltip_; }
  // Acts as a user click on the icon: runs the click handler.
  void Click();
  // Shows a passing notification from the program's icon (Windows: the icon's balloon, the
  // icon put up for it when it is not up; Linux: the desktop's notification service; headless:
  // the text on stderr) and returns at once; nothing for an empty text. Whether it was seen is
  // not known: a desktop without a notification service drops it.
  void Notify(const std::string& title, const std::string& text, AlertSound sound);

 private:
  friend class Toolkit;
  explicit TrayIcon(std::function<void()> onClick);
  std::unique_ptr<TrayIconImpl> impl_;
  std::function<void()> onClick_;
  std::string tooltip_;
  bool shown_ = false;
};

enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { None, Information, Question, Warning, Error };
enum class MessageResult { Ok, Cancel };

struct MessageBoxOptions {
  std::string text{};
  std::string caption{};
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::None;
  // The window the box stands over; without one it is centred on the screen. Either way the
  // box is modal to the whole program.
  Window* owner = nullptr;
};

// ---------------------------------------------------------------------------------------------
// The toolkit

class Toolkit {
 public:
  virtual ~Toolkit();
  Toolkit(const Toolkit&) = delete;
  Toolkit& operator=(const Toolkit&) = delete;

  // Creates a hidden window with the program icon, title and client size of `options`.
  std::unique_ptr<Window> NewWindow(const WindowOptions& options);
  // Creates a stopped timer that runs `onTick` on the UI thread at each due tick.
  std::unique_ptr<Timer> CreateTimer(std::function<void()> onTick);
  // Creates a tray icon, not yet shown, that runs `onClick` when the user acts on it.
  std::unique_ptr<TrayIcon> CreateTrayIcon(std::function<void()> onClick);
  // Shows a message box and returns the button chosen (closing it counts as Cancel for
  // OK/Cancel boxes, OK otherwise). The box is modal to every window of the program, whatever
  // its owner: none takes input or can be closed by the user until it is answered, so no
  // window goes away under a box of its own. Works before Run() too; timers keep ticking
  // meanwhile.
  MessageResult ShowMessage(const MessageBoxOptions& box);
  // Whether a message box is open now.
  bool MessageOpen() const { return openMessages_ > 0; }
  // Sets the handler run when the system asks the program to end with the session (Windows
  // logoff and shutdown); the program ends by itself once it has finished. Empty: none.
  void OnEndRequest(std::function<void()> handler) { onEndRequest_ = std::move(handler); }
  // While `reason` is not empty, asks the system to hold the session's end with this reason
  // shown (Windows: ShutdownBlockReasonCreate); empty lets it go. Other systems: nothing.
  void HoldSessionEnd(const std::string& reason) { HoldSessionEndImpl(reason); }
  // Runs the event loop (windows, timers, tray) until Quit(); returns quit's exit code.
  // Returns at once when Quit() was called before.
  int Run();
  // Makes Run() return `exitCode` once the current handler has returned. Message boxes open
  // now are closed as if cancelled, and boxes asked for later are not shown (answered so),
  // so that a box nobody answers does not hold the end up.
  void Quit(int exitCode = 0);
  // Whether Quit() was called and Run() has not yet returned.
  bool Quitting() const { return quitPending_; }
  // Runs `task` on the UI thread from the loop (a message box's loop included), after every
  // task posted before it. The one operation callable from any thread; on the UI thread it
  // too runs the task later, never at once. Tasks still waiting when the loop has ended are
  // dropped with the toolkit. Every thread that posts must be done before the toolkit goes.
  void Post(std::function<void()> task);
  // Like Post, for a task that nobody waits for: a loop that wakes regularly anyway (the
  // headless one, for its timers) runs it at its next wake instead of waking for it alone.
  // Other loops run it as soon as Post would.
  void PostUnhurried(std::function<void()> task);
  // Lets the loop sleep through its timers' ticks until the next Post or timer start, for a
  // caller that knows no timer has work before then; true when this loop does so. Loops that
  // show windows keep ticking and return false. Overdue timers tick once when the rest ends.
  // UI thread only.
  bool RestUntilPosted() { return RestImpl(); }

 protected:
  Toolkit() = default;
  // The backend reports the window's events through WindowEvents on `window`.
  virtual std::unique_ptr<WindowImpl> CreateWindowImpl(const WindowOptions& options,
                                                       Window& window) = 0;
  // The backend calls timer.Tick() at each due tick.
  virtual std::unique_ptr<TimerImpl> CreateTimerImpl(Timer& timer) = 0;
  // The backend calls icon.Click() when the user acts on the icon.
  virtual std::unique_ptr<TrayIconImpl> CreateTrayIconImpl(TrayIcon& icon) = 0;
  virtual MessageResult ShowMessageImpl(const MessageBoxOptions& box) = 0;
  // Runs the loop until QuitImpl(); called only when no quit is pending.
  virtual void RunImpl() = 0;
  virtual void QuitImpl() = 0;
  // Ends the message boxes open now, innermost first, as a cancel would; a backend whose
  // boxes end with the loop's quit anyway (Win32) does nothing.
  virtual void CloseMessagesImpl() {}
  // See HoldSessionEnd().
  virtual void HoldSessionEndImpl(const std::string&) {}
  // Backends call this when the system asks the program to end with the session.
  void EndRequested() {
    if (onEndRequest_) onEndRequest_();
  }
  // Makes the loop call RunPosted() on the UI thread soon. Called from any thread, and only
  // when no earlier wake is waiting for its RunPosted().
  virtual void WakeImpl() = 0;
  // True when the loop runs the posted tasks whenever it wakes, for a timer as well as for a
  // post: an unhurried task then waits for that wake.
  virtual bool RunsPostedAtEveryWake() const { return false; }
  // See RestUntilPosted(); a loop that cannot rest returns false.
  virtual bool RestImpl() { return false; }
  // Runs the posted tasks, oldest first, until none is left; backends call it after a wake.
  void RunPosted();
  // Whether a posted task waits to run.
  bool PostedWaiting();

 private:
  bool quitPending_ = false;
  int exitCode_ = 0;
  int openMessages_ = 0;
  std::function<void()> onEndRequest_;
  std::mutex postMutex_;
  std::deque<std::function<void()>> posted_;
  bool wakePending_ = false;
};

}  // namespace qv::ui
