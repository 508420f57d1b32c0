#include "ui/gtk/gtk_toolkit.h"

#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

#include <string>
#include <vector>

#include "ui/gtk/desktop_notifier.h"
#include "ui/gtk/gtk_widgets.h"
#include "ui/gtk/program_icon.h"

namespace qv::ui {
namespace {

using gtk::AdoptWidget;
using gtk::GtkWindowImpl;
using gtk::WidgetPtr;

template <typename T>
struct GObjectDeleter {
  void operator()(T* object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter<T>>;

GdkPixbuf* LoadProgramIcon() {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
  if (!loader) return nullptr;
  GdkPixbuf* icon = nullptr;
  if (gdk_pixbuf_loader_write(loader, kProgramIconPng, kProgramIconPngSize, nullptr) &&
      gdk_pixbuf_loader_close(loader, nullptr)) {
    icon = gdk_pixbuf_loader_get_pixbuf(loader);
    if (icon) g_object_ref(icon);
  }
  g_object_unref(loader);
  return icon;
}

class GtkTimer : public TimerImpl {
 public:
  explicit GtkTimer(Timer& timer) : timer_(timer) {}
  ~GtkTimer() override { StopImpl(); }

  void StartImpl(int ms) override {
    StopImpl();
    source_ = g_timeout_add(static_cast<guint>(ms), OnTick, this);
  }
  void StopImpl() override {
    // Removing the source whose callback is running (a tick that stops or restarts its own
    // timer) is allowed: GLib drops it once the callback returns.
    if (source_ != 0) g_source_remove(source_);
    source_ = 0;
  }

 private:
  static gboolean OnTick(gpointer data) {
    // The tick may destroy this object: nothing touches it afterwards.
    static_cast<GtkTimer*>(data)->timer_.Tick();
    return G_SOURCE_CONTINUE;
  }
  Timer& timer_;
  guint source_ = 0;
};

// Desktops show indicators, not clickable icons: the indicator's menu item "显示" stands for
// the click. The indicator needs its image as a file, so the built-in PNG is written to the
// user's cache directory once.
class GtkTray : public TrayIconImpl {
  static constexpr const char* kTrayIconName = "quorvel-print-tray";

 public:
  explicit GtkTray(TrayIcon& icon) : icon_(icon) {}
  ~GtkTray() override {
    if (menu_) g_signal_handlers_disconnect_by_data(item_, this);
  }

  void ShowImpl(const std::string& tooltip) override {
    if (!indicator_) Create();
    app_indicator_set_title(indicator_.get(), tooltip.c_str());
    app_indicator_set_status(indicator_.get(), APP_INDICATOR_STATUS_ACTIVE);
  }
  void RemoveImpl() override {
    if (indicator_) app_indicator_set_status(indicator_.get(), APP_INDICATOR_STATUS_PASSIVE);
  }
  // Indicators have no balloons: the desktop's notification service shows the alert.
  void NotifyImpl(const std::string& title, const std::string& text, AlertSound sound) override {
    notifier_.Send(title, text, sound);
  }

 private:
  void Create() {
    std::string dir = std::string(g_get_user_cache_dir()) + "/quorvel-print";
    g_mkdir_with_parents(dir.c_str(), 0700);
    // The icon is named by its absolute file path, which status notifier hosts and the XEmbed
    // fallback both load. An icon theme path instead (app_indicator_new_with_path) makes the
    // fallback walk the theme's search path past its end on every status change, a known
    // crash of the Debian 12 library. The file name is one no file in the program's working
    // directory carries ("quorvel-print" there is the executable, which the fallback would
    // take for the image).
    std::string file = dir + "/" + kTrayIconName + ".png";
    g_file_set_contents(file.c_str(), reinterpret_cast<const char*>(kProgramIconPng),
                        static_cast<gssize>(kProgramIconPngSize), nullptr);
    indicator_.reset(app_indicator_new("quorvel-print", file.c_str(),
                                       APP_INDICATOR_CATEGORY_APPLICATION_STATUS));
    menu_ = AdoptWidget(gtk_menu_new());
    item_ = gtk_menu_item_new_with_label("显示");
    g_signal_connect(item_, "activate", G_CALLBACK(OnShow), this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_.get()), item_);
    gtk_widget_show_all(menu_.get());
    app_indicator_set_menu(indicator_.get(), GTK_MENU(menu_.get()));
    app_indicator_set_secondary_activate_target(indicator_.get(), item_);
  }

  static void OnShow(GtkWidget*, gpointer data) { static_cast<GtkTray*>(data)->icon_.Click(); }

  TrayIcon& icon_;
  GObjectPtr<AppIndicator> indicator_;
  WidgetPtr menu_;
  GtkWidget* item_ = nullptr;
  gtk::DesktopNotifier notifier_;
};

GtkMessageType MessageType(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return GTK_MESSAGE_INFO;
    case MessageIcon::Question:
      return GTK_MESSAGE_QUESTION;
    case MessageIcon::Warning:
      return GTK_MESSAGE_WARNING;
    case MessageIcon::Error:
      return GTK_MESSAGE_ERROR;
    case MessageIcon::None:
      break;
  }
  return GTK_MESSAGE_OTHER;
}

class GtkToolkit : public Toolkit {
 public:
  GtkToolkit() : loop_(g_main_loop_new(nullptr, FALSE)), icon_(LoadProgramIcon()) {
    if (icon_) gtk_window_set_default_icon(icon_.get());
    GObjectPtr<GtkCssProvider> css(gtk_css_provider_new());
    // Tabs as low as the system's tab control: the theme's taller tab strip would push the
    // lowest controls of a page laid out for it (the buttons of "设置") out of the window.
    std::string rules =
        std::string("label.") + gtk::kWindowLabelClass + " { background-color: @theme_bg_color; }" +
        " notebook > header > tabs > tab { min-height: 0; padding: 2px 10px; }" +
        // The fixed layouts were drawn for Windows' 9-point message font; the desktop's larger
        // default would widen controls over their neighbours, and the theme's minimum heights
        // would push them down. Scaled text (GDK_DPI_SCALE) scales the layout with it.
        " ." + gtk::kFixedLayoutClass + " * { font-size: 9pt; }" + " ." + gtk::kFixedLayoutClass +
        " entry, ." + gtk::kFixedLayoutClass + " button { min-height: 0; }" +
        // Noto's Mono CJK face draws a Chinese character exactly two columns wide, which text
        // laid out in columns needs; the generic monospace face (DejaVu with a CJK fallback)
        // and WenQuanYi's Mono face do not, at this size.
        " textview." + gtk::kFixedPitchClass +
        " { font-family: \"Noto Sans Mono CJK SC\", monospace; }";
    gtk_css_provider_load_from_data(css.get(), rules.c_str(), -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                              GTK_STYLE_PROVIDER(css.get()),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  }
  ~GtkToolkit() override {
    // A wake whose callback never ran must not reach the toolkit once it is gone.
    while (g_source_remove_by_user_data(this)) {
    }
    g_main_loop_unref(loop_);
  }

 protected:
  std::unique_ptr<WindowImpl> CreateWindowImpl(const WindowOptions& options,
                                               Window& window) override {
    return std::make_unique<GtkWindowImpl>(options, window, icon_.get());
  }
  std::unique_ptr<TimerImpl> CreateTimerImpl(Timer& timer) override {
    return std::make_unique<GtkTimer>(timer);
  }
  std::unique_ptr<TrayIconImpl> CreateTrayIconImpl(TrayIcon& icon) override {
    return std::make_unique<GtkTray>(icon);
  }

  MessageResult ShowMessageImpl(const MessageBoxOptions& box) override {
    GtkWindow* parent = nullptr;
    if (box.owner) parent = dynamic_cast<GtkWindowImpl&>(box.owner->WindowBackend()).Toplevel();
    bool okCancel = box.buttons == MessageButtons::OkCancel;
    // Desktops draw no title bar on message dialogs (and Xvfb draws none at all): the caption
    // ("错误", "提示"...) becomes the dialog's headline so that it is always seen.
    const std::string& headline = box.caption.empty() ? box.text : box.caption;
    // A modal dialog holds the grab of its window group, which is every window of ours (none
    // has a group of its own): the others take no input, and GTK drops the window manager's
    // close requests for them, until the box is answered.
    WidgetPtr dialog = AdoptWidget(gtk_message_dialog_new(
        parent, GTK_DIALOG_MODAL, MessageType(box.icon),
        okCancel ? GTK_BUTTONS_OK_CANCEL : GTK_BUTTONS_OK, "%s", headline.c_str()));
    if (!box.caption.empty()) {
      gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog.get()), "%s",
                                               box.text.c_str());
    }
    gtk_window_set_title(GTK_WINDOW(dialog.get()), box.caption.c_str());
    // Enter answers OK, as it does in a Windows message box.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog.get()), GTK_RESPONSE_OK);
    if (!parent) gtk_window_set_position(GTK_WINDOW(dialog.get()), GTK_WIN_POS_CENTER);
    openDialogs_.push_back(GTK_DIALOG(dialog.get()));
    gint response = gtk_dialog_run(GTK_DIALOG(dialog.get()));
    openDialogs_.pop_back();
    if (!okCancel) return MessageResult::Ok;
    return response == GTK_RESPONSE_OK ? MessageResult::Ok : MessageResult::Cancel;
  }

