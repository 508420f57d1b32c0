// Where the staff enter the cloud server and the store ID and set the printing and start
// options. Options are written at once; server and store ID only after the cloud accepted
// a printer list report for them.
#pragma once

#include <memory>

#include "shell/store_config_save.h"
#include "ui/toolkit.h"

namespace qv::shell {

class Shell;

class StoreConfigWindow {
 public:
  // Creates, fills and shows the window owned by `owner`.
  StoreConfigWindow(Shell& shell, ui::Window* owner);

  ui::Window& Window() { return *window_; }
  // The save button's action. The server check runs off the UI thread; while it is out a
  // second click does nothing, and its answer finishes the save (and, when the window is
  // still there, tells the outcome).
  void Save();

 private:
  void Fill();
  StoreConfigForm ReadForm() const;
  void ShowForm(const StoreConfigForm& form);
  void OnAutostartClicked();
  void OnAutoRunClicked();
  void OnStatusClicked();
  void Tell(const SaveMessage& message);

  Shell& shell_;
  std::unique_ptr<ui::Window> window_;
  ui::EditBox* server_ = nullptr;
  ui::EditBox* storeId_ = nullptr;
  ui::EditBox* feed_ = nullptr;
  ui::CheckBox* cut_ = nullptr;
  ui::DropDownList* usb_ = nullptr;
  ui::CheckBox* autostart_ = nullptr;
  ui::CheckBox* autoRun_ = nullptr;
  bool checking_ = false;
};

}  // namespace qv::shell
