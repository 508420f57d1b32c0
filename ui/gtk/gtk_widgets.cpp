#include "ui/gtk/gtk_widgets.h"

#include <webkit2/webkit2.h>

namespace qv::ui::gtk {

void WidgetDeleter::operator()(GtkWidget* widget) const {
  gtk_widget_destroy(widget);
  g_object_unref(widget);
}

WidgetPtr AdoptWidget(GtkWidget* widget) {
  return WidgetPtr(GTK_WIDGET(g_object_ref_sink(widget)));
}

double LayoutScale() {
  const double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
  return dpi > 0 ? dpi / 96.0 : 1.0;
}

namespace {

// One control: `outer_` is what sits in the parent's GtkFixed (moved, sized, shown);
// `inner_` is the widget that carries the text (they differ for the scrolled text box and
// the tab control).
class GtkControl : public ControlImpl {
 public:
  GtkControl(GtkFixed* parent, GtkWidget* outer, GtkWidget* inner, ControlKind kind,
             Control& control)
      : parent_(parent),
        outer_(AdoptWidget(outer)),
        inner_(inner),
        kind_(kind),
        control_(control) {}

  ~GtkControl() override {
    // No signal may reach this object while the widget is being torn down.
    g_signal_handlers_disconnect_by_data(inner_, this);
  }

  void Place(const Rect& bounds) {
    const Rect px = ToDevice(bounds, LayoutScale());
    gtk_fixed_put(parent_, outer_.get(), px.left, px.top);
    SetBoundsImpl(bounds);
    gtk_widget_show(inner_);
    gtk_widget_show(outer_.get());
  }

  void SetBoundsImpl(const Rect& r) override {
    const Rect px = ToDevice(r, LayoutScale());
    gtk_fixed_move(parent_, outer_.get(), px.left, px.top);
    gtk_widget_set_size_request(outer_.get(), px.width, px.height);
  }

  void SetVisibleImpl(bool visible) override {
    if (!visible) {
      gtk_widget_hide(outer_.get());
      return;
    }
    if (gtk_widget_get_visible(outer_.get())) return;
    // GtkFixed draws its children in the order they were put: putting the control back
    // last raises it above its siblings (outer_ keeps it alive meanwhile).
    int left = 0, top = 0;
    gtk_container_child_get(GTK_CONTAINER(parent_), outer_.get(), "x", &left, "y", &top, nullptr);
    gtk_container_remove(GTK_CONTAINER(parent_), outer_.get());
    gtk_fixed_put(parent_, outer_.get(), left, top);
    gtk_widget_show(outer_.get());
  }

  void SetTextImpl(const std::string& text) override {
    switch (kind_) {
      case ControlKind::Label:
        gtk_label_set_text(GTK_LABEL(inner_), text.c_str());
        break;
      case ControlKind::Button:
      case ControlKind::CheckBox:
        gtk_button_set_label(GTK_BUTTON(inner_), text.c_str());
        break;
      case ControlKind::EditBox:
        gtk_entry_set_text(GTK_ENTRY(inner_), text.c_str());
        break;
      case ControlKind::TextBox:
        gtk_text_buffer_set_text(Buffer(), text.c_str(), static_cast<gint>(text.size()));
        break;
      default:
        break;
    }
  }

  std::string TextImpl() const override {
    const char* text = nullptr;
    switch (kind_) {
      case ControlKind::Label:
        text = gtk_label_get_text(GTK_LABEL(inner_));
        break;
      case ControlKind::Button:
      case ControlKind::CheckBox:
        text = gtk_button_get_label(GTK_BUTTON(inner_));
        break;
      case ControlKind::EditBox:
        text = gtk_entry_get_text(GTK_ENTRY(inner_));
        break;
      case ControlKind::TextBox: {
        GtkTextIter start, end;
        gtk_text_buffer_get_bounds(Buffer(), &start, &end);
        char* all = gtk_text_buffer_get_text(Buffer(), &start, &end, FALSE);
        std::string result = all ? all : "";
        g_free(all);
        return result;
      }
      default:
        break;
    }
    return text ? text : "";
  }

