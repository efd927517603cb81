"""The X display as the harness sees it: when windows map, what they are
called, where they are, and clicks and keys sent through the XTEST extension
(the way xdotool sends them)."""

import threading
import time

from Xlib import XK, X, Xatom, error
from Xlib import display as xdisplay
from Xlib.ext import xtest


class Display:
    def __init__(self, name, with_wm=False):
        self.with_wm = with_wm
        self.ctl = xdisplay.Display(name)
        self.root = self.ctl.screen().root
        self.atoms = {n: self.ctl.intern_atom(n) for n in
                      ("_NET_WM_NAME", "UTF8_STRING", "_NET_CLIENT_LIST", "WM_STATE")}
        self.maps = []  # (monotonic time, window id)
        self.cond = threading.Condition()
        watch = xdisplay.Display(name)
        watch.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
        watch.sync()
        self.thread = threading.Thread(target=self._watch, args=(watch,), daemon=True)
        self.thread.start()

    def _watch(self, watch):
        while True:
            try:
                ev = watch.next_event()
            except Exception:  # the display went away at the end of the run
                return
            if ev.type == X.MapNotify and not ev.override:
                with self.cond:
                    self.maps.append((time.monotonic(), ev.window.id))
                    self.cond.notify_all()

    def window(self, wid):
        return self.ctl.create_resource_object("window", wid)

    def title(self, wid):
        try:
            w = self.window(wid)
            prop = w.get_full_property(self.atoms["_NET_WM_NAME"], self.atoms["UTF8_STRING"])
            if prop is not None:
                return prop.value.decode("utf-8", "replace")
            name = w.get_wm_name()
            return name.decode() if isinstance(name, bytes) else (name or "")
        except error.XError:
            return None

    def geometry(self, wid):
        """(x, y, width, height) of a window, x and y on the root window."""
        try:
            w = self.window(wid)
            g = w.get_geometry()
            pos = self.root.translate_coords(w, 0, 0)
            return (pos.x, pos.y, g.width, g.height)
        except error.XError:
            return None

    def viewable(self, wid):
        try:
            return self.window(wid).get_attributes().map_state == X.IsViewable
        except error.XError:
            return False

    def wait_map(self, after, accept, timeout):
        """The first top-level window mapped at or after `after` that `accept`
        takes (accept gets the window id): (time, id), or None on timeout.
        Without a window manager only."""
        deadline = time.monotonic() + timeout
        seen = 0
        with self.cond:
            while True:
                while seen < len(self.maps):
                    t, wid = self.maps[seen]
                    seen += 1
                    if t >= after:
                        self.cond.release()
                        try:
                            ok = accept(wid)
                        finally:
                            self.cond.acquire()
                        if ok:
                            return t, wid
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.cond.wait(left)

    def clients(self):
        """Top-level client windows: the window manager's client list when one
        runs, otherwise the root window's children."""
        try:
            if self.with_wm:
                prop = self.root.get_full_property(self.atoms["_NET_CLIENT_LIST"], Xatom.WINDOW)
                return list(prop.value) if prop is not None else []
            return [w.id for w in self.root.query_tree().children]
        except error.XError:
            return []

    def find(self, title):
        """Viewable client windows called `title`."""
        return [w for w in self.clients() if self.title(w) == title and self.viewable(w)]

    def wait_for(self, title, present, timeout, poll=0.01):
        """Waits until a viewable window called `title` exists (present=True)
        or none does (present=False). Returns the window id, True, or None."""
        deadline = time.monotonic() + timeout
        while True:
            found = self.find(title)
            if present and found:
                return found[0]
            if not present and not found:
                return True
            if time.monotonic() >= deadline:
                return None
            time.sleep(poll)

    def click(self, wid, x, y):
        """Clicks button 1 at (x, y) inside the window; returns the time just
        before the release, which is when a button acts."""
        g = self.geometry(wid)
        if g is None:
            return None
        xtest.fake_input(self.ctl, X.MotionNotify, x=g[0] + x, y=g[1] + y)
        self.ctl.sync()
        time.sleep(0.03)
        xtest.fake_input(self.ctl, X.ButtonPress, 1)
        self.ctl.sync()
        time.sleep(0.03)
        t = time.monotonic()
        xtest.fake_input(self.ctl, X.ButtonRelease, 1)
        self.ctl.sync()
        return t

    def focus(self, wid):
        """Gives the window the keyboard focus, as a window manager would."""
        try:
            self.window(wid).set_input_focus(X.RevertToParent, X.CurrentTime)
            self.ctl.sync()
        except error.XError:
            pass

    def type_text(self, text, interval, hold=0.03):
        """Types `text` (lower-case letters and spaces) at one key every
        `interval` seconds, each key held for `hold` seconds. Returns the wall
        clock time (time.time()) just before each key press was sent."""
        codes = []
        for ch in text:
            sym = XK.string_to_keysym("space" if ch == " " else ch)
            code = self.ctl.keysym_to_keycode(sym) if sym else 0
            if not code or not (ch == " " or "a" <= ch <= "z"):
                raise ValueError(f"cannot type {ch!r}")
            codes.append(code)
        sent = []
        start = time.monotonic() + 0.05
        for i, code in enumerate(codes):
            time.sleep(max(0.0, start + i * interval - time.monotonic()))
            sent.append(time.time())
            xtest.fake_input(self.ctl, X.KeyPress, code)
            self.ctl.sync()
            time.sleep(hold)
            xtest.fake_input(self.ctl, X.KeyRelease, code)
            self.ctl.sync()
        return sent
