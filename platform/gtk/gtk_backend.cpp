// GTK 4 + WebKitGTK 6.0 backend. Realizes: windows and controls from the layout tables (a
// fixed-position box per container, children in the runtime's stacking order), fonts, colours
// and unscaled pictures; the pane as a WebKitWebView; inner-size reports, minimize included;
// launches by path search without a shell; F1 help and non-blocking error reports; Tab and
// Shift+Tab along the window's focus order, through the fields of a pane's page on the way.
// Cannot: hand a window style to a started program, or place windows under Wayland.
#include "platform/gtk/gtk_backend.h"

#include <fcntl.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <sstream>

#include "platform/bmp.h"
#include "platform/command_line.h"
#include "platform/focus_order.h"
#include "platform/geometry.h"
#include "platform/gtk/fixed_box.h"

namespace tav::gtk {

void MainLoopUnref::operator()(GMainLoop* loop) const {
  if (loop) g_main_loop_unref(loop);
}

namespace {

struct GBytesUnref {
  void operator()(GBytes* b) const {
    if (b) g_bytes_unref(b);
  }
};

// An uncompressed 24-bit BMP file as a texture, or nullptr when the bytes are
// not one.
GObjectPtr<GdkTexture> decode_bmp(PictureData d) {
  const std::optional<BmpLayout> bmp = parse_bmp(d);
  if (!bmp) return nullptr;
  const auto w = static_cast<std::size_t>(bmp->width);
  const auto h = static_cast<std::size_t>(bmp->height);
  std::vector<std::uint8_t> rgb(w * h * 3);
  for (int y = 0; y < bmp->height; ++y) {
    const std::size_t src_row = bmp->row(y);
    for (std::size_t x = 0; x < w; ++x) {
      const std::size_t s = src_row + x * 3;
      std::uint8_t* out = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
      out[0] = d[s + 2];
      out[1] = d[s + 1];
      out[2] = d[s];
    }
  }
  std::unique_ptr<GBytes, GBytesUnref> bytes(g_bytes_new(rgb.data(), rgb.size()));
  return adopt(
      gdk_memory_texture_new(bmp->width, bmp->height, GDK_MEMORY_R8G8B8, bytes.get(), w * 3));
}

std::string css_colour(Colour c) {
  if (c.is_system()) {
    switch (c.system_index()) {
      case 24:  // tooltip background
        return "#ffffe1";
      case 5:  // window background
        return "#ffffff";
      case 8:   // window text
      case 18:  // button text
      case 23:  // tooltip text
        return "#000000";
      default:  // button face and the rest
        return "#f0f0f0";
    }
  }
  std::ostringstream s;
  s << "rgb(" << c.red() << "," << c.green() << "," << c.blue() << ")";
  return s.str();
}

std::string css_font(const FontSpec* f) {
  std::ostringstream s;
  if (!f) {
    // The window's default font: a small sans-serif face.
    s << "font-family: sans-serif; font-size: 8pt;";
    return s.str();
  }
  s << "font-family: \"" << f->name << "\"; font-size: " << f->points
    << "pt; font-weight: " << f->weight << "; font-style: " << (f->italic ? "italic" : "normal")
    << "; text-decoration-line: "
    << (f->underline ? (f->strikethrough ? "underline line-through" : "underline")
                     : (f->strikethrough ? "line-through" : "none"))
    << ";";
  return s.str();
}

int px(double twips) {
  return twips_to_pixels(twips);
}

std::string self_dir() {
  GCharPtr exe(g_file_read_link("/proc/self/exe", nullptr));
  if (!exe) return {};
  GCharPtr dir(g_path_get_dirname(exe.get()));
  return dir.get();
}

bool is_program(const std::string& path) {
  return g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR) &&
         g_file_test(path.c_str(), G_FILE_TEST_IS_EXECUTABLE);
}

void on_child_exit(GPid pid, gint, gpointer) {
  g_spawn_close_pid(pid);
}

// posix_spawn's attribute and file-action objects, destroyed with their owner.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attr_);
    posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  posix_spawnattr_t* attr() { return &attr_; }
  posix_spawn_file_actions_t* actions() { return &actions_; }

 private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
};

}  // namespace

// One loaded window and the native widgets of its controls.
struct GtkBackend::NativeWindow {
  struct ClickTarget {
    EventSink* sink;
    WindowId window;
    ControlId control;
  };
  struct Rect {
    int x, y, width, height;
  };

