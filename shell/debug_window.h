// The debug view: a large text box that collects the progress lines of printing and
// reporting while it is open.
#pragma once

#include <memory>
#include <string>

#include "ui/toolkit.h"

namespace qv::shell {

class Shell;

class DebugWindow {
 public:
  // Creates and shows the window owned by `owner`; closing it destroys it through the shell.
  DebugWindow(Shell& shell, ui::Window* owner);

  void Append(const std::string& text) { text_->AppendText(text); }
  ui::Window& Window() { return *window_; }

 private:
  std::unique_ptr<ui::Window> window_;
  ui::TextBox* text_ = nullptr;
};

}  // namespace qv::shell
