// The smallest GTK 4 + WebKitGTK program that shows one page: a window holding
// one web view and nothing else. The benchmark runs it as the floor the engine
// allows.
//
//   bare_webview [--program-settings] [--ephemeral] [--size WxH] URL
//
// --program-settings applies the renderer settings that the Tavrino program
// applies, so that the two can be compared like for like. --ephemeral gives
// the view an ephemeral network session (no disk cache, no cookie file).
#include <gtk/gtk.h>
#include <malloc.h>
#include <webkit/webkit.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Options {
  bool program_settings = false;
  bool ephemeral = false;
  int width = 935;
  int height = 743;
  std::string url;
};

bool ParseSize(const char* text, int& width, int& height) {
  return std::sscanf(text, "%dx%d", &width, &height) == 2 && width > 0 && height > 0;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--program-settings") == 0) {
      options.program_settings = true;
    } else if (std::strcmp(argv[i], "--ephemeral") == 0) {
      options.ephemeral = true;
    } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      if (!ParseSize(argv[++i], options.width, options.height)) return false;
    } else if (argv[i][0] == '-' || !options.url.empty()) {
      return false;
    } else {
      options.url = argv[i];
    }
  }
  return !options.url.empty();
}

// Mirrors what the Tavrino program does before and after GTK starts, so that
// "--program-settings" measures the engine with the program's own choices
// (platform/gtk/tuning.cpp and the pane's creation): GTK's cairo renderer and
// no GL in GTK, no DMA-BUF renderer and no compositing in WebKit, frame
// buffers kept in the heap, scrollbars that do not overlay and fade.
void ApplyProgramSettingsBeforeGtk() {
  g_setenv("GSK_RENDERER", "cairo", TRUE);
  g_setenv("GDK_DEBUG", "gl-disable", TRUE);
  g_setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", TRUE);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
}
void ApplyProgramSettingsAfterGtk() {
  g_object_set(gtk_settings_get_default(), "gtk-overlay-scrolling", FALSE, nullptr);
}
void ApplyProgramSettings(WebKitWebView* view) {
  webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view),
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
}

gboolean OnCloseRequest(GtkWindow* /*window*/, gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s [--program-settings] [--ephemeral] [--size WxH] URL\n",
                 argv[0]);
    return 2;
  }
  if (options.program_settings) ApplyProgramSettingsBeforeGtk();
  gtk_init();
  if (options.program_settings) ApplyProgramSettingsAfterGtk();

  g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
  // The window owns the view; GTK owns the window until it is destroyed.
  GtkWidget* window = gtk_window_new();
  gtk_window_set_title(GTK_WINDOW(window), "bare web view");
  gtk_window_set_default_size(GTK_WINDOW(window), options.width, options.height);
  g_autoptr(WebKitNetworkSession) session =
      options.ephemeral ? webkit_network_session_new_ephemeral() : nullptr;
  GtkWidget* view =
      session ? GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session, nullptr))
              : webkit_web_view_new();
  if (options.program_settings) ApplyProgramSettings(WEBKIT_WEB_VIEW(view));
  gtk_window_set_child(GTK_WINDOW(window), view);
  g_signal_connect(window, "close-request", G_CALLBACK(OnCloseRequest), loop);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), options.url.c_str());
  gtk_window_present(GTK_WINDOW(window));

  g_main_loop_run(loop);
  gtk_window_destroy(GTK_WINDOW(window));
  return 0;
}