  void RunImpl() override { g_main_loop_run(loop_); }
  void QuitImpl() override { g_main_loop_quit(loop_); }
  // gtk_dialog_run keeps a loop of its own, which the main loop's quit does not end: each box
  // gets the answer a closed box gives, and its run returns.
  void CloseMessagesImpl() override {
    for (auto it = openDialogs_.rbegin(); it != openDialogs_.rend(); ++it) {
      gtk_dialog_response(*it, GTK_RESPONSE_DELETE_EVENT);
    }
  }
  // An idle source may be added from any thread; it wakes the default context, which every
  // loop of ours runs (a message dialog's included), at the priority of timers and input.
  void WakeImpl() override { g_idle_add_full(G_PRIORITY_DEFAULT, OnWake, this, nullptr); }

 private:
  static gboolean OnWake(gpointer data) {
    static_cast<GtkToolkit*>(data)->RunPosted();
    return G_SOURCE_REMOVE;
  }

  GMainLoop* loop_;
  GObjectPtr<GdkPixbuf> icon_;
  std::vector<GtkDialog*> openDialogs_;  // the boxes running now, outermost first
};

}  // namespace

std::unique_ptr<Toolkit> CreateGtkToolkit() {
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  return std::make_unique<GtkToolkit>();
}

}  // namespace qv::ui
