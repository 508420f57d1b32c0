// GTK windows and controls behind the toolkit's public types.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "ui/backend.h"

namespace qv::ui::gtk {

// Owns one reference to a widget, taken with g_object_ref_sink. Releasing destroys the
// widget first (which detaches it from its parent and drops GTK's own references), then
// gives up ours, so no widget outlives its owner.
struct WidgetDeleter {
  void operator()(GtkWidget* widget) const;
};
using WidgetPtr = std::unique_ptr<GtkWidget, WidgetDeleter>;
WidgetPtr AdoptWidget(GtkWidget* widget);

// Device pixels per design pixel. GTK scales whole windows by GDK_SCALE itself; fonts alone
// grow with the font resolution (GDK_DPI_SCALE, the desktop's text scaling), and the fixed
// 96-DPI layouts must grow with them.
double LayoutScale();

// Where a control sits: straight on a window, or on a tab page.
enum class Surface { Window, TabPage };

// Creates a native control of `kind` placed in `fixed`.
std::unique_ptr<ControlImpl> CreateGtkControl(GtkFixed* fixed, Surface surface, ControlKind kind,
                                              const std::string& text, const Rect& bounds,
                                              Control& control);

// Style class of labels placed straight on a window: they get the window's background, so
// that a notice over the web page hides the page beneath it (see the toolkit's CSS).
inline constexpr char kWindowLabelClass[] = "qv-window-label";
// Style class of the GtkFixed that holds a window's or a tab page's controls.
inline constexpr char kFixedLayoutClass[] = "qv-fixed-layout";
// Style class of a text box drawn in a fixed-pitch font (TextBox::SetFixedPitch).
inline constexpr char kFixedPitchClass[] = "qv-fixed-pitch";

class GtkWindowImpl : public WindowImpl {
 public:
  GtkWindowImpl(const WindowOptions& options, Window& window, GdkPixbuf* icon);
  ~GtkWindowImpl() override;

  GtkWindow* Toplevel() const { return GTK_WINDOW(window_.get()); }

  std::unique_ptr<ControlImpl> CreateControlImpl(ControlKind kind, const std::string& text,
                                                 const Rect& bounds, Control& control) override;
  void SetTitleImpl(const std::string& title) override;
  void SetVisibleImpl(bool visible) override;
  void SetClientSizeImpl(int width, int height) override;
  Size ClientSizeImpl() const override;
  void SetPositionImpl(int left, int top) override;
  Rect FrameBoundsImpl() const override;
  Rect WorkAreaImpl(int left, int top) const override;
  void BringToFrontImpl() override;
  void AddTitleBarActionImpl(int code, const std::string& caption) override;

 private:
  // Places the window on its monitor before it is first shown (FirstPlacement).
  void PlaceFirst();
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self);
  static void OnSizeAllocate(GtkWidget*, GdkRectangle* allocation, gpointer self);

  Window& window_events_;
  WidgetPtr window_;
  GtkWidget* events_ = nullptr;  // event box over the client area: right clicks
  GtkWidget* fixed_ = nullptr;
  GtkWidget* header_ = nullptr;  // header bar, made when the first title-bar action comes
  GtkWindow* owner_ = nullptr;
  bool resizable_;
  bool placed_ = false;  // positioned by the caller or by PlaceFirst()
  Size requested_;       // design pixels
  Size allocated_;       // device pixels
};

}  // namespace qv::ui::gtk
