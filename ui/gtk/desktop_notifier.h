// Notifications through the desktop's notification service (org.freedesktop.Notifications on
// the session bus), as every Linux desktop and stand-alone daemons such as dunst offer it.
// GIO's asynchronous calls only: the UI thread never waits for the bus or the service.
#pragma once

#include <gio/gio.h>

#include <string>
#include <vector>

#include "ui/toolkit.h"

namespace qv::ui::gtk {

// Thread: the GTK main thread only.
class DesktopNotifier {
 public:
  DesktopNotifier();
  ~DesktopNotifier();
  DesktopNotifier(const DesktopNotifier&) = delete;
  DesktopNotifier& operator=(const DesktopNotifier&) = delete;

  // Hands the notification to the service; sent once the session bus is reached, dropped
  // when there is none or no service answers.
  void Send(const std::string& title, const std::string& text, AlertSound sound);

 private:
  struct Note {
    std::string title, text;
    AlertSound sound;
  };
  static void OnBus(GObject* source, GAsyncResult* result, gpointer data);
  void Call(const Note& note);

  GCancellable* cancel_;  // cancelled with this object, so no callback reaches it afterwards
  GDBusConnection* bus_ = nullptr;
  bool connecting_ = false;
  std::vector<Note> waiting_;  // sent once the bus is reached
};

}  // namespace qv::ui::gtk