  EventSink* sink = nullptr;
  WindowId id = 0;
  const Layout* layout = nullptr;
  GObjectPtr<GtkWindow> window;
  TavFixedBox* root = nullptr;      // owned by the window
  std::vector<GtkWidget*> widgets;  // one per control record; owned by the window
  std::vector<Rect> rects;          // current place of each control, pixels
  std::vector<std::unique_ptr<ClickTarget>> targets;
  GObjectPtr<GtkCssProvider> css;
  GdkSurface* surface = nullptr;
  unsigned report_source = 0;
  bool shown = false;
  bool allocated = false;
  std::vector<ControlId> focus_order;  // the controls that take the focus, in tab order
  // The last Tab key event handed to a pane's page, held so that WebKit's
  // return of it, unused, is recognized by identity.
  GdkEvent* pane_tab = nullptr;
  std::vector<ControlId> lost_pages;  // panes whose web process has ended

  NativeWindow() = default;
  NativeWindow(const NativeWindow&) = delete;
  NativeWindow& operator=(const NativeWindow&) = delete;

  ~NativeWindow() {
    unhook();
    for (ControlId i = 0; i < widgets.size(); ++i) {
      if (widgets[i] && layout->controls[i].kind == Kind::WebBrowser) WebPanes::end(widgets[i]);
    }
    if (window) gtk_window_destroy(window.get());
  }

  // Stops every report of this window to the runtime and hides it.
  void unhook() {
    if (report_source) g_source_remove(report_source);
    report_source = 0;
    if (root) fixed_box_on_allocated(root, nullptr, nullptr);
    if (root) fixed_box_on_focus(root, nullptr, nullptr);
    if (surface) g_signal_handlers_disconnect_by_data(surface, this);
    surface = nullptr;
    for (ControlId c : focus_order) {
      if (widgets[c]) g_signal_handlers_disconnect_by_data(widgets[c], this);
    }
    if (window) {
      g_signal_handlers_disconnect_by_data(window.get(), this);
      gtk_widget_set_visible(GTK_WIDGET(window.get()), FALSE);
    }
    if (css) {
      gtk_style_context_remove_provider_for_display(gdk_display_get_default(),
                                                    GTK_STYLE_PROVIDER(css.get()));
      css.reset();
    }
    for (auto& t : targets) t->sink = nullptr;
    sink = nullptr;
    if (pane_tab) gdk_event_unref(pane_tab);
    pane_tab = nullptr;
  }

  // ---- the keyboard focus
  //
  // Tab and Shift+Tab follow the focus order of the layout: the window takes
  // every Tab before its widgets see it and moves the focus itself, except
  // when a pane has the focus. Then the page gets the key and moves among its
  // own fields; past either end WebKit gives the focus up, which reaches
  // focus_requested() below, and afterwards hands the same key event back as
  // unused, which must not move the focus a second time. GTK's own search
  // for the next widget is never used: it goes by position on the screen,
  // and it would step into a web view's internal widgets, where no key does
  // anything any more.

  bool is_pane(ControlId c) const { return layout->controls[c].kind == Kind::WebBrowser; }

  // Whether a pane's page takes keys: not when its web process has ended or
  // stopped answering, since a Tab sent there would never come back.
  bool page_takes_keys(ControlId c) const {
    return std::find(lost_pages.begin(), lost_pages.end(), c) == lost_pages.end() &&
           webkit_web_view_get_is_web_process_responsive(WEBKIT_WEB_VIEW(widgets[c]));
  }

  ControlId control_of(GtkWidget* w) const {
    return static_cast<ControlId>(std::find(widgets.begin(), widgets.end(), w) - widgets.begin());
  }