  void SetAlignmentImpl(TextAlign align) override {
    float x = 0.0f;
    if (align == TextAlign::Center) x = 0.5f;
    if (align == TextAlign::Right) x = 1.0f;
    gtk_label_set_xalign(GTK_LABEL(inner_), x);
  }

  void SetCheckedImpl(bool checked) override {
    quiet_ = true;
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(inner_), checked);
    quiet_ = false;
  }
  bool CheckedImpl() const override {
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(inner_));
  }

  void AddItemImpl(const std::string& item) override {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(inner_), item.c_str());
  }
  void SelectImpl(int index) override {
    quiet_ = true;
    gtk_combo_box_set_active(GTK_COMBO_BOX(inner_), index);
    quiet_ = false;
  }
  void ClearItemsImpl() override {
    // Removing the active item reports a change, which is ours, not the user's.
    quiet_ = true;
    gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(inner_));
    quiet_ = false;
  }
  int SelectedImpl() const override { return gtk_combo_box_get_active(GTK_COMBO_BOX(inner_)); }

  void SetFixedPitchImpl() override {
    if (kind_ != ControlKind::TextBox) return;
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(inner_), GTK_WRAP_NONE);
    gtk_style_context_add_class(gtk_widget_get_style_context(inner_), kFixedPitchClass);
  }

  void AppendTextImpl(const std::string& text) override {
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(Buffer(), &end);
    gtk_text_buffer_insert(Buffer(), &end, text.c_str(), static_cast<gint>(text.size()));
    // Keep the newest lines in view, as a log view should.
    gtk_text_buffer_get_end_iter(Buffer(), &end);
    GtkTextMark* mark = gtk_text_buffer_create_mark(Buffer(), nullptr, &end, FALSE);
    gtk_text_view_scroll_mark_onscreen(GTK_TEXT_VIEW(inner_), mark);
    gtk_text_buffer_delete_mark(Buffer(), mark);
  }

  void NavigateImpl(const std::string& url) override {
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(inner_), url.c_str());
  }

  void ConnectEvents() {
    switch (kind_) {
      case ControlKind::Button:
        g_signal_connect(inner_, "clicked", G_CALLBACK(OnClicked), this);
        break;
      case ControlKind::CheckBox:
        g_signal_connect(inner_, "toggled", G_CALLBACK(OnClicked), this);
        break;
      case ControlKind::DropDownList:
        g_signal_connect(inner_, "changed", G_CALLBACK(OnChanged), this);
        break;
      case ControlKind::WebBrowser:
        g_signal_connect(inner_, "notify::title", G_CALLBACK(OnTitle), this);
        break;
      default:
        break;
    }
  }

 protected:
  GtkFixed* parent_;
  WidgetPtr outer_;
  GtkWidget* inner_;

 private:
  GtkTextBuffer* Buffer() const { return gtk_text_view_get_buffer(GTK_TEXT_VIEW(inner_)); }

  static void OnClicked(GtkWidget*, gpointer data) {
    auto* self = static_cast<GtkControl*>(data);
    if (!self->quiet_) ControlEvents::Clicked(self->control_);
  }
  static void OnChanged(GtkWidget*, gpointer data) {
    auto* self = static_cast<GtkControl*>(data);
    if (!self->quiet_) ControlEvents::SelectionChanged(self->control_);
  }
  static void OnTitle(GObject* view, GParamSpec*, gpointer data) {
    auto* self = static_cast<GtkControl*>(data);
    const char* title = webkit_web_view_get_title(WEBKIT_WEB_VIEW(view));
    ControlEvents::TitleChanged(self->control_, title ? title : "");
  }

  ControlKind kind_;
  Control& control_;
  bool quiet_ = false;  // set while we change state ourselves: no user event
};

// A tab control with one page; the page's GtkFixed takes the page's controls.
class GtkTabPage : public GtkControl, public ContainerImpl {
 public:
  GtkTabPage(GtkFixed* parent, GtkWidget* notebook, GtkWidget* page, Control& control)
      : GtkControl(parent, notebook, notebook, ControlKind::TabPage, control), page_(page) {}

