#include "platform/gtk/tuning.h"

#include <gtk/gtk.h>
#include <malloc.h>

#include <string>

namespace tav::gtk {

void tune_before_gtk_init() {
  // The windows hold a web page, a few buttons and pictures: a GL context costs
  // more to start than it ever saves, and without GL GTK does not load the GL
  // drivers while it opens the display.
  g_setenv("GSK_RENDERER", "cairo", TRUE);
  const char* debug = g_getenv("GDK_DEBUG");
  const std::string flags = debug && *debug ? std::string(debug) + ":gl-disable" : "gl-disable";
  g_setenv("GDK_DEBUG", flags.c_str(), TRUE);
  // The panes never composite (hardware acceleration policy NEVER), so WebKit
  // need not open an EGL display to look for DMA-BUF support either.
  g_setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", TRUE);

  // Every frame the cairo renderer allocates and frees buffers the size of
  // the window. glibc would hand each back to the kernel at once (beyond its
  // mmap and trim thresholds), and the next frame would fault in fresh zeroed
  // pages: a quarter of the program's CPU while typing.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

void tune_after_gtk_init() {
  // WebKit follows this setting in its panes. Overlay scrollbars show on every
  // change of the page and then fade out, and each step of that repaints the
  // whole window: seconds of a busy core after each load, and three frames
  // instead of one for every key typed.
  g_object_set(gtk_settings_get_default(), "gtk-overlay-scrolling", FALSE, nullptr);
}

}  // namespace tav::gtk
