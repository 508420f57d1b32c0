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

  void setBoundsImpl(const Rect& r) override { bounds = r; }
  void setVisibleImpl(bool v) override { visible = v; }
  void setTextImpl(const std::string& t) override { text = t; }
  std::string textImpl() const override { return text; }
  void setAlignmentImpl(TextAlign a) override { align = a; }
  void setCheckedImpl(bool c) override { checked = c; }
  bool checkedImpl() const override { return checked; }
  void addItemImpl(const std::string& item) override { items.push_back(item); }
  void selectImpl(int index) override { selected = index; }
  int selectedImpl() const override { return selected; }
  void appendTextImpl(const std::string& t) override { text += t; }
  void navigateImpl(const std::string& url) override { text = url; }
  ContainerImpl* asContainer() override { return kind == ControlKind::TabPage ? this : nullptr; }
  std::unique_ptr<ControlImpl> createControlImpl(ControlKind k, const std::string& t, const Rect& r,
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

  std::unique_ptr<ControlImpl> createControlImpl(ControlKind k, const std::string& t, const Rect& r,
                                                 Control& c) override {
    return std::make_unique<MemoryControl>(k, t, r, c);
  }
  void setTitleImpl(const std::string& t) override { title = t; }
  void setVisibleImpl(bool v) override { visible = v; }
  void setClientSizeImpl(int w, int h) override { clientSize = {w, h}; }
  Size clientSizeImpl() const override { return clientSize; }
  void setPositionImpl(int l, int t) override {
    left = l;
    top = t;
  }
  Rect frameBoundsImpl() const override { return {left, top, clientSize.width, clientSize.height}; }
  void bringToFrontImpl() override {}
  void addTitleBarActionImpl(int code, const std::string&) override { actions.push_back(code); }

  std::string title;
  Size clientSize;
  int left = 0;
  int top = 0;
  Window& window;
  bool visible = false;
  std::vector<int> actions;
};

}  // namespace qv::ui
