#include "ui/gtk/desktop_notifier.h"

namespace qv::ui::gtk {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kAppName = "Quorvel打印服务端";

}  // namespace

DesktopNotifier::DesktopNotifier() : cancel_(g_cancellable_new()) {}

DesktopNotifier::~DesktopNotifier() {
  g_cancellable_cancel(cancel_);
  g_object_unref(cancel_);
  if (bus_) g_object_unref(bus_);
}

void DesktopNotifier::Send(const std::string& title, const std::string& text, AlertSound sound) {
  Note note{title, text, sound};
  if (bus_) {
    Call(note);
    return;
  }
  waiting_.push_back(std::move(note));
  if (connecting_) return;
  connecting_ = true;
  g_bus_get(G_BUS_TYPE_SESSION, cancel_, OnBus, this);
}

void DesktopNotifier::OnBus(GObject*, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_finish(result, &error);
  if (!bus) {
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    g_error_free(error);
    // Cancelled means the notifier is gone: `data` must not be touched. (An operation whose
    // cancellable was cancelled always ends this way, so a bus never reaches a dead notifier.)
    if (cancelled) return;
    auto* self = static_cast<DesktopNotifier*>(data);
    // No session bus: nobody to tell. A later alert tries again (the bus may come up).
    self->connecting_ = false;
    self->waiting_.clear();
    return;
  }
  auto* self = static_cast<DesktopNotifier*>(data);
  self->bus_ = bus;
  self->connecting_ = false;
  for (const Note& note : self->waiting_) self->Call(note);
  self->waiting_.clear();
}

void DesktopNotifier::Call(const Note& note) {
  GVariantBuilder hints;
  g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&hints, "{sv}", "urgency", g_variant_new_byte(1));
  if (note.sound == AlertSound::On) {
    g_variant_builder_add(&hints, "{sv}", "sound-name",
                          g_variant_new_string("message-new-instant"));
  } else {
    g_variant_builder_add(&hints, "{sv}", "suppress-sound", g_variant_new_boolean(TRUE));
  }
  // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout);
  // -1 lets the service decide how long it stays. The answer (the notification's id) is not
  // needed, so no callback waits for it.
  g_dbus_connection_call(bus_, kService, kPath, kService, "Notify",
                         g_variant_new("(susssasa{sv}i)", kAppName, 0u, "dialog-warning",
                                       note.title.c_str(), note.text.c_str(), nullptr, &hints, -1),
                         G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, cancel_, nullptr,
                         nullptr);
}

}  // namespace qv::ui::gtk
