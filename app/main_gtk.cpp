// The program on a Linux desktop: GTK 4 windows with WebKitGTK panes. The
// command line is neither read nor handed to GTK.
#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <string>

#include "app/project.h"
#include "platform/gtk/gobject_ptr.h"
#include "platform/gtk/gtk_backend.h"

extern "C" void tavrino_icons_register_resource(void);

namespace {

std::string exe_dir() {
  tav::gtk::GCharPtr exe(g_file_read_link("/proc/self/exe", nullptr));
  if (!exe) return {};
  tav::gtk::GCharPtr dir(g_path_get_dirname(exe.get()));
  return dir.get();
}

}  // namespace

int main() {
  g_set_prgname("tavrino");
  // GTK's cairo renderer: the windows hold a web page, a few buttons and
  // pictures, and a GL context costs more to start than it ever saves.
  g_setenv("GSK_RENDERER", "cairo", TRUE);
  if (!gtk_init_check()) {
    g_printerr("tavrino: cannot open the display\n");
    return 1;
  }
  // The program icon, at 16 and 32 pixels, from resources built in: the
  // same whether the program is installed or run from its build tree.
  tavrino_icons_register_resource();
  gtk_icon_theme_add_resource_path(gtk_icon_theme_get_for_display(gdk_display_get_default()),
                                   "/tavrino/icons");

  // Starts WebKit's network process and the typing page's name lookup while
  // the windows are built.
  webkit_network_session_prefetch_dns(webkit_network_session_get_default(), TAVRINO_PRODUCT_HOST);

  tav::gtk::GtkBackend::Options options;
  options.icon_name = "tavrino";
  // The helper programs: beside the build tree's or installed binary, then
  // where the installation put them.
  const std::string dir = exe_dir();
  if (!dir.empty()) options.program_dirs.push_back(dir + "/../libexec/tavrino");
  options.program_dirs.emplace_back(TAVRINO_LIBEXEC_DIR);

  int status = 0;
  {
    tav::gtk::GtkBackend backend(std::move(options));
    tav::Runtime runtime(backend, tavrino::project_info());
    status = runtime.start();
  }
  return status;
}
