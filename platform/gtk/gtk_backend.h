#pragma once
// The GTK 4 + WebKitGTK 6.0 backend: real windows built from the layout
// tables, the browser pane as a WebKitWebView, launches without a shell, and
// the GLib main loop. See gtk_backend.cpp for what it realizes and what a
// Linux desktop cannot do.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/gtk/gobject_ptr.h"
#include "platform/gtk/web_pane.h"

typedef struct _GMainLoop GMainLoop;
typedef struct _GtkWindow GtkWindow;
typedef struct _GtkCssProvider GtkCssProvider;

namespace tav::gtk {

struct MainLoopUnref {
  void operator()(GMainLoop* loop) const;
};

class GtkBackend final : public Backend {
 public:
  struct Options {
    // Icon theme name given to windows whose layout has an icon; the caller
    // makes the name known to the icon theme.
    std::string icon_name;
    // Directories searched for a launched program after the program's own
    // directory and its ../libexec/tavrino, and before PATH.
    std::vector<std::string> program_dirs;
    // The environment ("NAME=value" entries) that launched programs and the
    // desktop's browser get: the one the program was started with, before it
    // set anything for itself. Unset: the process's current environment.
    std::optional<std::vector<std::string>> environment;
  };

  // Needs gtk_init() to have succeeded.
  explicit GtkBackend(Options options);
  ~GtkBackend() override;

  Status create_window(WindowId id, const Layout& layout) override;
  Status show_window(WindowId id) override;
  Status destroy_window(WindowId id) override;
  Result<SizeTwips> inner_size(WindowId id) override;
  void focus(WindowId id, ControlId control) override;
  Status navigate(WindowId id, ControlId pane, std::string_view url) override;
  Status set_width(WindowId id, ControlId control, float twips) override;
  Status set_height(WindowId id, ControlId control, float twips) override;
  Result<Variant> top(WindowId id, ControlId control) override;
  Result<double> launch(std::string_view command_line, int style) override;
  void run() override;
  void quit() override;
  void report_error(std::string_view title, const Error& error) override;
  void wait_for_reports() override;
  void open_help(std::string_view address) override;

  // Where a launch would find the program word: the program's own directory,
  // its ../libexec/tavrino, then `program_dirs`, then the absolute entries of
  // PATH; a word without an
  // extension is also tried with ".exe". Empty when nothing is found.
  std::string find_program(const std::string& word) const;

  // The network session that every browser pane of the run uses.
  WebKitNetworkSession* network_session() const { return panes_.session(); }

 private:
  struct NativeWindow;
  NativeWindow* lookup(WindowId id);
  void build(NativeWindow& nw);
  void place(NativeWindow& nw);
  void connect(NativeWindow& nw);
  static void set_up_focus(NativeWindow& nw);
  static int reap_closed(void* self);
  // Opens an address in the desktop's default browser, with the launch
  // environment.
  void open_in_browser(const std::string& uri);

  Options options_;
  std::string app_dir_;
  std::unique_ptr<GMainLoop, MainLoopUnref> loop_;
  bool quit_requested_ = false;
  GObjectPtr<GtkCssProvider> base_css_;
  // Before the windows, so that it outlives every pane.
  WebPanes panes_;
  std::map<WindowId, std::unique_ptr<NativeWindow>> windows_;
  // Unloaded windows, hidden at once and destroyed from an idle callback, so
  // that a window is never torn down inside one of its own event handlers.
  std::vector<std::unique_ptr<NativeWindow>> closed_;
  unsigned reap_source_ = 0;
  std::vector<GObjectPtr<GtkWindow>> messages_;
};

}  // namespace tav::gtk
