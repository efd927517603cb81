// The program on a Linux desktop: GTK 4 windows with WebKitGTK panes. The
// command line is neither read nor handed to GTK.
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <memory>
#include <string>
#include <vector>

#include "app/project.h"
#include "platform/gtk/gobject_ptr.h"
#include "platform/gtk/gtk_backend.h"
#include "platform/gtk/tuning.h"

extern "C" void tavrino_icons_register_resource(void);

namespace {

// The program writes nothing, and neither do the libraries below its web
// engine, which keep caches of their own in the user's cache folder: the GL
// driver's shader cache is off, and GStreamer's plugin registry is read when
// there is one but never written (without one, the plugins are looked at
// again in memory, which takes some 60 ms).
void keep_caches_in_memory() {
  g_setenv("MESA_SHADER_CACHE_DISABLE", "true", TRUE);
  g_setenv("GST_REGISTRY_UPDATE", "no", TRUE);
  if (g_getenv("GST_REGISTRY_1_0") || g_getenv("GST_REGISTRY")) return;
  bool have_registry = false;
  tav::gtk::GCharPtr dir(g_build_filename(g_get_user_cache_dir(), "gstreamer-1.0", nullptr));
  const std::unique_ptr<GDir, decltype(&g_dir_close)> d(g_dir_open(dir.get(), 0, nullptr),
                                                        &g_dir_close);
  while (const char* name = d ? g_dir_read_name(d.get()) : nullptr) {
    if (g_str_has_prefix(name, "registry.") && g_str_has_suffix(name, ".bin")) have_registry = true;
  }
  // A file inside /dev/null can be neither made nor read.
  if (!have_registry) g_setenv("GST_REGISTRY_1_0", "/dev/null/gstreamer-registry.bin", TRUE);
}

}  // namespace

int main() {
  g_set_prgname("tavrino");
  // What the program hands on to the programs it starts: the environment as
  // it was given, before the settings below, which are for this process and
  // its web processes alone.
  std::vector<std::string> start_environment;
  {
    const std::unique_ptr<gchar*, decltype(&g_strfreev)> env(g_get_environ(), &g_strfreev);
    for (gchar** e = env.get(); *e; ++e) start_environment.emplace_back(*e);
  }
  // Renderers and heap chosen for a window that holds a web page.
  tav::gtk::tune_before_gtk_init();
  keep_caches_in_memory();
  if (!gtk_init_check()) {
    g_printerr("tavrino: cannot open the display\n");
    return 1;
  }
  tav::gtk::tune_after_gtk_init();
  // The program icon, at 16 and 32 pixels, from resources built in: the
  // same whether the program is installed or run from its build tree.
  tavrino_icons_register_resource();
  gtk_icon_theme_add_resource_path(gtk_icon_theme_get_for_display(gdk_display_get_default()),
                                   "/tavrino/icons");

  tav::gtk::GtkBackend::Options options;
  options.environment = std::move(start_environment);
  options.icon_name = "tavrino";
  // Where the installation put the helper programs (the backend also looks
  // beside the program and in its own ../libexec/tavrino).
  options.program_dirs.emplace_back(TAVRINO_LIBEXEC_DIR);

  int status = 0;
  {
    tav::gtk::GtkBackend backend(std::move(options));
    // Starts WebKit's network process and the typing page's name lookup
    // while the windows are built.
    webkit_network_session_prefetch_dns(backend.network_session(), TAVRINO_PRODUCT_HOST);
    tav::Runtime runtime(backend, tavrino::project_info());
    status = runtime.start();
  }
  return status;
}