  ContainerImpl* AsContainer() override { return this; }
  std::unique_ptr<ControlImpl> CreateControlImpl(ControlKind kind, const std::string& text,
                                                 const Rect& bounds, Control& control) override {
    return CreateGtkControl(GTK_FIXED(page_), Surface::TabPage, kind, text, bounds, control);
  }

 private:
  GtkWidget* page_;
};

GtkWidget* NewTextView() {
  GtkWidget* view = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
  gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view), FALSE);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD_CHAR);
  return view;
}

}  // namespace

std::unique_ptr<ControlImpl> CreateGtkControl(GtkFixed* fixed, Surface surface, ControlKind kind,
                                              const std::string& text, const Rect& bounds,
                                              Control& control) {
  std::unique_ptr<GtkControl> made;
  switch (kind) {
    case ControlKind::Label: {
      GtkWidget* label = gtk_label_new(text.c_str());
      gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
      if (surface == Surface::Window) {
        gtk_style_context_add_class(gtk_widget_get_style_context(label), kWindowLabelClass);
      }
      made = std::make_unique<GtkControl>(fixed, label, label, kind, control);
      break;
    }
    case ControlKind::Button: {
      GtkWidget* button = gtk_button_new_with_label(text.c_str());
      made = std::make_unique<GtkControl>(fixed, button, button, kind, control);
      break;
    }
    case ControlKind::EditBox: {
      GtkWidget* entry = gtk_entry_new();
      gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);  // the design width decides, not the font
      gtk_entry_set_text(GTK_ENTRY(entry), text.c_str());
      made = std::make_unique<GtkControl>(fixed, entry, entry, kind, control);
      break;
    }
    case ControlKind::CheckBox: {
      GtkWidget* box = gtk_check_button_new_with_label(text.c_str());
      made = std::make_unique<GtkControl>(fixed, box, box, kind, control);
      break;
    }
    case ControlKind::DropDownList: {
      GtkWidget* combo = gtk_combo_box_text_new();
      made = std::make_unique<GtkControl>(fixed, combo, combo, kind, control);
      break;
    }
    case ControlKind::TextBox: {
      GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
      GtkWidget* view = NewTextView();
      gtk_container_add(GTK_CONTAINER(scroller), view);
      made = std::make_unique<GtkControl>(fixed, scroller, view, kind, control);
      break;
    }
    case ControlKind::WebBrowser: {
      GtkWidget* view = webkit_web_view_new();
      made = std::make_unique<GtkControl>(fixed, view, view, kind, control);
      break;
    }
    case ControlKind::TabPage: {
      GtkWidget* notebook = gtk_notebook_new();
      GtkWidget* page = gtk_fixed_new();
      gtk_style_context_add_class(gtk_widget_get_style_context(page), kFixedLayoutClass);
      gtk_notebook_append_page(GTK_NOTEBOOK(notebook), page, gtk_label_new(text.c_str()));
      gtk_widget_show(page);
      made = std::make_unique<GtkTabPage>(fixed, notebook, page, control);
      break;
    }
  }
  made->Place(bounds);
  made->ConnectEvents();
  return made;
}

// --- Window ----------------------------------------------------------------------------------