  // The control of the focus order that holds the focus, itself or through
  // one of its widgets.
  std::optional<ControlId> focused_control() const {
    GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(window.get()));
    for (GtkWidget* w = focus; w; w = gtk_widget_get_parent(w)) {
      for (ControlId c : focus_order) {
        if (widgets[c] == w) return c;
      }
    }
    return std::nullopt;
  }

  // Whether the control shows and can take the focus now: a control of
  // size 0, or inside a container of size 0, cannot.
  bool can_focus(ControlId c) const {
    GtkWidget* w = widgets[c];
    if (!w || !gtk_widget_get_focusable(w) || !gtk_widget_is_sensitive(w)) return false;
    for (; w; w = gtk_widget_get_parent(w)) {
      if (!gtk_widget_get_visible(w) || !gtk_widget_get_child_visible(w)) return false;
    }
    return true;
  }

  void give_focus(ControlId c) {
    // The web view itself, never one of its internal widgets.
    gtk_widget_grab_focus(widgets[c]);
  }

  bool move_focus(bool backward) {
    const auto next = next_focus(focus_order, focused_control(), backward,
                                 [this](ControlId c) { return can_focus(c); });
    if (!next) return false;
    give_focus(*next);
    return true;
  }

  // GTK asks the window's content for a focus move: when the window looks
  // for a first focus, and when a pane's page gives the focus up.
  gboolean focus_requested(GtkDirectionType direction) {
    if (direction != GTK_DIR_TAB_FORWARD && direction != GTK_DIR_TAB_BACKWARD) {
      return FALSE;  // arrow keys move no focus between controls
    }
    const auto current = focused_control();
    // Already moved on for this key (WebKit returned the key before it gave
    // the focus up).
    if (current && !is_pane(*current)) return TRUE;
    return move_focus(direction == GTK_DIR_TAB_BACKWARD);
  }

  gboolean key_pressed(GtkEventControllerKey* controller, guint keyval, GdkModifierType state) {
    if (keyval == GDK_KEY_F1) {
      if (sink) sink->help_requested();
      return TRUE;
    }
    if (keyval != GDK_KEY_Tab && keyval != GDK_KEY_ISO_Left_Tab && keyval != GDK_KEY_KP_Tab) {
      return FALSE;
    }
    if (state & (GDK_CONTROL_MASK | GDK_ALT_MASK | GDK_SUPER_MASK)) return FALSE;
    const bool backward = keyval == GDK_KEY_ISO_Left_Tab || (state & GDK_SHIFT_MASK) != 0;
    GdkEvent* event = gtk_event_controller_get_current_event(GTK_EVENT_CONTROLLER(controller));
    const auto current = focused_control();
    if (event && event == pane_tab) {
      // WebKit hands back a Tab that its page did not use. If it gave the
      // focus up for it, the focus has moved on already.
      if (current && is_pane(*current)) move_focus(backward);
      return TRUE;
    }
    gtk_window_set_focus_visible(window.get(), TRUE);
    if (current && is_pane(*current) && page_takes_keys(*current) &&
        gtk_root_get_focus(GTK_ROOT(window.get())) == widgets[*current]) {
      if (pane_tab) gdk_event_unref(pane_tab);
      pane_tab = event ? gdk_event_ref(event) : nullptr;
      return FALSE;  // to the page
    }
    move_focus(backward);
    return TRUE;
  }

  bool minimized() const {
    return surface && GDK_IS_TOPLEVEL(surface) &&
           (gdk_toplevel_get_state(GDK_TOPLEVEL(surface)) & GDK_TOPLEVEL_STATE_MINIMIZED) != 0;
  }

  SizeTwips size() const {
    if (minimized()) return {0, 0};
    if (!allocated) {
      return {static_cast<float>(layout->form.client_width),
              static_cast<float>(layout->form.client_height)};
    }
    return {static_cast<float>(pixels_to_twips(gtk_widget_get_width(GTK_WIDGET(root)))),
            static_cast<float>(pixels_to_twips(gtk_widget_get_height(GTK_WIDGET(root))))};
  }

  // Reports the inner size from an idle callback: never from inside GTK's
  // allocation, where the resize procedure's new pane size could not be
  // taken; a burst of changes ends in one report of the latest size.
  void schedule_report() {
    if (report_source || !sink) return;
    report_source = g_idle_add(
        [](gpointer data) -> gboolean {
          auto* self = static_cast<NativeWindow*>(data);
          self->report_source = 0;
          if (self->sink && self->shown && self->allocated) {
            self->sink->inner_size_changed(self->id, self->size());
          }
          return G_SOURCE_REMOVE;
        },
        this);
  }

  void watch_surface() {
    if (surface) return;
    surface = gtk_native_get_surface(GTK_NATIVE(window.get()));
    if (!surface) return;
    g_signal_connect_swapped(surface, "notify::state",
                             G_CALLBACK(+[](NativeWindow* self) { self->schedule_report(); }),
                             this);
  }

  GtkWidget* container_widget(ControlId control) const {
    const auto c = container_of(*layout, control);
    return c ? widgets[*c] : GTK_WIDGET(root);
  }

  Status resize(ControlId control, std::optional<float> width, std::optional<float> height) {
    const float twips = width ? *width : *height;
    Rect& r = rects[control];
    (width ? r.width : r.height) = px(twips);
    GtkWidget* box = container_widget(control);
    fixed_box_resize(TAV_FIXED_BOX(box), widgets[control], r.width, r.height);
    return {};
  }
};

