#pragma once
// A container that places each child at an exact rectangle and asks for no
// minimum size of its own, so a window built on it can be made smaller than
// its children. (GtkFixed measures its children and would hold the window at
// the pane's size.) It may paint a picture unscaled from its top-left corner,
// and it tells its owner its own size after every allocation. Children are
// drawn and hit-tested in the order they were added: the last one is on top.
// Its owner may take over keyboard focus moves into and within it, so that
// Tab follows an order of the owner's instead of GTK's order by position.

#include <gtk/gtk.h>

G_BEGIN_DECLS

#define TAV_TYPE_FIXED_BOX (tav_fixed_box_get_type())
G_DECLARE_FINAL_TYPE(TavFixedBox, tav_fixed_box, TAV, FIXED_BOX, GtkWidget)

G_END_DECLS

namespace tav::gtk {

using AllocatedFn = void (*)(gpointer data, int width, int height);
// Moves the focus in that direction; TRUE when a widget inside the box has it.
using FocusFn = gboolean (*)(gpointer data, GtkDirectionType direction);

// A new, floating box whose natural size is width x height pixels.
GtkWidget* fixed_box_new(int width, int height);
// Adds a child on top of the others at the rectangle, in pixels.
void fixed_box_put(TavFixedBox* box, GtkWidget* child, int x, int y, int width, int height);
// Changes a child's size; a child of width or height 0 is not shown.
void fixed_box_resize(TavFixedBox* box, GtkWidget* child, int width, int height);
// The picture painted under the children, unscaled, clipped to the box.
void fixed_box_set_picture(TavFixedBox* box, GdkTexture* picture);
// Called after each allocation with the box's size; nullptr to stop.
void fixed_box_on_allocated(TavFixedBox* box, AllocatedFn fn, gpointer data);
// Called for every focus move that GTK asks of the box (Tab, Shift+Tab, arrow
// keys, a window looking for a first focus) in place of GTK's own search
// through the children; nullptr to stop.
void fixed_box_on_focus(TavFixedBox* box, FocusFn fn, gpointer data);

}  // namespace tav::gtk