GtkWindowImpl::GtkWindowImpl(const WindowOptions& options, Window& window, GdkPixbuf* icon)
    : window_events_(window),
      window_(AdoptWidget(gtk_window_new(GTK_WINDOW_TOPLEVEL))),
      resizable_(options.resizable == Resizable::Yes),
      requested_{options.clientWidth, options.clientHeight} {
  GtkWindow* w = Toplevel();
  gtk_window_set_title(w, options.title.c_str());
  if (icon) gtk_window_set_icon(w, icon);
  if (options.owner) {
    owner_ = dynamic_cast<GtkWindowImpl&>(options.owner->WindowBackend()).Toplevel();
    gtk_window_set_transient_for(w, owner_);
    gtk_window_set_skip_taskbar_hint(w, TRUE);
  }
  gtk_window_set_position(w, GTK_WIN_POS_CENTER);

  // Client area: an event box (right clicks) around a scrolled window whose external
  // policy lets the window shrink below its children, around the GtkFixed of the controls.
  events_ = gtk_event_box_new();
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_EXTERNAL,
                                 GTK_POLICY_EXTERNAL);
  fixed_ = gtk_fixed_new();
  gtk_style_context_add_class(gtk_widget_get_style_context(fixed_), kFixedLayoutClass);
  gtk_container_add(GTK_CONTAINER(scroller), fixed_);
  // The controls keep their design positions whatever the window's size: a window narrower
  // than its controls cuts off their right end rather than scrolling them all to the left to
  // bring a focused control (the cashier window's test button) into view.
  GtkWidget* viewport = gtk_bin_get_child(GTK_BIN(scroller));
  gtk_container_set_focus_hadjustment(GTK_CONTAINER(viewport), nullptr);
  gtk_container_set_focus_vadjustment(GTK_CONTAINER(viewport), nullptr);
  gtk_container_add(GTK_CONTAINER(events_), scroller);
  gtk_container_add(GTK_CONTAINER(w), events_);
  gtk_widget_show_all(events_);

  gtk_window_set_resizable(w, resizable_);
  SetClientSizeImpl(options.clientWidth, options.clientHeight);

  g_signal_connect(w, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(events_, "button-press-event", G_CALLBACK(OnButtonPress), this);
  g_signal_connect(events_, "size-allocate", G_CALLBACK(OnSizeAllocate), this);
}

GtkWindowImpl::~GtkWindowImpl() {
  g_signal_handlers_disconnect_by_data(window_.get(), this);
  g_signal_handlers_disconnect_by_data(events_, this);
  if (header_) g_signal_handlers_disconnect_by_data(header_, this);
}

std::unique_ptr<ControlImpl> GtkWindowImpl::CreateControlImpl(ControlKind kind,
                                                              const std::string& text,
                                                              const Rect& bounds,
                                                              Control& control) {
  return CreateGtkControl(GTK_FIXED(fixed_), Surface::Window, kind, text, bounds, control);
}

void GtkWindowImpl::SetTitleImpl(const std::string& title) {
  gtk_window_set_title(Toplevel(), title.c_str());
}

void GtkWindowImpl::SetVisibleImpl(bool visible) {
  if (visible) {
    if (!placed_) PlaceFirst();
    gtk_window_present(Toplevel());
  } else {
    gtk_widget_hide(window_.get());
  }
}

void GtkWindowImpl::SetClientSizeImpl(int designWidth, int designHeight) {
  requested_ = {designWidth, designHeight};
  const int width = ToDevice(designWidth, LayoutScale());
  const int height = ToDevice(designHeight, LayoutScale());
  if (resizable_) {
    // A resizable window may later shrink: only the present size is set.
    gtk_window_resize(Toplevel(), width > 0 ? width : 1, height > 0 ? height : 1);
  } else {
    gtk_widget_set_size_request(events_, width, height);
  }
}

Size GtkWindowImpl::ClientSizeImpl() const {
  // Until the window has been laid out, the size asked for is the size it will get.
  if (!gtk_widget_get_realized(events_) || allocated_.width <= 1) return requested_;
  return {ToDesign(allocated_.width, LayoutScale()), ToDesign(allocated_.height, LayoutScale())};
}

void GtkWindowImpl::SetPositionImpl(int left, int top) {
  placed_ = true;  // the caller's place, not ours
  gtk_window_move(Toplevel(), left, top);
}

Rect GtkWindowImpl::WorkAreaImpl(int left, int top) const {
  GdkDisplay* display = gtk_widget_get_display(window_.get());
  GdkMonitor* monitor = gdk_display_get_monitor_at_point(display, left, top);
  if (!monitor) return {left, top, 1 << 20, 1 << 20};
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);
  return {area.x, area.y, area.width, area.height};
}

