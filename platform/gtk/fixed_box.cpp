#include "platform/gtk/fixed_box.h"

namespace {

struct Rect {
  int x, y, width, height;
};

GQuark rect_quark() {
  static const GQuark q = g_quark_from_static_string("tav-fixed-box-rect");
  return q;
}

Rect* rect_of(GtkWidget* child) {
  return static_cast<Rect*>(g_object_get_qdata(G_OBJECT(child), rect_quark()));
}

}  // namespace

struct _TavFixedBox {
  GtkWidget parent_instance;
  int natural_width;
  int natural_height;
  GdkTexture* picture;
  tav::gtk::AllocatedFn allocated;
  gpointer allocated_data;
  tav::gtk::FocusFn focus;
  gpointer focus_data;
};

G_DEFINE_TYPE(TavFixedBox, tav_fixed_box, GTK_TYPE_WIDGET)

static void tav_fixed_box_measure(GtkWidget* widget, GtkOrientation orientation, int, int* minimum,
                                  int* natural, int* minimum_baseline, int* natural_baseline) {
  const TavFixedBox* self = TAV_FIXED_BOX(widget);
  *minimum = 0;
  *natural = orientation == GTK_ORIENTATION_HORIZONTAL ? self->natural_width : self->natural_height;
  *minimum_baseline = -1;
  *natural_baseline = -1;
}

static void tav_fixed_box_size_allocate(GtkWidget* widget, int width, int height, int) {
  for (GtkWidget* child = gtk_widget_get_first_child(widget); child;
       child = gtk_widget_get_next_sibling(child)) {
    const Rect* r = rect_of(child);
    if (!r || !gtk_widget_get_child_visible(child)) continue;
    // GTK expects a measure before every allocation; the result is not used,
    // since the stored rectangle is the size.
    int min = 0;
    int nat = 0;
    gtk_widget_measure(child, GTK_ORIENTATION_HORIZONTAL, -1, &min, &nat, nullptr, nullptr);
    gtk_widget_measure(child, GTK_ORIENTATION_VERTICAL, r->width, &min, &nat, nullptr, nullptr);
    const GtkAllocation a{r->x, r->y, r->width, r->height};
    gtk_widget_size_allocate(child, &a, -1);
  }
  TavFixedBox* self = TAV_FIXED_BOX(widget);
  if (self->allocated) self->allocated(self->allocated_data, width, height);
}

static void tav_fixed_box_snapshot(GtkWidget* widget, GtkSnapshot* snapshot) {
  TavFixedBox* self = TAV_FIXED_BOX(widget);
  if (self->picture) {
    const float w = static_cast<float>(gtk_widget_get_width(widget));
    const float h = static_cast<float>(gtk_widget_get_height(widget));
    const graphene_rect_t clip = GRAPHENE_RECT_INIT(0, 0, w, h);
    const graphene_rect_t bounds =
        GRAPHENE_RECT_INIT(0, 0, static_cast<float>(gdk_texture_get_width(self->picture)),
                           static_cast<float>(gdk_texture_get_height(self->picture)));
    gtk_snapshot_push_clip(snapshot, &clip);
    gtk_snapshot_append_texture(snapshot, self->picture, &bounds);
    gtk_snapshot_pop(snapshot);
  }
  GTK_WIDGET_CLASS(tav_fixed_box_parent_class)->snapshot(widget, snapshot);
}

static gboolean tav_fixed_box_focus(GtkWidget* widget, GtkDirectionType direction) {
  TavFixedBox* self = TAV_FIXED_BOX(widget);
  if (self->focus) return self->focus(self->focus_data, direction);
  return GTK_WIDGET_CLASS(tav_fixed_box_parent_class)->focus(widget, direction);
}

static void tav_fixed_box_dispose(GObject* object) {
  TavFixedBox* self = TAV_FIXED_BOX(object);
  self->allocated = nullptr;
  self->focus = nullptr;
  while (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(object))) {
    gtk_widget_unparent(child);
  }
  g_clear_object(&self->picture);
  G_OBJECT_CLASS(tav_fixed_box_parent_class)->dispose(object);
}

static void tav_fixed_box_class_init(TavFixedBoxClass* klass) {
  G_OBJECT_CLASS(klass)->dispose = tav_fixed_box_dispose;
  GtkWidgetClass* widget_class = GTK_WIDGET_CLASS(klass);
  widget_class->measure = tav_fixed_box_measure;
  widget_class->size_allocate = tav_fixed_box_size_allocate;
  widget_class->snapshot = tav_fixed_box_snapshot;
  widget_class->focus = tav_fixed_box_focus;
}

static void tav_fixed_box_init(TavFixedBox* self) {
  self->natural_width = 0;
  self->natural_height = 0;
  self->picture = nullptr;
  self->allocated = nullptr;
  self->allocated_data = nullptr;
  self->focus = nullptr;
  self->focus_data = nullptr;
  gtk_widget_set_overflow(GTK_WIDGET(self), GTK_OVERFLOW_HIDDEN);
}

namespace tav::gtk {

GtkWidget* fixed_box_new(int width, int height) {
  auto* box = static_cast<TavFixedBox*>(g_object_new(TAV_TYPE_FIXED_BOX, nullptr));
  box->natural_width = width;
  box->natural_height = height;
  return GTK_WIDGET(box);
}

void fixed_box_put(TavFixedBox* box, GtkWidget* child, int x, int y, int width, int height) {
  Rect* r = g_new(Rect, 1);
  *r = {x, y, width, height};
  g_object_set_qdata_full(G_OBJECT(child), rect_quark(), r, g_free);
  gtk_widget_set_child_visible(child, width > 0 && height > 0);
  gtk_widget_insert_before(child, GTK_WIDGET(box), nullptr);
}

void fixed_box_resize(TavFixedBox* box, GtkWidget* child, int width, int height) {
  Rect* r = rect_of(child);
  if (!r) return;
  r->width = width;
  r->height = height;
  gtk_widget_set_child_visible(child, width > 0 && height > 0);
  gtk_widget_queue_allocate(GTK_WIDGET(box));
}

void fixed_box_set_picture(TavFixedBox* box, GdkTexture* picture) {
  g_set_object(&box->picture, picture);
  gtk_widget_queue_draw(GTK_WIDGET(box));
}

void fixed_box_on_allocated(TavFixedBox* box, AllocatedFn fn, gpointer data) {
  box->allocated = fn;
  box->allocated_data = data;
}

void fixed_box_on_focus(TavFixedBox* box, FocusFn fn, gpointer data) {
  box->focus = fn;
  box->focus_data = data;
}

}  // namespace tav::gtk
