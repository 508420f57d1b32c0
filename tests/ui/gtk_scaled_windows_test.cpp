// The program's fixed-layout windows under the scale the environment gives GTK (GDK_SCALE for
// whole windows, GDK_DPI_SCALE for fonts): the layout grows with the font, every control gets
// the size its design bounds give it (GtkFixed would otherwise widen it over its neighbours to
// fit its text), and lies inside its window. Screenshots go to the working directory (the
// build's artifacts folder), named by QV_SCALE_NAME.
#include <gtk/gtk.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/ui/shell_windows_on_screen.h"
#include "ui/gtk/gtk_toolkit.h"
#include "ui/gtk/gtk_widgets.h"

namespace qv::ui {
namespace {

std::string TextOf(GtkWidget* widget) {
  if (GTK_IS_LABEL(widget)) return gtk_label_get_text(GTK_LABEL(widget));
  if (GTK_IS_BUTTON(widget) && gtk_button_get_label(GTK_BUTTON(widget))) {
    return gtk_button_get_label(GTK_BUTTON(widget));
  }
  if (GTK_IS_ENTRY(widget)) return gtk_entry_get_text(GTK_ENTRY(widget));
  return G_OBJECT_TYPE_NAME(widget);
}

struct Measured {
  GtkWidget* client;  // what the controls must stay inside
  std::string name;
};

// Checks each control that a GtkFixed holds, and the controls of tab pages within.
void CheckFixed(GtkWidget* fixed, const Measured& in) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(fixed));
  for (GList* item = children; item; item = item->next) {
    auto* control = static_cast<GtkWidget*>(item->data);
    if (!gtk_widget_get_visible(control)) continue;
    const std::string what =
        in.name + " " + G_OBJECT_TYPE_NAME(control) + " \"" + TextOf(control) + "\"";
    int requestW = 0, requestH = 0;
    gtk_widget_get_size_request(control, &requestW, &requestH);
    int minW = 0, naturalW = 0, minH = 0, naturalH = 0;
    gtk_widget_get_preferred_width(control, &minW, &naturalW);
    gtk_widget_get_preferred_height(control, &minH, &naturalH);
    GtkAllocation box{};
    gtk_widget_get_allocation(control, &box);
    // Other controls need their minimum width (a drop-down list's longest item, a button's
    // caption). Text boxes and entries scroll their text.
    const bool label = GTK_IS_LABEL(control);
    const bool scrolls = GTK_IS_SCROLLED_WINDOW(control) || GTK_IS_ENTRY(control);
    // A control's preferred sizes include its size request; a label's text is measured by
    // its layout instead.
    int textWidth = minW;
    if (label) {
      PangoRectangle logical{};
      pango_layout_get_pixel_extents(gtk_label_get_layout(GTK_LABEL(control)), nullptr, &logical);
      textWidth = logical.width;
    }
    if (!scrolls) {
      EXPECT_LE(textWidth, box.width) << what << " is cut off";
    }
    EXPECT_LE(minH, box.height) << what << " is cut off at the bottom";
    // GtkFixed widens a control that its text does not fit, over its neighbours.
    EXPECT_EQ(box.width, requestW) << what << " was widened";
    EXPECT_EQ(box.height, requestH) << what << " grew";
    int left = 0, top = 0;
    gtk_widget_translate_coordinates(control, in.client, 0, 0, &left, &top);
    const int clientW = gtk_widget_get_allocated_width(in.client);
    if (label && gtk_label_get_xalign(GTK_LABEL(control)) == 1.0f && left < 0) {
      // Right-aligned labels may start left of their parent (see Label::setAlignment): the
      // visible part must hold the text.
      EXPECT_GE(left + box.width, textWidth) << what << " loses its first characters";
    } else {
      EXPECT_GE(left, 0) << what;
    }
    EXPECT_GE(top, 0) << what;
    EXPECT_LE(left + box.width, clientW) << what;
    EXPECT_LE(top + box.height, gtk_widget_get_allocated_height(in.client)) << what;
    if (GTK_IS_NOTEBOOK(control)) {
      GtkWidget* page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(control), 0);
      if (GTK_IS_FIXED(page)) CheckFixed(page, in);
    }
  }
  g_list_free(children);
}

GtkWidget* FindFixed(GtkWidget* widget) {
  if (GTK_IS_FIXED(widget)) return widget;
  if (!GTK_IS_BIN(widget)) return nullptr;
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
  return child ? FindFixed(child) : nullptr;
}

TEST(GtkScaledWindows, TextsFitTheirControlsAndControlsTheirWindows) {
  auto toolkit = CreateGtkToolkit();
  ASSERT_NE(toolkit, nullptr);
  shell::ShellWindowsOnScreen windows(*toolkit);
  shell::Pump(*toolkit, 1500);

  const char* scaleName = std::getenv("QV_SCALE_NAME");
  const std::string prefix = std::string("gtk-") + (scaleName ? scaleName : "default") + "-";
  for (const auto& [name, window, designWidth] : windows.Windows()) {
    GtkWindow* top = dynamic_cast<gtk::GtkWindowImpl&>(window->WindowBackend()).Toplevel();
    GtkWidget* client = gtk_bin_get_child(GTK_BIN(top));
    ASSERT_NE(client, nullptr) << name;
    EXPECT_NEAR(gtk_widget_get_allocated_width(client), ToDevice(designWidth, gtk::LayoutScale()),
                1)
        << name;
    GtkWidget* fixed = FindFixed(client);
    ASSERT_NE(fixed, nullptr) << name;
    CheckFixed(fixed, {client, name});
  }
  // One screenshot per window, cut to its frame, with the others hidden.
  for (const auto& shown : windows.Windows()) {
    for (const auto& other : windows.Windows()) other.window->Hide();
    shown.window->Show();
    shell::Pump(*toolkit, 700);
    // The frame is in GTK's logical pixels; GDK_SCALE multiplies them on the screen.
    Rect frame = shown.window->FrameBounds();
    const int factor = gtk_widget_get_scale_factor(
        GTK_WIDGET(dynamic_cast<gtk::GtkWindowImpl&>(shown.window->WindowBackend()).Toplevel()));
    frame = {frame.left * factor, frame.top * factor, frame.width * factor, frame.height * factor};
    const std::string command = "import -window root -crop " + std::to_string(frame.width) + "x" +
                                std::to_string(frame.height) + "+" + std::to_string(frame.left) +
                                "+" + std::to_string(frame.top) + " " + prefix + shown.name +
                                ".png";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
}

}  // namespace
}  // namespace qv::ui