void GtkWindowImpl::PlaceFirst() {
  placed_ = true;
  GdkDisplay* display = gtk_widget_get_display(window_.get());
  GdkMonitor* monitor = nullptr;
  if (owner_ && gtk_widget_get_realized(GTK_WIDGET(owner_))) {
    monitor = gdk_display_get_monitor_at_window(display, gtk_widget_get_window(GTK_WIDGET(owner_)));
  }
  if (!monitor) monitor = gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return;
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);
  // Before the first show this is the size the window will ask for, header bar included.
  int width = 0, height = 0;
  gtk_window_get_size(Toplevel(), &width, &height);
  const Placement place = FirstPlacement({width, height}, {area.x, area.y, area.width, area.height},
                                         resizable_ ? Resizable::Yes : Resizable::No);
  // A window that fits is centred by GTK itself (GTK_WIN_POS_CENTER does what FirstPlacement
  // says). One that does not is given the work area and maximised: a window manager honours
  // the maximised state; without one the size keeps it on the screen all the same.
  if (!place.maximised) return;
  // The size given to gtk_window_resize leaves out the header bar.
  int header = 0;
  if (header_) gtk_widget_get_preferred_height(header_, nullptr, &header);
  gtk_window_set_position(Toplevel(), GTK_WIN_POS_NONE);
  gtk_window_move(Toplevel(), place.frame.left, place.frame.top);
  gtk_window_resize(Toplevel(), place.frame.width, place.frame.height - header);
  gtk_window_maximize(Toplevel());
}

Rect GtkWindowImpl::FrameBoundsImpl() const {
  int left = 0, top = 0, width = 0, height = 0;
  gtk_window_get_position(Toplevel(), &left, &top);
  gtk_window_get_size(Toplevel(), &width, &height);
  return {left, top, width, height};
}

void GtkWindowImpl::BringToFrontImpl() {
  gtk_window_set_keep_above(Toplevel(), TRUE);
  gtk_window_present(Toplevel());
  gtk_window_set_keep_above(Toplevel(), FALSE);
}

void GtkWindowImpl::AddTitleBarActionImpl(int code, const std::string& caption) {
  if (!header_) {
    header_ = gtk_header_bar_new();
    gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header_), TRUE);
    // The window takes its title from a header bar given to it (an untitled bar would
    // leave the window named after the program): hand the bar the title first.
    const std::string title =
        gtk_window_get_title(Toplevel()) ? gtk_window_get_title(Toplevel()) : "";
    gtk_header_bar_set_title(GTK_HEADER_BAR(header_), title.c_str());
    gtk_window_set_titlebar(Toplevel(), header_);
    gtk_widget_show(header_);
  }
  GtkWidget* button = gtk_button_new_with_label(caption.c_str());
  g_object_set_data(G_OBJECT(button), "qv-action", GINT_TO_POINTER(code));
  g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkWidget* b, gpointer self) {
                     int action = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(b), "qv-action"));
                     WindowEvents::TitleBarAction(static_cast<GtkWindowImpl*>(self)->window_events_,
                                                  action);
                   }),
                   this);
  gtk_header_bar_pack_end(GTK_HEADER_BAR(header_), button);
  gtk_widget_show(button);
}

gboolean GtkWindowImpl::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
  // The shell decides: RequestClose() asks its handler and hides the window when allowed.
  static_cast<GtkWindowImpl*>(self)->window_events_.RequestClose();
  return TRUE;
}

gboolean GtkWindowImpl::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
  if (event->type == GDK_BUTTON_PRESS && event->button == GDK_BUTTON_SECONDARY) {
    WindowEvents::RightClick(static_cast<GtkWindowImpl*>(self)->window_events_);
    return TRUE;
  }
  return FALSE;
}

void GtkWindowImpl::OnSizeAllocate(GtkWidget*, GdkRectangle* allocation, gpointer data) {
  auto* self = static_cast<GtkWindowImpl*>(data);
  Size now{allocation->width, allocation->height};
  if (now == self->allocated_) return;
  self->allocated_ = now;
  WindowEvents::Resized(self->window_events_);
}

}  // namespace qv::ui::gtk
