// What a toolkit backend implements. Only backends (ui/gtk, ui/win32, ui/headless and the
// tests' fake toolkit) include this header; the shell sees ui/toolkit.h alone.
//
// The public types of ui/toolkit.h keep the shared state (bounds, visibility, item values,
// addresses) and call these operations only with checked arguments; events go back through
// ControlEvents and WindowEvents, or Timer::Tick() and TrayIcon::Click().
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ui/toolkit.h"

namespace qv::ui {

enum class ControlKind : int {
  Label,
  Button,
  EditBox,
  CheckBox,
  DropDownList,
  TextBox,
  WebBrowser,
  TabPage
};

// Name of a control kind, for logs and the fake toolkit's records.
const char* ControlKindName(ControlKind kind);

// One native control. Operations that do not apply to a kind are never called for it.
class ControlImpl {
 public:
  virtual ~ControlImpl() = default;
  // Moves and sizes the control within its parent. The bounds are design pixels (96 DPI):
  // the backend scales them, and the font, to the DPI its window is drawn at.
  virtual void SetBoundsImpl(const Rect& bounds) = 0;
  // Shows or hides the control.
  virtual void SetVisibleImpl(bool visible) = 0;
  // Caption or text of a label, button, edit box, check box or text box.
  virtual void SetTextImpl(const std::string& text) = 0;
  // The caption or the text as the user left it.
  virtual std::string TextImpl() const = 0;
  // Where a label's text lies within its bounds.
  virtual void SetAlignmentImpl(TextAlign) {}
  // Check mark of a check box; must not report a click.
  virtual void SetCheckedImpl(bool) {}
  virtual bool CheckedImpl() const { return false; }
  // Appends an item to a drop-down list.
  virtual void AddItemImpl(const std::string&) {}
  // Removes every item of a drop-down list (nothing selected afterwards); no change reported.
  virtual void ClearItemsImpl() {}
  // Selects the item at this valid index of a drop-down list; must not report a change.
  virtual void SelectImpl(int) {}
  // The selected index of a drop-down list, -1 when none.
  virtual int SelectedImpl() const { return -1; }
  // Appends text to a text box and scrolls to its end.
  virtual void AppendTextImpl(const std::string&) {}
  // A text box's font becomes fixed-pitch (CJK two columns) and its lines stop wrapping.
  virtual void SetFixedPitchImpl() {}
  // Starts loading a non-empty address in a web browser.
  virtual void NavigateImpl(const std::string&) {}
  // The page of a tab page, where its controls go; nullptr for other kinds.
  virtual ContainerImpl* AsContainer() { return nullptr; }
};

// Where controls are created: a window's client area or a tab page.
class ContainerImpl {
 public:
  virtual ~ContainerImpl() = default;
  // Creates the native control of `kind` with its first text and bounds; it reports its
  // events on `control`.
  virtual std::unique_ptr<ControlImpl> CreateControlImpl(ControlKind kind, const std::string& text,
                                                         const Rect& bounds, Control& control) = 0;
};

// One native window. Its close button must not close it: it calls Window::RequestClose().
class WindowImpl : public ContainerImpl {
 public:
  virtual void SetTitleImpl(const std::string& title) = 0;
  virtual void SetVisibleImpl(bool visible) = 0;
  // Client size in design pixels; the backend scales it like the controls' bounds.
  virtual void SetClientSizeImpl(int width, int height) = 0;
  virtual Size ClientSizeImpl() const = 0;
  // Moves the outer frame's top left corner to this screen position (device pixels).
  virtual void SetPositionImpl(int left, int top) = 0;
  // The outer frame on the screen, in device pixels.
  virtual Rect FrameBoundsImpl() const = 0;
  // The work area (screen less taskbar or panels) of the monitor nearest this screen point.
  virtual Rect WorkAreaImpl(int left, int top) const = 0;
  virtual void BringToFrontImpl() = 0;
  virtual void AddTitleBarActionImpl(int code, const std::string& caption) = 0;
};

// Where a window first appears: its outer frame, and whether it is shown maximised.
struct Placement {
  Rect frame;
  bool maximised = false;
  bool operator==(const Placement&) const = default;
};

struct Point {
  int x = 0;
  int y = 0;
};

// The first placement of a window whose outer frame has size `frame` on a monitor whose work
// area (the screen less the taskbar or panels) is `workArea`: centred in it, or at `wanted`
// (a window placed beside another) moved the least distance that keeps it wholly inside. A
// frame larger than the work area must still show its title bar and stay reachable: a
// resizable window fills the work area, maximised; a fixed one starts at the work area's
// edge on each axis where it does not fit.
Placement FirstPlacement(Size frame, const Rect& workArea, Resizable resizable,
                         std::optional<Point> wanted = std::nullopt);

// Design pixels (96 DPI) to device pixels at `scale` (device pixels per design pixel). A
// rectangle's edges are scaled, so controls that touch in the design still touch.
int ToDevice(int design, double scale);
Rect ToDevice(const Rect& design, double scale);
// Device pixels back to design pixels, rounded up so that scaling back covers them.
int ToDesign(int device, double scale);

// A native repeating timer.
class TimerImpl {
 public:
  virtual ~TimerImpl() = default;
  // Starts or restarts with a positive interval in ms.
  virtual void StartImpl(int ms) = 0;
  // Stops; no tick is reported afterwards.
  virtual void StopImpl() = 0;
};

// A native notification-area icon.
class TrayIconImpl {
 public:
  virtual ~TrayIconImpl() = default;
  // Puts the program icon up, or updates its tooltip.
  virtual void ShowImpl(const std::string& tooltip) = 0;
  // Takes the icon down.
  virtual void RemoveImpl() = 0;
  // Hands a notification with a non-empty text to the desktop without waiting for it.
  virtual void NotifyImpl(const std::string& title, const std::string& text, AlertSound sound) = 0;
};

// How backends report control events.
class ControlEvents {
 public:
  // A button was clicked, or a check box toggled by the user (its new state is already set).
  static void Clicked(Control& control) { control.ClickedEvent(); }
  // The user picked another item of a drop-down list.
  static void SelectionChanged(Control& control) { control.SelectionChangedEvent(); }
  // A web browser's page title changed.
  static void TitleChanged(Control& control, const std::string& title) {
    control.TitleChangedEvent(title);
  }
  // A web browser's backend chose the engine that shows its pages (once, from the loop).
  static void EngineChosen(Control& control, const std::string& engine) {
    control.EngineChosenEvent(engine);
  }
};

// How backends report window events; the close button calls Window::RequestClose().
class WindowEvents {
 public:
  static void RightClick(Window& window) { window.RightClickEvent(); }
  static void Resized(Window& window) { window.ResizedEvent(); }
  // The window is now drawn at another DPI: every control is given its bounds again, so that
  // the backend scales them (and their font) anew.
  static void ScaleChanged(Window& window) { window.RescaleControls(); }
  static void TitleBarAction(Window& window, int code) { window.TitleBarActionEvent(code); }
};

}  // namespace qv::ui
