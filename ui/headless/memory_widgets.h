// Windows and controls that exist only in memory: they keep what the shell sets so that the
// shell's logic (which reads captions back) runs unchanged without a screen. Used by the
// headless backend and by the tests' fake toolkit.
#pragma once

#include <string>
#include <vector>

#include "ui/backend.h"

namespace qv::ui {

class MemoryControl : public ControlImpl, public ContainerImpl {
 public:
  MemoryControl(ControlKind kind, std::string text, const Rect& bounds, Control& control)
      : kind(kind), text(std::move(text)), bounds(bounds), control(control) {}

  void SetBoundsImpl(const Rect& r) override { bounds = r; }
  void SetVisibleImpl(bool v) override { visible = v; }
  void SetTextImpl(const std::string& t) override { text = t; }
  std::string TextImpl() const override { return text; }
  void SetAlignmentImpl(TextAlign a) override { align = a; }
  void SetCheckedImpl(bool c) override { checked = c; }
  bool CheckedImpl() const override { return checked; }
  void AddItemImpl(const std::string& item) override { items.push_back(item); }
  void ClearItemsImpl() override {
    items.clear();
    selected = -1;
  }
  void SelectImpl(int index) override { selected = index; }
  int SelectedImpl() const override { return selected; }
  void AppendTextImpl(const std::string& t) override { text += t; }
  void NavigateImpl(const std::string& url) override { text = url; }
  ContainerImpl* AsContainer() override { return kind == ControlKind::TabPage ? this : nullptr; }
  std::unique_ptr<ControlImpl> CreateControlImpl(ControlKind k, const std::string& t, const Rect& r,
                                                 Control& c) override {
    return std::make_unique<MemoryControl>(k, t, r, c);
  }

  ControlKind kind;
  std::string text;  // caption, text, or a browser's address
  Rect bounds;
  Control& control;
  bool visible = true;
  TextAlign align = TextAlign::Left;
  bool checked = false;
  std::vector<std::string> items;
  int selected = -1;
};

class MemoryWindow : public WindowImpl {
 public:
  MemoryWindow(const WindowOptions& options, Window& window)
      : title(options.title),
        clientSize{options.clientWidth, options.clientHeight},
        window(window) {}

  std::unique_ptr<ControlImpl> CreateControlImpl(ControlKind k, const std::string& t, const Rect& r,
                                                 Control& c) override {
    return std::make_unique<MemoryControl>(k, t, r, c);
  }
  void SetTitleImpl(const std::string& t) override { title = t; }
  void SetVisibleImpl(bool v) override {
    if (v && !visible) Raise();
    visible = v;
  }
  void SetClientSizeImpl(int w, int h) override { clientSize = {w, h}; }
  Size ClientSizeImpl() const override { return clientSize; }
  void SetPositionImpl(int l, int t) override {
    left = l;
    top = t;
  }
  Rect FrameBoundsImpl() const override { return {left, top, clientSize.width, clientSize.height}; }
  Rect WorkAreaImpl(int, int) const override { return workArea; }
  void BringToFrontImpl() override { Raise(); }
  void AddTitleBarActionImpl(int code, const std::string&) override { actions.push_back(code); }

  std::string title;
  Size clientSize;
  int left = 0;
  int top = 0;
  // A full HD screen without panels, unless a test gives another.
  Rect workArea{0, 0, 1920, 1080};
  Window& window;
  bool visible = false;
  std::vector<int> actions;
  // Place in the stacking order: a window shown or brought to the front later has a higher
  // number, as a window system puts it above the others.
  long stackedAt = 0;

 private:
  void Raise() {
    static long lastRaised = 0;
    stackedAt = ++lastRaised;
  }
};

}  // namespace qv::ui
