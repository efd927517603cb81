// Asks the window manager to close a window, as its title bar's close button
// does: a _NET_CLOSE_WINDOW request to the root window. (xdotool's
// windowclose destroys the X window instead, which no user can do.)
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s WINDOW-ID\n", argv[0]);
    return 2;
  }
  std::unique_ptr<Display, int (*)(Display*)> dpy(XOpenDisplay(nullptr), XCloseDisplay);
  if (!dpy) return 1;
  const Window win = std::strtoul(argv[1], nullptr, 0);
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = win;
  ev.xclient.message_type = XInternAtom(dpy.get(), "_NET_CLOSE_WINDOW", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = CurrentTime;
  ev.xclient.data.l[1] = 2;  // source: a pager or the user's direct action
  XSendEvent(dpy.get(), DefaultRootWindow(dpy.get()), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &ev);
  XSync(dpy.get(), False);
  return 0;
}