// ---- set-up -------------------------------------------------------------

GtkBackend::GtkBackend(Options options)
    : options_(std::move(options)),
      app_dir_(self_dir()),
      loop_(g_main_loop_new(nullptr, FALSE)),
      base_css_(adopt(gtk_css_provider_new())),
      panes_([this](const std::string& uri) { open_in_browser(uri); }) {
  // Buttons take their stored size exactly: no theme minimum, little padding.
  // The focus shows as a dotted rectangle inside the button, clear on any
  // button colour and whole even where the window cuts the button's edge off.
  static const char kBase[] =
      "button.tav-button { min-width: 0; min-height: 0; padding: 0 2px; }\n"
      "button.tav-button:focus-visible {\n"
      "  outline: 1px dotted currentColor; outline-offset: -4px; }\n"
      "label.tav-label { padding: 0; margin: 0; }\n";
  gtk_css_provider_load_from_data(base_css_.get(), kBase, -1);
  gtk_style_context_add_provider_for_display(gdk_display_get_default(),
                                             GTK_STYLE_PROVIDER(base_css_.get()),
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

GtkBackend::~GtkBackend() {
  if (reap_source_) g_source_remove(reap_source_);
  closed_.clear();
  windows_.clear();
  for (auto& m : messages_) gtk_window_destroy(m.get());
  messages_.clear();
  gtk_style_context_remove_provider_for_display(gdk_display_get_default(),
                                                GTK_STYLE_PROVIDER(base_css_.get()));
  // Let the window system and WebKit see the windows go before the process ends.
  for (int i = 0; i < 100 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
}

GtkBackend::NativeWindow* GtkBackend::lookup(WindowId id) {
  auto it = windows_.find(id);
  return it == windows_.end() ? nullptr : it->second.get();
}

// ---- windows ------------------------------------------------------------

Status GtkBackend::create_window(WindowId id, const Layout& layout) {
  auto nw = std::make_unique<NativeWindow>();
  nw->sink = &sink();
  nw->id = id;
  nw->layout = &layout;
  build(*nw);
  place(*nw);
  connect(*nw);
  windows_[id] = std::move(nw);
  return {};
}

// Building: the window, its fixed-position root and a native widget for
// every record, styled from the layout by one CSS provider per window.
void GtkBackend::build(NativeWindow& nw) {
  const Layout& layout = *nw.layout;
  const FormRecord& form = layout.form;
  const int inner_w = px(form.client_width);
  const int inner_h = px(form.client_height);

  nw.window = retain(GTK_WINDOW(gtk_window_new()));
  GtkWindow* win = nw.window.get();
  gtk_window_set_title(win, std::string(form.caption).c_str());
  gtk_window_set_resizable(win, form.border == BorderStyle::Sizable);
  if (form.icon && !options_.icon_name.empty()) {
    gtk_window_set_icon_name(win, options_.icon_name.c_str());
  }

  // No default size: the window opens at its content's natural size, the
  // form's client size, beside whatever title bar the desktop draws (a
  // client-side one included, which a default size would eat into).
  nw.root = TAV_FIXED_BOX(fixed_box_new(inner_w, inner_h));
  const std::string prefix = "tav-w" + std::to_string(nw.id) + "-";
  std::ostringstream css;
  gtk_widget_add_css_class(GTK_WIDGET(nw.root), (prefix + "form").c_str());
  if (form.back)
    css << "." << prefix << "form { background-color: " << css_colour(*form.back) << "; }\n";
  gtk_window_set_child(win, GTK_WIDGET(nw.root));

  // Native widgets for every record; they are put into their containers
  // afterwards, in stacking order.
  const auto& controls = layout.controls;
  nw.widgets.assign(controls.size(), nullptr);
  nw.rects.resize(controls.size());
  for (ControlId i = 0; i < controls.size(); ++i) {
    const ControlRecord& c = controls[i];
    nw.rects[i] = {px(c.left), px(c.top), px(c.width), px(c.height)};
    const std::string cls = prefix + "c" + std::to_string(i);
    GtkWidget* w = nullptr;
    switch (c.kind) {
      case Kind::CommandButton: {
        w = gtk_button_new_with_label(std::string(c.caption).c_str());
        gtk_widget_add_css_class(w, "tav-button");
        css << "button." << cls << " { " << css_font(c.font);
        if (c.fore) css << " color: " << css_colour(*c.fore) << ";";
        if (c.back) css << " background: " << css_colour(*c.back) << ";";
        css << " }\n";
        if (c.font) css << "button." << cls << " label { " << css_font(c.font) << " }\n";
        break;
      }
      case Kind::Label: {
        w = gtk_label_new(std::string(c.caption).c_str());
        GtkLabel* label = GTK_LABEL(w);
        gtk_label_set_wrap(label, TRUE);
        gtk_label_set_wrap_mode(label, PANGO_WRAP_WORD_CHAR);
        gtk_label_set_xalign(label, 0);
        gtk_label_set_yalign(label, 0);
        gtk_widget_set_overflow(w, GTK_OVERFLOW_HIDDEN);
        gtk_widget_add_css_class(w, "tav-label");
        css << "label." << cls << " { " << css_font(c.font);
        if (c.fore) css << " color: " << css_colour(*c.fore) << ";";
        if (c.back) css << " background-color: " << css_colour(*c.back) << ";";
        css << " }\n";
        break;
      }
      case Kind::PictureBox: {
        w = fixed_box_new(px(c.width), px(c.height));
        if (c.picture) {
          if (auto tex = decode_bmp(c.picture()))
            fixed_box_set_picture(TAV_FIXED_BOX(w), tex.get());
        }
        css << "." << cls
            << " { background-color: " << css_colour(c.back.value_or(Colour::system(15)))
            << "; }\n";
        break;
      }
      case Kind::WebBrowser:
        w = panes_.create();
        break;
      case Kind::Inet:
        break;  // an invisible control: nothing to create
    }
    if (!w) continue;
    gtk_widget_add_css_class(w, cls.c_str());
    nw.widgets[i] = w;
  }

  nw.css = adopt(gtk_css_provider_new());
  const std::string css_text = css.str();
  gtk_css_provider_load_from_data(nw.css.get(), css_text.c_str(),
                                  static_cast<gssize>(css_text.size()));
  gtk_style_context_add_provider_for_display(gdk_display_get_default(),
                                             GTK_STYLE_PROVIDER(nw.css.get()),
                                             GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
}

// Placing: each widget into its container (the form or a picture box), from
// the bottom of the stacking order up.
void GtkBackend::place(NativeWindow& nw) {
  const Layout& layout = *nw.layout;
  const auto& controls = layout.controls;
  // Containers first, so each child finds its container's widget.
  std::vector<std::optional<ControlId>> containers{std::nullopt};
  for (ControlId i = 0; i < controls.size(); ++i) {
    if (controls[i].kind == Kind::PictureBox) containers.emplace_back(i);
  }
  for (const auto& container : containers) {
    GtkWidget* box = container ? nw.widgets[*container] : GTK_WIDGET(nw.root);
    for (ControlId i : stacking_order(layout, container)) {
      GtkWidget* w = nw.widgets[i];
      if (!w) continue;
      const auto& r = nw.rects[i];
      fixed_box_put(TAV_FIXED_BOX(box), w, r.x, r.y, r.width, r.height);
    }
  }
  // A control whose container is missing from the layout was never put
  // anywhere; drop it rather than leak a floating widget.
  for (ControlId i = 0; i < controls.size(); ++i) {
    GtkWidget* w = nw.widgets[i];
    if (w && !gtk_widget_get_parent(w)) {
      g_object_ref_sink(w);
      g_object_unref(w);
      nw.widgets[i] = nullptr;
    }
  }
}

// Connecting: clicks, the window system's requests, keys, the focus and the
// inner size, each reported to the runtime.
void GtkBackend::connect(NativeWindow& nw) {
  const auto& controls = nw.layout->controls;
  GtkWindow* win = nw.window.get();
  // Clicks: buttons and labels raise Click.
  for (ControlId i = 0; i < controls.size(); ++i) {
    GtkWidget* w = nw.widgets[i];
    if (!w) continue;
    const Kind k = controls[i].kind;
    if (k != Kind::CommandButton && k != Kind::Label) continue;
    nw.targets.push_back(
        std::make_unique<NativeWindow::ClickTarget>(NativeWindow::ClickTarget{&sink(), nw.id, i}));
    auto* target = nw.targets.back().get();
    if (k == Kind::CommandButton) {
      g_signal_connect(w, "clicked", G_CALLBACK(+[](GtkButton*, NativeWindow::ClickTarget* t) {
                         if (t->sink) t->sink->clicked(t->window, t->control);
                       }),
                       target);
    } else {
      GtkGesture* gesture = gtk_gesture_click_new();
      gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(gesture), GDK_BUTTON_PRIMARY);
      g_signal_connect(gesture, "released",
                       G_CALLBACK(+[](GtkGestureClick* g, int, double x, double y,
                                      NativeWindow::ClickTarget* t) {
                         GtkWidget* label =
                             gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(g));
                         if (!t->sink || !gtk_widget_contains(label, x, y)) return;
                         t->sink->clicked(t->window, t->control);
                       }),
                       target);
      gtk_widget_add_controller(w, GTK_EVENT_CONTROLLER(gesture));
      gtk_widget_set_cursor_from_name(w, "default");
    }
  }

  // The window system's requests and the inner size.
  g_signal_connect_swapped(win, "close-request", G_CALLBACK(+[](NativeWindow* self) -> gboolean {
                             if (self->sink) self->sink->close_requested(self->id);
                             return TRUE;  // the runtime unloads the window itself
                           }),
                           &nw);
  // Keys the window takes before its widgets: F1, Tab and Shift+Tab.
  GtkEventController* keys = gtk_event_controller_key_new();
  gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
  g_signal_connect(keys, "key-pressed",
                   G_CALLBACK(+[](GtkEventControllerKey* controller, guint keyval, guint,
                                  GdkModifierType state, NativeWindow* self) -> gboolean {
                     return self->key_pressed(controller, keyval, state);
                   }),
                   &nw);
  gtk_widget_add_controller(GTK_WIDGET(win), keys);
  set_up_focus(nw);
  fixed_box_on_allocated(
      nw.root,
      [](gpointer data, int, int) {
        auto* self = static_cast<NativeWindow*>(data);
        self->allocated = true;
        self->schedule_report();
      },
      &nw);
}

Status GtkBackend::show_window(WindowId id) {
  NativeWindow* nw = lookup(id);
  if (!nw) return err::object_required();
  nw->shown = true;
  gtk_window_present(nw->window.get());
  nw->watch_surface();
  if (nw->allocated) nw->schedule_report();
  return {};
}

Status GtkBackend::destroy_window(WindowId id) {
  auto it = windows_.find(id);
  if (it == windows_.end()) return err::object_required();
  it->second->unhook();
  closed_.push_back(std::move(it->second));
  windows_.erase(it);
  if (!reap_source_) reap_source_ = g_idle_add(&GtkBackend::reap_closed, this);
  return {};
}

int GtkBackend::reap_closed(void* self) {
  auto* backend = static_cast<GtkBackend*>(self);
  backend->reap_source_ = 0;
  backend->closed_.clear();
  return G_SOURCE_REMOVE;
}

Result<SizeTwips> GtkBackend::inner_size(WindowId id) {
  NativeWindow* nw = lookup(id);
  if (!nw) return err::object_required();
  return nw->size();
}

// ---- the keyboard focus -------------------------------------------------

// The focus order of the layout: its controls take the focus (picture boxes
// and web views are not focusable by default), no other widget does.
void GtkBackend::set_up_focus(NativeWindow& nw) {
  nw.focus_order = focus_order(*nw.layout);
  for (ControlId i = 0; i < nw.widgets.size(); ++i) {
    GtkWidget* w = nw.widgets[i];
    if (!w) continue;
    gtk_widget_set_focusable(
        w, std::find(nw.focus_order.begin(), nw.focus_order.end(), i) != nw.focus_order.end());
    if (nw.layout->controls[i].kind != Kind::WebBrowser) continue;
    // A page whose web process ended takes no keys until a new load starts
    // a new one.
    g_signal_connect(w, "web-process-terminated",
                     G_CALLBACK(+[](GtkWidget* view, int, NativeWindow* self) {
                       self->lost_pages.push_back(self->control_of(view));
                     }),
                     &nw);
    g_signal_connect(w, "load-changed",
                     G_CALLBACK(+[](GtkWidget* view, WebKitLoadEvent event, NativeWindow* self) {
                       if (event != WEBKIT_LOAD_STARTED) return;
                       std::erase(self->lost_pages, self->control_of(view));
                     }),
                     &nw);
  }
  fixed_box_on_focus(
      nw.root,
      [](gpointer data, GtkDirectionType direction) {
        return static_cast<NativeWindow*>(data)->focus_requested(direction);
      },
      &nw);
}

void GtkBackend::focus(WindowId id, ControlId control) {
  NativeWindow* nw = lookup(id);
  if (!nw || control >= nw->widgets.size() || !nw->can_focus(control)) return;
  nw->give_focus(control);
}

// ---- the browser pane ---------------------------------------------------

Status GtkBackend::navigate(WindowId id, ControlId pane, std::string_view url) {
  NativeWindow* nw = lookup(id);
  if (!nw) return err::object_required();
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(nw->widgets[pane]), std::string(url).c_str());
  return {};
}

Status GtkBackend::set_width(WindowId id, ControlId control, float twips) {
  NativeWindow* nw = lookup(id);
  if (!nw) return err::object_required();
  return nw->resize(control, twips, std::nullopt);
}

Status GtkBackend::set_height(WindowId id, ControlId control, float twips) {
  NativeWindow* nw = lookup(id);
  if (!nw) return err::object_required();
  return nw->resize(control, std::nullopt, twips);
}

Result<Variant> GtkBackend::top(WindowId id, ControlId control) {
  NativeWindow* nw = lookup(id);
  if (!nw) return err::object_required();
  // The pane is never moved, so its top is the stored one.
  return Variant(static_cast<double>(nw->layout->controls[control].top));
}

// ---- launch, loop, reports, help ----------------------------------------

std::string GtkBackend::find_program(const std::string& word) const {
  if (word.empty() || word.find('/') != std::string::npos) return {};
  std::vector<std::string> names{word};
  if (word.find('.') == std::string::npos) names.push_back(word + ".exe");

  // The search order, in one place: the program's own folder, the helper
  // folder beside it (build tree and installation alike), the caller's
  // folders, then PATH.
  std::vector<std::string> dirs;
  if (!app_dir_.empty()) {
    dirs.push_back(app_dir_);
    dirs.push_back(app_dir_ + "/../libexec/tavrino");
  }
  for (const auto& d : options_.program_dirs) dirs.push_back(d);
  if (const char* path = g_getenv("PATH")) {
    std::istringstream entries(path);
    // Only absolute entries: an empty or relative one would search the
    // current directory.
    for (std::string entry; std::getline(entries, entry, ':');) {
      if (!entry.empty() && entry.front() == '/') dirs.push_back(entry);
    }
  }
  for (const auto& dir : dirs) {
    for (const auto& name : names) {
      const std::string candidate = dir + "/" + name;
      if (is_program(candidate)) return candidate;
    }
  }
  return {};
}

Result<double> GtkBackend::launch(std::string_view command_line, int) {
  if (Status refused = check_command_line(command_line); !refused.ok()) return refused.error();
  // The window style has no meaning to a Linux program and is dropped.
  const std::vector<std::string> words = split_command_line(command_line);
  if (words.empty()) return err::file_not_found();
  const std::string path = find_program(words.front());
  if (path.empty()) return err::file_not_found();

  // argv[0] is the program word as the command line gives it.
  std::vector<char*> argv;
  for (const auto& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env_copy;
  if (options_.environment) {
    env_copy = *options_.environment;
  } else {
    for (char** e = environ; *e; ++e) env_copy.emplace_back(*e);
  }
  std::vector<char*> envp;
  for (auto& e : env_copy) envp.push_back(e.data());
  envp.push_back(nullptr);

  // Straight to execve, which takes only what the kernel can run: a file
  // that is neither a valid executable nor a "#!" script is refused like a
  // missing one, never handed to a shell. The child starts with default
  // signal handling, standard input from /dev/null and none of our files.
  SpawnSetup setup;
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(setup.attr(), &none);
  posix_spawnattr_setsigdefault(setup.attr(), &all);
  posix_spawnattr_setflags(setup.attr(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_addopen(setup.actions(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(setup.actions(), STDERR_FILENO + 1);
  pid_t pid = 0;
  if (posix_spawn(&pid, path.c_str(), setup.actions(), setup.attr(), argv.data(), envp.data()) !=
      0) {
    return err::file_not_found();
  }
  // Reaped when it ends, so no zombie stays behind.
  g_child_watch_add(pid, on_child_exit, nullptr);
  return static_cast<double>(pid);
}

void GtkBackend::run() {
  if (quit_requested_) return;
  g_main_loop_run(loop_.get());
}

void GtkBackend::quit() {
  quit_requested_ = true;
  g_main_loop_quit(loop_.get());
}

void GtkBackend::report_error(std::string_view title, const Error& error) {
  GtkWindow* win = GTK_WINDOW(gtk_window_new());
  messages_.push_back(retain(win));
  gtk_window_set_title(win, std::string(title).c_str());
  gtk_window_set_resizable(win, FALSE);

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_widget_set_margin_start(box, 16);
  gtk_widget_set_margin_end(box, 16);
  gtk_widget_set_margin_top(box, 16);
  gtk_widget_set_margin_bottom(box, 12);
  GtkWidget* text = gtk_label_new(report_text(error).c_str());
  gtk_label_set_xalign(GTK_LABEL(text), 0);
  gtk_box_append(GTK_BOX(box), text);
  GtkWidget* ok = gtk_button_new_with_label("OK");
  gtk_widget_set_halign(ok, GTK_ALIGN_END);
  gtk_widget_set_size_request(ok, 80, -1);
  gtk_box_append(GTK_BOX(box), ok);
  gtk_window_set_child(win, box);

  // OK or the title bar closes the message; the reference is dropped then.
  struct Closer {
    static void close(GtkBackend* self, GtkWindow* w) {
      for (auto it = self->messages_.begin(); it != self->messages_.end(); ++it) {
        if (it->get() != w) continue;
        GObjectPtr<GtkWindow> owned = std::move(*it);
        self->messages_.erase(it);
        gtk_window_destroy(w);
        return;
      }
    }
  };
  g_object_set_data(G_OBJECT(ok), "tav-message", win);
  g_signal_connect(ok, "clicked", G_CALLBACK(+[](GtkButton* b, GtkBackend* self) {
                     Closer::close(self, GTK_WINDOW(g_object_get_data(G_OBJECT(b), "tav-message")));
                   }),
                   this);
  g_signal_connect(win, "close-request",
                   G_CALLBACK(+[](GtkWindow* w, GtkBackend* self) -> gboolean {
                     Closer::close(self, w);
                     return TRUE;
                   }),
                   this);
  gtk_window_set_default_widget(win, ok);
  gtk_window_present(win);
}

void GtkBackend::wait_for_reports() {
  while (!messages_.empty()) g_main_context_iteration(nullptr, TRUE);
}

void GtkBackend::open_help(std::string_view address) {
  // A failure goes unreported, as nothing of the program watches help.
  open_in_browser(std::string(address));
}

void GtkBackend::open_in_browser(const std::string& uri) {
  // GIO starts the browser with the current environment changed by the
  // context: put back what the program set for itself since it started.
  GObjectPtr<GAppLaunchContext> context = adopt(g_app_launch_context_new());
  if (options_.environment) {
    std::vector<std::string> keep;
    for (const auto& entry : *options_.environment) {
      const auto eq = entry.find('=');
      if (eq == std::string::npos) continue;
      const std::string name = entry.substr(0, eq);
      g_app_launch_context_setenv(context.get(), name.c_str(), entry.c_str() + eq + 1);
      keep.push_back(name);
    }
    const std::unique_ptr<gchar*, decltype(&g_strfreev)> now(g_get_environ(), &g_strfreev);
    for (gchar** e = now.get(); *e; ++e) {
      const std::string entry(*e);
      const std::string name = entry.substr(0, entry.find('='));
      if (std::find(keep.begin(), keep.end(), name) == keep.end()) {
        g_app_launch_context_unsetenv(context.get(), name.c_str());
      }
    }
  }
  g_app_info_launch_default_for_uri_async(uri.c_str(), context.get(), nullptr, nullptr, nullptr);
}

}  // namespace tav::gtk
